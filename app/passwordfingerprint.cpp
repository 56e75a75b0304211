#include "passwordfingerprint.h"

#include "runtime/memory.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace veskel {

namespace {

constexpr qsizetype KeyBytes = 32;

} // namespace

PasswordFingerprint::PasswordFingerprint()
    : m_key(KeyBytes, Qt::Uninitialized)
{
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(m_key.data()),
                                          KeyBytes / sizeof(quint32));
}

PasswordFingerprint::~PasswordFingerprint()
{
    WipeBytes(m_digest);
    WipeBytes(m_key);
}

QByteArray PasswordFingerprint::digestOf(QStringView password) const
{
    QMessageAuthenticationCode code(QCryptographicHash::Sha256, m_key);
    code.addData(reinterpret_cast<const char *>(password.utf16()),
                 password.size() * qsizetype(sizeof(char16_t)));
    return code.result();
}

void PasswordFingerprint::Remember(QStringView password)
{
    WipeBytes(m_digest);
    m_digest = digestOf(password);
}

void PasswordFingerprint::Forget()
{
    WipeBytes(m_digest);
}

bool PasswordFingerprint::Matches(QStringView password) const
{
    return Known() && digestOf(password) == m_digest;
}

} // namespace veskel
