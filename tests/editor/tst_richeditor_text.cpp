// The editor control's content: loading, whole text, display lines and the
// rich edit window's creation.
#include "editortestutil.h"
#include "platform/richedit/richeditlib.h"
#include "platform/testing/richeditfailures.h"
#include "platform/testing/textview.h"
#include "runtime/exceptions.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace veskel;

namespace {

QByteArray armourFile()
{
    QByteArray bytes;
    for (int line = 0; line < 2500; ++line) {
        for (int i = 0; i < 80; ++i) {
            bytes +=
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-"[(line * 7 + i) %
                                                                                   64];
        }
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace

class TestRichEditorText : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: the libraries are loaded once per process.
    void noLibraryNoWindow()
    {
        for (const char *name : {"riched20.dll", "msftedit.dll", "riched32.dll"}) {
            win::SetLibraryLoadableForTesting(QString::fromLatin1(name), false);
        }
        TRichEditor editor;
        try {
            editor.InnerWindow();
            QFAIL("a window without a library");
        } catch (const EEditorError &error) {
            QCOMPARE(error.message(), QStringLiteral("Cannot load a RichEdit library"));
        }
        QVERIFY(!editor.HandleAllocated());
        for (const char *name : {"riched20.dll", "msftedit.dll", "riched32.dll"}) {
            win::SetLibraryLoadableForTesting(QString::fromLatin1(name), true);
        }
        QVERIFY(editor.InnerWindow() != nullptr);
    }

    void creationSettings()
    {
        TRichEditor editor;
        win::RichEditWindow *window = editor.InnerWindow();
        QCOMPARE(editor.RichEditVersion(), 200);
        QCOMPARE(window->eventMask(), win::DWORD(0x07AD0001));
        QCOMPARE(window->textLimit(), win::LONG(0x7FFFFFFF));
        QCOMPARE(window->getTextMode() & win::TM_RICHTEXT, win::LRESULT(win::TM_RICHTEXT));
        editor.Properties().setRichEditClass(recRichEdit10);
        QCOMPARE(editor.Properties().RichEditClass(), recRichEdit20);
    }

    void textAndLines_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<QString>("linesText");
        QTest::newRow("two paragraphs") << "ab\r\ncd"
                                        << "ab\r\ncd" << 2 << "ab\r\ncd\r\n";
        QTest::newRow("final break") << "ab\r\n"
                                     << "ab\r\n"
                                     << 1 << "ab\r\n";
        QTest::newRow("empty") << ""
                               << "" << 0 << "";
        QTest::newRow("lone LF and CR") << "a\nb\rc"
                                        << "a\r\nb\r\nc" << 3 << "a\r\nb\r\nc\r\n";
        QTest::newRow("empty paragraphs") << "\r\n\r\nx"
                                          << "\r\n\r\nx" << 3 << "\r\n\r\nx\r\n";
    }
    void textAndLines()
    {
        QFETCH(QString, content);
        QFETCH(QString, text);
        QFETCH(int, lineCount);
        QFETCH(QString, linesText);
        TRichEditor editor;
        test::prepare(editor);
        editor.setText(content);
        QCOMPARE(editor.Text(), text);
        QCOMPARE(editor.Lines().LineCount(), lineCount);
        QCOMPARE(editor.LinesText(), linesText);
    }

    void longLineIsCutInLinesText()
    {
        TRichEditor editor;
        editor.Properties().setWordWrap(false);
        test::prepare(editor);
        const QString line(5000, u'q');
        editor.setText(line);
        QCOMPARE(editor.LinesText(), line.left(4096) + "\r\n");
        QCOMPARE(editor.Text(), line);
    }

    void wrappedLinesAreLines()
    {
        TRichEditor editor;
        test::prepare(editor, 10);
        editor.setText("0123456789abcdefghij0123\r\nxy");
        QCOMPARE(editor.Lines().LineCount(), 4);
        QCOMPARE(editor.LinesText(), "0123456789\r\nabcdefghij\r\n0123\r\nxy\r\n");
    }

    void textWriteCutsAtNul_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("middle") << QString::fromUtf16(u"abc\0def", 7) << "abc";
        QTest::newRow("first") << QString::fromUtf16(u"\0abc", 4) << "";
        QTest::newRow("decrypted block")
            << QString("hello\r\nworld") + QString(99988, QChar(u'\0')) << "hello\r\nworld";
    }
    void textWriteCutsAtNul()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("previous");
        editor.setText(value);
        QCOMPARE(editor.Text(), text);
    }

    // Text that begins with exactly "{\rtf" is read as RTF, anything else as
    // the characters it holds.
    void rtfIsDetectedByItsFiveCharacters_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("format");
        QTest::newRow("rtf") << "{\\rtf1\\ansi hello \\b bold\\b0}"
                             << "hello bold" << win::SF_RTF;
        QTest::newRow("capitals") << "{\\RTF1 hello}"
                                  << "{\\RTF1 hello}" << (win::SF_TEXT | win::SF_UNICODE);
        QTest::newRow("leading blank") << " {\\rtf1 hello}"
                                       << " {\\rtf1 hello}" << (win::SF_TEXT | win::SF_UNICODE);
        QTest::newRow("latin-1 text")
            << QString::fromUtf16(u"caf\u00E9 \u00FF") << QString::fromUtf16(u"caf\u00E9 \u00FF")
            << (win::SF_TEXT | win::SF_UNICODE);
    }
    void rtfIsDetectedByItsFiveCharacters()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        QFETCH(uint, format);
        TRichEditor editor;
        test::prepare(editor);
        editor.setText(value);
        QCOMPARE(editor.Text(), text);
        QCOMPARE(editor.Lines().LastStreamFormat(), format);
    }

    void sameTextSendsNothing()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("unchanged\r\ntext");
        QSignalSpy changes(win::TextViewOf(editor.InnerWindow())->document(),
                           &QTextDocument::contentsChange);
        editor.setText("unchanged\r\ntext");
        QCOMPARE(changes.count(), 0);
        editor.setText("changed");
        QVERIFY(changes.count() > 0);
    }

    void loadFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii CR LF") << QByteArray("one\r\ntwo\r\n") << "one\r\ntwo\r\n";
        QTest::newRow("LF only") << QByteArray("one\ntwo") << "one\r\ntwo";
        QTest::newRow("utf-8") << QByteArray("caf\xC3\xA9") << QString::fromUtf16(u"caf\u00E9");
        QTest::newRow("windows-1252")
            << QByteArray("caf\xE9 \x80") << QString::fromUtf16(u"caf\u00E9 \u20AC");
        QTest::newRow("utf-16 with mark") << QByteArray("\xFF\xFE"
                                                        "a\0b\0",
                                                        6)
                                          << "ab";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("rtf") << QByteArray("{\\rtf1 Hi\\par there}") << "Hi\r\nthere";
    }
    void loadFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("old content");
        // The extension plays no part.
        editor.Lines().LoadFile(veskel::test::WriteIn(dir, "file.rtf", bytes));
        QCOMPARE(editor.Text(), text);
    }

    void documentFileReadsBackByteForByte()
    {
        QTemporaryDir dir;
        const QByteArray bytes = armourFile();
        TRichEditor editor;
        test::prepare(editor);
        editor.Lines().LoadFile(veskel::test::WriteIn(dir, "note.vsk", bytes));
        const QString text = editor.Text();
        QCOMPARE(text.size(), qsizetype(205000));
        QCOMPARE(text.toLatin1(), bytes);
        QCOMPARE(editor.Lines().LineCount(), 2500);
        QCOMPARE(editor.Lines().LastStreamFormat(), win::SF_RTF);
    }

    // Refused before a byte is read, and at once: a named pipe without a
    // writer must not hold the window.
    void loadFailures_data()
    {
        QTest::addColumn<QString>("name"); // in the temporary folder, or absolute
        QTest::addColumn<QString>("reason");
        const QString limit = QString::number(TRichEditStrings::MaxFileBytes / (1024 * 1024));
        QTest::newRow("missing") << "missing.vsk"
                                 << "No such file or directory.";
        QTest::newRow("folder") << "folder"
                                << "It is not a regular file (a folder).";
        QTest::newRow("named pipe") << "fifo"
                                    << "It is not a regular file (a named pipe).";
        QTest::newRow("link to a named pipe") << "link"
                                              << "It is not a regular file (a named pipe).";
        QTest::newRow("socket") << "socket"
                                << "It is not a regular file (a socket).";
        QTest::newRow("character device") << "/dev/zero"
                                          << "It is not a regular file (a character device).";
        QTest::newRow("one byte over the limit")
            << "large.txt"
            << QString("The file is larger than %1 MB, the most the editor opens.").arg(limit);
    }
    void loadFailures()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("folder");
        const QByteArray fifo = QFile::encodeName(dir.filePath("fifo"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QVERIFY(QFile::link(dir.filePath("fifo"), dir.filePath("link")));
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = QFile::encodeName(dir.filePath("socket"));
        QVERIFY(socketPath.size() < qsizetype(sizeof address.sun_path));
        std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
        QCOMPARE(::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QFile large(dir.filePath("large.txt"));
        // Sparse: no disk is used.
        QVERIFY(large.open(QIODevice::WriteOnly) &&
                large.resize(TRichEditStrings::MaxFileBytes + 1));
        large.close();

        TRichEditor editor;
        test::prepare(editor);
        editor.setText("kept");
        const QString path = QDir(dir.path()).filePath(name);
        try {
            editor.Lines().LoadFile(path);
            QFAIL("no error");
        } catch (const EFOpenError &error) {
            QCOMPARE(error.message(), QString("Cannot open file \"%1\". %2").arg(path, reason));
        }
        ::close(socket);
        QCOMPARE(editor.Text(), "kept");
    }

    // Plain data with NUL bytes is no 8-bit text: it is read as UTF-16.
    void nulBytesAreReadAsUtf16()
    {
        QTemporaryDir dir;
        TRichEditor editor;
        test::prepare(editor);
        editor.Lines().LoadFile(veskel::test::WriteIn(dir, "x", QByteArray("h\0i\0", 4)));
        QCOMPARE(editor.Text(), "hi");
        QCOMPARE(editor.Lines().LastStreamFormat(), win::SF_TEXT | win::SF_UNICODE);
    }

    // Hostile plain data: one line as large as the largest file opened loads
    // whole and the editor still answers.
    void longestLine()
    {
        QTemporaryDir dir;
        TRichEditor editor;
        test::prepare(editor);
        const QByteArray line(TRichEditStrings::MaxFileBytes, 'w');
        editor.Lines().LoadFile(veskel::test::WriteIn(dir, "line.txt", line));
        QCOMPARE(editor.Text().size(), line.size());
        QVERIFY(editor.Lines().LineCount() > 1);
        const int near = static_cast<int>(line.size()) - 5000;
        QCOMPARE(editor.Find("ww", near, 1000), near);
    }

    void recreationKeepsContent()
    {
        TRichEditor editor;
        test::prepare(editor);
        editor.setText("{\\rtf1\\ansi plain \\b bold\\b0\\par second}");
        QPointer<win::RichEditWindow> before = editor.InnerWindow();
        editor.Properties().setAutoURLDetect(!editor.Properties().AutoURLDetect());
        win::RichEditWindow *after = editor.InnerWindow();
        QVERIFY(before.isNull()); // a new window
        QCOMPARE(editor.Text(), "plain bold\r\nsecond");
        QTextCursor cursor(win::TextViewOf(after)->document());
        cursor.setPosition(8);
        QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Bold));
        QCOMPARE(after->eventMask(), win::DWORD(0x07AD0001));
        QCOMPARE(after->autoUrlDetecting(), editor.Properties().AutoURLDetect());
    }
};

QTEST_MAIN(TestRichEditorText)
#include "tst_richeditor_text.moc"
