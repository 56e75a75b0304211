#include "utf8.h"

namespace veskel::cli {

qsizetype FirstInvalidUtf8Offset(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const unsigned lead = p[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The length of the sequence and the range its second byte must lie
        // in; the narrower ranges exclude overlong forms, surrogates and
        // values above U+10FFFF.
        qsizetype length = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead == 0xE0) {
            length = 3;
            low = 0xA0;
        } else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
            length = 3;
        } else if (lead == 0xED) {
            length = 3;
            high = 0x9F;
        } else if (lead == 0xF0) {
            length = 4;
            low = 0x90;
        } else if (lead >= 0xF1 && lead <= 0xF3) {
            length = 4;
        } else if (lead == 0xF4) {
            length = 4;
            high = 0x8F;
        } else {
            return i;
        }
        if (size - i < length || p[i + 1] < low || p[i + 1] > high) {
            return i;
        }
        for (qsizetype k = 2; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return i;
            }
        }
        i += length;
    }
    return -1;
}

} // namespace veskel::cli
