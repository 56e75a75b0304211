#include "securebuffer.h"

#include "runtime/memory.h"

#include <algorithm>
#include <cstring>

namespace veskel::cli {

SecureBuffer::~SecureBuffer()
{
    win::SecureZeroMemory(m_bytes.data(), static_cast<std::size_t>(m_bytes.size()));
}

void SecureBuffer::reserve(qsizetype capacity)
{
    if (capacity <= m_bytes.size()) {
        return;
    }
    // A new allocation and a copy, never a reallocation that would leave the
    // old bytes behind unwiped.
    QByteArray larger(capacity, Qt::Uninitialized);
    if (m_size > 0) {
        std::memcpy(larger.data(), m_bytes.constData(), static_cast<std::size_t>(m_size));
    }
    win::SecureZeroMemory(m_bytes.data(), static_cast<std::size_t>(m_bytes.size()));
    m_bytes.swap(larger);
}

char *SecureBuffer::appendSpace(qsizetype count)
{
    if (m_bytes.size() - m_size < count) {
        reserve(std::max(m_size + count, std::max<qsizetype>(256, m_bytes.size() * 2)));
    }
    return m_bytes.data() + m_size;
}

void SecureBuffer::append(char byte)
{
    *appendSpace(1) = byte;
    commit(1);
}

} // namespace veskel::cli
