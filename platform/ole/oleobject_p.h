// What the object services share: icons of types and classes, and pictures
// as bytes.
#pragma once

#include "platform/ole/oletypes.h"

#include <QByteArray>
#include <QImage>
#include <QString>

class QFileInfo;
class QMimeType;

namespace win::objectparts {

inline constexpr int kIconSide = 32;

// The toolkit's file icon, or a drawn page where there is none.
QImage fallbackIcon();
QImage iconOfMimeType(const QMimeType &type);
QImage iconOfFileName(const QString &name);
// Whether the file's name says it is a picture this platform can decode.
bool namedAsPicture(const QString &path);
// A null image when the bytes are no picture the image reader knows.
QImage decodePicture(const QByteArray &encoded);
QByteArray encodePng(const QImage &image);
// S_OK for an existing regular file; STG_E_FILENOTFOUND when there is none,
// STG_E_ACCESSDENIED for a folder, device or pipe (which could block a read).
HRESULT checkRegularFile(const QFileInfo &info);

} // namespace win::objectparts
