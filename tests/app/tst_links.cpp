// Clicking a link in a document that may come from anyone: web and mail links
// open, other targets are asked about with their whole target shown, local
// programs, scripts and launchers never reach the desktop; the target shows
// while the pointer rests on a link.
#include "app/linkpolicy.h"
#include "platform/testing/textview.h"
#include "windowharness.h"

#include <QDesktopServices>
#include <QFile>
#include <QHelpEvent>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolTip>

using namespace veskel;
using test::Window;

class TestLinks : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    test::UrlRecorder m_recorder;

    // A file in the folder, with its permission bits.
    QString file(const QString &name, const QByteArray &bytes, bool executable = false)
    {
        const QString path = m_dir.filePath(name);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
            return {};
        }
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner |
                           (executable ? QFile::ExeOwner : QFile::Permissions()));
        return path;
    }

private slots:
    void initTestCase()
    {
        for (const char *scheme : {"http", "https", "ftp", "mailto", "file", "news", "smb"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_recorder, "open");
        }
    }

    // What each kind of target does at a click, and what the window asks.
    void click_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("reason"); // part of the refusal
        const QString text = file("notes.txt", "plain words");
        const QString program = file("tool",
                                     "\x7f"
                                     "ELF",
                                     true);
        const QString script = file("clean-up", "#!/bin/sh\nrm -rf ~\n");
        const QString launcher = file("invoice.pdf.desktop", "[Desktop Entry]\nExec=sh\n");
        const QString shell = file("run.sh", "echo hi\n");
        const auto url = [](const QString &path) { return QUrl::fromLocalFile(path).toString(); };
        const int open = int(LinkAction::Open);
        const int ask = int(LinkAction::Ask);
        const int refuse = int(LinkAction::Refuse);
        QTest::newRow("https") << "https://example.org/a?b=c" << open << "";
        QTest::newRow("http, upper-case scheme") << "HTTP://example.org/" << open << "";
        QTest::newRow("ftp") << "ftp://example.org/pub" << open << "";
        QTest::newRow("www name") << "www.example.org" << open << "";
        QTest::newRow("mailto") << "mailto:someone@example.org?subject=hi" << open << "";
        QTest::newRow("mailto attaching a file")
            << "mailto:x@example.org?attach=" + QUrl::fromLocalFile(text).toString() << ask << "";
        QTest::newRow("mailto, Attachment")
            << "mailto:x@example.org?Attachment=/etc/passwd" << ask << "";
        QTest::newRow("news") << "news:comp.lang.c" << ask << "";
        QTest::newRow("local text file") << url(text) << ask << "";
        QTest::newRow("a folder") << url(m_dir.path()) << ask << "";
        QTest::newRow("executable") << url(program) << refuse << "it is a program";
        QTest::newRow("script by its first line") << url(script) << refuse << "it is a script";
        QTest::newRow("desktop launcher") << url(launcher) << refuse << "desktop launcher";
        QTest::newRow("shell script by its name") << url(shell) << refuse << "script or program";
        QTest::newRow("a script hidden before a web address")
            << url(shell) + "#https://bank.example/login" << refuse << "script or program";
    }
    void click()
    {
        QFETCH(QString, link);
        QFETCH(int, action);
        QFETCH(QString, reason);
        const LinkDecision decision = DecideLink(link);
        QCOMPARE(int(decision.action), action);
        QVERIFY2(decision.reason.contains(reason), qPrintable(decision.reason));

        // The window: No (the default) to a question opens nothing; Yes
        // opens the target the question showed.
        for (const bool yes : {false, true}) {
            m_recorder.opened.clear();
            Window w;
            w.show();
            if (action != int(LinkAction::Open)) {
                w.message(yes);
            }
            w.form1.memo1->Properties().OnURLClick(w.form1.memo1, link, mbLeft);
            QVERIFY(w.scriptDone());
            const QString shown = decision.target.toString(QUrl::FullyEncoded);
            if (action == int(LinkAction::Open)) {
                QCOMPARE(m_recorder.opened, QList<QUrl>{decision.target});
            } else if (action == int(LinkAction::Ask)) {
                QCOMPARE(w.messages, QStringList{"Open \"" + shown + "\"?"});
                QCOMPARE(m_recorder.opened, yes ? QList<QUrl>{decision.target} : QList<QUrl>{});
            } else {
                QCOMPARE(w.messages, QStringList{"Veskel does not open \"" + shown +
                                                 "\": " + decision.reason + "."});
                QVERIFY(m_recorder.opened.isEmpty());
            }
        }
    }

    // Resting on a link shows its whole target.
    void tooltipShowsTarget()
    {
        Window w;
        w.show();
        const QString target = "file:///tmp/run.sh#https://bank.example/login";
        w.form1.memo1->setText("see " + target + " now");
        QTextEdit *view = win::TextViewOf(w.form1.memo1->InnerWindow());
        QTextCursor cursor(view->document());
        cursor.setPosition(8);
        const QPoint at = view->cursorRect(cursor).center();
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), target);
    }
};

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
