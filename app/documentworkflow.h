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
#include "app/passwordfingerprint.h"

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
    // Whether to save although `lost` characters would be lost or changed.
    virtual bool ConfirmLossySave(qsizetype lost) = 0;
    // Whether to write over the file at path although another program
    // changed it since the window read or wrote it.
    virtual bool ConfirmOverwriteChanged(const QString &path) = 0;
    // Before unsaved changes would be dropped; path is empty for an
    // untitled document.
    virtual UnsavedAnswer AskSaveChanges(const QString &path) = 0;
    virtual WrongPasswordAnswer AskAfterWrongPassword() = 0;
    // The save dialog, preset with path; true with the path chosen.
    virtual bool ChooseSavePath(QString &path) = 0;
};

// How a save ended when it raised no error.
enum class SaveOutcome
{
    Saved,
    Cancelled, // a dialog was cancelled: nothing written
    Refused    // the user said No, or the key or encryption failed
};

class DocumentWorkflow
{
public:
    explicit DocumentWorkflow(DocumentHost &host);

    // Asks for the password (twice when it is not the document's own),
    // writes the encrypted text to path and then makes path the document's.
    // File errors escape as exceptions; the document's path is then the one
    // from before.
    SaveOutcome SaveDocument(const QString &path);
    // The document to its own file; an untitled document, or one shown
    // although its password failed the check, goes through SaveAs.
    SaveOutcome Save();
    // The save dialog, then SaveDocument.
    SaveOutcome SaveAs();
    // Reads the file. A document asks for its password until the right one
    // is typed, the user gives up, or the user has the text shown anyway;
    // any other file is shown as an untitled document, without a password.
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

    // Whether the editor's text differs from what was last loaded from, or
    // written to, the document's file; for an untitled document, whether
    // it holds any text.
    bool IsModified();
    // Whether the text was shown although its password failed the check;
    // such a text is written only through Save As.
    bool ShownDespitePasswordCheck() const { return m_shownDespiteCheck; }

private:
    // Asks for the password, twice when it is not the document's; true with
    // the password, false when a dialog was cancelled.
    bool obtainSavePassword(QString &password);
    bool settleUnsaved(bool forSessionEnd);
    void markUnchanged();
    bool mayOverwrite(const QString &path);
    void becomeUntitled();

    DocumentHost &m_host;
    QByteArray m_unchangedDigest;
    QByteArray m_discardedDigest; // the text discarded at the session's end
    QString m_stampPath;
    FileStamp m_stamp;
    PasswordFingerprint m_password;
    bool m_shownDespiteCheck = false;
};

} // namespace veskel
