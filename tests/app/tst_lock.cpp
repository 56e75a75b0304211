// Locking the window: the text is hidden and sealed in memory, and only the
// document's password brings it back, with nothing written to disk.
#include "app/idlewatch.h"
#include "app/lockpanel.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "platform/testing/textview.h"
#include "support/dialogtitles.h"
#include "support/files.h"
#include "windowharness.h"

#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

using namespace veskel;
using test::Window;

namespace {

void typeInto(Window &w, const QString &text)
{
    w.reactivate();
    QTest::keyClicks(win::TextViewOf(w.form1.memo1->InnerWindow()), text);
}

void unlockWith(Window &w, const QString &password)
{
    QTest::keyClicks(w.form1.pnlLocked->Password, password);
    QTest::mouseClick(w.form1.pnlLocked->Unlock, Qt::LeftButton);
}

} // namespace

class TestLock : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    // A window showing the document "note" (password "pw") with " edited"
    // typed after it.
    void openEdited(Window &w)
    {
        w.show();
        w.saveAsPath = m_path;
        w.password("pw");
        w.form1.Open1->trigger();
        QVERIFY(w.scriptDone());
        w.form1.memo1->setSelectionStart(4);
        typeInto(w, " edited");
    }

    static void verifyLocked(Window &w)
    {
        QVERIFY(w.form1.IsLocked());
        QVERIFY(w.form1.pnlLocked->isVisible());
        QVERIFY(!w.form1.memo1->isVisible());
        QVERIFY(!w.form1.StatusBar1->isVisible());
        QVERIFY(!w.form1.Save1->isEnabled());
        QCOMPARE(w.form1.memo1->Text(), QString()); // sealed, not only hidden
        QCOMPARE(w.form1.windowTitle(), test::title::Main(w.form1.FileName));
    }

private slots:
    void initTestCase()
    {
        m_path = m_dir.filePath("note.vsk");
        TCryptoAPI cipher(win::CALG_RC4);
        QVERIFY(cipher.SetPassword(QStringLiteral("pw")));
        SaveDocumentFile(m_path, cipher.Encrypt(QStringLiteral("note")));
    }

    // Locked by the command, then unlocked with the right or a wrong password.
    void unlock_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("unlocks");
        QTest::newRow("right password") << "pw" << true;
        QTest::newRow("wrong password") << "pq" << false;
    }
    void unlock()
    {
        QFETCH(QString, password);
        QFETCH(bool, unlocks);
        const QByteArray before = veskel::test::ReadAll(m_path);
        Window w;
        openEdited(w);
        w.form1.memo1->setSelectionStart(2);
        w.form1.memo1->setSelectionLength(3);
        QTest::keyClick(&w.form1, Qt::Key_L, Qt::ControlModifier);
        verifyLocked(w);

        if (!unlocks) {
            w.message();
        }
        unlockWith(w, password);
        QVERIFY(w.scriptDone());
        QCOMPARE(w.form1.pnlLocked->Password->text(), QString());
        QCOMPARE(veskel::test::ReadAll(m_path), before); // nothing written by either step
        if (!unlocks) {
            QCOMPARE(w.messages, QStringList{"The password is wrong."});
            verifyLocked(w);
            return;
        }
        QVERIFY(!w.form1.IsLocked());
        QVERIFY(w.form1.memo1->isVisible());
        QCOMPARE(w.form1.memo1->Text(), QStringLiteral("note edited"));
        QCOMPARE(w.form1.memo1->SelectionStart(), 2);
        QCOMPARE(w.form1.memo1->SelectionLength(), 3);
        QVERIFY(w.form1.Workflow().IsModified());
        QVERIFY(w.form1.Save1->isEnabled());
    }

    // Formatting and pictures come back as they were.
    void keepsFormattingAndPictures()
    {
        Window w;
        openEdited(w);
        QTextCursor cursor(win::TextViewOf(w.form1.memo1->InnerWindow())->document());
        cursor.setPosition(0);
        cursor.setPosition(4, QTextCursor::KeepAnchor);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.mergeCharFormat(bold);
        QImage picture(6, 4, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QApplication::clipboard()->setImage(picture);
        w.form1.memo1->setSelectionStart(5);
        w.form1.Paste1->trigger();
        const QByteArray before = w.form1.memo1->RichText();
        QVERIFY(before.contains("\\b note\\b0") && before.contains("\\pict"));
        w.form1.Lock1->trigger();
        verifyLocked(w);
        unlockWith(w, "pw");
        QVERIFY(!w.form1.IsLocked());
        QCOMPARE(w.form1.memo1->RichText(), before);
    }

    // A lock clears the clipboard when it still holds the program's copy,
    // never another program's.
    void clearsOwnClipboard_data()
    {
        QTest::addColumn<bool>("othersCopy");
        QTest::newRow("the program's copy") << false;
        QTest::newRow("another program's copy since") << true;
    }
    void clearsOwnClipboard()
    {
        QFETCH(bool, othersCopy);
        Window w;
        openEdited(w);
        w.form1.memo1->SelectAll();
        w.form1.Copy1->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("note edited"));
        if (othersCopy) {
            QApplication::clipboard()->setText("someone else's");
        }
        w.form1.Lock1->trigger();
        verifyLocked(w);
        QCOMPARE(QApplication::clipboard()->text(),
                 othersCopy ? QStringLiteral("someone else's") : QString());
    }

    // Closing a locked window asks only about unsaved changes, which can be
    // discarded there (saving them needs an unlock).
    void close_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("unchanged: no question") << false << QString() << true;
        QTest::newRow("edited, Discard") << true << "Discard" << true;
        QTest::newRow("edited, Cancel") << true << "Cancel" << false;
    }
    void close()
    {
        QFETCH(bool, edited);
        QFETCH(QString, answer);
        QFETCH(bool, closes);
        const QByteArray before = veskel::test::ReadAll(m_path);
        Window w;
        openEdited(w);
        if (!edited) {
            QTest::keyClick(&w.form1, Qt::Key_Z, Qt::ControlModifier);
            QVERIFY(!w.form1.Workflow().IsModified());
        }
        w.form1.Lock1->trigger();
        verifyLocked(w);
        if (!answer.isEmpty()) {
            w.choose(answer);
        }
        QCOMPARE(w.form1.close(), closes);
        QVERIFY(w.scriptDone());
        QCOMPARE(w.messages.size(), edited ? 1 : 0);
        QCOMPARE(veskel::test::ReadAll(m_path), before);
        QCOMPARE(w.form1.IsLocked(), true);
    }

    // A dialog open at the moment of an automatic lock is cancelled as its
    // Cancel would, and the text is locked behind it.
    void cancelsOpenDialog_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::newRow("password box") << "password";
        QTest::newRow("message box") << "question";
    }
    void cancelsOpenDialog()
    {
        QFETCH(QString, dialog);
        Window w;
        openEdited(w);
        w.dialog([&w](QDialog *) { w.form1.LockDocument(false); });
        if (dialog == "password") {
            w.form1.Open1Click(); // the question about the edits first
        } else {
            w.form1.New1Click();
        }
        QTRY_VERIFY(w.form1.IsLocked());
        QVERIFY(w.scriptDone());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        verifyLocked(w);
        QCOMPARE(w.form1.FileName, m_path); // the Open or New did not happen
    }

    // Five minutes without input lock the window; input keeps it open.
    void idleLocks()
    {
        Window w;
        openEdited(w);
        auto now = std::chrono::steady_clock::now();
        w.form1.IdleLock().setClock([&now] { return now; });
        now += kIdleLockInterval - std::chrono::seconds(1);
        w.form1.IdleLock().check();
        QVERIFY(!w.form1.IsLocked());
        typeInto(w, "!"); // input: counted from here again
        now += std::chrono::seconds(2);
        w.form1.IdleLock().check();
        QVERIFY(!w.form1.IsLocked());
        now += kIdleLockInterval;
        w.form1.IdleLock().check();
        verifyLocked(w);
    }

    // An untitled text: the command asks for a password to lock it with;
    // Cancel does not lock, and an automatic lock only hides it.
    void untitledText_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("command, password given") << "given";
        QTest::newRow("command, cancelled") << "cancelled";
        QTest::newRow("automatic") << "automatic";
    }
    void untitledText()
    {
        QFETCH(QString, how);
        Window w;
        w.show();
        typeInto(w, "draft");
        if (how == "given") {
            w.newPassword("lock");
        } else if (how == "cancelled") {
            w.password("", false);
        }
        w.form1.LockDocument(how != "automatic");
        QVERIFY(w.scriptDone());
        QCOMPARE(w.form1.IsLocked(), how != "cancelled");
        if (how == "cancelled") {
            QVERIFY(w.form1.memo1->isVisible());
            return;
        }
        QVERIFY(!w.form1.memo1->isVisible());
        QCOMPARE(w.form1.pnlLocked->Password->isVisible(), how == "given");
        QCOMPARE(w.form1.pnlLocked->Note->isVisible(), how == "automatic");
        unlockWith(w, how == "given" ? "lock" : "");
        QVERIFY(!w.form1.IsLocked());
        QCOMPARE(w.form1.memo1->Text(), QStringLiteral("draft"));
        QCOMPARE(w.form1.FileName, QString());
    }
};

QTEST_MAIN(TestLock)
#include "tst_lock.moc"
