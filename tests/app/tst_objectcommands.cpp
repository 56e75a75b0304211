// Edit > Object and Edit > Paste Special... in the real window: the dialogs
// open, objects go into the document, a document with an object asks before
// it is saved, and failures reach the error box.
#include "../editor/objecttestutil.h"
#include "cipher/documentfile.h"
#include "platform/ole/olestorage.h"
#include "platform/richedit/richeditole.h"
#include "platform/testing/olefailures.h"
#include "support/files.h"
#include "windowharness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>

using namespace veskel;
using namespace veskel::test;

namespace {

QPoint centred(const QRect &frame)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {(screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 3};
}

} // namespace

class TestObjectCommands : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void cleanup()
    {
        QGuiApplication::clipboard()->clear();
        win::FailStorageCreationForTesting(win::S_OK, 0);
    }

    void editObjectInsertsAndSelects()
    {
        const QString picture = writePicture(m_dir, "menu.png", QSize(20, 10), Qt::yellow);
        Window w;
        w.show();
        w.form1.memo1->setText("text ");
        w.form1.memo1->setSelectionStart(-1);
        w.dialog([&](QDialog *dialog) { answerInsertFile(dialog, picture, false, false); });
        w.form1.Object1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.dialogGeometries().size(), 1);
        QCOMPARE(w.dialogGeometries()[0].topLeft(), centred(w.dialogGeometries()[0]));
        QCOMPARE(w.form1.memo1->Text(), QString::fromUtf16(u"text \uFFFC"));
        QCOMPARE(w.form1.memo1->SelectionLength(), 1);
        QCOMPARE(w.form1.memo1->RichEditOle()->GetObjectCount(), 1);
        QVERIFY(w.messages.isEmpty());
    }

    void cancelledObjectDialogChangesNothing()
    {
        Window w;
        w.show();
        w.form1.memo1->setText("as it was");
        w.dialog([](QDialog *dialog) { press(dialog, "cancelButton"); });
        w.form1.Object1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.form1.memo1->Text(), "as it was");
        QVERIFY(w.messages.isEmpty());
    }

    void pasteSpecialUnformattedText()
    {
        Window w;
        w.show();
        auto *data = new QMimeData;
        data->setText("from elsewhere");
        data->setHtml("<b>from elsewhere</b>");
        QGuiApplication::clipboard()->setMimeData(data);
        w.dialog([](QDialog *dialog) { answerPasteSpecial(dialog, "Unformatted text"); });
        w.form1.PasteSpecial1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.dialogGeometries()[0].topLeft(), centred(w.dialogGeometries()[0]));
        QCOMPARE(w.form1.memo1->Text(), "from elsewhere");
    }

    void pasteSpecialWithAnEmptyClipboardShowsNothing()
    {
        Window w;
        w.show();
        QGuiApplication::clipboard()->clear();
        w.form1.PasteSpecial1->trigger();
        QCOMPARE(w.unexpectedDialogs(), QStringList()); // no dialog came
        QCOMPARE(w.form1.memo1->Text(), "");
    }

    // An object is one character that a document cannot hold.
    void documentWithAnObjectAsksBeforeSaving_data()
    {
        QTest::addColumn<bool>("agree");
        QTest::newRow("refused") << false;
        QTest::newRow("agreed") << true;
    }
    void documentWithAnObjectAsksBeforeSaving()
    {
        QFETCH(bool, agree);
        const QString note = WriteIn(m_dir, "attached.txt", "attachment");
        const QString path = m_dir.filePath(agree ? "agreed.vsk" : "refused.vsk");
        Window w;
        w.show();
        w.form1.memo1->setText("ab");
        w.form1.memo1->setSelectionStart(1);
        w.dialog([&](QDialog *dialog) { answerInsertFile(dialog, note, false, true); });
        w.form1.Object1->trigger();
        QCOMPARE(w.form1.memo1->Text(), QString::fromUtf16(u"a\uFFFCb"));

        w.saveAsPath = path;
        w.newPassword("pw");
        w.choose(agree ? "Save in the old format" : "Cancel");
        w.form1.SaveAs1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.messages,
                 QStringList{"The old format keeps plain 8-bit text only: saving in it would lose "
                             "1 picture or object. The strong format keeps all of it. Save in the "
                             "strong format instead?"});
        QCOMPARE(QFile::exists(path), agree);
        if (agree) {
            QCOMPARE(veskel::test::ReadAll(path).size(), DocumentFileSize);
        }
        w.form1.FileName.clear();
    }

    void objectFailureReachesTheErrorBox()
    {
        Window w;
        w.show();
        win::FailStorageCreationForTesting(win::E_OUTOFMEMORY, 1);
        w.message();
        w.form1.Object1->trigger();
        QVERIFY(w.scriptDone());
        QCOMPARE(w.messages, QStringList{"Not enough memory resources are available to complete "
                                         "this operation."});
        QCOMPARE(w.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
        QCOMPARE(w.form1.memo1->Text(), "");
        QVERIFY(w.form1.isVisible()); // the program goes on
    }
};

QTEST_MAIN(TestObjectCommands)
#include "tst_objectcommands.moc"
