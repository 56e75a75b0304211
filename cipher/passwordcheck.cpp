#include "passwordcheck.h"

#include "cipher/blockcodec.h"

namespace veskel {

bool DecryptedBlockLooksRight(QStringView block)
{
    if (block.size() != static_cast<qsizetype>(BlockSize)) {
        return false;
    }
    const qsizetype firstZero = block.indexOf(QChar(u'\0'));
    if (firstZero < 0) {
        return false; // the last byte of a written block is always 0
    }
    qsizetype trailingZeros = 0;
    for (qsizetype i = block.size() - 1; i >= 0 && block[i].unicode() == 0; --i) {
        ++trailingZeros;
    }
    // Zeros from the first one to the end: the text was stored whole. A
    // random block does this with probability below 256^-(its length - 1)
    // summed over every place of the first zero: e^-390 at most.
    if (firstZero + trailingZeros == block.size()) {
        return true;
    }
    return trailingZeros >= TrailingZerosAfterCutText;
}

} // namespace veskel
