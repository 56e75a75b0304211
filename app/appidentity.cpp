#include "app/appidentity.h"

#include <QApplication>
#include <QDirIterator>

namespace veskel {

QString ApplicationId()
{
    return QStringLiteral("org.veskel.Veskel");
}

QIcon ApplicationIcon()
{
    // One folder per size, as the icon theme lays them out.
    QIcon builtIn;
    QDirIterator sizes(QStringLiteral(":/icons"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (sizes.hasNext()) {
        builtIn.addFile(sizes.next() + u'/' + ApplicationId() + QStringLiteral(".png"));
    }
    return QIcon::fromTheme(ApplicationId(), builtIn);
}

void SetApplicationIdentity()
{
    QApplication::setWindowIcon(ApplicationIcon());
    QGuiApplication::setDesktopFileName(ApplicationId());
}

} // namespace veskel
