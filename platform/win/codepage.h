// The system's ANSI code page (Windows-1252 here) and the decoding of plain
// text streams.
#pragma once

#include "platform/win/wintypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace win {

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_WINDOWS_1252 = 1252;
inline constexpr UINT CP_UTF16LE = 1200;

// The code page CP_ACP stands for.
UINT GetACP();

// Bytes in the ANSI code page to text, and back. Characters the code page
// lacks are written as '?'.
QString DecodeAnsi(QByteArrayView bytes);
QByteArray EncodeAnsi(QStringView text);

// Plain text stream data: UTF-8 when the bytes are valid UTF-8, else the ANSI
// code page. A leading UTF-8 byte-order mark is skipped.
QString DecodeStreamText(QByteArrayView bytes);

} // namespace win
