#include "platform/richedit/richedit.h"

#include "platform/richedit/displaylines.h"
#include "platform/richedit/editbatch.h"
#include "platform/richedit/linktracker.h"
#include "platform/richedit/objectsupport.h"
#include "platform/richedit/pastedhtml.h"
#include "platform/richedit/plaintext.h"
#include "platform/richedit/richeditview_p.h"
#include "platform/rtf/rtfwriter.h"
#include "platform/winui/shell.h"
#include "runtime/memory.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QImage>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QToolTip>
#include <QUrl>

#include <algorithm>

namespace win {

namespace {

const QString kRtfMime = QStringLiteral("text/rtf");
const QString kRtfMimeAlt = QStringLiteral("application/rtf");

} // namespace

RichEditWindow::RichEditWindow(DWORD style, QWidget *parent)
    : QWidget(parent)
    , m_style(style)
    , m_view(new RichEditView(*this))
    , m_batch(std::make_unique<EditBatch>(*m_view))
    , m_links(std::make_unique<LinkTracker>(*m_view))
    , m_lineIndex(std::make_unique<DisplayLineIndex>(*m_view->document()))
    , m_objects(std::make_unique<ObjectSupport>(*this, *m_view->document()))
{
    setFocusProxy(m_view);
    m_view->setAcceptRichText(true);
    m_view->setReadOnly((style & ES_READONLY) != 0);
    m_view->setHorizontalScrollBarPolicy((style & WS_HSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                                   : Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollBarPolicy((style & WS_VSCROLL) != 0 ? Qt::ScrollBarAsNeeded
                                                                 : Qt::ScrollBarAlwaysOff);
    if ((style & ES_SELECTIONBAR) != 0) {
        // The margin at the left where a click selects lines.
        m_view->setLeftMargin(8);
    }
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) {
                m_lineIndex->contentChanged();
                watchLongRuns(position, added);
                m_objects->contentChanged(position, removed, added);
            });
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this](const QSizeF &) { m_lineIndex->invalidate(); });
    connect(m_view, &QTextEdit::textChanged, this, [this] {
        if ((m_eventMask & ENM_CHANGE) != 0) {
            emit changeNotify();
        }
    });
    connect(m_view, &QTextEdit::cursorPositionChanged, this, [this] {
        if ((m_eventMask & ENM_SELCHANGE) != 0) {
            emit selChangeNotify();
        }
    });
    viewport()->setMouseTracking(true);
    m_view->installEventFilter(this);
    viewport()->installEventFilter(this);
    setUpObjects();
}

RichEditWindow::~RichEditWindow()
{
    flush();
    // The view and its document go first, while the members their signals
    // and events reach still stand; the link highlighter before them, as its
    // removal is itself an edit the document reports.
    m_messageFilter = nullptr;
    disconnect(document(), nullptr, this, nullptr);
    disconnect(document()->documentLayout(), nullptr, this, nullptr);
    disconnect(m_view, nullptr, this, nullptr);
    m_links->setDetecting(false);
    delete m_view;
}

IRichEditOleCallback *RichEditWindow::oleCallback() const
{
    return m_objects->host();
}

// ---------------------------------------------------------------------------
// The text view

QTextDocument *RichEditWindow::document() const
{
    return m_view->document();
}

QTextCursor RichEditWindow::textCursor() const
{
    return m_view->textCursor();
}

void RichEditWindow::setTextCursor(const QTextCursor &cursor)
{
    m_view->setTextCursor(cursor);
}

QWidget *RichEditWindow::viewport() const
{
    return m_view->viewport();
}

bool RichEditWindow::isReadOnly() const
{
    return m_view->isReadOnly();
}

// The view fills the window at once, not a turn of the event loop later as a
// layout would: text that arrives between the two is laid out only once.
void RichEditWindow::resizeEvent(QResizeEvent *)
{
    m_view->setGeometry(rect());
}

QSize RichEditWindow::sizeHint() const
{
    return m_view->sizeHint();
}

QSize RichEditWindow::minimumSizeHint() const
{
    return m_view->minimumSizeHint();
}

void RichEditWindow::setMessageFilter(QObject *filter)
{
    m_messageFilter = filter;
}

bool RichEditWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (m_messageFilter == nullptr) {
        return false;
    }
    const QEvent::Type type = event->type();
    const bool key = watched == m_view && type == QEvent::KeyPress;
    const bool mouse =
        watched == viewport() && (type == QEvent::MouseButtonPress || type == QEvent::MouseMove);
    return (key || mouse) && m_messageFilter->eventFilter(this, event);
}

void RichEditWindow::setAccessibleText(const QString &name, const QString &description)
{
    m_view->setAccessibleName(name);
    m_view->setAccessibleDescription(description);
}

// ---------------------------------------------------------------------------
// Gathered edits

QTextCursor &RichEditWindow::editCursor()
{
    return m_batch->cursor();
}

void RichEditWindow::flush()
{
    m_batch->close();
}

LONG RichEditWindow::contentLength() const
{
    return document()->characterCount() - 1;
}

// ---------------------------------------------------------------------------
// Selection and edits

void RichEditWindow::exGetSel(CHARRANGE &range)
{
    const QTextCursor cursor = m_batch->current();
    range.cpMin = cursor.selectionStart();
    range.cpMax = cursor.selectionEnd();
}

LRESULT RichEditWindow::exSetSel(CHARRANGE range)
{
    QTextCursor &cursor = editCursor();
    const LONG length = contentLength();
    if (range.cpMin == 0 && range.cpMax == -1) {
        cursor.setPosition(0);
        cursor.setPosition(length, QTextCursor::KeepAnchor);
    } else if (range.cpMin < 0) {
        cursor.setPosition(length); // nothing selected, the caret at the end
    } else {
        const LONG anchor = std::min(range.cpMin, length);
        const LONG active = range.cpMax < 0 ? length : std::min(range.cpMax, length);
        cursor.setPosition(anchor);
        cursor.setPosition(active, QTextCursor::KeepAnchor);
    }
    return cursor.selectionEnd();
}

void RichEditWindow::setSel(LONG start, LONG end)
{
    exSetSel({start, end});
}

void RichEditWindow::replaceSel(BOOL canUndo, const QString &text)
{
    if (isReadOnly()) {
        return;
    }
    QTextCursor &cursor = editCursor();
    if (canUndo == FALSE) {
        // An edit that cannot be undone leaves no history to undo into.
        document()->setUndoRedoEnabled(false);
        insertPlainText(cursor, text);
        document()->setUndoRedoEnabled(true);
    } else {
        insertPlainText(cursor, text);
    }
}

LRESULT RichEditWindow::findText(WPARAM flags, const FINDTEXTW &find)
{
    const QString needle =
        find.lpstrText == nullptr ? QString() : QString::fromUtf16(find.lpstrText);
    if (needle.isEmpty()) {
        return -1;
    }
    const LONG length = contentLength();
    const bool forward = (flags & FR_DOWN) != 0;
    QTextDocument::FindFlags options;
    if ((flags & FR_MATCHCASE) != 0) {
        options |= QTextDocument::FindCaseSensitively;
    }
    if ((flags & FR_WHOLEWORD) != 0) {
        options |= QTextDocument::FindWholeWords;
    }
    const LONG from = std::clamp(find.chrg.cpMin, 0, length);
    LONG limit = find.chrg.cpMax < 0 ? (forward ? length : 0) : std::min(find.chrg.cpMax, length);
    const QString normalized = NormalizeBreaks(needle);
    const bool crossesBlocks =
        normalized.contains(QChar::ParagraphSeparator) || normalized.contains(QChar::LineSeparator);

    if (crossesBlocks) {
        // A text with line breaks: search the content with each break as one
        // character, so that indexes are positions.
        QString content = contentText(false, 0, length)
                              .replace(u'\r', QChar::ParagraphSeparator)
                              .replace(u'\v', QChar::LineSeparator);
        const veskel::WipedOnExit wipeContent(content);
        const Qt::CaseSensitivity cs =
            (flags & FR_MATCHCASE) != 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
        qsizetype at = forward ? content.indexOf(normalized, from, cs)
                               : content.lastIndexOf(normalized, from, cs);
        if (at < 0) {
            return -1;
        }
        const bool inRange = forward ? at + normalized.size() <= limit : at >= limit;
        return inRange ? static_cast<LRESULT>(at) : -1;
    }
    if (!forward) {
        options |= QTextDocument::FindBackward;
    }
    const QTextCursor found = document()->find(needle, from, options);
    if (found.isNull()) {
        return -1;
    }
    const int start = found.selectionStart();
    const bool inRange = forward ? found.selectionEnd() <= limit : start >= limit;
    return inRange ? start : -1;
}

void RichEditWindow::scrollCaret()
{
    m_batch->scrollToCaret();
}

BOOL RichEditWindow::undoEdit()
{
    flush();
    if (!document()->isUndoAvailable()) {
        return FALSE;
    }
    m_view->undo();
    return TRUE;
}

BOOL RichEditWindow::redoEdit()
{
    flush();
    if (!document()->isRedoAvailable()) {
        return FALSE;
    }
    m_view->redo();
    return TRUE;
}

BOOL RichEditWindow::canUndo() const
{
    return document()->isUndoAvailable() ? TRUE : FALSE;
}

BOOL RichEditWindow::canRedo() const
{
    return document()->isRedoAvailable() ? TRUE : FALSE;
}

void RichEditWindow::cutSelection()
{
    flush();
    if (!textCursor().hasSelection()) {
        return;
    }
    if (isReadOnly()) {
        m_view->copy();
    } else {
        m_view->cut();
    }
}

void RichEditWindow::copySelection()
{
    flush();
    if (textCursor().hasSelection()) {
        m_view->copy();
    }
}

void RichEditWindow::pasteClipboard()
{
    flush();
    if (!isReadOnly() && canPaste(0) != FALSE) {
        m_view->paste();
    }
}

void RichEditWindow::clearSelection()
{
    flush();
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection() && !isReadOnly()) {
        cursor.removeSelectedText();
        setTextCursor(cursor);
    }
}

BOOL RichEditWindow::canPaste(UINT) const
{
    const QMimeData *mime = QApplication::clipboard()->mimeData();
    return mime != nullptr && !mime->formats().isEmpty() && canInsert(mime) ? TRUE : FALSE;
}

BOOL RichEditWindow::setTargetDevice(const void *, LONG lineWidth)
{
    m_view->setLineWrapMode(lineWidth == 0 ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    return TRUE;
}

void RichEditWindow::setWantTabs(BOOL want)
{
    m_view->setTabChangesFocus(want == FALSE);
}

BOOL RichEditWindow::setReadOnly(BOOL readOnly)
{
    flush();
    m_view->setReadOnly(readOnly != FALSE);
    if (readOnly != FALSE) {
        m_style |= ES_READONLY;
    } else {
        m_style &= ~ES_READONLY;
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Links

void RichEditWindow::autoUrlDetect(BOOL on)
{
    m_links->setDetecting(on != FALSE);
}

void RichEditWindow::setHotTrackColor(const QColor &color)
{
    m_links->setHotColor(color);
}

bool RichEditWindow::autoUrlDetecting() const
{
    return m_links->detecting();
}

CHARRANGE RichEditWindow::linkAt(LONG position) const
{
    return m_links->linkAt(position);
}

bool RichEditWindow::sendLinkNotification(UINT message, const QPoint &viewportPos, CHARRANGE *found)
{
    const CHARRANGE range = m_links->linkUnder(viewportPos);
    if (range.cpMin < 0) {
        return false;
    }
    if (found != nullptr) {
        *found = range;
    }
    if ((m_eventMask & ENM_LINK) != 0) {
        ENLINK link{};
        link.nmhdr = {this, 0, EN_LINK};
        link.msg = message;
        link.chrg = range;
        emit linkNotify(link);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Events

bool RichEditWindow::beforeViewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ToolTip: {
        // The whole target shows while the pointer rests on a link, so that
        // what the text shows can be compared with what a click would open.
        const auto *help = static_cast<QHelpEvent *>(event);
        const CHARRANGE range = m_links->linkUnder(help->pos());
        if (range.cpMin < 0) {
            return false;
        }
        QTextCursor cursor(document());
        cursor.setPosition(range.cpMin);
        cursor.setPosition(range.cpMax, QTextCursor::KeepAnchor);
        const QUrl target = ShellTarget(cursor.selectedText());
        QToolTip::showText(help->globalPos(),
                           target.isValid() ? target.toString(QUrl::FullyEncoded)
                                            : cursor.selectedText(),
                           viewport());
        return true;
    }
    case QEvent::Paint:
    case QEvent::Resize:
        flush();
        break;
    case QEvent::MouseMove: {
        flush();
        const auto *mouse = static_cast<QMouseEvent *>(event);
        CHARRANGE hot{-1, -1};
        const bool overLink = sendLinkNotification(WM_MOUSEMOVE, mouse->position().toPoint(), &hot);
        viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
        m_links->setHotLink(hot.cpMin); // drawn in the hot-track colour while hovered
        break;
    }
    case QEvent::Leave:
        m_links->setHotLink(-1);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        flush();
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const bool press = event->type() == QEvent::MouseButtonPress;
        if (mouse->button() == Qt::LeftButton) {
            sendLinkNotification(press ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                                 mouse->position().toPoint());
        } else if (mouse->button() == Qt::RightButton) {
            sendLinkNotification(press ? WM_RBUTTONDOWN : WM_RBUTTONUP,
                                 mouse->position().toPoint());
        }
        break;
    }
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        flush();
        break;
    default:
        break;
    }
    return false;
}

void RichEditWindow::keyPress(QKeyEvent *event)
{
    flush();
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.front().isPrint() && !textCursor().hasSelection() &&
        contentLength() + typed.size() > m_textLimit) {
        QApplication::beep();
        event->accept();
        return;
    }
    m_view->defaultKeyPress(event);
}

void RichEditWindow::contextMenu(QContextMenuEvent *event)
{
    flush();
    event->accept();
    if (event->reason() == QContextMenuEvent::Mouse &&
        m_links->linkUnder(event->pos()).cpMin >= 0) {
        // The request comes with the right button's press on this platform:
        // over a link the release opens the link, so no menu may take it.
        return;
    }
    if (m_objects->host() == nullptr) {
        emit contextMenuRequested(event->globalPos());
        return;
    }
    // The host decides what the menu is; it is told what is selected.
    const QTextCursor cursor = textCursor();
    const CHARRANGE range{cursor.selectionStart(), cursor.selectionEnd()};
    const std::vector<PositionedObject> objects = ObjectsOf(*document(), range.cpMin, range.cpMax);
    WORD selection = range.cpMin == range.cpMax ? SEL_EMPTY : 0;
    if (range.cpMax - range.cpMin > static_cast<LONG>(objects.size())) {
        selection |= SEL_TEXT;
    }
    if (!objects.empty()) {
        selection |= objects.size() > 1 ? SEL_MULTIOBJECT : SEL_OBJECT;
    }
    if (range.cpMax - range.cpMin > 1) {
        selection |= SEL_MULTICHAR;
    }
    const std::shared_ptr<IOleObject> object =
        objects.size() == 1 ? objects.front().record->object : nullptr;
    void *menu = nullptr;
    m_contextMenuAt = event->globalPos();
    m_objects->host()->GetContextMenu(selection, object, range, &menu);
}

// What copy, cut, a drag and the X11 selection (text selected with the mouse)
// take from the document. All of it is marked secret, so that clipboard
// managers keep no history of the text.
QMimeData *RichEditWindow::mimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    if (m_objects->host() != nullptr) {
        std::shared_ptr<IDataObject> own;
        const CHARRANGE range{cursor.selectionStart(), cursor.selectionEnd()};
        if (m_objects->host()->GetClipboardData(range, 1, own) == S_OK && own) {
            auto *mime = new QMimeData;
            for (const QString &format : own->mimeData().formats()) {
                mime->setData(format, own->mimeData().data(format));
            }
            MarkAsOwnSecretData(*mime);
            return mime;
        }
    }
    auto *mime = new QMimeData;
    const QTextDocumentFragment fragment(cursor);
    QString plain = contentText(false, cursor.selectionStart(), cursor.selectionEnd());
    plain.replace(u'\r', u'\n');
    plain.remove(QChar::ObjectReplacementCharacter);
    mime->setText(plain);
    mime->setHtml(fragment.toHtml());
    const QByteArray rtf = WriteRtf(*document(), cursor.selectionStart(), cursor.selectionEnd());
    mime->setData(kRtfMime, rtf);
    mime->setData(kRtfMimeAlt, rtf);
    m_objects->addFormats(*mime, cursor.selectionStart(), cursor.selectionEnd());
    MarkAsOwnSecretData(*mime);
    return mime;
}

bool RichEditWindow::canInsert(const QMimeData *source) const
{
    if (source == nullptr) {
        return false;
    }
    const bool objects =
        m_objects->host() != nullptr &&
        (source->hasFormat(kMimeRichTextAndObjects) || source->hasFormat(kMimeEmbeddedObject) ||
         !LocalFilesOf(*source).isEmpty());
    return objects || source->hasFormat(kRtfMime) || source->hasFormat(kRtfMimeAlt) ||
           source->hasHtml() || source->hasText() || source->hasImage();
}

void RichEditWindow::insertData(const QMimeData *source)
{
    if (source == nullptr || isReadOnly() || !m_objects->accepts(*source, 0)) {
        return;
    }
    flush();
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    const bool plainMode = (m_textMode & TM_PLAINTEXT) != 0;
    bool done = false;
    if (!plainMode && m_objects->host() != nullptr) {
        // This program's own rich content first, then an object alone.
        if (source->hasFormat(kMimeRichTextAndObjects)) {
            done = m_objects->pasteRichText(cursor, source->data(kMimeRichTextAndObjects));
        }
        if (!done && source->hasFormat(kMimeEmbeddedObject)) {
            done = m_objects->pasteObject(cursor, *source, false, nullptr);
        }
    }
    const QByteArray rtf =
        source->hasFormat(kRtfMime) ? source->data(kRtfMime) : source->data(kRtfMimeAlt);
    if (!done && !plainMode && IsRtfData(rtf)) {
        done = m_objects->pasteRichText(cursor, rtf);
    }
    if (!done && !plainMode && source->hasHtml()) {
        cursor.insertFragment(PastedHtmlFragment(source->html()));
        done = true;
    }
    if (!done && source->hasText()) {
        insertPlainText(cursor, source->text());
        done = true;
    }
    if (!done && !plainMode && source->hasImage()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        if (!image.isNull()) {
            ObjectSupport::pastePicture(cursor, image);
        }
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
}

} // namespace win
