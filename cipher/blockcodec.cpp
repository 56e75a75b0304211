#include "blockcodec.h"

#include <algorithm>

namespace veskel {

namespace {

constexpr std::array<std::int8_t, 128> makeSymbolTable()
{
    std::array<std::int8_t, 128> table{};
    table.fill(-1);
    for (int v = 0; v < ArmourSymbols; ++v) {
        table[static_cast<std::size_t>(ArmourAlphabet[v])] = static_cast<std::int8_t>(v);
    }
    return table;
}

constexpr std::array<std::int8_t, 128> kSymbolValue = makeSymbolTable();

static_assert(sizeof(ArmourAlphabet) / sizeof(char16_t) == ArmourSymbols + 1);
static_assert(BlockSize % ArmourBytesPerLine == 0);

} // namespace

int ArmourSymbolValue(char16_t c)
{
    return c < kSymbolValue.size() ? kSymbolValue[c] : -1;
}

void TextToBlock(QStringView text, TBlock &block)
{
    block.fill(0);
    const auto count = std::min(static_cast<std::size_t>(text.size()), BlockTextCapacity);
    const QChar *units = text.data();
    for (std::size_t i = 0; i < count; ++i) {
        block[i] = static_cast<std::uint8_t>(units[i].unicode() & 0xFF);
    }
}

QString BlockToText(const TBlock &block)
{
    return QString::fromLatin1(reinterpret_cast<const char *>(block.data()),
                               static_cast<qsizetype>(BlockSize));
}

QString EncodeArmour(const TBlock &block)
{
    QString armour(ArmourLength, Qt::Uninitialized);
    QChar *out = armour.data();
    for (std::size_t i = 0; i < BlockSize;) {
        for (int k = 0; k < ArmourBytesPerLine; ++k, ++i) {
            const std::uint8_t b = block[i];
            *out++ = QChar(ArmourAlphabet[b & 0x3F]);
            *out++ = QChar(ArmourAlphabet[b >> 6]);
        }
        *out++ = QChar(u'\r');
        *out++ = QChar(u'\n');
    }
    return armour;
}

void DecodeArmour(QStringView text, TBlock &block)
{
    block.fill(0);
    std::size_t position = 0;
    int pending = -1;
    for (const QChar c : text) {
        const int value = ArmourSymbolValue(c.unicode());
        if (value < 0) {
            continue;
        }
        if (pending < 0) {
            pending = value;
            continue;
        }
        block[position++] = static_cast<std::uint8_t>((pending + 64 * value) & 0xFF);
        pending = -1;
        if (position == BlockSize) {
            break;
        }
    }
}

QString TextBeforeNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

} // namespace veskel
