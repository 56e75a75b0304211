// veskel-cli's parts without the binary: the command line, UTF-8 validation,
// the password line from a descriptor and the size limit of inputs.
#include "cli/cliexit.h"
#include "cli/fileio.h"
#include "cli/options.h"
#include "cli/password.h"
#include "cli/utf8.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace veskel::cli;

Q_DECLARE_METATYPE(Command)

namespace {

QList<QByteArray> bytesOf(const QStringList &args)
{
    QList<QByteArray> list;
    for (const QString &arg : args) {
        list.append(arg.toUtf8());
    }
    return list;
}

} // namespace

class TestCliUnits : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { std::signal(SIGPIPE, SIG_IGN); } // the pipe writer outlives the reader
    void parse_data();
    void parse();
    void parseRefuses_data();
    void parseRefuses();
    void utf8_data();
    void utf8();
    void passwordLine_data();
    void passwordLine();
    void passwordLineRefused_data();
    void passwordLineRefused();
    void inputLimit_data();
    void inputLimit();
};

void TestCliUnits::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("force");
    QTest::addColumn<int>("fd");
    QTest::addColumn<bool>("oldFormat");
    const auto row = [](const char *name, const char *line, Command command, const char *input,
                        const char *output, bool force = false, int fd = -1,
                        bool oldFormat = false) {
        QTest::newRow(name) << QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts) << command
                            << QString::fromUtf8(input) << QString::fromUtf8(output) << force << fd
                            << oldFormat;
    };
    row("decrypt", "decrypt f", Command::Decrypt, "f", "");
    row("decrypt to stdout", "decrypt f -o -", Command::Decrypt, "f", "-");
    row("encrypt stdin", "encrypt -o d", Command::Encrypt, "-", "d");
    row("long forms", "encrypt in --output=d --force --password-fd=3", Command::Encrypt, "in", "d",
        true, 3);
    row("options first", "--password-fd 0 decrypt f", Command::Decrypt, "f", "", false, 0);
    row("-- ends options", "decrypt -- -f", Command::Decrypt, "-f", "");
    row("-o joined", "encrypt -od", Command::Encrypt, "-", "d");
    row("-o value with a dash", "encrypt -o -x", Command::Encrypt, "-", "-x");
    row("non-ASCII name", "check d\u00e4\u6587", Command::Check, "d\u00e4\u6587", "");
    row("encrypt --old-format", "encrypt --old-format -o d --force", Command::Encrypt, "-", "d",
        true, -1, true);
    row("convert in place", "convert f --password-fd 3", Command::Convert, "f", "", false, 3);
    row("convert -o", "convert f -o g", Command::Convert, "f", "g");
    row("convert stdin -o", "convert - -o g", Command::Convert, "-", "g");
    row("--help wins", "encrypt --help", Command::Help, "", "");
    row("--version", "--version", Command::Version, "", "");
}

void TestCliUnits::parse()
{
    QFETCH(QStringList, args);
    const Options options = ParseOptions(bytesOf(args));
    QTEST(options.command, "command");
    QTEST(QString::fromUtf8(options.input), "input");
    QTEST(QString::fromUtf8(options.output), "output");
    QTEST(options.force, "force");
    QTEST(options.passwordFd, "fd");
    QTEST(options.oldFormat, "oldFormat");
}

void TestCliUnits::parseRefuses_data()
{
    QTest::addColumn<QList<QByteArray>>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    using L = QList<QByteArray>;
    QTest::newRow("check -o") << L{"check", "f", "-o", "x"} << 1 << "check takes no -o";
    QTest::newRow("decrypt --ask-password")
        << L{"decrypt", "f", "--ask-password"} << 1 << "--ask-password applies to check only";
    QTest::newRow("--ask-password and --password-fd")
        << L{"check", "f", "--ask-password", "--password-fd", "3"} << 1 << "exclude each other";
    QTest::newRow("encrypt -o -") << L{"encrypt", "-o", "-"} << 1 << "-o - is for decrypt only";
    QTest::newRow("convert -o -") << L{"convert", "f", "-o", "-"} << 1
                                  << "-o - is for decrypt only";
    QTest::newRow("convert stdin in place") << L{"convert", "-"} << 1 << "name the document";
    QTest::newRow("convert --force")
        << L{"convert", "f", "--force"} << 1 << "--force applies to encrypt and decrypt only";
    QTest::newRow("convert without FILE") << L{"convert"} << 1 << "convert needs a FILE";
    QTest::newRow("decrypt --old-format")
        << L{"decrypt", "f", "--old-format"} << 1 << "--old-format applies to encrypt only";
    QTest::newRow("fd not a number") << L{"decrypt", "f", "--password-fd", "x3"} << 1 << "not 'x3'";
    QTest::newRow("negative fd") << L{"decrypt", "f", "--password-fd=-1"} << 1 << "not '-1'";
    QTest::newRow("-o twice") << L{"encrypt", "-o", "a", "-o", "b"} << 1 << "more than once";
    QTest::newRow("empty output") << L{"encrypt", "-o", ""} << 1 << "output file name is empty";
    QTest::newRow("empty file") << L{"check", ""} << 1 << "file name is empty";
    // File names are bytes; the other arguments are text.
    QTest::newRow("command not UTF-8") << L{"de\xff"
                                            "crypt",
                                            "f"}
                                       << 2 << "argument 1 is not valid";
    QTest::newRow("option not UTF-8")
        << L{"decrypt", "f", "--password-fd", "\xff"} << 2 << "argument 4 is not valid UTF-8";
}

void TestCliUnits::parseRefuses()
{
    QFETCH(QList<QByteArray>, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    try {
        ParseOptions(args);
        QFAIL("accepted");
    } catch (const CliError &error) {
        QCOMPARE(error.exitCode(), code);
        QVERIFY2(error.message().contains(message), qPrintable(error.message()));
    }
}

void TestCliUnits::utf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("offset");
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("all kinds") << QByteArray("a\xC2\xA0\xE2\x82\xAC\xF0\x9F\x98\x80") << -1;
    QTest::newRow("U+10FFFF") << QByteArray("\xF4\x8F\xBF\xBF") << -1;
    QTest::newRow("lone continuation") << QByteArray("a\x80") << 1;
    QTest::newRow("overlong 2") << QByteArray("\xC0\x80") << 0;
    QTest::newRow("overlong 3") << QByteArray("ab\xE0\x9F\xBF") << 2;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << 0;
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 0;
    QTest::newRow("cut short at the end") << QByteArray("ab\xE2\x82") << 2;
    QTest::newRow("bad third byte") << QByteArray("\xE2\x82(") << 0;
    QTest::newRow("FF after good ones") << QByteArray("\xC2\xA0x\xFF") << 3;
}

void TestCliUnits::utf8()
{
    QFETCH(QByteArray, bytes);
    QTEST(int(FirstInvalidUtf8Offset(bytes)), "offset");
}

void TestCliUnits::passwordLine_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("rest");
    QTest::newRow("LF") << QByteArray("pw\nrest") << "pw" << QByteArray("rest");
    QTest::newRow("CR LF") << QByteArray("pw\r\nrest\r\n") << "pw" << QByteArray("rest\r\n");
    QTest::newRow("empty line") << QByteArray("\n\nrest") << "" << QByteArray("\nrest");
    QTest::newRow("inner CR kept") << QByteArray("a\rb\n") << "a\rb" << QByteArray();
    QTest::newRow("no line end") << QByteArray("p w") << "p w" << QByteArray();
    QTest::newRow("UTF-8") << QByteArray("\xC3\xA4\n") << "\u00e4" << QByteArray();
    QTest::newRow("beyond Latin-1") << QByteArray("\xE2\x82\xAC\n") << "\u20ac" << QByteArray();
}

void TestCliUnits::passwordLine()
{
    QFETCH(QByteArray, stream);
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    QCOMPARE(::write(fds[1], stream.constData(), stream.size()), ssize_t(stream.size()));
    ::close(fds[1]);
    // The password's UTF-8 bytes, as the strong format derives its key from them.
    QTEST(QString::fromUtf8(ReadPasswordFromFd(fds[0]).view()), "password");
    // Nothing after the line was consumed.
    char rest[64] = {};
    const ssize_t n = ::read(fds[0], rest, sizeof rest);
    ::close(fds[0]);
    QTEST(QByteArray(rest, int(n)), "rest");
}

void TestCliUnits::passwordLineRefused_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("code");
    QTest::newRow("ends at once") << QByteArray() << 1;
    QTest::newRow("not UTF-8") << QByteArray("\xE9t\xE9\n") << 2;
    QTest::newRow("longer than the limit") << QByteArray(MaxPasswordBytes + 1, 'p') << 2;
}

void TestCliUnits::passwordLineRefused()
{
    QFETCH(QByteArray, stream);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pw"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stream) == stream.size());
    file.close();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    try {
        ReadPasswordFromFd(fd);
        QFAIL("accepted");
    } catch (const CliError &error) {
        QTEST(error.exitCode(), "code");
    }
    ::close(fd);
}

void TestCliUnits::inputLimit_data()
{
    QTest::addColumn<bool>("fifo");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("complete");
    for (const bool fifo : {false, true}) {
        const char *kind = fifo ? "pipe" : "file";
        QTest::addRow("%s, empty", kind) << fifo << 0 << true;
        QTest::addRow("%s, at the limit", kind) << fifo << 3000000 << true;
        QTest::addRow("%s, a byte over", kind) << fifo << 3000001 << false;
    }
}

void TestCliUnits::inputLimit()
{
    QFETCH(bool, fifo);
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in"));
    const QByteArray data(size, 'd');
    std::thread writer;
    if (fifo) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        writer = std::thread([&] {
            QFile out(path);
            if (out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
                out.write(data); // stops with EPIPE once the reader is done
            }
        });
    } else {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(data) == size);
    }
    SecureBuffer buffer;
    const bool complete = ReadWholeInput(QFile::encodeName(path), 3000000, buffer);
    if (writer.joinable()) {
        writer.join();
    }
    QTEST(complete, "complete");
    if (complete) {
        QCOMPARE(buffer.view(), QByteArrayView(data));
    }
}

QTEST_GUILESS_MAIN(TestCliUnits)
#include "tst_cli_units.moc"
