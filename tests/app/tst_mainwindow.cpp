// The main window: its children, menu, keys, start-up and closing.
#include "app/messageboxes.h"
#include "app/programtitle.h"
#include "app/shortcutfilter.h"
#include "app/veskelmain.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "dialogs/frmpassword.h"
#include "editor/richeditor.h"
#include "platform/testing/textview.h"
#include "platform/win/process.h"
#include "support/dialogtitles.h"
#include "support/files.h"
#include "windowharness.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

using namespace veskel;

using test::Window;

class TestMainWindow : public QObject
{
    Q_OBJECT

public:
    // The user's configuration lives in a folder of the test's own.
    static void initMain() { veskel::test::UsePrivateHome(); }

private slots:
    // The file dialogs leave no trace of the folders they saw.
    void fileDialogsKeepNoHistory()
    {
        const QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        QTemporaryDir documents;
        {
            Window w;
            w.show();
            for (QFileDialog *dialog : {w.form1.OpenDialog1, w.form1.SaveDialog1}) {
                dialog->setDirectory(documents.path());
                w.dialog([](QDialog *shown) { shown->reject(); });
                dialog->exec();
            }
        }
        QDirIterator it(config, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        QStringList written;
        while (it.hasNext()) {
            written << it.next();
        }
        QCOMPARE(written, QStringList());
    }

    void programTitle_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("capitals") << "C:/Programs/NOTES.EXE"
                                  << "Notes";
        QTest::newRow("plain") << "/usr/bin/veskel"
                               << "veskel";
        QTest::newRow("first dot") << "/opt/My.Editor.bin"
                                   << "My";
        QTest::newRow("one letter") << "/x/Q"
                                    << "Q";
    }
    void programTitle()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(ProgramTitleFor(path), title);
    }

    void errorBoxText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Stream write error"
                                << "Stream write error.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("double quote") << "Cannot open \"x\""
                                      << "Cannot open \"x\"";
        QTest::newRow("exclamation") << "Key cannot be set!"
                                     << "Key cannot be set!";
        QTest::newRow("conversion") << "''x'' is not a valid integer value"
                                    << "''x'' is not a valid integer value.";
        QTest::newRow("slash") << "a/"
                               << "a/.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorBoxText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(ErrorBoxText(message), shown);
    }

    void startState()
    {
        Window w;
        w.show();
        TForm1 &f = w.form1;
        QCOMPARE(f.windowTitle(), test::title::Main());
        QVERIFY(f.pnlFind->isVisible());
        QVERIFY(!f.pnlSearchReplace->isVisible());
        QVERIFY(!f.pnlGoto->isVisible());
        QCOMPARE(f.Edit3->text(), "");
        QCOMPARE(f.memo1->Text(), "");
        QCOMPARE(f.StatusPanel0->text(), "");
        QCOMPARE(f.StatusPanel1->text(), "");
        QVERIFY(f.memo1->InnerWindow()->hasFocus());
        // The editing area ends 38 pixels above the bottom of the client area.
        const QWidget *client = f.centralWidget();
        QCOMPARE(f.memo1->geometry().bottom() + 1, client->height() - 19);
        QCOMPARE(f.pnlFind->height(), 19);
        QCOMPARE(f.StatusBar1->height(), 19);
        QCOMPARE(f.StatusPanel0->width(), 200);
        QCOMPARE(f.btnFind->width(), 105);
        QCOMPARE(client->width(), 479);
        QCOMPARE(client->height() + f.StatusBar1->height(), 304);
    }

    void menu()
    {
        Window w;
        TForm1 &f = w.form1;
        const QList<std::tuple<QAction *, QString, QKeySequence>> items{
            {f.New1, "&New", QKeySequence("Ctrl+N")},
            {f.Open1, "&Open", QKeySequence("Ctrl+O")},
            {f.Save1, "&Save", QKeySequence("Ctrl+S")},
            {f.SaveAs1, "Save &As...", QKeySequence()},
            {f.Lock1, "&Lock", QKeySequence("Ctrl+L")},
            {f.Exit1, "E&xit", QKeySequence()},
            {f.Undo1, "&Undo", QKeySequence("Ctrl+Z")},
            {f.Cut1, "Cu&t", QKeySequence("Ctrl+X")},
            {f.Copy1, "&Copy", QKeySequence("Ctrl+C")},
            {f.Paste1, "&Paste", QKeySequence("Ctrl+V")},
            {f.PasteSpecial1, "Paste &Special...", QKeySequence()},
            {f.Find1, "&Find...", QKeySequence()},
            {f.FindNext1, "Find &Next", QKeySequence("F3")},
            {f.FindPrevious1, "Find Pre&vious", QKeySequence("Shift+F3")},
            {f.Replace1, "R&eplace...", QKeySequence()},
            {f.GoTo1, "&Go To...", QKeySequence()},
            {f.Object1, "&Object", QKeySequence()},
            {f.Contents1, "&Contents", QKeySequence()},
            {f.SearchforHelpOn1, "&Search for Help On...", QKeySequence()},
            {f.HowtoUseHelp1, "&How to Use Help", QKeySequence()},
            {f.About1, "&About...", QKeySequence()},
        };
        for (const auto &[action, caption, shortcut] : items) {
            QCOMPARE(action->text(), caption);
            QCOMPARE(action->shortcut(), shortcut);
            QVERIFY(action->isEnabled());
        }
        QCOMPARE(f.File1->title(), "&File");
        QCOMPARE(f.Edit2->title(), "&Edit");
        QCOMPARE(f.Help1->title(), "&Help");
        QCOMPARE(f.File1->actions().size(), 9);  // with three separators
        QCOMPARE(f.Edit2->actions().size(), 14); // with three separators
        QCOMPARE(f.OpenDialog1->windowTitle(), test::title::kOpen);
        QCOMPARE(f.OpenDialog1->defaultSuffix(), "vsk");
        QVERIFY(!f.SaveDialog1->testOption(QFileDialog::DontConfirmOverwrite));
    }

    void helpItemsDoNothing()
    {
        Window w;
        w.show();
        w.form1.memo1->setText("kept");
        const test::NoDialogExpected noDialog;
        for (QAction *action :
             {w.form1.Contents1, w.form1.SearchforHelpOn1, w.form1.HowtoUseHelp1, w.form1.About1}) {
            action->trigger();
        }
        QCOMPARE(noDialog.unexpected(), QStringList()); // no dialog came
        QCOMPARE(w.form1.memo1->Text(), "kept");
    }

    // Menu shortcuts come before the focused text box.
    void clipboardKeysActOnTheEditor()
    {
        Window w;
        w.show();
        TForm1 &f = w.form1;
        QApplication::clipboard()->setText("pasted");
        f.Edit3->setFocus();
        QTRY_VERIFY(f.Edit3->hasFocus());
        QTest::keyClick(f.Edit3, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.Edit3->text(), "");
        QCOMPARE(f.memo1->Text(), "pasted");
        f.Edit3->setText("box");
        f.Edit3->selectAll();
        QTest::keyClick(f.Edit3, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(f.Edit3->text(), "box");
        QTest::keyClick(f.Edit3, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.memo1->Text(), "");
    }

    void enterInABarBoxDoesNothing()
    {
        Window w;
        w.show();
        TForm1 &f = w.form1;
        int presses = 0;
        connect(f.btnFind, &QPushButton::clicked, [&presses] { ++presses; });
        f.Edit3->setFocus();
        f.Edit3->setText("x");
        const test::NoDialogExpected noDialog;
        QTest::keyClick(f.Edit3, Qt::Key_Return);
        QTest::keyClick(f.Edit3, Qt::Key_Enter);
        QCOMPARE(presses, 0);
        QCOMPARE(noDialog.unexpected(), QStringList()); // no dialog came
    }

    void tabOrder()
    {
        Window w;
        w.show();
        TForm1 &f = w.form1;
        f.btnFind->setFocus();
        QTest::keyClick(f.btnFind, Qt::Key_Tab);
        QTRY_VERIFY(f.Edit3->hasFocus());
        QVERIFY(f.memo1->Properties().WantTabs());
        // In the search-and-replace bar: button, replacement, search token,
        // then the editing area.
        f.pnlSearchReplace->show();
        f.btnSearcReplace->setFocus();
        QTRY_VERIFY(f.btnSearcReplace->hasFocus());
        for (QWidget *next : {static_cast<QWidget *>(f.Edit1), static_cast<QWidget *>(f.Edit4),
                              static_cast<QWidget *>(win::TextViewOf(f.memo1->InnerWindow()))}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTRY_COMPARE(QApplication::focusWidget(), next);
        }
        // The editing area takes Tab as text.
        QTest::keyClick(win::TextViewOf(f.memo1->InnerWindow()), Qt::Key_Tab);
        QCOMPARE(f.memo1->Text(), "\t");
    }

    // The command-line documents open in order at the first activation, once.
    void commandLineDocumentsOpenOnce()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath("one two.vsk");
        const QString second = dir.filePath("second.vsk");
        for (const auto &[path, text] :
             {std::pair{first, QString("first text")}, std::pair{second, QString("second text")}}) {
            TCryptoAPI cipher(win::CALG_RC4);
            QVERIFY(cipher.SetPassword(QString("pw")));
            SaveDocumentFile(path, cipher.Encrypt(text));
        }
        win::SetCommandLineText(win::BuildCommandLine({"veskel", first, second}));
        Window w;
        w.password("pw"); // both documents', in turn
        w.password("pw");
        w.show();
        QTRY_COMPARE(w.form1.memo1->Text(), "second text");
        QCOMPARE(w.form1.windowTitle(), test::title::Main(second));
        // Neither a closed dialog nor a new activation opens them again.
        w.form1.memo1->setText("edited");
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&w.form1, &activate);
        QCoreApplication::processEvents();
        QCOMPARE(w.form1.memo1->Text(), "edited");
        win::SetCommandLineText(QString());
    }

    // A close whose save fails shows the error and leaves the window open.
    void failedCloseKeepsWindowOpen()
    {
        QTemporaryDir dir;
        Window w;
        w.show();
        const QString path = dir.filePath("missing/folder/x.vsk");
        w.form1.SetFileName(path);
        w.form1.memo1->setText("text");
        w.choose("Save"); // the changes, under a new password
        w.newPassword("pw");
        w.message(); // the error
        QVERIFY(!w.form1.close());
        QVERIFY(w.form1.isVisible());
        QVERIFY(w.scriptDone());
        const QString shown = w.messages.last();
        QVERIFY2(shown.startsWith(QString("Cannot create file \"%1\". ").arg(path)),
                 qPrintable(shown));
        QVERIFY(shown.endsWith('.'));
        QCOMPARE(w.titles.last(), ProgramTitle());
        QCOMPARE(w.icons.last(), QMessageBox::Critical);
        w.form1.SetFileName(QString());
        w.form1.memo1->setText(QString()); // nothing left to ask about
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
