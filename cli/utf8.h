// Strict UTF-8 validation with the position of the first fault.
#pragma once

#include <QByteArrayView>

namespace veskel::cli {

// The offset of the first byte that does not begin a well-formed UTF-8
// sequence (overlong forms, surrogates, code points above U+10FFFF and
// sequences cut short are all faults), or -1 when all the bytes are UTF-8.
qsizetype FirstInvalidUtf8Offset(QByteArrayView bytes);

// The bytes of the UTF-8 byte-order mark.
inline constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

} // namespace veskel::cli
