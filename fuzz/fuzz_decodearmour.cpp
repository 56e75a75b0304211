// Armour decoding of arbitrary text: never out of bounds, the extra block
// byte stays 0, and a block's own armour decodes back to it.
#include "cipher/blockcodec.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace veskel;
    static TBlock block;
    static TBlock again;

    // The bytes as UTF-16 units and as Latin-1 characters.
    const QString units(reinterpret_cast<const QChar *>(data), static_cast<qsizetype>(size / 2));
    const QString latin1 =
        QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const QString *text : {&units, &latin1}) {
        DecodeArmour(*text, block);
        if (block[BlockSize] != 0) {
            std::abort();
        }
        DecodeArmour(EncodeArmour(block), again);
        if (std::memcmp(block.data(), again.data(), block.size()) != 0) {
            std::abort();
        }
    }
    return 0;
}
