// Bytes that must not outlive their use (passwords, keys), kept in memory
// that libsodium locks against swapping, guards with pages that trap on
// overflow, and wipes when it is freed.
#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <cstddef>

namespace veskel {

// Initialises libsodium once; false when it cannot run on this machine.
bool SodiumReady();

class SecretBytes
{
public:
    SecretBytes() = default;
    // size zero-filled bytes; throws EOutOfResources when none can be had.
    explicit SecretBytes(std::size_t size);
    ~SecretBytes();
    SecretBytes(SecretBytes &&other) noexcept;
    SecretBytes &operator=(SecretBytes &&other) noexcept;
    SecretBytes(const SecretBytes &) = delete;
    SecretBytes &operator=(const SecretBytes &) = delete;

    // A password as the strong format uses it: its UTF-8 bytes, encoded
    // straight into locked memory.
    static SecretBytes FromPassword(QStringView password);
    static SecretBytes FromBytes(QByteArrayView bytes);

    unsigned char *data() { return m_data; }
    const unsigned char *data() const { return m_data; }
    std::size_t size() const { return m_size; }
    QByteArrayView view() const
    {
        return QByteArrayView(reinterpret_cast<const char *>(m_data), qsizetype(m_size));
    }
    // Keeps the first size bytes; the rest are wiped.
    void shrink(std::size_t size);

private:
    void release();

    unsigned char *m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace veskel
