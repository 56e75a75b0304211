// The real veskel program in a private X server, driven through its windows.
#include "support/dialogtitles.h"
#include "support/files.h"
#include "xsession.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

using veskel::test::XSession;
using namespace veskel::test::title;

namespace {

const QString kProgram = QStringLiteral(VESKEL_PATH);
const QString kCli = QStringLiteral(VESKEL_CLI_PATH);

// veskel-cli with the password on its standard input; its standard output.
QByteArray cli(const QStringList &arguments, const QByteArray &input, int *exitCode = nullptr)
{
    QProcess process;
    process.start(kCli, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    if (exitCode != nullptr) {
        *exitCode = process.exitCode();
    }
    return process.readAllStandardOutput();
}

// The companion writes the strong format unless told otherwise.
bool writeDocument(const QString &path, const QByteArray &text, bool strong = false)
{
    int code = -1;
    QStringList arguments{"encrypt", "-o", path, "--password-fd", "0"};
    if (!strong) {
        arguments << "--old-format";
    }
    cli(arguments, "pw\n" + text, &code);
    return code == 0;
}

QByteArray decrypted(const QString &path, const QByteArray &password = "pw")
{
    return cli({"decrypt", path, "--password-fd", "0"}, password + "\n");
}

// The program under test; killed if it is still running at the end.
class Program
{
public:
    // Programs in the folder's "bin", if there is one, come first on the PATH.
    Program(const XSession &x, const QTemporaryDir &dir, const QStringList &arguments,
            const QString &executable = kProgram)
    {
        QDir(dir.path()).mkpath("runtime");
        QFile::setPermissions(dir.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = x.environment(dir.filePath("runtime"));
        if (QFileInfo(dir.filePath("bin")).isDir()) {
            env.insert("PATH", dir.filePath("bin") + ":" + env.value("PATH"));
        }
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.setWorkingDirectory(dir.path());
        m_process.start(executable, arguments);
        m_process.waitForStarted(10000);
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // The exit code, or -1 when it has not ended within the time.
    int waitForExit(int timeoutMs = 10000)
    {
        // It may have ended already, while the test waited on something else.
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(timeoutMs)) {
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    void signal(int number) const { ::kill(pid_t(m_process.processId()), number); }

private:
    QProcess m_process;
};

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<XSession> m_x;

    // The program's question boxes carry its title; keys answer them.
    void answerQuestion(const QString &keys)
    {
        const QString box = m_x->waitForWindow(Exactly(kMessageBox));
        QVERIFY(!box.isEmpty());
        m_x->key(box, keys);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(Exactly(kMessageBox), 10).isEmpty(), 5000);
    }

    // Types the password into its prompt and presses Return: the main window,
    // once its title shows `path` and the prompt has gone; empty if not.
    QString enterPassword(const QString &path, const QString &password)
    {
        const QString prompt = m_x->waitForWindow(Exactly(kPassword));
        if (prompt.isEmpty()) {
            return {};
        }
        m_x->type(prompt, password);
        m_x->key(prompt, "Return");
        const QString main = m_x->waitForWindow(Exactly(Main(path)));
        const bool gone = QTest::qWaitFor(
            [this] { return m_x->waitForWindow(Exactly(kPassword), 10).isEmpty(); }, 5000);
        return gone ? main : QString();
    }

    void typeNewPassword(const QString &first, const QString &again)
    {
        const QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->type(prompt, first);
        m_x->key(prompt, "Return");
        const QString second = m_x->waitForWindow(Exactly(kPasswordAgain));
        QVERIFY(!second.isEmpty());
        m_x->type(second, again);
        m_x->key(second, "Return");
    }

private slots:
    void init()
    {
        m_x = std::make_unique<XSession>();
        QVERIFY2(m_x->ready(), "Xvfb or openbox did not start");
    }
    void cleanup() { m_x.reset(); }

    // Open from the command line, then Exit without an edit: nothing is
    // asked again and the file stays as it was.
    void openThenExitUnchanged()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("note.vsk");
        QVERIFY(writeDocument(path, "Hello\r\nworld"));
        const QByteArray before = veskel::test::ReadAll(path);
        QElapsedTimer sinceStart;
        sinceStart.start();
        Program program(*m_x, dir, {path});
        const QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        qInfo("start-to-prompt: %lld ms", sinceStart.elapsed());
        m_x->type(prompt, "pw");
        m_x->key(prompt, "Return");
        const QString main = m_x->waitForWindow(Exactly(Main(path)));
        QVERIFY(!main.isEmpty());
        m_x->key(main, "alt+f x");
        QCOMPARE(program.waitForExit(), 0);
        QCOMPARE(veskel::test::ReadAll(path), before);
    }

    // An edit, then Exit: Save, and the password is asked again and the
    // file written.
    void editThenExitSaves()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("edit.vsk");
        QVERIFY(writeDocument(path, "body"));
        Program program(*m_x, dir, {path});
        const QString main = enterPassword(path, "pw");
        QVERIFY(!main.isEmpty());
        m_x->type(main, "new ");
        m_x->key(main, "alt+f x");
        answerQuestion("Return"); // Save, the default
        QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->key(prompt, "Return"); // the box still holds the password
        QCOMPARE(program.waitForExit(), 0);
        QCOMPARE(veskel::test::ReadAll(path).size(), 205000);
        QCOMPARE(decrypted(path), QByteArray("new body"));
    }

    // Save As through the file dialog writes exactly the bytes veskel-cli
    // writes for the same text and password.
    void saveAsMatchesTheCompanion()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("saved.vsk");
        Program program(*m_x, dir, {});
        const QString main = m_x->waitForWindow(Exactly(Main()));
        QVERIFY(!main.isEmpty());
        m_x->type(main, "typed in the window");
        m_x->key(main, "alt+f a");
        const QString dialog = m_x->waitForWindow(Exactly(kSaveAs));
        QVERIFY(!dialog.isEmpty());
        m_x->type(dialog, path);
        m_x->key(dialog, "Return");
        typeNewPassword("pw", "pw");
        QVERIFY(!m_x->waitForWindow(Exactly(Main(path))).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(veskel::test::ReadAll(path).size(), 205000, 5000);
        const QString other = dir.filePath("other.vsk");
        QVERIFY(writeDocument(other, "typed in the window"));
        QCOMPARE(veskel::test::ReadAll(path), veskel::test::ReadAll(other));
        m_x->key(main, "alt+f x"); // unchanged since the save: nothing asked
        QCOMPARE(program.waitForExit(), 0);
    }

    // Edit > Paste Special... pastes the copied text unformatted and Edit >
    // Object embeds a file; the object cannot be stored in the document, so
    // Save As asks first and, agreed, writes the text.
    void objectCommands()
    {
        QTemporaryDir dir;
        const QString attachment = dir.filePath("attachment.txt");
        {
            QFile file(attachment);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("attached bytes");
        }
        const QString path = dir.filePath("objects.vsk");
        Program program(*m_x, dir, {});
        const QString main = m_x->waitForWindow(Exactly(Main()));
        QVERIFY(!main.isEmpty());
        m_x->type(main, "ab");
        m_x->key(main, "ctrl+a ctrl+c End");
        m_x->key(main, "alt+e s");
        const QString paste = m_x->waitForWindow(Exactly(kPasteSpecial));
        QVERIFY(!paste.isEmpty());
        m_x->key(paste, "alt+a");
        m_x->type(paste, "Unformatted");
        m_x->key(paste, "Return");
        QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(Exactly(kPasteSpecial), 10).isEmpty(), 5000);

        m_x->key(main, "alt+e o");
        const QString insert = m_x->waitForWindow(Exactly(kInsertObject));
        QVERIFY(!insert.isEmpty());
        m_x->key(insert, "alt+f alt+i");
        m_x->type(insert, attachment);
        m_x->key(insert, "Return");
        QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(Exactly(kInsertObject), 10).isEmpty(), 5000);

        m_x->key(main, "alt+f a");
        const QString dialog = m_x->waitForWindow(Exactly(kSaveAs));
        QVERIFY(!dialog.isEmpty());
        m_x->type(dialog, path);
        m_x->key(dialog, "Return");
        typeNewPassword("pw", "pw");
        const QString question = m_x->waitForWindow(Exactly(kMessageBox));
        QVERIFY(!question.isEmpty());
        m_x->key(question, "alt+o"); // Save in the old format
        QTRY_COMPARE_WITH_TIMEOUT(veskel::test::ReadAll(path).size(), 205000, 5000);
        const QByteArray text = decrypted(path);
        QVERIFY2(text.startsWith("abab") && text.size() > 4, text.constData());
        m_x->key(main, "alt+f x");
        QCOMPARE(program.waitForExit(), 0);
    }

    // Open, Cancel at the password: the window is as it was, untitled, and
    // Exit asks nothing.
    void cancelledOpen()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("cancel.vsk");
        QVERIFY(writeDocument(path, "secret"));
        const QByteArray before = veskel::test::ReadAll(path);
        Program program(*m_x, dir, {path});
        const QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->key(prompt, "alt+c");
        const QString main = m_x->waitForWindow(Exactly(Main(QString())));
        QVERIFY(!main.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(Exactly(kPassword), 10).isEmpty(), 5000);
        m_x->key(main, "alt+f x");
        QCOMPARE(program.waitForExit(), 0);
        QCOMPARE(veskel::test::ReadAll(path), before);
    }

    // Two documents open in turn; the second stays.
    void twoDocuments()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath("first doc.vsk");
        const QString second = dir.filePath("second.vsk");
        QVERIFY(writeDocument(first, "one"));
        QVERIFY(writeDocument(second, "two"));
        Program program(*m_x, dir, {first, second});
        QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->type(prompt, "pw");
        m_x->key(prompt, "Return");
        // The first document takes the title, then the second asks for its
        // password and takes the title in turn.
        QVERIFY(!m_x->waitForWindow(Exactly(Main(first))).isEmpty());
        prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->key(prompt, "Return"); // the same password again
        const QString main = m_x->waitForWindow(Exactly(Main(second)));
        QVERIFY(!main.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(Exactly(kPassword), 10).isEmpty(), 5000);
        // Exit writes nothing: both were opened unchanged.
        const QByteArray before = veskel::test::ReadAll(second);
        m_x->key(main, "alt+f x");
        QCOMPARE(program.waitForExit(), 0);
        QCOMPARE(veskel::test::ReadAll(second), before);
    }

    // A missing first document stops the rest: the error names it, and the
    // second is not opened. The error box carries the program's title, taken
    // from the executable's name.
    void missingDocumentStopsTheRest_data()
    {
        QTest::addColumn<QString>("executableName");
        QTest::addColumn<QString>("title");
        QTest::newRow("veskel") << "" << kMessageBox;
        QTest::newRow("renamed") << "NOTES.EXE"
                                 << "Notes";
    }
    void missingDocumentStopsTheRest()
    {
        QFETCH(QString, executableName);
        QFETCH(QString, title);
        QTemporaryDir dir;
        QString executable = kProgram;
        if (!executableName.isEmpty()) {
            executable = dir.filePath(executableName);
            QVERIFY(QFile::copy(kProgram, executable));
            QFile::setPermissions(executable,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QString missing = dir.filePath("missing.vsk");
        const QString second = dir.filePath("second.vsk");
        QVERIFY(writeDocument(second, "two"));
        Program program(*m_x, dir, {missing, second}, executable);
        const QString box = m_x->waitForWindow(Exactly(title));
        QVERIFY(!box.isEmpty());
        m_x->key(box, "Return");
        // The failed open left the window as it was: no path.
        QVERIFY(!m_x->waitForWindow(Exactly(Main(QString()))).isEmpty());
        QVERIFY(m_x->waitForWindow(Exactly(kPassword), 1500).isEmpty());
        QVERIFY(program.running());
    }

    // --help and --version print and end without a window; "--" ends the
    // options, so that a file may be named --help.
    void startOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("printed"); // empty: the window opens
        QTest::newRow("--help") << QStringList{"--help"} << "Usage: veskel [FILE...]\n";
        QTest::newRow("--version") << QStringList{"--version"} << "veskel " VESKEL_VERSION "\n";
        QTest::newRow("a file named --help") << QStringList{"--", "--help"} << QString();
    }
    void startOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, printed);
        QTemporaryDir dir;
        QVERIFY(writeDocument(dir.filePath("--help"), "text"));
        if (printed.isEmpty()) {
            Program program(*m_x, dir, arguments);
            QVERIFY(!m_x->waitForWindow(Exactly(kPassword)).isEmpty()); // the document's
            return;
        }
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(kProgram, arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardError(), QByteArray());
        QVERIFY(QString::fromUtf8(process.readAllStandardOutput()).startsWith(printed));
    }

    // A name that is not UTF-8 is refused: its text would name another file
    // (here one that exists, holding another document).
    void undecodableNameIsRefused()
    {
        QTemporaryDir dir;
        const QString lookalike = dir.filePath(QString::fromUtf16(u"caf\uFFFD.vsk"));
        QVERIFY(writeDocument(lookalike, "another document"));
        const QByteArray before = veskel::test::ReadAll(lookalike);
        // The shell passes the Latin-1 bytes of "café.vsk" as they are.
        Program program(*m_x, dir, {"-c", "exec \"$0\" \"$(printf 'caf\\351.vsk')\"", kProgram},
                        "/bin/sh");
        const QString box = m_x->waitForWindow(Exactly(kMessageBox));
        QVERIFY(!box.isEmpty());
        m_x->key(box, "Return");
        QVERIFY(!m_x->waitForWindow(Exactly(Main(QString()))).isEmpty());
        QVERIFY(m_x->waitForWindow(Exactly(kPassword), 1500).isEmpty());
        QCOMPARE(veskel::test::ReadAll(lookalike), before);
        QVERIFY(program.running());
    }

    // A close whose save fails (the document's folder was removed) shows the
    // error and the program keeps running with the text.
    void unwritablePathKeepsRunning()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("gone"));
        const QString path = dir.filePath("gone/x.vsk");
        QVERIFY(writeDocument(path, "text"));
        Program program(*m_x, dir, {path});
        const QString main = enterPassword(path, "pw");
        QVERIFY(!main.isEmpty());
        QVERIFY(QDir(dir.filePath("gone")).removeRecursively());
        m_x->type(main, "more ");
        m_x->key(main, "alt+f x");
        answerQuestion("Return");
        const QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->type(prompt, "pw");
        m_x->key(prompt, "Return");
        const QString box = m_x->waitForWindow(Exactly(kMessageBox));
        QVERIFY(!box.isEmpty());
        m_x->key(box, "Return");
        QTRY_VERIFY_WITH_TIMEOUT(m_x->waitForWindow(Exactly(kMessageBox), 10).isEmpty(), 5000);
        QCOMPARE(program.waitForExit(1000), -1); // still running
        QVERIFY(!m_x->waitForWindow(Exactly(Main(path)), 1000).isEmpty());
    }

    // The password dialog's first showing: its frame is centred over the main
    // window's frame, under a window manager that adds the frames.
    void passwordDialogCentredOverMainWindow()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("note.vsk");
        QVERIFY(writeDocument(path, "text"));
        Program program(*m_x, dir, {path});
        const QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        const QString main = m_x->waitForWindow(Exactly(Main(QString()))); // opened, not yet shown
        QVERIFY(!main.isEmpty());
        QVERIFY(m_x->frameOf(main).isValid());
        QRect outer;
        // Both frames are read again each time: the window manager may still
        // be framing or placing either window.
        const auto offCentre = [&] {
            const QRect over = m_x->frameOf(main);
            outer = m_x->frameOf(prompt);
            const QPoint centred(over.x() + (over.width() - outer.width()) / 2,
                                 over.y() + (over.height() - outer.height()) / 2);
            return outer.topLeft() - QPoint(std::max(centred.x(), 0), std::max(centred.y(), 0));
        };
        QTRY_COMPARE_WITH_TIMEOUT(offCentre(), QPoint(0, 0), 5000);
        QVERIFY2(outer.height() > 100, "the dialog has no title bar");
        m_x->key(prompt, "Escape");
    }

    // Save As opens wide enough for the detail view's columns, a full date
    // included, at the screen's resolution, and within the screen.
    void fileDialogShowsItsColumns_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::newRow("96 dpi") << 96;
        QTest::newRow("144 dpi") << 144;
    }
    void fileDialogShowsItsColumns()
    {
        QFETCH(int, dpi);
        m_x.reset(); // one server at a time
        m_x = std::make_unique<XSession>(dpi);
        QVERIFY(m_x->ready());
        QTemporaryDir dir;
        const QByteArray locale = qgetenv("LC_ALL");
        qputenv("LC_ALL", "C"); // dates as "28 Dec 2000 23:58:58"
        Program program(*m_x, dir, {});
        locale.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", locale);
        const QString main = m_x->waitForWindow(Exactly(Main(QString())));
        QVERIFY(!main.isEmpty());
        m_x->key(main, "alt+f a");
        const QString dialog = m_x->waitForWindow(Exactly(kSaveAs));
        QVERIFY(!dialog.isEmpty());
        const QString info = m_x->run("xwininfo", {"-id", dialog});
        const int width = QRegularExpression("Width: (\\d+)").match(info).captured(1).toInt();
        // At 96 dpi, in the default 9-point face, about 650 pixels: the
        // sidebar with the margins and the splitter's handle 116; the name,
        // size and type columns as the toolkit sizes them 255 + 63 + 64; the
        // date 140; the view's frame and scroll bar 16.
        QVERIFY2(width >= 650 * dpi / 96, qPrintable(QString::number(width)));
        QTRY_VERIFY_WITH_TIMEOUT(QRect(0, 0, 1024, 768).contains(m_x->frameOf(dialog)), 5000);
        m_x->key(dialog, "Escape");
    }

    // The window and the password dialog carry the program's icon in the
    // usual sizes, from the program itself, not only from a desktop entry.
    void windowsCarryTheProgramIcon()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("note.vsk");
        QVERIFY(writeDocument(path, "text"));
        Program program(*m_x, dir, {path});
        const QString prompt = m_x->waitForWindow(Exactly(kPassword));
        const QString main = m_x->waitForWindow(Exactly(Main(QString())));
        for (const QString &id : {main, prompt}) {
            QVERIFY(!id.isEmpty());
            const QString icon = m_x->run("xprop", {"-id", id, "_NET_WM_ICON"});
            for (const char *size : {"(16 x 16)", "(48 x 48)", "(128 x 128)"}) {
                QVERIFY2(icon.contains(QLatin1String(size)), size);
            }
        }
        m_x->key(prompt, "Escape");
    }

    // Unsaved text is never dropped by a close: Cancel keeps the window,
    // Discard closes; New starts an untitled document, so closing never
    // touches the file that was open.
    void closeAndNewKeepNotes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.vsk");
        QVERIFY(writeDocument(path, "journal"));
        const QByteArray before = veskel::test::ReadAll(path);
        Program program(*m_x, dir, {path});
        const QString main = enterPassword(path, "pw");
        QVERIFY(!main.isEmpty());
        m_x->key(main, "ctrl+n");
        QVERIFY(!m_x->waitForWindow(Exactly(Main(QString()))).isEmpty());
        m_x->type(main, "a second note");
        m_x->key(main, "alt+f x");
        answerQuestion("Escape"); // Cancel
        QCOMPARE(program.waitForExit(500), -1);
        m_x->key(main, "alt+f x");
        answerQuestion("alt+d"); // Discard
        QCOMPARE(program.waitForExit(), 0);
        QCOMPARE(veskel::test::ReadAll(path), before);
    }

    // A wrong password shows nothing and is asked again; giving up leaves
    // the window untitled and Exit writes nothing.
    void wrongPasswordShowsNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("locked.vsk");
        QVERIFY(writeDocument(path, "the real text"));
        const QByteArray before = veskel::test::ReadAll(path);
        Program program(*m_x, dir, {path});
        QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->type(prompt, "pq");
        m_x->key(prompt, "Return");
        answerQuestion("Return"); // "The password is wrong." OK
        prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->key(prompt, "alt+c");
        const QString main = m_x->waitForWindow(Exactly(Main(QString())));
        QVERIFY(!main.isEmpty());
        m_x->key(main, "alt+f x");
        QCOMPARE(program.waitForExit(), 0);
        QCOMPARE(veskel::test::ReadAll(path), before);
    }

    // A strong document: a mistyped password is refused and asked again,
    // and Ctrl+S writes the document back in its own format, with its
    // password asked once.
    void strongDocumentKeepsItsFormat()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("strong.vsk");
        QVERIFY(writeDocument(path, "body", true));
        Program program(*m_x, dir, {path});
        QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->type(prompt, "pq");
        m_x->key(prompt, "Return");
        answerQuestion("Return"); // "The password is wrong, or the file has been changed ..."
        const QString main = enterPassword(path, "pw");
        QVERIFY(!main.isEmpty());
        m_x->type(main, "new ");
        m_x->key(main, "ctrl+s");
        prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->type(prompt, "pw");
        m_x->key(prompt, "Return");
        QTRY_VERIFY_WITH_TIMEOUT(decrypted(path).contains("new body"), 10000);
        QVERIFY(veskel::test::ReadAll(path).startsWith("VESKEL-STRONG-DOCUMENT 1\n"));
        QVERIFY(decrypted(path).startsWith("{\\rtf1"));
        m_x->key(main, "alt+f x"); // unchanged since the save: nothing asked
        QCOMPARE(program.waitForExit(), 0);
    }

    // Ctrl+S writes the document under its password; a close whose password
    // is cancelled keeps the window and the file; a new password mistyped
    // the second time writes nothing.
    void saveKeysAndPasswords()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("saved.vsk");
        QVERIFY(writeDocument(path, "body"));
        Program program(*m_x, dir, {path});
        const QString main = enterPassword(path, "pw");
        QVERIFY(!main.isEmpty());
        m_x->type(main, "new ");
        m_x->key(main, "ctrl+s");
        QString prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->key(prompt, "Return"); // its own password: asked once
        QTRY_COMPARE_WITH_TIMEOUT(decrypted(path), QByteArray("new body"), 5000);
        const QByteArray saved = veskel::test::ReadAll(path);

        m_x->type(main, "more ");
        m_x->key(main, "alt+f x");
        answerQuestion("Return"); // Save
        prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->key(prompt, "alt+c");
        QCOMPARE(program.waitForExit(500), -1);
        QCOMPARE(veskel::test::ReadAll(path), saved);

        const QString other = dir.filePath("other.vsk");
        m_x->key(main, "alt+f a");
        const QString dialog = m_x->waitForWindow(Exactly(kSaveAs));
        QVERIFY(!dialog.isEmpty());
        m_x->type(dialog, other);
        m_x->key(dialog, "Return");
        typeNewPassword("pw2", "pw3");
        answerQuestion("Return"); // "The passwords do not match."
        prompt = m_x->waitForWindow(Exactly(kPassword));
        QVERIFY(!prompt.isEmpty());
        m_x->key(prompt, "alt+c");
        QVERIFY(m_x->waitForWindow(Exactly(Main(path)), 2000) == main);
        QVERIFY(!QFile::exists(other));
        m_x->key(main, "alt+f x");
        answerQuestion("alt+d"); // Discard
        QCOMPARE(program.waitForExit(), 0);
        QCOMPARE(veskel::test::ReadAll(path), saved);
    }

    // A right click on a link, held as a hand holds it, opens the link (the
    // desktop's opener, here a stand-in that records its argument) and no
    // menu takes the release.
    void rightClickOpensLink()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("bin"));
        const QString opened = dir.filePath("opened.txt");
        QFile opener(dir.filePath("bin/xdg-open"));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write(QString("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\n").arg(opened).toUtf8());
        opener.close();
        opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Program program(*m_x, dir, {});
        const QString main = m_x->waitForWindow(Exactly(Main(QString())));
        QVERIFY(!main.isEmpty());
        const QString url = "http://example.com/a-long-enough-link-to-click";
        for (int line = 0; line < 6; ++line) { // links from the menu bar down
            m_x->type(main, url + " ");
            m_x->key(main, "Return");
        }
        m_x->xdotool({"mousemove", "--window", main, "60", "60"});
        m_x->xdotool({"mousedown", "3", "sleep", "0.3", "mouseup", "3"});
        QTRY_COMPARE_WITH_TIMEOUT(veskel::test::ReadAll(opened), url.toUtf8(), 5000);
        QVERIFY(program.running());
    }

    // Text copied from the document tells clipboard managers to keep no
    // history of it (x-kde-passwordManagerHint: secret); a copy another
    // program made since then is not cleared when the program ends.
    void copiedTextIsSecret()
    {
        const QString othersCopy = QStringLiteral("someone else's text");
        QTemporaryDir dir;
        const auto clipboard = [this](const QString &target) {
            QStringList arguments{"-o", "-selection", "clipboard"};
            if (!target.isEmpty()) {
                arguments << "-t" << target;
            }
            return m_x->run("xclip", arguments);
        };
        Program program(*m_x, dir, {});
        const QString main = m_x->waitForWindow(Exactly(Main(QString())));
        QVERIFY(!main.isEmpty());
        m_x->type(main, "private words");
        m_x->key(main, "ctrl+a ctrl+c");
        QTRY_COMPARE_WITH_TIMEOUT(clipboard({}), QString("private words"), 5000);
        QVERIFY(clipboard("TARGETS").split(u'\n').contains("x-kde-passwordManagerHint"));
        QCOMPARE(clipboard("x-kde-passwordManagerHint"), QString("secret"));
        // The selection made with Ctrl+A is the X11 selection too.
        QVERIFY(m_x->run("xclip", {"-o", "-selection", "primary", "-t", "TARGETS"})
                    .split(u'\n')
                    .contains("x-kde-passwordManagerHint"));
        QFile copy(dir.filePath("copy.txt"));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(othersCopy.toUtf8());
        copy.close();
        // xclip stays behind as the clipboard's owner until the server ends.
        m_x->run("xclip", {"-selection", "clipboard", "-i", copy.fileName()});
        QTRY_COMPARE_WITH_TIMEOUT(clipboard({}), othersCopy, 5000);
        m_x->key(main, "alt+f x");
        answerQuestion("alt+d"); // Discard
        QCOMPARE(program.waitForExit(), 0);
        QCOMPARE(clipboard({}), othersCopy);
    }

    // A crash while a document is open writes no core file, although the
    // user allowed them; the same crash of a shell in that folder does.
    void crashWritesNoCore_data()
    {
        QTest::addColumn<bool>("veskel");
        QTest::newRow("control: a shell") << false;
        QTest::newRow("veskel") << true;
    }
    void crashWritesNoCore()
    {
        QFETCH(bool, veskel);
        QTemporaryDir dir;
        const QString path = dir.filePath("note.vsk");
        QVERIFY(writeDocument(path, "a private note"));
        const QString script = veskel ? "ulimit -c unlimited; exec \"$0\" \"$1\""
                                      : "ulimit -c unlimited; kill -SEGV $$";
        Program program(*m_x, dir, {"-c", script, kProgram, path}, "/bin/sh");
        if (veskel) {
            QVERIFY(!enterPassword(path, "pw").isEmpty());
            program.signal(SIGSEGV);
        }
        QCOMPARE(program.waitForExit(), -2); // ended by the signal
        const QStringList cores = QDir(dir.path()).entryList({"core*"}, QDir::Files);
        if (veskel) {
            QVERIFY2(cores.isEmpty(), qPrintable(cores.join(' ')));
        } else if (cores.isEmpty()) {
            QSKIP("this system writes no core files, so the control shows none");
        }
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_e2e_program.moc"
