// The cryptographic provider calls the cipher object uses: a provider context,
// MD5 hashes, RC4 keys derived from a hash or imported as plain key bytes, and
// in-place encryption and decryption.
//
// Failures return FALSE and set the last error; handles are opaque non-zero
// integers and 0 or an unknown handle makes a call fail.
#pragma once

#include "platform/win/wintypes.h"

namespace win {

using ALG_ID = std::uint32_t;
using HCRYPTPROV = std::uint32_t;
using HCRYPTHASH = std::uint32_t;
using HCRYPTKEY = std::uint32_t;

inline constexpr DWORD PROV_RSA_FULL = 1;
inline constexpr DWORD CRYPT_VERIFYCONTEXT = 0xF0000000;

inline constexpr ALG_ID CALG_MD5 = 0x8003;
inline constexpr ALG_ID CALG_RC4 = 0x6801;

inline constexpr DWORD CRYPT_EXPORTABLE = 0x0001;
inline constexpr DWORD CRYPT_NO_SALT = 0x0010;

inline constexpr DWORD HP_ALGID = 0x0001;
inline constexpr DWORD HP_HASHVAL = 0x0002;
inline constexpr DWORD HP_HASHSIZE = 0x0004;

inline constexpr BYTE PLAINTEXTKEYBLOB = 0x8;
inline constexpr BYTE CUR_BLOB_VERSION = 2;

// The header of a key blob; a PLAINTEXTKEYBLOB follows it with a DWORD key
// size in bytes and the key bytes.
struct BLOBHEADER
{
    BYTE bType;
    BYTE bVersion;
    std::uint16_t reserved;
    ALG_ID aiKeyAlg;
};

inline constexpr DWORD NTE_BAD_HASH = 0x80090002;
inline constexpr DWORD NTE_BAD_KEY = 0x80090003;
inline constexpr DWORD NTE_BAD_LEN = 0x80090004;
inline constexpr DWORD NTE_BAD_DATA = 0x80090005;
inline constexpr DWORD NTE_BAD_ALGID = 0x80090008;
inline constexpr DWORD NTE_BAD_FLAGS = 0x80090009;
inline constexpr DWORD NTE_BAD_TYPE = 0x8009000A;
inline constexpr DWORD NTE_BAD_HASH_STATE = 0x8009000C;
inline constexpr DWORD NTE_BAD_UID = 0x80090001;
inline constexpr DWORD NTE_BAD_VER = 0x80090007;
inline constexpr DWORD NTE_PROVIDER_DLL_FAIL = 0x8009001D;

// The default provider of the RSA-full type, without a key container. Each
// context has a library context of its own with the "default" and "legacy"
// providers loaded; if either cannot be loaded the call fails and *prov is 0.
[[nodiscard]] BOOL CryptAcquireContextW(HCRYPTPROV *prov, LPCWSTR container, LPCWSTR provider,
                                        DWORD provType, DWORD flags);
BOOL CryptReleaseContext(HCRYPTPROV prov, DWORD flags);

// MD5 only; key must be 0 and flags 0.
[[nodiscard]] BOOL CryptCreateHash(HCRYPTPROV prov, ALG_ID alg, HCRYPTKEY key, DWORD flags,
                                   HCRYPTHASH *hash);
// Fails with NTE_BAD_HASH_STATE once the hash value has been taken (by
// CryptGetHashParam(HP_HASHVAL) or CryptDeriveKey).
[[nodiscard]] BOOL CryptHashData(HCRYPTHASH hash, const BYTE *data, DWORD length, DWORD flags);
[[nodiscard]] BOOL CryptGetHashParam(HCRYPTHASH hash, DWORD param, BYTE *data, DWORD *length,
                                     DWORD flags);
BOOL CryptDestroyHash(HCRYPTHASH hash);

// RC4 only. The key length in bits is the upper 16 bits of flags, or 128 when
// they are 0; it must be a multiple of 8 from 40 to 128. The key is the first
// length/8 bytes of the hash value. A 40-bit key gets 11 zero salt bytes unless
// CRYPT_NO_SALT is given, so RC4 is then keyed with 16 bytes.
[[nodiscard]] BOOL CryptDeriveKey(HCRYPTPROV prov, ALG_ID alg, HCRYPTHASH baseData, DWORD flags,
                                  HCRYPTKEY *key);
// A PLAINTEXTKEYBLOB for CALG_RC4 with 1 to 16 key bytes; no salt is added.
[[nodiscard]] BOOL CryptImportKey(HCRYPTPROV prov, const BYTE *data, DWORD length, HCRYPTKEY pubKey,
                                  DWORD flags, HCRYPTKEY *key);
BOOL CryptDestroyKey(HCRYPTKEY key);

// In place; *length bytes of data are processed. hash must be 0. With final
// TRUE the key's keystream returns to its start for the next call, as after
// deriving it; with FALSE the next call continues the stream.
[[nodiscard]] BOOL CryptEncrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE *data,
                                DWORD *length, DWORD bufferLength);
[[nodiscard]] BOOL CryptDecrypt(HCRYPTKEY key, HCRYPTHASH hash, BOOL final, DWORD flags, BYTE *data,
                                DWORD *length);

} // namespace win
