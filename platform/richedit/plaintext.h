// The plain-text conversion between the window's document and the text it
// streams: paragraph breaks, UTF-16LE bytes, and telling RTF data apart.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace win {

// The document's paragraph separator and the bounds of frames.
bool IsParagraphBreak(char16_t c);
// CR LF, a lone CR and a lone LF each become a paragraph separator; a
// vertical tab becomes a line separator.
QString NormalizeBreaks(QStringView text);
QString DecodeUtf16le(QByteArrayView bytes);
QByteArray EncodeUtf16le(QStringView text);
// Data that starts as an RTF document does.
bool IsRtfData(QByteArrayView data);

} // namespace win
