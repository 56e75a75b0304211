// veskel-cli end to end: the real binary run with QProcess, the password
// given on a file descriptor.
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/secretbytes.h"
#include "cipher/strongdocument.h"
#include "cipher/strongformat.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace veskel;

namespace {

struct Run
{
    int code = -1; // -1 when the process did not exit normally
    QByteArray out;
    QByteArray err;
};

QByteArray readAll(const QString &path)
{
    return veskel::test::ReadAll(path, "<unreadable>");
}

// The file the editor window writes for this password and text.
QByteArray documentFor(const QString &password, const QString &text)
{
    QTemporaryDir dir;
    TCryptoAPI crypto(win::CALG_RC4);
    if (!crypto.SetPassword(password)) {
        return {};
    }
    SaveDocumentFile(dir.filePath(QStringLiteral("d")), crypto.Encrypt(text));
    return readAll(dir.filePath(QStringLiteral("d")));
}

QString cyclingText(qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        text[i] = QChar(char16_t(1 + i % 255)); // every non-zero byte value
    }
    return text;
}

// The old-format text that convert tests turn into a strong document.
QString convertedText()
{
    return QStringLiteral("Gr\u00fc\u00dfe\r\ncaf\u00e9 \u00ff\u0001 end");
}

// A strong document made here at the least costs, so that opening it is quick.
QByteArray strongFor(const QString &password, const QByteArray &content)
{
    return SealStrongDocument(content, SecretBytes::FromPassword(password), MinStrongCost);
}

// "secret text €" under "right" as a strong document, made once.
const QByteArray &strongSecret()
{
    static const QByteArray document =
        strongFor(QStringLiteral("right"), QStringLiteral("secret text \u20ac").toUtf8());
    return document;
}

// The bytes with the one at offset changed to another letter that is both
// base64 and hexadecimal, so the file stays well formed.
QByteArray changedAt(QByteArray bytes, qsizetype offset)
{
    bytes[offset] = bytes[offset] == 'a' ? 'b' : 'a';
    return bytes;
}

// A strong document whose key derivation asks for 4 GiB of memory.
QByteArray greedyDocument()
{
    StrongFile file;
    file.header.cost = {4u * 1024 * 1024, 3};
    file.ciphertext = QByteArray(StrongCiphertextSize(0), 'x');
    return FormatStrongFile(file);
}

// The costs of a strong document, or none when it is not one.
std::optional<StrongCost> strongCost(const QByteArray &bytes)
{
    QString problem;
    const auto file = ParseStrongFile(bytes, problem);
    return ClaimsStrongFormat(bytes) && file ? std::optional(file->header.cost) : std::nullopt;
}

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A failure is one line on stderr, prefixed, and nothing on stdout.
void verifyOneLineError(const Run &run, const QByteArray &message)
{
    QVERIFY2(run.err.startsWith("veskel-cli: ") && run.err.contains(message), run.err.constData());
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY(run.err.endsWith('\n'));
    QCOMPARE(run.out, QByteArray());
}

// Starts the program in the folder with no limit on core files and the
// descriptor passwordFd as its descriptor 3.
pid_t startWithCoreFiles(const QByteArray &folder, const QList<QByteArray> &args, int passwordFd)
{
    QList<char *> argv;
    for (const QByteArray &arg : args) {
        argv.append(const_cast<char *>(arg.constData()));
    }
    argv.append(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
        if (::chdir(folder.constData()) != 0 || ::setrlimit(RLIMIT_CORE, &unlimited) != 0 ||
            (passwordFd == 3 ? ::fcntl(3, F_SETFD, 0) : ::dup2(passwordFd, 3)) < 0) {
            ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

} // namespace

class TestCliEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void roundTrip_data();
    void roundTrip();
    void strongRoundTrip_data();
    void strongRoundTrip();
    void convert_data();
    void convert();
    void passwords_data();
    void passwords();
    void passwordCheck_data();
    void passwordCheck();
    void lossyText_data();
    void lossyText();
    void failures_data();
    void failures();
    void fullDisk();
    void check_data();
    void check();
    void decryptReadsAsTheEditorDoes_data();
    void decryptReadsAsTheEditorDoes();
    void nonAsciiFileNames();
    void fileNamesThatAreNotText();
    void outputKinds_data();
    void outputKinds();
    void heldDescriptorsAreWrittenAsTheyStand_data();
    void heldDescriptorsAreWrittenAsTheyStand();
    void replacesTheFileALinkLeadsTo();
    void warnsOfPlaintextOthersCanRead_data();
    void warnsOfPlaintextOthersCanRead();
    void noCoreFile();
    void otherAllocators_data();
    void otherAllocators();
    void passwordOnAnotherDescriptor();
    void noTerminal();
    void helpAndVersion();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString dir() const { return m_dir->path(); }
    // Runs veskel-cli with the words of the line (%D: the test's folder).
    Run run(const QString &line, const QByteArray &input = {}, const QStringList &env = {},
            const std::function<void()> &modifier = {}) const
    {
        return runArgs(
            QString(line).replace(QStringLiteral("%D"), dir()).split(u' ', Qt::SkipEmptyParts),
            input, env, modifier);
    }
    static Run runArgs(const QStringList &args, const QByteArray &input = {},
                       const QStringList &env = {}, const std::function<void()> &modifier = {})
    {
        return runProgram(QStringLiteral(VESKEL_CLI_PATH), args, input, env, modifier);
    }
    // Runs the shell script in the test's folder with "$0" set to veskel-cli:
    // for arguments that are not text.
    Run runScript(const QString &script, const QByteArray &input = {}) const
    {
        return runProgram(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), QStringLiteral("cd \"$1\" && ") + script,
                           QStringLiteral(VESKEL_CLI_PATH), dir()},
                          input);
    }
    static Run runProgram(const QString &program, const QStringList &args,
                          const QByteArray &input = {}, const QStringList &env = {},
                          const std::function<void()> &modifier = {});
    QStringList entries() const
    {
        return QDir(dir()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    }

    // Starts the program, waits until /proc/PID/syscall begins with blockedIn,
    // sends SIGSEGV and tells whether the kernel wrote a core file.
    void crashWhileBlocked(const QList<QByteArray> &args, const QByteArray &blockedIn,
                           int passwordFd, bool *dumped) const;
    bool anyCoreFile() const { return !entries().filter(QRegularExpression("^core")).isEmpty(); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

Run TestCliEndToEnd::runProgram(const QString &program, const QStringList &args,
                                const QByteArray &input, const QStringList &env,
                                const std::function<void()> &modifier)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : env) {
        environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    }
    process.setProcessEnvironment(environment);
    if (modifier) {
        process.setChildProcessModifier(modifier);
    }
    process.start(program, args);
    if (!process.waitForStarted()) {
        return {};
    }
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    Run result;
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void TestCliEndToEnd::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("line ends as stored") << QStringLiteral("one\r\ntwo\nthree\rfour\r\n");
    QTest::newRow("Latin-1") << QStringLiteral("caf\u00e9 \u00ff\u0001 \u00a0");
    QTest::newRow("99,999 characters, every byte value") << cyclingText(99999);
}

void TestCliEndToEnd::roundTrip()
{
    QFETCH(QString, text);
    Run r = run(QStringLiteral("encrypt --old-format -o %D/a.vsk --password-fd 0"),
                "pw\n" + text.toUtf8());
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    const QByteArray written = readAll(path(QStringLiteral("a.vsk")));
    QCOMPARE(written.size(), DocumentFileSize);
    QCOMPARE(written, documentFor(QStringLiteral("pw"), text));

    const QList<std::pair<const char *, QByteArray>> decrypts = {
        {"decrypt %D/a.vsk --password-fd=0", "pw\n"},
        {"decrypt %D/a.vsk -o - --password-fd 0", "pw\n"},
        {"decrypt - --password-fd 0", "pw\n" + written}, // the document after the password
    };
    for (const auto &[line, input] : decrypts) {
        r = run(QString::fromUtf8(line), input);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.out, text.toUtf8()); // exactly the text: no newline added
    }
    r = run(QStringLiteral("decrypt %D/a.vsk -o %D/a.txt --password-fd 0"), "pw\n");
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(readAll(path(QStringLiteral("a.txt"))), text.toUtf8());
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(path(QStringLiteral("a.txt"))).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));

    // The decrypted text encrypts to the same file again.
    r = run(QStringLiteral("encrypt %D/a.txt -o %D/b.vsk --old-format --password-fd 0"), "pw\n");
    QCOMPARE(r.code, 0);
    QCOMPARE(readAll(path(QStringLiteral("b.vsk"))), written);
}

// Each row derives two keys at the default costs, about 0.4 s each.
void TestCliEndToEnd::strongRoundTrip_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("onStdin"); // after the password line
    QTest::newRow("text beyond Latin-1")
        << QStringLiteral("120 \u20ac\r\n\u4e2d\u6587 \U0001F600\n").toUtf8() << false;
    QTest::newRow("RTF") << QByteArray("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl\\f0 Arial;}\\f0 "
                                       "120 \\'80 \\u8364? caf\xe9\\par}")
                         << true;
    QTest::newRow("2 MiB, the most") << QByteArray(StrongContentLimit, 'x') << false;
}

void TestCliEndToEnd::strongRoundTrip()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, onStdin);
    const QByteArray passwordLine = QStringLiteral("p\u00e4ssw\u00f6rd \u20ac\n").toUtf8();
    QVERIFY(test::WriteAll(path(QStringLiteral("in.txt")), content));
    Run r =
        onStdin
            ? run(QStringLiteral("encrypt -o %D/s.vsk --password-fd 0"), passwordLine + content)
            : run(QStringLiteral("encrypt %D/in.txt -o %D/s.vsk --password-fd 0"), passwordLine);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.code, 0);
    QVERIFY(strongCost(readAll(path(QStringLiteral("s.vsk")))) == DefaultStrongCost);

    r = run(QStringLiteral("decrypt %D/s.vsk -o %D/out.txt --password-fd 0"), passwordLine);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.code, 0);
    QVERIFY(readAll(path(QStringLiteral("out.txt"))) == content); // byte for byte
    QCOMPARE(modeOf(path(QStringLiteral("out.txt"))), mode_t(0600));
}

void TestCliEndToEnd::convert_data()
{
    // n.vsk is an old-format document under "pw" with mode 0640; s.vsk a
    // strong one. No row may change a file it does not convert.
    QTest::addColumn<QString>("line"); // %D: the test's folder
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("converted"); // the strong file written, if any
    QTest::addColumn<int>("mode");          // its permissions
    const int mask = int(currentUmask());
    const auto row = [](const char *name, const char *line, const QByteArray &input, int code,
                        const char *message, const char *converted = "", int mode = 0) {
        QTest::newRow(name) << QString::fromUtf8(line) << input << code
                            << QString::fromUtf8(message) << QString::fromUtf8(converted) << mode;
    };
    row("in place", "convert %D/n.vsk --password-fd 0", "pw\n", 0, "", "n.vsk", 0640);
    row("to another file", "convert %D/n.vsk -o %D/m.vsk --password-fd 0", "pw\n", 0, "", "m.vsk",
        0640 & ~mask);
    row("onto itself", "convert %D/n.vsk -o %D/./n.vsk --password-fd 0", "pw\n", 0, "", "n.vsk",
        0640);
    row("from standard input", "convert - -o %D/m.vsk --password-fd 0",
        "pw\n" + documentFor(QStringLiteral("pw"), convertedText()), 0, "", "m.vsk", 0666 & ~mask);
    const char *wrong = "the password is wrong; nothing was changed";
    row("wrong password", "convert %D/n.vsk --password-fd 0", "wrong\n", 1, wrong);
    row("wrong password, to another file", "convert %D/n.vsk -o %D/m.vsk --password-fd 0",
        "wrong\n", 1, wrong);
    // Refused before the password is read: reading it would fail.
    const char *strong = "\"%D/s.vsk\" is already in the strong format; nothing was changed";
    row("already strong", "convert %D/s.vsk --password-fd 0", {}, 5, strong);
    row("already strong, to another file", "convert %D/s.vsk -o %D/m.vsk --password-fd 0", {}, 5,
        strong);
    row("not a document", "convert %D/t.txt --password-fd 0", {}, 2,
        "\"%D/t.txt\" is not a document (line 1, column 6: byte 0x20");
}

void TestCliEndToEnd::convert()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QString, converted);
    QFETCH(int, mode);
    const QByteArray old = documentFor(QStringLiteral("pw"), convertedText());
    const QMap<QString, QByteArray> files = {
        {QStringLiteral("n.vsk"), old},
        {QStringLiteral("s.vsk"), strongSecret()},
        {QStringLiteral("t.txt"), "plain text"},
    };
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QVERIFY(test::WriteAll(path(it.key()), it.value()));
    }
    QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("n.vsk"))).constData(), 0640), 0);
    QStringList expectedEntries = entries();
    if (!converted.isEmpty() && !files.contains(converted)) {
        expectedEntries.append(converted);
        expectedEntries.sort();
    }

    const Run r = run(line, input);
    QCOMPARE(r.code, code);
    if (code == 0) {
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.out, QByteArray());
    } else {
        verifyOneLineError(r, message.replace(QStringLiteral("%D"), dir()).toUtf8());
    }
    QCOMPARE(entries(), expectedEntries); // no plaintext nor temporary file left
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (it.key() != converted) {
            QVERIFY2(readAll(path(it.key())) == it.value(), qPrintable(it.key()));
        }
    }
    if (converted.isEmpty()) {
        return;
    }
    QVERIFY(strongCost(readAll(path(converted))) == DefaultStrongCost);
    QCOMPARE(modeOf(path(converted)), mode_t(mode));
    if (converted == QLatin1String("n.vsk")) {
        // The same password opens it, to the old text as UTF-8.
        const Run opened = run(QStringLiteral("decrypt %D/n.vsk --password-fd 0"), "pw\n");
        QCOMPARE(opened.code, 0);
        QCOMPARE(opened.out, convertedText().toUtf8());
    }
}

void TestCliEndToEnd::passwords_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("passwordLine");
    QTest::newRow("empty") << QString() << QByteArray("\n");
    QTest::newRow("CR LF line end") << QStringLiteral("pw") << QByteArray("pw\r\n");
    QTest::newRow("last line without line end") << QStringLiteral("pw") << QByteArray("pw");
    QTest::newRow("non-ASCII") << QStringLiteral("p\u00e4ssw\u00f6rd \u0141")
                               << QStringLiteral("p\u00e4ssw\u00f6rd \u0141\n").toUtf8();
    const QString longPassword = cyclingText(200000).replace(u'\n', u'x').replace(u'\r', u'y');
    QTest::newRow("200,000 characters") << longPassword << longPassword.toUtf8() + '\n';
}

void TestCliEndToEnd::passwords()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, passwordLine);
    QVERIFY(test::WriteAll(path(QStringLiteral("p.txt")), "the text"));
    // The password alone on stdin, the text in a file.
    Run r = run(QStringLiteral("encrypt %D/p.txt -o %D/p.vsk --old-format --password-fd 0"),
                passwordLine);
    QCOMPARE(r.code, 0);
    // An empty password is used as given, with a warning when a document is made.
    QCOMPARE(r.err, password.isEmpty() ? QByteArray("veskel-cli: warning: the password is empty\n")
                                       : QByteArray());
    QCOMPARE(readAll(path(QStringLiteral("p.vsk"))),
             documentFor(password, QStringLiteral("the text")));
    r = run(QStringLiteral("decrypt %D/p.vsk --password-fd 0"), passwordLine);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, QByteArray("the text"));
}

void TestCliEndToEnd::passwordCheck_data()
{
    // w.vsk holds "secret text" under "right"; out.txt holds "precious".
    QTest::addColumn<QString>("line"); // %D: the test's folder
    QTest::addColumn<QByteArray>("passwordLine");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out"); // %D: the test's folder
    QTest::addColumn<QString>("err");
    // What a wrong password decrypts to: the block's bytes under the other key,
    // up to the first zero.
    TCryptoAPI crypto(win::CALG_RC4);
    QVERIFY(crypto.SetPassword(u"wrong"));
    const QString garbage = TextBeforeNul(crypto.Decrypt(
        QString::fromLatin1(documentFor(QStringLiteral("right"), QStringLiteral("secret text")))));
    QVERIFY(!garbage.isEmpty() && !garbage.contains(QStringLiteral("secret")));
    const QString wrong = QStringLiteral("veskel-cli: the password is wrong\n");
    const QString ok = QStringLiteral("%D/w.vsk: OK, an old-format document (2,500 lines of 80 "
                                      "symbols, 205,000 bytes)");
    const auto row = [](const char *name, const char *line, const QByteArray &passwordLine,
                        int code, const QString &out, const QString &err) {
        QTest::newRow(name) << QString::fromUtf8(line) << passwordLine << code << out << err;
    };
    const char *decrypt = "decrypt %D/w.vsk --password-fd 0";
    row("decrypt, right", decrypt, "right\n", 0, QStringLiteral("secret text"), {});
    row("decrypt, right, --force", "decrypt %D/w.vsk --force --password-fd 0", "right\n", 0,
        QStringLiteral("secret text"), {});
    row("decrypt, wrong", decrypt, "wrong\n", 1, {}, wrong);
    row("decrypt -o new file, wrong", "decrypt %D/w.vsk -o %D/new.txt --password-fd 0", "wrong\n",
        1, {}, wrong);
    row("decrypt -o existing file, wrong", "decrypt %D/w.vsk -o %D/out.txt --password-fd 0",
        "wrong\n", 1, {}, wrong);
    row("decrypt, wrong, --force", "decrypt %D/w.vsk --force --password-fd 0", "wrong\n", 0,
        garbage,
        QStringLiteral("veskel-cli: warning: the password check failed (a wrong password, or a "
                       "block not zero-filled after its text); decrypting anyway\n"));
    row("check, no password", "check %D/w.vsk", {}, 0, ok + u'\n', {});
    row("check, right", "check %D/w.vsk --password-fd 0", "right\n", 0,
        ok + QStringLiteral(", and the password is right\n"), {});
    row("check, wrong", "check %D/w.vsk --password-fd 0", "wrong\n", 1, {}, wrong);

    // The same for strong documents (made at the least costs): s.vsk holds
    // "secret text €" under "right", u.vsk under a password beyond Latin-1;
    // body.vsk and salt.vsk are s.vsk with one byte changed.
    const QString secret = QStringLiteral("secret text \u20ac");
    const QString failed = QStringLiteral(
        "veskel-cli: The password is wrong, or the file has been changed since it was saved.\n");
    const QString strongOk = QStringLiteral("%D/s.vsk: OK, a strong document (Argon2id, 8 KiB, "
                                            "1 pass)");
    row("strong: decrypt, right", "decrypt %D/s.vsk --password-fd 0", "right\n", 0, secret, {});
    row("strong: decrypt, after the password on stdin", "decrypt - --password-fd 0",
        "right\n" + strongSecret(), 0, secret, {});
    row("strong: decrypt, password beyond Latin-1", "decrypt %D/u.vsk --password-fd 0",
        QStringLiteral("r\u00edght \u20ac\n").toUtf8(), 0, secret, {});
    row("strong: decrypt, wrong", "decrypt %D/s.vsk --password-fd 0", "wrong\n", 1, {}, failed);
    row("strong: decrypt -o new file, wrong", "decrypt %D/s.vsk -o %D/new.txt --password-fd 0",
        "wrong\n", 1, {}, failed);
    row("strong: decrypt -o existing file, wrong", "decrypt %D/s.vsk -o %D/out.txt --password-fd 0",
        "wrong\n", 1, {}, failed);
    row("strong: decrypt, wrong, --force", "decrypt %D/s.vsk --force --password-fd 0", "wrong\n", 1,
        {}, failed);
    row("strong: decrypt -o new file, a byte of the body changed",
        "decrypt %D/body.vsk -o %D/new.txt --force --password-fd 0", "right\n", 1, {}, failed);
    row("strong: decrypt, a byte of the salt changed", "decrypt %D/salt.vsk --password-fd 0",
        "right\n", 1, {}, failed);
    row("strong: check, no password", "check %D/s.vsk", {}, 0, strongOk + u'\n', {});
    row("strong: check, right", "check %D/s.vsk --password-fd 0", "right\n", 0,
        strongOk + QStringLiteral(", and the password is right\n"), {});
    row("strong: check, wrong", "check %D/s.vsk --password-fd 0", "wrong\n", 1, {}, failed);
    row("strong: check, a byte changed", "check %D/body.vsk --password-fd 0", "right\n", 1, {},
        failed);
}

void TestCliEndToEnd::passwordCheck()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, passwordLine);
    QFETCH(QString, out);
    QVERIFY(test::WriteAll(path(QStringLiteral("w.vsk")),
                           documentFor(QStringLiteral("right"), QStringLiteral("secret text"))));
    QVERIFY(test::WriteAll(path(QStringLiteral("out.txt")), "precious"));
    const QByteArray &strong = strongSecret();
    QVERIFY(test::WriteAll(path(QStringLiteral("s.vsk")), strong));
    QVERIFY(test::WriteAll(path(QStringLiteral("u.vsk")),
                           strongFor(QStringLiteral("r\u00edght \u20ac"),
                                     QStringLiteral("secret text \u20ac").toUtf8())));
    QVERIFY(test::WriteAll(path(QStringLiteral("body.vsk")),
                           changedAt(strong, strong.indexOf('\n', strong.indexOf("nonce ")) + 11)));
    QVERIFY(test::WriteAll(path(QStringLiteral("salt.vsk")),
                           changedAt(strong, strong.indexOf("salt ") + 8)));
    const QStringList before = entries();
    const Run r = run(line, passwordLine);
    QTEST(r.code, "code");
    QCOMPARE(QString::fromUtf8(r.out), out.replace(QStringLiteral("%D"), dir()));
    QTEST(QString::fromUtf8(r.err), "err");
    // No row writes a file: a wrong password neither makes nor changes one.
    QCOMPARE(entries(), before);
    QCOMPARE(readAll(path(QStringLiteral("out.txt"))), QByteArray("precious"));
}

void TestCliEndToEnd::lossyText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lost");
    QTest::addColumn<QString>("stored"); // what decrypt gives after --force
    QTest::newRow("U+0100 ends the text")
        << QStringLiteral("ab\u0100cd") << 3 << QStringLiteral("ab");
    QTest::newRow("above U+00FF keeps its low byte")
        << QStringLiteral("a\u4e2db") << 1 << QStringLiteral("a-b");
    QTest::newRow("surrogate pair") << QStringLiteral("a\U0001F600") << 2 << QStringLiteral("a=");
    QTest::newRow("NUL") << QString::fromUtf8("ab\0cd", 5) << 3 << QStringLiteral("ab");
    QTest::newRow("100,000 characters") << QString(100000, u'y') << 1 << QString(99999, u'y');
    QTest::newRow("1,000,000 characters")
        << QString(1000000, u'z') << 900001 << QString(99999, u'z');
}

void TestCliEndToEnd::lossyText()
{
    QFETCH(QString, text);
    QFETCH(int, lost);
    QFETCH(QString, stored);
    const QString doc = path(QStringLiteral("l.vsk"));
    QVERIFY(test::WriteAll(doc, "precious"));
    const QString encrypt = QStringLiteral("encrypt --old-format -o %D/l.vsk --password-fd 0");

    Run r = run(encrypt, "pw\n" + text.toUtf8());
    QCOMPARE(r.code, 3);
    verifyOneLineError(r, QStringLiteral("%1 character").arg(lost).toUtf8());
    QCOMPARE(readAll(doc), QByteArray("precious"));

    r = run(encrypt + QStringLiteral(" --force"), "pw\n" + text.toUtf8());
    QCOMPARE(r.code, 0);
    QCOMPARE(readAll(doc), documentFor(QStringLiteral("pw"), text));
    r = run(QStringLiteral("decrypt %D/l.vsk --password-fd 0"), "pw\n");
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, stored.toUtf8());
}

void TestCliEndToEnd::failures_data()
{
    // keep.vsk holds "precious" and must still do so afterwards.
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("noKey");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // %D: the test's folder
    const auto row = [](const char *name, const char *line, const QByteArray &input, int code,
                        const char *message, bool noKey = false) {
        QTest::newRow(name) << QString::fromUtf8(line) << input << noKey << code
                            << QString::fromUtf8(message);
    };
    const char *toKeep = "encrypt -o %D/keep.vsk --password-fd 0";
    const char *toKeepOld = "encrypt --old-format -o %D/keep.vsk --password-fd 0";
    row("missing file", "decrypt %D/missing.vsk", {}, 2,
        "Cannot open file \"%D/missing.vsk\". No such file or directory");
    row("a folder", "check %D", {}, 2, "\"%D\". Is a directory");
    row("text file is a folder", "encrypt %D -o %D/keep.vsk --password-fd 0", "pw\n", 2,
        "Is a directory");
    row("unknown option", "encrypt --bogus", {}, 1, "unknown option '--bogus'");
    row("missing -o", "encrypt --password-fd 0", "pw\n", 1, "needs -o FILE");
    row("-o without its value", "decrypt x -o", {}, 1, "-o needs an argument");
    row("extra argument", "check a b", {}, 1, "unexpected argument 'b'");
    row("no command", "", {}, 1, "no command");
    row("--force on check", "check x --force", {}, 1,
        "--force applies to encrypt and decrypt only");
    row("text not UTF-8", toKeep, "pw\nabc\xff", 2, "byte 0xff at offset 3");
    row("offset counts the BOM", toKeep,
        "pw\n\xEF\xBB\xBF"
        "ab\xC0\x80",
        2, "byte 0xc0 at offset 5");
    row("password not UTF-8", toKeep, "p\xe9w\nabc", 2, "password is not valid UTF-8");
    row("no password", toKeep, {}, 1, "no password on file descriptor 0");
    row("closed descriptor", "encrypt -o %D/keep.vsk --password-fd 9", "text", 1,
        "Bad file descriptor");
    row("lossy text", toKeepOld, "pw\n\xe4\xb8\xad", 3, "1 character would be lost");
    row("key cannot be set, encrypt", toKeepOld, "pw\ntext", 4, "Key cannot be set!", true);
    row("content over 2 MiB", "encrypt %D/big.txt -o %D/keep.vsk --password-fd 0", "pw\n", 2,
        "\"%D/big.txt\" is larger than 2 MiB (2097152 bytes), the most a document holds; no file "
        "was written");
    row("--old-format on decrypt", "decrypt %D/doc.vsk --old-format", {}, 1,
        "--old-format applies to encrypt only");
    // Refused before the password is read: reading it would fail.
    const char *greedy =
        "The file asks for 4096 MiB of memory to open; at most 1024 MiB are allowed.";
    row("decrypt of a strong file asking for 4 GiB",
        "decrypt %D/greedy.vsk -o %D/keep.vsk --password-fd 0", {}, 2, greedy);
    row("check of a strong file asking for 4 GiB", "check %D/greedy.vsk --password-fd 0", {}, 2,
        greedy);
    row("key cannot be set, decrypt", "decrypt %D/doc.vsk -o %D/keep.vsk --password-fd 0", "pw\n",
        4, "Key cannot be set!", true);
    row("rich text", "decrypt %D/rich.rtf -o %D/keep.vsk --password-fd 0", "pw\n", 2,
        "rich text, not a document");
    row("larger than 64 MiB", "decrypt %D/huge.vsk --password-fd 0", "pw\n", 2,
        "larger than 64 MiB");
    // An output that is the input would destroy it.
    const char *overDocument =
        "is the input file; writing the decrypted text there would destroy the document, so "
        "nothing was written";
    row("decrypt onto its document", "decrypt %D/doc.vsk -o %D/doc.vsk --password-fd 0", "pw\n", 2,
        overDocument);
    row("decrypt onto a link to its document", "decrypt %D/doc.vsk -o %D/link --password-fd 0",
        "pw\n", 2, overDocument);
    row("encrypt onto its text", "encrypt %D/keep.vsk -o %D/./keep.vsk --password-fd 0", "pw\n", 2,
        "\"%D/keep.vsk\" is the input file; writing the document there would destroy the text, so "
        "nothing was written");
}

void TestCliEndToEnd::failures()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, input);
    QFETCH(bool, noKey);
    QFETCH(int, code);
    QFETCH(QString, message);
    QVERIFY(test::WriteAll(path(QStringLiteral("keep.vsk")), "precious"));
    const QByteArray document = documentFor(QStringLiteral("pw"), {});
    QVERIFY(test::WriteAll(path(QStringLiteral("doc.vsk")), document));
    QVERIFY(QFile::link(path(QStringLiteral("doc.vsk")), path(QStringLiteral("link"))));
    QVERIFY(test::WriteAll(path(QStringLiteral("rich.rtf")), "\xFF\xFE{\\rtf1 plain}"));
    QVERIFY(
        test::WriteAll(path(QStringLiteral("big.txt")), QByteArray(StrongContentLimit + 1, 'b')));
    QVERIFY(test::WriteAll(path(QStringLiteral("greedy.vsk")), greedyDocument()));
    QFile huge(path(QStringLiteral("huge.vsk")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(64) * 1024 * 1024 + 1));
    huge.close();
    const auto entries = [this] {
        return QDir(dir()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    };
    const QStringList before = entries();

    // Without the legacy provider no key can be derived.
    const QStringList env =
        noKey ? QStringList{QStringLiteral("OPENSSL_MODULES=/nonexistent")} : QStringList{};
    // Descriptor 9 is closed whatever the test runner left open.
    const Run r = run(line, input, env, [] { ::close(9); });
    QCOMPARE(r.code, code);
    verifyOneLineError(r, message.replace(QStringLiteral("%D"), dir()).toUtf8());
    QCOMPARE(readAll(path(QStringLiteral("keep.vsk"))), QByteArray("precious"));
    QCOMPARE(readAll(path(QStringLiteral("doc.vsk"))), document);
    QCOMPARE(entries(), before);
}

void TestCliEndToEnd::fullDisk()
{
    const QByteArray mountPoint = QFile::encodeName(dir());
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=100k") != 0) {
        QSKIP("cannot mount a small tmpfs here");
    }
    const auto unmount = qScopeGuard([&] { ::umount(mountPoint.constData()); });
    const auto entries = [this] {
        return QDir(dir()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    };
    Run r = run(QStringLiteral("encrypt --old-format -o %D/x.vsk --password-fd 0"), "pw\ntext");
    QCOMPARE(r.code, 2);
    verifyOneLineError(r, "Stream write error while writing \"" + mountPoint + "/x.vsk\"");
    QCOMPARE(entries(), QStringList());

    // 99,999 characters U+00E9 decrypt to 199,998 bytes of UTF-8: too many.
    QTemporaryDir elsewhere;
    const QString source = elsewhere.filePath(QStringLiteral("big.vsk"));
    QVERIFY(test::WriteAll(source, documentFor(QStringLiteral("pw"), QString(99999, u'\u00e9'))));
    r = runArgs({QStringLiteral("decrypt"), source, QStringLiteral("-o"), path(QStringLiteral("y")),
                 QStringLiteral("--password-fd"), QStringLiteral("0")},
                "pw\n");
    QCOMPARE(r.code, 2);
    verifyOneLineError(r, "No space left on device");
    QCOMPARE(entries(), QStringList());
}

void TestCliEndToEnd::check_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    const QByteArray good = documentFor(QStringLiteral("pw"), QStringLiteral("text"));
    const qsizetype lineLength = 82;
    QByteArray lowered = good;
    for (qsizetype i = 4 * lineLength; i < 5 * lineLength; ++i) {
        lowered[i] = char(QChar::toLower(char16_t(uchar(lowered[i]))));
    }
    QByteArray junk = good;
    junk.replace(6 * lineLength, 18, "this is not armour");
    QByteArray random(10 * 1000 * 1000, Qt::Uninitialized);
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);

    QTest::newRow("good") << good << 0 << QStringLiteral(": OK, an old-format document (");
    // Lowercase symbols are symbols too: the layout holds, the content differs.
    QTest::newRow("line lowercased") << lowered << 0 << QStringLiteral(": OK");
    QTest::newRow("truncated") << good.left(1000) << 2
                               << QStringLiteral("line 13, column 17 (byte offset 1000): the "
                                                 "file ends after 1000 bytes");
    QTest::newRow("junk line") << junk << 2
                               << QStringLiteral("line 7, column 5 (byte offset 496): byte 0x20");
    QTest::newRow("LF line ends") << QByteArray(good).replace("\r\n", "\n") << 2
                                  << QStringLiteral("line 1, column 81 (byte offset 80): byte "
                                                    "0x0a where CR belongs");
    QTest::newRow("a byte more") << good + '\n' << 2 << QStringLiteral("(byte offset 205000)");
    QTest::newRow("empty") << QByteArray() << 2 << QStringLiteral("ends after 0 bytes");
    QTest::newRow("10 MB random") << random << 2 << QStringLiteral("is not a document: line 1,");
    const QByteArray strong = strongSecret();
    const QString strongOk = QStringLiteral(": OK, a strong document (Argon2id, 8 KiB, 1 pass)\n");
    QTest::newRow("strong") << strong << 0 << strongOk;
    QTest::newRow("strong, CR LF line ends")
        << QByteArray(strong).replace("\n", "\r\n") << 0 << strongOk;
    QTest::newRow("strong, cut short")
        << strong.left(strong.lastIndexOf("END")) << 2
        << QStringLiteral(": The file is not a well-formed strong document: its last line is not");
    QTest::newRow("strong, mixed line ends")
        << QByteArray(strong).replace("\n", "\r\n").chopped(2) + '\n'
        << 2 << QStringLiteral("ends differently from the first");
    QTest::newRow("strong, version 2")
        << QByteArray(strong).replace("DOCUMENT 1\n", "DOCUMENT 2\n") << 2
        << QStringLiteral("a strong document of version 2, which this version");
    QTest::newRow("strong, 4 GiB of memory")
        << greedyDocument() << 2
        << QStringLiteral(": The file asks for 4096 MiB of memory to open; at most 1024 MiB are "
                          "allowed.");
}

void TestCliEndToEnd::check()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString file = path(QStringLiteral("c.vsk"));
    QVERIFY(test::WriteAll(file, bytes));
    const Run r = run(QStringLiteral("check %D/c.vsk"));
    QCOMPARE(r.code, code);
    if (code == 0) {
        QCOMPARE(r.err, QByteArray());
        QVERIFY(r.out.startsWith((file + message).toUtf8()));
    } else {
        verifyOneLineError(r, message.toUtf8());
    }
}

void TestCliEndToEnd::decryptReadsAsTheEditorDoes_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<bool>("warned");
    QTest::newRow("as written") << QByteArray() << QByteArray("\r\n") << false;
    QTest::newRow("UTF-16LE mark skipped") << QByteArray("\xFF\xFE") << QByteArray("\r\n") << false;
    QTest::newRow("LF line ends") << QByteArray() << QByteArray("\n") << true;
    QTest::newRow("one long line") << QByteArray() << QByteArray() << true;
}

void TestCliEndToEnd::decryptReadsAsTheEditorDoes()
{
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, lineEnd);
    QFETCH(bool, warned);
    const QString text = QStringLiteral("Zeile 1\r\nZeile 2 \u00e4");
    QVERIFY(
        test::WriteAll(path(QStringLiteral("v.vsk")),
                       prefix + documentFor(QStringLiteral("pw"), text).replace("\r\n", lineEnd)));
    const Run r = run(QStringLiteral("decrypt %D/v.vsk --password-fd 0"), "pw\n");
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, text.toUtf8());
    QCOMPARE(r.err.contains("warning: "), warned);
}

void TestCliEndToEnd::nonAsciiFileNames()
{
    const QString doc = path(QStringLiteral("Dokument \u00e4 \u6587.vsk"));
    const QString plain = path(QStringLiteral("Text \u00f6.txt"));
    const QStringList fd0 = {QStringLiteral("--password-fd"), QStringLiteral("0")};
    QCOMPARE(runArgs(QStringList{QStringLiteral("encrypt"), QStringLiteral("--old-format"),
                                 QStringLiteral("-o"), doc} +
                         fd0,
                     "pw\ntext")
                 .code,
             0);
    QCOMPARE(runArgs(QStringList{QStringLiteral("decrypt"), doc, QStringLiteral("-o"), plain} + fd0,
                     "pw\n")
                 .code,
             0);
    QCOMPARE(readAll(plain), QByteArray("text"));
    const Run r = runArgs({QStringLiteral("check"), doc});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.startsWith(doc.toUtf8() + ": OK"));
}

void TestCliEndToEnd::passwordOnAnotherDescriptor()
{
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    QCOMPARE(::write(fds[1], "pw on 3\n", 8), ssize_t(8));
    ::close(fds[1]);
    const Run r = run(QStringLiteral("encrypt --old-format -o %D/fd.vsk --password-fd 3"),
                      "text on stdin", {}, [&] { ::dup2(fds[0], 3); });
    ::close(fds[0]);
    QCOMPARE(r.code, 0);
    QCOMPARE(readAll(path(QStringLiteral("fd.vsk"))),
             documentFor(QStringLiteral("pw on 3"), QStringLiteral("text on stdin")));
}

void TestCliEndToEnd::noTerminal()
{
    // A new session has no controlling terminal.
    const Run r = run(QStringLiteral("encrypt -o %D/t.vsk"), "text", {}, [] { ::setsid(); });
    QCOMPARE(r.code, 1);
    verifyOneLineError(r, "no terminal");
    QVERIFY(!QFile::exists(path(QStringLiteral("t.vsk"))));
}

void TestCliEndToEnd::fileNamesThatAreNotText()
{
    // Byte 0xFF is never UTF-8; such names are still file names.
    const QByteArray text = QFile::encodeName(dir()) + "/in\xFF.txt";
    const int fd = ::open(text.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "text", 4), ssize_t(4));
    ::close(fd);
    const auto name = [](const char *stem) {
        return QStringLiteral("\"$(printf '%1')\"").arg(stem);
    };
    Run r = runScript(QStringLiteral("exec \"$0\" encrypt --old-format %1 -o %2 --password-fd 0")
                          .arg(name("in\\377.txt"), name("doc\\377.vsk")),
                      "pw\n");
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.code, 0);
    r = runScript(QStringLiteral("exec \"$0\" decrypt %1 -o %2 --password-fd 0")
                      .arg(name("doc\\377.vsk"), name("out\\377.txt")),
                  "pw\n");
    QCOMPARE(r.code, 0);
    QFile out;
    const int outFd = ::open((QFile::encodeName(dir()) + "/out\xFF.txt").constData(), O_RDONLY);
    QVERIFY(outFd >= 0 && out.open(outFd, QIODevice::ReadOnly, QFile::AutoCloseHandle));
    QCOMPARE(out.readAll(), QByteArray("text"));
    r = runScript(QStringLiteral("exec \"$0\" check %1").arg(name("doc\\377.vsk")));
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains(": OK"), r.out.constData());
}

void TestCliEndToEnd::outputKinds_data()
{
    QTest::addColumn<bool>("encrypt");
    QTest::addColumn<QString>("target"); // made in the test's folder unless a path
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // %D: the test's folder
    for (const bool encrypt : {false, true}) {
        const char *command = encrypt ? "encrypt" : "decrypt";
        QTest::addRow("%s into a FIFO", command) << encrypt << "fifo" << 0 << QString();
        QTest::addRow("%s into /dev/stdout, a pipe", command)
            << encrypt << "/dev/stdout" << 0 << QString();
        QTest::addRow("%s onto a folder", command)
            << encrypt << "folder" << 2
            << QStringLiteral("Cannot create file \"%D/folder\". Is a directory");
        QTest::addRow("%s onto a socket", command)
            << encrypt << "socket" << 2
            << QStringLiteral("Cannot create file \"%D/socket\". It is a socket;");
    }
}

void TestCliEndToEnd::outputKinds()
{
    QFETCH(bool, encrypt);
    QFETCH(QString, target);
    QFETCH(int, code);
    QFETCH(QString, message);
    QVERIFY(test::WriteAll(path(QStringLiteral("in.txt")), "text"));
    const QByteArray document = documentFor(QStringLiteral("pw"), QStringLiteral("text"));
    QVERIFY(test::WriteAll(path(QStringLiteral("doc.vsk")), document));
    const QString output = target.startsWith(u'/') ? target : path(target);
    const QByteArray outputName = QFile::encodeName(output);
    int reader = -1;
    int socketFd = -1;
    const auto closeAll = qScopeGuard([&] {
        ::close(reader);
        ::close(socketFd);
    });
    if (target == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(outputName.constData(), 0600), 0);
        reader = ::open(outputName.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        // Room for a whole document, so the writer never waits for the reader.
        QVERIFY(reader >= 0 && ::fcntl(reader, F_SETPIPE_SZ, 1 << 20) >= document.size());
    } else if (target == QLatin1String("folder")) {
        QVERIFY(QDir(dir()).mkdir(target));
    } else if (target == QLatin1String("socket")) {
        socketFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        QVERIFY(outputName.size() < qsizetype(sizeof address.sun_path));
        std::copy(outputName.begin(), outputName.end(), address.sun_path);
        QCOMPARE(::bind(socketFd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    }
    struct stat before = {};
    QCOMPARE(::stat(outputName.constData(), &before), 0);
    const QStringList entriesBefore = entries();

    QStringList args = {encrypt ? QStringLiteral("encrypt") : QStringLiteral("decrypt"),
                        path(encrypt ? QStringLiteral("in.txt") : QStringLiteral("doc.vsk")),
                        QStringLiteral("-o"),
                        output,
                        QStringLiteral("--password-fd"),
                        QStringLiteral("0")};
    if (encrypt) {
        args.append(QStringLiteral("--old-format")); // its bytes are known beforehand
    }
    const Run r = runArgs(args, "pw\n");
    QCOMPARE(r.code, code);
    if (code == 0) {
        QCOMPARE(r.err, QByteArray());
        QByteArray received = r.out;
        char chunk[65536];
        for (ssize_t n = 0; reader >= 0 && (n = ::read(reader, chunk, sizeof chunk)) > 0;) {
            received.append(chunk, n);
        }
        QCOMPARE(received, encrypt ? document : QByteArray("text"));
    } else {
        verifyOneLineError(r, message.replace(QStringLiteral("%D"), dir()).toUtf8());
    }
    // The same file is still there, of the same kind; nothing was added.
    struct stat after = {};
    QCOMPARE(::stat(outputName.constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(entries(), entriesBefore);
}

// A path that names a descriptor the shell opened for appending is appended
// to, not replaced: what the file held stays, and so does the shell's hold.
void TestCliEndToEnd::heldDescriptorsAreWrittenAsTheyStand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("decrypt -o /dev/stdout >> log")
        << "\"$0\" decrypt doc.vsk -o /dev/stdout --password-fd 0 >> log" << QByteArray("text");
    QTest::newRow("encrypt -o /dev/fd/3 3>> log")
        << "\"$0\" encrypt --old-format in.txt -o /dev/fd/3 --password-fd 0 3>> log"
        << documentFor(QStringLiteral("pw"), QStringLiteral("text"));
    // Any other spelling of a held descriptor's file is written through it too.
    QTest::newRow("decrypt -o /dev/./stdout >> log")
        << "\"$0\" decrypt doc.vsk -o /dev/./stdout --password-fd 0 >> log" << QByteArray("text");
    QTest::newRow("encrypt -o a link to /dev/stdout >> log")
        << "ln -s /dev/stdout out && \"$0\" encrypt --old-format in.txt -o out --password-fd 0 "
           ">> log"
        << documentFor(QStringLiteral("pw"), QStringLiteral("text"));
    QTest::newRow("decrypt -o /proc/PID/fd/1 >> log")
        << "sh -c 'exec \"$0\" decrypt doc.vsk -o /proc/$$/fd/1 --password-fd 0' \"$0\" >> log"
        << QByteArray("text");
    QTest::newRow("decrypt -o log >> log")
        << "\"$0\" decrypt doc.vsk -o log --password-fd 0 >> log" << QByteArray("text");
}

void TestCliEndToEnd::heldDescriptorsAreWrittenAsTheyStand()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, written);
    QVERIFY(test::WriteAll(path(QStringLiteral("in.txt")), "text"));
    QVERIFY(test::WriteAll(path(QStringLiteral("doc.vsk")),
                           documentFor(QStringLiteral("pw"), QStringLiteral("text"))));
    QVERIFY(test::WriteAll(path(QStringLiteral("log")), "before\n"));
    const Run r = runScript(QStringLiteral("exec 4>> log && ") + command +
                                QStringLiteral(" && echo after >&4"),
                            "pw\n");
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(readAll(path(QStringLiteral("log"))), "before\n" + written + "after\n");
}

void TestCliEndToEnd::replacesTheFileALinkLeadsTo()
{
    QVERIFY(test::WriteAll(path(QStringLiteral("doc.vsk")),
                           documentFor(QStringLiteral("pw"), QStringLiteral("new"))));
    const QString file = path(QStringLiteral("out.txt"));
    QVERIFY(test::WriteAll(file, "old"));
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    QVERIFY(QFile::link(file, path(QStringLiteral("link"))));
    QVERIFY(QFile::link(path(QStringLiteral("nowhere")), path(QStringLiteral("dangling"))));
    const QStringList before = entries();

    Run r = run(QStringLiteral("decrypt %D/doc.vsk -o %D/link --password-fd 0"), "pw\n");
    QCOMPARE(r.code, 0);
    QVERIFY(QFileInfo(path(QStringLiteral("link"))).isSymLink());
    QCOMPARE(readAll(file), QByteArray("new"));
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0640)); // kept
    // A link to nothing is neither replaced nor followed.
    r = run(QStringLiteral("decrypt %D/doc.vsk -o %D/dangling --password-fd 0"), "pw\n");
    QCOMPARE(r.code, 2);
    verifyOneLineError(r, "It is a symbolic link to a file that does not exist");
    QCOMPARE(entries(), before);
}

void TestCliEndToEnd::warnsOfPlaintextOthersCanRead_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("warned");
    QTest::newRow("644") << 0644 << true;
    QTest::newRow("640") << 0640 << true;
    QTest::newRow("604") << 0604 << true;
    QTest::newRow("620") << 0620 << false;
    QTest::newRow("600") << 0600 << false;
}

// Decrypted text replacing a file others can read keeps its mode, with a
// warning that names it.
void TestCliEndToEnd::warnsOfPlaintextOthersCanRead()
{
    QFETCH(int, mode);
    QFETCH(bool, warned);
    QVERIFY(test::WriteAll(path(QStringLiteral("doc.vsk")),
                           documentFor(QStringLiteral("pw"), QStringLiteral("text"))));
    const QString file = path(QStringLiteral("out.txt"));
    QVERIFY(test::WriteAll(file, "old"));
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(mode)), 0);
    const Run r = run(QStringLiteral("decrypt %D/doc.vsk -o %D/out.txt --password-fd 0"), "pw\n");
    QCOMPARE(r.code, 0);
    QCOMPARE(readAll(file), QByteArray("text"));
    QCOMPARE(modeOf(file), mode_t(mode));
    const QByteArray warning = "veskel-cli: warning: \"" + QFile::encodeName(file) +
                               "\" is readable by others (mode " + QByteArray::number(mode, 8) +
                               "); the decrypted text is now in it\n";
    QCOMPARE(r.err, warned ? warning : QByteArray());
}

void TestCliEndToEnd::crashWhileBlocked(const QList<QByteArray> &args, const QByteArray &blockedIn,
                                        int passwordFd, bool *dumped) const
{
    const pid_t pid = startWithCoreFiles(QFile::encodeName(dir()), args, passwordFd);
    QVERIFY(pid > 0);
    int status = 0;
    bool reaped = false;
    const auto reap = qScopeGuard([&] {
        if (!reaped) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(
        readAll(QStringLiteral("/proc/%1/syscall").arg(pid)).startsWith(blockedIn), 20000);
    QCOMPARE(::kill(pid, SIGSEGV), 0);
    QCOMPARE(::waitpid(pid, &status, 0), pid);
    reaped = true;
    QVERIFY(WIFSIGNALED(status));
    // A sanitizer build reports the fault and then aborts.
    QVERIFY2(WTERMSIG(status) == SIGSEGV || WTERMSIG(status) == SIGABRT,
             qPrintable(QString::number(WTERMSIG(status))));
    *dumped = WCOREDUMP(status);
}

// An allocator preloaded in place of the C library's: the freed-memory
// wiping hands every block back to it.
void TestCliEndToEnd::otherAllocators_data()
{
    QTest::addColumn<QString>("library");
    QTest::newRow("jemalloc") << QStringLiteral(VESKEL_PRELOAD_JEMALLOC);
    QTest::newRow("tcmalloc") << QStringLiteral(VESKEL_PRELOAD_TCMALLOC);
}

void TestCliEndToEnd::otherAllocators()
{
    QFETCH(QString, library);
    if (library.isEmpty()) {
        QSKIP("not installed");
    }
    const QStringList env{QStringLiteral("LD_PRELOAD=") + library};
    Run r =
        run(QStringLiteral("encrypt --old-format -o %D/a.vsk --password-fd 0"), "pw\nnote", env);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    r = run(QStringLiteral("decrypt %D/a.vsk --password-fd 0"), "pw\n", env);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.out, QByteArray("note"));
}

void TestCliEndToEnd::noCoreFile()
{
    if (::geteuid() != 0) {
        QSKIP("only root may watch a process that is not dumpable");
    }
    QVERIFY(test::WriteAll(path(QStringLiteral("x.vsk")),
                           documentFor(QStringLiteral("pw"), QStringLiteral("secret"))));
    int fds[2];
    QCOMPARE(::pipe2(fds, O_CLOEXEC), 0); // nobody writes the password
    const auto closePipe = qScopeGuard([&] {
        ::close(fds[0]);
        ::close(fds[1]);
    });

    // A control that keeps no secrets shows whether this machine writes cores.
    bool dumped = false;
    crashWhileBlocked({"/bin/sleep", "600"}, QByteArray::number(SYS_clock_nanosleep) + ' ', fds[0],
                      &dumped);
    if (QTest::currentTestFailed()) {
        return;
    }
    if (!dumped) {
        QSKIP("this machine writes no core files at all");
    }
    QVERIFY(anyCoreFile());
    for (const QString &core : entries().filter(QRegularExpression("^core"))) {
        QVERIFY(QFile::remove(path(core)));
    }

    // veskel-cli waiting for the password on descriptor 3, the document read.
    crashWhileBlocked({VESKEL_CLI_PATH, "decrypt", "x.vsk", "--password-fd", "3"},
                      QByteArray::number(SYS_read) + " 0x3 ", fds[0], &dumped);
    if (QTest::currentTestFailed()) {
        return;
    }
    QVERIFY(!dumped);
    QVERIFY(!anyCoreFile());
}

void TestCliEndToEnd::helpAndVersion()
{
    Run r = run(QStringLiteral("--help"));
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.startsWith("Usage: veskel-cli decrypt"));
    r = run(QStringLiteral("--version"));
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("veskel-cli " VESKEL_VERSION "\n"));
}

QTEST_GUILESS_MAIN(TestCliEndToEnd)
#include "tst_cli_e2e.moc"
