#include "documentworkflow.h"

#include "cipher/blockcodec.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/passwordcheck.h"
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
    QString text = m_host.Editor().Text();
    m_unchangedDigest = digestOf(text);
    WipeString(text);
}

bool DocumentWorkflow::IsModified()
{
    QString text = m_host.Editor().Text();
    const bool modified =
        m_host.DocumentPath().isEmpty() ? !text.isEmpty() : digestOf(text) != m_unchangedDigest;
    WipeString(text);
    return modified;
}

bool DocumentWorkflow::mayOverwrite(const QString &path)
{
    if (path != m_stampPath || !FileChangedSince(path, m_stamp)) {
        return true;
    }
    return m_host.ConfirmOverwriteChanged(path);
}

void DocumentWorkflow::becomeUntitled()
{
    m_host.SetFileName(QString());
    m_password.Forget();
    m_shownDespiteCheck = false;
    m_unchangedDigest.clear();
    m_stampPath.clear();
    m_stamp = {};
}

bool DocumentWorkflow::obtainSavePassword(QString &password)
{
    for (;;) {
        if (m_host.ShowPasswordDialog() != mrOk) {
            return false;
        }
        password = m_host.PasswordText();
        if (m_password.Matches(password)) {
            return true;
        }
        // A new password: a slip of the finger here would lock the
        // document for good.
        QString again;
        const int result = m_host.ShowPasswordAgain(again);
        const bool same = result == mrOk && again == password;
        WipeString(again);
        if (same) {
            return true;
        }
        WipeString(password);
        if (result != mrOk) {
            return false;
        }
        m_host.ShowMessage(QStringLiteral("The passwords do not match."));
    }
}

SaveOutcome DocumentWorkflow::SaveDocument(const QString &path)
{
    QString password;
    const WipedOnExit wipePassword(password);
    if (!obtainSavePassword(password)) {
        return SaveOutcome::Cancelled;
    }
    TCryptoAPI cipher(win::CALG_RC4);
    if (!cipher.SetPassword(password)) {
        m_host.ShowMessage(QStringLiteral("Key cannot be set!"));
        return SaveOutcome::Refused;
    }
    QString text = m_host.Editor().Text();
    const WipedOnExit wipeText(text);
    const qsizetype lost = CountUnstorableCharacters(text);
    if (lost > 0 && !m_host.ConfirmLossySave(lost)) {
        return SaveOutcome::Refused;
    }
    const QString armour = cipher.Encrypt(text);
    if (armour.isEmpty()) {
        m_host.ShowMessage(
            QStringLiteral("The document could not be encrypted. The file was not changed."));
        return SaveOutcome::Refused;
    }
    if (!mayOverwrite(path)) {
        return SaveOutcome::Refused;
    }
    SaveDocumentFile(path, armour);
    // The document is the file's only now that the file holds it.
    m_host.SetFileName(path);
    m_unchangedDigest = digestOf(text);
    m_password.Remember(password);
    m_shownDespiteCheck = false;
    m_stampPath = path;
    m_stamp = StampFile(path);
    return SaveOutcome::Saved;
}

SaveOutcome DocumentWorkflow::Save()
{
    if (m_host.DocumentPath().isEmpty() || m_shownDespiteCheck) {
        return SaveAs();
    }
    return SaveDocument(m_host.DocumentPath());
}

SaveOutcome DocumentWorkflow::SaveAs()
{
    QString path = m_host.DocumentPath();
    if (!m_host.ChooseSavePath(path)) {
        return SaveOutcome::Cancelled;
    }
    return SaveDocument(path);
}

void DocumentWorkflow::OpenDocument(const QString &path)
{
    // Every failure of the file system comes before the window changes.
    QByteArray bytes = TRichEditStrings::ReadFile(path);
    const WipedOnExit wipeBytes(bytes);
    const FileStamp stamp = StampFile(path);
    if (!HasDocumentLayoutAnyLineEnds(bytes)) {
        // No password could make this a document: show it as it is, as a
        // new document that belongs to no file yet.
        m_host.Editor().Lines().LoadBytes(bytes);
        becomeUntitled();
        return;
    }
    const QString armour = QString::fromLatin1(bytes);
    QString password;
    const WipedOnExit wipePassword(password);
    QString text;
    const WipedOnExit wipeText(text);
    bool shownAnyway = false;
    for (;;) {
        if (m_host.ShowPasswordDialog() != mrOk) {
            return;
        }
        WipeString(password);
        password = m_host.PasswordText();
        TCryptoAPI cipher(win::CALG_RC4);
        if (!cipher.SetPassword(password)) {
            m_host.ShowMessage(QStringLiteral("Key cannot be set!"));
            return;
        }
        QString block = cipher.Decrypt(armour);
        const WipedOnExit wipeBlock(block);
        if (block.isEmpty()) {
            m_host.ShowMessage(QStringLiteral("The document could not be decrypted."));
            return;
        }
        if (!DecryptedBlockLooksRight(block)) {
            if (m_host.AskAfterWrongPassword() == WrongPasswordAnswer::TryAgain) {
                continue;
            }
            shownAnyway = true;
        }
        text = TextBeforeNul(block);
        break;
    }
    m_host.Editor().setText(text);
    m_host.SetFileName(path);
    m_password.Remember(password);
    m_shownDespiteCheck = shownAnyway;
    markUnchanged();
    m_stampPath = path;
    m_stamp = stamp;
}

bool DocumentWorkflow::settleUnsaved(bool forSessionEnd)
{
    if (!IsModified()) {
        return true;
    }
    switch (m_host.AskSaveChanges(m_host.DocumentPath())) {
    case UnsavedAnswer::Save:
        return Save() == SaveOutcome::Saved;
    case UnsavedAnswer::Discard:
        if (forSessionEnd) {
            QString text = m_host.Editor().Text();
            m_discardedDigest = digestOf(text);
            WipeString(text);
        }
        return true;
    case UnsavedAnswer::Cancel:
        break;
    }
    return false;
}

bool DocumentWorkflow::FormClose()
{
    if (!m_discardedDigest.isEmpty()) {
        QString text = m_host.Editor().Text();
        const bool discarded = digestOf(text) == m_discardedDigest;
        WipeString(text);
        if (discarded) {
            return true;
        }
    }
    return MayDropDocument();
}

bool DocumentWorkflow::NewDocument()
{
    if (!MayDropDocument()) {
        return false;
    }
    m_host.Editor().Clear();
    becomeUntitled();
    return true;
}

} // namespace veskel
