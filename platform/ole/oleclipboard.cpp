#include "platform/ole/oleclipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include <vector>

namespace win {

namespace {

constexpr UINT kFirstRegisteredFormat = 0xC000;

std::vector<QString> &registeredNames()
{
    static std::vector<QString> names;
    return names;
}

QString registeredName(UINT format)
{
    const std::vector<QString> &names = registeredNames();
    if (format < kFirstRegisteredFormat || format - kFirstRegisteredFormat >= names.size()) {
        return {};
    }
    return names[format - kFirstRegisteredFormat];
}

bool sameName(const QString &name, const char *known)
{
    return name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0;
}

class MimeDataObject final : public IDataObject
{
public:
    HRESULT QueryGetData(const FORMATETC &format) override
    {
        return MimeDataOffers(m_data, format.cfFormat) ? S_OK : DV_E_FORMATETC;
    }
    const QMimeData &mimeData() const override { return m_data; }
    QMimeData &data() { return m_data; }

private:
    QMimeData m_data;
};

} // namespace

UINT RegisterClipboardFormatW(LPCWSTR name)
{
    if (name == nullptr || *name == 0) {
        return 0;
    }
    const QString text = QString::fromUtf16(name);
    std::vector<QString> &names = registeredNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].compare(text, Qt::CaseInsensitive) == 0) {
            return kFirstRegisteredFormat + static_cast<UINT>(i);
        }
    }
    if (names.size() >= 0x4000) {
        return 0; // the registered range is full
    }
    names.push_back(text);
    return kFirstRegisteredFormat + static_cast<UINT>(names.size() - 1);
}

int GetClipboardFormatNameW(UINT format, LPWSTR buffer, int room)
{
    const QString name = registeredName(format);
    if (name.isEmpty() || buffer == nullptr || room <= 0) {
        return 0;
    }
    const int copied = std::min(static_cast<int>(name.size()), room - 1);
    std::copy_n(reinterpret_cast<const WCHAR *>(name.utf16()), copied, buffer);
    buffer[copied] = 0;
    return copied;
}

QString ClipboardFormatName(UINT format)
{
    return registeredName(format);
}

QStringList ClipboardFormatMimeTypes(UINT format)
{
    switch (format) {
    case CF_TEXT:
    case CF_UNICODETEXT:
        return {QStringLiteral("text/plain")};
    case CF_BITMAP:
        return {QStringLiteral("image/png"), QStringLiteral("image/bmp"),
                QStringLiteral("application/x-qt-image")};
    default:
        break;
    }
    const QString name = registeredName(format);
    if (sameName(name, "Object Descriptor")) {
        return {kMimeObjectDescriptor};
    }
    if (sameName(name, "Embedded Object")) {
        return {kMimeEmbeddedObject, QStringLiteral("application/x-qt-image"),
                QStringLiteral("text/uri-list")};
    }
    if (sameName(name, "Link Source")) {
        return {QStringLiteral("text/uri-list")};
    }
    if (sameName(name, "Rich Text Format")) {
        return {kMimeRtf, kMimeRtfAlt};
    }
    if (sameName(name, "RichEdit Text and Objects")) {
        return {kMimeRichTextAndObjects};
    }
    return {};
}

QStringList LocalFilesOf(const QMimeData &data)
{
    QStringList files;
    if (!data.hasUrls()) {
        return files;
    }
    for (const QUrl &url : data.urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            files << url.toLocalFile();
        }
    }
    return files;
}

bool MimeDataOffers(const QMimeData &data, UINT format)
{
    switch (format) {
    case CF_TEXT:
    case CF_UNICODETEXT:
        return data.hasText();
    case CF_BITMAP:
        return data.hasImage();
    default:
        break;
    }
    const QString name = registeredName(format);
    if (sameName(name, "Embedded Object")) {
        return data.hasFormat(kMimeEmbeddedObject) || data.hasImage() ||
               !LocalFilesOf(data).isEmpty();
    }
    if (sameName(name, "Link Source")) {
        return !LocalFilesOf(data).isEmpty();
    }
    for (const QString &type : ClipboardFormatMimeTypes(format)) {
        if (data.hasFormat(type)) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<IDataObject> DataObjectFromMimeData(const QMimeData &source)
{
    auto copy = std::make_shared<MimeDataObject>();
    QMimeData &data = copy->data();
    // Only the formats a paste can use are taken: a clipboard may offer many
    // more, each converted on request.
    if (source.hasImage()) {
        data.setImageData(source.imageData());
    }
    if (source.hasUrls()) {
        data.setUrls(source.urls());
    }
    if (source.hasText()) {
        data.setText(source.text());
    }
    if (source.hasHtml()) {
        data.setHtml(source.html());
    }
    for (const QString &type : {kMimeRtf, kMimeRtfAlt, kMimeObjectDescriptor, kMimeEmbeddedObject,
                                kMimeRichTextAndObjects}) {
        if (source.hasFormat(type)) {
            data.setData(type, source.data(type));
        }
    }
    return copy;
}

HRESULT OleGetClipboard(std::shared_ptr<IDataObject> &data)
{
    data.reset();
    QClipboard *clipboard = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr
                                ? QGuiApplication::clipboard()
                                : nullptr;
    if (clipboard == nullptr) {
        return OLE_E_NOTRUNNING;
    }
    const QMimeData *current = clipboard->mimeData();
    data =
        current != nullptr ? DataObjectFromMimeData(*current) : std::make_shared<MimeDataObject>();
    return S_OK;
}

bool ObjectDescriptorOf(const QMimeData &data, QString &userType, QString &source)
{
    if (!data.hasFormat(kMimeObjectDescriptor)) {
        return false;
    }
    const QString text = QString::fromUtf8(data.data(kMimeObjectDescriptor));
    const qsizetype split = text.indexOf(u'\n');
    userType = split < 0 ? text : text.left(split);
    source = split < 0 ? QString() : text.mid(split + 1);
    return !userType.isEmpty();
}

QByteArray MakeObjectDescriptor(const QString &userType, const QString &source)
{
    QString type = userType;
    type.remove(u'\n');
    return (type + u'\n' + source).toUtf8();
}

} // namespace win
