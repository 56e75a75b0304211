#include "richeditor.h"

#include "editor/objects/objecthost.h"
#include "editor/objects/objectstorage.h"
#include "platform/richedit/richeditlib.h"
#include "platform/win/codepage.h"
#include "runtime/exceptions.h"
#include "runtime/memory.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <limits>
#include <vector>

namespace veskel {

using namespace win;

namespace {

// The notifications asked of the window: the base set first, then the full set.
constexpr DWORD kBaseEventMask = ENM_CHANGE | ENM_REQUESTRESIZE | ENM_SELCHANGE | ENM_PROTECTED;
constexpr DWORD kEventMask = kBaseEventMask | ENM_KEYEVENTS | ENM_IMECHANGE | ENM_LANGCHANGE |
                             ENM_OBJECTPOSITIONS | ENM_LINK;
static_assert(kBaseEventMask == 0x002C0001);
static_assert(kEventMask == 0x07AD0001);
constexpr LONG kNoTextLimit = 0x7FFFFFFF;

HMODULE g_baseLibrary = nullptr; // the base behaviour's library, once per process
HMODULE g_editLibrary = nullptr; // the control's own library, once per process

bool loaded(HMODULE handle)
{
    return reinterpret_cast<std::uintptr_t>(handle) > 32;
}

DWORD collectStream(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG *count)
{
    auto *out = reinterpret_cast<QByteArray *>(cookie);
    out->append(reinterpret_cast<const char *>(buffer), size);
    *count = size;
    return 0;
}

} // namespace

TRichEditor::TRichEditor(QWidget *parent)
    : QWidget(parent)
    , m_properties(this)
    , m_lines(this)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    RegisterObjectClipboardFormats();
    m_host = std::make_unique<ObjectHost>(this);
}

TRichEditor::~TRichEditor()
{
    DestroyWnd();
}

// ---------------------------------------------------------------------------
// The inner window

RichEditWindow *TRichEditor::InnerWindow()
{
    if (m_window == nullptr) {
        CreateWnd();
    }
    return m_window;
}

void TRichEditor::LoadLibraries()
{
    if (!loaded(g_baseLibrary)) {
        g_baseLibrary = LoadLibraryW(u"RICHED20.DLL");
    }
    if (!loaded(g_editLibrary)) {
        for (const char16_t *name : {u"Msftedit.dll", u"Riched20.dll", u"Riched32.dll"}) {
            g_editLibrary = LoadLibraryW(name);
            if (loaded(g_editLibrary)) {
                break;
            }
        }
        if (!loaded(g_editLibrary)) {
            g_editLibrary = nullptr;
            throw EEditorError(QStringLiteral("Cannot load a RichEdit library"));
        }
    }
}

void TRichEditor::CreateWnd()
{
    LoadLibraries();
    const char16_t *className = u"RICHEDIT20W";
    if (GetClassInfoW(nullptr, className) == FALSE) {
        throw EEditorError(QStringLiteral("Cannot load a RichEdit library"));
    }
    m_richEditVersion = 200;

    DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | ES_WANTRETURN | WS_CLIPSIBLINGS |
                  WS_CLIPCHILDREN;
    switch (m_properties.ScrollBars()) {
    case ssBoth:
        style |= WS_HSCROLL | WS_VSCROLL;
        break;
    case ssHorizontal:
        style |= WS_HSCROLL;
        break;
    case ssVertical:
        style |= WS_VSCROLL;
        break;
    case ssNone:
        break;
    }
    if (!m_properties.WordWrap()) {
        style |= ES_AUTOHSCROLL;
    }
    if (m_properties.SelectionBar()) {
        style |= ES_SELECTIONBAR;
    }
    if (m_properties.ReadOnly()) {
        style |= ES_READONLY;
    }
    RichEditWindow *window = CreateRichEditWindow(className, style, this);
    if (window == nullptr) {
        throw EEditorError(QStringLiteral("Cannot load a RichEdit library"));
    }
    m_window = window;
    layout()->addWidget(window);
    window->setVisible(true); // shown with the control, also when made after it
    setFocusProxy(window);
    // Screen readers meet the inner window, so a window made anew carries the
    // control's name.
    window->setAccessibleText(accessibleName(), accessibleDescription());
    // EM_SETTARGETDEVICE: line width 0 wraps at the window's width, 1 never wraps.
    window->setTargetDevice(nullptr, m_properties.WordWrap() ? 0 : 1);
    window->setMessageFilter(this);
    connect(window, &RichEditWindow::linkNotify, this, &TRichEditor::LinkNotify);
    connect(window, &RichEditWindow::contextMenuRequested, this, &TRichEditor::ShowContextMenu);

    CreateObjectInterface(window);
    window->autoUrlDetect(m_properties.AutoURLDetect() && !m_properties.MemoMode() ? TRUE : FALSE);
    window->setEventMask(kBaseEventMask);
    window->setEventMask(kEventMask);
    ApplyTextLimit();
    SetTextMode(window);
    ApplyWantTabs();
}

void TRichEditor::SetTextMode(RichEditWindow *window)
{
    const auto mode = static_cast<UINT>(window->getTextMode());
    const bool memo = m_properties.MemoMode();
    if ((!memo && (mode & TM_RICHTEXT) != 0) || (memo && (mode & TM_PLAINTEXT) != 0)) {
        return;
    }
    QString text = Text();
    const WipedOnExit wipeText(text);
    window->setWindowText(u"");
    UINT newMode = mode;
    if (memo) {
        newMode = (newMode & ~TM_RICHTEXT) | TM_PLAINTEXT;
    } else {
        newMode = (newMode & ~TM_PLAINTEXT) | TM_RICHTEXT;
    }
    window->setTextMode(newMode);
    window->setWindowText(reinterpret_cast<const WCHAR *>(text.utf16()));
}

void TRichEditor::DestroyWnd()
{
    if (m_window == nullptr) {
        return;
    }
    RichEditWindow *window = m_window;
    DestroyObjectInterface(window);
    m_window = nullptr;
    delete window;
}

void TRichEditor::RecreateWnd()
{
    if (m_window == nullptr) {
        return;
    }
    // The content survives as RTF.
    QByteArray rtf = RichText();
    const WipedOnExit wipeRtf(rtf);
    const bool focused = m_window->hasFocus();
    DestroyWnd();
    CreateWnd();
    QString content = QString::fromLatin1(rtf);
    const WipedOnExit wipeContent(content);
    StreamTextIn(content);
    if (focused) {
        m_window->setFocus();
    }
}

void TRichEditor::ApplyTextLimit()
{
    if (m_window != nullptr) {
        m_window->exLimitText(m_properties.MaxLength() == 0 ? kNoTextLimit
                                                            : m_properties.MaxLength());
    }
}

void TRichEditor::ApplyWantTabs()
{
    if (m_window != nullptr) {
        m_window->setWantTabs(m_properties.WantTabs() ? TRUE : FALSE);
    }
}

void TRichEditor::ApplyReadOnly()
{
    if (m_window != nullptr) {
        m_window->setReadOnly(m_properties.ReadOnly() ? TRUE : FALSE);
    }
}

// ---------------------------------------------------------------------------
// Text

QByteArray TRichEditor::RichText()
{
    QByteArray rtf;
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&rtf), 0, &collectStream};
    InnerWindow()->streamOut(SF_RTF, stream);
    if (stream.dwError != 0) {
        WipeBytes(rtf);
        throw EOutOfResources(QStringLiteral("Failed to Save Stream"));
    }
    return rtf;
}

QString TRichEditor::Text()
{
    RichEditWindow *window = InnerWindow();
    const auto length = static_cast<qsizetype>(
        window->getTextLengthEx({GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, CP_UTF16LE}));
    QString text(length, QChar(u'\0'));
    if (length == 0) {
        return text;
    }
    std::vector<WCHAR> buffer(static_cast<std::size_t>(length) + 1);
    const GETTEXTEX request{static_cast<DWORD>((length + 1) * 2), GT_USECRLF, CP_UTF16LE, nullptr,
                            nullptr};
    const auto copied = static_cast<qsizetype>(window->getTextEx(request, buffer.data()));
    std::copy(buffer.begin(), buffer.begin() + std::min(copied, length),
              reinterpret_cast<char16_t *>(text.data()));
    SecureZeroMemory(buffer.data(), buffer.size() * sizeof(WCHAR));
    return text;
}

void TRichEditor::setText(const QString &value)
{
    // The length is known without a copy of the text; only an equal length
    // needs the comparison.
    const auto length = static_cast<qsizetype>(
        InnerWindow()->getTextLengthEx({GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, CP_UTF16LE}));
    if (length == value.size()) {
        QString current = Text();
        const bool same = current == value;
        WipeString(current);
        if (same) {
            return;
        }
    }
    if (m_settingText) {
        // A nested set goes straight to the window.
        InnerWindow()->setWindowText(reinterpret_cast<const WCHAR *>(value.utf16()));
        return;
    }
    const QScopedValueRollback settingText(m_settingText, true);
    const qsizetype nul = value.indexOf(QChar(u'\0'));
    QString head = nul < 0 ? QString() : value.left(nul);
    const WipedOnExit wipeHead(head);
    StreamTextIn(nul < 0 ? value : head);
    m_valueNull = false;
}

void TRichEditor::StreamTextIn(const QString &text)
{
    RichEditWindow *window = InnerWindow();
    if (m_properties.MemoMode()) {
        window->setWindowText(reinterpret_cast<const WCHAR *>(text.utf16()));
        return;
    }
    QByteArray bytes;
    const WipedOnExit wipeBytes(bytes);
    TEncoding encoding = TEncoding::Utf16LE;
    if (text.startsWith(QLatin1String("{\\rtf"))) {
        bytes = EncodeAnsi(text);
        encoding = TEncoding::Ansi;
    } else {
        bytes = QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    m_lines.StreamIn(buffer, encoding);
}

QString TRichEditor::LinesText() const
{
    const int count = m_lines.LineCount();
    QString text;
    for (int i = 0; i < count; ++i) {
        text += m_lines.LineAt(i);
        text += QLatin1String("\r\n");
    }
    return text;
}

// ---------------------------------------------------------------------------
// Selection, search and edits

int TRichEditor::SelectionStart()
{
    CHARRANGE range{};
    InnerWindow()->exGetSel(range);
    return range.cpMin;
}

void TRichEditor::setSelectionStart(int position)
{
    InnerWindow()->exSetSel({position, position});
}

int TRichEditor::SelectionLength()
{
    CHARRANGE range{};
    InnerWindow()->exGetSel(range);
    return range.cpMax - range.cpMin;
}

void TRichEditor::setSelectionLength(int length)
{
    RichEditWindow *window = InnerWindow();
    CHARRANGE range{};
    window->exGetSel(range);
    const qint64 end = qint64(range.cpMin) + length;
    range.cpMax = static_cast<LONG>(std::clamp<qint64>(end, std::numeric_limits<LONG>::min(),
                                                       std::numeric_limits<LONG>::max()));
    window->exSetSel(range);
    window->scrollCaret();
}

void TRichEditor::ReplaceSelection(const QString &text)
{
    RichEditWindow *window = InnerWindow();
    if (window->hasFocus() && !EditingPermitted()) {
        return;
    }
    window->replaceSel(FALSE, text);
}

int TRichEditor::Find(const QString &text, int start, int length, TSearchOptions options,
                      bool forward)
{
    const qint64 end = forward ? qint64(start) + length : qint64(start) - length;
    FINDTEXTW find{};
    find.chrg.cpMin = start;
    // An end past the content stands for the end of the content.
    find.chrg.cpMax =
        static_cast<LONG>(std::clamp<qint64>(end, -1, std::numeric_limits<LONG>::max()));
    find.lpstrText = reinterpret_cast<const WCHAR *>(text.utf16());
    WPARAM flags = forward ? FR_DOWN : 0;
    if ((options & WholeWord) != 0) {
        flags |= FR_WHOLEWORD;
    }
    if ((options & MatchCase) != 0) {
        flags |= FR_MATCHCASE;
    }
    return static_cast<int>(InnerWindow()->findText(flags, find));
}

void TRichEditor::SetCaretPosition(int x, int y)
{
    RichEditWindow *window = InnerWindow();
    const auto index = static_cast<LONG>(window->lineIndex(y) + x);
    window->setSel(index, index);
}

int TRichEditor::LineFromPosition(int position)
{
    return static_cast<int>(InnerWindow()->lineFromChar(position));
}

int TRichEditor::LineStart(int line)
{
    return static_cast<int>(InnerWindow()->lineIndex(line));
}

void TRichEditor::Undo()
{
    if (m_window != nullptr) {
        m_window->undoEdit();
    }
}

void TRichEditor::Redo()
{
    if (m_window != nullptr) {
        m_window->redoEdit();
    }
}

void TRichEditor::Cut()
{
    RichEditWindow *window = InnerWindow();
    if (SelectionLength() <= 0) {
        return;
    }
    if (EditingPermitted()) {
        window->cutSelection();
    } else {
        Copy();
    }
}

void TRichEditor::Copy()
{
    if (SelectionLength() > 0) {
        InnerWindow()->copySelection();
    }
}

void TRichEditor::Paste()
{
    if (EditingPermitted()) {
        InnerWindow()->pasteClipboard();
    }
}

void TRichEditor::Delete()
{
    if (SelectionLength() > 0 && EditingPermitted()) {
        InnerWindow()->clearSelection();
    }
}

void TRichEditor::SelectAll()
{
    InnerWindow()->setSel(0, -1);
}

bool TRichEditor::CanPaste()
{
    return m_window != nullptr && m_window->canPaste(0) != FALSE;
}

void TRichEditor::Clear()
{
    if (m_clearing || m_settingText) {
        return;
    }
    const QScopedValueRollback clearing(m_clearing, true);
    RichEditWindow *window = m_window;
    {
        // The window paints again however the clearing ends.
        const auto paintAgain = qScopeGuard([window] {
            if (window != nullptr) {
                window->setUpdatesEnabled(true);
            }
        });
        if (window != nullptr) {
            window->setUpdatesEnabled(false);
            window->setWindowText(u"");
        }
        setText(QString());
    }
    m_valueNull = true;
    if (window != nullptr) {
        window->update();
    }
}

// ---------------------------------------------------------------------------
// Links

QString TRichEditor::TextRange(CHARRANGE range)
{
    const int size = std::max(range.cpMax - range.cpMin, 0) + 1;
    std::vector<WCHAR> buffer(static_cast<std::size_t>(size));
    TEXTRANGEW request{range, buffer.data()};
    const auto copied = static_cast<qsizetype>(InnerWindow()->getTextRange(request));
    QString text(reinterpret_cast<const QChar *>(buffer.data()),
                 std::min<qsizetype>(copied, size - 1));
    SecureZeroMemory(buffer.data(), buffer.size() * sizeof(WCHAR));
    return text;
}

void TRichEditor::LinkNotify(const ENLINK &link)
{
    const auto click = [this, &link](TMouseButton button) {
        if (m_linkButton == button && link.chrg == m_linkRange && m_properties.OnURLClick) {
            m_properties.OnURLClick(this, TextRange(link.chrg), button);
        }
        m_linkRange = {-1, -1};
    };
    switch (link.msg) {
    case WM_MOUSEMOVE:
        if (m_properties.OnURLMove) {
            m_properties.OnURLMove(this, TextRange(link.chrg));
        }
        break;
    case WM_LBUTTONDOWN:
        m_linkRange = link.chrg;
        m_linkButton = mbLeft;
        break;
    case WM_LBUTTONUP:
        click(mbLeft);
        break;
    case WM_RBUTTONDOWN:
        m_linkRange = link.chrg;
        m_linkButton = mbRight;
        break;
    case WM_RBUTTONUP:
        click(mbRight);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------
// Right-click menu

QMenu *TRichEditor::ContextMenu()
{
    if (m_menu != nullptr) {
        return m_menu;
    }
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("richEditorContextMenu"));
    const auto add = [this](MenuAction entry, const QString &caption,
                            void (TRichEditor::*action)()) {
        QAction *item = m_menu->addAction(caption);
        connect(item, &QAction::triggered, this, [this, action] { (this->*action)(); });
        MenuItem(entry) = item;
    };
    add(MenuAction::Undo, QStringLiteral("&Undo"), &TRichEditor::Undo);
    add(MenuAction::Redo, QStringLiteral("&Redo"), &TRichEditor::Redo);
    MenuItem(MenuAction::UndoSeparator) = m_menu->addSeparator();
    add(MenuAction::Cut, QStringLiteral("Cu&t"), &TRichEditor::Cut);
    add(MenuAction::Copy, QStringLiteral("&Copy"), &TRichEditor::Copy);
    add(MenuAction::Paste, QStringLiteral("&Paste"), &TRichEditor::Paste);
    add(MenuAction::Delete, QStringLiteral("&Delete"), &TRichEditor::Delete);
    MenuItem(MenuAction::EditSeparator) = m_menu->addSeparator();
    add(MenuAction::SelectAll, QStringLiteral("Select &All"), &TRichEditor::SelectAll);
    return m_menu;
}

QAction *&TRichEditor::MenuItem(MenuAction entry)
{
    return m_menuActions[static_cast<std::size_t>(entry)];
}

void TRichEditor::UpdateContextMenu()
{
    ContextMenu();
    RichEditWindow *window = InnerWindow();
    const bool selected = SelectionLength() > 0;
    MenuItem(MenuAction::Undo)->setEnabled(window->canUndo() != FALSE);
    MenuItem(MenuAction::Redo)->setEnabled(window->canRedo() != FALSE);
    MenuItem(MenuAction::Cut)->setEnabled(selected && EditingPermitted());
    MenuItem(MenuAction::Copy)->setEnabled(selected);
    MenuItem(MenuAction::Paste)->setEnabled(CanPaste());
    MenuItem(MenuAction::Delete)->setEnabled(selected && EditingPermitted());
    MenuItem(MenuAction::SelectAll)->setEnabled(true);
}

void TRichEditor::contextMenuEvent(QContextMenuEvent *event)
{
    // The object host posts the inner window's requests here.
    ShowContextMenu(event->globalPos());
    event->accept();
}

void TRichEditor::ShowContextMenu(const QPoint &globalPos)
{
    UpdateContextMenu();
    m_menu->popup(globalPos);
}

// ---------------------------------------------------------------------------
// Events of the editing area

bool TRichEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (m_window != nullptr && watched == m_window) {
        if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (OnKeyDown) {
                int code = key->key();
                OnKeyDown(this, code, key->modifiers());
                if (code == 0) {
                    return true; // the handler swallowed the key
                }
            }
            if (OnKeyPress && !key->text().isEmpty()) {
                QChar typed = key->text().front();
                OnKeyPress(this, typed);
                if (typed.isNull()) {
                    return true;
                }
            }
        } else if (event->type() == QEvent::MouseButtonPress && OnMouseDown) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            const TMouseButton button = mouse->button() == Qt::RightButton    ? mbRight
                                        : mouse->button() == Qt::MiddleButton ? mbMiddle
                                                                              : mbLeft;
            const QPoint at = mouse->position().toPoint();
            OnMouseDown(this, button, mouse->modifiers(), at.x(), at.y());
        } else if (event->type() == QEvent::MouseMove) {
            // The hot-track style as it is now, before the window draws the
            // link under the mouse.
            m_window->setHotTrackColor(StyleHot.TextColor);
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace veskel
