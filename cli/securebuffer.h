// A growing byte buffer for secrets and plaintext: every buffer it gives up
// while growing, and its last one, is overwritten with zeros.
#pragma once

#include <QByteArray>

namespace veskel::cli {

class SecureBuffer
{
public:
    SecureBuffer() = default;
    ~SecureBuffer();
    SecureBuffer(const SecureBuffer &) = delete;
    SecureBuffer &operator=(const SecureBuffer &) = delete;

    // Makes room for at least capacity bytes in all.
    void reserve(qsizetype capacity);
    void append(char byte);
    // Room for count more bytes after size(); commit() then counts those that
    // were written there.
    char *appendSpace(qsizetype count);
    void commit(qsizetype count) { m_size += count; }

    qsizetype size() const { return m_size; }
    qsizetype capacity() const { return m_bytes.size(); }
    const char *data() const { return m_bytes.constData(); }
    QByteArrayView view() const { return QByteArrayView(m_bytes.constData(), m_size); }

private:
    QByteArray m_bytes; // the allocation; only the first m_size bytes are used
    qsizetype m_size = 0;
};

} // namespace veskel::cli
