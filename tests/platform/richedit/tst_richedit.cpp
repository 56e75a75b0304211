// The rich edit window's messages: streams, text, lines, gathered edits.
#include "platform/richedit/links.h"
#include "platform/richedit/richedit.h"
#include "platform/testing/textview.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

#include <cstring>
#include <vector>

using namespace win;

namespace {

struct Source
{
    QByteArray data;
    qsizetype offset = 0;
    int calls = 0;
    DWORD failOnCall = 0; // 1-based; 0 never
};

DWORD readSource(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG *count)
{
    auto *source = reinterpret_cast<Source *>(cookie);
    ++source->calls;
    if (source->failOnCall != 0 && DWORD(source->calls) == source->failOnCall) {
        *count = 0;
        return 7;
    }
    const qsizetype n = std::min<qsizetype>(size, source->data.size() - source->offset);
    std::memcpy(buffer, source->data.constData() + source->offset, static_cast<std::size_t>(n));
    source->offset += n;
    *count = static_cast<LONG>(n);
    return 0;
}

DWORD collect(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG *count)
{
    reinterpret_cast<QByteArray *>(cookie)->append(reinterpret_cast<const char *>(buffer), size);
    *count = size;
    return 0;
}

LRESULT streamIn(RichEditWindow &window, UINT format, Source &source, DWORD *error = nullptr)
{
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, &readSource};
    const LRESULT result = window.streamIn(format, stream);
    if (error != nullptr) {
        *error = stream.dwError;
    }
    return result;
}

QString text(RichEditWindow &window, DWORD flags = GT_USECRLF)
{
    std::vector<WCHAR> buffer(
        static_cast<std::size_t>(window.getTextLengthEx({GTL_USECRLF, 1200})) + 1);
    const LRESULT n =
        window.getTextEx({DWORD(buffer.size() * 2), flags, 1200, nullptr, nullptr}, buffer.data());
    return QString(reinterpret_cast<const QChar *>(buffer.data()), n);
}

void setText(RichEditWindow &window, const QString &value)
{
    window.setWindowText(reinterpret_cast<const WCHAR *>(value.utf16()));
}

} // namespace

class TestRichEdit : public QObject
{
    Q_OBJECT

private slots:
    void streamFormats_data()
    {
        QTest::addColumn<uint>("format");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<uint>("error");
        QTest::newRow("rtf") << SF_RTF << QByteArray("{\\rtf1 a\\par b}") << "a\r\nb" << 0u;
        QTest::newRow("plain under rtf")
            << SF_RTF << QByteArray("a\r\nb\nc\rd") << "a\r\nb\r\nc\r\nd" << 0u;
        QTest::newRow("nul under rtf") << SF_RTF << QByteArray("a\0b", 3) << "old" << 87u;
        QTest::newRow("unicode text")
            << (SF_TEXT | SF_UNICODE) << QByteArray("a\0\r\0\n\0b\0", 8) << "a\r\nb" << 0u;
        QTest::newRow("ansi text")
            << SF_TEXT << QByteArray("\xE9t\xE9") << QString::fromUtf16(u"\u00E9t\u00E9") << 0u;
        QTest::newRow("long data")
            << SF_RTF << QByteArray("x").repeated(100000) << QString(100000, u'x') << 0u;
    }
    void streamFormats()
    {
        QFETCH(uint, format);
        QFETCH(QByteArray, data);
        QFETCH(QString, expected);
        QFETCH(uint, error);
        RichEditWindow window(ES_MULTILINE);
        setText(window, "old");
        Source source{data};
        DWORD got = 0;
        streamIn(window, format, source, &got);
        QCOMPARE(got, DWORD(error));
        QCOMPARE(text(window), expected);
    }

    // A callback's non-zero result ends the stream with that error; the content
    // stays as it was.
    void callbackErrorEndsStream()
    {
        RichEditWindow window(ES_MULTILINE);
        setText(window, "keep");
        Source source{QByteArray("y").repeated(10000), 0, 0, 2};
        DWORD error = 0;
        streamIn(window, SF_RTF, source, &error);
        QCOMPARE(error, DWORD(7));
        QCOMPARE(source.calls, 2);
        QCOMPARE(text(window), "keep");
    }

    void streamIntoSelection()
    {
        RichEditWindow window(ES_MULTILINE);
        setText(window, "abcd");
        window.setSel(1, 3);
        Source source{QByteArray("XY\r\nZ")};
        streamIn(window, SF_RTF | SFF_SELECTION, source);
        QCOMPARE(text(window), "aXY\r\nZd");
    }

    void streamOutAndBack()
    {
        RichEditWindow window(ES_MULTILINE);
        Source source{QByteArray("{\\rtf1\\ansi one \\b two\\b0\\par three \\u8364?}")};
        streamIn(window, SF_RTF, source);
        QByteArray rtf;
        EDITSTREAM out{reinterpret_cast<DWORD_PTR>(&rtf), 0, &collect};
        window.streamOut(SF_RTF, out);
        QCOMPARE(out.dwError, DWORD(0));
        QVERIFY(rtf.startsWith("{\\rtf"));
        RichEditWindow copy(ES_MULTILINE);
        Source again{rtf};
        streamIn(copy, SF_RTF, again);
        QCOMPARE(text(copy), text(window));
        QCOMPARE(text(copy), QString::fromUtf16(u"one two\r\nthree \u20AC"));
        QByteArray plain;
        EDITSTREAM outText{reinterpret_cast<DWORD_PTR>(&plain), 0, &collect};
        window.streamOut(SF_TEXT, outText);
        QCOMPARE(plain, QByteArray("one two\r\nthree \x80"));
    }

    void textLengths()
    {
        RichEditWindow window(ES_MULTILINE);
        setText(window, "ab\r\ncd\r\n");
        QCOMPARE(window.getTextLengthEx({GTL_DEFAULT, 1200}), LRESULT(6));
        QCOMPARE(window.getTextLengthEx({GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, 1200}),
                 LRESULT(8));
        QCOMPARE(text(window, GT_DEFAULT), "ab\rcd\r");
        QCOMPARE(window.getWindowTextLength(), LRESULT(8));
        WCHAR small[4] = {};
        QCOMPARE(window.getTextEx({sizeof small, GT_USECRLF, 1200, nullptr, nullptr}, small),
                 LRESULT(3));
        QCOMPARE(QString::fromUtf16(small), "ab\r");
    }

    // An unbroken run too long to wrap at word boundaries quickly makes the
    // window wrap anywhere; a new content without one goes back.
    void longRunsWrapAnywhere_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("anywhere");
        const QString words = QString("a few words ").repeated(5000);
        QTest::newRow("long paragraph of words") << words << "" << false;
        QTest::newRow("one long run") << QString(200000, u'x') << "" << true;
        QTest::newRow("run grown by a paste")
            << words + QString(4000, u'y') << QString(2000, u'z') << true;
    }
    void longRunsWrapAnywhere()
    {
        QFETCH(QString, content);
        QFETCH(QString, typed);
        QFETCH(bool, anywhere);
        RichEditWindow window(ES_MULTILINE);
        setText(window, content);
        QTextCursor end(win::TextViewOf(&window)->document());
        end.movePosition(QTextCursor::End);
        end.insertText(typed);
        QCOMPARE(win::TextViewOf(&window)->wordWrapMode() == QTextOption::WrapAnywhere, anywhere);
        setText(window, "short words again");
        QCOMPARE(win::TextViewOf(&window)->wordWrapMode(),
                 QTextOption::WrapAtWordBoundaryOrAnywhere);
    }

    void textRange()
    {
        RichEditWindow window(ES_MULTILINE);
        setText(window, "ab\r\ncd");
        WCHAR buffer[8] = {};
        TEXTRANGEW range{{1, 4}, buffer};
        QCOMPARE(window.getTextRange(range), LRESULT(3));
        QCOMPARE(QString::fromUtf16(buffer), "b\rc");
        TEXTRANGEW rest{{3, -1}, buffer};
        QCOMPARE(window.getTextRange(rest), LRESULT(2));
    }

    void textModeOnlyWhenEmpty()
    {
        RichEditWindow window(ES_MULTILINE);
        setText(window, "x");
        QVERIFY(window.setTextMode(TM_PLAINTEXT) != 0);
        setText(window, "");
        QCOMPARE(window.setTextMode(TM_PLAINTEXT | TM_MULTILEVELUNDO), LRESULT(0));
        QCOMPARE(window.getTextMode(), LRESULT(TM_PLAINTEXT | TM_MULTILEVELUNDO));
    }

    void getLineHonoursBufferSize()
    {
        RichEditWindow window(ES_MULTILINE);
        window.resize(800, 200);
        setText(window, "first\r\nsecond");
        WCHAR buffer[16] = {};
        buffer[0] = 3;
        QCOMPARE(window.getLine(0, buffer), LRESULT(3));
        QCOMPARE(QString::fromUtf16(buffer, 3), "fir");
        buffer[0] = 16;
        QCOMPARE(window.getLine(0, buffer), LRESULT(6));
        QCOMPARE(QString::fromUtf16(buffer, 6), "first\r");
        buffer[0] = 16;
        QCOMPARE(window.getLine(1, buffer), LRESULT(6)); // the last paragraph has no break
        buffer[0] = 16;
        QCOMPARE(window.getLine(2, buffer), LRESULT(0));
        QCOMPARE(window.lineLength(2), LRESULT(5));
        QCOMPARE(window.lineLength(8), LRESULT(6));
    }

    // Edits through messages are gathered: the layout waits, positions do not.
    void gatheredEditsKeepPositions()
    {
        RichEditWindow window(ES_MULTILINE);
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        setText(window, "0123456789");
        QSignalSpy changes(win::TextViewOf(&window)->document(), &QTextDocument::contentsChange);
        for (int i = 0; i < 5; ++i) {
            window.setSel(i * 2, i * 2 + 1);
            window.replaceSel(FALSE, "ab");
            CHARRANGE range{};
            window.exGetSel(range);
            QCOMPARE(range.cpMin, 2 * i + 2); // after the inserted text
            QCOMPARE(range.cpMax, range.cpMin);
        }
        QCOMPARE(changes.count(), 0); // one edit block, still open
        QCoreApplication::processEvents();
        QCOMPARE(changes.count(), 1);
        QCOMPARE(text(window), "ababababab56789");
        QCOMPARE(win::TextViewOf(&window)->textCursor().position(), 10);
    }

    void findLinks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("links");
        QTest::newRow("http") << "see http://example.com." << QStringList{"http://example.com"};
        QTest::newRow("https with path")
            << "(https://a.b/c?d=e&f)" << QStringList{"https://a.b/c?d=e&f"};
        QTest::newRow("www") << "go to www.example.org, now" << QStringList{"www.example.org"};
        QTest::newRow("mailto") << "mailto:me@example.com" << QStringList{"mailto:me@example.com"};
        QTest::newRow("two") << "ftp://x.y file:///tmp/a"
                             << QStringList{"ftp://x.y", "file:///tmp/a"};
        QTest::newRow("scheme alone") << "http: and www." << QStringList{};
        QTest::newRow("no link") << "time 10:30 ok" << QStringList{};
        QTest::newRow("armour") << "ABCDEFabcdef0123+-" << QStringList{};
    }
    void findLinks()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, links);
        QStringList found;
        for (const TextSpan &span : FindLinks(text)) {
            found << text.mid(span.start, span.length);
        }
        QCOMPARE(found, links);
    }

    // Link formatting is display only: nothing to undo, no change of content.
    void linkFormatsAreNotContent()
    {
        RichEditWindow window(ES_MULTILINE);
        window.autoUrlDetect(TRUE);
        setText(window, "a http://example.com b");
        QVERIFY(!window.canUndo());
        QTextCursor cursor(win::TextViewOf(&window)->document());
        cursor.setPosition(5);
        QVERIFY(!cursor.charFormat().fontUnderline());
        const QList<QTextLayout::FormatRange> formats =
            win::TextViewOf(&window)->document()->firstBlock().layout()->formats();
        QCOMPARE(formats.size(), 1);
        QCOMPARE(formats[0].start, 2);
        QCOMPARE(formats[0].length, 18);
        QCOMPARE(window.linkAt(10), (CHARRANGE{2, 20}));
        QCOMPARE(window.linkAt(1), (CHARRANGE{-1, -1}));
    }
};

QTEST_MAIN(TestRichEdit)
#include "tst_richedit.moc"
