// Clipboard formats and data objects over the toolkit's clipboard.
//
// A registered format is a number from 0xC000 up, the same for the same name
// (letter case ignored) for the life of the process. Each format this platform
// knows stands for one or more MIME types of the clipboard:
//   "Object Descriptor"          application/x-veskel-object-descriptor
//   "Embedded Object"            application/x-veskel-object, a picture, or a
//                                local file in text/uri-list
//   "Link Source"                a local file in text/uri-list
//   "Rich Text Format"           text/rtf, application/rtf
//   "RichEdit Text and Objects"  application/x-veskel-richtext
//   CF_BITMAP                    a picture (image/png, image/bmp, ...)
//   CF_TEXT, CF_UNICODETEXT      text/plain
#pragma once

#include "platform/ole/oletypes.h"

#include <QByteArray>
#include <QImage>
#include <QMimeData>
#include <QString>
#include <QStringList>

#include <memory>

namespace win {

// 0 when the name is empty.
UINT RegisterClipboardFormatW(LPCWSTR name);
// The name of a registered format; 0 for an unknown or predefined one.
int GetClipboardFormatNameW(UINT format, LPWSTR buffer, int room);

inline const QString kMimeObjectDescriptor =
    QStringLiteral("application/x-veskel-object-descriptor");
inline const QString kMimeEmbeddedObject = QStringLiteral("application/x-veskel-object");
inline const QString kMimeRichTextAndObjects = QStringLiteral("application/x-veskel-richtext");
inline const QString kMimeRtf = QStringLiteral("text/rtf");
inline const QString kMimeRtfAlt = QStringLiteral("application/rtf");
// Clipboard managers record no history of data that offers this format with
// the bytes "secret" (password managers mark what they copy the same way).
inline const QString kMimePasswordManagerHint = QStringLiteral("x-kde-passwordManagerHint");
inline const QByteArray kPasswordManagerHintSecret = QByteArrayLiteral("secret");

// The mark of data this process made from a document. It is a property of the
// object itself and never travels with the data, so what another program
// offers never carries it, even with the same formats.
inline constexpr char kOwnSecretDataProperty[] = "veskelOwnSecretData";

// Marks data made from a document: secret for clipboard managers, and known
// later as this process's own.
inline void MarkAsOwnSecretData(QMimeData &data)
{
    data.setData(kMimePasswordManagerHint, kPasswordManagerHintSecret);
    data.setProperty(kOwnSecretDataProperty, true);
}

// Whether the data is an object this process marked with MarkAsOwnSecretData
// (and still marked secret); false for nullptr and for any other program's
// data.
inline bool IsOwnSecretData(const QMimeData *data)
{
    // The property first: asking a foreign owner for its formats is a round
    // trip to another program.
    return data != nullptr && data->property(kOwnSecretDataProperty).toBool() &&
           data->data(kMimePasswordManagerHint) == kPasswordManagerHintSecret;
}

// The name of a registered format, without registering anything; empty for
// a predefined or unknown format.
QString ClipboardFormatName(UINT format);

// The MIME types a format stands for (empty for one this platform does not
// know).
QStringList ClipboardFormatMimeTypes(UINT format);
// Whether the data offers the format.
bool MimeDataOffers(const QMimeData &data, UINT format);
// The local files the data names in text/uri-list.
QStringList LocalFilesOf(const QMimeData &data);

// Data to paste or drop: a copy of the formats the data offered when taken.
class IDataObject
{
public:
    virtual ~IDataObject() = default;
    // S_OK when the data offers the format; DV_E_FORMATETC otherwise.
    [[nodiscard]] virtual HRESULT QueryGetData(const FORMATETC &format) = 0;
    virtual const QMimeData &mimeData() const = 0;
};

// A data object holding a copy of the data's formats.
std::shared_ptr<IDataObject> DataObjectFromMimeData(const QMimeData &data);
// The clipboard's data object; fails (OLE_E_NOTRUNNING) when there is no
// clipboard, and leaves an empty data object when the clipboard is empty.
[[nodiscard]] HRESULT OleGetClipboard(std::shared_ptr<IDataObject> &data);

// What the object descriptor on the data names: the object's user type and
// its source; false when the data has none.
bool ObjectDescriptorOf(const QMimeData &data, QString &userType, QString &source);
QByteArray MakeObjectDescriptor(const QString &userType, const QString &source);

} // namespace win
