#include "platform/ole/olestorage.h"

#include "platform/testing/injectedfailure.h"
#include "platform/testing/olefailures.h"
#include "runtime/memory.h"

#include <new>

namespace win {

using veskel::WipeBytes;

namespace {

InjectedFailure g_storageFailure;

class MemoryLockBytes final : public ILockBytes
{
public:
    ~MemoryLockBytes() override { WipeBytes(m_bytes); }
    QByteArray &bytes() override { return m_bytes; }

private:
    QByteArray m_bytes;
};

// The streams live in a map in memory; the lock bytes are kept alive with the
// storage, as the platform's storage keeps its lock bytes.
class MemoryStorage final : public IStorage
{
public:
    explicit MemoryStorage(std::shared_ptr<ILockBytes> lockBytes)
        : m_lockBytes(std::move(lockBytes))
    {}
    ~MemoryStorage() override
    {
        for (auto &[name, data] : m_streams) {
            WipeBytes(data);
        }
    }

    HRESULT WriteStream(const QString &name, QByteArrayView data) override
    {
        if (name.isEmpty()) {
            return E_INVALIDARG;
        }
        try {
            QByteArray &stream = m_streams[name];
            WipeBytes(stream);
            stream = data.toByteArray();
        } catch (const std::bad_alloc &) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    HRESULT ReadStream(const QString &name, QByteArray &data) const override
    {
        const auto found = m_streams.find(name);
        if (found == m_streams.end()) {
            return STG_E_FILENOTFOUND;
        }
        data = found->second;
        return S_OK;
    }
    HRESULT DestroyElement(const QString &name) override
    {
        const auto found = m_streams.find(name);
        if (found == m_streams.end()) {
            return STG_E_FILENOTFOUND;
        }
        WipeBytes(found->second);
        m_streams.erase(found);
        return S_OK;
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    std::size_t TotalBytes() const override
    {
        std::size_t total = 0;
        for (const auto &[name, data] : m_streams) {
            total += static_cast<std::size_t>(data.size());
        }
        return total;
    }

private:
    std::shared_ptr<ILockBytes> m_lockBytes;
    std::map<QString, QByteArray> m_streams;
};

} // namespace

HRESULT CreateILockBytesOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease,
                                  std::shared_ptr<ILockBytes> &lockBytes)
{
    lockBytes.reset();
    HRESULT failure = S_OK;
    if (g_storageFailure.take(failure)) {
        return failure;
    }
    // Only fresh memory that goes with the object is supported.
    if (memory != nullptr || deleteOnRelease == FALSE) {
        return E_INVALIDARG;
    }
    lockBytes = std::shared_ptr<ILockBytes>(new (std::nothrow) MemoryLockBytes);
    return lockBytes ? S_OK : E_OUTOFMEMORY;
}

HRESULT StgCreateDocfileOnILockBytes(const std::shared_ptr<ILockBytes> &lockBytes, DWORD mode,
                                     DWORD reserved, std::shared_ptr<IStorage> &storage)
{
    storage.reset();
    HRESULT failure = S_OK;
    if (g_storageFailure.take(failure)) {
        return failure;
    }
    if (!lockBytes) {
        return E_POINTER;
    }
    constexpr DWORD kAccessMask = 0x3;
    if (reserved != 0 || (mode & kAccessMask) != STGM_READWRITE ||
        (mode & STGM_SHARE_EXCLUSIVE) == 0 || (mode & ~(kAccessMask | 0xF0 | STGM_CREATE)) != 0) {
        return STG_E_INVALIDFLAG;
    }
    storage = std::shared_ptr<IStorage>(new (std::nothrow) MemoryStorage(lockBytes));
    return storage ? S_OK : E_OUTOFMEMORY;
}

void FailStorageCreationForTesting(HRESULT result, int count)
{
    g_storageFailure.set(result, count);
}

} // namespace win
