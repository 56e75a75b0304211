// Saving, opening and closing the window's one document.
//
// Every save and open asks for the password and uses a fresh cipher object.
// A save is refused when the text would not survive it unless the user agrees,
// and closing does not rewrite a document whose text is the one last loaded
// from, or written to, its file. A file another program changed since the
// window read or wrote it is not overwritten without asking, and a failed
// open leaves the window as it was.
#pragma once

#include "app/filestamp.h"

#include <QByteArray>
#include <QString>

namespace veskel {

class TRichEditor;

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
    virtual void ShowMessage(const QString &text) = 0;
    // Whether to save although `lost` characters would be lost or changed.
    virtual bool ConfirmLossySave(qsizetype lost) = 0;
    // Whether to write over the file at path although another program
    // changed it since the window read or wrote it.
    virtual bool ConfirmOverwriteChanged(const QString &path) = 0;
};

// How a save ended when it raised no error.
enum class SaveOutcome
{
    Saved,
    Cancelled, // the password dialog was cancelled: nothing written
    Refused    // the user said No, or the key or encryption failed
};

class DocumentWorkflow
{
public:
    explicit DocumentWorkflow(DocumentHost &host);

    // Takes the path, asks for the password and writes the encrypted text.
    // File errors escape as exceptions.
    SaveOutcome SaveDocument(const QString &path);
    // Takes the path, loads the file, asks for the password and shows the
    // decrypted text. File errors escape as exceptions; the path, caption
    // and text are then the ones from before.
    void OpenDocument(const QString &path);
    // Replaces the armour the editor holds by its decryption under the
    // password.
    void DecryptEditorText(const QString &password);
    // Saves the document on closing, when it has a path and its text is not
    // the one its file holds. False when the window must stay open: the
    // user refused a save that would lose text or overwrite another
    // program's changes, or the text could not be encrypted.
    bool FormClose();
    // Empties the editor; the path stays.
    void NewDocument();

    // Whether the editor's text is what the file at the document's path was
    // last loaded from or written with.
    bool IsUnchangedSinceFile();

private:
    void markUnchanged();
    // Remembers the file at the document's path as this window now knows it.
    void stampFile();
    bool mayOverwrite(const QString &path);

    DocumentHost &m_host;
    QString m_unchangedPath;
    QByteArray m_unchangedDigest;
    QString m_stampPath;
    FileStamp m_stamp;
};

} // namespace veskel
