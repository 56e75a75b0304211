#include "platform/winui/formscale.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace win {

double DesignScale(const QWidget *widget)
{
    const QScreen *screen = widget != nullptr ? widget->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

int Scaled(int designPixels, const QWidget *widget)
{
    return static_cast<int>(std::lround(designPixels * DesignScale(widget)));
}

QRect Scaled(const QRect &designRect, const QWidget *widget)
{
    return {Scaled(designRect.x(), widget), Scaled(designRect.y(), widget),
            Scaled(designRect.width(), widget), Scaled(designRect.height(), widget)};
}

QFont DesignFont(const QWidget *widget)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(Scaled(11, widget));
    return font;
}

} // namespace win
