// Sealing and opening strong documents: Argon2id turns the password and a
// fresh salt into a key, XChaCha20-Poly1305 encrypts the padded content under
// a fresh nonce, with the header as associated data. Any changed byte of the
// file, or a wrong password, fails the authentication.
#pragma once

#include "cipher/secretbytes.h"
#include "cipher/strongformat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace veskel {

// The message for a failed authentication.
QString StrongAuthenticationFailedMessage();

// The key for a header's costs and salt. Throws EOutOfResources when the
// derivation cannot have the memory it needs.
SecretBytes DeriveStrongKey(const SecretBytes &password, const StrongHeader &header);

// A header with a fresh random salt and nonce and the given costs.
StrongHeader FreshStrongHeader(StrongCost cost = DefaultStrongCost);

// The file for the content under the key: the header's salt must be the one
// the key was derived with. Throws EOutOfResources when the content is larger
// than StrongContentLimit or encryption fails.
QByteArray SealStrongDocument(QByteArrayView content, const SecretBytes &key,
                              const StrongHeader &header);

// Derives the key and seals, with a fresh header.
QByteArray SealStrongDocument(QByteArrayView content, const SecretBytes &password,
                              StrongCost cost = DefaultStrongCost);

// The content, or false when the key does not authenticate the file (wrong
// password or changed bytes); content is then empty. The caller wipes it.
bool OpenStrongDocument(const StrongFile &file, const SecretBytes &key, QByteArray &content);

} // namespace veskel
