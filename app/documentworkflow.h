// Saving, opening and closing the window's one document.
//
// Every save and open asks for the password and uses a fresh cipher object.
// A save is refused when the text would not survive it unless the user agrees,
// and closing does not rewrite a document whose text is the one last loaded
// from, or written to, its file.
#pragma once

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
    // The password dialog's modal result, and its text after a result of 1.
    virtual int ShowPasswordDialog() = 0;
    virtual QString PasswordText() const = 0;
    virtual void ShowMessage(const QString &text) = 0;
    // Whether to save although `lost` characters would be lost or changed.
    virtual bool ConfirmLossySave(qsizetype lost) = 0;
};

class DocumentWorkflow
{
public:
    explicit DocumentWorkflow(DocumentHost &host);

    // Takes the path, asks for the password and writes the encrypted text.
    // File errors escape as exceptions.
    void SaveDocument(const QString &path);
    // Takes the path, loads the file, asks for the password and shows the
    // decrypted text. File errors escape as exceptions.
    void OpenDocument(const QString &path);
    // Replaces the armour the editor holds by its decryption under the
    // password.
    void DecryptEditorText(const QString &password);
    // Saves the document on closing, when it has a path and its text is not
    // the one its file holds.
    void FormClose();
    // Empties the editor; the path stays.
    void NewDocument();

    // Whether the editor's text is what the file at the document's path was
    // last loaded from or written with.
    bool IsUnchangedSinceFile();

private:
    void markUnchanged();

    DocumentHost &m_host;
    QString m_unchangedPath;
    QByteArray m_unchangedDigest;
};

} // namespace veskel
