// Saving, opening, replacing and closing the window's one document.
//
// Only a document that was decrypted from its file, or written to it, carries
// that file's path; everything else is untitled. Unsaved changes are never
// dropped by New, Open or a close without the user choosing Save, Discard or
// Cancel, and Cancel at any later step leaves everything as it was. A wrong
// password is caught before anything is shown, a new password is typed twice,
// and a file another program changed since the window read or wrote it is not
// overwritten without asking.
#pragma once

#include "app/filestamp.h"
#include "app/lockkey.h"
#include "app/passwordfingerprint.h"
#include "cipher/storability.h"

#include <QByteArray>
#include <QString>

namespace veskel {

class TRichEditor;

// The answer to "Save the changes?".
enum class UnsavedAnswer
{
    Save,
    Discard,
    Cancel
};

// The answer to "The password is wrong.".
enum class WrongPasswordAnswer
{
    TryAgain,
    ShowAnyway
};

// The format a document was read from or is written in; None for an untitled
// document.
enum class DocumentFormat
{
    None,
    Old,   // RC4 armour: plain 8-bit text, kept from casual reading only
    Strong // Argon2id and XChaCha20-Poly1305: the rich text, authenticated
};

// The answer to the question before a save in the old format that would lose
// part of the document.
enum class LossyAnswer
{
    SaveStrong, // save in the strong format instead, keeping everything
    SaveOld,    // save in the old format all the same
    Cancel
};

// What the workflow needs of the window.
class DocumentHost
{
public:
    virtual ~DocumentHost() = default;
    virtual TRichEditor &Editor() = 0;
    virtual QString DocumentPath() const = 0;
    // The document's path and the caption that shows it.
    virtual void SetFileName(const QString &path) = 0;
    // The password dialog's modal result (mrOk, mrCancel), and its text after mrOk.
    virtual int ShowPasswordDialog() = 0;
    virtual QString PasswordText() const = 0;
    // The second entry of a new password: mrOk with what was typed, or mrCancel.
    virtual int ShowPasswordAgain(QString &typed) = 0;
    virtual void ShowMessage(const QString &text) = 0;
    // Before a save in the old format that would lose what `loss` lists.
    virtual LossyAnswer ConfirmLossySave(const OldFormatLoss &loss) = 0;
    // Whether to write over the file at path although another program
    // changed it since the window read or wrote it.
    virtual bool ConfirmOverwriteChanged(const QString &path) = 0;
    // Before unsaved changes would be dropped; path is empty for an
    // untitled document.
    virtual UnsavedAnswer AskSaveChanges(const QString &path) = 0;
    virtual WrongPasswordAnswer AskAfterWrongPassword() = 0;
    // The save dialog, preset with path and format; true with the path and
    // the format chosen.
    virtual bool ChooseSavePath(QString &path, DocumentFormat &format) = 0;
    // Shows the document's format (None: nothing).
    virtual void ShowFormat(DocumentFormat format) = 0;
    // A busy cursor while the key derivation runs.
    virtual void SetBusy(bool busy) = 0;
    // Before the unsaved changes of a locked document would be dropped (it
    // cannot be saved while locked): true to discard them.
    virtual bool ConfirmDiscardLocked() { return false; }
};

// How a save ended when it raised no error.
enum class SaveOutcome
{
    Saved,
    Cancelled, // a dialog was cancelled: nothing written
    Refused    // the user said No, or the key or encryption failed
};

// How a lock ended.
enum class LockOutcome
{
    Sealed,   // the content is sealed in memory; the password opens it again
    Hidden,   // there is no password to seal it with: it is only hidden
    Cancelled // the user gave no password to lock with: nothing changed
};

class DocumentWorkflow
{
public:
    explicit DocumentWorkflow(DocumentHost &host);

    // Asks for the password (twice when it is not the document's own),
    // writes the encrypted document to path in the format and then makes
    // path the document's. A save in the old format that would lose part of
    // the document asks first, and may turn into one in the strong format.
    // File errors escape as exceptions; the document's path and format are
    // then the ones from before.
    SaveOutcome SaveDocument(const QString &path, DocumentFormat format);
    // The document to its own file in its own format; an untitled document,
    // or one shown although its password failed the check, goes through
    // SaveAs.
    SaveOutcome Save();
    // The save dialog, preset with the document's format (the old one for an
    // untitled document), then SaveDocument in the format chosen.
    SaveOutcome SaveAs();
    // Reads the file. A document asks for its password until the right one
    // is typed, the user gives up, or (old format only) the user has the
    // text shown anyway; a strong document that is not well-formed is
    // refused before any password; any other file is shown as an untitled
    // document, without a password.
    // The window changes only when the text is shown: a cancel, a failure or
    // an error (escaping as an exception) leaves text, path and undo as they
    // were.
    void OpenDocument(const QString &path);
    // Whether the document may be replaced or closed: true when it has no
    // unsaved changes or the user saved or discarded them; false for Cancel
    // or a save that did not happen.
    bool MayDropDocument() { return settleUnsaved(false); }
    // The close: false when the window must stay open.
    bool FormClose();
    // The end of the desktop session, settled as a close; a Discard then
    // also stands for the close that ends the program, for as long as the
    // text stays the one discarded.
    bool MayEndSession() { return settleUnsaved(true); }
    // An empty, untitled document, once unsaved changes are settled; false
    // when the user kept the document.
    bool NewDocument();

    // Locks the document. One that has a password, or is given one now
    // (canAsk, for an untitled text), is sealed in memory under its lock key;
    // the editor's text, its undo history and what is known of the password
    // are wiped. Without a password, when it cannot ask, the text stays and
    // is only hidden.
    LockOutcome Lock(bool canAsk);
    // Brings the locked document back: true when the password opens it (or
    // nothing was sealed), with its text, formatting and caret; false, with
    // the message for a wrong password, when it stays locked.
    bool Unlock(const QString &password);
    bool Locked() const { return m_locked; }
    // Whether the locked document holds anything its password would protect.
    bool LockedSealed() const { return !m_sealed.isEmpty(); }

    // Whether the editor's text differs from what was last loaded from, or
    // written to, the document's file; for an untitled document, whether
    // it holds any text.
    bool IsModified();
    // Whether the text was shown although its password failed the check;
    // such a text is written only through Save As.
    bool ShownDespitePasswordCheck() const { return m_shownDespiteCheck; }
    DocumentFormat Format() const { return m_format; }

private:
    void openFile(const QString &path);
    void rememberLockKey(const QString &password);
    // Asks for the password, twice when it is not the document's; true with
    // the password, false when a dialog was cancelled.
    bool obtainSavePassword(QString &password);
    SaveOutcome saveOld(const QString &path, const QString &password);
    SaveOutcome saveStrong(const QString &path, const QString &password);
    void savedAs(const QString &path, const QString &password, DocumentFormat format);
    void openStrong(const QString &path, const QByteArray &bytes, const FileStamp &stamp);
    void opened(const QString &path, const QString &password, DocumentFormat format,
                const FileStamp &stamp);
    QByteArray contentDigest();
    bool settleUnsaved(bool forSessionEnd);
    void markUnchanged();
    // Whether a save may replace the file at path: asks when another program
    // changed it since the window read or wrote it.
    bool mayOverwrite(const QString &path);
    // Right before the replacement: the file is still the one agreed to,
    // or the user agrees again.
    bool stillAgreed(const QString &path);
    void becomeUntitled();

    DocumentHost &m_host;
    QByteArray m_unchangedDigest;
    QByteArray m_discardedDigest; // the text discarded at the session's end
    QString m_stampPath;
    FileStamp m_stamp;
    FileStamp m_agreedTarget;
    PasswordFingerprint m_password;
    LockKey m_lockKey;
    // While locked: the sealed content and what the editor showed.
    QByteArray m_sealed;
    bool m_locked = false;
    bool m_modifiedAtLock = false;
    bool m_passwordKnownAtLock = false;
    int m_selectionAtLock = 0;
    int m_selectionLengthAtLock = 0;
    bool m_shownDespiteCheck = false;
    DocumentFormat m_format = DocumentFormat::None;
};

} // namespace veskel
