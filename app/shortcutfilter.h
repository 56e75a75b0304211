// Lets the main window's menu shortcuts act before the focused control: a text
// box would otherwise take Ctrl+Z, Ctrl+X, Ctrl+C and Ctrl+V itself.
#pragma once

#include <QObject>

class QMainWindow;

namespace veskel {

class MenuShortcutFilter : public QObject
{
public:
    explicit MenuShortcutFilter(QMainWindow *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QMainWindow *m_window;
};

} // namespace veskel
