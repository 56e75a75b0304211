// The RTF writer: what it writes, and that the reader gives the same document
// back.
#include "platform/rtf/rtfwriter.h"
#include "rtftestutil.h"

#include <QImage>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>

using namespace win;
using namespace veskel::test;

namespace {

QString colourName(const QBrush &brush, bool given)
{
    return given && brush.style() != Qt::NoBrush ? brush.color().name() : QStringLiteral("-");
}

// What the writer keeps of a character's format, as text to compare.
QString describe(const QTextCharFormat &f)
{
    if (f.isImageFormat()) {
        const QTextImageFormat image = f.toImageFormat();
        return QStringLiteral("image %1x%2").arg(image.width()).arg(image.height());
    }
    return QStringLiteral("b%1 i%2 u%3 s%4 v%5 pt%6 [%7] fg%8 bg%9")
        .arg(f.fontWeight() >= QFont::DemiBold)
        .arg(f.fontItalic())
        .arg(f.fontUnderline())
        .arg(f.fontStrikeOut())
        .arg(int(f.verticalAlignment()))
        .arg(f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : 0.0)
        .arg(f.property(QTextFormat::FontFamilies).toStringList().value(0))
        .arg(colourName(f.foreground(), f.hasProperty(QTextFormat::ForegroundBrush)))
        .arg(colourName(f.background(), f.hasProperty(QTextFormat::BackgroundBrush)));
}

// RTF's alignments are those of left-to-right paragraphs, where AlignAbsolute
// changes nothing; it is not kept.
QString describe(const QTextBlockFormat &f)
{
    const int alignment = int(f.alignment() & ~Qt::AlignAbsolute);
    return QStringLiteral("a%1 l%2 r%3 fi%4")
        .arg(f.hasProperty(QTextFormat::BlockAlignment) ? alignment : 0)
        .arg(f.leftMargin())
        .arg(f.rightMargin())
        .arg(f.textIndent());
}

// Every paragraph's format and every character's, in order.
QStringList formatsOf(QTextDocument &document)
{
    QStringList formats;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        formats << describe(block.blockFormat());
        QTextCursor cursor(block);
        for (int i = 0; i < block.length() - 1; ++i) {
            cursor.setPosition(block.position() + i + 1);
            formats << describe(cursor.charFormat());
        }
    }
    return formats;
}

QImage testImage()
{
    QImage image(5, 4, QImage::Format_ARGB32);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x)
            image.setPixelColor(x, y, QColor(x * 50, y * 60, 100, 255));
    }
    return image;
}

} // namespace

class TestRtfWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("content");

        const auto plain = [](const char *name, const QString &text) {
            QTest::newRow(name) << false << text;
        };
        const auto html = [](const char *name, const char *markup) {
            QTest::newRow(name) << true << QString::fromUtf8(markup);
        };
        plain("empty", QString());
        plain("one line", QStringLiteral("Hello, world"));
        plain("only a break", QStringLiteral("\n"));
        plain("paragraphs", QStringLiteral("one\ntwo\nthree"));
        plain("empty paragraphs", QStringLiteral("\n\na\n\n\nb\n\n"));
        plain("blanks", QStringLiteral("  lead and trail  \n \n"));
        plain("tab, line separator", QString::fromUtf16(u"a\tb\u2028c\t"));
        plain("RTF's own characters", QStringLiteral("\\par {b} \\'41 \\u65?"));
        plain("1252 and beyond",
              QString::fromUtf16(u"caf\u00E9 \u20AC \u0411 \u4F60 \U0001F600 \u2014 \u00FF"));
        plain("no-break characters", QString::fromUtf16(u"a\u00A0b\u00ADc\u2011d"));
        plain("digits after a word", QStringLiteral("1\n2\t3"));
        html("character formats", "<b>b</b><i>i</i><u>u</u><s>s</s>x<sub>2</sub>y<sup>3</sup>"
                                  "<b><i><u>all</u></i></b>");
        html("fonts and sizes",
             "<span style=\"font-family:'Courier New'; font-size:18pt\">c</span> "
             "<span style=\"font-size:7.5pt\">small</span> plain "
             "<span style=\"font-family:Serif\">s</span><span style=\"font-size:20pt\">b</span>");
        html("colours", "<span style=\"color:#ff0000\">red</span>"
                        "<span style=\"background-color:#00ff00\">green</span>"
                        "<span style=\"color:#0000ff; background-color:#ffff00\">both</span>"
                        "<span style=\"color:#ff0000\">red again</span>none");
        html("alignment", "<p align=center>c</p><p align=right>r</p><p align=justify>j</p>"
                          "<p align=left>l</p><p>none</p>");
        html("indents", "<p style=\"margin-left:20px; margin-right:10px; text-indent:-15px\">x</p>"
                        "<p>plain</p><p style=\"margin-left:40px\">y</p>");
        html("formats across paragraphs",
             "<p><b>bold</b></p><p align=center>plain <i>it</i></p><p><b>b</b></p>");
    }
    void roundTrip()
    {
        QFETCH(bool, html);
        QFETCH(QString, content);
        QTextDocument original;
        if (html)
            original.setHtml(content);
        else
            original.setPlainText(content);

        const QByteArray rtf = WriteRtf(original);
        QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252"));
        QVERIFY(std::all_of(rtf.begin(), rtf.end(), [](char c) { return uchar(c) < 0x80; }));

        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        QCOMPARE(copy.toPlainText(), original.toPlainText());
        QCOMPARE(textOf(copy), textOf(original));
        QCOMPARE(formatsOf(copy), formatsOf(original));
        // Written again, the copy gives the same RTF.
        QCOMPARE(WriteRtf(copy), rtf);
    }

    void characters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("ASCII") << QStringLiteral("Abc 1") << QByteArray(" Abc 1\\par");
        QTest::newRow("1252 letter") << QString::fromUtf16(u"\u00E9") << QByteArray("\\'e9");
        QTest::newRow("1252 euro") << QString::fromUtf16(u"\u20AC") << QByteArray("\\'80");
        QTest::newRow("not in 1252") << QString::fromUtf16(u"\u0411") << QByteArray("\\u1041?");
        QTest::newRow("above 32767") << QString::fromUtf16(u"\uFFFD") << QByteArray("\\u-3?");
        QTest::newRow("surrogate pair")
            << QString::fromUtf16(u"\U0001F600") << QByteArray("\\u-10179?\\u-8704?");
        QTest::newRow("backslash, braces") << QStringLiteral("\\{}") << QByteArray("\\\\\\{\\}");
        QTest::newRow("tab, line")
            << QString::fromUtf16(u"a\tb\u2028c") << QByteArray("a\\tab b\\line c");
        QTest::newRow("no-break space") << QString::fromUtf16(u"a\u00A0b") << QByteArray("a\\~b");
        QTest::newRow("paragraphs") << QStringLiteral("a\nb") << QByteArray("a\\par\n\\pard b");
    }
    void characters()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        QTextDocument document;
        document.setPlainText(text);
        const QByteArray rtf = WriteRtf(document);
        QVERIFY2(rtf.contains(written), rtf.constData());
    }

    void range_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("text");
        // "abc\ndef\nghi": the breaks are at positions 3 and 7; the content ends at 11.
        QTest::newRow("all") << 0 << -1 << "abc\ndef\nghi";
        QTest::newRow("all, explicit end") << 0 << 11 << "abc\ndef\nghi";
        QTest::newRow("across a break") << 1 << 6 << "bc\nde";
        QTest::newRow("a paragraph's text") << 0 << 3 << "abc";
        QTest::newRow("a paragraph and its break") << 0 << 4 << "abc\n";
        QTest::newRow("just a break") << 3 << 4 << "\n";
        QTest::newRow("two breaks") << 3 << 8 << "\ndef\n";
        QTest::newRow("middle") << 5 << 6 << "e";
        QTest::newRow("empty") << 5 << 5 << "";
        QTest::newRow("tail") << 9 << -1 << "hi";
        QTest::newRow("clamped") << -5 << 100 << "abc\ndef\nghi";
        QTest::newRow("start after end") << 6 << 2 << "";
    }
    void range()
    {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(QString, text);
        QTextDocument document;
        document.setPlainText(QStringLiteral("abc\ndef\nghi"));
        QTextDocument copy;
        QVERIFY(readInto(copy, WriteRtf(document, start, end)));
        QCOMPARE(textOf(copy), text);
    }

    // A selection keeps its formats, and pasting it into a paragraph keeps that
    // paragraph's own format.
    void rangePastedIntoAParagraph()
    {
        QTextDocument source;
        source.setHtml(QStringLiteral("<p align=center>ab<b>cd</b>ef</p><p>gh</p>"));
        QTextDocument target;
        target.setPlainText(QStringLiteral("XY"));
        QTextCursor cursor(&target);
        cursor.setPosition(1);
        QVERIFY(ReadRtf(WriteRtf(source, 1, 5), cursor));
        QCOMPARE(textOf(target), QStringLiteral("XbcdeY"));
        QCOMPARE(target.firstBlock().blockFormat().hasProperty(QTextFormat::BlockAlignment), false);
        QTextCursor at(&target);
        at.setPosition(2); // the format of the character before: 'b'
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Normal));
        at.setPosition(4); // 'd'
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Bold));
        at.setPosition(5); // 'e'
        QCOMPARE(at.charFormat().fontWeight(), int(QFont::Normal));
    }

    void image_data()
    {
        QTest::addColumn<QSizeF>("given"); // negative: not set
        QTest::addColumn<QSizeF>("shown");
        QTest::newRow("own size") << QSizeF(-1, -1) << QSizeF(5, 4);
        QTest::newRow("both sides") << QSizeF(50, 20) << QSizeF(50, 20);
        QTest::newRow("width only") << QSizeF(10, -1) << QSizeF(10, 8);
        QTest::newRow("height only") << QSizeF(-1, 8) << QSizeF(10, 8);
    }
    void image()
    {
        QFETCH(QSizeF, given);
        QFETCH(QSizeF, shown);
        QTextDocument document;
        const QUrl url(QStringLiteral("test:picture"));
        document.addResource(QTextDocument::ImageResource, url, testImage());
        QTextCursor cursor(&document);
        cursor.insertText(QStringLiteral("a"));
        QTextImageFormat format;
        format.setName(url.toString());
        if (given.width() >= 0)
            format.setWidth(given.width());
        if (given.height() >= 0)
            format.setHeight(given.height());
        cursor.insertImage(format);
        cursor.insertText(QStringLiteral("b"));

        const QByteArray rtf = WriteRtf(document);
        QVERIFY(rtf.contains("{\\pict\\pngblip"));
        QVERIFY(std::all_of(rtf.begin(), rtf.end(), [](char c) { return uchar(c) < 0x80; }));
        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        QCOMPARE(textOf(copy), QString::fromUtf16(u"a\uFFFCb"));
        QTextCursor at(&copy);
        at.setPosition(2);
        QVERIFY(at.charFormat().isImageFormat());
        const QTextImageFormat read = at.charFormat().toImageFormat();
        QCOMPARE(QSizeF(read.width(), read.height()), shown);
        const QImage image =
            copy.resource(QTextDocument::ImageResource, QUrl(read.name())).value<QImage>();
        QCOMPARE(image.convertToFormat(QImage::Format_ARGB32), testImage());
    }

    // Object characters without a picture (no resource, or not an image) write
    // nothing, and the text around them is whole.
    void objectsWithoutPicture()
    {
        QTextDocument document;
        QTextCursor cursor(&document);
        cursor.insertText(QStringLiteral("a"));
        QTextImageFormat missing;
        missing.setName(QStringLiteral("test:missing"));
        cursor.insertImage(missing);
        QTextCharFormat object;
        object.setObjectType(QTextFormat::UserObject + 1);
        cursor.insertText(QString(QChar::ObjectReplacementCharacter), object);
        cursor.insertText(QStringLiteral("b"), QTextCharFormat());

        const QByteArray rtf = WriteRtf(document);
        QVERIFY(!rtf.contains("\\pict"));
        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        QCOMPARE(textOf(copy), QStringLiteral("ab"));
    }

    // Indent levels are written as part of the left indent.
    void indentLevels()
    {
        QTextDocument document;
        document.setIndentWidth(30);
        QTextCursor cursor(&document);
        QTextBlockFormat format;
        format.setIndent(2);
        format.setLeftMargin(5);
        cursor.setBlockFormat(format);
        cursor.insertText(QStringLiteral("x"));
        const QByteArray rtf = WriteRtf(document);
        QVERIFY2(rtf.contains("\\li975"), rtf.constData());
        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        QCOMPARE(copy.firstBlock().blockFormat().leftMargin(), 65.0);
    }
};

QTEST_MAIN(TestRtfWriter)
#include "tst_rtfwriter.moc"
