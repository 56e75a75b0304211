// The editor control's selection, search, caret placement, undo, clipboard,
// links and right-click menu.
#include "editortestutil.h"
#include "platform/ole/oleclipboard.h"
#include "platform/richedit/richedit.h"
#include "platform/testing/textview.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>

#include <sys/inotify.h>
#include <unistd.h>

using namespace veskel;

namespace {

struct Click
{
    QString url;
    TMouseButton button;
};

// A host that hands out its own data for whatever is copied.
class DataHost final : public win::IRichEditOleCallback
{
public:
    using HRESULT = win::HRESULT;
    HRESULT GetNewStorage(std::shared_ptr<win::IStorage> &) override { return win::E_NOTIMPL; }
    HRESULT GetInPlaceContext(win::HWND *, win::HWND *, win::OLEINPLACEFRAMEINFO *) override
    {
        return win::E_NOTIMPL;
    }
    HRESULT ShowContainerUI(win::BOOL) override { return win::E_NOTIMPL; }
    HRESULT QueryInsertObject(const win::CLSID &, const std::shared_ptr<win::IStorage> &,
                              win::LONG) override
    {
        return win::E_NOTIMPL;
    }
    HRESULT DeleteObject(const std::shared_ptr<win::IOleObject> &) override { return win::S_OK; }
    HRESULT QueryAcceptData(const std::shared_ptr<win::IDataObject> &, win::CLIPFORMAT *,
                            win::DWORD, win::BOOL, win::HGLOBAL) override
    {
        return win::S_OK;
    }
    HRESULT ContextSensitiveHelp(win::BOOL) override { return win::E_NOTIMPL; }
    HRESULT GetClipboardData(const win::CHARRANGE &, win::DWORD,
                             std::shared_ptr<win::IDataObject> &data) override
    {
        QMimeData mime;
        mime.setText("the host's");
        data = win::DataObjectFromMimeData(mime);
        return win::S_OK;
    }
    HRESULT GetDragDropEffect(win::BOOL, win::DWORD, win::DWORD *) override { return win::S_OK; }
    HRESULT GetContextMenu(win::WORD, const std::shared_ptr<win::IOleObject> &,
                           const win::CHARRANGE &, void **) override
    {
        return win::E_NOTIMPL;
    }
};

} // namespace

class TestRichEditorSelection : public QObject
{
    Q_OBJECT

private slots:
    void find_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<uint>("options");
        QTest::addColumn<int>("found");
        QTest::newRow("case ignored, end past content") << "ABC def"
                                                        << "abc" << 0 << 1000 << 0u << 0;
        QTest::newRow("inside a word") << "concatenate"
                                       << "cat" << 0 << 100 << 0u << 3;
        QTest::newRow("break counts one") << "ab\r\ncd"
                                          << "cd" << 0 << 100 << 0u << 3;
        QTest::newRow("after several breaks") << "a\r\n\r\n\r\nxyz"
                                              << "xyz" << 0 << 100 << 0u << 4;
        QTest::newRow("from a start") << "abcabc"
                                      << "abc" << 1 << 100 << 0u << 3;
        QTest::newRow("not there") << "abcabc"
                                   << "abd" << 0 << 100 << 0u << -1;
        QTest::newRow("empty text") << "abc"
                                    << "" << 0 << 100 << 0u << -1;
        QTest::newRow("past the range") << "abcabc"
                                        << "abc" << 1 << 4 << 0u << -1;
        QTest::newRow("start past content") << "abc"
                                            << "abc" << 10 << 100 << 0u << -1;
        QTest::newRow("match case") << "Abc abc"
                                    << "abc" << 0 << 100 << uint(MatchCase) << 4;
        QTest::newRow("whole word") << "concat cat"
                                    << "cat" << 0 << 100 << uint(WholeWord) << 7;
        QTest::newRow("non-ascii case")
            << QString::fromUtf16(u"x \u00C9T\u00C9") << QString::fromUtf16(u"\u00E9t\u00E9") << 0
            << 100 << 0u << 2;
        QTest::newRow("across a break") << "ab\r\ncd"
                                        << "b\r\nc" << 0 << 100 << 0u << 1;
    }
    void find()
    {
        QFETCH(QString, content);
        QFETCH(QString, needle);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(uint, options);
        QFETCH(int, found);
        TRichEditor editor;
        test::prepare(editor);
        editor.setText(content);
        QCOMPARE(editor.Find(needle, start, length, options), found);
    }

    void selectionStartThenLength()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("0123456789\r\nabcdef");
        editor.setSelectionStart(5);
        editor.setSelectionLength(3);
        QCOMPARE(editor.SelectionStart(), 5);
        QCOMPARE(editor.SelectionLength(), 3);
        QCoreApplication::processEvents(); // the window shows it at the next turn
        QCOMPARE(win::TextViewOf(editor.InnerWindow())->textCursor().selectedText(), "567");
        editor.setSelectionStart(11);
        editor.setSelectionLength(100); // clamped at the end
        QCOMPARE(editor.SelectionLength(), 6);
    }

    // After a failed find the start is -1: the caret goes to the end and the
    // length that follows selects nothing.
    void minusOneSelectsNothing()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("some text");
        editor.setSelectionStart(-1);
        editor.setSelectionLength(4);
        QCOMPARE(editor.SelectionStart(), 9);
        QCOMPARE(editor.SelectionLength(), 0);
    }

    void caretByLine_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("position");
        // Lines at width 10: "0123456789" "abcdefghij" "k" | "" | "end"
        QTest::newRow("first line") << 1 << 0 << 1;
        QTest::newRow("wrapped line") << 1 << 1 << 11;
        QTest::newRow("last of paragraph") << 1 << 2 << 21;
        QTest::newRow("empty line: next line") << 1 << 3 << 23;
        QTest::newRow("last line") << 1 << 4 << 24;
        QTest::newRow("past the last line") << 1 << 1000 << 0;
        QTest::newRow("past the end") << 10 << 4 << 26;
    }
    void caretByLine()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, position);
        TRichEditor editor;
        test::prepare(editor, 10);
        editor.setText("0123456789abcdefghijk\r\n\r\nend");
        editor.SetCaretPosition(x, y);
        QCOMPARE(editor.SelectionStart(), position);
        QCOMPARE(editor.SelectionLength(), 0);
    }

    void linesAndPositions()
    {
        TRichEditor editor;
        test::prepare(editor, 10);
        editor.setText("0123456789abcdefghijk\r\n\r\nend");
        const QList<int> starts{0, 10, 20, 22, 23};
        for (int line = 0; line < starts.size(); ++line) {
            QCOMPARE(editor.LineStart(line), starts[line]);
            QCOMPARE(editor.LineFromPosition(starts[line]), line);
        }
        QCOMPARE(editor.LineStart(5), -1);
        QCOMPARE(editor.LineFromPosition(15), 1);
        QCOMPARE(editor.LineFromPosition(1000), 4);
        editor.setSelectionStart(12);
        QCOMPARE(editor.LineStart(-1), 10);
        QCOMPARE(editor.LineFromPosition(-1), 1);
        QCOMPARE(editor.InnerWindow()->getLineCount(), 5);
    }

    void undoAfterTyping()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("base");
        editor.setSelectionStart(4);
        QTest::keyClicks(win::TextViewOf(editor.InnerWindow()), " more");
        QCOMPARE(editor.Text(), "base more");
        editor.Undo();
        QCOMPARE(editor.Text(), "base");
        editor.Redo();
        QCOMPARE(editor.Text(), "base more");
    }

    void replaceSelectionIsNotUndoable()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("abc");
        editor.setSelectionStart(3);
        QTest::keyClicks(win::TextViewOf(editor.InnerWindow()), "d");
        QVERIFY(editor.InnerWindow()->canUndo());
        editor.setSelectionStart(1);
        editor.setSelectionLength(1);
        editor.ReplaceSelection("X\r\nY");
        QCOMPARE(editor.Text(), "aX\r\nYcd");
        QVERIFY(!editor.InnerWindow()->canUndo());
        editor.Undo();
        QCOMPARE(editor.Text(), "aX\r\nYcd");
    }

    // The find-and-replace loop: every position read in the loop is exact.
    void replaceLoopPositions()
    {
        TRichEditor editor;
        editor.Properties().setWordWrap(false);
        test::prepare(editor);
        editor.setText(QString("aaa").repeated(50));
        int pos = editor.Find("a", 0, 1000);
        int rounds = 0;
        while (pos >= 0 && rounds < 1000) {
            editor.setSelectionStart(pos);
            editor.setSelectionLength(1);
            QCOMPARE(editor.SelectionStart(), pos);
            editor.ReplaceSelection("bb");
            pos = editor.Find("a", pos + 2, 1000);
            ++rounds;
        }
        QCOMPARE(rounds, 150);
        QCOMPARE(editor.Text(), QString(300, u'b'));
        QCOMPARE(editor.Lines().LineCount(), 1);
    }

    void copyAndCut()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("copy me");
        QApplication::clipboard()->setText("before");
        editor.setSelectionStart(2);
        editor.Copy(); // nothing selected
        QCOMPARE(QApplication::clipboard()->text(), "before");
        editor.Cut();
        QCOMPARE(editor.Text(), "copy me");
        editor.setSelectionStart(0);
        editor.setSelectionLength(4);
        editor.Copy();
        QCOMPARE(QApplication::clipboard()->text(), "copy");
        const QMimeData *data = QApplication::clipboard()->mimeData();
        QVERIFY(data->hasHtml());
        QVERIFY(data->data("text/rtf").startsWith("{\\rtf"));
        editor.Cut();
        QCOMPARE(editor.Text(), " me");
        editor.setSelectionStart(3);
        editor.Paste();
        QCOMPARE(editor.Text(), " mecopy");
    }

    // What a copy or a cut puts on the clipboard tells clipboard managers to
    // record no history of it, and is known as this process's own; another
    // program's copy with the same hint is not.
    void copiesAreSecret_data()
    {
        QTest::addColumn<bool>("cut");
        QTest::addColumn<bool>("hostData");
        QTest::addColumn<QString>("text");
        QTest::newRow("copy") << false << false << "copy";
        QTest::newRow("cut") << true << false << "copy";
        QTest::newRow("copy of the host's data") << false << true << "the host's";
        QTest::newRow("cut of the host's data") << true << true << "the host's";
    }
    void copiesAreSecret()
    {
        QFETCH(bool, cut);
        QFETCH(bool, hostData);
        QFETCH(QString, text);
        TRichEditor editor;
        test::prepare(editor);
        win::RichEditWindow *window = editor.InnerWindow();
        DataHost host;
        win::IRichEditOleCallback *own = window->oleCallback();
        const auto restore = qScopeGuard([&] { window->setOleCallback(own); });
        if (hostData) {
            QVERIFY(window->setOleCallback(&host));
        }
        editor.setText("copy me");
        editor.setSelectionStart(0);
        editor.setSelectionLength(4);
        cut ? editor.Cut() : editor.Copy();
        QCOMPARE(editor.Text(), cut ? QString(" me") : QString("copy me"));
        QClipboard *clipboard = QApplication::clipboard();
        QCOMPARE(clipboard->text(), text);
        QCOMPARE(clipboard->mimeData()->data("x-kde-passwordManagerHint"), "secret");
        QVERIFY(win::IsOwnSecretData(clipboard->mimeData()));

        auto *other = new QMimeData;
        other->setText("another program's");
        other->setData("x-kde-passwordManagerHint", "secret");
        clipboard->setMimeData(other);
        QVERIFY(!win::IsOwnSecretData(clipboard->mimeData()));
    }

    void pasteTakesBestFormat()
    {
        TRichEditor editor;
        test::prepare(editor);
        auto *data = new QMimeData;
        data->setText("plain");
        data->setHtml("<b>html</b>");
        data->setData("text/rtf", "{\\rtf1 \\b rtf\\b0}");
        QApplication::clipboard()->setMimeData(data);
        QVERIFY(editor.CanPaste());
        editor.Paste();
        QCOMPARE(editor.Text(), "rtf");
        auto *plain = new QMimeData;
        plain->setText("a\nb");
        QApplication::clipboard()->setMimeData(plain);
        editor.Paste();
        QCOMPARE(editor.Text(), "rtfa\r\nb");
    }

    // Pasted HTML reads no file of this computer for the pictures it names.
    void pastedHtmlReadsNoFile_data()
    {
        QTest::addColumn<QString>("html");
        QTest::newRow("picture by file URL") << "<p>a<img src=\"file://%1/p.png\">b</p>";
        QTest::newRow("picture by path") << "<p>a<img src=\"%1/p.png\">b</p>";
    }
    void pastedHtmlReadsNoFile()
    {
        QFETCH(QString, html);
        QTemporaryDir dir;
        QImage picture(4, 4, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(dir.filePath("p.png")));
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        const auto closeWatch = qScopeGuard([watch] { ::close(watch); });
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_OPEN) >= 0);

        TRichEditor editor;
        test::prepare(editor);
        auto *data = new QMimeData;
        data->setHtml(html.arg(dir.path()));
        QApplication::clipboard()->setMimeData(data);
        editor.Paste();
        QCOMPARE(editor.Text(), QStringLiteral("a\uFFFCb"));
        // Laid out and drawn, as shown.
        QTextEdit *view = win::TextViewOf(editor.InnerWindow());
        view->document()->documentLayout()->documentSize();
        view->grab();
        char events[4096];
        QCOMPARE(::read(watch, events, sizeof events), ssize_t(-1));
    }

    void clearLeavesNothing()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("{\\rtf1 text \\b bold}");
        editor.Clear();
        QCOMPARE(editor.Text(), "");
        QCOMPARE(editor.Lines().LineCount(), 0);
    }

    void linkClicks_data()
    {
        QTest::addColumn<Qt::MouseButton>("press");
        QTest::addColumn<Qt::MouseButton>("release");
        QTest::addColumn<int>("releaseAt");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("button");
        // "see http://a.example/x and www.b.example now"
        QTest::newRow("left") << Qt::LeftButton << Qt::LeftButton << 6 << 1 << int(mbLeft);
        QTest::newRow("right") << Qt::RightButton << Qt::RightButton << 6 << 1 << int(mbRight);
        QTest::newRow("left then right") << Qt::LeftButton << Qt::RightButton << 6 << 0 << 0;
        QTest::newRow("released on another link")
            << Qt::LeftButton << Qt::LeftButton << 28 << 0 << 0;
        QTest::newRow("middle") << Qt::MiddleButton << Qt::MiddleButton << 6 << 0 << 0;
    }
    void linkClicks()
    {
        QFETCH(Qt::MouseButton, press);
        QFETCH(Qt::MouseButton, release);
        QFETCH(int, releaseAt);
        QFETCH(int, clicks);
        QFETCH(int, button);
        TRichEditor editor;
        editor.Properties().setAutoURLDetect(true);
        test::prepare(editor);
        QList<Click> seen;
        editor.Properties().OnURLClick = [&seen](TRichEditor *, const QString &url,
                                                 TMouseButton b) {
            seen.append({url, b});
        };
        editor.setText("see http://a.example/x and www.b.example now");
        win::RichEditWindow *window = editor.InnerWindow();
        QWidget *viewport = win::TextViewOf(window)->viewport();
        QTest::mousePress(viewport, press, {}, test::pointOf(window, 8));
        QTest::mouseRelease(viewport, release, {}, test::pointOf(window, releaseAt));
        QCOMPARE(seen.size(), clicks);
        if (clicks > 0) {
            QCOMPARE(seen[0].url, "http://a.example/x");
            QCOMPARE(int(seen[0].button), button);
        }
        QCOMPARE(editor.LinkRange(), (win::CHARRANGE{-1, -1}));
    }

    // The link under the mouse is drawn in the hot-track colour, in the layout
    // only: not in the document's formats, not an edit, nothing to undo.
    void hotLinkColour()
    {
        TRichEditor editor;
        editor.Properties().setAutoURLDetect(true);
        editor.StyleHot.TextColor = QColor(Qt::red);
        test::prepare(editor);
        editor.setText("see http://a.example/x and www.b.example now");
        win::RichEditWindow *window = editor.InnerWindow();
        QWidget *viewport = win::TextViewOf(window)->viewport();
        const QTextBlock block = win::TextViewOf(window)->document()->firstBlock();
        const auto drawnColour = [&block](int position) {
            for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
                if (position >= range.start && position < range.start + range.length)
                    return range.format.foreground().color();
            }
            return QColor();
        };
        const auto moveTo = [viewport, window](int position) {
            const QPoint at = test::pointOf(window, position);
            QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
        };
        window->flush();
        const QColor normal = drawnColour(8);
        QVERIFY(normal.isValid() && normal != QColor(Qt::red));
        QSignalSpy changes(win::TextViewOf(window)->document(), &QTextDocument::contentsChange);

        moveTo(8);
        QCOMPARE(drawnColour(8), QColor(Qt::red));
        QCOMPARE(drawnColour(30), normal);
        QTextCursor stored(win::TextViewOf(window)->document());
        stored.setPosition(9);
        QVERIFY(!stored.charFormat().hasProperty(QTextFormat::ForegroundBrush));
        moveTo(30); // onto the other link
        QCOMPARE(drawnColour(8), normal);
        QCOMPARE(drawnColour(30), QColor(Qt::red));
        moveTo(1); // off every link
        QCOMPARE(drawnColour(30), normal);
        moveTo(30);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(viewport, &leave);
        QCOMPARE(drawnColour(30), normal);

        QCOMPARE(changes.count(), 0);
        QVERIFY(!window->canUndo());
        QCOMPARE(editor.Text(), "see http://a.example/x and www.b.example now");
    }

    void noLinkWithoutDetection()
    {
        TRichEditor editor;
        test::prepare(editor);
        int clicks = 0;
        editor.Properties().OnURLClick = [&clicks](TRichEditor *, const QString &, TMouseButton) {
            ++clicks;
        };
        editor.setText("http://a.example/");
        QTest::mouseClick(win::TextViewOf(editor.InnerWindow())->viewport(), Qt::LeftButton, {},
                          test::pointOf(editor.InnerWindow(), 3));
        QCOMPARE(clicks, 0);
    }

    void contextMenuStates_data()
    {
        QTest::addColumn<bool>("select");
        QTest::addColumn<bool>("type");
        QTest::addColumn<bool>("clipboard");
        QTest::addColumn<QString>("enabled"); // one letter per item: U R - T C P D - A
        QTest::newRow("nothing") << false << false << false << "000000001";
        QTest::newRow("selection") << true << false << false << "000110101";
        QTest::newRow("typed") << false << true << false << "100000001";
        QTest::newRow("clipboard") << false << false << true << "000001001";
    }
    void contextMenuStates()
    {
        QFETCH(bool, select);
        QFETCH(bool, type);
        QFETCH(bool, clipboard);
        QFETCH(QString, enabled);
        QApplication::clipboard()->clear();
        if (clipboard) {
            QApplication::clipboard()->setText("x");
        }
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("some text");
        if (type) {
            editor.setSelectionStart(9);
            QTest::keyClicks(win::TextViewOf(editor.InnerWindow()), "!");
        }
        if (select) {
            editor.setSelectionStart(0);
            editor.setSelectionLength(4);
        }
        editor.UpdateContextMenu();
        const QList<QAction *> actions = editor.ContextMenu()->actions();
        QCOMPARE(actions.size(), 9);
        const QStringList captions{"&Undo",  "&Redo",   "", "Cu&t",       "&Copy",
                                   "&Paste", "&Delete", "", "Select &All"};
        QString states;
        for (int i = 0; i < actions.size(); ++i) {
            QCOMPARE(actions[i]->isSeparator(), captions[i].isEmpty());
            QCOMPARE(actions[i]->text(), captions[i]);
            states += actions[i]->isSeparator() ? '0' : (actions[i]->isEnabled() ? '1' : '0');
        }
        QCOMPARE(states, enabled);
    }

    void selectAllFromMenu()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("ab\r\ncd");
        editor.UpdateContextMenu();
        editor.ContextMenu()->actions()[8]->trigger();
        QCOMPARE(editor.SelectionStart(), 0);
        QCOMPARE(editor.SelectionLength(), 5);
    }
};

QTEST_MAIN(TestRichEditorSelection)
#include "tst_richeditor_selection.moc"
