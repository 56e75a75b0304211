// In-memory compound storage: a lock-bytes object over process memory and a
// storage of named streams on it. Nothing here ever touches the disk.
#pragma once

#include "platform/ole/oletypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <map>
#include <memory>

namespace win {

inline constexpr DWORD STGM_READ = 0x0;
inline constexpr DWORD STGM_READWRITE = 0x2;
inline constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x10;
inline constexpr DWORD STGM_CREATE = 0x1000;

// A byte array that frees its memory when the last reference goes.
class ILockBytes
{
public:
    virtual ~ILockBytes() = default;
    virtual QByteArray &bytes() = 0;
};

// Named streams of bytes.
class IStorage
{
public:
    virtual ~IStorage() = default;
    // Creates or replaces the stream.
    [[nodiscard]] virtual HRESULT WriteStream(const QString &name, QByteArrayView data) = 0;
    // STG_E_FILENOTFOUND when there is no such stream.
    [[nodiscard]] virtual HRESULT ReadStream(const QString &name, QByteArray &data) const = 0;
    virtual HRESULT DestroyElement(const QString &name) = 0;
    [[nodiscard]] virtual HRESULT Commit(DWORD flags) = 0;
    // All bytes held, for limits and tests.
    virtual std::size_t TotalBytes() const = 0;
};

[[nodiscard]] HRESULT CreateILockBytesOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease,
                                                std::shared_ptr<ILockBytes> &lockBytes);
[[nodiscard]] HRESULT StgCreateDocfileOnILockBytes(const std::shared_ptr<ILockBytes> &lockBytes,
                                                   DWORD mode, DWORD reserved,
                                                   std::shared_ptr<IStorage> &storage);

} // namespace win
