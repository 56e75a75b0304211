// A crash after DisableCoreDumps() leaves no core file, even when the user
// raised the core limit; the same crash without it does (the control).
#include "runtime/coredump.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

class TestCoreDump : public QObject
{
    Q_OBJECT

private slots:
    void crash_data();
    void crash();
};

void TestCoreDump::crash_data()
{
    QTest::addColumn<bool>("disable");
    QTest::newRow("control: dumps allowed") << false;
    QTest::newRow("dumps disabled") << true;
}

void TestCoreDump::crash()
{
    QFETCH(bool, disable);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray folder = QFile::encodeName(dir.path());

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // As a user with `ulimit -c unlimited` would start the program (a
        // bounded limit keeps a sanitizer build's core small).
        const rlimit allowed{256 << 20, 256 << 20};
        if (chdir(folder.constData()) != 0 || setrlimit(RLIMIT_CORE, &allowed) != 0) {
            _exit(3);
        }
        if (disable && (!veskel::DisableCoreDumps() || veskel::CoreDumpsEnabled())) {
            _exit(4);
        }
        std::signal(SIGABRT, SIG_DFL);
        raise(SIGABRT);
        _exit(5);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFSIGNALED(status),
             qPrintable(QStringLiteral("child exit %1").arg(WEXITSTATUS(status))));
    QCOMPARE(WTERMSIG(status), SIGABRT);
    const QStringList cores = QDir(dir.path()).entryList({QStringLiteral("core*")}, QDir::Files);
    if (disable) {
        QVERIFY(!WCOREDUMP(status));
        QVERIFY2(cores.isEmpty(), qPrintable(cores.join(u' ')));
    } else if (!WCOREDUMP(status)) {
        QSKIP("this system writes no core files, so the control cannot show one");
    }
}

QTEST_GUILESS_MAIN(TestCoreDump)
#include "tst_coredump.moc"
