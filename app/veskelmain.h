// TForm1: the main window. Its children, menu and start-up behaviour; the
// document workflow lives beside it in DocumentWorkflow.
#pragma once

#include "app/documentworkflow.h"

#include <QDBusConnection>
#include <QMainWindow>

#include <functional>

class QAction;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;

namespace veskel {

class DesktopLockWatch;
class IdleWatch;
class LockPanel;
class TForm2;
class TRichEditor;

// What the desktop's session manager offers the window when the session
// ends (logout, shutdown); QSessionManager in the program.
class SessionEnd
{
public:
    virtual ~SessionEnd() = default;
    // Asks for leave to talk to the user; true when it is granted.
    virtual bool allowsInteraction() = 0;
    // The talk is over.
    virtual void release() = 0;
    // Asks the session manager to call off the end of the session.
    virtual void cancel() = 0;
};

class TForm1 : public QMainWindow, private DocumentHost
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // The password dialog, created after the window (start-up).
    void setPasswordDialog(TForm2 *dialog) { Form2 = dialog; }
    TForm2 *Form2 = nullptr; // the password dialog

    QString FileName; // the document's file; empty for an untitled document
    int FoundPos = 0; // where the find bar's last Find matched (-1: nowhere)

    // Children, named as their objectName. The inherited names run in no
    // order: Edit1, Edit3 and Edit4 are line edits of the bars, Edit2 is the
    // Edit menu, and Label2 captions Edit4 while Label1 captions Edit1.
    QWidget *pnlSearchReplace = nullptr;    // the search-and-replace bar
    QPushButton *btnSearcReplace = nullptr; // "Search & Replace": replaces every match
    QLabel *Label2 = nullptr;               // "Search Token:", the caption of Edit4
    QLineEdit *Edit4 = nullptr;             // the search token
    QLabel *Label1 = nullptr;               // "Replace With Token:", the caption of Edit1
    QLineEdit *Edit1 = nullptr;             // the replacement
    TRichEditor *memo1 = nullptr;           // the editing area: the rich-text editor control
    QWidget *pnlFind = nullptr;             // the find bar, shown at start
    QPushButton *btnFind = nullptr;         // "Find": selects the first match of Edit3
    QLineEdit *Edit3 = nullptr;             // the find bar's text
    QWidget *pnlGoto = nullptr;             // the go-to-line bar
    QPushButton *btnGoTo = nullptr;         // "Go To Line"
    QLineEdit *edtGoTo = nullptr;           // the 0-based line number to go to
    QStatusBar *StatusBar1 = nullptr;
    QLabel *StatusPanel0 = nullptr; // the caret's "column : line", both 0-based
    QLabel *StatusPanel1 = nullptr; // the document's format, or a search's note
    // Shown in place of the editing area, the bars and the status bar while
    // the document is locked.
    LockPanel *pnlLocked = nullptr;

    // The menus and their commands; each command's handler is NameClick.
    QMenu *File1 = nullptr;           // File
    QAction *New1 = nullptr;          // File > New (Ctrl+N)
    QAction *Open1 = nullptr;         // File > Open (Ctrl+O)
    QAction *Save1 = nullptr;         // File > Save (Ctrl+S)
    QAction *SaveAs1 = nullptr;       // File > Save As...
    QAction *Lock1 = nullptr;         // File > Lock (Ctrl+L)
    QAction *Exit1 = nullptr;         // File > Exit
    QMenu *Edit2 = nullptr;           // Edit
    QAction *Undo1 = nullptr;         // Edit > Undo (Ctrl+Z)
    QAction *Cut1 = nullptr;          // Edit > Cut (Ctrl+X)
    QAction *Copy1 = nullptr;         // Edit > Copy (Ctrl+C)
    QAction *Paste1 = nullptr;        // Edit > Paste (Ctrl+V)
    QAction *PasteSpecial1 = nullptr; // Edit > Paste Special...: the paste-special dialog
    QAction *Find1 = nullptr;         // Edit > Find...: shows the find bar
    QAction *FindNext1 = nullptr;     // Edit > Find Next (F3)
    QAction *FindPrevious1 = nullptr; // Edit > Find Previous (Shift+F3)
    QAction *Replace1 = nullptr;      // Edit > Replace...: shows the search-and-replace bar
    QAction *GoTo1 = nullptr;         // Edit > Go To...: shows the go-to-line bar
    QAction *Object1 = nullptr;       // Edit > Object: the insert-object dialog
    QMenu *Help1 = nullptr;           // Help: its items do nothing
    QAction *Contents1 = nullptr;
    QAction *SearchforHelpOn1 = nullptr;
    QAction *HowtoUseHelp1 = nullptr;
    QAction *About1 = nullptr;

    QFileDialog *OpenDialog1 = nullptr; // "Load a file"
    QFileDialog *SaveDialog1 = nullptr; // Save As's dialog, with the strong file type

    DocumentWorkflow &Workflow() { return m_workflow; }

    // Replaces the file dialogs' runs (tests): return true with a path, or
    // false for a cancelled dialog.
    std::function<bool(QFileDialog *dialog, QString &path)> RunFileDialog;

    void SetFileName(const QString &path) override;
    // Saves in the document's format; the old one for an untitled document.
    SaveOutcome SaveDocument(const QString &path)
    {
        return m_workflow.SaveDocument(path, m_workflow.Format() == DocumentFormat::Strong
                                                 ? DocumentFormat::Strong
                                                 : DocumentFormat::Old);
    }
    void OpenDocument(const QString &path) { m_workflow.OpenDocument(path); }

    // Event handlers.
    void FormCreate();
    void FormActivate();
    // False when the window must stay open.
    bool FormClose();
    void New1Click();
    void Open1Click();
    void Save1Click();
    void SaveAs1Click();
    void Lock1Click();
    void Exit1Click();
    void Undo1Click();
    void Cut1Click();
    void Copy1Click();
    void Paste1Click();
    void PasteSpecial1Click();
    void Object1Click();
    void Find1Click();
    // The find bar's text again, after (before) the selection, wrapping
    // around the document; the status bar says when it wrapped or found
    // nothing.
    void FindNext1Click();
    void FindPrevious1Click();
    void Replace1Click();
    void GoTo1Click();
    void btnFindClick();
    void btnSearcReplaceClick();
    void btnGoToClick();
    void memo1KeyDown();
    void memo1KeyPress();
    void memo1MouseDown();
    void memo1PropertiesURLClick(const QString &urlText);

    // Replaces every occurrence of search, in one pass, not undoably.
    void ReplaceAll(const QString &search, const QString &replacement);
    // Shows the column and line of the caret in the status bar's first panel.
    void UpdateCaretStatus();

    // Locks the document (see DocumentWorkflow::Lock): the lock panel takes
    // the place of the text, and the clipboard is cleared of the program's
    // copy. A modal dialog open at that moment is cancelled first, as its
    // Cancel would. canAsk: a command of the user's, which may ask for a
    // password to lock an untitled text with.
    void LockDocument(bool canAsk);
    // The lock panel's Unlock.
    void UnlockClick();
    bool IsLocked() const { return m_workflow.Locked(); }
    // Locks after kIdleLockInterval without input in any of the program's
    // windows (tests drive its clock).
    IdleWatch &IdleLock() { return *m_idleLock; }
    // Locks when the desktop locks the screen or the session, or the system
    // is about to sleep, as the buses given tell.
    void WatchDesktopLock(const QDBusConnection &sessionBus, const QDBusConnection &systemBus);

    // Whether FormActivate has run.
    bool Activated() const { return m_activated; }

    // The desktop session is ending: unsaved changes are settled as on a
    // close, or the end is called off.
    void SessionEnding(SessionEnd &session);

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // DocumentHost
    TRichEditor &Editor() override { return *memo1; }
    QString DocumentPath() const override { return FileName; }
    int ShowPasswordDialog() override;
    QString PasswordText() const override;
    void ShowMessage(const QString &text) override;
    LossyAnswer ConfirmLossySave(const OldFormatLoss &loss) override;
    bool ConfirmOverwriteChanged(const QString &path) override;
    int ShowPasswordAgain(QString &typed) override;
    UnsavedAnswer AskSaveChanges(const QString &path) override;
    WrongPasswordAnswer AskAfterWrongPassword() override;
    bool ChooseSavePath(QString &path, DocumentFormat &format) override;
    void ShowFormat(DocumentFormat format) override;
    void SetBusy(bool busy) override;
    bool ConfirmDiscardLocked() override;

    void createChildren();
    // Names and descriptions a screen reader reads for each control.
    void nameForAssistiveTechnology();
    void createMenu();
    void createFileDialogs();
    void setTabOrder();
    bool runFileDialog(QFileDialog *dialog, QString &path);
    // Sizes a file dialog to show its columns, within the main window's screen.
    void fitFileDialog(QFileDialog *dialog);
    static QString strongFilter();
    // Connects a menu item to a handler inside the error boundary.
    void connectGuarded(QAction *action, void (TForm1::*handler)());
    void connectGuarded(QPushButton *button, void (TForm1::*handler)());
    void connectEditorEvents();
    // Shows the bar alone, then gives its box the focus.
    void ShowBar(QWidget *bar, QWidget *focusTarget);
    void activateOnce();
    void findAgain(bool forward);
    // The status bar's second panel: a search's note while there is one,
    // else the document's format. The next edit or caret move of the
    // user's clears the note.
    void showSearchNote(const QString &note);
    void clearSearchNote();
    void showStatusPanel1();
    void cancelDialogsThenLock(int round);
    void lockNow(bool canAsk);
    void showLocked(bool locked);

    DocumentWorkflow m_workflow;
    bool m_activated = false;
    QString m_formatText;
    QString m_searchNote;
    // While locked: the bar that was shown, the actions that were enabled.
    IdleWatch *m_idleLock = nullptr;
    DesktopLockWatch *m_desktopLock = nullptr;
    QWidget *m_barBeforeLock = nullptr;
    QList<QAction *> m_enabledBeforeLock;
};

} // namespace veskel
