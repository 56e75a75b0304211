// The plain-text conversion: every kind of line break becomes the document's
// own, UTF-16LE survives a round trip (an odd last byte is dropped), and only
// data that starts as RTF counts as RTF.
#include "platform/richedit/plaintext.h"

#include <QTest>

using namespace win;

class TestPlainText : public QObject
{
    Q_OBJECT

private slots:
    void normalizeBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // P: paragraph break, L: line break
        QTest::newRow("CR LF") << "a\r\nb"
                               << "aPb";
        QTest::newRow("lone CR") << "a\rb"
                                 << "aPb";
        QTest::newRow("lone LF") << "a\nb"
                                 << "aPb";
        QTest::newRow("LF CR is two") << "a\n\rb"
                                      << "aPPb";
        QTest::newRow("CR CR LF is two") << "a\r\r\nb"
                                         << "aPPb";
        QTest::newRow("vertical tab") << "a\vb"
                                      << "aLb";
        QTest::newRow("break at the end") << "a\r"
                                          << "aP";
        QTest::newRow("none") << "abc"
                              << "abc";
    }
    void normalizeBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QString found = NormalizeBreaks(text);
        found.replace(QChar::ParagraphSeparator, u'P').replace(QChar::LineSeparator, u'L');
        QCOMPARE(found, expected);
    }

    void utf16le()
    {
        const QString text = QStringLiteral("Aé€\U0001F600");
        const QByteArray bytes = EncodeUtf16le(text);
        QCOMPARE(bytes.left(4), QByteArray("A\0\xE9\0", 4));
        QCOMPARE(DecodeUtf16le(bytes), text);
        QCOMPARE(DecodeUtf16le(bytes + 'x'), text); // half a character is no character
        QCOMPARE(DecodeUtf16le({}), QString());
    }

    void isRtfData_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("rtf");
        QTest::newRow("RTF") << QByteArray("{\\rtf1\\ansi x}") << true;
        QTest::newRow("leading blank") << QByteArray(" {\\rtf1}") << false;
        QTest::newRow("capitals") << QByteArray("{\\RTF1}") << false;
        QTest::newRow("cut short") << QByteArray("{\\rt") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void isRtfData()
    {
        QFETCH(QByteArray, data);
        QTEST(IsRtfData(data), "rtf");
    }
};

QTEST_MAIN(TestPlainText)
#include "tst_plaintext.moc"
