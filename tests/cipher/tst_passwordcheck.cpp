// The wrong-password check: every block the right password gives back
// passes, and blocks of wrong passwords do not.
#include "cipher/blockcodec.h"
#include "cipher/cryptoapi.h"
#include "cipher/passwordcheck.h"

#include <QRandomGenerator>
#include <QTest>

using namespace veskel;

namespace {

QString decrypted(const QString &armour, const QString &password)
{
    TCryptoAPI cipher(win::CALG_RC4);
    return cipher.SetPassword(password) ? cipher.Decrypt(armour) : QString();
}

QString encrypted(const QString &text, const QString &password)
{
    TCryptoAPI cipher(win::CALG_RC4);
    return cipher.SetPassword(password) ? cipher.Encrypt(text) : QString();
}

// Characters U+0001..U+00FF, none of them 0.
QString randomLatin1(qsizetype length, quint32 seed)
{
    QRandomGenerator random(seed);
    QString text(length, Qt::Uninitialized);
    for (QChar &c : text) {
        c = QChar(static_cast<char16_t>(random.bounded(1, 256)));
    }
    return text;
}

} // namespace

class TestPasswordCheck : public QObject
{
    Q_OBJECT

private slots:
    void rightPassword_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("passes");
        const QString cut = QString::fromUtf16(u"\u0100");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("note") << "Dear diary,\r\nsecret things." << true;
        QTest::newRow("99,999 of any byte") << randomLatin1(99999, 1) << true;
        QTest::newRow("over capacity") << QString(100000, u'z') << true;
        QTest::newRow("U+0100 first") << cut + "after" << true;
        QTest::newRow("U+0100 inside") << "before" + cut + randomLatin1(5000, 2) << true;
        QTest::newRow("U+4E00 and U+0100 in 99,990")
            << QString::fromUtf16(u"\u4E00") + randomLatin1(99988, 3) + cut << true;
        // The one text the check turns away: bytes after a cut character
        // that reach into the block's last eight.
        QTest::newRow("U+0100 in 99,995") << cut + randomLatin1(99994, 4) << false;
    }
    void rightPassword()
    {
        QFETCH(QString, text);
        QFETCH(bool, passes);
        const QString block = decrypted(encrypted(text, "pw"), "pw");
        QCOMPARE(block.size(), qsizetype(BlockSize));
        QCOMPARE(DecryptedBlockLooksRight(block), passes);
    }

    // Random wrong passwords, and every one-character slip of the right one.
    void wrongPasswords()
    {
        const QString right = QStringLiteral("correct horse");
        const QString armour = encrypted("Dear diary,\r\nthe key is under the mat.\r\n", right);
        QStringList wrong;
        QRandomGenerator random(19);
        while (wrong.size() < 10000) {
            wrong << randomLatin1(random.bounded(1, 20), random.generate());
        }
        for (qsizetype i = 0; i < right.size(); ++i) {
            QString slip = right;
            slip[i] = QChar(slip[i].unicode() + 1);
            wrong << slip << right.left(i) + right.mid(i + 1);
        }
        wrong << right + ' ' << right.toUpper() << QString();
        int accepted = 0;
        for (const QString &password : std::as_const(wrong)) {
            accepted += password != right && DecryptedBlockLooksRight(decrypted(armour, password));
        }
        QCOMPARE(accepted, 0);
        QVERIFY(DecryptedBlockLooksRight(decrypted(armour, right)));
    }
};

QTEST_MAIN(TestPasswordCheck)
#include "tst_passwordcheck.moc"
