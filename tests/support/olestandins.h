// Stand-ins for the object services' tests: a storage in memory and an
// object that answers nothing. Header only: for tests that link the OLE
// library.
#pragma once

#include "platform/ole/oleobject.h"
#include "platform/ole/olestorage.h"

#include <QtGlobal>

#include <memory>
#include <optional>

namespace veskel::test {

// A new, empty compound storage in memory.
inline std::shared_ptr<win::IStorage> NewStorage()
{
    using namespace win;
    std::shared_ptr<ILockBytes> lockBytes;
    std::shared_ptr<IStorage> storage;
    if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, lockBytes)) ||
        FAILED(StgCreateDocfileOnILockBytes(
            lockBytes, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, storage))) {
        qFatal("no storage in memory");
    }
    return storage;
}

// An object of another program's: it names its class, when given one, and
// does nothing else.
class InertObject final : public win::IOleObject
{
public:
    explicit InertObject(std::optional<win::CLSID> clsid = std::nullopt)
        : m_clsid(clsid)
    {}
    win::HRESULT SetClientSite(const std::shared_ptr<win::IOleClientSite> &) override
    {
        return win::S_OK;
    }
    win::HRESULT GetUserClassID(win::CLSID &clsid) override
    {
        if (!m_clsid) {
            return win::E_NOTIMPL;
        }
        clsid = *m_clsid;
        return win::S_OK;
    }
    win::HRESULT GetUserType(QString &) override { return win::E_NOTIMPL; }
    win::HRESULT DoVerb(win::LONG, const void *, const std::shared_ptr<win::IOleClientSite> &,
                        win::LONG, win::HWND, const QRect *) override
    {
        return win::E_NOTIMPL;
    }
    win::HRESULT Close(win::DWORD) override { return win::S_OK; }
    win::HRESULT Update() override { return win::S_OK; }
    win::HRESULT IsUpToDate() override { return win::S_OK; }

private:
    std::optional<win::CLSID> m_clsid;
};

} // namespace veskel::test
