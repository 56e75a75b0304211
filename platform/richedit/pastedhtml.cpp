#include "platform/richedit/pastedhtml.h"

#include <QList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace win {

namespace {

bool isDataUrl(const QString &name)
{
    return name.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
}

} // namespace

QTextDocumentFragment PastedHtmlFragment(const QString &html)
{
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    document.setHtml(html);
    // A picture without a name is drawn as a placeholder; one named by path
    // would be read from disk when it is laid out.
    struct Picture
    {
        int position;
        int length;
        QTextImageFormat format;
    };
    QList<Picture> named;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextImageFormat format = fragment.charFormat().toImageFormat();
            if (format.isValid() && !isDataUrl(format.name())) {
                named.append({fragment.position(), fragment.length(), format});
            }
        }
    }
    QTextCursor cursor(&document);
    for (Picture &picture : named) {
        picture.format.setName(QString());
        cursor.setPosition(picture.position);
        cursor.setPosition(picture.position + picture.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture.format);
    }
    return QTextDocumentFragment(&document);
}

} // namespace win
