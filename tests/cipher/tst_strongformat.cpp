// The strong format's test vectors, read from docs/format.md and checked
// against the files kept in tests/data/strong, and the one canonical form
// its reader accepts.
#include "cipher/secretbytes.h"
#include "cipher/strongdocument.h"
#include "cipher/strongformat.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>

using namespace veskel;

namespace {

const QString kSourceRoot = QStringLiteral(VESKEL_TEST_DATA "/../..");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("cannot read %s", qPrintable(path));
        return {};
    }
    return file.readAll();
}

// One fenced "test-vector" block of the format description: "key: value"
// lines; the values of a key given on several lines are joined.
using Vector = QHash<QByteArray, QByteArray>;

QList<Vector> readVectors(const QByteArray &markdown)
{
    QList<Vector> vectors;
    bool inBlock = false;
    for (const QByteArray &raw : markdown.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!inBlock) {
            inBlock = line == "```test-vector";
            if (inBlock) {
                vectors.append(Vector());
            }
            continue;
        }
        if (line == "```") {
            inBlock = false;
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0) {
            vectors.last()[line.left(colon)] += line.mid(colon + 1).trimmed();
        }
    }
    return vectors;
}

template<std::size_t N>
bool fromHex(const QByteArray &hex, std::array<unsigned char, N> &out)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (bytes.size() != qsizetype(N) || bytes.toHex() != hex) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return true;
}

QByteArray withCrLf(QByteArray lf)
{
    return lf.replace("\n", "\r\n");
}

// The file with line index (from 0; negative from the end, -1 being the end
// line) replaced, for a file with LF line ends.
QByteArray withLine(const QByteArray &file, qsizetype index, const QByteArray &line)
{
    QList<QByteArray> lines = file.split('\n');
    lines.removeLast(); // the empty text after the last line end
    lines[index < 0 ? lines.size() + index : index] = line;
    return lines.join('\n') + '\n';
}

QByteArray lineOf(const QByteArray &file, qsizetype index)
{
    QList<QByteArray> lines = file.split('\n');
    lines.removeLast();
    return lines.at(index < 0 ? lines.size() + index : index);
}

QByteArray withoutLine(const QByteArray &file, qsizetype index)
{
    QList<QByteArray> lines = file.split('\n');
    lines.removeAt(index);
    return lines.join('\n');
}

QByteArray replacedOnce(QByteArray text, QByteArrayView from, QByteArrayView to)
{
    const qsizetype at = text.indexOf(from);
    return at < 0 ? QByteArray("<not found>") : text.replace(at, from.size(), to.toByteArray());
}

const QByteArray kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

class TestStrongFormat : public QObject
{
    Q_OBJECT

    QList<Vector> m_vectors;
    // A well-formed file of one bucket at the least costs, with a fixed
    // header and key, for the tests of the form.
    StrongHeader m_header;
    SecretBytes m_key;
    QByteArray m_content = "A short note.\n";
    QByteArray m_file;

private slots:
    void initTestCase()
    {
        QVERIFY(SodiumReady());
        m_vectors = readVectors(readFile(kSourceRoot + QStringLiteral("/docs/format.md")));
        QVERIFY2(m_vectors.size() >= 3, "docs/format.md lists fewer than three test vectors");

        m_header.cost = MinStrongCost;
        for (std::size_t i = 0; i < StrongSaltBytes; ++i) {
            m_header.salt[i] = static_cast<unsigned char>(0xa0 + i);
        }
        for (std::size_t i = 0; i < StrongNonceBytes; ++i) {
            m_header.nonce[i] = static_cast<unsigned char>(0xc0 + i);
        }
        m_key = SecretBytes::FromBytes(QByteArray(StrongKeyBytes, '\x5a'));
        m_file = SealStrongDocument(m_content, m_key, m_header);
    }

    void vectors_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < m_vectors.size(); ++i) {
            QTest::newRow(m_vectors[i].value("name").constData()) << i;
        }
    }
    void vectors()
    {
        QFETCH(int, index);
        const Vector &v = m_vectors[index];

        // The password as typed gives the bytes the description lists.
        const SecretBytes password = SecretBytes::FromPassword(QString::fromUtf8(v["password"]));
        QCOMPARE(password.view().toByteArray().toHex(), v["password-hex"]);

        StrongHeader header;
        header.cost = {v["memory-kib"].toUInt(), v["passes"].toUInt()};
        QCOMPARE(v["lanes"], QByteArray("1"));
        QVERIFY(fromHex(v["salt"], header.salt));
        QVERIFY(fromHex(v["nonce"], header.nonce));
        const QByteArray content = QByteArray::fromHex(v["content-hex"]);
        QCOMPARE(content.size(), v["content-bytes"].toLongLong());

        const SecretBytes key = DeriveStrongKey(password, header);
        QCOMPARE(key.view().toByteArray().toHex(), v["key"]);

        QByteArray sealed = SealStrongDocument(content, key, header);
        if (v["line-end"] == "CR LF") {
            sealed = withCrLf(sealed);
        } else {
            QCOMPARE(v["line-end"], QByteArray("LF"));
        }
        const QByteArray fixture =
            readFile(kSourceRoot + QLatin1Char('/') + QString::fromUtf8(v["file"]));
        QCOMPARE(fixture.size(), v["file-bytes"].toLongLong());
        QCOMPARE(QCryptographicHash::hash(fixture, QCryptographicHash::Sha256).toHex(),
                 v["file-sha256"]);
        QVERIFY2(sealed == fixture, "sealing the vector gave other bytes than its file");
        const QByteArray lf = QByteArray(fixture).replace("\r\n", "\n");
        QCOMPARE(lineOf(lf, 4), v["first-body-line"]);
        QCOMPARE(lineOf(lf, -2), v["last-body-line"]);

        QVERIFY(ClaimsStrongFormat(fixture));
        QString problem;
        const auto file = ParseStrongFile(fixture, problem);
        QVERIFY2(file, qPrintable(problem));
        QCOMPARE(file->header.cost, header.cost);
        QVERIFY(file->header.salt == header.salt && file->header.nonce == header.nonce);
        QByteArray opened;
        QVERIFY(OpenStrongDocument(*file, key, opened));
        QCOMPARE(opened, content);
    }

    void accepted_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<uint>("memoryKiB");
        QTest::addColumn<uint>("passes");
        QTest::addColumn<bool>("opens");
        QTest::newRow("LF, as written") << m_file << 8u << 1u << true;
        QTest::newRow("CR LF copy") << withCrLf(m_file) << 8u << 1u << true;
        // Read, but the header is authenticated: other costs fail to open.
        QTest::newRow("highest costs")
            << withLine(m_file, 1, "argon2id memory-kib=1048576 passes=10 lanes=1") << 1048576u
            << 10u << false;
    }
    void accepted()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(uint, memoryKiB);
        QFETCH(uint, passes);
        QFETCH(bool, opens);
        QString problem;
        const auto file = ParseStrongFile(bytes, problem);
        QVERIFY2(file, qPrintable(problem));
        QVERIFY(problem.isEmpty());
        QCOMPARE(file->header.cost, (StrongCost{memoryKiB, passes}));
        QByteArray content;
        QCOMPARE(OpenStrongDocument(*file, m_key, content), opens);
        QCOMPARE(content, opens ? m_content : QByteArray());
    }

    // Every other spelling is refused by the parse alone, before any key is
    // derived, with a sentence saying why.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        const QByteArray &f = m_file;
        const QString malformed = QStringLiteral("not a well-formed strong document");
        const QByteArray costLine = lineOf(f, 1);
        const QByteArray saltLine = lineOf(f, 2);
        const QByteArray nonceLine = lineOf(f, 3);
        const QByteArray body1 = lineOf(f, 4);
        const QByteArray body2 = lineOf(f, 5);
        const QByteArray lastBody = lineOf(f, -2);
        const qsizetype lineEnd4 = f.indexOf(nonceLine) + nonceLine.size() + 1;

        QTest::newRow("empty") << QByteArray() << "it has no complete line";
        QTest::newRow("cut in the first line") << f.left(10) << "it has no complete line";
        QTest::newRow("first line only") << f.left(f.indexOf('\n') + 1) << "it is cut short";
        QTest::newRow("cut in the salt") << f.left(f.indexOf(saltLine) + 12) << "no line end";
        QTest::newRow("header only") << f.left(lineEnd4) << "it is cut short";
        QTest::newRow("cut after a body line")
            << f.left(lineEnd4 + 3 * (StrongBodyLineLength + 1)) << "its last line is not";
        QTest::newRow("cut in the end line") << f.chopped(6) << "no line end";
        QTest::newRow("no final line end") << f.chopped(1) << "its last line has no line end";
        QTest::newRow("CR LF, no final line end")
            << withCrLf(f).chopped(2) << "its last line has no line end";
        QTest::newRow("one byte appended") << f + 'x' << "its last line has no line end";
        QTest::newRow("empty line appended") << f + '\n' << "its last line is not";
        QTest::newRow("empty line before the end")
            << replacedOnce(f, "\nEND ", "\n\nEND ") << "is not a line of the body";
        QTest::newRow("padding line added")
            << replacedOnce(f, "\nEND ", "\n====\nEND ") << "is not a line of the body";
        QTest::newRow("one CR LF in an LF file")
            << replacedOnce(f, "\nsalt", "\r\nsalt") << "not printable ASCII";
        QTest::newRow("one LF in a CR LF file")
            << replacedOnce(withCrLf(f), body1 + "\r\n", body1 + '\n') << "ends differently";
        QTest::newRow("lone CR line ends")
            << QByteArray(f).replace('\n', '\r') << "no complete line";
        QTest::newRow("byte-order mark") << "\xef\xbb\xbf" + f << "not printable ASCII";

        QTest::newRow("version 2") << withLine(f, 0, "VESKEL-STRONG-DOCUMENT 2")
                                   << "version 2, which this version of Veskel cannot read";
        QTest::newRow("version 3 of another layout")
            << QByteArray("VESKEL-STRONG-DOCUMENT 3\r\nanything\n")
            << "version 3, which this version of Veskel cannot read";
        QTest::newRow("version 01") << withLine(f, 0, "VESKEL-STRONG-DOCUMENT 01") << malformed;
        QTest::newRow("blank after the version")
            << withLine(f, 0, "VESKEL-STRONG-DOCUMENT 1 ") << malformed;
        QTest::newRow("memory 4 GiB")
            << withLine(f, 1, "argon2id memory-kib=4194304 passes=1 lanes=1")
            << "asks for 4096 MiB of memory to open; at most 1024 MiB are allowed";
        QTest::newRow("memory 1 GiB and 1 KiB")
            << withLine(f, 1, "argon2id memory-kib=1048577 passes=1 lanes=1")
            << "asks for 1025 MiB of memory to open; at most 1024 MiB are allowed";
        QTest::newRow("11 passes") << withLine(f, 1, "argon2id memory-kib=8 passes=11 lanes=1")
                                   << "asks for 11 passes of its key derivation; at most 10";
        QTest::newRow("memory below 8 KiB")
            << withLine(f, 1, "argon2id memory-kib=7 passes=1 lanes=1") << "below the least";
        QTest::newRow("no passes")
            << withLine(f, 1, "argon2id memory-kib=8 passes=0 lanes=1") << "below the least";
        QTest::newRow("leading zero in the memory")
            << withLine(f, 1, "argon2id memory-kib=08 passes=1 lanes=1") << "not plain numbers";
        QTest::newRow("leading zero in the passes")
            << withLine(f, 1, "argon2id memory-kib=8 passes=01 lanes=1") << "not plain numbers";
        QTest::newRow("eleven digits")
            << withLine(f, 1, "argon2id memory-kib=10000000008 passes=1 lanes=1")
            << "not plain numbers";
        QTest::newRow("2 lanes") << withLine(f, 1,
                                             QByteArray(costLine).replace("lanes=1", "lanes=2"))
                                 << "does not name Argon2id";
        QTest::newRow("argon2i") << withLine(f, 1,
                                             QByteArray(costLine).replace("argon2id", "argon2i"))
                                 << "does not name Argon2id";
        QTest::newRow("upper-case salt") << withLine(f, 2, "salt " + saltLine.mid(5).toUpper())
                                         << "salt of 32 lower-case hexadecimal digits";
        QTest::newRow("salt one digit short")
            << withLine(f, 2, saltLine.chopped(1)) << "salt of 32 lower-case hexadecimal digits";
        QTest::newRow("upper-case nonce") << withLine(f, 3, "nonce " + nonceLine.mid(6).toUpper())
                                          << "nonce of 48 lower-case hexadecimal digits";

        QTest::newRow("body line of 75")
            << withLine(withLine(f, 4, body1.chopped(1)), 5, body1.right(1) + body2)
            << "line 5 is not a line of the body";
        QTest::newRow("body line of 77")
            << withLine(withLine(f, 4, body1 + body2.left(1)), 5, body2.mid(1))
            << "line 5 is not a line of the body";
        // One bucket and the tag are 65,552 bytes: the last group has one "=".
        const qsizetype pad = lastBody.indexOf('=');
        QByteArray paddingBits = lastBody;
        paddingBits[pad - 1] = kBase64[kBase64.indexOf(lastBody[pad - 1]) ^ 1];
        QTest::newRow("nonzero padding bits")
            << withLine(f, -2, paddingBits) << "not canonical base64";
        QTest::newRow("padding left out")
            << withLine(f, -2, lastBody.left(pad)) << "not canonical base64";
        QTest::newRow("URL-safe symbol")
            << withLine(f, 4, "-" + body1.mid(1)) << "not canonical base64";
        QTest::newRow("padding inside the body")
            << withLine(f, 4, body1.left(30) + '=' + body1.mid(31)) << "not canonical base64";
        QTest::newRow("one padding symbol too many")
            << withLine(f, -2, lastBody.left(pad - 1) + "==") << "not canonical base64";
        QTest::newRow("blank in the body")
            << withLine(f, 4, body1.left(30) + ' ' + body1.mid(31)) << "not canonical base64";
        QTest::newRow("NUL in the body")
            << withLine(f, 4, body1.left(30) + '\0' + body1.mid(31)) << "not printable ASCII";
        QTest::newRow("a body line left out")
            << withoutLine(f, 5) << "its body has a length no save writes";
        const auto withCiphertext = [this](qsizetype size) {
            return FormatStrongFile({m_header, QByteArray(size, '\x33')});
        };
        const qsizetype tag = StrongTagBytes;
        QTest::newRow("a bucket and 3 bytes") << withCiphertext(StrongBucketBytes + 3 + tag)
                                              << "its body has a length no save writes";
        QTest::newRow("no tag") << withCiphertext(StrongBucketBytes)
                                << "its body has a length no save writes";
        QTest::newRow("34 buckets") << withCiphertext(34 * StrongBucketBytes + tag)
                                    << "larger than any strong document can be";
        QTest::newRow("no body") << f.left(lineEnd4) + "END VESKEL-STRONG-DOCUMENT\n"
                                 << "it is cut short";
        QTest::newRow("wrong end line")
            << withLine(f, -1, "END VESKEL-STRONG-DOCUMENT 1") << "its last line is not";
    }
    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        QString said;
        QVERIFY(!ParseStrongFile(bytes, said));
        QVERIFY2(said.contains(problem), qPrintable(said));
    }

    // Whether a file is read as a strong document (or refused) rather than
    // as an old document or shown as text.
    void claims_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("claims");
        QTest::newRow("a strong document") << m_file << true;
        QTest::newRow("a later version") << QByteArray("VESKEL-STRONG-DOCUMENT 7\n") << true;
        QTest::newRow("the name and CR LF") << QByteArray("VESKEL-STRONG-DOCUMENT\r\n") << true;
        QTest::newRow("the name alone") << QByteArray("VESKEL-STRONG-DOCUMENT") << true;
        QTest::newRow("after a byte-order mark")
            << QByteArray("\xEF\xBB\xBFVESKEL-STRONG-DOCUMENT 1\n") << true;
        QTest::newRow("a longer word") << QByteArray("VESKEL-STRONG-DOCUMENTS 1\n") << false;
        QTest::newRow("lower case") << QByteArray("veskel-strong-document 1\n") << false;
        QTest::newRow("blank first") << QByteArray(" VESKEL-STRONG-DOCUMENT 1\n") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("old document")
            << readFile(QStringLiteral(VESKEL_TEST_DATA "/documents/ascii.vsk")) << false;
        // Armour symbols include upper-case letters and "-", but an old
        // document's first line has 80 of them and no blank.
        QTest::newRow("old-style line starting with the name")
            << QByteArray("VESKEL-STRONG-DOCUMENT").leftJustified(80, 'A') + "\r\n"
            << false;
    }
    void claims()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, claims);
        QCOMPARE(ClaimsStrongFormat(bytes), claims);
    }
};

QTEST_MAIN(TestStrongFormat)
#include "tst_strongformat.moc"
