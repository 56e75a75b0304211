#include "platform/richedit/plaintext.h"

namespace win {

bool IsParagraphBreak(char16_t c)
{
    return c == QChar::ParagraphSeparator || c == 0xFDD0 || c == 0xFDD1; // frame bounds
}

// CR LF, a lone CR and a lone LF each end a paragraph.
QString NormalizeBreaks(QStringView text)
{
    QString result(text.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            *out++ = QChar::ParagraphSeparator;
        } else if (c == u'\n') {
            *out++ = QChar::ParagraphSeparator;
        } else if (c == u'\v') {
            *out++ = QChar::LineSeparator;
        } else {
            *out++ = QChar(c);
        }
    }
    result.truncate(out - result.constData());
    return result;
}

QString DecodeUtf16le(QByteArrayView bytes)
{
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto lo = static_cast<unsigned char>(bytes[2 * i]);
        const auto hi = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = QChar(static_cast<char16_t>(lo | (hi << 8)));
    }
    return text;
}

QByteArray EncodeUtf16le(QStringView text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        bytes[2 * i] = static_cast<char>(c & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(c >> 8);
    }
    return bytes;
}

bool IsRtfData(QByteArrayView data)
{
    return data.startsWith("{\\rtf");
}

} // namespace win
