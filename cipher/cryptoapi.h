// TCryptoAPI: a short-lived cipher object. It turns a password into an RC4
// key and encrypts one text into armour, or decrypts one armour into text.
//
// Use: construct with CALG_RC4, SetPassword, then one Encrypt or Decrypt, then
// discard. Failure is a false result or an empty text, never an exception.
#pragma once

#include "cipher/blockcodec.h"
#include "platform/crypt/crypt.h"

#include <QString>
#include <QStringView>

namespace veskel {

class TCryptoAPI
{
public:
    explicit TCryptoAPI(win::ALG_ID algId);
    ~TCryptoAPI();
    TCryptoAPI(const TCryptoAPI &) = delete;
    TCryptoAPI &operator=(const TCryptoAPI &) = delete;

    // Derives the key from the password's first BlockTextCapacity characters,
    // narrowed to their low bytes. True on success.
    [[nodiscard]] bool SetPassword(QStringView password);

    // The armour of the encrypted block holding the text; empty when no key is
    // ready or the encryption fails.
    QString Encrypt(QStringView text);

    // The BlockSize characters of the decrypted block; empty when no key is
    // ready or the decryption fails.
    QString Decrypt(QStringView armour);

    bool keyReady() const { return KeyReady; }

private:
    win::HCRYPTPROV hProv = 0;
    win::HCRYPTKEY hKey = 0;
    win::HCRYPTHASH hHash = 0;
    win::ALG_ID AlgId;
    bool KeyReady = false;
    TBlock PasswordBlock{};
    TBlock DataBlock{};
};

} // namespace veskel
