// What the window keeps of a document's password: a keyed digest, enough to
// tell whether a later save uses the same password, never the password.
#pragma once

#include <QByteArray>
#include <QStringView>

namespace veskel {

class PasswordFingerprint
{
public:
    PasswordFingerprint();
    ~PasswordFingerprint();
    PasswordFingerprint(const PasswordFingerprint &) = delete;
    PasswordFingerprint &operator=(const PasswordFingerprint &) = delete;

    void Remember(QStringView password);
    void Forget();
    bool Known() const { return !m_digest.isEmpty(); }
    // Whether the password is the one remembered; false when none is.
    bool Matches(QStringView password) const;

private:
    QByteArray digestOf(QStringView password) const;

    // A random key of this window's own: the digest cannot be looked up
    // against digests of likely passwords made elsewhere.
    QByteArray m_key;
    QByteArray m_digest;
};

} // namespace veskel
