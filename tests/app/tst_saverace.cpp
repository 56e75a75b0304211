// A save that another program races: a version renamed into place while the
// key is derived, after the window checked the file, is not replaced
// without the question.
#include "app/documentworkflow.h"
#include "dialogs/modalresult.h"
#include "editor/richeditor.h"
#include "support/files.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

using namespace veskel;

namespace {

// The window's side, with every answer ready; the busy cursor's start is the
// moment the other program strikes.
class RacedHost : public DocumentHost
{
public:
    TRichEditor editor;
    QString path;
    std::function<void()> whileBusy;
    bool overwriteAnswer = false;
    int overwriteQuestions = 0;

    TRichEditor &Editor() override { return editor; }
    QString DocumentPath() const override { return path; }
    void SetFileName(const QString &p) override { path = p; }
    int ShowPasswordDialog() override { return mrOk; }
    QString PasswordText() const override { return QStringLiteral("pw"); }
    int ShowPasswordAgain(QString &typed) override
    {
        typed = QStringLiteral("pw");
        return mrOk;
    }
    void ShowMessage(const QString &) override {}
    LossyAnswer ConfirmLossySave(const OldFormatLoss &) override { return LossyAnswer::Cancel; }
    bool ConfirmOverwriteChanged(const QString &) override
    {
        ++overwriteQuestions;
        return overwriteAnswer;
    }
    UnsavedAnswer AskSaveChanges(const QString &) override { return UnsavedAnswer::Discard; }
    WrongPasswordAnswer AskAfterWrongPassword() override { return WrongPasswordAnswer::TryAgain; }
    bool ChooseSavePath(QString &, DocumentFormat &) override { return false; }
    void ShowFormat(DocumentFormat) override {}
    void SetBusy(bool busy) override
    {
        if (busy && whileBusy) {
            std::exchange(whileBusy, nullptr)();
        }
    }
};

} // namespace

class TestSaveRace : public QObject
{
    Q_OBJECT

private slots:
    void versionRenamedInDuringTheSave_data()
    {
        QTest::addColumn<bool>("existedBefore");
        QTest::addColumn<bool>("agree");
        QTest::newRow("replaced, kept") << true << false;
        QTest::newRow("replaced, overwritten after asking") << true << true;
        QTest::newRow("created, kept") << false << false;
    }
    void versionRenamedInDuringTheSave()
    {
        QFETCH(bool, existedBefore);
        QFETCH(bool, agree);
        QTemporaryDir dir;
        const QString path = dir.filePath("raced.vsk");
        const QByteArray theirs = "another program's newer version\n";
        if (existedBefore) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("the version the window agreed to replace\n");
        }
        RacedHost host;
        host.editor.setText(QStringLiteral("mine"));
        host.overwriteAnswer = agree;
        host.whileBusy = [&] {
            QSaveFile other(path);
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write(theirs);
            QVERIFY(other.commit());
        };
        DocumentWorkflow workflow(host);
        const SaveOutcome outcome = workflow.SaveDocument(path, DocumentFormat::Strong);
        QCOMPARE(host.overwriteQuestions, 1);
        QCOMPARE(outcome, agree ? SaveOutcome::Saved : SaveOutcome::Refused);
        QCOMPARE(veskel::test::ReadAll(path) == theirs, !agree);
        QCOMPARE(host.path, agree ? path : QString());
    }
};

QTEST_MAIN(TestSaveRace)
#include "tst_saverace.moc"
