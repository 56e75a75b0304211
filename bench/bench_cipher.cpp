// The cipher pipeline for a 99,999-character text, against raw OpenSSL doing
// the same cryptographic work (MD5 of 100,000 bytes, RC4 of 100,000 bytes).
#include "benchratio.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"

#include <QTemporaryDir>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>

using namespace veskel;

namespace {

const QString &sampleText()
{
    static const QString text = [] {
        QString t;
        const QString line =
            QStringLiteral("The quick brown fox jumps over the lazy dog, 0123456789.\r\n");
        while (t.size() < 99999) {
            t += line;
        }
        t.truncate(99999);
        return t;
    }();
    return text;
}

const QString kPassword = QStringLiteral("correct horse battery staple");

void BM_Construct(benchmark::State &state)
{
    for (auto _ : state) {
        auto cipher = std::make_unique<TCryptoAPI>(win::CALG_RC4);
        benchmark::DoNotOptimize(cipher.get());
    }
}

void BM_SetPassword(benchmark::State &state)
{
    auto cipher = std::make_unique<TCryptoAPI>(win::CALG_RC4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(cipher->SetPassword(kPassword));
    }
}

void BM_Encrypt(benchmark::State &state)
{
    auto cipher = std::make_unique<TCryptoAPI>(win::CALG_RC4);
    if (!cipher->SetPassword(kPassword)) {
        state.SkipWithError("no RC4 key");
        return;
    }
    for (auto _ : state) {
        QString armour = cipher->Encrypt(sampleText());
        benchmark::DoNotOptimize(armour.data());
    }
}

void BM_SetPasswordEncrypt(benchmark::State &state)
{
    auto cipher = std::make_unique<TCryptoAPI>(win::CALG_RC4);
    for (auto _ : state) {
        if (!cipher->SetPassword(kPassword)) {
            state.SkipWithError("no RC4 key");
            break;
        }
        QString armour = cipher->Encrypt(sampleText());
        benchmark::DoNotOptimize(armour.data());
    }
}

// What a save or an open does with the cipher: a fresh object, the key from
// the password, one whole block.
void BM_ConstructEncrypt(benchmark::State &state)
{
    const QString text = sampleText();
    for (auto _ : state) {
        TCryptoAPI cipher(win::CALG_RC4);
        if (!cipher.SetPassword(kPassword)) {
            state.SkipWithError("no RC4 key");
            break;
        }
        QString armour = cipher.Encrypt(text);
        benchmark::DoNotOptimize(armour.data());
    }
}

void BM_DecodeArmourDecrypt(benchmark::State &state)
{
    auto cipher = std::make_unique<TCryptoAPI>(win::CALG_RC4);
    if (!cipher->SetPassword(kPassword)) {
        state.SkipWithError("no RC4 key");
        return;
    }
    const QString armour = cipher->Encrypt(sampleText());
    for (auto _ : state) {
        QString text = cipher->Decrypt(armour);
        benchmark::DoNotOptimize(text.data());
    }
}

// Everything a save does after the password is typed, through the file's
// flush and rename.
void BM_SaveToFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.vsk"));
    for (auto _ : state) {
        auto cipher = std::make_unique<TCryptoAPI>(win::CALG_RC4);
        if (!cipher->SetPassword(kPassword)) {
            state.SkipWithError("no RC4 key");
            break;
        }
        SaveDocumentFile(path, cipher->Encrypt(sampleText()));
    }
}

void BM_OpenSslBaseline(benchmark::State &state)
{
    OSSL_LIB_CTX *lib = OSSL_LIB_CTX_new();
    OSSL_PROVIDER *deflt = OSSL_PROVIDER_load(lib, "default");
    OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(lib, "legacy");
    EVP_MD *md5 = EVP_MD_fetch(lib, "MD5", nullptr);
    EVP_CIPHER *rc4 = EVP_CIPHER_fetch(lib, "RC4", nullptr);
    if (md5 == nullptr || rc4 == nullptr) {
        state.SkipWithError("OpenSSL has no MD5 or RC4");
        return;
    }
    std::vector<unsigned char> password(100000, 0);
    std::vector<unsigned char> data(100000, 'x');
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        unsigned char key[16];
        unsigned int keyLength = 0;
        EVP_Digest(password.data(), password.size(), key, &keyLength, md5, nullptr);
        int written = 0;
        EVP_EncryptInit_ex2(ctx, rc4, key, nullptr, nullptr);
        EVP_EncryptUpdate(ctx, data.data(), &written, data.data(), static_cast<int>(data.size()));
        benchmark::DoNotOptimize(data.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(rc4);
    EVP_MD_free(md5);
    OSSL_PROVIDER_unload(legacy);
    OSSL_PROVIDER_unload(deflt);
    OSSL_LIB_CTX_free(lib);
}

} // namespace

BENCHMARK(BM_Construct)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetPassword)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Encrypt)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetPasswordEncrypt)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConstructEncrypt)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeArmourDecrypt)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenSslBaseline)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    veskel::bench::RecordingReporter reporter;
    veskel::bench::runBenchmarks(argc, argv, reporter);
    const double baseline = reporter.microseconds("BM_OpenSslBaseline");
    veskel::bench::printRatio("pipeline_vs_openssl", "SetPassword+Encrypt",
                              reporter.microseconds("BM_SetPasswordEncrypt"), "OpenSSL MD5+RC4",
                              baseline, 1.25);
    veskel::bench::printRatio("construct_encrypt_vs_openssl", "construct+SetPassword+Encrypt",
                              reporter.microseconds("BM_ConstructEncrypt"), "OpenSSL MD5+RC4",
                              baseline, 1.5);
    return 0;
}
