// What the window keeps to lock a document that has a password: a key
// derived from the password, in locked memory, never the password itself.
// Locking seals the document's content under the key and wipes the key, so
// that only the password opens the content again.
#pragma once

#include "cipher/secretbytes.h"
#include "cipher/strongformat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

namespace veskel {

// Argon2id at the costs of an interactive login (about 0.1 s): paid at each
// open and save with a password, and once at each unlock.
inline constexpr StrongCost LockKeyCost{64 * 1024, 2};

class LockKey
{
public:
    // Derives the key from the password with a fresh salt. Throws
    // EOutOfResources when the derivation cannot have its memory.
    void Remember(QStringView password);
    void Forget();
    bool Known() const { return m_key.size() != 0; }

    // The content sealed under the key with a fresh nonce, in the strong
    // format's printable form. The key is wiped: Open needs the password.
    QByteArray Seal(QByteArrayView content);
    // What Seal made, opened with the typed password: true with the content
    // (which the caller wipes), the key then known again; false for a wrong
    // password, everything left as it was.
    bool Open(QByteArrayView sealed, QStringView password, QByteArray &content);

private:
    StrongHeader m_header;
    SecretBytes m_key;
};

} // namespace veskel
