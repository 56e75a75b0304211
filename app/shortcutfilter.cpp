#include "shortcutfilter.h"

#include <QAction>
#include <QKeyEvent>
#include <QMainWindow>
#include <QWidget>

namespace veskel {

MenuShortcutFilter::MenuShortcutFilter(QMainWindow *window)
    : QObject(window)
    , m_window(window)
{}

bool MenuShortcutFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    auto *widget = qobject_cast<QWidget *>(watched);
    // Only inside the main window: dialogs keep their keys.
    if (widget == nullptr || widget->window() != m_window) {
        return false;
    }
    auto *key = static_cast<QKeyEvent *>(event);
    const QKeySequence pressed(key->keyCombination());
    for (const QAction *action : m_window->actions()) {
        if (action->isEnabled() && !action->shortcut().isEmpty() &&
            action->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
            event->ignore(); // not overridden: the shortcut runs
            return true;
        }
    }
    return false;
}

} // namespace veskel
