// Saving, opening and closing documents in the real window: the password
// dialog typed into, message boxes answered, files in a temporary folder.
#include "cipher/documentfile.h"
#include "windowharness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

    // The path and caption change first; the load then fails before any
    // password is asked, and the editor keeps its text.
    void openMissingFile()
    {
        Window w;
        w.show();
        w.form1.memo1->setText("before");
        const QString path = file("missing.vsk");
        w.saveAsPath = path;
        w.message();
        w.form1.Open1->trigger();
        QCOMPARE(w.passwordPrompts, 0);
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(w.messages[0].startsWith(QString("Cannot open file \"%1\". ").arg(path)));
        QVERIFY(w.messages[0].endsWith('.'));
        QCOMPARE(w.icons[0], QMessageBox::Critical);
        QCOMPARE(w.form1.windowTitle(), "Veskel - " + path);
        QCOMPARE(w.form1.memo1->Text(), "before");
        w.form1.FileName.clear();
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
        QTest::keyClicks(w.form1.memo1->InnerWindow(), " and more");
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
        QTest::keyClick(w.form1.memo1->InnerWindow(), Qt::Key_N, Qt::ControlModifier);
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
