#include "strongdocument.h"

#include "runtime/exceptions.h"
#include "runtime/memory.h"

#include <QCoreApplication>

#include <cstring>
#include <sodium.h>

namespace veskel {

namespace {

static_assert(StrongSaltBytes == crypto_pwhash_argon2id_SALTBYTES);
static_assert(StrongNonceBytes == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(StrongKeyBytes == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(StrongTagBytes == crypto_aead_xchacha20poly1305_ietf_ABYTES);

const unsigned char *bytesOf(QByteArrayView view)
{
    return reinterpret_cast<const unsigned char *>(view.data());
}

} // namespace

QString StrongAuthenticationFailedMessage()
{
    return QCoreApplication::translate(
        "StrongFormat", "The password is wrong, or the file has been changed since it was saved.");
}

SecretBytes DeriveStrongKey(const SecretBytes &password, const StrongHeader &header)
{
    SecretBytes key(StrongKeyBytes);
    if (crypto_pwhash(key.data(), key.size(), reinterpret_cast<const char *>(password.data()),
                      password.size(), header.salt.data(), header.cost.passes,
                      std::size_t(header.cost.memoryKiB) * 1024,
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
        throw EOutOfResources(
            QCoreApplication::translate(
                "StrongFormat", "There is not enough memory to derive the key (%1 MiB needed).")
                .arg(header.cost.memoryKiB / 1024));
    }
    return key;
}

StrongHeader FreshStrongHeader(StrongCost cost)
{
    if (!SodiumReady()) {
        throw EOutOfResources(QStringLiteral("The encryption library cannot run."));
    }
    StrongHeader header;
    header.cost = cost;
    randombytes_buf(header.salt.data(), header.salt.size());
    randombytes_buf(header.nonce.data(), header.nonce.size());
    return header;
}

QByteArray SealStrongDocument(QByteArrayView content, const SecretBytes &key,
                              const StrongHeader &header)
{
    if (content.size() > StrongContentLimit) {
        throw EOutOfResources(
            QCoreApplication::translate("StrongFormat",
                                        "The document is too large to save: %1 bytes, at most "
                                        "%2 are allowed.")
                .arg(content.size())
                .arg(StrongContentLimit));
    }
    const qsizetype ciphertextSize = StrongCiphertextSize(content.size());
    const qsizetype paddedSize = ciphertextSize - qsizetype(StrongTagBytes);
    QByteArray padded(paddedSize, '\0');
    const WipedOnExit wipePadded(padded);
    if (!content.isEmpty()) {
        std::memcpy(padded.data(), content.data(), std::size_t(content.size()));
    }
    std::size_t paddedLength = 0;
    // Unpadded length + 1 keeps at least one padding byte, so a content of a
    // whole number of buckets takes one bucket more.
    if (sodium_pad(&paddedLength, reinterpret_cast<unsigned char *>(padded.data()),
                   std::size_t(content.size()), std::size_t(StrongBucketBytes),
                   std::size_t(paddedSize)) != 0 ||
        qsizetype(paddedLength) != paddedSize) {
        throw EOutOfResources(QStringLiteral("The document could not be padded."));
    }
    StrongFile file{header, QByteArray(ciphertextSize, '\0')};
    const QByteArray associated = StrongAssociatedData(header);
    unsigned long long written = 0;
    if (crypto_aead_xchacha20poly1305_ietf_encrypt(
            reinterpret_cast<unsigned char *>(file.ciphertext.data()), &written, bytesOf(padded),
            std::size_t(padded.size()), bytesOf(associated), std::size_t(associated.size()),
            nullptr, header.nonce.data(), key.data()) != 0 ||
        qsizetype(written) != ciphertextSize) {
        throw EOutOfResources(QStringLiteral("The document could not be encrypted."));
    }
    return FormatStrongFile(file);
}

QByteArray SealStrongDocument(QByteArrayView content, const SecretBytes &password, StrongCost cost)
{
    const StrongHeader header = FreshStrongHeader(cost);
    const SecretBytes key = DeriveStrongKey(password, header);
    return SealStrongDocument(content, key, header);
}

bool OpenStrongDocument(const StrongFile &file, const SecretBytes &key, QByteArray &content)
{
    WipeBytes(content);
    if (key.size() != StrongKeyBytes || file.ciphertext.size() < qsizetype(StrongTagBytes)) {
        return false;
    }
    const QByteArray associated = StrongAssociatedData(file.header);
    QByteArray padded(file.ciphertext.size() - qsizetype(StrongTagBytes), '\0');
    unsigned long long length = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
            reinterpret_cast<unsigned char *>(padded.data()), &length, nullptr,
            bytesOf(file.ciphertext), std::size_t(file.ciphertext.size()), bytesOf(associated),
            std::size_t(associated.size()), file.header.nonce.data(), key.data()) != 0) {
        WipeBytes(padded);
        return false;
    }
    std::size_t unpadded = 0;
    if (sodium_unpad(&unpadded, reinterpret_cast<const unsigned char *>(padded.constData()),
                     std::size_t(length), std::size_t(StrongBucketBytes)) != 0 ||
        qsizetype(unpadded) > StrongContentLimit) {
        // Authentic but not padded as a save pads: no writer of this format
        // made it.
        WipeBytes(padded);
        return false;
    }
    padded.truncate(qsizetype(unpadded));
    content = std::move(padded);
    return true;
}

} // namespace veskel
