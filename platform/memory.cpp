#include "memory.h"

#include <openssl/crypto.h>

namespace win {

void SecureZeroMemory(void *data, std::size_t size)
{
    if (data != nullptr && size != 0) {
        OPENSSL_cleanse(data, size);
    }
}

} // namespace win

namespace veskel {

// A shared buffer belongs to other strings too; detaching would copy the secret
// first, so only an unshared buffer is overwritten in place.
void WipeString(QString &text)
{
    if (!text.isEmpty() && !text.data_ptr()->isShared()) {
        win::SecureZeroMemory(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
    text.clear();
}

void WipeBytes(QByteArray &bytes)
{
    if (!bytes.isEmpty() && !bytes.data_ptr()->isShared()) {
        win::SecureZeroMemory(bytes.data(), static_cast<std::size_t>(bytes.size()));
    }
    bytes.clear();
}

} // namespace veskel
