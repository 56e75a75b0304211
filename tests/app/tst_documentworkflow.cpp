// Saving, opening and closing documents in the real window: the password
// dialog typed into, message boxes answered, files in a temporary folder.
#include "cipher/documentfile.h"
#include "platform/testing/textview.h"
#include "support/dialogtitles.h"
#include "support/files.h"
#include "support/standins.h"
#include "windowharness.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <sys/stat.h>

using namespace veskel;
using test::NoLegacyProvider;
using test::Window;

class TestDocumentWorkflow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file(const QString &name) const { return m_dir.filePath(name); }

    // Save As of the text under a new password, in a window of its own.
    void saveText(const QString &path, const QString &text, const QString &password)
    {
        Window w;
        w.show();
        w.form1.memo1->setText(text);
        w.saveAsPath = path;
        w.newPassword(password);
        w.form1.SaveAs1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(veskel::test::ReadAll(path).size(), DocumentFileSize);
    }

    // Opens the file in the window with the password.
    static void open(Window &w, const QString &path, const QString &password)
    {
        w.saveAsPath = path;
        w.password(password);
        w.form1.Open1->trigger();
    }

    // The text an Open of the file with the password shows.
    QString openedText(const QString &path, const QString &password)
    {
        Window w;
        w.show();
        open(w, path, password);
        return w.form1.memo1->Text();
    }

    static void typeText(Window &w, const QString &text)
    {
        QTest::keyClicks(win::TextViewOf(w.form1.memo1->InnerWindow()), text);
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
        open(w, path, password);
        QCOMPARE(w.form1.memo1->Text(), text);
        QCOMPARE(w.form1.windowTitle(), test::title::Main(path));
        QVERIFY(w.messages.isEmpty());
    }

    // A wrong password shows nothing of the document: the user types
    // another, gives up (the window is as it was) or has it shown anyway,
    // and then only Save As writes it. Closing writes nothing.
    void wrongPasswordIsCaught_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("shown"); // "previous", "document" or "other"
        QTest::newRow("given up") << "OK"
                                  << "previous";
        QTest::newRow("typed again") << "OK"
                                     << "document";
        QTest::newRow("shown anyway") << "Show it anyway"
                                      << "other";
    }
    void wrongPasswordIsCaught()
    {
        QFETCH(QString, answer);
        QFETCH(QString, shown);
        const QString previous = file("previous.vsk");
        const QString path = file("wrong.vsk");
        saveText(previous, "previous text", "pw");
        saveText(path, "the real text", "right");
        const QByteArray before = veskel::test::ReadAll(path);
        Window w;
        w.show();
        open(w, previous, "pw");
        w.password("wrong");
        w.choose(answer);
        if (shown != "other") {
            w.password("right", shown == "document");
        }
        w.saveAsPath = path;
        w.form1.Open1->trigger();
        QCOMPARE(w.messages, QStringList{"The password is wrong."});
        const QString text = w.form1.memo1->Text();
        if (shown == "previous") {
            QCOMPARE(text, "previous text");
            QCOMPARE(w.form1.windowTitle(), test::title::Main(previous));
        } else {
            QCOMPARE(text == "the real text", shown == "document");
            QVERIFY(text != "previous text");
            QCOMPARE(w.form1.windowTitle(), test::title::Main(path));
        }
        QCOMPARE(w.form1.Workflow().ShownDespitePasswordCheck(), shown == "other");
        // Save goes through the file dialog for a text shown anyway.
        w.saveAsPath.clear();
        if (shown != "other") {
            w.password("", false);
        }
        w.form1.Save1->trigger();
        QCOMPARE(w.fileDialogs, shown == "other" ? 3 : 2);
        QVERIFY(w.form1.close());
        QVERIFY(w.scriptDone());
        QCOMPARE(veskel::test::ReadAll(path), before);
    }

    // Open over unsaved changes asks first; an Open given up at the
    // password leaves the text, its path and its undo history as they were.
    void openOverEditsAsks_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("shown");
        QTest::newRow("cancel") << "Cancel"
                                << "first, edited";
        QTest::newRow("discard, password cancelled") << "Discard"
                                                     << "first, edited";
        QTest::newRow("save, then open") << "Save"
                                         << "second";
    }
    void openOverEditsAsks()
    {
        QFETCH(QString, answer);
        QFETCH(QString, shown);
        const QString first = file("first.vsk");
        const QString second = file("second.vsk");
        saveText(first, "first", "pw");
        saveText(second, "second", "pw2");
        Window w;
        w.show();
        open(w, first, "pw");
        w.form1.memo1->setSelectionStart(5);
        typeText(w, ", edited");
        w.choose(answer);
        if (answer == "Save") {
            w.password("pw"); // the document's own password: asked once
        }
        if (answer != "Cancel") {
            w.password("pw2", answer == "Save");
        }
        w.saveAsPath = second;
        w.form1.Open1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.messages, QStringList{QString("Save the changes to \"%1\"?").arg(first)});
        QCOMPARE(w.fileDialogs, answer == "Cancel" ? 1 : 2);
        QCOMPARE(w.form1.memo1->Text(), shown);
        QCOMPARE(w.form1.FileName, answer == "Save" ? second : first);
        if (answer == "Save") {
            QCOMPARE(openedText(first, "pw"), "first, edited");
        } else {
            w.form1.Undo1->trigger();
            QVERIFY(w.form1.memo1->Text() != "first, edited");
            if (w.form1.Workflow().IsModified()) {
                w.choose("Discard");
            }
            QVERIFY(w.form1.close());
        }
    }

    // Closing with unsaved changes asks; Cancel, also at any later step,
    // keeps the window and the file as they were.
    void closeAsks_data()
    {
        QTest::addColumn<bool>("untitled");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("password"); // empty: cancelled
        QTest::addColumn<bool>("closes");
        QTest::newRow("untitled, cancel") << true << "Cancel"
                                          << "" << false;
        QTest::newRow("untitled, discard") << true << "Discard"
                                           << "" << true;
        QTest::newRow("untitled, save") << true << "Save"
                                        << "new" << true;
        QTest::newRow("opened, save, password cancelled") << false << "Save"
                                                          << "" << false;
        QTest::newRow("opened, save, other password") << false << "Save"
                                                      << "new" << true;
        QTest::newRow("opened, discard") << false << "Discard"
                                         << "" << true;
    }
    void closeAsks()
    {
        QFETCH(bool, untitled);
        QFETCH(QString, answer);
        QFETCH(QString, password);
        QFETCH(bool, closes);
        const QString path = file("closed.vsk");
        QFile::remove(path);
        if (!untitled) {
            saveText(path, "kept", "pw");
        }
        const QByteArray before = veskel::test::ReadAll(path);
        Window w;
        w.show();
        if (!untitled) {
            open(w, path, "pw");
        }
        w.form1.memo1->setText("typed");
        w.choose(answer);
        w.saveAsPath = path;
        if (password.isEmpty() && answer == "Save") {
            w.password("", false);
        } else if (!password.isEmpty()) {
            w.newPassword(password);
        }
        QCOMPARE(w.form1.close(), closes);
        QVERIFY(w.scriptDone());
        QCOMPARE(w.messages.first(), untitled ? QString("Save the new document?")
                                              : QString("Save the changes to \"%1\"?").arg(path));
        if (password.isEmpty()) {
            QCOMPARE(veskel::test::ReadAll(path), before);
        } else {
            QCOMPARE(openedText(path, password), "typed");
        }
        QCOMPARE(w.form1.memo1->Text(), "typed");
        if (!closes) {
            w.choose("Discard");
            QVERIFY(w.form1.close());
        }
    }

    // New starts an untitled document: closing then never touches the file
    // that was open. Unsaved changes are asked about first.
    void newStartsUntitled_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QString>("answer");
        QTest::newRow("unchanged") << false << "";
        QTest::newRow("edited, cancel") << true << "Cancel";
        QTest::newRow("edited, discard") << true << "Discard";
    }
    void newStartsUntitled()
    {
        QFETCH(bool, edited);
        QFETCH(QString, answer);
        const QString path = file("new.vsk");
        saveText(path, "old text", "pw");
        const QByteArray before = veskel::test::ReadAll(path);
        Window w;
        w.show();
        open(w, path, "pw");
        w.reactivate();
        if (edited) {
            w.form1.memo1->setSelectionStart(0);
            typeText(w, "more ");
            w.choose(answer);
        }
        QTest::keyClick(win::TextViewOf(w.form1.memo1->InnerWindow()), Qt::Key_N,
                        Qt::ControlModifier);
        const bool kept = answer == "Cancel";
        QCOMPARE(w.form1.memo1->Text(), kept ? "more old text" : "");
        QCOMPARE(w.form1.windowTitle(), test::title::Main(kept ? path : QString()));
        if (kept) {
            w.choose("Discard");
        }
        QVERIFY(w.form1.close());
        QVERIFY(w.scriptDone());
        QCOMPARE(w.passwordPrompts, 1);
        QCOMPARE(veskel::test::ReadAll(path), before);
    }

    // A password that is not the document's own is typed twice; a mismatch
    // writes nothing and asks again.
    void newPasswordTypedTwice_data()
    {
        QTest::addColumn<QStringList>("typed"); // pairs; an odd last one is cancelled
        QTest::addColumn<QString>("written");   // the password the file has; empty: none
        QTest::addColumn<int>("mismatches");
        QTest::newRow("match") << QStringList{"pw", "pw"} << "pw" << 0;
        QTest::newRow("mismatch, cancel") << QStringList{"pw", "pv", "pw"} << "" << 1;
        QTest::newRow("mismatch, match") << QStringList{"pw", "pv", "pw", "pw"} << "pw" << 1;
        QTest::newRow("second cancelled") << QStringList{"pw"} << "" << 0;
    }
    void newPasswordTypedTwice()
    {
        QFETCH(QStringList, typed);
        QFETCH(QString, written);
        QFETCH(int, mismatches);
        const QString path = file("twice.vsk");
        QFile::remove(path);
        Window w;
        w.show();
        w.form1.memo1->setText("words");
        for (qsizetype i = 0; i + 1 < typed.size(); i += 2) {
            w.newPassword(typed[i], typed[i + 1]);
            if (typed[i] != typed[i + 1]) {
                w.message();
            }
        }
        if (typed.size() % 2 == 1) {
            w.password(typed.last(), typed.size() == 1); // the first entry cancels the retry
            if (typed.size() == 1) {
                w.password("", false);
            }
        }
        w.saveAsPath = path;
        w.form1.SaveAs1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.messages, QStringList(mismatches, "The passwords do not match."));
        QCOMPARE(QFile::exists(path), !written.isEmpty());
        QCOMPARE(w.form1.windowTitle(), test::title::Main(written.isEmpty() ? QString() : path));
        if (!written.isEmpty()) {
            QCOMPARE(openedText(path, written), "words");
            // The document's own password is then asked once.
            const int prompts = w.passwordPrompts;
            w.form1.memo1->setSelectionStart(0);
            typeText(w, "more ");
            w.password(written);
            w.form1.Save1->trigger();
            QCOMPARE(w.passwordPrompts, prompts + 1);
            QCOMPARE(openedText(path, written), "more words");
        } else {
            w.choose("Discard");
            QVERIFY(w.form1.close());
        }
    }

    // Ctrl+S writes the document to its own file; an untitled one goes
    // through Save As.
    void saveWritesOwnFile_data()
    {
        QTest::addColumn<bool>("untitled");
        QTest::newRow("opened") << false;
        QTest::newRow("untitled") << true;
    }
    void saveWritesOwnFile()
    {
        QFETCH(bool, untitled);
        const QString path = file("ctrl-s.vsk");
        QFile::remove(path);
        if (!untitled) {
            saveText(path, "saved", "pw");
        }
        Window w;
        w.show();
        if (!untitled) {
            open(w, path, "pw");
            w.password("pw");
        } else {
            w.newPassword("pw");
        }
        w.saveAsPath = path;
        w.reactivate();
        w.form1.memo1->setSelectionStart(0);
        typeText(w, "ctrl-s ");
        QTest::keyClick(win::TextViewOf(w.form1.memo1->InnerWindow()), Qt::Key_S,
                        Qt::ControlModifier);
        QVERIFY(w.scriptDone());
        QCOMPARE(w.fileDialogs, 1); // the Open's, or the Save As's
        QCOMPARE(openedText(path, "pw"), untitled ? "ctrl-s " : "ctrl-s saved");
        QVERIFY(w.form1.close()); // nothing left unsaved
    }

    // A file that is not a document opens without a password as a new,
    // untitled document; the file is never written by a close.
    void nonDocumentOpensUntitled_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain text") << QByteArray("shopping list\nmilk") << "shopping list\r\nmilk";
        QTest::newRow("rich text") << QByteArray("{\\rtf1 bold {\\b move}}") << "bold move";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void nonDocumentOpensUntitled()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = file("import.txt");
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        Window w;
        w.show();
        w.saveAsPath = path;
        w.form1.Open1->trigger();
        QCOMPARE(w.passwordPrompts, 0);
        QCOMPARE(w.form1.memo1->Text(), text);
        QCOMPARE(w.form1.windowTitle(), test::title::Main());
        if (!text.isEmpty()) {
            w.choose("Discard");
        }
        QVERIFY(w.form1.close());
        QVERIFY(w.scriptDone());
        QCOMPARE(veskel::test::ReadAll(path), bytes);
    }

    // A document whose line ends were changed on the way is still one.
    void documentWithOtherLineEndsOpens()
    {
        const QString path = file("lf.vsk");
        saveText(path, "travelled", "pw");
        QByteArray bytes = veskel::test::ReadAll(path).replace("\r\n", "\n");
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        QCOMPARE(openedText(path, "pw"), "travelled");
    }

    // The save dialog asks before it replaces a file; No writes nothing.
    void saveAsAsksBeforeReplacing_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void saveAsAsksBeforeReplacing()
    {
        QFETCH(bool, replace);
        const QString path = file("existing.vsk");
        saveText(path, "existing", "pw");
        const QByteArray before = veskel::test::ReadAll(path);
        Window w;
        w.show();
        w.form1.RunFileDialog = nullptr; // the real dialog
        w.form1.memo1->setText("replacement");
        w.dialog([path](QDialog *dialog) {
            auto *files = qobject_cast<QFileDialog *>(dialog);
            QVERIFY(files != nullptr);
            // Typed as a user would: the dialog's folder may still be loading.
            files->setDirectory(QFileInfo(path).path());
            auto *name = files->findChild<QLineEdit *>("fileNameEdit");
            QVERIFY(name != nullptr);
            name->setText(QFileInfo(path).fileName());
            // As the Save button does; its question comes after this answer.
            QMetaObject::invokeMethod(
                files, [files] { static_cast<QDialog *>(files)->accept(); }, Qt::QueuedConnection);
        });
        w.message(replace);
        if (replace) {
            w.newPassword("pw");
        } else {
            w.dialog([](QDialog *dialog) { dialog->reject(); });
        }
        w.form1.SaveAs1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].contains("already exists"), qPrintable(w.messages[0]));
        if (replace) {
            QCOMPARE(openedText(path, "pw"), "replacement");
        } else {
            QCOMPARE(veskel::test::ReadAll(path), before);
            w.choose("Discard");
        }
        QVERIFY(w.form1.close());
    }

    // The end of the desktop session is settled like a close; without leave
    // to ask, unsaved changes call it off.
    void sessionEnd_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("interaction");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("unchanged") << false << true << "" << false;
        QTest::newRow("no interaction") << true << false << "" << true;
        QTest::newRow("cancel") << true << true << "Cancel" << true;
        QTest::newRow("discard") << true << true << "Discard" << false;
        QTest::newRow("save") << true << true << "Save" << false;
    }
    void sessionEnd()
    {
        QFETCH(bool, edited);
        QFETCH(bool, interaction);
        QFETCH(QString, answer);
        QFETCH(bool, cancelled);
        struct FakeSession : SessionEnd
        {
            bool interaction = false;
            int asked = 0, released = 0, cancels = 0;
            bool allowsInteraction() override { return ++asked, interaction; }
            void release() override { ++released; }
            void cancel() override { ++cancels; }
        } session;
        session.interaction = interaction;
        const QString path = file("session.vsk");
        QFile::remove(path);
        Window w;
        w.show();
        if (edited) {
            w.form1.memo1->setText("unsaved");
        }
        if (!answer.isEmpty()) {
            w.choose(answer);
        }
        if (answer == "Save") {
            w.saveAsPath = path;
            w.newPassword("pw");
        }
        w.form1.SessionEnding(session);
        QVERIFY(w.scriptDone());
        QCOMPARE(session.cancels, cancelled ? 1 : 0);
        QCOMPARE(session.released, session.asked > 0 && interaction ? 1 : 0);
        QCOMPARE(QFile::exists(path), answer == "Save");
        QCOMPARE(w.form1.memo1->Text(), edited ? "unsaved" : "");
        // The close that ends the program asks nothing more after Discard.
        if (cancelled) {
            w.choose("Discard");
        }
        QVERIFY(w.form1.close());
        QVERIFY(w.scriptDone());
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
        const QByteArray saved = veskel::test::ReadAll(doc);
        const QString path = file("failing-" + kind);
        if (kind == "folder") {
            QVERIFY(QDir(m_dir.path()).mkpath(path));
        } else if (kind == "fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        Window w;
        w.show();
        open(w, doc, "pw");
        w.saveAsPath = path;
        w.message();
        w.form1.Open1->trigger();
        QCOMPARE(w.passwordPrompts, 1);
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages[0].startsWith(QString("Cannot open file \"%1\". ").arg(path)));
        QVERIFY(w.messages[0].endsWith('.'));
        QCOMPARE(w.icons[0], QMessageBox::Critical);
        QCOMPARE(w.form1.FileName, doc);
        QCOMPARE(w.form1.windowTitle(), test::title::Main(doc));
        QCOMPARE(w.form1.memo1->Text(), "current text");
        QVERIFY(w.form1.close());
        QCOMPARE(w.passwordPrompts, 1);
        QCOMPARE(veskel::test::ReadAll(doc), saved);
        const QFileInfo after(path);
        QCOMPARE(after.exists(), kind != "missing");
        QVERIFY(!after.isFile());
    }

    // A Save As given up at the password leaves the document where it was.
    void cancelledSaveAsKeepsPath()
    {
        const QString path = file("kept-path.vsk");
        const QString other = file("never.vsk");
        saveText(path, "text", "pw");
        Window w;
        w.show();
        open(w, path, "pw");
        w.saveAsPath = other;
        w.password("pw", false);
        w.form1.SaveAs1->trigger();
        QVERIFY(!QFile::exists(other));
        QCOMPARE(w.form1.FileName, path);
        QCOMPARE(w.form1.windowTitle(), test::title::Main(path));
        QVERIFY(w.form1.close()); // unchanged: nothing asked
        QVERIFY(w.scriptDone());
    }

    // Closing never rewrites a document whose text is the one its file
    // holds, nor one whose open was given up.
    void closeKeepsUnchangedDocument_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::newRow("opened") << true;
        QTest::newRow("password cancelled") << false;
    }
    void closeKeepsUnchangedDocument()
    {
        QFETCH(bool, ok);
        const QString path = file("keep.vsk");
        saveText(path, "precious", "pw");
        const QByteArray before = veskel::test::ReadAll(path);
        Window w;
        w.show();
        w.saveAsPath = path;
        w.password("pw", ok);
        w.form1.Open1->trigger();
        QCOMPARE(w.form1.memo1->Text(), ok ? "precious" : "");
        QVERIFY(w.form1.close());
        QCOMPARE(w.passwordPrompts, 1);
        QCOMPARE(veskel::test::ReadAll(path), before);
    }

    // A save in the old format that would lose part of the document names
    // what, and saves in the strong format, in the old one or not at all.
    void lossySave_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("lost");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("reopened");
        const QString euro = QString::fromUtf16(u"5 \u20AC");
        QTest::newRow("U+0100, old format")
            << QString::fromUtf16(u"ab\u0100cd") << false
            << QString::fromUtf16(u"3 characters (\u0100)") << "Save in the old format"
            << "ab";
        QTest::newRow("euro, cancelled")
            << euro << false << QString::fromUtf16(u"1 character (\u20AC)") << "Cancel"
            << "old";
        QTest::newRow("euro, strong format")
            << euro << false << QString::fromUtf16(u"1 character (\u20AC)")
            << "Save in the strong format" << euro;
        QTest::newRow("100,000, old format") << QString(100000, u'z') << false << "1 character"
                                             << "Save in the old format" << QString(99999, u'z');
        QTest::newRow("bold and six kinds")
            << QString::fromUtf16(u"x\u0101\u0102\u0103\u0104\u0105\u0105\u0106") << true
            << QString::fromUtf16(
                   u"the formatting and 7 characters (\u0101, \u0102, \u0103, \u0104, "
                   u"\u0105, \u2026)")
            << "Cancel"
            << "old";
        QTest::newRow("bold only, strong format") << "plain words" << true << "the formatting"
                                                  << "Save in the strong format"
                                                  << "plain words";
    }
    void lossySave()
    {
        QFETCH(QString, text);
        QFETCH(bool, bold);
        QFETCH(QString, lost);
        QFETCH(QString, answer);
        QFETCH(QString, reopened);
        const QString path = file("lossy.vsk");
        saveText(path, "old", "pw");
        Window w;
        w.show();
        w.form1.memo1->setText(text);
        if (bold) {
            QTextCursor cursor(win::TextViewOf(w.form1.memo1->InnerWindow())->document());
            cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
            QTextCharFormat format;
            format.setFontWeight(QFont::Bold);
            cursor.mergeCharFormat(format);
        }
        w.saveAsPath = path;
        w.newPassword("pw");
        w.choose(answer);
        w.form1.SaveAs1->trigger();
        QCOMPARE(w.messages,
                 QStringList{
                     "The old format keeps plain 8-bit text only: saving in it would lose " + lost +
                     ". The strong format keeps all of it. Save in the strong format "
                     "instead?"});
        QCOMPARE(w.icons[0], QMessageBox::Warning);
        const bool strong = answer == "Save in the strong format";
        QCOMPARE(veskel::test::ReadAll(path).startsWith("VESKEL-STRONG-DOCUMENT 1\n"), strong);
        QCOMPARE(w.form1.StatusPanel1->text(), answer == "Cancel" ? ""
                                               : strong           ? "Strong encryption"
                                                                  : "Old format");
        QCOMPARE(openedText(path, "pw"), reopened);
    }

    // No to the lossy-save question during a close keeps the window open
    // with its text.
    void refusedSaveKeepsWindowOpen()
    {
        const QString path = file("curly.vsk");
        saveText(path, "old", "pw");
        const QByteArray before = veskel::test::ReadAll(path);
        const QString edited = QString::fromUtf16(u"it\u2019s mine");
        Window w;
        w.show();
        open(w, path, "pw");
        w.form1.memo1->setText(edited);
        w.choose("Save");
        w.password("pw");
        w.choose("Cancel");
        QVERIFY(!w.form1.close());
        QVERIFY(w.form1.isVisible());
        QCOMPARE(w.form1.memo1->Text(), edited);
        QCOMPARE(veskel::test::ReadAll(path), before);
        w.choose("Discard");
        QVERIFY(w.form1.close());
        QCOMPARE(veskel::test::ReadAll(path), before);
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
        w.newPassword("pw");
        w.message();
        w.form1.SaveAs1->trigger();
        const QString reason =
            QString("It is not a regular file (%1).").arg(fifo ? "a named pipe" : "a folder");
        const QString error = QString("Cannot create file \"%1\". %2").arg(path, reason);
        QCOMPARE(w.messages, QStringList{error});
        w.choose("Save");
        w.newPassword("pw");
        w.message();
        QVERIFY(!w.form1.close());
        QCOMPARE(w.messages, (QStringList{error, "Save the new document?", error}));
        QFileInfo after(path);
        QVERIFY(fifo ? !after.isFile() && after.exists() : after.isDir());
        w.choose("Discard");
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
        open(w, path, "pw");
        w.form1.memo1->setText("mine");
        saveText(path, "theirs", "pw"); // another instance saved meanwhile
        w.choose("Save");
        w.password("pw");
        w.message(agree);
        QCOMPARE(w.form1.close(), agree);
        QCOMPARE(w.messages.value(1), QString("The file \"%1\" has been changed by another "
                                              "program since it was opened. Overwrite it?")
                                          .arg(path));
        QCOMPARE(w.icons.value(1), QMessageBox::Warning);
        QCOMPARE(openedText(path, "pw"), agree ? "mine" : "theirs");
        if (!agree) {
            QCOMPARE(w.form1.memo1->Text(), "mine");
            w.choose("Discard");
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
        w.newPassword("pw");
        w.message();
        {
            const NoLegacyProvider noLegacy;
            w.form1.SaveAs1->trigger();
        }
        QCOMPARE(w.messages, QStringList{"Key cannot be set!"});
        QCOMPARE(w.icons[0], QMessageBox::NoIcon);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(w.form1.windowTitle(), test::title::Main());
    }

    // A failed write leaves the old document as it was.
    void uncreatableFileIsReported()
    {
        Window w;
        w.show();
        const QString path = file("no/such/folder/x.vsk");
        w.saveAsPath = path;
        w.newPassword("pw");
        w.message();
        w.form1.SaveAs1->trigger();
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages[0].startsWith(QString("Cannot create file \"%1\". ").arg(path)));
        QCOMPARE(w.form1.windowTitle(), test::title::Main());
    }
};

QTEST_MAIN(TestDocumentWorkflow)
#include "tst_documentworkflow.moc"
