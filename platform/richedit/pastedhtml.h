// HTML from the clipboard, made safe to paste: it comes from anywhere.
#pragma once

#include <QString>
#include <QTextDocumentFragment>

namespace win {

// The HTML as a fragment that reads nothing of this computer: a picture it
// names by path or URL is shown as a placeholder, neither read nor waited for
// (a pipe would block). Pictures held in data: URLs stay.
QTextDocumentFragment PastedHtmlFragment(const QString &html);

} // namespace win
