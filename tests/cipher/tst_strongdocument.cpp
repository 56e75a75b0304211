// Sealing and opening strong documents: contents of every size come back
// whole, every save has a fresh salt and nonce, and a changed file or a wrong
// password never yields content.
#include "cipher/secretbytes.h"
#include "cipher/strongdocument.h"
#include "cipher/strongformat.h"
#include "runtime/exceptions.h"

#include <QTest>

#include <sodium.h>
#include <string_view>
#include <unordered_set>

using namespace veskel;

namespace {

// The least costs a reader accepts, so that hundreds of derivations take
// moments, also under a sanitizer.
constexpr StrongCost kTestCost = MinStrongCost;

QByteArray withCrLf(QByteArray lf)
{
    return lf.replace("\n", "\r\n");
}

QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = char('a' + i % 23);
    }
    return bytes;
}

// Every run of 16 bytes of text.
std::unordered_set<std::string_view> windowsOf(const QByteArray &text)
{
    std::unordered_set<std::string_view> windows;
    for (qsizetype i = 0; i + 16 <= text.size(); ++i) {
        windows.emplace(text.constData() + i, 16);
    }
    return windows;
}

bool sharesAWindow(const std::unordered_set<std::string_view> &windows, const QByteArray &text)
{
    for (qsizetype i = 0; i + 16 <= text.size(); ++i) {
        if (windows.count(std::string_view(text.constData() + i, 16)) != 0) {
            return true;
        }
    }
    return false;
}

// From the salt's digits to the end line: what differs between two saves.
QByteArray saltToEnd(const QByteArray &file)
{
    const qsizetype from = file.indexOf("\nsalt ") + 6;
    return file.mid(from, file.lastIndexOf(StrongEndLine) - from);
}

} // namespace

class TestStrongDocument : public QObject
{
    Q_OBJECT

    SecretBytes m_password;
    // The file size of each bucket count seen so far.
    QHash<int, qsizetype> m_sizeOfBuckets;

private slots:
    void initTestCase()
    {
        QVERIFY(SodiumReady());
        m_password = SecretBytes::FromPassword(u"tr\u00e4ger 42");
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("buckets");
        QByteArray binary;
        for (int i = 0; i < 300 * 256; ++i) {
            binary += char(i % 256);
        }
        QTest::newRow("empty") << QByteArray() << 1;
        QTest::newRow("one byte") << QByteArray("x") << 1;
        QTest::newRow("65,535 bytes") << pattern(65535) << 1;
        QTest::newRow("65,536 bytes") << pattern(65536) << 2;
        // Looks like padding itself: the marker and zeros must stay.
        QTest::newRow("ends in 0x80 and zeros")
            << QByteArray("tail\x80", 5) + QByteArray(12, '\0') << 1;
        QTest::newRow("Unicode RTF")
            << QByteArray(
                   "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl{\\f0\\fnil\\fcharset0 "
                   "Sans;}}\n\\pard Price: \\b 120 \\'80\\b0  or 120 \\u8364?\\par\n\\pard "
                   "\\u26481?\\u20140?\\u12398?\\u22825?\\u27671? \\u54620?\\u44544?\\par\n}\n")
            << 1;
        QTest::newRow("UTF-8 text") << QStringLiteral("120 € 東京 🔑\n").toUtf8() << 1;
        QTest::newRow("every byte value") << binary << 2;
        QTest::newRow("the content limit") << pattern(StrongContentLimit) << 33;
    }
    void roundTrip()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, buckets);
        const QByteArray sealed = SealStrongDocument(content, m_password, kTestCost);
        QVERIFY(sealed.size() <= MaxStrongFileBytes());
        QString problem;
        const auto file = ParseStrongFile(sealed, problem);
        QVERIFY2(file, qPrintable(problem));
        QCOMPARE(file->ciphertext.size(), buckets * StrongBucketBytes + qsizetype(StrongTagBytes));
        // The size tells the bucket count, nothing finer.
        QCOMPARE(m_sizeOfBuckets.value(buckets, sealed.size()), sealed.size());
        m_sizeOfBuckets.insert(buckets, sealed.size());

        const SecretBytes key = DeriveStrongKey(m_password, file->header);
        QByteArray opened;
        QVERIFY(OpenStrongDocument(*file, key, opened));
        QCOMPARE(opened.size(), content.size());
        QVERIFY(opened == content);
    }

    void largestFile()
    {
        // At the highest costs and with CR LF, the largest content makes
        // the largest file a reader takes; no key is derived here.
        StrongHeader header = FreshStrongHeader(MaxStrongCost);
        const SecretBytes key = SecretBytes::FromBytes(QByteArray(StrongKeyBytes, '\x01'));
        const QByteArray largest =
            withCrLf(SealStrongDocument(pattern(StrongContentLimit), key, header));
        QCOMPARE(largest.size(), MaxStrongFileBytes());
        QString problem;
        QVERIFY2(ParseStrongFile(largest, problem), qPrintable(problem));

        QVERIFY_THROWS_EXCEPTION(EOutOfResources,
                                 SealStrongDocument(pattern(StrongContentLimit + 1), key, header));
    }

    // Authentic files whose plaintext no save writes: wrong padding, or a
    // content over the limit in the last bucket the reader allows.
    void authenticButNotPadded_data()
    {
        QTest::addColumn<QByteArray>("plaintext");
        QTest::addColumn<bool>("opens");
        QByteArray padded = "abc" + QByteArray(StrongBucketBytes - 3, '\0');
        padded[3] = '\x80';
        QTest::newRow("as a save pads (control)") << padded << true;
        QTest::newRow("zeros only") << QByteArray(StrongBucketBytes, '\0') << false;
        QByteArray notZero = padded;
        notZero[StrongBucketBytes - 1] = '\x01';
        QTest::newRow("a byte after the marker") << notZero << false;
        QTest::newRow("marker a bucket early")
            << padded + QByteArray(StrongBucketBytes, '\0') << false;
        QByteArray overLimit = pattern(33 * StrongBucketBytes);
        overLimit[overLimit.size() - 1] = '\x80';
        QTest::newRow("content over the limit") << overLimit << false;
    }
    void authenticButNotPadded()
    {
        QFETCH(QByteArray, plaintext);
        QFETCH(bool, opens);
        StrongFile file{FreshStrongHeader(kTestCost), {}};
        const SecretBytes key = SecretBytes::FromBytes(QByteArray(StrongKeyBytes, '\x02'));
        const QByteArray associated = StrongAssociatedData(file.header);
        file.ciphertext.resize(plaintext.size() + qsizetype(StrongTagBytes));
        QCOMPARE(crypto_aead_xchacha20poly1305_ietf_encrypt(
                     reinterpret_cast<unsigned char *>(file.ciphertext.data()), nullptr,
                     reinterpret_cast<const unsigned char *>(plaintext.constData()),
                     std::size_t(plaintext.size()),
                     reinterpret_cast<const unsigned char *>(associated.constData()),
                     std::size_t(associated.size()), nullptr, file.header.nonce.data(), key.data()),
                 0);
        QString problem;
        const auto parsed = ParseStrongFile(FormatStrongFile(file), problem);
        QVERIFY2(parsed, qPrintable(problem));
        QByteArray content = "stale";
        QCOMPARE(OpenStrongDocument(*parsed, key, content), opens);
        QCOMPARE(content, opens ? QByteArray("abc") : QByteArray());
    }

    void savesShareNothing()
    {
        const QByteArray text = QByteArray("The same line, saved twice.\n").repeated(3000);
        const QByteArray first = SealStrongDocument(text, m_password, kTestCost);
        const QByteArray second = SealStrongDocument(text, m_password, kTestCost);
        QString problem;
        const auto a = ParseStrongFile(first, problem);
        const auto b = ParseStrongFile(second, problem);
        QVERIFY(a && b);
        QVERIFY(a->header.salt != b->header.salt);
        QVERIFY(a->header.nonce != b->header.nonce);
        QVERIFY(!sharesAWindow(windowsOf(a->ciphertext), b->ciphertext));
        const QByteArray firstText = saltToEnd(first);
        const QByteArray secondText = saltToEnd(second);
        QVERIFY(firstText.size() > 87000 && secondText.size() > 87000);
        QVERIFY(!sharesAWindow(windowsOf(firstText), secondText));
    }

    // Single-bit changes all over a file: every header byte, bytes spread
    // over the body and every byte of the end line. Each must be refused by
    // the parse or by the authentication.
    void everyBitFlipIsRefused()
    {
        const QByteArray content = "A note that must not change unseen.\n";
        const StrongHeader header = FreshStrongHeader(kTestCost);
        const SecretBytes key = DeriveStrongKey(m_password, header);
        const QByteArray sealed = SealStrongDocument(content, key, header);
        const qsizetype headerBytes = StrongAssociatedData(header).size();
        const qsizetype endLine = sealed.lastIndexOf(StrongEndLine);
        QList<qsizetype> offsets;
        for (qsizetype i = 0; i < headerBytes; ++i) {
            offsets.append(i);
        }
        constexpr int kBodyFlips = 400;
        for (int k = 0; k < kBodyFlips; ++k) {
            offsets.append(headerBytes + (endLine - headerBytes) * k / kBodyFlips + k % 7);
        }
        for (qsizetype i = endLine; i < sealed.size(); ++i) {
            offsets.append(i);
        }
        QVERIFY(offsets.size() >= 500);

        int refusedByParse = 0;
        int refusedByOpen = 0;
        for (int n = 0; n < offsets.size(); ++n) {
            QByteArray changed = sealed;
            const int bit = (n * 3) % 8;
            changed[offsets[n]] = char(changed[offsets[n]] ^ (1 << bit));
            QString problem;
            const auto file = ParseStrongFile(changed, problem);
            if (!file) {
                QVERIFY(!problem.isEmpty());
                ++refusedByParse;
                continue;
            }
            // A changed cost or salt makes another key; other changes keep it.
            const bool sameKey =
                file->header.cost == header.cost && file->header.salt == header.salt;
            const SecretBytes otherKey =
                sameKey ? SecretBytes() : DeriveStrongKey(m_password, file->header);
            QByteArray opened = "stale";
            QVERIFY2(!OpenStrongDocument(*file, sameKey ? key : otherKey, opened),
                     qPrintable(
                         QStringLiteral("bit %1 of byte %2 went unseen").arg(bit).arg(offsets[n])));
            QVERIFY(opened.isEmpty());
            ++refusedByOpen;
        }
        QCOMPARE(refusedByParse + refusedByOpen, offsets.size());
        QVERIFY(refusedByParse > 0 && refusedByOpen > 0);
    }

    void wrongPassword_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("another word") << QStringLiteral("Milchkaffee");
        QTest::newRow("other case") << QStringLiteral("caf\u00e9 au lait");
        QTest::newRow("one character less") << QStringLiteral("Caf\u00e9 au lai");
        QTest::newRow("a blank more") << QStringLiteral("Caf\u00e9 au lait ");
        // No Unicode normalisation: the same look, other bytes.
        QTest::newRow("decomposed") << QStringLiteral("Cafe\u0301 au lait");
        QTest::newRow("empty") << QString();
    }
    void wrongPassword()
    {
        QFETCH(QString, password);
        const QByteArray sealed = SealStrongDocument(
            "Meet at noon.", SecretBytes::FromPassword(u"Caf\u00e9 au lait"), kTestCost);
        QString problem;
        const auto file = ParseStrongFile(sealed, problem);
        QVERIFY(file);
        QByteArray opened = "stale";
        QVERIFY(!OpenStrongDocument(
            *file, DeriveStrongKey(SecretBytes::FromPassword(password), file->header), opened));
        QVERIFY(opened.isEmpty());
    }
};

QTEST_MAIN(TestStrongDocument)
#include "tst_strongdocument.moc"
