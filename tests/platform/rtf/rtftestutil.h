// What the RTF tests share: reading RTF into a document, the document's text
// and formats, pictures as PNG bytes, and the files in tests/data.
#pragma once

#include "platform/rtf/rtfreader.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace veskel::test {

// The document's text with paragraph breaks as '\n' and every other character
// as stored (no-break spaces and line separators stay what they are).
inline QString textOf(const QTextDocument &document)
{
    QString text = document.toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

inline bool readInto(QTextDocument &document, const QByteArray &rtf)
{
    QTextCursor cursor(&document);
    return win::ReadRtf(rtf, cursor);
}

// The character format of the character at position.
inline QTextCharFormat formatAt(const QTextDocument &document, int position)
{
    const QTextBlock block = document.findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.contains(position)) {
            return fragment.charFormat();
        }
    }
    return {};
}

inline QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A file under tests/data, e.g. "rtf/cocoa.rtf"; empty when it cannot be read.
inline QByteArray testData(const QString &path)
{
    QFile file(QStringLiteral(VESKEL_TEST_DATA "/") + path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("cannot read %s", qPrintable(file.fileName()));
        return {};
    }
    return file.readAll();
}

} // namespace veskel::test
