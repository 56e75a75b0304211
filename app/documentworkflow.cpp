#include "documentworkflow.h"

#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/storability.h"
#include "dialogs/modalresult.h"
#include "editor/richeditor.h"
#include "runtime/memory.h"

#include <QCryptographicHash>

namespace veskel {

namespace {

// Only a digest of the text is kept, not a second copy of it.
QByteArray digestOf(const QString &text)
{
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char *>(text.utf16()), text.size() * 2),
        QCryptographicHash::Sha256);
}

} // namespace

DocumentWorkflow::DocumentWorkflow(DocumentHost &host)
    : m_host(host)
{}

void DocumentWorkflow::markUnchanged()
{
    m_unchangedPath = m_host.DocumentPath();
    QString text = m_host.Editor().Text();
    m_unchangedDigest = digestOf(text);
    WipeString(text);
}

bool DocumentWorkflow::IsUnchangedSinceFile()
{
    if (m_unchangedPath.isEmpty() || m_unchangedPath != m_host.DocumentPath()) {
        return false;
    }
    QString text = m_host.Editor().Text();
    const bool same = digestOf(text) == m_unchangedDigest;
    WipeString(text);
    return same;
}

void DocumentWorkflow::stampFile()
{
    m_stampPath = m_host.DocumentPath();
    m_stamp = StampFile(m_stampPath);
}

bool DocumentWorkflow::mayOverwrite(const QString &path)
{
    if (path != m_stampPath || !FileChangedSince(path, m_stamp)) {
        return true;
    }
    return m_host.ConfirmOverwriteChanged(path);
}

SaveOutcome DocumentWorkflow::SaveDocument(const QString &path)
{
    m_host.SetFileName(path);
    if (m_host.ShowPasswordDialog() != mrOk) {
        return SaveOutcome::Cancelled;
    }
    TCryptoAPI cipher(win::CALG_RC4);
    if (!cipher.SetPassword(m_host.PasswordText())) {
        m_host.ShowMessage(QStringLiteral("Key cannot be set!"));
        return SaveOutcome::Refused;
    }
    QString text = m_host.Editor().Text();
    const qsizetype lost = CountUnstorableCharacters(text);
    if (lost > 0 && !m_host.ConfirmLossySave(lost)) {
        WipeString(text);
        return SaveOutcome::Refused;
    }
    const QString armour = cipher.Encrypt(text);
    WipeString(text);
    if (armour.isEmpty()) {
        m_host.ShowMessage(
            QStringLiteral("The document could not be encrypted. The file was not changed."));
        return SaveOutcome::Refused;
    }
    if (!mayOverwrite(m_host.DocumentPath())) {
        return SaveOutcome::Refused;
    }
    SaveDocumentFile(m_host.DocumentPath(), armour);
    markUnchanged();
    stampFile();
    return SaveOutcome::Saved;
}

void DocumentWorkflow::OpenDocument(const QString &path)
{
    const QString previousPath = m_host.DocumentPath();
    m_host.SetFileName(path);
    try {
        m_host.Editor().Lines().LoadFile(path);
    } catch (...) {
        // Nothing of the failed file stays: a close must not write the
        // text over a path that was never loaded.
        m_host.SetFileName(previousPath);
        throw;
    }
    markUnchanged(); // the editor holds the file as it is
    stampFile();
    if (m_host.ShowPasswordDialog() != mrOk) {
        return;
    }
    DecryptEditorText(m_host.PasswordText());
}

void DocumentWorkflow::DecryptEditorText(const QString &password)
{
    TRichEditor &editor = m_host.Editor();
    TCryptoAPI cipher(win::CALG_RC4);
    if (!cipher.SetPassword(password)) {
        m_host.ShowMessage(QStringLiteral("Key cannot be set!"));
        return;
    }
    QString armour = editor.Text();
    QString text = cipher.Decrypt(armour);
    WipeString(armour);
    if (text.isEmpty()) {
        m_host.ShowMessage(QStringLiteral("The document could not be decrypted."));
        return;
    }
    editor.setText(text); // unchanged when equal; the text ends at the first U+0000
    WipeString(text);
    markUnchanged();
}

bool DocumentWorkflow::FormClose()
{
    if (m_host.DocumentPath().isEmpty() || IsUnchangedSinceFile()) {
        return true;
    }
    return SaveDocument(m_host.DocumentPath()) != SaveOutcome::Refused;
}

void DocumentWorkflow::NewDocument()
{
    m_host.Editor().Clear();
}

} // namespace veskel
