// The bars, the edit commands, the caret indicator and links, in the real
// window.
#include "../editor/editortestutil.h"
#include "platform/testing/textview.h"
#include "windowharness.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QUrl>

using namespace veskel;
using test::Window;

class TestSearchBars : public QObject
{
    Q_OBJECT

private slots:
    // Each command shows its own bar alone and focuses its box; never are
    // all three hidden.
    void barSwitching_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("replace over go to") << "GoTo1"
                                            << "Replace1";
        QTest::newRow("find over replace") << "Replace1"
                                           << "Find1";
        QTest::newRow("find over find") << "Find1"
                                        << "Find1";
        QTest::newRow("go to over find") << "Find1"
                                         << "GoTo1";
    }
    void barSwitching()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        Window w;
        w.show();
        TForm1 &f = w.form1;
        const QMap<QString, std::pair<QWidget *, QWidget *>> bars{
            {"Find1", {f.pnlFind, f.Edit3}},
            {"Replace1", {f.pnlSearchReplace, f.Edit4}},
            {"GoTo1", {f.pnlGoto, f.edtGoTo}}};
        for (const QString &command : {first, second}) {
            f.findChild<QAction *>(command)->trigger();
            const auto [bar, box] = bars[command];
            QVERIFY(bar->isVisible());
            QTRY_VERIFY(box->hasFocus());
            int visible = 0;
            for (QWidget *b : {f.pnlFind, f.pnlSearchReplace, f.pnlGoto}) {
                visible += b->isVisible() ? 1 : 0;
            }
            QCOMPARE(visible, 1);
        }
    }

    void findSelectsFirstMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::newRow("other case") << "one Two two"
                                    << "two" << 4 << 3;
        QTest::newRow("after a break") << "ab\r\ncd"
                                       << "CD" << 3 << 2;
        QTest::newRow("not there: nothing selected") << "abc"
                                                     << "x" << 3 << 0;
        QTest::newRow("empty token") << "abc"
                                     << "" << 3 << 0;
    }
    void findSelectsFirstMatch()
    {
        QFETCH(QString, text);
        QFETCH(QString, token);
        QFETCH(int, start);
        QFETCH(int, length);
        Window w;
        w.show();
        TForm1 &f = w.form1;
        f.memo1->setText(text);
        f.Edit3->setText(token);
        for (int click = 0; click < 2; ++click) { // always from the start
            QTest::mouseClick(f.btnFind, Qt::LeftButton);
            QCOMPARE(f.memo1->SelectionStart(), start);
            QCOMPARE(f.memo1->SelectionLength(), length);
        }
        QTRY_VERIFY(f.memo1->InnerWindow()->hasFocus());
    }

    // Find Next (F3) and Find Previous (Shift+F3): from the selection on,
    // wrapping around, with a note in the status bar when they wrapped or
    // found nothing; the next key clears the note.
    void findAgain_data()
    {
        QTest::addColumn<int>("selectionStart");
        QTest::addColumn<int>("selectionLength");
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("found");
        QTest::addColumn<QString>("note");
        // "one two One two one": matches of "one" at 0, 8 and 16.
        QTest::newRow("next after the caret") << 1 << 0 << "ONE" << true << 8 << "";
        QTest::newRow("next past the selected match") << 8 << 3 << "one" << true << 16 << "";
        QTest::newRow("next wraps to the start")
            << 16 << 3 << "one" << true << 0 << "Search wrapped";
        QTest::newRow("previous before the selection") << 16 << 3 << "one" << false << 8 << "";
        QTest::newRow("previous wraps to the end")
            << 0 << 3 << "one" << false << 16 << "Search wrapped";
        QTest::newRow("a lone match is found again")
            << 4 << 3 << "two One two" << true << 4 << "Search wrapped";
        QTest::newRow("not found") << 2 << 0 << "zz" << true << -1 << "Not found: \"zz\"";
    }
    void findAgain()
    {
        QFETCH(int, selectionStart);
        QFETCH(int, selectionLength);
        QFETCH(QString, token);
        QFETCH(bool, forward);
        QFETCH(int, found);
        QFETCH(QString, note);
        Window w;
        w.show();
        TForm1 &f = w.form1;
        f.memo1->setText("one two One two one");
        f.memo1->setSelectionStart(selectionStart);
        f.memo1->setSelectionLength(selectionLength);
        f.Edit3->setText(token);
        w.reactivate();
        QTest::keyClick(&f, Qt::Key_F3, forward ? Qt::NoModifier : Qt::ShiftModifier);
        QCOMPARE(f.memo1->SelectionStart(), found == -1 ? selectionStart : found);
        QCOMPARE(f.memo1->SelectionLength(), found == -1 ? selectionLength : int(token.size()));
        QCOMPARE(f.StatusPanel1->text(), note);
        QTest::keyClick(win::TextViewOf(f.memo1->InnerWindow()), Qt::Key_Left);
        QCOMPARE(f.StatusPanel1->text(), QString());
    }

    void replaceAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("note"); // what the status bar says
        QTest::newRow("a by aa ends") << "aaa"
                                      << "a"
                                      << "aa"
                                      << "aaaaaa"
                                      << "3 replaced";
        QTest::newRow("empty replacement") << "a-b-c-"
                                           << "-"
                                           << ""
                                           << "abc"
                                           << "3 replaced";
        QTest::newRow("other case") << "Cat cAT cat"
                                    << "cat"
                                    << "dog"
                                    << "dog dog dog"
                                    << "3 replaced";
        QTest::newRow("not there") << "abc"
                                   << "x"
                                   << "y"
                                   << "abc"
                                   << "Not found: \"x\"";
        QTest::newRow("empty token") << "abc"
                                     << ""
                                     << "y"
                                     << "abc"
                                     << "";
        QTest::newRow("across lines") << "ab\r\nab\r\nab"
                                      << "b"
                                      << "BB"
                                      << "aBB\r\naBB\r\naBB"
                                      << "3 replaced";
        QTest::newRow("one") << "ab"
                             << "b"
                             << "c"
                             << "ac"
                             << "1 replaced";
    }
    void replaceAll()
    {
        QFETCH(QString, text);
        QFETCH(QString, search);
        QFETCH(QString, replacement);
        QFETCH(QString, result);
        QFETCH(QString, note);
        Window w;
        w.show();
        TForm1 &f = w.form1;
        f.memo1->setText(text);
        f.Replace1->trigger();
        f.Edit4->setText(search);
        f.Edit1->setText(replacement);
        QTest::mouseClick(f.btnSearcReplace, Qt::LeftButton);
        QCOMPARE(f.memo1->Text(), result);
        QCOMPARE(f.StatusPanel1->text(), note);
        QCOMPARE(QApplication::overrideCursor(), nullptr); // the cursor is back
        if (result != text) {
            f.Undo1->trigger(); // replacements are not undoable
            QCOMPARE(f.memo1->Text(), result);
        }
    }

    void goTo_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("error");
        // Lines at the window's width: "first", "second", "third"
        QTest::newRow("line 0") << "0" << 1 << "";
        QTest::newRow("line 2") << "2" << 14 << "";
        QTest::newRow("hexadecimal") << "$1" << 7 << "";
        QTest::newRow("blanks and sign") << "  +1" << 7 << "";
        QTest::newRow("past the last line") << "99" << 0 << "";
        QTest::newRow("not a number") << "two" << 3 << "''two'' is not a valid integer value.";
        QTest::newRow("empty") << "" << 3 << "'''' is not a valid integer value.";
    }
    void goTo()
    {
        QFETCH(QString, typed);
        QFETCH(int, position);
        QFETCH(QString, error);
        Window w;
        w.show();
        TForm1 &f = w.form1;
        f.memo1->setText("first\r\nsecond\r\nthird");
        f.memo1->setSelectionStart(3);
        f.GoTo1->trigger();
        f.edtGoTo->setText(typed);
        if (!error.isEmpty()) {
            w.message();
        }
        QTest::mouseClick(f.btnGoTo, Qt::LeftButton);
        QCOMPARE(f.memo1->SelectionStart(), position);
        QCOMPARE(f.memo1->SelectionLength(), 0);
        QCOMPARE(w.messages, error.isEmpty() ? QStringList() : QStringList{error});
        QVERIFY(w.scriptDone());
    }

    void goToWrappedLine()
    {
        Window w;
        w.show();
        TForm1 &f = w.form1;
        win::TextViewOf(f.memo1->InnerWindow())->setLineWrapMode(QTextEdit::FixedColumnWidth);
        win::TextViewOf(f.memo1->InnerWindow())->setLineWrapColumnOrWidth(10);
        win::TextViewOf(f.memo1->InnerWindow())->setWordWrapMode(QTextOption::WrapAnywhere);
        f.memo1->setText(QString(25, u'x') + "\r\nend");
        const int second = f.memo1->LineStart(1);
        QVERIFY(second > 0 && second < 25);
        f.GoTo1->trigger();
        f.edtGoTo->setText("1");
        QTest::mouseClick(f.btnGoTo, Qt::LeftButton);
        QCOMPARE(f.memo1->SelectionStart(), second + 1);
    }

    // The indicator shows where the caret was before the key or click.
    void caretIndicator()
    {
        Window w;
        w.show();
        TForm1 &f = w.form1;
        QCOMPARE(f.StatusPanel0->text(), "");
        f.memo1->setText("ab\r\ncdef");
        f.memo1->setSelectionStart(0);
        QTest::keyClick(win::TextViewOf(f.memo1->InnerWindow()), Qt::Key_Right);
        QCOMPARE(f.StatusPanel0->text(), "0 : 0");
        f.memo1->setSelectionStart(5); // column 2 of line 1
        QTest::keyClick(win::TextViewOf(f.memo1->InnerWindow()), Qt::Key_X);
        QCOMPARE(f.StatusPanel0->text(), "2 : 1");
        QTest::keyClick(win::TextViewOf(f.memo1->InnerWindow()), Qt::Key_Left);
        QCOMPARE(f.StatusPanel0->text(), "3 : 1");
        QTest::mouseClick(win::TextViewOf(f.memo1->InnerWindow())->viewport(), Qt::LeftButton, {},
                          test::pointOf(f.memo1->InnerWindow(), 0));
        QCOMPARE(f.StatusPanel0->text(), "2 : 1");
        QCOMPARE(f.StatusPanel1->text(), "");
    }

    // Either button opens a link; a press on one link released on another
    // opens nothing; a link the desktop cannot open shows nothing.
    void links_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("releaseAt");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("left") << Qt::LeftButton << 6 << QStringList{"https://a.example/x"};
        QTest::newRow("right") << Qt::RightButton << 6 << QStringList{"https://a.example/x"};
        QTest::newRow("another link") << Qt::LeftButton << 29 << QStringList{};
    }
    void links()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, releaseAt);
        QFETCH(QStringList, opened);
        test::UrlRecorder recorder;
        QDesktopServices::setUrlHandler("https", &recorder, "open");
        QDesktopServices::setUrlHandler("http", &recorder, "open");
        Window w;
        w.show();
        TForm1 &f = w.form1;
        f.memo1->setText("see https://a.example/x and www.b.example now");
        QWidget *viewport = win::TextViewOf(f.memo1->InnerWindow())->viewport();
        QTest::mousePress(viewport, button, {}, test::pointOf(f.memo1->InnerWindow(), 8));
        QTest::mouseRelease(viewport, button, {}, test::pointOf(f.memo1->InnerWindow(), releaseAt));
        QStringList urls;
        for (const QUrl &url : recorder.opened) {
            urls << url.toString();
        }
        QCOMPARE(urls, opened);
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("http");
        QVERIFY(w.messages.isEmpty());
        // A plain name opens as a web address.
        QDesktopServices::setUrlHandler("http", &recorder, "open");
        f.memo1PropertiesURLClick("www.b.example");
        QCOMPARE(recorder.opened.last(), QUrl("http://www.b.example"));
        QDesktopServices::unsetUrlHandler("http");
    }

    void editCommandsFromABarBox()
    {
        Window w;
        w.show();
        TForm1 &f = w.form1;
        f.memo1->setText("word");
        win::TextViewOf(f.memo1->InnerWindow())->selectAll();
        f.memo1->setSelectionStart(0);
        f.memo1->setSelectionLength(4);
        f.Edit3->setFocus();
        QTRY_VERIFY(f.Edit3->hasFocus());
        QApplication::clipboard()->setText("before");
        QTest::keyClick(f.Edit3, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), "word");
        QTest::keyClick(f.Edit3, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(f.memo1->Text(), "");
        QTest::keyClick(f.Edit3, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(f.Edit3, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.memo1->Text(), "wordword");
        QCOMPARE(f.Edit3->text(), "");
        QApplication::clipboard()->setText("kept");
        f.memo1->setSelectionStart(2);
        f.Copy1->trigger(); // nothing selected: the clipboard stays
        QCOMPARE(QApplication::clipboard()->text(), "kept");
    }
};

QTEST_MAIN(TestSearchBars)
#include "tst_searchbars.moc"
