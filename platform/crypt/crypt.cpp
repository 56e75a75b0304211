#include "platform/crypt/crypt.h"

#include "platform/win/securezero.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace win {

namespace {

constexpr std::size_t kMd5Size = 16;
constexpr std::size_t kMaxRc4KeyBytes = 16;
constexpr std::size_t kSaltBytes40 = 11;

// The library context with the two providers, and the algorithms fetched
// from them once. Provider handles share it.
struct Provider
{
    OSSL_LIB_CTX *lib = nullptr;
    OSSL_PROVIDER *defaultProvider = nullptr;
    OSSL_PROVIDER *legacyProvider = nullptr;
    EVP_MD *md5 = nullptr;
    EVP_CIPHER *rc4 = nullptr;

    Provider() = default;
    Provider(const Provider &) = delete;
    Provider &operator=(const Provider &) = delete;
    ~Provider()
    {
        EVP_CIPHER_free(rc4);
        EVP_MD_free(md5);
        if (legacyProvider != nullptr) {
            OSSL_PROVIDER_unload(legacyProvider);
        }
        if (defaultProvider != nullptr) {
            OSSL_PROVIDER_unload(defaultProvider);
        }
        OSSL_LIB_CTX_free(lib);
    }
};

struct HashObject
{
    std::shared_ptr<Provider> provider;
    EVP_MD_CTX *ctx = nullptr;
    bool finished = false;
    std::array<BYTE, kMd5Size> value{};

    HashObject() = default;
    HashObject(const HashObject &) = delete;
    HashObject &operator=(const HashObject &) = delete;
    ~HashObject()
    {
        EVP_MD_CTX_free(ctx);
        SecureZeroMemory(value.data(), value.size());
    }

    bool finish()
    {
        if (finished) {
            return true;
        }
        unsigned int size = 0;
        if (EVP_DigestFinal_ex(ctx, value.data(), &size) != 1 || size != kMd5Size) {
            return false;
        }
        finished = true;
        return true;
    }
};

struct KeyObject
{
    std::shared_ptr<Provider> provider;
    EVP_CIPHER_CTX *ctx = nullptr;
    std::array<BYTE, kMaxRc4KeyBytes> key{};
    std::size_t keyBytes = 0;

    KeyObject() = default;
    KeyObject(const KeyObject &) = delete;
    KeyObject &operator=(const KeyObject &) = delete;
    ~KeyObject()
    {
        EVP_CIPHER_CTX_free(ctx); // cleanses the cipher state
        SecureZeroMemory(key.data(), key.size());
    }

    // (Re)starts the keystream from the key.
    bool start()
    {
        if (ctx == nullptr) {
            ctx = EVP_CIPHER_CTX_new();
            if (ctx == nullptr ||
                EVP_CipherInit_ex2(ctx, provider->rc4, nullptr, nullptr, 1, nullptr) != 1 ||
                EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(keyBytes)) != 1) {
                return false;
            }
        }
        return EVP_CipherInit_ex2(ctx, nullptr, key.data(), nullptr, 1, nullptr) == 1;
    }

    bool apply(BYTE *data, DWORD length)
    {
        while (length > 0) {
            const int chunk = length > INT_MAX ? INT_MAX : static_cast<int>(length);
            int written = 0;
            if (EVP_CipherUpdate(ctx, data, &written, data, chunk) != 1 || written != chunk) {
                return false;
            }
            data += chunk;
            length -= static_cast<DWORD>(chunk);
        }
        return true;
    }
};

// All live handles. Every call takes the lock, so the handles may be used from
// any thread.
class Registry
{
public:
    static Registry &instance()
    {
        static Registry registry;
        return registry;
    }

    std::mutex mutex;
    std::unordered_map<std::uint32_t, std::shared_ptr<Provider>> providers;
    std::unordered_map<std::uint32_t, std::unique_ptr<HashObject>> hashes;
    std::unordered_map<std::uint32_t, std::unique_ptr<KeyObject>> keys;

    // A fresh non-zero handle, unique across the three kinds.
    std::uint32_t newHandle()
    {
        do {
            ++m_last;
        } while (m_last == 0 || providers.count(m_last) != 0 || hashes.count(m_last) != 0 ||
                 keys.count(m_last) != 0);
        return m_last;
    }

    std::shared_ptr<Provider> provider(HCRYPTPROV handle) const
    {
        const auto it = providers.find(handle);
        return it == providers.end() ? nullptr : it->second;
    }
    HashObject *hash(HCRYPTHASH handle) const
    {
        const auto it = hashes.find(handle);
        return it == hashes.end() ? nullptr : it->second.get();
    }
    KeyObject *key(HCRYPTKEY handle) const
    {
        const auto it = keys.find(handle);
        return it == keys.end() ? nullptr : it->second.get();
    }

private:
    std::uint32_t m_last = 0x00C0FFEE;
};

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL succeed()
{
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

std::shared_ptr<Provider> loadProvider()
{
    auto provider = std::make_shared<Provider>();
    provider->lib = OSSL_LIB_CTX_new();
    if (provider->lib == nullptr) {
        return nullptr;
    }
    provider->defaultProvider = OSSL_PROVIDER_load(provider->lib, "default");
    provider->legacyProvider = OSSL_PROVIDER_load(provider->lib, "legacy");
    if (provider->defaultProvider == nullptr || provider->legacyProvider == nullptr) {
        return nullptr;
    }
    provider->md5 = EVP_MD_fetch(provider->lib, "MD5", nullptr);
    provider->rc4 = EVP_CIPHER_fetch(provider->lib, "RC4", nullptr);
    if (provider->md5 == nullptr || provider->rc4 == nullptr) {
        return nullptr;
    }
    return provider;
}

// Loading the providers costs more than hashing and encrypting a whole
// document, so one library context serves every provider handle of the
// process. It is loaded anew when the folder the providers are loaded from
// (OPENSSL_MODULES) changed since; a failed load is not remembered.
std::shared_ptr<Provider> openProvider()
{
    // Kept to the end of the process and never destroyed: the library's own
    // clean-up at exit may run before static destructors would.
    static auto *const loaded = new std::shared_ptr<Provider>();
    static auto *const loadedFrom = new std::string();
    static std::mutex mutex;
    const char *modules = std::getenv("OPENSSL_MODULES");
    const std::string from = modules != nullptr ? modules : "";
    const std::lock_guard lock(mutex);
    if (*loaded == nullptr || *loadedFrom != from) {
        std::shared_ptr<Provider> provider = loadProvider();
        if (provider == nullptr) {
            return nullptr;
        }
        *loaded = std::move(provider);
        *loadedFrom = from;
    }
    return *loaded;
}

BOOL addKey(Registry &registry, std::unique_ptr<KeyObject> object, HCRYPTKEY *key)
{
    if (!object->start()) {
        return fail(NTE_PROVIDER_DLL_FAIL);
    }
    const std::uint32_t handle = registry.newHandle();
    registry.keys.emplace(handle, std::move(object));
    *key = handle;
    return succeed();
}

BOOL crypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE *data, DWORD *length,
           DWORD bufferLength)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    KeyObject *object = registry.key(key);
    if (object == nullptr) {
        return fail(NTE_BAD_KEY);
    }
    if (hash != 0) {
        return fail(NTE_BAD_HASH);
    }
    if (flags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (length == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (data == nullptr) {
        // A stream cipher's output is as long as its input: that is the size
        // the caller asks for.
        return succeed();
    }
    if (*length > bufferLength) {
        return fail(ERROR_MORE_DATA);
    }
    if (!object->apply(data, *length)) {
        return fail(NTE_BAD_DATA);
    }
    if (final != FALSE && !object->start()) {
        return fail(NTE_PROVIDER_DLL_FAIL);
    }
    return succeed();
}

} // namespace

BOOL CryptAcquireContextW(HCRYPTPROV *prov, LPCWSTR container, LPCWSTR provider, DWORD provType,
                          DWORD flags)
{
    if (prov == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *prov = 0;
    if (provType != PROV_RSA_FULL) {
        return fail(NTE_BAD_TYPE);
    }
    if (flags != CRYPT_VERIFYCONTEXT) {
        return fail(NTE_BAD_FLAGS);
    }
    if ((container != nullptr && *container != 0) || (provider != nullptr && *provider != 0)) {
        return fail(NTE_BAD_UID); // no named containers or providers here
    }
    std::shared_ptr<Provider> opened = openProvider();
    if (opened == nullptr) {
        return fail(NTE_PROVIDER_DLL_FAIL);
    }
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    const std::uint32_t handle = registry.newHandle();
    registry.providers.emplace(handle, std::move(opened));
    *prov = handle;
    return succeed();
}

BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD flags)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    if (flags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    // Hashes and keys made from the context keep their own reference to it.
    if (registry.providers.erase(prov) == 0) {
        return fail(NTE_BAD_UID);
    }
    return succeed();
}

BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID alg, HCRYPTKEY key, DWORD flags, HCRYPTHASH *hash)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    if (hash == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::shared_ptr<Provider> provider = registry.provider(prov);
    if (provider == nullptr) {
        return fail(NTE_BAD_UID);
    }
    if (alg != CALG_MD5) {
        return fail(NTE_BAD_ALGID);
    }
    if (key != 0) {
        return fail(NTE_BAD_KEY);
    }
    if (flags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    auto object = std::make_unique<HashObject>();
    object->provider = provider;
    object->ctx = EVP_MD_CTX_new();
    if (object->ctx == nullptr || EVP_DigestInit_ex2(object->ctx, provider->md5, nullptr) != 1) {
        return fail(NTE_PROVIDER_DLL_FAIL);
    }
    const std::uint32_t handle = registry.newHandle();
    registry.hashes.emplace(handle, std::move(object));
    *hash = handle;
    return succeed();
}

BOOL CryptHashData(HCRYPTHASH hash, const BYTE *data, DWORD length, DWORD flags)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    HashObject *object = registry.hash(hash);
    if (object == nullptr) {
        return fail(NTE_BAD_HASH);
    }
    if (flags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (object->finished) {
        return fail(NTE_BAD_HASH_STATE);
    }
    if (length != 0 && data == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (length != 0 && EVP_DigestUpdate(object->ctx, data, length) != 1) {
        return fail(NTE_PROVIDER_DLL_FAIL);
    }
    return succeed();
}

BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE *data, DWORD *length, DWORD flags)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    HashObject *object = registry.hash(hash);
    if (object == nullptr) {
        return fail(NTE_BAD_HASH);
    }
    if (flags != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (length == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    BYTE scratch[kMd5Size];
    const BYTE *value = nullptr;
    DWORD size = 0;
    const DWORD algId = CALG_MD5;
    const DWORD hashSize = kMd5Size;
    switch (param) {
    case HP_ALGID:
        std::memcpy(scratch, &algId, sizeof algId);
        value = scratch;
        size = sizeof algId;
        break;
    case HP_HASHSIZE:
        std::memcpy(scratch, &hashSize, sizeof hashSize);
        value = scratch;
        size = sizeof hashSize;
        break;
    case HP_HASHVAL:
        if (data != nullptr && !object->finish()) {
            return fail(NTE_PROVIDER_DLL_FAIL);
        }
        value = object->value.data();
        size = kMd5Size;
        break;
    default:
        return fail(NTE_BAD_TYPE);
    }
    if (data == nullptr) {
        *length = size;
        return succeed();
    }
    if (*length < size) {
        *length = size;
        return fail(ERROR_MORE_DATA);
    }
    std::memcpy(data, value, size);
    *length = size;
    return succeed();
}

BOOL CryptDestroyHash(HCRYPTHASH hash)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    if (registry.hashes.erase(hash) == 0) {
        return fail(NTE_BAD_HASH);
    }
    return succeed();
}

BOOL CryptDeriveKey(HCRYPTPROV prov, ALG_ID alg, HCRYPTHASH baseData, DWORD flags, HCRYPTKEY *key)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    if (key == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::shared_ptr<Provider> provider = registry.provider(prov);
    if (provider == nullptr) {
        return fail(NTE_BAD_UID);
    }
    HashObject *hash = registry.hash(baseData);
    if (hash == nullptr) {
        return fail(NTE_BAD_HASH);
    }
    if (alg != CALG_RC4) {
        return fail(NTE_BAD_ALGID);
    }
    const DWORD bits = (flags >> 16) == 0 ? 128 : flags >> 16;
    if (bits < 40 || bits > 128 || bits % 8 != 0) {
        return fail(NTE_BAD_FLAGS);
    }
    if (!hash->finish()) {
        return fail(NTE_PROVIDER_DLL_FAIL);
    }
    auto object = std::make_unique<KeyObject>();
    object->provider = provider;
    const std::size_t keyBytes = bits / 8;
    std::memcpy(object->key.data(), hash->value.data(), keyBytes);
    const bool salted = bits == 40 && (flags & CRYPT_NO_SALT) == 0;
    object->keyBytes = salted ? keyBytes + kSaltBytes40 : keyBytes; // salt bytes stay zero
    return addKey(registry, std::move(object), key);
}

BOOL CryptImportKey(HCRYPTPROV prov, const BYTE *data, DWORD length, HCRYPTKEY pubKey, DWORD flags,
                    HCRYPTKEY *key)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    if (key == nullptr || data == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::shared_ptr<Provider> provider = registry.provider(prov);
    if (provider == nullptr) {
        return fail(NTE_BAD_UID);
    }
    if (pubKey != 0) {
        return fail(NTE_BAD_KEY);
    }
    (void)flags; // CRYPT_EXPORTABLE and the like change nothing here
    BLOBHEADER header{};
    DWORD keySize = 0;
    if (length < sizeof header + sizeof keySize) {
        return fail(NTE_BAD_DATA);
    }
    std::memcpy(&header, data, sizeof header);
    std::memcpy(&keySize, data + sizeof header, sizeof keySize);
    if (header.bType != PLAINTEXTKEYBLOB) {
        return fail(NTE_BAD_TYPE);
    }
    if (header.bVersion != CUR_BLOB_VERSION) {
        return fail(NTE_BAD_VER);
    }
    if (header.aiKeyAlg != CALG_RC4) {
        return fail(NTE_BAD_ALGID);
    }
    if (keySize == 0 || keySize > kMaxRc4KeyBytes ||
        length - sizeof header - sizeof keySize < keySize) {
        return fail(NTE_BAD_LEN);
    }
    auto object = std::make_unique<KeyObject>();
    object->provider = provider;
    std::memcpy(object->key.data(), data + sizeof header + sizeof keySize, keySize);
    object->keyBytes = keySize;
    return addKey(registry, std::move(object), key);
}

BOOL CryptDestroyKey(HCRYPTKEY key)
{
    Registry &registry = Registry::instance();
    const std::lock_guard lock(registry.mutex);
    if (registry.keys.erase(key) == 0) {
        return fail(NTE_BAD_KEY);
    }
    return succeed();
}

BOOL CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE *data,
                  DWORD *length, DWORD bufferLength)
{
    return crypt(key, hash, final, flags, data, length, bufferLength);
}

BOOL CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE *data,
                  DWORD *length)
{
    return crypt(key, hash, final, flags, data, length, length == nullptr ? 0 : *length);
}

} // namespace win
