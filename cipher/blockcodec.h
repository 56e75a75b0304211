// The fixed-size block that holds a document's text for the cipher, and its
// printable armour.
//
// Each byte of the block becomes two symbols of ArmourAlphabet: the one for its
// low six bits, then the one for its high two bits. Forty bytes (80 symbols)
// make a line, and every line, the last included, ends with CR LF.
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <cstdint>

namespace veskel {

// The bytes that are hashed, encrypted and armoured.
inline constexpr std::size_t BlockSize = 100000;
// The most characters of a text a block stores; the last data byte is always 0.
inline constexpr std::size_t BlockTextCapacity = BlockSize - 1;

// BlockSize data bytes and one more that is always 0.
using TBlock = std::array<std::uint8_t, BlockSize + 1>;

inline constexpr char16_t ArmourAlphabet[] =
    u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-";
inline constexpr int ArmourSymbols = 64;
inline constexpr int ArmourBytesPerLine = 40;
inline constexpr int ArmourSymbolsPerLine = 2 * ArmourBytesPerLine;
inline constexpr int ArmourLines = static_cast<int>(BlockSize) / ArmourBytesPerLine; // 2,500
// Symbols and CR LF: 205,000 characters.
inline constexpr int ArmourLength = ArmourLines * (ArmourSymbolsPerLine + 2);

// The value of an armour symbol, or -1 for any other character.
int ArmourSymbolValue(char16_t c);

// Zeroes the block and stores the low byte of each of the text's first
// BlockTextCapacity UTF-16 units; no character-set conversion.
void TextToBlock(QStringView text, TBlock &block);

// The BlockSize data bytes widened to characters U+0000..U+00FF.
QString BlockToText(const TBlock &block);

// The armour of the block's BlockSize data bytes: ArmourLength characters.
QString EncodeArmour(const TBlock &block);

// Zeroes the block, then fills it from the alphabet symbols of the text in
// pairs (a, b) as the byte (a + 64 * b) mod 256. Other characters are skipped,
// pairs beyond BlockSize bytes and a lone last symbol are ignored.
void DecodeArmour(QStringView text, TBlock &block);

// The text up to, not including, its first U+0000.
QString TextBeforeNul(const QString &text);

} // namespace veskel
