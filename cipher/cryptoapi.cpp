#include "cryptoapi.h"

#include "runtime/memory.h"

namespace veskel {

using namespace win;

TCryptoAPI::TCryptoAPI(ALG_ID algId)
    : AlgId(algId)
{
    // A failed acquisition leaves hProv at 0 and shows up as a failed
    // SetPassword.
    if (CryptAcquireContextW(&hProv, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ==
        FALSE) {
        hProv = 0;
    }
}

TCryptoAPI::~TCryptoAPI()
{
    SecureZeroMemory(PasswordBlock.data(), PasswordBlock.size());
    SecureZeroMemory(DataBlock.data(), DataBlock.size());
    if (hKey != 0) {
        CryptDestroyKey(hKey);
    }
    if (hHash != 0) {
        CryptDestroyHash(hHash);
    }
    if (hProv != 0) {
        CryptReleaseContext(hProv, 0);
    }
}

bool TCryptoAPI::SetPassword(QStringView password)
{
    KeyReady = false;
    TextToBlock(password, PasswordBlock);
    CryptDestroyKey(hKey);
    CryptDestroyHash(hHash);
    hKey = 0;
    hHash = 0;
    if (CryptCreateHash(hProv, CALG_MD5, 0, 0, &hHash) == FALSE) {
        return false;
    }
    // Always the whole block: the password and the zeros after it.
    if (CryptHashData(hHash, PasswordBlock.data(), BlockSize, 0) == FALSE) {
        return false;
    }
    if (CryptDeriveKey(hProv, AlgId, hHash, CRYPT_EXPORTABLE, &hKey) == FALSE) {
        return false;
    }
    KeyReady = true;
    return true;
}

QString TCryptoAPI::Encrypt(QStringView text)
{
    if (!KeyReady) {
        return {};
    }
    TextToBlock(text, DataBlock);
    DWORD length = BlockSize;
    if (CryptEncrypt(hKey, 0, TRUE, 0, DataBlock.data(), &length, BlockSize) == FALSE ||
        length != BlockSize) {
        return {};
    }
    return EncodeArmour(DataBlock);
}

QString TCryptoAPI::Decrypt(QStringView armour)
{
    if (!KeyReady) {
        return {};
    }
    DecodeArmour(armour, DataBlock);
    DWORD length = BlockSize;
    if (CryptDecrypt(hKey, 0, TRUE, 0, DataBlock.data(), &length) == FALSE || length != BlockSize) {
        return {};
    }
    return BlockToText(DataBlock);
}

} // namespace veskel
