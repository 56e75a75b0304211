#include "linkpolicy.h"

#include "platform/winui/shell.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrlQuery>

namespace veskel {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LinkPolicy", text);
}

bool mailtoAttaches(const QUrl &url)
{
    for (const auto &[key, value] : QUrlQuery(url).queryItems()) {
        if (key.compare(QStringLiteral("attach"), Qt::CaseInsensitive) == 0 ||
            key.compare(QStringLiteral("attachment"), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// Why a local file must not be handed to the desktop, which would run it;
// empty when it may be opened (after the question).
QString whyNotOpen(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        return {};
    }
    static const QStringList runnable = {
        QStringLiteral("sh"),      QStringLiteral("bash"), QStringLiteral("zsh"),
        QStringLiteral("csh"),     QStringLiteral("py"),   QStringLiteral("pl"),
        QStringLiteral("rb"),      QStringLiteral("jar"),  QStringLiteral("exe"),
        QStringLiteral("bat"),     QStringLiteral("cmd"),  QStringLiteral("com"),
        QStringLiteral("msi"),     QStringLiteral("run"),  QStringLiteral("bin"),
        QStringLiteral("appimage")};
    const QString suffix = info.suffix().toLower();
    if (suffix == QStringLiteral("desktop")) {
        return tr("it is a desktop launcher");
    }
    if (info.isExecutable()) {
        return tr("it is a program (it may be run)");
    }
    if (runnable.contains(suffix)) {
        return tr("it is a script or program");
    }
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(64);
        if (head.startsWith("#!")) {
            return tr("it is a script");
        }
        if (head.trimmed().startsWith("[Desktop Entry]")) {
            return tr("it is a desktop launcher");
        }
    }
    return {};
}

} // namespace

LinkDecision DecideLink(const QString &linkText)
{
    LinkDecision decision;
    decision.target = win::ShellTarget(linkText);
    const QString scheme = decision.target.scheme().toLower();
    if (scheme == QStringLiteral("http") || scheme == QStringLiteral("https") ||
        scheme == QStringLiteral("ftp") ||
        (scheme == QStringLiteral("mailto") && !mailtoAttaches(decision.target))) {
        decision.action = LinkAction::Open;
        return decision;
    }
    if (decision.target.isLocalFile()) {
        decision.reason = whyNotOpen(decision.target.toLocalFile());
        if (!decision.reason.isEmpty()) {
            decision.action = LinkAction::Refuse;
            return decision;
        }
    }
    decision.action = LinkAction::Ask;
    return decision;
}

} // namespace veskel
