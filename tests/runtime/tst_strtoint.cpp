// Text to integer.
#include "runtime/exceptions.h"
#include "runtime/strtoint.h"

#include <QTest>

using namespace veskel;

class TestStrToInt : public QObject
{
    Q_OBJECT

private slots:
    void values_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("decimal") << "42" << true << 42;
        QTest::newRow("leading blanks") << "  \t7" << true << 7;
        QTest::newRow("plus") << "+5" << true << 5;
        QTest::newRow("minus") << "-12" << true << -12;
        QTest::newRow("dollar hex") << "$1F" << true << 31;
        QTest::newRow("0x hex") << "0x10" << true << 16;
        QTest::newRow("0X hex, capitals") << "0XFF" << true << 255;
        QTest::newRow("negative hex") << "-$10" << true << -16;
        QTest::newRow("hex wraps") << "$FFFFFFFF" << true << -1;
        QTest::newRow("largest") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << true << int(-2147483647 - 1);
        QTest::newRow("too large") << "2147483648" << false << 0;
        QTest::newRow("hex too large") << "$100000000" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("blank") << "   " << false << 0;
        QTest::newRow("trailing blank") << "12 " << false << 0;
        QTest::newRow("letters") << "twelve" << false << 0;
        QTest::newRow("hex digits without prefix") << "1F" << false << 0;
        QTest::newRow("sign alone") << "-" << false << 0;
        QTest::newRow("prefix alone") << "0x" << false << 0;
        QTest::newRow("arabic digits") << QString::fromUtf16(u"\u0663") << false << 0;
        QTest::newRow("decimal point") << "1.5" << false << 0;
    }
    void values()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const std::optional<int> result = TryStrToInt(text);
        QCOMPARE(result.has_value(), valid);
        if (valid) {
            QCOMPARE(*result, value);
            QCOMPARE(StrToInt(text), value);
        } else {
            try {
                StrToInt(text);
                QFAIL("no error");
            } catch (const EConvertError &error) {
                QCOMPARE(error.message(), QString("''%1'' is not a valid integer value").arg(text));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestStrToInt)
#include "tst_strtoint.moc"
