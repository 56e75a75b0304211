// TRichEditor: the rich-text editor control over a rich edit window.
//
// The outer control owns its settings and the inner window, answers the main
// window's text requests, tracks link clicks and shows its own right-click
// menu. Every operation ends in a message to the inner window.
#pragma once

#include "editor/richeditorproperties.h"
#include "editor/richeditstrings.h"
#include "platform/richedit/richedit.h"

#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace veskel {

class ObjectHost;

enum TSearchOption : unsigned
{
    WholeWord = 1,
    MatchCase = 2
};
using TSearchOptions = unsigned;

class TRichEditor : public QWidget
{
    Q_OBJECT

public:
    explicit TRichEditor(QWidget *parent = nullptr);
    ~TRichEditor() override;

    TRichEditorProperties &Properties() { return m_properties; }
    TEditStyle StyleHot;
    TRichEditStrings &Lines() { return m_lines; }
    int RichEditVersion() const { return m_richEditVersion; }

    // The inner window, created when first needed. Throws EEditorError
    // ("Cannot load a RichEdit library") when it cannot be created.
    win::RichEditWindow *InnerWindow();
    bool HandleAllocated() const { return m_window != nullptr; }
    // A new inner window, keeping the content.
    void RecreateWnd();

    // The whole content as plain text, paragraph breaks as CR LF.
    QString Text();
    // The whole content as RTF, with its formatting, pictures and objects;
    // the caller wipes it. Throws EOutOfResources when the window cannot
    // write it.
    QByteArray RichText();
    // Whether the content carries formatting that plain text loses.
    bool HasFormatting() { return InnerWindow()->hasFormatting(); }
    // Replaces the content with the text up to its first U+0000; a text that
    // begins with "{\rtf" is read as RTF.
    void setText(const QString &value);
    // The display lines, each followed by CR LF.
    QString LinesText() const;

    int SelectionStart();
    void setSelectionStart(int position);
    int SelectionLength();
    void setSelectionLength(int length);
    void ReplaceSelection(const QString &text);
    int Find(const QString &text, int start, int length, TSearchOptions options = 0,
             bool forward = true);
    void SetCaretPosition(int x, int y);
    int LineFromPosition(int position);
    int LineStart(int line);
    void Undo();
    void Redo();
    void Cut();
    void Copy();
    void Paste();
    void Delete();
    void SelectAll();
    bool CanPaste();
    void Clear();
    bool EditingPermitted() const { return !m_properties.ReadOnly(); }

    // Embedded objects: the insert-object dialog, then the object goes in at
    // the selection and becomes it; the paste-special dialog, then the
    // clipboard's data goes in the chosen format. Both report whether
    // something was inserted.
    bool InsertObject();
    bool PasteSpecial();
    // The inner window's object interface (null while there is no window or
    // objects are not allowed) and the host handed to the window.
    std::shared_ptr<win::IRichEditOle> RichEditOle() const { return m_richEditOle; }
    ObjectHost *Host() const { return m_host.get(); }
    // Asked before an object is pasted or dropped at the selection.
    std::function<void(TRichEditor *sender, bool &allowInsertObject, const win::CLSID &clsid)>
        OnQueryInsertObject;

    // Link-click tracking.
    win::CHARRANGE LinkRange() const { return m_linkRange; }
    TMouseButton LinkButton() const { return m_linkButton; }

    // The right-click menu, built on first use; its states as just before it
    // opens.
    QMenu *ContextMenu();
    void UpdateContextMenu();

    // Key and mouse events of the editing area, before they take effect.
    std::function<void(TRichEditor *, int &key, Qt::KeyboardModifiers)> OnKeyDown;
    std::function<void(TRichEditor *, QChar &key)> OnKeyPress;
    std::function<void(TRichEditor *, TMouseButton, Qt::KeyboardModifiers, int x, int y)>
        OnMouseDown;

    // Settings copied into the window.
    void ApplyTextLimit();
    void ApplyWantTabs();
    void ApplyReadOnly();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Where the embedded-object interface is set up and released.
    virtual void CreateObjectInterface(win::RichEditWindow *window);
    virtual void DestroyObjectInterface(win::RichEditWindow *window);

private:
    // The right-click menu's entries, top to bottom.
    enum class MenuAction : std::size_t
    {
        Undo,
        Redo,
        UndoSeparator,
        Cut,
        Copy,
        Paste,
        Delete,
        EditSeparator,
        SelectAll,
        Count
    };
    QAction *&MenuItem(MenuAction entry);

    void CreateWnd();
    void DestroyWnd();
    void LoadLibraries();
    void SetTextMode(win::RichEditWindow *window);
    void StreamTextIn(const QString &text);
    void LinkNotify(const win::ENLINK &link);
    void ShowContextMenu(const QPoint &globalPos);
    QString TextRange(win::CHARRANGE range);

    TRichEditorProperties m_properties;
    TRichEditStrings m_lines;
    QPointer<win::RichEditWindow> m_window;
    int m_richEditVersion = 0;
    bool m_settingText = false;
    bool m_clearing = false;
    bool m_valueNull = true;
    win::CHARRANGE m_linkRange{-1, -1};
    TMouseButton m_linkButton = mbLeft;
    QMenu *m_menu = nullptr;
    QAction *m_menuActions[static_cast<std::size_t>(MenuAction::Count)] = {};
    std::shared_ptr<win::IRichEditOle> m_richEditOle;
    std::unique_ptr<ObjectHost> m_host;
};

} // namespace veskel
