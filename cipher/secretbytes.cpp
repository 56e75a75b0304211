#include "secretbytes.h"

#include "runtime/exceptions.h"

#include <QStringEncoder>

#include <cstring>
#include <sodium.h>
#include <utility>

namespace veskel {

bool SodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

SecretBytes::SecretBytes(std::size_t size)
{
    if (!SodiumReady()) {
        throw EOutOfResources(QStringLiteral("The encryption library cannot run."));
    }
    // sodium_malloc refuses a size of zero on some versions.
    m_data = static_cast<unsigned char *>(sodium_malloc(size == 0 ? 1 : size));
    if (m_data == nullptr) {
        throw EOutOfResources(QStringLiteral("Out of memory for a secret."));
    }
    sodium_memzero(m_data, size == 0 ? 1 : size);
    m_size = size;
}

SecretBytes::~SecretBytes()
{
    release();
}

SecretBytes::SecretBytes(SecretBytes &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
{}

SecretBytes &SecretBytes::operator=(SecretBytes &&other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void SecretBytes::release()
{
    if (m_data != nullptr) {
        sodium_free(m_data); // wipes before it unmaps
        m_data = nullptr;
        m_size = 0;
    }
}

void SecretBytes::shrink(std::size_t size)
{
    if (size < m_size) {
        sodium_memzero(m_data + size, m_size - size);
        m_size = size;
    }
}

SecretBytes SecretBytes::FromPassword(QStringView password)
{
    QStringEncoder encoder(QStringEncoder::Utf8);
    SecretBytes bytes(static_cast<std::size_t>(encoder.requiredSpace(password.size())));
    char *end = encoder.appendToBuffer(reinterpret_cast<char *>(bytes.data()), password);
    bytes.shrink(static_cast<std::size_t>(end - reinterpret_cast<char *>(bytes.data())));
    return bytes;
}

SecretBytes SecretBytes::FromBytes(QByteArrayView source)
{
    SecretBytes bytes(static_cast<std::size_t>(source.size()));
    if (!source.isEmpty()) {
        std::memcpy(bytes.data(), source.data(), static_cast<std::size_t>(source.size()));
    }
    return bytes;
}

} // namespace veskel
