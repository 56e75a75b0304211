// Known-answer and behaviour tests of the CryptoAPI calls.
#include "platform/crypt/crypt.h"

#include <QByteArray>
#include <QTest>

#include <cstring>

using namespace win;

namespace {

QByteArray md5Of(HCRYPTPROV prov, const QByteArray &data)
{
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(prov, CALG_MD5, 0, 0, &hash)) {
        return {};
    }
    QByteArray value(16, '\0');
    DWORD length = 16;
    const bool ok =
        CryptHashData(hash, reinterpret_cast<const BYTE *>(data.constData()),
                      static_cast<DWORD>(data.size()), 0) &&
        CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE *>(value.data()), &length, 0);
    CryptDestroyHash(hash);
    return ok && length == 16 ? value : QByteArray();
}

HCRYPTKEY importRc4(HCRYPTPROV prov, const QByteArray &key)
{
    QByteArray blob(sizeof(BLOBHEADER) + sizeof(DWORD), '\0');
    const BLOBHEADER header{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_RC4};
    const auto size = static_cast<DWORD>(key.size());
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, &size, sizeof size);
    blob += key;
    HCRYPTKEY handle = 0;
    if (!CryptImportKey(prov, reinterpret_cast<const BYTE *>(blob.constData()),
                        static_cast<DWORD>(blob.size()), 0, 0, &handle)) {
        return 0;
    }
    return handle;
}

// Encrypts a copy of data with the key; empty on failure.
QByteArray encrypted(HCRYPTKEY key, QByteArray data, BOOL final = TRUE)
{
    DWORD length = static_cast<DWORD>(data.size());
    if (!CryptEncrypt(key, 0, final, 0, reinterpret_cast<BYTE *>(data.data()), &length,
                      static_cast<DWORD>(data.size()))) {
        return {};
    }
    return data;
}

QByteArray derivationHashInput()
{
    QByteArray data(512, '\0');
    for (int j = 0; j < 512; ++j) {
        data[j] = static_cast<char>((j + 28) & 0xFF);
    }
    return data;
}

} // namespace

class TestCrypt : public QObject
{
    Q_OBJECT

private:
    HCRYPTPROV m_prov = 0;

private slots:
    void initTestCase()
    {
        QVERIFY(
            CryptAcquireContextW(&m_prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
        QVERIFY(m_prov != 0);
    }
    void cleanupTestCase() { QVERIFY(CryptReleaseContext(m_prov, 0)); }

    // RFC 1321, appendix A.5.
    void md5KnownAnswers_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("empty") << QByteArray() << QByteArray("d41d8cd98f00b204e9800998ecf8427e");
        QTest::newRow("a") << QByteArray("a") << QByteArray("0cc175b9c0f1b6a831c399e269772661");
        QTest::newRow("abc") << QByteArray("abc") << QByteArray("900150983cd24fb0d6963f7d28e17f72");
        QTest::newRow("message digest")
            << QByteArray("message digest") << QByteArray("f96b697d7cb7938d525a2f31aaf161d0");
        QTest::newRow("a-z") << QByteArray("abcdefghijklmnopqrstuvwxyz")
                             << QByteArray("c3fcd3d76192e4007dfb496cca67e13b");
        QTest::newRow("A-Za-z0-9")
            << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")
            << QByteArray("d174ab98d277d9f5a5611c2c9f419d9f");
        QTest::newRow("digits x8") << QByteArray("1234567890").repeated(8)
                                   << QByteArray("57edf4a22be3c955ac49da2e2107b67a");
        // Recorded with the platform's default RSA-full provider.
        QTest::newRow("512 bytes (j + 28)")
            << derivationHashInput() << QByteArray("006defb1c8c6255e454f4e3daf9c53d2");
    }
    void md5KnownAnswers()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, digest);
        QCOMPARE(md5Of(m_prov, message).toHex(), digest);
    }

    // RFC 6229, offset 0 of the keystream.
    void rc4KnownAnswers_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("keystream");
        QTest::newRow("40-bit") << QByteArray::fromHex("0102030405")
                                << QByteArray::fromHex("b2396305f03dc027ccc3524a0a1118a8");
        QTest::newRow("128-bit") << QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10")
                                 << QByteArray::fromHex("9ac7cc9a609d1ef7b2932899cde41b97");
    }
    void rc4KnownAnswers()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, keystream);
        const HCRYPTKEY handle = importRc4(m_prov, key);
        QVERIFY(handle != 0);
        QCOMPARE(encrypted(handle, QByteArray(keystream.size(), '\0')).toHex(), keystream.toHex());
        QVERIFY(CryptDestroyKey(handle));
    }

    // Recorded with the platform's default RSA-full provider: the derived key
    // is 128 bits, the whole MD5 value, unsalted.
    void derivedKeyKnownAnswer()
    {
        HCRYPTHASH hash = 0;
        QVERIFY(CryptCreateHash(m_prov, CALG_MD5, 0, 0, &hash));
        const QByteArray input = derivationHashInput();
        QVERIFY(CryptHashData(hash, reinterpret_cast<const BYTE *>(input.constData()), 512, 0));
        HCRYPTKEY key = 0;
        QVERIFY(CryptDeriveKey(m_prov, CALG_RC4, hash, 0, &key));
        QCOMPARE(encrypted(key, QByteArray::fromHex("1c1d1e1f")).toHex(), QByteArray("c44cd2f1"));
        QVERIFY(CryptDestroyKey(key));
        QVERIFY(CryptDestroyHash(hash));
    }

    // The derived key is the hash value's first length/8 bytes, and a 40-bit
    // key is salted with 11 zero bytes unless CRYPT_NO_SALT is given.
    void derivedKeyLengths_data()
    {
        QTest::addColumn<DWORD>("flags");
        QTest::addColumn<int>("keyBytes");
        QTest::addColumn<int>("zeroSaltBytes");
        QTest::newRow("default") << DWORD(0) << 16 << 0;
        QTest::newRow("exportable") << CRYPT_EXPORTABLE << 16 << 0;
        QTest::newRow("128 bits") << DWORD(128u << 16) << 16 << 0;
        QTest::newRow("56 bits") << DWORD(56u << 16) << 7 << 0;
        QTest::newRow("40 bits salted") << DWORD(40u << 16) << 5 << 11;
        QTest::newRow("40 bits no salt") << DWORD((40u << 16) | CRYPT_NO_SALT) << 5 << 0;
    }
    void derivedKeyLengths()
    {
        QFETCH(DWORD, flags);
        QFETCH(int, keyBytes);
        QFETCH(int, zeroSaltBytes);
        const QByteArray password("correct horse");
        const QByteArray value = md5Of(m_prov, password);
        HCRYPTHASH hash = 0;
        QVERIFY(CryptCreateHash(m_prov, CALG_MD5, 0, 0, &hash));
        QVERIFY(CryptHashData(hash, reinterpret_cast<const BYTE *>(password.constData()),
                              static_cast<DWORD>(password.size()), 0));
        HCRYPTKEY derived = 0;
        QVERIFY(CryptDeriveKey(m_prov, CALG_RC4, hash, flags, &derived));
        const HCRYPTKEY imported =
            importRc4(m_prov, value.left(keyBytes) + QByteArray(zeroSaltBytes, '\0'));
        QVERIFY(imported != 0);
        const QByteArray zeros(64, '\0');
        QCOMPARE(encrypted(derived, zeros).toHex(), encrypted(imported, zeros).toHex());
        CryptDestroyKey(derived);
        CryptDestroyKey(imported);
        CryptDestroyHash(hash);
    }

    void badDerivations_data()
    {
        QTest::addColumn<ALG_ID>("alg");
        QTest::addColumn<DWORD>("flags");
        QTest::addColumn<DWORD>("error");
        QTest::newRow("md5 as cipher") << CALG_MD5 << DWORD(0) << NTE_BAD_ALGID;
        QTest::newRow("32 bits") << CALG_RC4 << DWORD(32u << 16) << NTE_BAD_FLAGS;
        QTest::newRow("136 bits") << CALG_RC4 << DWORD(136u << 16) << NTE_BAD_FLAGS;
        QTest::newRow("44 bits") << CALG_RC4 << DWORD(44u << 16) << NTE_BAD_FLAGS;
    }
    void badDerivations()
    {
        QFETCH(ALG_ID, alg);
        QFETCH(DWORD, flags);
        QFETCH(DWORD, error);
        HCRYPTHASH hash = 0;
        QVERIFY(CryptCreateHash(m_prov, CALG_MD5, 0, 0, &hash));
        HCRYPTKEY key = 0;
        QVERIFY(!CryptDeriveKey(m_prov, alg, hash, flags, &key));
        QCOMPARE(GetLastError(), error);
        QCOMPARE(key, HCRYPTKEY(0));
        CryptDestroyHash(hash);
    }

    // Final = TRUE starts the next call at the beginning of the keystream;
    // Final = FALSE continues it.
    void finalRestartsKeystream()
    {
        const HCRYPTKEY key = importRc4(m_prov, QByteArray::fromHex("0102030405"));
        QVERIFY(key != 0);
        const QByteArray zeros(8, '\0');
        const QByteArray first = encrypted(key, zeros, TRUE);
        QCOMPARE(encrypted(key, zeros, TRUE), first);
        QCOMPARE(encrypted(key, zeros, FALSE), first);
        const QByteArray continued = encrypted(key, zeros, TRUE);
        QVERIFY(continued != first);
        QCOMPARE(first + continued, encrypted(key, QByteArray(16, '\0'), TRUE));
        CryptDestroyKey(key);
    }

    void decryptInvertsEncrypt()
    {
        const HCRYPTKEY key = importRc4(m_prov, QByteArray("secret key"));
        const QByteArray plain("attack at dawn, bring the rest of the text too");
        QByteArray data = encrypted(key, plain);
        QVERIFY(data != plain);
        DWORD length = static_cast<DWORD>(data.size());
        QVERIFY(CryptDecrypt(key, 0, TRUE, 0, reinterpret_cast<BYTE *>(data.data()), &length));
        QCOMPARE(data, plain);
        CryptDestroyKey(key);
    }

    void hashIsClosedOnceItsValueIsTaken()
    {
        HCRYPTHASH hash = 0;
        QVERIFY(CryptCreateHash(m_prov, CALG_MD5, 0, 0, &hash));
        HCRYPTKEY key = 0;
        QVERIFY(CryptDeriveKey(m_prov, CALG_RC4, hash, 0, &key));
        const BYTE more = 1;
        QVERIFY(!CryptHashData(hash, &more, 1, 0));
        QCOMPARE(GetLastError(), NTE_BAD_HASH_STATE);
        // A second key from the same hash is the same key.
        HCRYPTKEY again = 0;
        QVERIFY(CryptDeriveKey(m_prov, CALG_RC4, hash, 0, &again));
        const QByteArray zeros(16, '\0');
        QCOMPARE(encrypted(again, zeros), encrypted(key, zeros));
        CryptDestroyKey(key);
        CryptDestroyKey(again);
        CryptDestroyHash(hash);
    }

    // Zero, unknown, destroyed and wrong-kind handles all fail.
    void invalidHandles()
    {
        HCRYPTHASH hash = 0;
        QVERIFY(!CryptCreateHash(0, CALG_MD5, 0, 0, &hash));
        QVERIFY(!CryptCreateHash(0xDEAD, CALG_MD5, 0, 0, &hash));
        QVERIFY(!CryptCreateHash(m_prov, CALG_RC4, 0, 0, &hash));
        QCOMPARE(GetLastError(), NTE_BAD_ALGID);
        QCOMPARE(hash, HCRYPTHASH(0));
        QVERIFY(CryptCreateHash(m_prov, CALG_MD5, 0, 0, &hash));
        BYTE data[4] = {1, 2, 3, 4};
        DWORD length = 4;
        QVERIFY(!CryptEncrypt(0, 0, TRUE, 0, data, &length, 4));
        QVERIFY(!CryptEncrypt(hash, 0, TRUE, 0, data, &length, 4)); // a hash is no key
        QCOMPARE(GetLastError(), NTE_BAD_KEY);
        QVERIFY(!CryptDeriveKey(m_prov, CALG_RC4, m_prov, 0, nullptr));
        HCRYPTKEY key = 0;
        QVERIFY(!CryptDeriveKey(m_prov, CALG_RC4, 0, 0, &key));
        QVERIFY(!CryptDeriveKey(hash, CALG_RC4, hash, 0, &key)); // a hash is no provider
        QVERIFY(CryptDeriveKey(m_prov, CALG_RC4, hash, 0, &key));
        QVERIFY(CryptDestroyKey(key));
        QVERIFY(!CryptDestroyKey(key));
        QVERIFY(!CryptEncrypt(key, 0, TRUE, 0, data, &length, 4));
        QVERIFY(CryptDestroyHash(hash));
        QVERIFY(!CryptDestroyHash(hash));
        QVERIFY(!CryptDestroyHash(0));
        QVERIFY(!CryptDestroyKey(0));
        QVERIFY(!CryptReleaseContext(0, 0));
        QCOMPARE(data[0], BYTE(1)); // nothing was encrypted
    }

    void encryptChecksBuffer()
    {
        const HCRYPTKEY key = importRc4(m_prov, QByteArray("k"));
        BYTE data[8] = {};
        DWORD length = 8;
        QVERIFY(!CryptEncrypt(key, 0, TRUE, 0, data, &length, 4));
        QCOMPARE(GetLastError(), ERROR_MORE_DATA);
        QVERIFY(CryptEncrypt(key, 0, TRUE, 0, nullptr, &length, 0)); // size query
        QCOMPARE(length, DWORD(8));
        QVERIFY(!CryptEncrypt(key, 0, TRUE, 0, data, nullptr, 8));
        CryptDestroyKey(key);
    }

    // A key outlives the context it was made in.
    void keyOutlivesReleasedContext()
    {
        HCRYPTPROV prov = 0;
        QVERIFY(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
        const HCRYPTKEY key = importRc4(prov, QByteArray::fromHex("0102030405"));
        QVERIFY(CryptReleaseContext(prov, 0));
        QCOMPARE(encrypted(key, QByteArray(4, '\0')).toHex(), QByteArray("b2396305"));
        QVERIFY(CryptDestroyKey(key));
    }

    void acquireRejectsOtherRequests_data()
    {
        QTest::addColumn<DWORD>("type");
        QTest::addColumn<DWORD>("flags");
        QTest::newRow("other type") << DWORD(24) << CRYPT_VERIFYCONTEXT;
        QTest::newRow("key container") << PROV_RSA_FULL << DWORD(0);
    }
    void acquireRejectsOtherRequests()
    {
        QFETCH(DWORD, type);
        QFETCH(DWORD, flags);
        HCRYPTPROV prov = 0xFFFF;
        QVERIFY(!CryptAcquireContextW(&prov, nullptr, nullptr, type, flags));
        QCOMPARE(prov, HCRYPTPROV(0));
    }

    // Without the legacy provider's module there is no RC4: the acquisition
    // fails and leaves 0.
    void acquireFailsWithoutLegacyProvider()
    {
        const QByteArray saved = qgetenv("OPENSSL_MODULES");
        qputenv("OPENSSL_MODULES", "/nonexistent-openssl-modules");
        HCRYPTPROV prov = 0xFFFF;
        const BOOL ok =
            CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
        if (saved.isNull()) {
            qunsetenv("OPENSSL_MODULES");
        } else {
            qputenv("OPENSSL_MODULES", saved);
        }
        QVERIFY(!ok);
        QCOMPARE(prov, HCRYPTPROV(0));
        QCOMPARE(GetLastError(), NTE_PROVIDER_DLL_FAIL);
    }
};

QTEST_APPLESS_MAIN(TestCrypt)
#include "tst_crypt.moc"
