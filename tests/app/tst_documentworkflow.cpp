// Saving, opening and closing documents in the real window: the password
// dialog typed into, message boxes answered, files in a temporary folder.
#include "cipher/documentfile.h"
#include "platform/testing/textview.h"
#include "windowharness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace veskel;
using test::Window;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class NoLegacyProvider
{
public:
    NoLegacyProvider() { qputenv("OPENSSL_MODULES", "/nonexistent-openssl-modules"); }
    ~NoLegacyProvider() { qunsetenv("OPENSSL_MODULES"); }
};

} // namespace

class TestDocumentWorkflow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

    // Save As of the text under the password, in a window of its own.
    void saveText(const QString &path, const QString &text, const QString &password)
    {
        Window w;
        w.show();
        w.form1.memo1->setText(text);
        w.saveAsPath = path;
        w.password(password);
        w.form1.SaveAs1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(readAll(path).size(), DocumentFileSize);
        w.form1.FileName.clear();
    }

    // The text an Open of the file with the password shows.
    QString openedText(const QString &path, const QString &password)
    {
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password(password);
        w.form1.Open1->trigger();
        const QString text = w.form1.memo1->Text();
        w.form1.FileName.clear();
        return text;
    }

private slots:
    void saveAndOpen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("password");
        QTest::newRow("empty editor") << ""
                                      << "pw";
        QTest::newRow("note") << "Dear diary,\r\nsecret things.\r\n"
                              << "correct horse";
        QTest::newRow("latin-1, empty password") << QString::fromUtf16(u"caf\u00E9 \u00FF") << "";
    }
    void saveAndOpen()
    {
        QFETCH(QString, text);
        QFETCH(QString, password);
        const QString path = file("note.vsk");
        saveText(path, text, password);
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password(password);
        w.form1.Open1->trigger();
        QCOMPARE(w.form1.memo1->Text(), text);
        QCOMPARE(w.form1.windowTitle(), "Veskel - " + path);
        QVERIFY(w.messages.isEmpty());
        w.form1.FileName.clear();
    }

    void wrongPasswordShowsOtherText()
    {
        const QString path = file("wrong.vsk");
        saveText(path, "the real text", "right");
        const QString shown = openedText(path, "wrong");
        QVERIFY(!shown.isEmpty());
        QVERIFY(shown != "the real text");
    }

    void cancelledOpenShowsArmour()
    {
        const QString path = file("armour.vsk");
        saveText(path, "hidden", "pw");
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password("pw", false);
        w.form1.Open1->trigger();
        QCOMPARE(w.form1.memo1->Text().toLatin1(), readAll(path));
        w.form1.FileName.clear();
    }

    // A failed open leaves the window as it was: text, path and caption.
    // Closing afterwards neither asks nor writes over the file that failed.
    void failedOpenLeavesWindowAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing file") << "missing";
        QTest::newRow("folder") << "folder";
        QTest::newRow("named pipe") << "fifo";
    }
    void failedOpenLeavesWindowAsItWas()
    {
        QFETCH(QString, kind);
        const QString doc = file("current.vsk");
        saveText(doc, "current text", "pw");
        const QByteArray saved = readAll(doc);
        const QString path = file("failing-" + kind);
        if (kind == "folder") {
            QVERIFY(QDir(m_dir.path()).mkpath(path));
        } else if (kind == "fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        Window w;
        w.show();
        w.saveAsPath = doc;
        w.password("pw");
        w.form1.Open1->trigger();
        w.saveAsPath = path;
        w.message();
        w.form1.Open1->trigger();
        QCOMPARE(w.passwordPrompts, 1);
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages[0].startsWith(QString("Cannot open file \"%1\". ").arg(path)));
        QVERIFY(w.messages[0].endsWith('.'));
        QCOMPARE(w.icons[0], QMessageBox::Critical);
        QCOMPARE(w.form1.FileName, doc);
        QCOMPARE(w.form1.windowTitle(), "Veskel - " + doc);
        QCOMPARE(w.form1.memo1->Text(), "current text");
        QVERIFY(w.form1.close());
        QCOMPARE(w.passwordPrompts, 1);
        QCOMPARE(readAll(doc), saved);
        const QFileInfo after(path);
        QCOMPARE(after.exists(), kind != "missing");
        QVERIFY(!after.isFile());
    }

    void cancelledSaveWritesNothing()
    {
        const QString path = file("never.vsk");
        Window w;
        w.show();
        w.form1.memo1->setText("unsaved");
        w.saveAsPath = path;
        w.password("pw", false);
        w.form1.SaveAs1->trigger();
        QVERIFY(!QFile::exists(path));
        QCOMPARE(w.form1.windowTitle(), "Veskel - " + path);
        // Closing asks again for that path.
        w.password("pw");
        QVERIFY(w.form1.close());
        QCOMPARE(w.passwordPrompts, 2);
        QCOMPARE(openedText(path, "pw"), "unsaved");
    }

    // Closing never rewrites a document whose text is the one its file
    // holds: not after a plain open, nor after a mistyped password.
    void closeKeepsUnchangedDocument_data()
    {
        QTest::addColumn<QString>("openPassword");
        QTest::addColumn<bool>("ok");
        QTest::newRow("opened") << "pw" << true;
        QTest::newRow("mistyped password") << "pq" << true;
        QTest::newRow("password cancelled") << "pw" << false;
    }
    void closeKeepsUnchangedDocument()
    {
        QFETCH(QString, openPassword);
        QFETCH(bool, ok);
        const QString path = file("keep.vsk");
        saveText(path, "precious", "pw");
        const QByteArray before = readAll(path);
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password(openPassword, ok);
        w.form1.Open1->trigger();
        QVERIFY(w.form1.close());
        QCOMPARE(w.passwordPrompts, 1);
        QCOMPARE(readAll(path), before);
    }

    void closeSavesEditedDocument()
    {
        const QString path = file("edited.vsk");
        saveText(path, "first", "pw");
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password("pw");
        w.form1.Open1->trigger();
        w.form1.memo1->setSelectionStart(5);
        QTest::keyClicks(win::TextViewOf(w.form1.memo1->InnerWindow()), " and more");
        w.password("pw2");
        QVERIFY(w.form1.close());
        QCOMPARE(openedText(path, "pw2"), "first and more");
    }

    // New empties the editor and keeps the path; closing then writes an
    // empty document.
    void newThenClose()
    {
        const QString path = file("new.vsk");
        saveText(path, "old text", "pw");
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password("pw");
        w.form1.Open1->trigger();
        w.reactivate();
        QTest::keyClick(win::TextViewOf(w.form1.memo1->InnerWindow()), Qt::Key_N,
                        Qt::ControlModifier);
        QCOMPARE(w.form1.memo1->Text(), "");
        QCOMPARE(w.form1.windowTitle(), "Veskel - " + path);
        w.password("pw");
        QVERIFY(w.form1.close());
        QCOMPARE(openedText(path, "pw"), "");
    }

    // A text that cannot be stored whole is saved only if the user agrees.
    void lossySave_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lost");
        QTest::addColumn<bool>("agree");
        QTest::addColumn<QString>("reopened");
        QTest::newRow("U+0100 agreed") << QString::fromUtf16(u"ab\u0100cd") << 3 << true << "ab";
        QTest::newRow("euro refused") << QString::fromUtf16(u"5 \u20AC") << 1 << false << "old";
        QTest::newRow("100,000 agreed")
            << QString(100000, u'z') << 1 << true << QString(99999, u'z');
    }
    void lossySave()
    {
        QFETCH(QString, text);
        QFETCH(int, lost);
        QFETCH(bool, agree);
        QFETCH(QString, reopened);
        const QString path = file("lossy.vsk");
        saveText(path, "old", "pw");
        Window w;
        w.show();
        w.form1.memo1->setText(text);
        w.saveAsPath = path;
        w.password("pw");
        w.message(agree);
        w.form1.SaveAs1->trigger();
        QCOMPARE(w.messages,
                 QStringList{QString("This document cannot be stored whole: %1 characters "
                                     "would be lost or changed. Save anyway?")
                                 .arg(lost)});
        QCOMPARE(w.icons[0], QMessageBox::Warning);
        QCOMPARE(openedText(path, "pw"), reopened);
        w.form1.FileName.clear();
    }

    // After an open whose password was cancelled the editor holds the
    // armour: saving it would destroy the document, so the question comes
    // first.
    void armourIsNotSavedWithoutAsking()
    {
        const QString path = file("guarded.vsk");
        saveText(path, "the document", "pw");
        const QByteArray before = readAll(path);
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password("", false);
        w.form1.Open1->trigger();
        w.password("pw");
        w.message(false);
        w.form1.SaveAs1->trigger();
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages[0].contains(QString::number(205000 - 99999)));
        QCOMPARE(readAll(path), before);
        w.form1.FileName.clear();
    }

    // No to the lossy-save question during a close keeps the window open
    // with its text; Cancel at the password dialog still closes unwritten.
    void refusedSaveKeepsWindowOpen()
    {
        const QString path = file("curly.vsk");
        saveText(path, "old", "pw");
        const QByteArray before = readAll(path);
        const QString edited = QString::fromUtf16(u"it\u2019s mine");
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password("pw");
        w.form1.Open1->trigger();
        w.form1.memo1->setText(edited);
        w.password("pw");
        w.message(false);
        QVERIFY(!w.form1.close());
        QVERIFY(w.form1.isVisible());
        QCOMPARE(w.form1.memo1->Text(), edited);
        QCOMPARE(readAll(path), before);
        w.password("pw", false);
        QVERIFY(w.form1.close());
        QCOMPARE(readAll(path), before);
    }

    // A save never puts a regular file in place of a pipe or a folder; the
    // window stays open when the close meets one.
    void nonRegularTargetIsRefused_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("named pipe") << true;
        QTest::newRow("folder") << false;
    }
    void nonRegularTargetIsRefused()
    {
        QFETCH(bool, fifo);
        const QString path = file(fifo ? "pipe.vsk" : "folder.vsk");
        if (fifo) {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QVERIFY(QDir(m_dir.path()).mkpath(path));
        }
        Window w;
        w.show();
        w.form1.memo1->setText("secret");
        w.saveAsPath = path;
        w.password("pw");
        w.message();
        w.form1.SaveAs1->trigger();
        const QString reason =
            QString("It is not a regular file (%1).").arg(fifo ? "a named pipe" : "a folder");
        QCOMPARE(w.messages,
                 QStringList{QString("Cannot create file \"%1\". %2").arg(path, reason)});
        w.password("pw");
        w.message();
        QVERIFY(!w.form1.close());
        QCOMPARE(w.messages.size(), 2);
        QFileInfo after(path);
        QVERIFY(fifo ? !after.isFile() && after.exists() : after.isDir());
        w.password("pw", false);
        QVERIFY(w.form1.close());
    }

    // A file another program wrote since the window opened it is only
    // overwritten when the user says so; No keeps the window open.
    void changedFileIsOverwrittenOnlyWhenAgreed_data()
    {
        QTest::addColumn<bool>("agree");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void changedFileIsOverwrittenOnlyWhenAgreed()
    {
        QFETCH(bool, agree);
        const QString path = file("shared.vsk");
        saveText(path, "first", "pw");
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password("pw");
        w.form1.Open1->trigger();
        w.form1.memo1->setText("mine");
        saveText(path, "theirs", "pw"); // another instance saved meanwhile
        w.password("pw");
        w.message(agree);
        QCOMPARE(w.form1.close(), agree);
        QCOMPARE(w.messages,
                 QStringList{QString("The file \"%1\" has been changed by another program since "
                                     "it was opened. Overwrite it?")
                                 .arg(path)});
        QCOMPARE(w.icons[0], QMessageBox::Warning);
        QCOMPARE(openedText(path, "pw"), agree ? "mine" : "theirs");
        if (!agree) {
            QCOMPARE(w.form1.memo1->Text(), "mine");
            w.password("pw", false);
            QVERIFY(w.form1.close());
        }
    }

    void keyCannotBeSet()
    {
        const QString path = file("nokey.vsk");
        Window w;
        w.show();
        w.form1.memo1->setText("text");
        w.saveAsPath = path;
        w.password("pw");
        w.message();
        {
            const NoLegacyProvider noLegacy;
            w.form1.SaveAs1->trigger();
        }
        QCOMPARE(w.messages, QStringList{"Key cannot be set!"});
        QCOMPARE(w.icons[0], QMessageBox::NoIcon);
        QVERIFY(!QFile::exists(path));
        w.form1.FileName.clear();
    }

    // A failed write leaves the old document as it was.
    void uncreatableFileIsReported()
    {
        Window w;
        w.show();
        const QString path = file("no/such/folder/x.vsk");
        w.saveAsPath = path;
        w.password("pw");
        w.message();
        w.form1.SaveAs1->trigger();
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages[0].startsWith(QString("Cannot create file \"%1\". ").arg(path)));
        w.form1.FileName.clear();
    }
};

QTEST_MAIN(TestDocumentWorkflow)
#include "tst_documentworkflow.moc"
