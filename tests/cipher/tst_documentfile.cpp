// Writing document files, atomically, and checking their layout.
#include "cipher/blockcodec.h"
#include "cipher/documentfile.h"
#include "cipher/storability.h"
#include "runtime/exceptions.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace veskel;

namespace {

// Accepts the first `capacity` bytes, then fails every write.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 capacity)
        : m_capacity(capacity)
    {
        open(QIODevice::WriteOnly);
    }
    QByteArray written;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 room = m_capacity - written.size();
        if (room <= 0) {
            return -1;
        }
        const qint64 taken = std::min(room, size);
        written.append(data, taken);
        return taken;
    }

private:
    qint64 m_capacity;
};

QString sampleArmour(quint32 seed)
{
    TBlock block;
    QRandomGenerator random(seed);
    for (std::size_t i = 0; i < BlockSize; ++i) {
        block[i] = static_cast<std::uint8_t>(random.bounded(256));
    }
    block[BlockSize] = 0;
    return EncodeArmour(block);
}

QByteArray readAll(const QString &path)
{
    return veskel::test::ReadAll(path, "<unreadable>");
}

// Limits the size of files this process may write while it lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int);
};

} // namespace

class TestDocumentFile : public QObject
{
    Q_OBJECT

private slots:
    void splitLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF") << QStringLiteral("ab\r\ncd\r\n") << QStringList{"ab", "cd"};
        QTest::newRow("lone CR") << QStringLiteral("ab\rcd") << QStringList{"ab", "cd"};
        QTest::newRow("lone LF") << QStringLiteral("ab\ncd\n") << QStringList{"ab", "cd"};
        QTest::newRow("LF CR is two breaks")
            << QStringLiteral("ab\n\rcd") << QStringList{"ab", "", "cd"};
        QTest::newRow("empty line")
            << QStringLiteral("ab\r\n\r\ncd") << QStringList{"ab", "", "cd"};
        QTest::newRow("no final break") << QStringLiteral("ab") << QStringList{"ab"};
        QTest::newRow("only a break") << QStringLiteral("\r\n") << QStringList{""};
        QTest::newRow("empty") << QString() << QStringList{};
        QTest::newRow("stops at NUL")
            << QString::fromUtf16(u"ab\r\ncd\0ef\r\n", 11) << QStringList{"ab", "cd"};
        QTest::newRow("NUL first") << QString::fromUtf16(u"\0ab", 3) << QStringList{};
    }
    void splitLines()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(SplitArmourLines(text), lines);
    }

    void armourSplitsIntoDocumentLines()
    {
        const QStringList lines = SplitArmourLines(sampleArmour(1));
        QCOMPARE(lines.size(), ArmourLines);
        for (const QString &line : lines) {
            QCOMPARE(line.size(), qsizetype(ArmourSymbolsPerLine));
        }
    }

    void savedFileIsTheArmourBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("note.vsk"));
        QVERIFY(
            veskel::test::WriteAll(path, QByteArray("an older, longer document").repeated(10000)));
        const QString armour = sampleArmour(2);
        SaveDocumentFile(path, armour);
        const QByteArray bytes = readAll(path);
        QCOMPARE(bytes.size(), DocumentFileSize);
        QCOMPARE(bytes, armour.toLatin1()); // no byte-order mark, CR LF kept
        QVERIFY(CheckDocumentLayout(bytes).ok);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"note.vsk"});
    }

    // Whatever line breaks the text has, each line is written with CR LF.
    void linesAreWrittenWithCrLf()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.vsk"));
        SaveDocumentFile(path, QString::fromUtf16(u"ab\ncd\ref\r\n\0gh"));
        QCOMPARE(readAll(path), QByteArray("ab\r\ncd\r\nef\r\n"));
    }

    void deviceFailingPartWay_data()
    {
        QTest::addColumn<qint64>("capacity");
        QTest::newRow("nothing") << qint64(0);
        QTest::newRow("half") << qint64(DocumentFileSize / 2);
        QTest::newRow("all but one byte") << qint64(DocumentFileSize - 1);
    }
    void deviceFailingPartWay()
    {
        QFETCH(qint64, capacity);
        FailingDevice device(capacity);
        try {
            WriteDocumentLines(device, SplitArmourLines(sampleArmour(3)));
            QFAIL("no error for a short write");
        } catch (const EWriteError &error) {
            QCOMPARE(error.message(), QStringLiteral("Stream write error"));
        }
    }

    // A write that fails part-way leaves the old document as it was and no
    // temporary file behind.
    void failedWriteKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("keep.vsk"));
        const QByteArray old = sampleArmour(4).toLatin1();
        QVERIFY(veskel::test::WriteAll(path, old));
        bool raised = false;
        {
            const FileSizeLimit limit(DocumentFileSize / 2);
            try {
                SaveDocumentFile(path, sampleArmour(5));
            } catch (const EWriteError &error) {
                raised = error.message() == QStringLiteral("Stream write error");
            }
        }
        QVERIFY(raised);
        QCOMPARE(readAll(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.vsk"});
    }

    void uncreatableFile_data()
    {
        QTest::addColumn<QString>("relative"); // inside a fresh folder
        QTest::addColumn<QString>("reasonPart");
        QTest::newRow("missing folder")
            << QStringLiteral("no/such/folder/x.vsk") << QStringLiteral("No such file");
        QTest::newRow("folder is a file")
            << QStringLiteral("plain.txt/x.vsk") << QStringLiteral("Not a directory");
        QTest::newRow("target is a folder") << QStringLiteral("sub") << QString();
    }
    void uncreatableFile()
    {
        QFETCH(QString, relative);
        QFETCH(QString, reasonPart);
        QTemporaryDir dir;
        QVERIFY(veskel::test::WriteAll(dir.filePath(QStringLiteral("plain.txt")), "x"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        const QString path = dir.filePath(relative);
        try {
            SaveDocumentFile(path, sampleArmour(6));
            QFAIL("no error");
        } catch (const EFCreateError &error) {
            const QString prefix = QStringLiteral("Cannot create file \"%1\". ").arg(path);
            QVERIFY2(error.message().startsWith(prefix), qPrintable(error.message()));
            QVERIFY2(error.message().size() > prefix.size(), "the system's reason is missing");
            QVERIFY2(error.message().contains(reasonPart), qPrintable(error.message()));
        }
        QCOMPARE(readAll(dir.filePath(QStringLiteral("plain.txt"))), QByteArray("x"));
    }

    void relativePathIsReportedInFull()
    {
        try {
            SaveDocumentFile(QStringLiteral("no-such-folder-here/x.vsk"), sampleArmour(7));
            QFAIL("no error");
        } catch (const EFCreateError &error) {
            QVERIFY2(error.message().startsWith(
                         QStringLiteral("Cannot create file \"%1/no-such-folder-here/x.vsk\". ")
                             .arg(QDir::currentPath())),
                     qPrintable(error.message()));
        }
    }

    void readOnlyFolder()
    {
        if (::geteuid() == 0) {
            QSKIP("root may write into any folder");
        }
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        try {
            SaveDocumentFile(dir.filePath(QStringLiteral("x.vsk")), sampleArmour(8));
            QFAIL("no error");
        } catch (const EFCreateError &error) {
            QVERIFY(error.message().startsWith(QStringLiteral("Cannot create file")));
        }
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The strict layout, and the one that takes any line ends.
    void layout_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("anyLineEnds");
        const QByteArray good = sampleArmour(9).toLatin1();
        QTest::newRow("document") << good << true << 0 << 0 << true;
        QTest::newRow("lowercase is still armour") << good.toLower() << true << 0 << 0 << true;
        QByteArray junk = good;
        junk[2 * 82 + 4] = '=';
        QTest::newRow("junk") << junk << false << 3 << 5 << false;
        QByteArray shortLine = good;
        shortLine.remove(5 * 82 + 10, 1);
        QTest::newRow("short line") << shortLine << false << 6 << 80 << false;
        QByteArray lfOnly = good;
        lfOnly[80] = '\n';
        QTest::newRow("LF LF: an empty line") << lfOnly << false << 1 << 81 << false;
        QTest::newRow("all LF") << QByteArray(good).replace("\r\n", "\n") << false << 1 << 81
                                << true;
        QTest::newRow("all CR") << QByteArray(good).replace("\r\n", "\r") << false << 1 << 82
                                << true;
        QTest::newRow("truncated") << good.left(good.size() - 1) << false << 2500 << 82 << true;
        QTest::newRow("no last line end")
            << good.left(good.size() - 2) << false << 2500 << 81 << true;
        QTest::newRow("missing lines") << good.left(82 * 10) << false << 11 << 1 << false;
        QTest::newRow("extra line") << good + good.left(82) << false << 2501 << 1 << false;
        QTest::newRow("extra line end") << good + "\r\n" << false << 2501 << 1 << false;
        QTest::newRow("empty") << QByteArray() << false << 1 << 1 << false;
        QByteArray noise(10 * 1024 * 1024, '\0');
        QRandomGenerator random(10);
        random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        noise[0] = '!';
        QTest::newRow("10 MB of noise") << noise << false << 1 << 1 << false;
    }
    void layout()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, ok);
        QFETCH(int, line);
        QFETCH(int, column);
        QFETCH(bool, anyLineEnds);
        const DocumentLayoutReport report = CheckDocumentLayout(bytes);
        QCOMPARE(report.ok, ok);
        if (!ok) {
            QCOMPARE(report.line, line);
            QCOMPARE(report.column, column);
            QVERIFY(!report.problem.isEmpty());
        }
        QCOMPARE(HasDocumentLayoutAnyLineEnds(bytes), anyLineEnds);
    }

    void unstorable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("lost");
        QTest::newRow("empty") << QString() << qsizetype(0);
        QTest::newRow("latin-1") << QString::fromUtf16(u"caf\u00E9\r\n") << qsizetype(0);
        QTest::newRow("99,999") << QString(99999, QChar(u'a')) << qsizetype(0);
        QTest::newRow("100,000") << QString(100000, QChar(u'a')) << qsizetype(1);
        QTest::newRow("1,000,000") << QString(1000000, QChar(u'a')) << qsizetype(900001);
        QTest::newRow("two wide") << QString::fromUtf16(u"a\u20ACb\u0141") << qsizetype(2);
        QTest::newRow("surrogate pair") << QString::fromUtf16(u"x\U0001F600") << qsizetype(2);
        QTest::newRow("low byte 0 cuts the rest")
            << QString::fromUtf16(u"ab\u0100cd\u20AC") << qsizetype(4);
        QTest::newRow("object character") << QString::fromUtf16(u"a\uFFFCb") << qsizetype(1);
        QTest::newRow("wide beyond capacity")
            << QString(99999, QChar(u'a')) + QChar(u'\u20AC') << qsizetype(1);
    }
    void unstorable()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, lost);
        QCOMPARE(CountUnstorableCharacters(text), lost);
        QCOMPARE(CanStoreWhole(text), lost == 0);
    }
};

QTEST_APPLESS_MAIN(TestDocumentFile)
#include "tst_documentfile.moc"
