// veskel-cli asking for the password on its controlling terminal: a
// pseudo-terminal made the child's, driven from the master side.
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/secretbytes.h"
#include "cipher/strongdocument.h"
#include "cipher/strongformat.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace veskel;

class TestCliTerminal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void promptsWithoutEcho_data();
    void promptsWithoutEcho();
    void interruptRestoresEcho();
    void refusedBeforeAnyPrompt_data();
    void refusedBeforeAnyPrompt();

private:
    void start(const QStringList &args);
    // Reads the master side until the transcript holds text after `from`.
    bool waitFor(const QByteArray &text, qsizetype from = 0);
    // Adds to the transcript whatever the master side holds now.
    void drain();
    bool echoOn() const;

    int m_master = -1;
    int m_slave = -1;
    QByteArray m_transcript;
    QProcess m_process;
    QTemporaryDir m_dir;
};

void TestCliTerminal::init()
{
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        QSKIP("no pseudo-terminals here");
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_transcript.clear();
}

void TestCliTerminal::cleanup()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
    if (m_master >= 0) {
        ::close(m_master);
        ::close(m_slave);
    }
    m_master = m_slave = -1;
}

void TestCliTerminal::start(const QStringList &args)
{
    const int slave = m_slave;
    m_process.setChildProcessModifier([slave] {
        ::setsid();
        ::ioctl(slave, TIOCSCTTY, 0);
    });
    m_process.start(QStringLiteral(VESKEL_CLI_PATH), args);
    QVERIFY(m_process.waitForStarted());
}

void TestCliTerminal::drain()
{
    char chunk[256];
    for (ssize_t n = 0; (n = ::read(m_master, chunk, sizeof chunk)) > 0;) {
        m_transcript.append(chunk, n);
    }
}

bool TestCliTerminal::waitFor(const QByteArray &text, qsizetype from)
{
    const QDeadlineTimer deadline(20000);
    while (m_transcript.indexOf(text, from) < 0 && !deadline.hasExpired()) {
        pollfd pfd = {m_master, POLLIN, 0};
        if (::poll(&pfd, 1, 50) > 0) {
            char chunk[256];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n > 0) {
                m_transcript.append(chunk, n);
            }
        }
    }
    return m_transcript.indexOf(text, from) >= 0;
}

bool TestCliTerminal::echoOn() const
{
    termios mode = {};
    ::tcgetattr(m_master, &mode);
    return (mode.c_lflag & ECHO) != 0;
}

void TestCliTerminal::promptsWithoutEcho_data()
{
    QTest::addColumn<QString>("command"); // and its options
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // on stderr when refused
    const QString encrypt = QStringLiteral("encrypt");
    QTest::newRow("encrypt asks twice")
        << encrypt << QStringList{QStringLiteral("s3cret"), QStringLiteral("s3cret")} << 0
        << QString();
    QTest::newRow("encrypt, answers differ")
        << encrypt << QStringList{QStringLiteral("s3cret"), QStringLiteral("s3cre7")} << 1
        << QStringLiteral("passwords do not match");
    QTest::newRow("decrypt asks once")
        << QStringLiteral("decrypt") << QStringList{QStringLiteral("s3cret")} << 0 << QString();
    QTest::newRow("check --ask-password asks once")
        << QStringLiteral("check") << QStringList{QStringLiteral("s3cret")} << 0 << QString();
    // An empty password is used only when the user says so.
    const QString refused = QStringLiteral("the password is empty and was not used");
    QTest::newRow("empty, y") << encrypt << QStringList{{}, {}, QStringLiteral("y")} << 0
                              << QString();
    QTest::newRow("empty, YES, old format")
        << QStringLiteral("encrypt --old-format") << QStringList{{}, {}, QStringLiteral("YES")} << 0
        << QString();
    QTest::newRow("empty, n") << encrypt << QStringList{{}, {}, QStringLiteral("n")} << 1
                              << refused;
    QTest::newRow("empty, Enter") << encrypt << QStringList{{}, {}, {}} << 1 << refused;
}

void TestCliTerminal::promptsWithoutEcho()
{
    QFETCH(QString, command);
    QFETCH(QStringList, answers);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString doc = m_dir.filePath(QStringLiteral("t.vsk"));
    QFile::remove(doc);
    TCryptoAPI crypto(win::CALG_RC4);
    QVERIFY(crypto.SetPassword(answers.first()));
    const QString armour = crypto.Encrypt(u"the text");
    QStringList args = command.split(u' ');
    const bool encrypt = args.first() == QLatin1String("encrypt");
    const bool oldFormat = args.contains(QStringLiteral("--old-format"));
    if (!encrypt) {
        SaveDocumentFile(doc, armour);
    }
    if (encrypt) {
        args.append(QStringLiteral("-o"));
    }
    args.append(doc);
    if (args.first() == QLatin1String("check")) {
        args.append(QStringLiteral("--ask-password"));
    }
    start(args);
    m_process.write("the text");
    QVERIFY(m_process.waitForBytesWritten());
    m_process.closeWriteChannel();

    const QList<QByteArray> prompts = {
        "Password: ", "Repeat password: ", "The password is empty. Use it? [y/N] "};
    for (qsizetype i = 0; i < answers.size(); ++i) {
        QVERIFY2(waitFor(prompts[i]), m_transcript.constData());
        QCOMPARE(echoOn(), i == 2); // the yes or no is shown
        const QByteArray answer = answers[i].toUtf8() + '\n';
        QCOMPARE(::write(m_master, answer.constData(), answer.size()), ssize_t(answer.size()));
    }
    QVERIFY(m_process.waitForFinished(20000));
    waitFor("\n", m_transcript.lastIndexOf(prompts[answers.size() - 1]));
    QCOMPARE(m_process.exitCode(), code);
    QVERIFY(echoOn());
    QVERIFY2(!m_transcript.contains("s3cre"), m_transcript.constData());
    if (encrypt && code == 0) {
        QFile written(doc);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        if (oldFormat) {
            QCOMPARE(bytes.size(), DocumentFileSize);
            QCOMPARE(QString::fromLatin1(bytes).remove(u'\r').remove(u'\n'),
                     QString(armour).remove(u'\r').remove(u'\n'));
        } else {
            // The password typed is the one the editor derives the key from.
            QString problem;
            const auto file = ParseStrongFile(bytes, problem);
            QVERIFY2(file, qPrintable(problem));
            QByteArray content;
            QVERIFY(OpenStrongDocument(
                *file, DeriveStrongKey(SecretBytes::FromPassword(answers.first()), file->header),
                content));
            QCOMPARE(content, QByteArray("the text"));
        }
    } else if (encrypt) {
        QVERIFY(!QFile::exists(doc));
        QVERIFY(m_process.readAllStandardError().contains(message.toUtf8()));
    } else if (command == QLatin1String("check")) {
        QVERIFY(m_process.readAllStandardOutput().endsWith(
            ": OK, an old-format document (2,500 lines of 80 symbols, 205,000 bytes), and the "
            "password is right\n"));
    } else {
        QCOMPARE(m_process.readAllStandardOutput(), QByteArray("the text"));
    }
}

void TestCliTerminal::interruptRestoresEcho()
{
    const QString doc = m_dir.filePath(QStringLiteral("i.vsk"));
    start({QStringLiteral("encrypt"), QStringLiteral("-o"), doc});
    m_process.closeWriteChannel();
    QVERIFY(waitFor("Password: "));
    QVERIFY(!echoOn());
    QCOMPARE(::write(m_master, "\x03", 1), ssize_t(1)); // Ctrl+C
    QVERIFY(m_process.waitForFinished(20000));
    QCOMPARE(m_process.exitStatus(), QProcess::CrashExit);
    QVERIFY(echoOn());
    QVERIFY(!QFile::exists(doc));
}

// A file that cannot be read or written is refused before the password is
// asked.
void TestCliTerminal::refusedBeforeAnyPrompt_data()
{
    QTest::addColumn<QStringList>("args"); // %D: the test's folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const QString greedy = QStringLiteral("asks for 4096 MiB of memory");
    QTest::newRow("decrypt of a file asking for 4 GiB")
        << QStringList{QStringLiteral("decrypt"), QStringLiteral("%D/greedy.vsk")} << 2 << greedy;
    QTest::newRow("check --ask-password of a file asking for 4 GiB")
        << QStringList{QStringLiteral("check"), QStringLiteral("%D/greedy.vsk"),
                       QStringLiteral("--ask-password")}
        << 2 << greedy;
    QTest::newRow("convert of a strong file")
        << QStringList{QStringLiteral("convert"), QStringLiteral("%D/strong.vsk")} << 5
        << QStringLiteral("already in the strong format");
    QTest::newRow("encrypt of content over 2 MiB")
        << QStringList{QStringLiteral("encrypt"), QStringLiteral("%D/big.txt"),
                       QStringLiteral("-o"), QStringLiteral("%D/big.vsk")}
        << 2 << QStringLiteral("larger than 2 MiB");
    QTest::newRow("decrypt onto its document")
        << QStringList{QStringLiteral("decrypt"), QStringLiteral("%D/strong.vsk"),
                       QStringLiteral("-o"), QStringLiteral("%D/strong.vsk")}
        << 2 << QStringLiteral("is the input file");
}

void TestCliTerminal::refusedBeforeAnyPrompt()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    StrongFile greedy;
    greedy.header.cost = {4u * 1024 * 1024, 3};
    greedy.ciphertext = QByteArray(StrongCiphertextSize(0), 'x');
    const QList<std::pair<QString, QByteArray>> files = {
        {QStringLiteral("greedy.vsk"), FormatStrongFile(greedy)},
        {QStringLiteral("strong.vsk"),
         SealStrongDocument("text", SecretBytes::FromPassword(u"pw"), MinStrongCost)},
        {QStringLiteral("big.txt"), QByteArray(StrongContentLimit + 1, 'b')},
    };
    for (const auto &[name, bytes] : files) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    args.replaceInStrings(QStringLiteral("%D"), m_dir.path());
    start(args);
    m_process.closeWriteChannel();
    QVERIFY(m_process.waitForFinished(20000));
    QCOMPARE(m_process.exitCode(), code);
    QVERIFY(m_process.readAllStandardError().contains(message.toUtf8()));
    drain(); // the program has ended: all it wrote to the terminal is there
    QVERIFY2(m_transcript.isEmpty(), m_transcript.constData());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("big.vsk"))));
}

QTEST_GUILESS_MAIN(TestCliTerminal)
#include "tst_cli_terminal.moc"
