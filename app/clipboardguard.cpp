#include "app/clipboardguard.h"

#include "platform/ole/oleclipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace veskel {

void ClearOwnClipboard()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) == nullptr) {
        return;
    }
    QClipboard *clipboard = QGuiApplication::clipboard();
    for (const QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
        if (mode == QClipboard::Selection && !clipboard->supportsSelection()) {
            continue;
        }
        const bool owned =
            mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
        // Without owners the data offered is this process's own object only
        // while nobody else has replaced it.
        if (owned || win::IsOwnSecretData(clipboard->mimeData(mode))) {
            clipboard->clear(mode);
        }
    }
}

} // namespace veskel
