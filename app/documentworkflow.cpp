#include "documentworkflow.h"

#include "cipher/blockcodec.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/passwordcheck.h"
#include "cipher/storability.h"
#include "cipher/strongdocument.h"
#include "dialogs/modalresult.h"
#include "editor/richeditor.h"
#include "runtime/exceptions.h"
#include "runtime/memory.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QScopeGuard>

#include <algorithm>

namespace veskel {

namespace {

// The functions a replaced document's text passed through (loading, layout,
// painting) left copies in their locals: the stack below the caller is wiped
// now, and again from the event loop, once the frames between it and the
// caller have returned.
void wipeStack()
{
    WipeStackBelow();
    if (QCoreApplication *application = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            application, [] { WipeStackBelow(); }, Qt::QueuedConnection);
    }
}

// Only a digest of the content is kept, not a second copy of it.
QByteArray digestOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray digestOf(const QString &text)
{
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char *>(text.utf16()), text.size() * 2),
        QCryptographicHash::Sha256);
}

// The busy cursor for as long as a key derivation runs.
class BusyScope
{
public:
    explicit BusyScope(DocumentHost &host)
        : m_host(host)
    {
        m_host.SetBusy(true);
    }
    ~BusyScope() { m_host.SetBusy(false); }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    DocumentHost &m_host;
};

} // namespace

DocumentWorkflow::DocumentWorkflow(DocumentHost &host)
    : m_host(host)
{}

// A digest of what a save keeps: a strong document's rich text, an old
// document's plain text. Formatting, which the old format cannot keep, makes
// an old document modified by itself (see IsModified).
QByteArray DocumentWorkflow::contentDigest()
{
    if (m_format == DocumentFormat::Strong) {
        QByteArray rtf = m_host.Editor().RichText();
        const WipedOnExit wipeRtf(rtf);
        return digestOf(rtf);
    }
    QString text = m_host.Editor().Text();
    const WipedOnExit wipeText(text);
    return digestOf(text);
}

void DocumentWorkflow::markUnchanged()
{
    m_unchangedDigest = contentDigest();
}

bool DocumentWorkflow::IsModified()
{
    if (m_locked) {
        return m_modifiedAtLock;
    }
    if (!m_host.DocumentPath().isEmpty()) {
        return contentDigest() != m_unchangedDigest ||
               (m_format == DocumentFormat::Old && m_host.Editor().HasFormatting());
    }
    QString text = m_host.Editor().Text();
    const bool modified = !text.isEmpty();
    WipeString(text);
    return modified;
}

bool DocumentWorkflow::mayOverwrite(const QString &path)
{
    const bool may = path != m_stampPath || !FileChangedSince(path, m_stamp) ||
                     m_host.ConfirmOverwriteChanged(path);
    // What the path holds now, agreed to be replaced; checked again right
    // before the new file takes its place.
    m_agreedTarget = may ? StampFile(path) : FileStamp();
    return may;
}

bool DocumentWorkflow::stillAgreed(const QString &path)
{
    return !FileChangedSince(path, m_agreedTarget) || m_host.ConfirmOverwriteChanged(path);
}

void DocumentWorkflow::becomeUntitled()
{
    m_host.SetFileName(QString());
    m_password.Forget();
    m_lockKey.Forget();
    m_shownDespiteCheck = false;
    m_format = DocumentFormat::None;
    m_host.ShowFormat(m_format);
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

SaveOutcome DocumentWorkflow::SaveDocument(const QString &path, DocumentFormat format)
{
    QString password;
    const WipedOnExit wipePassword(password);
    if (!obtainSavePassword(password)) {
        return SaveOutcome::Cancelled;
    }
    return format == DocumentFormat::Strong ? saveStrong(path, password) : saveOld(path, password);
}

SaveOutcome DocumentWorkflow::saveOld(const QString &path, const QString &password)
{
    TCryptoAPI cipher(win::CALG_RC4);
    if (!cipher.SetPassword(password)) {
        m_host.ShowMessage(QStringLiteral("Key cannot be set!"));
        return SaveOutcome::Refused;
    }
    QString text = m_host.Editor().Text();
    const WipedOnExit wipeText(text);
    OldFormatLoss loss = DescribeOldFormatLoss(text);
    loss.formatting = m_host.Editor().HasFormatting();
    if (loss.any()) {
        switch (m_host.ConfirmLossySave(loss)) {
        case LossyAnswer::SaveStrong:
            return saveStrong(path, password);
        case LossyAnswer::SaveOld:
            break;
        case LossyAnswer::Cancel:
            return SaveOutcome::Refused;
        }
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
    if (!SaveDocumentFile(path, armour, [this, &path] { return stillAgreed(path); })) {
        return SaveOutcome::Refused;
    }
    savedAs(path, password, DocumentFormat::Old);
    return SaveOutcome::Saved;
}

SaveOutcome DocumentWorkflow::saveStrong(const QString &path, const QString &password)
{
    QByteArray rtf = m_host.Editor().RichText();
    const WipedOnExit wipeRtf(rtf);
    if (rtf.size() > StrongContentLimit) {
        m_host.ShowMessage(QCoreApplication::translate("DocumentWorkflow",
                                                       "The document is too large to save: its "
                                                       "rich text takes %1 MB, at most %2 MB fit. "
                                                       "The file was not changed.")
                               .arg(double(rtf.size()) / (1024 * 1024), 0, 'f', 1)
                               .arg(StrongContentLimit / (1024 * 1024)));
        return SaveOutcome::Refused;
    }
    if (!mayOverwrite(path)) {
        return SaveOutcome::Refused;
    }
    QByteArray file;
    {
        const BusyScope busy(m_host);
        const SecretBytes secret = SecretBytes::FromPassword(password);
        file = SealStrongDocument(rtf, secret);
    }
    if (!SaveFileBytes(path, file, [this, &path] { return stillAgreed(path); })) {
        return SaveOutcome::Refused;
    }
    savedAs(path, password, DocumentFormat::Strong);
    return SaveOutcome::Saved;
}

// The document is the file's only now that the file holds it.
void DocumentWorkflow::savedAs(const QString &path, const QString &password, DocumentFormat format)
{
    m_host.SetFileName(path);
    m_format = format;
    m_host.ShowFormat(format);
    markUnchanged();
    m_password.Remember(password);
    rememberLockKey(password);
    m_shownDespiteCheck = false;
    m_stampPath = path;
    m_stamp = StampFile(path);
}

SaveOutcome DocumentWorkflow::Save()
{
    if (m_host.DocumentPath().isEmpty() || m_shownDespiteCheck) {
        return SaveAs();
    }
    return SaveDocument(m_host.DocumentPath(), m_format);
}

SaveOutcome DocumentWorkflow::SaveAs()
{
    QString path = m_host.DocumentPath();
    DocumentFormat format = m_format == DocumentFormat::None ? DocumentFormat::Old : m_format;
    if (!m_host.ChooseSavePath(path, format)) {
        return SaveOutcome::Cancelled;
    }
    return SaveDocument(path, format);
}

void DocumentWorkflow::opened(const QString &path, const QString &password, DocumentFormat format,
                              const FileStamp &stamp)
{
    m_host.SetFileName(path);
    m_password.Remember(password);
    rememberLockKey(password);
    m_format = format;
    m_host.ShowFormat(format);
    markUnchanged();
    m_stampPath = path;
    m_stamp = stamp;
}

void DocumentWorkflow::openStrong(const QString &path, const QByteArray &bytes,
                                  const FileStamp &stamp)
{
    QString problem;
    const std::optional<StrongFile> file = ParseStrongFile(bytes, problem);
    if (!file) {
        m_host.ShowMessage(problem);
        return;
    }
    QString password;
    const WipedOnExit wipePassword(password);
    QByteArray content;
    const WipedOnExit wipeContent(content);
    for (;;) {
        if (m_host.ShowPasswordDialog() != mrOk) {
            return;
        }
        WipeString(password);
        password = m_host.PasswordText();
        bool authentic = false;
        {
            const BusyScope busy(m_host);
            const SecretBytes key =
                DeriveStrongKey(SecretBytes::FromPassword(password), file->header);
            authentic = OpenStrongDocument(*file, key, content);
        }
        if (authentic) {
            break;
        }
        m_host.ShowMessage(StrongAuthenticationFailedMessage());
    }
    m_host.Editor().Lines().LoadBytes(content);
    m_shownDespiteCheck = false;
    opened(path, password, DocumentFormat::Strong, stamp);
}

void DocumentWorkflow::OpenDocument(const QString &path)
{
    const auto wipe = qScopeGuard(wipeStack);
    openFile(path);
}

void DocumentWorkflow::openFile(const QString &path)
{
    // Every failure of the file system comes before the window changes.
    FileIdentity identity;
    QByteArray bytes = TRichEditStrings::ReadFile(
        path, std::max<qint64>(TRichEditStrings::MaxFileBytes, MaxStrongFileBytes()), &identity);
    const WipedOnExit wipeBytes(bytes);
    const FileStamp stamp = StampOfRead(bytes, identity);
    if (ClaimsStrongFormat(bytes)) {
        openStrong(path, bytes, stamp);
        return;
    }
    if (bytes.size() > TRichEditStrings::MaxFileBytes) {
        throw EFOpenError(path, TRichEditStrings::TooLargeReason(TRichEditStrings::MaxFileBytes));
    }
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
    m_shownDespiteCheck = shownAnyway;
    opened(path, password, DocumentFormat::Old, stamp);
}

bool DocumentWorkflow::settleUnsaved(bool forSessionEnd)
{
    if (!IsModified()) {
        return true;
    }
    if (m_locked) {
        // Its text is sealed or hidden: only an unlock can save it.
        return m_host.ConfirmDiscardLocked();
    }
    switch (m_host.AskSaveChanges(m_host.DocumentPath())) {
    case UnsavedAnswer::Save:
        return Save() == SaveOutcome::Saved;
    case UnsavedAnswer::Discard:
        if (forSessionEnd) {
            m_discardedDigest = contentDigest();
        }
        return true;
    case UnsavedAnswer::Cancel:
        break;
    }
    return false;
}

bool DocumentWorkflow::FormClose()
{
    if (!m_locked && !m_discardedDigest.isEmpty() && contentDigest() == m_discardedDigest) {
        return true;
    }
    return MayDropDocument();
}

void DocumentWorkflow::rememberLockKey(const QString &password)
{
    const BusyScope busy(m_host);
    m_lockKey.Remember(password);
}

LockOutcome DocumentWorkflow::Lock(bool canAsk)
{
    if (m_locked) {
        return m_sealed.isEmpty() ? LockOutcome::Hidden : LockOutcome::Sealed;
    }
    const auto wipe = qScopeGuard(wipeStack);
    QString text = m_host.Editor().Text();
    const bool empty = text.isEmpty();
    WipeString(text);
    if (!m_lockKey.Known() && !empty && canAsk) {
        QString password;
        const WipedOnExit wipePassword(password);
        if (!obtainSavePassword(password)) {
            return LockOutcome::Cancelled;
        }
        rememberLockKey(password);
    }
    m_modifiedAtLock = IsModified();
    m_selectionAtLock = m_host.Editor().SelectionStart();
    m_selectionLengthAtLock = m_host.Editor().SelectionLength();
    m_locked = true;
    if (!m_lockKey.Known() || empty) {
        return LockOutcome::Hidden;
    }
    QByteArray content = m_host.Editor().RichText();
    const WipedOnExit wipeContent(content);
    try {
        m_sealed = m_lockKey.Seal(content);
    } catch (const EOutOfResources &) {
        // Too large to seal: kept, but only hidden.
        return LockOutcome::Hidden;
    }
    m_host.Editor().Clear();
    m_passwordKnownAtLock = m_password.Known();
    m_password.Forget();
    return LockOutcome::Sealed;
}

bool DocumentWorkflow::Unlock(const QString &password)
{
    if (!m_locked) {
        return true;
    }
    const auto wipe = qScopeGuard(wipeStack);
    if (!m_sealed.isEmpty()) {
        QByteArray content;
        const WipedOnExit wipeContent(content);
        bool opened = false;
        {
            const BusyScope busy(m_host);
            opened = m_lockKey.Open(m_sealed, password, content);
        }
        if (!opened) {
            m_host.ShowMessage(QStringLiteral("The password is wrong."));
            return false;
        }
        m_host.Editor().Lines().LoadBytes(content);
        if (m_passwordKnownAtLock) {
            m_password.Remember(password);
        }
        WipeBytes(m_sealed);
    }
    m_locked = false;
    m_host.Editor().setSelectionStart(m_selectionAtLock);
    m_host.Editor().setSelectionLength(m_selectionLengthAtLock);
    if (!m_modifiedAtLock) {
        markUnchanged();
    }
    return true;
}

bool DocumentWorkflow::NewDocument()
{
    if (!MayDropDocument()) {
        return false;
    }
    const auto wipe = qScopeGuard(wipeStack);
    m_host.Editor().Clear();
    becomeUntitled();
    return true;
}

} // namespace veskel
