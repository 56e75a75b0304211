#include "platform/ole/oletypes.h"

#include <cstring>
#include <new>
#include <vector>

namespace win {

QString ResultMessage(HRESULT result)
{
    struct Text
    {
        HRESULT code;
        const char *text;
    };
    static constexpr Text kTexts[] = {
        {E_NOTIMPL, "Not implemented"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_FAIL, "Unspecified error"},
        {E_UNEXPECTED, "Catastrophic failure"},
        {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation"},
        {E_INVALIDARG, "The parameter is incorrect"},
        {STG_E_FILENOTFOUND, "The file could not be found"},
        {STG_E_ACCESSDENIED, "Access Denied"},
        {STG_E_INVALIDFLAG, "Invalid flag error"},
        {STG_E_READFAULT, "A disk error occurred during a read operation"},
        {STG_E_MEDIUMFULL, "There is insufficient disk space to complete operation"},
        {STG_E_DOCFILETOOLARGE, "The compound file is too large for the current implementation"},
        {DV_E_FORMATETC, "Invalid FORMATETC structure"},
        {DV_E_CLIPFORMAT, "Invalid clipboard format"},
        {OLE_E_NOTRUNNING, "Object is not running"},
        {OLE_E_CANT_BINDTOSOURCE, "Not able to bind to the source"},
        {OLE_E_STATIC, "Object is static; operation not allowed"},
        {CO_E_CLASSSTRING, "Invalid class string"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
    };
    for (const Text &entry : kTexts) {
        if (entry.code == result) {
            return QString::fromLatin1(entry.text);
        }
    }
    return {};
}

struct GlobalMemoryBlock
{
    std::vector<unsigned char> bytes;
    int locks = 0;
};

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes)
{
    auto *block = new (std::nothrow) GlobalMemoryBlock;
    if (block == nullptr) {
        return nullptr;
    }
    try {
        block->bytes.resize(bytes); // value-initialised: zero whether or not asked
    } catch (const std::bad_alloc &) {
        delete block;
        return nullptr;
    }
    (void)flags;
    return block;
}

void *GlobalLock(HGLOBAL memory)
{
    if (memory == nullptr) {
        return nullptr;
    }
    ++memory->locks;
    return memory->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL memory)
{
    if (memory == nullptr || memory->locks == 0) {
        return FALSE;
    }
    --memory->locks;
    return memory->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory)
{
    delete memory;
    return nullptr;
}

std::size_t GlobalSize(HGLOBAL memory)
{
    return memory == nullptr ? 0 : memory->bytes.size();
}

} // namespace win
