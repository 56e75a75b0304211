// The rich edit window: answers the messages the editor control sends, with
// the rich edit control's numbering and edge behaviour, over a text view (a
// QTextEdit) it holds and no one else reaches.
//
// Positions are QTextDocument positions: a paragraph break counts as one
// character and an embedded object is one U+FFFC character. Lines are the
// display lines of the widget's own layout at its current width.
//
// Edits made through messages are gathered in one edit block (EditBatch).
#pragma once

#include "platform/richedit/richeditconst.h"
#include "platform/richedit/richeditole.h"

#include <QTextCursor>
#include <QWidget>

#include <memory>

class QContextMenuEvent;
class QDropEvent;
class QKeyEvent;
class QMimeData;
class QTextDocument;

namespace win {

class DisplayLineIndex;
class EditBatch;
class LinkTracker;
class ObjectSupport;
class RichEditOleInterface;
class ObjectDrawer;
class RichEditView;

class RichEditWindow : public QWidget
{
    Q_OBJECT

public:
    // style: the window styles (ES_READONLY, ES_SELECTIONBAR, WS_HSCROLL...).
    explicit RichEditWindow(DWORD style, QWidget *parent = nullptr);
    ~RichEditWindow() override;

    DWORD style() const { return m_style; }

    // The keys and mouse events the window takes go to the filter first, as
    // to a subclassed window procedure: its eventFilter() sees them with the
    // window as the object watched and, for the mouse, positions in the text
    // area's coordinates. Returning true swallows the event.
    void setMessageFilter(QObject *filter);
    // The name and description screen readers give the text area.
    void setAccessibleText(const QString &name, const QString &description);

    // Content.
    LRESULT streamIn(UINT format, EDITSTREAM &stream);
    LRESULT streamOut(UINT format, EDITSTREAM &stream);
    // Whether a stream-out as SF_RTF would carry formatting that plain text
    // cannot: character formats, alignment or indents.
    bool hasFormatting();
    LRESULT getTextEx(const GETTEXTEX &request, LPWSTR buffer);
    LRESULT getTextLengthEx(const GETTEXTLENGTHEX &request);
    // WM_SETTEXT: the whole content as plain text; CR LF, CR and LF each end a
    // paragraph. Empties the undo history.
    BOOL setWindowText(LPCWSTR text);
    // WM_GETTEXTLENGTH and WM_GETTEXT, with CR LF paragraph breaks.
    LRESULT getWindowTextLength();
    LRESULT getWindowText(LPWSTR buffer, LRESULT room);
    LRESULT getTextMode() const { return m_textMode; }
    // Fails (non-zero) unless the window is empty.
    LRESULT setTextMode(UINT mode);
    void exLimitText(LONG limit);
    LONG textLimit() const { return m_textLimit; }
    // Returns the previous mask.
    DWORD setEventMask(DWORD mask);
    DWORD eventMask() const { return m_eventMask; }
    // Copies [cpMin, cpMax) (cpMax -1: to the end) and a NUL; paragraph breaks
    // as CR. Returns the number of characters copied.
    LRESULT getTextRange(TEXTRANGEW &range);

    // Display lines.
    LRESULT getLineCount();
    // The first position of the line; -1 for the caret's line; -1 past the last.
    LRESULT lineIndex(LONG line);
    // The length of the line holding the position, without its break.
    LRESULT lineLength(LONG position);
    // Copies at most *(WORD *)buffer characters of the line, its paragraph's
    // CR included, without a NUL; returns the number copied.
    LRESULT getLine(LONG line, LPWSTR buffer);
    // The line holding the position; -1 for the selection's start.
    LRESULT lineFromChar(LONG position);

    // Selection and edits.
    void exGetSel(CHARRANGE &range);
    LRESULT exSetSel(CHARRANGE range);
    void setSel(LONG start, LONG end);
    // Replaces the selection; CR LF, CR and LF become paragraph breaks. An edit
    // that cannot be undone empties the undo history.
    void replaceSel(BOOL canUndo, const QString &text);
    LRESULT findText(WPARAM flags, const FINDTEXTW &find);
    void scrollCaret();
    BOOL undoEdit();
    BOOL redoEdit();
    BOOL canUndo() const;
    BOOL canRedo() const;
    void cutSelection();
    void copySelection();
    void pasteClipboard();
    void clearSelection(); // WM_CLEAR
    BOOL canPaste(UINT format) const;
    BOOL setReadOnly(BOOL readOnly);
    // EM_SETTARGETDEVICE without a device: a line width of 0 wraps lines at
    // the window's width, any other width keeps each paragraph on one line.
    BOOL setTargetDevice(const void *device, LONG lineWidth);
    // Whether Tab types a tab (the window asks for it, as WM_GETDLGCODE's
    // DLGC_WANTTAB does) or moves the focus on.
    void setWantTabs(BOOL want);

    // Links.
    void autoUrlDetect(BOOL on);
    bool autoUrlDetecting() const;
    // The link around the position, or (-1, -1).
    CHARRANGE linkAt(LONG position) const;
    // The colour the link under the mouse is drawn in (invalid: its usual one).
    void setHotTrackColor(const QColor &color);

    // Objects. EM_GETOLEINTERFACE: the window's object interface.
    // EM_SETOLECALLBACK: the host that answers the window's questions about
    // objects (nullptr: none; the window then takes no objects from the
    // clipboard or drops, and shows its context menu request as a signal).
    BOOL getOleInterface(std::shared_ptr<IRichEditOle> &ole);
    BOOL setOleCallback(IRichEditOleCallback *callback);
    IRichEditOleCallback *oleCallback() const;
    // Where the last context-menu request was made, in screen coordinates.
    QPoint contextMenuPosition() const { return m_contextMenuAt; }
    // Pastes the data in the format (0: the best one it offers) at the
    // selection; false when the data does not offer it or it cannot be read.
    bool importData(const QMimeData &data, CLIPFORMAT format, HGLOBAL metaPict);

    // Ends the gathered edit block now and lays out.
    void flush();
    // The content length in positions (paragraph breaks count one).
    LONG contentLength() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Sent when the event mask holds the notification's bit.
    void linkNotify(const win::ENLINK &link);
    void changeNotify();
    void selChangeNotify();
    void contextMenuRequested(const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class RichEditOleInterface;
    friend class ObjectDrawer;
    friend class RichEditView;

    // The text view's events, which the view hands over.
    // True when the event was handled here and the view must not see it.
    bool beforeViewportEvent(QEvent *event);
    void keyPress(QKeyEvent *event);
    void contextMenu(QContextMenuEvent *event);
    QMimeData *mimeDataFromSelection() const;
    bool canInsert(const QMimeData *source) const;
    void insertData(const QMimeData *source);
    void drop(QDropEvent *event);

    QTextDocument *document() const;
    QTextCursor textCursor() const;
    void setTextCursor(const QTextCursor &cursor);
    QWidget *viewport() const;
    bool isReadOnly() const;
    QTextCursor &editCursor();
    // Objects.
    void setUpObjects();
    DWORD dropEffect(const QDropEvent &event) const;
    // Whether the drag began in this window (only such a drag may move).
    bool dragStartedHere(const QDropEvent &event) const;
    // Sets the action a drag over the window is answered with.
    void chooseDropAction(QDropEvent &event) const;
    // Finishes the gathered edits and the layout, and the line index with them.
    void ensureLayout();
    // Whether a link is at the point; its range goes to *found when given.
    bool sendLinkNotification(UINT message, const QPoint &viewportPos, CHARRANGE *found = nullptr);
    // Switches to wrapping anywhere once the changed text holds an unbroken
    // run too long to wrap at word boundaries quickly, and back when the
    // whole content is replaced.
    void watchLongRuns(int position, int added);
    void replaceAll(const QString &plainText);
    void insertPlainText(QTextCursor &cursor, const QString &text);
    QString contentText(bool crlf, int from, int to) const;

    DWORD m_style;
    RichEditView *m_view;
    QObject *m_messageFilter = nullptr;
    DWORD m_eventMask = ENM_NONE;
    UINT m_textMode = TM_RICHTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE;
    LONG m_textLimit = 32767;
    // The window's parts, each in a header of its own that only the window's
    // sources include.
    std::unique_ptr<EditBatch> m_batch;
    std::unique_ptr<LinkTracker> m_links;
    std::unique_ptr<DisplayLineIndex> m_lineIndex;
    bool m_wrapAnywhere = false;
    std::shared_ptr<RichEditOleInterface> m_ole;
    std::unique_ptr<ObjectSupport> m_objects;
    ObjectDrawer *m_objectDrawer = nullptr;
    QPoint m_contextMenuAt;
};

} // namespace win
