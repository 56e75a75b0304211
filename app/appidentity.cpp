#include "app/appidentity.h"

#include <QApplication>

namespace veskel {

QString ApplicationId()
{
    return QStringLiteral("org.veskel.Veskel");
}

QIcon ApplicationIcon()
{
    QIcon builtIn;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        builtIn.addFile(QStringLiteral(":/icons/%1x%1/%2.png").arg(size).arg(ApplicationId()),
                        QSize(size, size));
    }
    return QIcon::fromTheme(ApplicationId(), builtIn);
}

void SetApplicationIdentity()
{
    QApplication::setWindowIcon(ApplicationIcon());
    QGuiApplication::setDesktopFileName(ApplicationId());
}

} // namespace veskel
