#include "platform/winui/shell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace win {

HINSTANCE ShellExecuteW(QWidget *, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, int)
{
    if (file == nullptr || *file == 0) {
        return SE_ERR_FNF;
    }
    const QString action = verb == nullptr ? QString() : QString::fromUtf16(verb);
    if (!action.isEmpty() && action.compare(QStringLiteral("open"), Qt::CaseInsensitive) != 0) {
        return SE_ERR_NOASSOC;
    }
    const QUrl url = ShellTarget(QString::fromUtf16(file));
    if (!url.isValid()) {
        return SE_ERR_FNF;
    }
    return QDesktopServices::openUrl(url) ? 42 : SE_ERR_NOASSOC;
}

QUrl ShellTarget(const QString &file)
{
    return QUrl::fromUserInput(file);
}

} // namespace win
