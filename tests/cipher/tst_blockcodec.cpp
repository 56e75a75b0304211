// The block codec and the armour.
#include "cipher/blockcodec.h"

#include <QRandomGenerator>
#include <QTest>

#include <memory>

using namespace veskel;

namespace {

std::unique_ptr<TBlock> randomBlock(quint32 seed)
{
    auto block = std::make_unique<TBlock>();
    QRandomGenerator random(seed);
    for (std::size_t i = 0; i < BlockSize; ++i) {
        (*block)[i] = static_cast<std::uint8_t>(random.bounded(256));
    }
    (*block)[BlockSize] = 0;
    return block;
}

QString armourOfFirstByte(std::uint8_t byte)
{
    auto block = std::make_unique<TBlock>();
    block->fill(0);
    (*block)[0] = byte;
    return EncodeArmour(*block).left(2);
}

} // namespace

class TestBlockCodec : public QObject
{
    Q_OBJECT

private slots:
    void alphabetValues()
    {
        QCOMPARE(ArmourSymbolValue(u'A'), 0);
        QCOMPARE(ArmourSymbolValue(u'Z'), 25);
        QCOMPARE(ArmourSymbolValue(u'a'), 26);
        QCOMPARE(ArmourSymbolValue(u'z'), 51);
        QCOMPARE(ArmourSymbolValue(u'0'), 52);
        QCOMPARE(ArmourSymbolValue(u'9'), 61);
        QCOMPARE(ArmourSymbolValue(u'+'), 62);
        QCOMPARE(ArmourSymbolValue(u'-'), 63);
        for (char16_t c : {u'/', u'=', u' ', u'\r', u'\0', u'\u00C1', u'\uFF21'}) {
            QCOMPARE(ArmourSymbolValue(c), -1);
        }
    }

    void textToBlock_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected"); // the first bytes of the block
        QTest::newRow("ascii") << QStringLiteral("Hi!") << QByteArray("Hi!\0", 4);
        QTest::newRow("latin-1 kept") << QString::fromUtf16(u"\u00E9") << QByteArray("\xE9\0", 2);
        QTest::newRow("hebrew narrowed") << QString::fromUtf16(u"\u05D0") << QByteArray("\xD0", 1);
        QTest::newRow("L stroke narrowed") << QString::fromUtf16(u"\u0141") << QByteArray("A", 1);
        QTest::newRow("surrogates halves")
            << QString::fromUtf16(u"\U0001F600") << QByteArray("\x3D\x00", 2);
        QTest::newRow("empty") << QString() << QByteArray("\0\0", 2);
    }
    void textToBlock()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        auto block = std::make_unique<TBlock>();
        block->fill(0xAA); // stale content must be cleared
        TextToBlock(text, *block);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(block->data()), expected.size()),
                 expected);
        for (std::size_t i = static_cast<std::size_t>(text.size()); i <= BlockSize; ++i) {
            QVERIFY2((*block)[i] == 0, qPrintable(QString::number(i)));
        }
    }

    // At most 99,999 characters are kept, so the last data byte stays 0.
    void textToBlockCapacity_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("kept");
        QTest::newRow("99,999") << 99999 << 99999;
        QTest::newRow("100,000") << 100000 << 99999;
        QTest::newRow("1,000,000") << 1000000 << 99999;
    }
    void textToBlockCapacity()
    {
        QFETCH(int, length);
        QFETCH(int, kept);
        auto block = std::make_unique<TBlock>();
        TextToBlock(QString(length, QChar(u'x')), *block);
        QCOMPARE((*block)[static_cast<std::size_t>(kept) - 1], std::uint8_t('x'));
        QCOMPARE((*block)[static_cast<std::size_t>(kept)], std::uint8_t(0));
        QCOMPARE((*block)[BlockSize], std::uint8_t(0));
    }

    void blockToText()
    {
        auto block = std::make_unique<TBlock>();
        block->fill(0);
        QCOMPARE(BlockToText(*block), QString(BlockSize, QChar(u'\0')));
        (*block)[0] = 0xFF;
        (*block)[1] = 0x41;
        (*block)[BlockSize - 1] = 0x80;
        (*block)[BlockSize] = 0x7F; // never part of the text
        const QString text = BlockToText(*block);
        QCOMPARE(text.size(), qsizetype(BlockSize));
        QCOMPARE(text[0], QChar(u'\u00FF'));
        QCOMPARE(text[1], QChar(u'A'));
        QCOMPARE(text[BlockSize - 1], QChar(u'\u0080'));
    }

    void byteSymbols_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<QString>("symbols");
        QTest::newRow("0x00") << 0x00 << QStringLiteral("AA");
        QTest::newRow("0xFF") << 0xFF << QStringLiteral("-D");
        QTest::newRow("0x40") << 0x40 << QStringLiteral("AB");
        QTest::newRow("0x3F") << 0x3F << QStringLiteral("-A");
        QTest::newRow("0x9A") << 0x9A << QStringLiteral("aC");
    }
    void byteSymbols()
    {
        QFETCH(int, byte);
        QFETCH(QString, symbols);
        QCOMPARE(armourOfFirstByte(static_cast<std::uint8_t>(byte)), symbols);
    }

    void zeroBlockArmour()
    {
        auto block = std::make_unique<TBlock>();
        block->fill(0);
        const QString armour = EncodeArmour(*block);
        QCOMPARE(armour.size(), qsizetype(ArmourLength));
        QCOMPARE(armour, (QString(80, QChar(u'A')) + QStringLiteral("\r\n")).repeated(2500));
    }

    // Each line n holds bytes 40n .. 40n+39.
    void armourLineLayout()
    {
        const auto block = randomBlock(7);
        const QString armour = EncodeArmour(*block);
        for (int line : {0, 1, 1249, 2499}) {
            const QStringView text = QStringView(armour).mid(line * 82, 82);
            QCOMPARE(text.right(2), QStringLiteral("\r\n"));
            auto single = std::make_unique<TBlock>();
            DecodeArmour(text, *single);
            for (int k = 0; k < 40; ++k) {
                QCOMPARE((*single)[k], (*block)[static_cast<std::size_t>(line) * 40 + k]);
            }
        }
    }

    void roundTrip()
    {
        const auto block = randomBlock(42);
        auto decoded = std::make_unique<TBlock>();
        DecodeArmour(EncodeArmour(*block), *decoded);
        QVERIFY(*decoded == *block);
    }

    // Everything but alphabet symbols is skipped and does not disturb a pair.
    void decodeIgnoresOtherCharacters_data()
    {
        QTest::addColumn<QString>("noise");
        QTest::newRow("no line breaks") << QString();
        QTest::newRow("blanks") << QStringLiteral("  \t ");
        QTest::newRow("junk") << QString::fromUtf16(u"=/.*\u00E9\u20AC\0");
    }
    void decodeIgnoresOtherCharacters()
    {
        QFETCH(QString, noise);
        const auto block = randomBlock(3);
        QString armour = EncodeArmour(*block);
        armour.remove(QStringLiteral("\r\n"));
        QString noisy;
        for (qsizetype i = 0; i < armour.size(); ++i) {
            noisy += armour[i];
            if (i % 7 == 0) {
                noisy += noise; // also between the two symbols of a pair
            }
        }
        auto decoded = std::make_unique<TBlock>();
        DecodeArmour(noisy, *decoded);
        QVERIFY(*decoded == *block);
    }

    void decodeEdgeCases_data()
    {
        QTest::addColumn<QString>("armour");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("AE wraps to 0") << QStringLiteral("AEBA") << QByteArray("\x00\x01", 2);
        QTest::newRow("-- wraps") << QStringLiteral("--") << QByteArray("\xFF", 1); // 63+64*63
        QTest::newRow("lone last symbol") << QStringLiteral("BAC") << QByteArray("\x01\x00", 2);
        QTest::newRow("lowercase") << QStringLiteral("aa") << QByteArray("\x9A", 1);
    }
    void decodeEdgeCases()
    {
        QFETCH(QString, armour);
        QFETCH(QByteArray, expected);
        auto block = std::make_unique<TBlock>();
        block->fill(0x55);
        DecodeArmour(armour, *block);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(block->data()), expected.size()),
                 expected);
        for (std::size_t i = static_cast<std::size_t>(expected.size()); i <= BlockSize; ++i) {
            QVERIFY2((*block)[i] == 0, qPrintable(QString::number(i)));
        }
    }

    // Pairs beyond the block are ignored, and the extra byte is never written.
    void decodeStopsAtBlockSize()
    {
        const QString armour = QStringLiteral("-D").repeated(BlockSize + 10);
        auto block = std::make_unique<TBlock>();
        DecodeArmour(armour, *block);
        QCOMPARE((*block)[BlockSize - 1], std::uint8_t(0xFF));
        QCOMPARE((*block)[BlockSize], std::uint8_t(0));
    }

    void textBeforeNul_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QStringLiteral("abc") << QStringLiteral("abc");
        QTest::newRow("middle") << QString::fromUtf16(u"abc\0def", 7) << QStringLiteral("abc");
        QTest::newRow("first") << QString::fromUtf16(u"\0abc", 4) << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void textBeforeNul()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(TextBeforeNul(text), expected);
    }
};

QTEST_APPLESS_MAIN(TestBlockCodec)
#include "tst_blockcodec.moc"
