// The cipher object, checked against an independent computation of the
// document format with OpenSSL.
#include "cipher/cryptoapi.h"
#include "support/standins.h"

#include <QTest>

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>
#include <new>

using namespace veskel;

namespace {

// The armour a document of this text and password must have: MD5 over the
// narrowed password padded with zeros to 100,000 bytes gives the 128-bit RC4
// key, which encrypts the narrowed text padded the same way.
QString referenceArmour(const QString &password, const QString &text)
{
    const auto narrow = [](const QString &s) {
        QByteArray block(100000, '\0');
        for (qsizetype i = 0; i < s.size() && i < 99999; ++i) {
            block[i] = static_cast<char>(s[i].unicode() & 0xFF);
        }
        return block;
    };
    static OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER *deflt = OSSL_PROVIDER_load(nullptr, "default");
    Q_UNUSED(legacy);
    Q_UNUSED(deflt);
    const QByteArray passwordBlock = narrow(password);
    unsigned char key[16];
    unsigned int keyLength = 0;
    EVP_Digest(passwordBlock.constData(), 100000, key, &keyLength, EVP_md5(), nullptr);
    QByteArray data = narrow(text);
    EVP_CIPHER *rc4 = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    int written = 0;
    EVP_EncryptInit_ex2(ctx, rc4, key, nullptr, nullptr);
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char *>(data.data()), &written,
                      reinterpret_cast<const unsigned char *>(data.constData()), 100000);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(rc4);
    const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-");
    QString armour;
    for (int i = 0; i < 100000; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        armour += alphabet[b % 64];
        armour += alphabet[b / 64];
        if (i % 40 == 39) {
            armour += QStringLiteral("\r\n");
        }
    }
    return armour;
}

QString encrypt(const QString &password, const QString &text)
{
    TCryptoAPI cipher(win::CALG_RC4);
    if (!cipher.SetPassword(password)) {
        return QStringLiteral("<no key>");
    }
    return cipher.Encrypt(text);
}

QString decrypt(const QString &password, const QString &armour)
{
    TCryptoAPI cipher(win::CALG_RC4);
    if (!cipher.SetPassword(password)) {
        return QStringLiteral("<no key>");
    }
    return cipher.Decrypt(armour);
}

} // namespace

class TestCryptoApi : public QObject
{
    Q_OBJECT

private slots:
    void matchesReferenceFormat_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty password, empty text") << QString() << QString();
        QTest::newRow("one character") << QStringLiteral("x") << QStringLiteral("y");
        QTest::newRow("note") << QStringLiteral("hunter2")
                              << QStringLiteral("Dear diary,\r\ntoday I wrote tests.\r\n");
        QTest::newRow("latin-1") << QString::fromUtf16(u"p\u00E4ss")
                                 << QString::fromUtf16(u"\u00FF\u00E9");
        QTest::newRow("200,000-character password")
            << QString(200000, QChar(u'p')) << QStringLiteral("text");
        QTest::newRow("1,000,000-character text")
            << QStringLiteral("pw") << QString(1000000, QChar(u'q'));
    }
    void matchesReferenceFormat()
    {
        QFETCH(QString, password);
        QFETCH(QString, text);
        const QString armour = encrypt(password, text);
        QCOMPARE(armour.size(), qsizetype(ArmourLength));
        QCOMPARE(armour, referenceArmour(password, text));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("lines") << QStringLiteral("one\r\ntwo\r\n")
                               << QStringLiteral("one\r\ntwo\r\n");
        QTest::newRow("99,999 characters")
            << QString(99999, QChar(u'z')) << QString(99999, QChar(u'z'));
        QTest::newRow("100,000 characters: the last is lost")
            << QString(100000, QChar(u'z')) << QString(99999, QChar(u'z'));
        QTest::newRow("U+0100 ends the text")
            << QString::fromUtf16(u"ab\u0100cd") << QStringLiteral("ab");
        QTest::newRow("U+0141 comes back as A")
            << QString::fromUtf16(u"\u0141") << QStringLiteral("A");
    }
    void roundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QString decrypted =
            decrypt(QStringLiteral("pw"), encrypt(QStringLiteral("pw"), text));
        QCOMPARE(decrypted.size(), qsizetype(BlockSize));
        QCOMPARE(TextBeforeNul(decrypted), expected);
    }

    // Passwords are narrowed to their low bytes and cut to 99,999 characters.
    void equivalentPasswords_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("sameKey");
        const QString base(99999, QChar(u'k'));
        QTest::newRow("same low byte")
            << QStringLiteral("A") << QString::fromUtf16(u"\u0141") << true;
        QTest::newRow("past 99,999") << base + QChar(u'1') << base + QChar(u'2') << true;
        QTest::newRow("at 99,999")
            << base.left(99998) + QChar(u'1') << base.left(99998) + QChar(u'2') << false;
        QTest::newRow("empty vs NUL") << QString() << QString(1, QChar(u'\0')) << true;
        QTest::newRow("case matters") << QStringLiteral("a") << QStringLiteral("A") << false;
    }
    void equivalentPasswords()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, sameKey);
        const QString text = QStringLiteral("same text");
        QCOMPARE(encrypt(first, text) == encrypt(second, text), sameKey);
    }

    // The zeros after the text encrypt to the keystream itself.
    void zeroTailIsKeystream()
    {
        TBlock empty;
        TBlock withText;
        DecodeArmour(encrypt(QStringLiteral("pw"), QString()), empty);
        DecodeArmour(encrypt(QStringLiteral("pw"), QStringLiteral("abc")), withText);
        QVERIFY(std::equal(empty.begin() + 3, empty.begin() + BlockSize, withText.begin() + 3));
        QVERIFY(!std::equal(empty.begin(), empty.begin() + 3, withText.begin()));
    }

    void wrongPasswordGivesOtherText()
    {
        const QString text = QStringLiteral("my secret");
        const QString decrypted =
            decrypt(QStringLiteral("wrong"), encrypt(QStringLiteral("right"), text));
        QCOMPARE(decrypted.size(), qsizetype(BlockSize));
        QVERIFY(!decrypted.startsWith(text));
    }

    void secondPasswordReplacesKey()
    {
        TCryptoAPI cipher(win::CALG_RC4);
        QVERIFY(cipher.SetPassword(QStringLiteral("first")));
        QVERIFY(cipher.SetPassword(QStringLiteral("second")));
        QCOMPARE(cipher.Encrypt(QStringLiteral("t")),
                 encrypt(QStringLiteral("second"), QStringLiteral("t")));
    }

    void noKeyGivesEmptyText()
    {
        TCryptoAPI cipher(win::CALG_RC4);
        QVERIFY(!cipher.keyReady());
        QVERIFY(cipher.Encrypt(QStringLiteral("text")).isEmpty());
        QVERIFY(cipher.Decrypt(QStringLiteral("AAAA")).isEmpty());
    }

    void otherAlgorithmCannotSetKey()
    {
        TCryptoAPI cipher(win::CALG_MD5);
        QVERIFY(!cipher.SetPassword(QStringLiteral("pw")));
        QVERIFY(cipher.Encrypt(QStringLiteral("text")).isEmpty());
    }

    void failedProviderCannotSetKey()
    {
        const veskel::test::NoLegacyProvider noLegacy;
        TCryptoAPI cipher(win::CALG_RC4);
        QVERIFY(!cipher.SetPassword(QStringLiteral("pw")));
        QVERIFY(!cipher.keyReady());
        QVERIFY(cipher.Encrypt(QStringLiteral("text")).isEmpty());
        QVERIFY(cipher.Decrypt(QStringLiteral("AAAA")).isEmpty());
    }

    // Neither the narrowed password nor the plaintext stays in the object's
    // memory once it is discarded.
    void blocksAreWipedWhenDiscarded()
    {
        alignas(TCryptoAPI) static unsigned char storage[sizeof(TCryptoAPI)];
        const QByteArray password("Correct-Horse-Battery");
        const QByteArray plain("Plaintext-Of-The-Note");
        auto *cipher = new (storage) TCryptoAPI(win::CALG_RC4);
        QVERIFY(cipher->SetPassword(QString::fromLatin1(password)));
        const QString armour = cipher->Encrypt(QString::fromLatin1(plain));
        QVERIFY(cipher->SetPassword(QString::fromLatin1(password)));
        QVERIFY(cipher->Decrypt(armour).startsWith(QString::fromLatin1(plain)));
        const QByteArrayView memory(storage, sizeof storage);
        QVERIFY(memory.indexOf(password) >= 0);
        QVERIFY(memory.indexOf(plain) >= 0);
        cipher->~TCryptoAPI();
        QCOMPARE(memory.indexOf(password), qsizetype(-1));
        QCOMPARE(memory.indexOf(plain), qsizetype(-1));
    }
};

QTEST_APPLESS_MAIN(TestCryptoApi)
#include "tst_cryptoapi.moc"
