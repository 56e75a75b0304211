// The ANSI code page and the decoding of plain-text stream data.
#include "platform/win/codepage.h"

#include <QTest>

using namespace win;

class TestCodePage : public QObject
{
    Q_OBJECT

private slots:
    void decodeAnsi_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("Tab\there") << QStringLiteral("Tab\there");
        QTest::newRow("euro, e acute")
            << QByteArray("\x80\xE9", 2) << QString::fromUtf16(u"\u20AC\u00E9");
        QTest::newRow("quotes") << QByteArray("\x93\x94", 2) << QString::fromUtf16(u"\u201C\u201D");
        QTest::newRow("unassigned byte") << QByteArray("\x81", 1) << QString::fromUtf16(u"\u0081");
        QTest::newRow("nul kept") << QByteArray("a\0b", 3) << QString::fromUtf16(u"a\0b", 3);
    }
    void decodeAnsi()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(DecodeAnsi(bytes), text);
    }

    void encodeAnsi_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("AA\r\n") << QByteArray("AA\r\n");
        QTest::newRow("euro, e acute")
            << QString::fromUtf16(u"\u20AC\u00E9") << QByteArray("\x80\xE9", 2);
        QTest::newRow("missing letter") << QString::fromUtf16(u"\u0141x") << QByteArray("?x");
        QTest::newRow("surrogate pair is one ?")
            << QString::fromUtf16(u"\U0001F600!") << QByteArray("?!");
    }
    void encodeAnsi()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(EncodeAnsi(text), bytes);
    }

    void every_byte_survives_decode_and_encode()
    {
        QByteArray all(256, '\0');
        for (int b = 0; b < 256; ++b) {
            all[b] = static_cast<char>(b);
        }
        QCOMPARE(EncodeAnsi(DecodeAnsi(all)), all);
    }

    void streamText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("utf-8") << QByteArray("caf\xC3\xA9") << QString::fromUtf16(u"caf\u00E9");
        QTest::newRow("not utf-8: ansi")
            << QByteArray("caf\xE9") << QString::fromUtf16(u"caf\u00E9");
        QTest::newRow("utf-8 mark skipped") << QByteArray("\xEF\xBB\xBFok") << QStringLiteral("ok");
        QTest::newRow("truncated sequence")
            << QByteArray("a\xC3") << QString::fromUtf16(u"a\u00C3");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void streamText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(DecodeStreamText(bytes), text);
    }
};

QTEST_APPLESS_MAIN(TestCodePage)
#include "tst_codepage.moc"
