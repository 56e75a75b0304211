#include "app/lockkey.h"

#include "cipher/strongdocument.h"

#include <QString>

namespace veskel {

void LockKey::Remember(QStringView password)
{
    StrongHeader header = FreshStrongHeader(LockKeyCost);
    m_key = DeriveStrongKey(SecretBytes::FromPassword(password), header);
    m_header = header;
}

void LockKey::Forget()
{
    m_key = SecretBytes();
}

QByteArray LockKey::Seal(QByteArrayView content)
{
    StrongHeader header = m_header;
    header.nonce = FreshStrongHeader(LockKeyCost).nonce;
    QByteArray sealed = SealStrongDocument(content, m_key, header);
    Forget();
    return sealed;
}

bool LockKey::Open(QByteArrayView sealed, QStringView password, QByteArray &content)
{
    QString problem;
    const std::optional<StrongFile> file = ParseStrongFile(sealed, problem);
    if (!file) {
        return false;
    }
    SecretBytes key = DeriveStrongKey(SecretBytes::FromPassword(password), file->header);
    if (!OpenStrongDocument(*file, key, content)) {
        return false;
    }
    m_header = file->header;
    m_key = std::move(key);
    return true;
}

} // namespace veskel
