// Forms are designed at 96 pixels per inch: their fonts and geometry scale by
// the screen's pixels per inch over 96.
#pragma once

#include <QFont>
#include <QRect>

class QWidget;

namespace win {

// The screen's logical pixels per inch over 96, for the widget's screen (the
// primary screen when it has none).
double DesignScale(const QWidget *widget);

// A design-time length in pixels at the widget's scale, rounded.
int Scaled(int designPixels, const QWidget *widget);
QRect Scaled(const QRect &designRect, const QWidget *widget);

// The forms' font: Tahoma (or the system's sans-serif face where it is
// missing), 11 pixels high at 96 pixels per inch (8 points), scaled.
QFont DesignFont(const QWidget *widget);

} // namespace win
