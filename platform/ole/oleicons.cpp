// Icon pictures, the icons of types and classes, and the classes themselves.
#include "platform/ole/oleobject.h"
#include "platform/ole/oleobject_p.h"

#include <QApplication>
#include <QBuffer>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>

#include <new>

namespace win {

struct MetaFileData
{
    QImage icon;
    QString label;
};

namespace objectparts {

QImage fallbackIcon()
{
    QIcon icon;
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr) {
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    }
    QImage image = icon.pixmap(kIconSide, kIconSide).toImage();
    if (!image.isNull()) {
        return image;
    }
    // A plain page with a folded corner.
    image = QImage(kIconSide, kIconSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setPen(Qt::darkGray);
    painter.setBrush(Qt::white);
    const QPolygon page(
        {QPoint(6, 2), QPoint(20, 2), QPoint(26, 8), QPoint(26, 29), QPoint(6, 29)});
    painter.drawPolygon(page);
    painter.drawPolyline(QPolygon({QPoint(20, 2), QPoint(20, 8), QPoint(26, 8)}));
    return image;
}

QImage iconOfMimeType(const QMimeType &type)
{
    if (type.isValid()) {
        QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        const QImage image = icon.pixmap(kIconSide, kIconSide).toImage();
        if (!image.isNull()) {
            return image;
        }
    }
    return fallbackIcon();
}

QImage iconOfFileName(const QString &name)
{
    return iconOfMimeType(QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension));
}

bool namedAsPicture(const QString &path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!type.isValid()) {
        return false;
    }
    const QList<QByteArray> supported = QImageReader::supportedMimeTypes();
    return supported.contains(type.name().toLatin1());
}

QImage decodePicture(const QByteArray &encoded)
{
    QBuffer buffer;
    buffer.setData(encoded);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!reader.canRead()) {
        return {};
    }
    return reader.read();
}

QByteArray encodePng(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

HRESULT checkRegularFile(const QFileInfo &info)
{
    if (!info.exists()) {
        return STG_E_FILENOTFOUND;
    }
    return info.isFile() ? S_OK : STG_E_ACCESSDENIED;
}

} // namespace objectparts

using namespace objectparts;

// ---------------------------------------------------------------------------
// Icon pictures

BOOL DeleteMetaFile(HMETAFILE metafile)
{
    if (metafile == nullptr) {
        return FALSE;
    }
    delete metafile;
    return TRUE;
}

HGLOBAL OleMetafilePictFromIconAndLabel(const QImage &icon, const QString &label)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT));
    if (memory == nullptr) {
        return nullptr;
    }
    auto *metafile = new (std::nothrow) MetaFileData{icon.isNull() ? fallbackIcon() : icon, label};
    if (metafile == nullptr) {
        GlobalFree(memory);
        return nullptr;
    }
    auto *picture = static_cast<METAFILEPICT *>(GlobalLock(memory));
    picture->mm = 8; // MM_ANISOTROPIC
    picture->xExt = kIconSide;
    picture->yExt = kIconSide;
    picture->hMF = metafile;
    GlobalUnlock(memory);
    return memory;
}

HGLOBAL OleGetIconOfClass(const CLSID &clsid, const QString &label, BOOL useTypeAsLabel)
{
    QString text = label;
    if (text.isEmpty() && useTypeAsLabel != FALSE) {
        text = ClassUserType(clsid);
    }
    const QImage icon =
        clsid == CLSID_Picture
            ? iconOfMimeType(QMimeDatabase().mimeTypeForName(QStringLiteral("image/png")))
            : fallbackIcon();
    return OleMetafilePictFromIconAndLabel(icon, text);
}

HGLOBAL OleGetIconOfFile(const QString &path, BOOL useFileAsLabel)
{
    return OleMetafilePictFromIconAndLabel(
        iconOfFileName(path), useFileAsLabel != FALSE ? QFileInfo(path).fileName() : QString());
}

bool IconPictureContents(HGLOBAL picture, QImage &icon, QString &label)
{
    if (picture == nullptr || GlobalSize(picture) < sizeof(METAFILEPICT)) {
        return false;
    }
    const auto *data = static_cast<const METAFILEPICT *>(GlobalLock(picture));
    const bool present = data->hMF != nullptr;
    if (present) {
        icon = data->hMF->icon;
        label = data->hMF->label;
    }
    GlobalUnlock(picture);
    return present;
}

void FreeIconPicture(HGLOBAL picture)
{
    if (picture == nullptr) {
        return;
    }
    if (GlobalSize(picture) >= sizeof(METAFILEPICT)) {
        auto *data = static_cast<METAFILEPICT *>(GlobalLock(picture));
        DeleteMetaFile(data->hMF);
        data->hMF = nullptr;
        GlobalUnlock(picture);
    }
    GlobalFree(picture);
}

// ---------------------------------------------------------------------------
// Classes

std::vector<ObjectClass> InsertableClasses()
{
    return {{CLSID_Picture, ClassUserType(CLSID_Picture)}};
}

QString ClassUserType(const CLSID &clsid)
{
    if (clsid == CLSID_Picture) {
        return QStringLiteral("Picture");
    }
    if (clsid == CLSID_Package) {
        return QStringLiteral("Package");
    }
    return {};
}

QString ClassProgId(const CLSID &clsid)
{
    if (clsid == CLSID_Picture) {
        return QStringLiteral("Veskel.Picture.1");
    }
    if (clsid == CLSID_Package) {
        return QStringLiteral("Package");
    }
    return {};
}

bool ClassFromProgId(const QString &progId, CLSID &clsid)
{
    for (const CLSID &candidate : {CLSID_Picture, CLSID_Package}) {
        if (ClassProgId(candidate).compare(progId, Qt::CaseInsensitive) == 0) {
            clsid = candidate;
            return true;
        }
    }
    return false;
}

} // namespace win
