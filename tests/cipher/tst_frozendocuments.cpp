// Documents written once and kept unchanged in tests/data/documents: each must
// still decrypt to its text, and encrypting that text again must give the
// same file byte for byte.
#include "cipher/blockcodec.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/passwordcheck.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

using namespace veskel;

namespace {

QByteArray readFixture(const QString &name)
{
    QFile file(QStringLiteral(VESKEL_TEST_DATA "/documents/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("cannot read %s", qPrintable(file.fileName()));
        return {};
    }
    return file.readAll();
}

} // namespace

class TestFrozenDocuments : public QObject
{
    Q_OBJECT

private slots:
    void decryptsAndEncryptsTheSame_data()
    {
        // The passwords are also listed in the folder's README.txt.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("length");
        QTest::newRow("ascii") << "ascii"
                               << "plain words" << 93;
        QTest::newRow("latin1") << "latin1" << QString::fromUtf16(u"P\u00e4ssw\u00f6rd \u00a7")
                                << 72;
        QTest::newRow("empty") << "empty"
                               << "nothing here" << 0;
        QTest::newRow("full") << "full-99999"
                              << "the longest text" << 99999;
    }
    void decryptsAndEncryptsTheSame()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(int, length);
        const QByteArray document = readFixture(name + ".vsk");
        const QString text = QString::fromUtf8(readFixture(name + ".txt"));
        QCOMPARE(text.size(), length); // the text file itself is whole
        QVERIFY(CheckDocumentLayout(document).ok);

        TCryptoAPI decrypter(win::CALG_RC4);
        QVERIFY(decrypter.SetPassword(password));
        const QString block = decrypter.Decrypt(QString::fromLatin1(document));
        QCOMPARE(block.size(), qsizetype(BlockSize));
        QCOMPARE(TextBeforeNul(block), text);
        QVERIFY(DecryptedBlockLooksRight(block));

        TCryptoAPI encrypter(win::CALG_RC4);
        QVERIFY(encrypter.SetPassword(password));
        QBuffer written;
        written.open(QIODevice::WriteOnly);
        WriteDocumentLines(written, SplitArmourLines(encrypter.Encrypt(text)));
        QCOMPARE(written.data().size(), document.size());
        QVERIFY2(written.data() == document, "the same text and password gave another file");
    }
};

QTEST_MAIN(TestFrozenDocuments)
#include "tst_frozendocuments.moc"
