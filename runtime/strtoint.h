// Text to integer as the conversion routines of the platform's runtime read
// it: optional leading blanks, an optional sign, then decimal digits, or
// hexadecimal digits after "$" or "0x".
#pragma once

#include <QString>

#include <optional>

namespace veskel {

// The value, or nothing when the text is no integer of 32 bits. Hexadecimal
// values up to FFFFFFFF are taken as their 32-bit two's complement.
std::optional<int> TryStrToInt(const QString &text);

// The value; throws EConvertError "''<text>'' is not a valid integer value".
int StrToInt(const QString &text);

} // namespace veskel
