// The text view inside the rich edit window: the QTextEdit that draws the
// text and takes the keys, the mouse, the clipboard and drops. Its event
// handlers hand each event to the window, which decides; only the window
// holds it, so nothing outside can edit past the window's messages.
#pragma once

#include <QTextEdit>

namespace win {

class RichEditWindow;

class RichEditView final : public QTextEdit
{
    Q_OBJECT

public:
    explicit RichEditView(RichEditWindow &window);

    // QTextEdit's own handling, for the window to fall back on.
    void defaultKeyPress(QKeyEvent *event) { QTextEdit::keyPressEvent(event); }
    void defaultDrop(QDropEvent *event) { QTextEdit::dropEvent(event); }
    void setLeftMargin(int width) { setViewportMargins(width, 0, 0, 0); }

protected:
    bool viewportEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    RichEditWindow &m_window;
};

} // namespace win
