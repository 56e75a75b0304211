#include "blockcodec.h"

#include <algorithm>
#include <cstring>

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
    const auto count = std::min(static_cast<std::size_t>(text.size()), BlockTextCapacity);
    const auto *units = reinterpret_cast<const char16_t *>(text.data());
    for (std::size_t i = 0; i < count; ++i) {
        block[i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    }
    std::fill(block.begin() + static_cast<std::ptrdiff_t>(count), block.end(), 0);
}

QString BlockToText(const TBlock &block)
{
    return QString::fromLatin1(reinterpret_cast<const char *>(block.data()),
                               static_cast<qsizetype>(BlockSize));
}

QString EncodeArmour(const TBlock &block)
{
    // Each byte's two symbols, looked up at once.
    static constexpr auto kPairs = [] {
        std::array<std::array<char16_t, 2>, 256> pairs{};
        for (std::size_t b = 0; b < pairs.size(); ++b) {
            pairs[b] = {ArmourAlphabet[b & 0x3F], ArmourAlphabet[b >> 6]};
        }
        return pairs;
    }();
    QString armour(ArmourLength, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(armour.data());
    const std::uint8_t *in = block.data();
    for (std::size_t line = 0; line < BlockSize / ArmourBytesPerLine; ++line) {
        for (int k = 0; k < ArmourBytesPerLine; ++k) {
            std::memcpy(out, kPairs[*in++].data(), 2 * sizeof(char16_t));
            out += 2;
        }
        *out++ = u'\r';
        *out++ = u'\n';
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
