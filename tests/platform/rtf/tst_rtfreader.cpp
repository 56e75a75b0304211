// The RTF reader: text, formats, code pages, destinations, pictures, and
// hostile input.
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

QImage testImage()
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(QColor(200, 10, 20));
    image.setPixelColor(2, 1, QColor(0, 0, 255));
    return image;
}

// The head of the documents whose formats are tested.
const QByteArray kTables =
    R"({\rtf1\ansi\deff0{\fonttbl{\f0\fnil Arial;}{\f1\fmodern Courier New;}})"
    R"({\colortbl;\red255\green0\blue0;\red0\green0\blue255;})";

} // namespace

class TestRtfReader : public QObject
{
    Q_OBJECT

private slots:
    void text_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");

        QTest::newRow("plain") << QByteArray(R"({\rtf1\ansi Hello, world})") << "Hello, world";
        QTest::newRow("delimiter space is consumed") << QByteArray(R"({\rtf1 \b  x})") << " x";
        QTest::newRow("line ends are not text") << QByteArray("{\\rtf1 a\r\nb\nc\rd}") << "abcd";
        QTest::newRow("par") << QByteArray(R"({\rtf1 a\par b})") << "a\nb";
        QTest::newRow("final par adds no paragraph") << QByteArray(R"({\rtf1 a\par})") << "a";
        QTest::newRow("final par, line end after") << QByteArray("{\\rtf1 a\\par\r\n}") << "a";
        QTest::newRow("a blank after the final par is text")
            << QByteArray("{\\rtf1 a\\par\r\n }") << "a\n ";
        QTest::newRow("two final pars") << QByteArray(R"({\rtf1 a\par\par})") << "a\n";
        QTest::newRow("par first") << QByteArray(R"({\rtf1 \par a})") << "\na";
        QTest::newRow("backslash line end is par") << QByteArray("{\\rtf1 a\\\nb}") << "a\nb";
        QTest::newRow("sect after par adds none")
            << QByteArray(R"({\rtf1 a\par\sect b})") << "a\nb";
        QTest::newRow("line, tab")
            << QByteArray(R"({\rtf1 a\line b\tab c})") << QString::fromUtf16(u"a\u2028b\tc");
        QTest::newRow("raw tab") << QByteArray("{\\rtf1 a\tb}") << "a\tb";
        QTest::newRow("table cells")
            << QByteArray(R"({\rtf1 \trowd a\cell b\cell\row c})") << "a\tb\nc";
        QTest::newRow("escapes") << QByteArray(R"({\rtf1 \{a\}\\})") << "{a}\\";
        QTest::newRow("special words")
            << QByteArray(R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})")
            << QString::fromUtf16(u"\u2014\u2013\u2022\u2018\u2019\u201C\u201D");
        QTest::newRow("special symbols")
            << QByteArray(R"({\rtf1 a\~b\-c\_d})") << QString::fromUtf16(u"a\u00A0b\u00ADc\u2011d");
        QTest::newRow("hex in 1252") << QByteArray(R"({\rtf1\ansi caf\'e9 \'80})")
                                     << QString::fromUtf16(u"caf\u00E9 \u20AC");
        QTest::newRow("raw 8-bit byte")
            << QByteArray("{\\rtf1 caf\xe9}") << QString::fromUtf16(u"caf\u00E9");
        QTest::newRow("ansicpg 1251") << QByteArray(R"({\rtf1\ansi\ansicpg1251 \'c0\'e1})")
                                      << QString::fromUtf16(u"\u0410\u0431");
        QTest::newRow("unknown ansicpg keeps 1252")
            << QByteArray(R"({\rtf1\ansicpg4242 \'e9})") << QString::fromUtf16(u"\u00E9");
        QTest::newRow("fcharset 204 and 0")
            << QByteArray(R"({\rtf1\ansi{\fonttbl{\f0\fcharset204 A;}{\f1\fcharset0 B;}})"
                          R"(\f0\'c0\f1\'c0})")
            << QString::fromUtf16(u"\u0410\u00C0");
        QTest::newRow("fcharset 161 Greek")
            << QByteArray(R"({\rtf1{\fonttbl{\f3\fcharset161 G;}}\f3\'e1})")
            << QString::fromUtf16(u"\u03B1");
        QTest::newRow("fcharset 238 Central European")
            << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset238 C;}}\f0\'b9})")
            << QString::fromUtf16(u"\u0105");
        QTest::newRow("deff font's charset")
            << QByteArray(R"({\rtf1\deff0{\fonttbl{\f0\fcharset204 X;}}\'c0})")
            << QString::fromUtf16(u"\u0410");
        QTest::newRow("Shift_JIS, trail as a plain char")
            << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset128 M;}}\f0\'82\'a0\'83e})")
            << QString::fromUtf16(u"\u3042\u30C6");
        QTest::newRow("Shift_JIS, escaped backslash as trail")
            << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset128 M;}}\f0\'95\\\\})")
            << QString::fromUtf16(u"\u8868\\");
        QTest::newRow("Mac character sets")
            << QByteArray(
                   R"({\rtf1\mac{\fonttbl{\f0\fcharset79 K;}{\f1\fcharset80 S;}{\f2\fcharset81 T;})"
                   R"({\f3\fcharset85 G;}{\f4\fcharset86 R;}{\f5\fcharset88 E;}{\f6\fcharset89 C;}})"
                   R"(\f0\'c7\'d1\f1\'c4\'e3\f2\'a4@\f3\'e1\f4\'db\f5\'88\f6\'86})")
            << QString::fromUtf16(u"\uD55C\u4F60\u4E00\u03B1\u011F\u0105\u0416");
        QTest::newRow("ansicpg 65001")
            << QByteArray(R"({\rtf1\ansicpg65001 \'e2\'82\'ac})") << QString::fromUtf16(u"\u20AC");
        QTest::newRow("GBK") << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset134 S;}}\f0\'c4\'e3})")
                             << QString::fromUtf16(u"\u4F60");
        QTest::newRow("u") << QByteArray(R"({\rtf1 \u1041?x})") << QString::fromUtf16(u"\u0411x");
        QTest::newRow("u negative")
            << QByteArray(R"({\rtf1 \u-3913?})") << QString::fromUtf16(u"\uF0B7");
        QTest::newRow("u surrogate pair")
            << QByteArray(R"({\rtf1 \u-10179?\u-8704?})") << QString::fromUtf16(u"\U0001F600");
        QTest::newRow("uc0") << QByteArray(R"({\rtf1\uc0 \u1041 x})")
                             << QString::fromUtf16(u"\u0411x");
        QTest::newRow("uc2, hex fallback")
            << QByteArray(R"({\rtf1\uc2 \u1041\'c1\'a1x})") << QString::fromUtf16(u"\u0411x");
        QTest::newRow("uc1, plain fallback")
            << QByteArray(R"({\rtf1 \u1041 ax})") << QString::fromUtf16(u"\u0411x");
        QTest::newRow("fallback ends at a group")
            << QByteArray(R"({\rtf1 {\uc3\u1041?}x})") << QString::fromUtf16(u"\u0411x");
        QTest::newRow("uc is scoped by groups") << QByteArray(R"({\rtf1 {\uc2\u1041??}\u1041?x})")
                                                << QString::fromUtf16(u"\u0411\u0411x");
        QTest::newRow("control word counts as one fallback")
            << QByteArray(R"({\rtf1\uc2 \u1041\'c1\par x})") << QString::fromUtf16(u"\u0411x");
        QTest::newRow("unknown words")
            << QByteArray(R"({\rtf1 \foo a\bar-12 b\zzz1234567 c})") << "abc";
        QTest::newRow("bin in text is not shown") << QByteArray(R"({\rtf1 a\bin3 x}zb})") << "ab";
        QTest::newRow("ends with the document group") << QByteArray(R"({\rtf1 a}b)") << "a";
        QTest::newRow("missing closing braces") << QByteArray(R"({\rtf1 {\b a)") << "a";
        QTest::newRow("backslash at the end") << QByteArray("{\\rtf1 a\\") << "a";
        QTest::newRow("unknown starred destination")
            << QByteArray(R"({\rtf1 a{\*\foo b}c})") << "ac";
        QTest::newRow("field shows its result")
            << QByteArray(R"({\rtf1 {\field{\*\fldinst HYPERLINK "http://x.org"})"
                          R"({\fldrslt {\ul link}}}})")
            << "link";
        QTest::newRow("field, unstarred instruction")
            << QByteArray(R"({\rtf1 {\field{\fldinst PAGE}{\fldrslt 7}}})") << "7";
        QTest::newRow("object shows its result")
            << QByteArray(R"({\rtf1 {\object\objemb{\*\objclass Paint}{\*\objdata 0105})"
                          R"( hidden{\result shown}}})")
            << "shown";
        QTest::newRow("object, unstarred data")
            << QByteArray(R"({\rtf1 {\object{\objdata 0102}{\result r}}})") << "r";
        // A list paragraph's number as written for readers that do not number.
        QTest::newRow("listtext, pard plain in it")
            << QByteArray(R"({\rtf1 \pard\li720\fi-360\ls1{\listtext\pard\plain 1.\tab}a\par)"
                          R"({\listtext\pard\plain 2.\tab}b})")
            << "1.\ta\n2.\tb";
        QTest::newRow("pntext in its font's code page")
            << QByteArray(R"({\rtf1{\fonttbl{\f1\fcharset2 Symbol;}{\f2\fcharset204 C;}})"
                          R"({\pntext\f1\'B7\tab}{\*\pn\pnlvlblt\pnf1{\pntxtb\'B7}}a\par)"
                          R"({\pntext\f2\'c0)\tab}{\pn\pnlvlbody\pnucltr{\pntxta )}}b})")
            << QString::fromUtf16(u"\u00B7\ta\n\u0410)\tb");
        QTest::newRow("one number a paragraph")
            << QByteArray(R"({\rtf1 {\listtext 1.\tab}{\pntext 1.\tab}a\par{\pntext 2.\tab}b})")
            << "1.\ta\n2.\tb";
        QTest::newRow("number of an empty paragraph")
            << QByteArray(R"({\rtf1 {\listtext 1.\tab}\par x})") << "1.\t\nx";
        QTest::newRow("starred listtext") << QByteArray(R"({\rtf1 {\*\listtext 1.\tab}a})") << "a";
        // Hidden text is not shown.
        QTest::newRow("v group") << QByteArray(R"({\rtf1 a{\v hidden}b})") << "ab";
        QTest::newRow("v0") << QByteArray(R"({\rtf1 a\v hid\'e9\u8364?\tab\v0 b})") << "ab";
        QTest::newRow("plain ends v") << QByteArray(R"({\rtf1 \v x\plain y})") << "y";
        QTest::newRow("v keeps paragraphs")
            << QByteArray(R"({\rtf1 a{\v b\par c}\par d})") << "a\n\nd";
        QTest::newRow("v keeps cells")
            << QByteArray(R"({\rtf1 \trowd a\cell{\v h\cell}b\cell\row})") << "a\t\tb";
    }
    void text()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QTextDocument document;
        QVERIFY(readInto(document, rtf));
        QCOMPARE(textOf(document), text);
    }

    void skippedDestinations_data()
    {
        QTest::addColumn<QByteArray>("group");
        const char *const groups[] = {
            R"({\fonttbl{\f0\fswiss\fcharset0 Arial;}{\f1 Times{\*\falt T};}})",
            R"({\colortbl;\red255\green0\blue0;})",
            R"({\stylesheet{\s0 Normal;}{\s1 Heading;}})",
            R"({\info{\title T}{\author A}{\*\company C}})",
            R"({\header head})",
            R"({\headerl h}{\headerr h}{\headerf h})",
            R"({\footer foot}{\footerl f}{\footerr f}{\footerf f})",
            R"({\footnote note})",
            R"({\*\fldinst PAGE})",
            R"({\*\pn\pnlvlblt\pnf1\pnindent0{\pntxtb\'B7}})",
            R"({\pn\pnlvlbody\pndec{\pntxtb (}{\pntxta )}})",
            R"({\*\listtable{\list{\listlevel{\leveltext\'01\u-3913 ?;}}}})",
            R"({\*\listoverridetable{\listoverride\ls1}})",
            R"({\*\rsidtbl \rsid123})",
            R"({\*\generator Some Writer 1.0;})",
            R"({\*\themedata 504b0304})",
            R"({\*\colorschememapping 3c3f})",
            R"({\*\datastore 0105})",
            R"({\*\latentstyles\lsdstimax376{\lsdlockedexcept Normal;}})",
            R"({\*\xmlnstbl {\xmlns1 http://x}})",
            R"({\*\mmathPr\mmathFont34})",
            R"({\*\bkmkstart mark}{\*\bkmkend mark})",
            R"({\nonshppict{\pict\wmetafile8 0102}})",
            R"({\pict\wmetafile8\picw10\pich10 0102030405})",
            R"({\pict\emfblip 0102})",
            R"({\object{\*\objdata 0102}})",
            R"({\*\unknownthing text{\nested more}})",
            R"({\*\junk\bin4 }}}}})",
        };
        for (const char *group : groups)
            QTest::newRow(group) << QByteArray(group);
    }
    void skippedDestinations()
    {
        QFETCH(QByteArray, group);
        QTextDocument document;
        QVERIFY(readInto(document, "{\\rtf1 before" + group + "after}"));
        QCOMPARE(textOf(document), QStringLiteral("beforeafter"));
    }

    // Documents written the way other word processors write them: lists
    // (\listtable with \listtext), legacy numbering (\pn with \pntext), the
    // Cocoa text system's output, a table in a table's cell (rows given in
    // their properties group, and a copy for readers without nested tables),
    // and Mac Japanese text. Each shows the text stored next to it.
    void documents_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name :
             {"listtable", "pn-numbering", "cocoa", "nested-table", "mac-japanese"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void documents()
    {
        QFETCH(QString, name);
        const QByteArray expected = testData("rtf/" + name + ".txt");
        QVERIFY(!expected.isEmpty());
        QTextDocument document;
        QVERIFY(readInto(document, testData("rtf/" + name + ".rtf")));
        QCOMPARE(textOf(document), QString::fromUtf8(expected));
    }

    void charFormat_data()
    {
        QTest::addColumn<QByteArray>("body"); // the character tested is the 'x'
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<bool>("strike");
        QTest::addColumn<int>("script");
        QTest::addColumn<double>("points");     // 0: not set
        QTest::addColumn<QString>("family");    // empty: not set
        QTest::addColumn<QColor>("foreground"); // invalid: not set
        QTest::addColumn<QColor>("background");

        const QColor none;
        const QColor red(255, 0, 0);
        const QColor blue(0, 0, 255);
        const int normal = QTextCharFormat::AlignNormal;
        const auto row = [&](const char *name, const char *body) -> QTestData & {
            return QTest::newRow(name) << QByteArray(body);
        };
        row("nothing", "x") << false << false << false << false << normal << 0.0 << "" << none
                            << none;
        row("b", R"(\b x)") << true << false << false << false << normal << 0.0 << "" << none
                            << none;
        row("b0", R"(\b\b0 x)") << false << false << false << false << normal << 0.0 << "" << none
                                << none;
        row("b ends with its group", R"({\b a}x)")
            << false << false << false << false << normal << 0.0 << "" << none << none;
        row("i", R"(\i x)") << false << true << false << false << normal << 0.0 << "" << none
                            << none;
        row("ul", R"(\ul x)") << false << false << true << false << normal << 0.0 << "" << none
                              << none;
        row("ulnone", R"(\ul\ulnone x)")
            << false << false << false << false << normal << 0.0 << "" << none << none;
        row("ul0", R"(\ul\ul0 x)")
            << false << false << false << false << normal << 0.0 << "" << none << none;
        row("uldb", R"(\uldb x)") << false << false << true << false << normal << 0.0 << "" << none
                                  << none;
        row("ulwave", R"(\ulwave x)")
            << false << false << true << false << normal << 0.0 << "" << none << none;
        row("strike", R"(\strike x)")
            << false << false << false << true << normal << 0.0 << "" << none << none;
        row("striked1", R"(\striked1 x)")
            << false << false << false << true << normal << 0.0 << "" << none << none;
        row("sub", R"(\sub x)") << false << false << false << false
                                << int(QTextCharFormat::AlignSubScript) << 0.0 << "" << none
                                << none;
        row("super", R"(\super x)")
            << false << false << false << false << int(QTextCharFormat::AlignSuperScript) << 0.0
            << "" << none << none;
        row("nosupersub", R"(\super\nosupersub x)")
            << false << false << false << false << normal << 0.0 << "" << none << none;
        row("fs36", R"(\fs36 x)") << false << false << false << false << normal << 18.0 << ""
                                  << none << none;
        row("fs odd", R"(\fs21 x)")
            << false << false << false << false << normal << 10.5 << "" << none << none;
        row("fs huge is clamped", R"(\fs999999999999 x)")
            << false << false << false << false << normal << 1638.0 << "" << none << none;
        row("fs0 is clamped", R"(\fs0 x)")
            << false << false << false << false << normal << 1.0 << "" << none << none;
        row("fs negative is clamped", R"(\fs-4 x)")
            << false << false << false << false << normal << 1.0 << "" << none << none;
        row("f1", R"(\f1 x)") << false << false << false << false << normal << 0.0 << "Courier New"
                              << none << none;
        row("f not in the table", R"(\f7 x)")
            << false << false << false << false << normal << 0.0 << "" << none << none;
        row("cf1", R"(\cf1 x)") << false << false << false << false << normal << 0.0 << "" << red
                                << none;
        row("cf0 is automatic", R"(\cf1\cf0 x)")
            << false << false << false << false << normal << 0.0 << "" << none << none;
        row("cf past the table", R"(\cf9 x)")
            << false << false << false << false << normal << 0.0 << "" << none << none;
        row("cb2", R"(\cb2 x)") << false << false << false << false << normal << 0.0 << "" << none
                                << blue;
        row("highlight1", R"(\highlight1 x)")
            << false << false << false << false << normal << 0.0 << "" << none << red;
        row("nested groups add up", R"(\b{\i{\ul\cf2 x}})")
            << true << true << true << false << normal << 0.0 << "" << blue << none;
        row("plain resets all", R"(\b\i\ul\strike\super\fs40\f1\cf1\cb2\plain x)")
            << false << false << false << false << normal << 0.0 << "" << none << none;
        row("pard keeps characters", R"(\b\pard x)")
            << true << false << false << false << normal << 0.0 << "" << none << none;
        row("a number's plain is its own", R"(\b\cf1{\listtext\pard\plain 1.\tab}x)")
            << true << false << false << false << normal << 0.0 << "" << red << none;
    }
    void charFormat()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(bool, underline);
        QFETCH(bool, strike);
        QFETCH(int, script);
        QFETCH(double, points);
        QFETCH(QString, family);
        QFETCH(QColor, foreground);
        QFETCH(QColor, background);

        QTextDocument document;
        QVERIFY(readInto(document, kTables + body + "}"));
        const int x = document.toRawText().indexOf(QLatin1Char('x'));
        QVERIFY(x >= 0);
        const QTextCharFormat format = formatAt(document, x);
        QCOMPARE(format.fontWeight() == QFont::Bold, bold);
        QCOMPARE(format.fontItalic(), italic);
        QCOMPARE(format.fontUnderline(), underline);
        QCOMPARE(format.fontStrikeOut(), strike);
        QCOMPARE(int(format.verticalAlignment()), script);
        QCOMPARE(format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize() : 0.0,
                 points);
        const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
        QCOMPARE(families.value(0), family);
        QCOMPARE(format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color()
                                                                  : QColor(),
                 foreground);
        QCOMPARE(format.hasProperty(QTextFormat::BackgroundBrush) ? format.background().color()
                                                                  : QColor(),
                 background);
    }

    void blockFormat_data()
    {
        QTest::addColumn<QByteArray>("body"); // the paragraph tested holds the 'x'
        QTest::addColumn<int>("alignment");   // 0: not set
        QTest::addColumn<double>("left");
        QTest::addColumn<double>("right");
        QTest::addColumn<double>("first");

        const int none = 0;
        QTest::newRow("nothing") << QByteArray("x") << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("ql") << QByteArray(R"(\ql x)") << int(Qt::AlignLeft) << 0.0 << 0.0 << 0.0;
        QTest::newRow("qc") << QByteArray(R"(\qc x)") << int(Qt::AlignHCenter) << 0.0 << 0.0 << 0.0;
        QTest::newRow("qr") << QByteArray(R"(\qr x)") << int(Qt::AlignRight) << 0.0 << 0.0 << 0.0;
        QTest::newRow("qj") << QByteArray(R"(\qj x)") << int(Qt::AlignJustify) << 0.0 << 0.0 << 0.0;
        QTest::newRow("li ri fi") << QByteArray(R"(\li300\ri150\fi-450 x)") << none << 20.0 << 10.0
                                  << -30.0;
        QTest::newRow("li clamped")
            << QByteArray(R"(\li99999999999 x)") << none << 2112.0 << 0.0 << 0.0;
        QTest::newRow("kept across par")
            << QByteArray(R"(\qc a\par x)") << int(Qt::AlignHCenter) << 0.0 << 0.0 << 0.0;
        QTest::newRow("pard resets")
            << QByteArray(R"(\qc\li300 a\par\pard x)") << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("format at its par counts")
            << QByteArray(R"(x\qr\par\pard b)") << int(Qt::AlignRight) << 0.0 << 0.0 << 0.0;
        QTest::newRow("final par")
            << QByteArray(R"(\qr x\par)") << int(Qt::AlignRight) << 0.0 << 0.0 << 0.0;
        QTest::newRow("scoped by groups")
            << QByteArray(R"({\qc a\par}x)") << none << 0.0 << 0.0 << 0.0;
        QTest::newRow("a number's pard is its own")
            << QByteArray(R"(\qc\li720\fi-360{\listtext\pard\plain 1.\tab}x\par)")
            << int(Qt::AlignHCenter) << 48.0 << 0.0 << -24.0;
    }
    void blockFormat()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, alignment);
        QFETCH(double, left);
        QFETCH(double, right);
        QFETCH(double, first);

        QTextDocument document;
        QVERIFY(readInto(document, "{\\rtf1 " + body + "}"));
        const int x = document.toRawText().indexOf(QLatin1Char('x'));
        QVERIFY(x >= 0);
        const QTextBlockFormat format = document.findBlock(x).blockFormat();
        QCOMPARE(format.hasProperty(QTextFormat::BlockAlignment) ? int(format.alignment()) : 0,
                 alignment);
        QCOMPARE(format.leftMargin(), left);
        QCOMPARE(format.rightMargin(), right);
        QCOMPARE(format.textIndent(), first);
    }

    void picture_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QSizeF>("size"); // as shown; empty: the picture's own

        const QByteArray data = png(testImage());
        QByteArray wrapped; // hex in lines, capitals
        const QByteArray hex = data.toHex().toUpper();
        for (qsizetype i = 0; i < hex.size(); i += 40)
            wrapped += hex.mid(i, 40) + "\r\n";

        QTest::newRow("hex, goal size")
            << "{\\rtf1 a{\\pict\\pngblip\\picw3\\pich2\\picwgoal60\\pichgoal30 " + data.toHex() +
                   "}b}"
            << QSizeF(4, 2);
        QTest::newRow("hex in lines, no goal")
            << "{\\rtf1 a{\\pict\\pngblip\r\n" + wrapped + "}b}" << QSizeF();
        QTest::newRow("scaled") << "{\\rtf1 a{\\pict\\pngblip\\picwgoal60\\pichgoal30"
                                   "\\picscalex50\\picscaley200 " +
                                       data.toHex() + "}b}"
                                << QSizeF(2, 4);
        QTest::newRow("bin") << "{\\rtf1 a{\\pict\\pngblip\\bin" + QByteArray::number(data.size()) +
                                    " " + data + "}b}"
                             << QSizeF();
        QTest::newRow("in a shape, with a fallback")
            << "{\\rtf1 a{\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn x}{\\sv 1}}}\\pngblip " +
                   data.toHex() + "}}{\\nonshppict{\\pict\\wmetafile8 0102}}b}"
            << QSizeF();
        QTest::newRow("object result")
            << "{\\rtf1 a{\\object\\objemb{\\*\\objdata 0102}{\\result{\\pict\\pngblip " +
                   data.toHex() + "}}}b}"
            << QSizeF();
    }
    void picture()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QSizeF, size);
        QTextDocument document;
        QVERIFY(readInto(document, rtf));
        QCOMPARE(textOf(document), QString::fromUtf16(u"a\uFFFCb"));
        const QTextCharFormat format = formatAt(document, 1);
        QVERIFY(format.isImageFormat());
        const QTextImageFormat image = format.toImageFormat();
        const QVariant resource =
            document.resource(QTextDocument::ImageResource, QUrl(image.name()));
        QCOMPARE(resource.typeId(), QMetaType::QImage);
        const QImage read = resource.value<QImage>().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(read, testImage());
        QCOMPARE(QSizeF(image.width(), image.height()), size.isEmpty() ? QSizeF(0, 0) : size);
    }

    void pictureNotShown_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("not a picture") << QByteArray(R"({\rtf1 a{\pict\pngblip 0102030405}b})");
        QTest::newRow("no data") << QByteArray(R"({\rtf1 a{\pict\pngblip}b})");
        QTest::newRow("no kind") << "{\\rtf1 a{\\pict " + png(testImage()).toHex() + "}b}";
        QTest::newRow("hidden") << "{\\rtf1 a{\\v{\\pict\\pngblip " + png(testImage()).toHex() +
                                       "}}b}";
        QTest::newRow("half a picture")
            << "{\\rtf1 a{\\pict\\pngblip " + png(testImage()).toHex().left(60) + "}b}";
        // A PNG padded past the 64 MB limit is dropped even though it would load.
        QByteArray huge = png(testImage());
        huge.append(64 * 1024 * 1024, '\0');
        QTest::newRow("over the size limit") << "{\\rtf1 a{\\pict\\pngblip\\bin" +
                                                    QByteArray::number(huge.size()) + " " + huge +
                                                    "}b}";
    }
    void pictureNotShown()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument document;
        QVERIFY(readInto(document, rtf));
        QCOMPARE(textOf(document), QStringLiteral("ab"));
    }

    void hostileInput_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("text");

        QTest::newRow("not RTF") << QByteArray("Hello") << false << "";
        QTest::newRow("empty") << QByteArray() << false << "";
        QTest::newRow("header cut short") << QByteArray("{\\rt") << false << "";
        QTest::newRow("header in capitals") << QByteArray("{\\RTF1 x}") << false << "";
        QTest::newRow("blank before the header") << QByteArray(" {\\rtf1 x}") << false << "";
        QTest::newRow("just the header") << QByteArray("{\\rtf") << true << "";
        QTest::newRow("cut in a control word") << QByteArray("{\\rtf1 ab\\pa") << true << "ab";
        QTest::newRow("cut in a number") << QByteArray("{\\rtf1 ab\\fs12") << true << "ab";
        QTest::newRow("minus without digits") << QByteArray("{\\rtf1 ab\\fs-") << true << "ab-";
        QTest::newRow("half a hex escape") << QByteArray(R"({\rtf1 a\'4zb})") << true << "azb";
        QTest::newRow("cut in a hex escape") << QByteArray("{\\rtf1 ab\\'4") << true << "ab";
        QTest::newRow("hex escape at the end") << QByteArray("{\\rtf1 ab\\'") << true << "ab";
        QTest::newRow("bad hex escape") << QByteArray(R"({\rtf1 a\'zzb})") << true << "azzb";
        QTest::newRow("cut in the font table")
            << QByteArray(R"({\rtf1{\fonttbl{\f0 Ari)") << true << "";
        QTest::newRow("cut in a picture")
            << QByteArray(R"({\rtf1 a{\pict\pngblip 89504e)") << true << "a";
        QTest::newRow("DBCS lead byte at the end")
            << QByteArray(R"({\rtf1{\fonttbl{\f0\fcharset128 M;}}\f0 a\'82)") << true
            << QString::fromUtf16(u"a\uFFFD");
        QTest::newRow("bin past the end") << QByteArray(R"({\rtf1 a\bin999999 bc)") << true << "a";
        QTest::newRow("bin negative") << QByteArray(R"({\rtf1 a\bin-5 bc})") << true << "abc";
        QTest::newRow("bin huge") << QByteArray(R"({\rtf1 a\bin99999999999999 bc})") << true << "a";
        QTest::newRow("u out of range") << QByteArray(R"({\rtf1 \u99999999?x\u-99999?y})") << true
                                        << QString::fromUtf16(u"\uFFFDx\uFFFDy");
        QTest::newRow("u lone surrogates") << QByteArray(R"({\rtf1 \u-10179?x\u-8704?})") << true
                                           << QString::fromUtf16(u"\uFFFDx\uFFFD");
        QTest::newRow("u control characters")
            << QByteArray(R"({\rtf1 a\u0?\u7?\u65532?b})") << true << "ab";
        QTest::newRow("hex control characters")
            << QByteArray(R"({\rtf1 a\'00\'0d\'0ab})") << true << "ab";
        QTest::newRow("uc negative")
            << QByteArray(R"({\rtf1\uc-4 \u1041 x})") << true << QString::fromUtf16(u"\u0411x");
        QTest::newRow("100,000 closing braces")
            << "{\\rtf1 a" + QByteArray(100000, '}') + "b" << true << "a";
        QTest::newRow("100,000 nested groups")
            << "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + "after}"
            << true << "deepafter";
        QTest::newRow("100,000 groups never closed")
            << "{\\rtf1 " + QByteArray(100000, '{') + "x" << true << "x";
        QTest::newRow("100,000 digits")
            << "{\\rtf1 \\fs" + QByteArray(100000, '9') + " x}" << true << "x";
        QTest::newRow("100,000-letter word")
            << "{\\rtf1 \\" + QByteArray(100000, 'a') + " x}" << true << "x";
        QTest::newRow("100,000 fonts")
            << "{\\rtf1{\\fonttbl" + QByteArray("\\f1 a;").repeated(100000) + "}x}" << true << "x";
        QTest::newRow("50 MB picture of junk hex")
            << "{\\rtf1 a{\\pict\\pngblip " + QByteArray("0123456789abcdef").repeated(3200000) +
                   "}b}"
            << true << "ab";
    }
    void hostileInput()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(bool, result);
        QFETCH(QString, text);
        QTextDocument document;
        QCOMPARE(readInto(document, rtf), result);
        QCOMPARE(textOf(document), text);
    }

    // Past the tracked depth, formats set in deeper groups end with them.
    void deepGroupsRestoreState()
    {
        QTextDocument document;
        QVERIFY(readInto(document, "{\\rtf1 " + QByteArray(1500, '{') + "\\b x" +
                                       QByteArray(1500, '}') + "y}"));
        QCOMPARE(textOf(document), QStringLiteral("xy"));
        QCOMPARE(formatAt(document, 0).fontWeight(), int(QFont::Bold));
        QCOMPARE(formatAt(document, 1).fontWeight(), int(QFont::Normal));
    }

    // Every prefix of a document with a bit of everything reads without harm.
    void everyPrefix()
    {
        const QByteArray rtf =
            R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fnil\fcharset0 Arial;})"
            R"({\f1\fcharset128 M;}}{\colortbl ;\red255\green0\blue0;}{\*\generator g;})"
            R"(\pard\qc\li300\b\cf1 B\'e9\u1041?\f1\'82\'a0\par{\field{\*\fldinst X}{\fldrslt r}})"
            R"({\pict\pngblip\picwgoal30\pichgoal30 )" +
            png(testImage()).toHex() + R"(}\bin2 {}\line\tab\{\}\\ end\par})";
        QTextDocument full;
        QVERIFY(readInto(full, rtf));
        QCOMPARE(textOf(full), QString::fromUtf16(u"B\u00E9\u0411\u3042\nr\uFFFC\u2028\t{}\\ end"));
        for (qsizetype length = 0; length <= rtf.size(); ++length) {
            QTextDocument document;
            QCOMPARE(readInto(document, rtf.left(length)), length >= 5);
        }
    }

    void insertsAtTheCursor()
    {
        QTextDocument document;
        document.setPlainText(QStringLiteral("XY"));
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        QTextCursor(&document).setBlockFormat(right);
        QTextCursor cursor(&document);
        cursor.setPosition(1);
        QVERIFY(ReadRtf(R"({\rtf1\qc a\par b})", cursor));
        QCOMPARE(textOf(document), QStringLiteral("Xa\nbY"));
        QCOMPARE(cursor.position(), 4); // after the content
        // The paragraph whose mark came from the RTF takes its format; the
        // text after the insertion point keeps its paragraph's.
        QCOMPARE(document.firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
        QCOMPARE(document.lastBlock().blockFormat().alignment(), Qt::AlignRight);
    }

    void lastParagraphFormat_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("position");
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<bool>("centred");
        QTest::newRow("into an empty document") << "" << 0 << QByteArray(R"({\rtf1\qc a})") << true;
        QTest::newRow("final par, into an empty document")
            << "" << 0 << QByteArray(R"({\rtf1\qc a\par})") << true;
        QTest::newRow("into an empty paragraph")
            << "p\n\nq" << 2 << QByteArray(R"({\rtf1\qc a})") << true;
        QTest::newRow("into the middle") << "XY" << 1 << QByteArray(R"({\rtf1\qc a})") << false;
        QTest::newRow("final par, into the middle")
            << "XY" << 1 << QByteArray(R"({\rtf1\qc a\par})") << false;
        QTest::newRow("at a paragraph's end")
            << "XY" << 2 << QByteArray(R"({\rtf1\qc a})") << false;
        QTest::newRow("at a paragraph's start")
            << "XY" << 0 << QByteArray(R"({\rtf1\qc a})") << false;
    }
    void lastParagraphFormat()
    {
        QFETCH(QString, before);
        QFETCH(int, position);
        QFETCH(QByteArray, rtf);
        QFETCH(bool, centred);
        QTextDocument document;
        document.setPlainText(before);
        QTextCursor cursor(&document);
        cursor.setPosition(position);
        QVERIFY(ReadRtf(rtf, cursor));
        QCOMPARE(cursor.blockFormat().alignment() == Qt::AlignHCenter, centred);
    }

    void replacesTheSelection()
    {
        QTextDocument document;
        document.setPlainText(QStringLiteral("abc"));
        QTextCursor cursor(&document);
        cursor.setPosition(1);
        cursor.setPosition(2, QTextCursor::KeepAnchor);
        QVERIFY(!ReadRtf("not RTF", cursor));
        QCOMPARE(textOf(document), QStringLiteral("abc"));
        QVERIFY(ReadRtf(R"({\rtf1 Z})", cursor));
        QCOMPARE(textOf(document), QStringLiteral("aZc"));
    }

    // The whole read is one edit block, which also keeps it linear in time
    // (outside one, each run's insertion lays its paragraph out again): one
    // undo takes it all back.
    void oneUndoStep()
    {
        QTextDocument document;
        document.setPlainText(QStringLiteral("keep"));
        QTextCursor cursor(&document);
        cursor.movePosition(QTextCursor::End);
        QVERIFY(ReadRtf(R"({\rtf1 {\b a}\par b\par{\i c}})", cursor));
        QCOMPARE(textOf(document), QStringLiteral("keepa\nb\nc"));
        document.undo();
        QCOMPARE(textOf(document), QStringLiteral("keep"));
    }
};

QTEST_MAIN(TestRtfReader)
#include "tst_rtfreader.moc"
