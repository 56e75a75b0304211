// Saving, opening and closing documents, through a window stand-in that
// answers the password dialog and the message boxes from a script.
#include "app/documentworkflow.h"
#include "cipher/documentfile.h"
#include "editor/richeditor.h"
#include "platform/exceptions.h"

#include <QDir>
#include <QFile>
#include <QQueue>
#include <QTemporaryDir>
#include <QTest>

using namespace veskel;

namespace {

struct Answer
{
    int result; // 1 OK, 2 Cancel
    QString password;
};

class ScriptedHost : public DocumentHost
{
public:
    TRichEditor editor;
    QString path;
    QQueue<Answer> answers;
    QString lastPassword;
    QStringList messages;
    QList<qsizetype> lossyQuestions;
    bool lossyAnswer = false;
    int passwordPrompts = 0;

    TRichEditor &Editor() override { return editor; }
    QString DocumentPath() const override { return path; }
    void SetFileName(const QString &p) override { path = p; }
    int ShowPasswordDialog() override
    {
        ++passwordPrompts;
        if (answers.isEmpty()) {
            return 2;
        }
        const Answer answer = answers.dequeue();
        lastPassword = answer.password;
        return answer.result;
    }
    QString PasswordText() const override { return lastPassword; }
    void ShowMessage(const QString &text) override { messages << text; }
    bool ConfirmLossySave(qsizetype lost) override
    {
        lossyQuestions << lost;
        return lossyAnswer;
    }
};

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

    // Writes text under password to path through a fresh host.
    void saveText(const QString &path, const QString &text, const QString &password)
    {
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.editor.setText(text);
        host.answers.enqueue({1, password});
        workflow.SaveDocument(path);
        QCOMPARE(readAll(path).size(), DocumentFileSize);
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
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.answers.enqueue({1, password});
        workflow.OpenDocument(path);
        QCOMPARE(host.editor.Text(), text);
        QCOMPARE(host.path, path);
        QVERIFY(host.messages.isEmpty());
    }

    void wrongPasswordShowsOtherText()
    {
        const QString path = file("wrong.vsk");
        saveText(path, "the real text", "right");
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.answers.enqueue({1, "wrong"});
        workflow.OpenDocument(path);
        QVERIFY(host.editor.Text() != "the real text");
        QVERIFY(host.messages.isEmpty());
    }

    void cancelledOpenShowsArmour()
    {
        const QString path = file("armour.vsk");
        saveText(path, "hidden", "pw");
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.answers.enqueue({2, "pw"});
        workflow.OpenDocument(path);
        QCOMPARE(host.editor.Text().toLatin1(), readAll(path));
    }

    // The path and caption change first; then the load fails before any
    // password is asked, and the editor keeps its text.
    void openMissingFile()
    {
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.editor.setText("before");
        const QString path = file("missing.vsk");
        QVERIFY_THROWS_EXCEPTION(EFOpenError, workflow.OpenDocument(path));
        QCOMPARE(host.passwordPrompts, 0);
        QCOMPARE(host.path, path);
        QCOMPARE(host.editor.Text(), "before");
    }

    void cancelledSaveWritesNothing()
    {
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.editor.setText("unsaved");
        const QString path = file("never.vsk");
        host.answers.enqueue({2, "pw"});
        workflow.SaveDocument(path);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(host.path, path);
        // Closing asks again for that path.
        host.answers.enqueue({1, "pw"});
        workflow.FormClose();
        QCOMPARE(host.passwordPrompts, 2);
        QCOMPARE(readAll(path).size(), DocumentFileSize);
    }

    void closeWithoutPathWritesNothing()
    {
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.editor.setText("no path");
        workflow.FormClose();
        QCOMPARE(host.passwordPrompts, 0);
    }

    // Closing never rewrites a document whose text is the one its file holds:
    // not after a plain open, not after an open with a mistyped password.
    void closeKeepsUnchangedDocument_data()
    {
        QTest::addColumn<QString>("openPassword");
        QTest::addColumn<int>("openResult");
        QTest::newRow("opened") << "pw" << 1;
        QTest::newRow("mistyped password") << "pq" << 1;
        QTest::newRow("password cancelled") << "pw" << 2;
    }
    void closeKeepsUnchangedDocument()
    {
        QFETCH(QString, openPassword);
        QFETCH(int, openResult);
        const QString path = file("keep.vsk");
        saveText(path, "precious", "pw");
        const QByteArray before = readAll(path);
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.answers.enqueue({openResult, openPassword});
        workflow.OpenDocument(path);
        host.answers.enqueue({1, "other"});
        workflow.FormClose();
        QCOMPARE(host.passwordPrompts, 1);
        QCOMPARE(readAll(path), before);
    }

    void closeSavesEditedDocument()
    {
        const QString path = file("edited.vsk");
        saveText(path, "first", "pw");
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.answers.enqueue({1, "pw"});
        workflow.OpenDocument(path);
        host.editor.setText("second");
        host.answers.enqueue({1, "pw2"});
        workflow.FormClose();
        ScriptedHost reader;
        DocumentWorkflow readBack(reader);
        reader.answers.enqueue({1, "pw2"});
        readBack.OpenDocument(path);
        QCOMPARE(reader.editor.Text(), "second");
    }

    // New empties the editor and keeps the path; closing then writes an
    // empty document.
    void newThenClose()
    {
        const QString path = file("new.vsk");
        saveText(path, "old text", "pw");
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.answers.enqueue({1, "pw"});
        workflow.OpenDocument(path);
        workflow.NewDocument();
        QCOMPARE(host.editor.Text(), "");
        QCOMPARE(host.path, path);
        host.answers.enqueue({1, "pw"});
        workflow.FormClose();
        ScriptedHost reader;
        DocumentWorkflow readBack(reader);
        reader.answers.enqueue({1, "pw"});
        readBack.OpenDocument(path);
        QCOMPARE(reader.editor.Text(), "");
    }

    // A text that cannot be stored whole is saved only if the user agrees.
    void lossySave_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("lost");
        QTest::addColumn<bool>("agree");
        QTest::addColumn<QString>("reopened");
        QTest::newRow("U+0100 agreed")
            << QString::fromUtf16(u"ab\u0100cd") << qsizetype(3) << true << "ab";
        QTest::newRow("euro refused")
            << QString::fromUtf16(u"5 \u20AC") << qsizetype(1) << false << "old";
        QTest::newRow("100,000 agreed")
            << QString(100000, u'z') << qsizetype(1) << true << QString(99999, u'z');
    }
    void lossySave()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, lost);
        QFETCH(bool, agree);
        QFETCH(QString, reopened);
        const QString path = file("lossy.vsk");
        saveText(path, "old", "pw");
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.editor.setText(text);
        host.lossyAnswer = agree;
        host.answers.enqueue({1, "pw"});
        workflow.SaveDocument(path);
        QCOMPARE(host.lossyQuestions, QList<qsizetype>{lost});
        ScriptedHost reader;
        DocumentWorkflow readBack(reader);
        reader.answers.enqueue({1, "pw"});
        readBack.OpenDocument(path);
        QCOMPARE(reader.editor.Text(), reopened);
    }

    // After an open whose password was cancelled the editor holds the armour:
    // saving it would destroy the document, so the question comes first.
    void armourIsNotSavedWithoutAsking()
    {
        const QString path = file("guarded.vsk");
        saveText(path, "the document", "pw");
        const QByteArray before = readAll(path);
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.answers.enqueue({2, ""});
        workflow.OpenDocument(path);
        host.answers.enqueue({1, "pw"});
        workflow.SaveDocument(path);
        QCOMPARE(host.lossyQuestions, QList<qsizetype>{205000 - 99999});
        QCOMPARE(readAll(path), before);
    }

    void keyCannotBeSet()
    {
        const QString path = file("nokey.vsk");
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.editor.setText("text");
        host.answers.enqueue({1, "pw"});
        {
            const NoLegacyProvider noLegacy;
            workflow.SaveDocument(path);
        }
        QCOMPARE(host.messages, QStringList{"Key cannot be set!"});
        QVERIFY(!QFile::exists(path));
    }

    void uncreatableFileEscapes()
    {
        ScriptedHost host;
        DocumentWorkflow workflow(host);
        host.answers.enqueue({1, "pw"});
        const QString path = file("no/such/folder/x.vsk");
        try {
            workflow.SaveDocument(path);
            QFAIL("no error");
        } catch (const EFCreateError &error) {
            QVERIFY(error.message().startsWith(QString("Cannot create file \"%1\". ").arg(path)));
        }
    }
};

QTEST_MAIN(TestDocumentWorkflow)
#include "tst_documentworkflow.moc"
