#include "platform/winui/winwindow.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace win {

int GetSystemMetrics(int index)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return 0;
    }
    const QRect geometry = screen->geometry();
    switch (index) {
    case SM_CXSCREEN:
        return geometry.width();
    case SM_CYSCREEN:
        return geometry.height();
    default:
        return 0;
    }
}

BOOL GetWindowRect(HWND window, RECT *rect)
{
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    QRect outer;
    if (!window->isWindow()) {
        outer = QRect(window->mapToGlobal(QPoint(0, 0)), window->size());
    } else if (window->isVisible() || window->windowHandle() == nullptr) {
        outer = window->frameGeometry();
    } else {
        // Not shown yet: the frame as the platform window will draw it
        // (a window's pos() is its frame's top-left corner).
        outer =
            QRect(window->pos(), window->size().grownBy(window->windowHandle()->frameMargins()));
    }
    *rect =
        RECT{outer.left(), outer.top(), outer.left() + outer.width(), outer.top() + outer.height()};
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT *rect)
{
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    *rect = RECT{0, 0, window->width(), window->height()};
    return TRUE;
}

LONG_PTR GetWindowLongPtrW(HWND window, int index)
{
    if (window == nullptr) {
        return 0;
    }
    switch (index) {
    case GWL_STYLE:
        return static_cast<LONG_PTR>(window->isWindow() ? WS_POPUP : WS_CHILD);
    case GWL_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(window->parentWidget());
    default:
        return 0;
    }
}

BOOL SetWindowPos(HWND window, HWND, int x, int y, int cx, int cy, UINT flags)
{
    if (window == nullptr) {
        return FALSE;
    }
    if ((flags & SWP_NOSIZE) == 0) {
        // cx, cy are the outer size; the widget is sized by its client area.
        const QSize frameExtra = window->frameGeometry().size() - window->size();
        window->resize(std::max(0, cx - frameExtra.width()), std::max(0, cy - frameExtra.height()));
    }
    if ((flags & SWP_NOMOVE) == 0) {
        window->move(x, y); // a window's move places its frame's top-left corner
    }
    return TRUE;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (window == nullptr || message != WM_CONTEXTMENU) {
        return FALSE;
    }
    const QPoint global(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    const QPoint local = window->mapFromGlobal(global);
    QCoreApplication::postEvent(window,
                                new QContextMenuEvent(QContextMenuEvent::Mouse, local, global));
    return TRUE;
}

} // namespace win
