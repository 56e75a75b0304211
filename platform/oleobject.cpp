#include "oleobject.h"

#include "platform/injectedfailure.h"
#include "platform/memory.h"
#include "platform/oleclipboard.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QImageReader>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>
#include <QtEndian>

#include <algorithm>
#include <new>

namespace win {

using veskel::WipeBytes;

struct MetaFileData
{
    QImage icon;
    QString label;
};

namespace {

constexpr int kIconSide = 32;
constexpr int kLabelWidth = 160;
constexpr int kPadding = 4;
constexpr int kMaxPictureSide = 4096;
const QSize kBlankPictureSize(256, 192);
const QString kContentsStream = QStringLiteral("CONTENTS");

InjectedFailure g_creationFailure;

HRESULT checkCreation(const IID &iid, DWORD render, const std::shared_ptr<IStorage> &storage)
{
    HRESULT failure = S_OK;
    if (g_creationFailure.take(failure)) {
        return failure;
    }
    if (!(iid == IID_IOleObject)) {
        return E_NOINTERFACE;
    }
    if (render != OLERENDER_DRAW && render != OLERENDER_NONE) {
        return E_INVALIDARG;
    }
    return storage ? S_OK : E_POINTER;
}

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

// Whether the file's name says it is a picture this platform can decode.
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

// Checks and reads a whole file for embedding.
HRESULT readObjectFile(const QString &path, QByteArray &contents)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return STG_E_FILENOTFOUND;
    }
    if (!info.isFile()) {
        return STG_E_ACCESSDENIED;
    }
    if (info.size() > kMaxObjectBytes) {
        return STG_E_DOCFILETOOLARGE;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return STG_E_ACCESSDENIED;
    }
    try {
        contents = file.read(kMaxObjectBytes + 1);
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    if (file.error() != QFileDevice::NoError) {
        WipeBytes(contents);
        return STG_E_READFAULT;
    }
    if (contents.size() > kMaxObjectBytes) {
        WipeBytes(contents);
        return STG_E_DOCFILETOOLARGE;
    }
    return S_OK;
}

QString elidedLabel(const QString &label, const QFontMetrics &metrics)
{
    return metrics.elidedText(label, Qt::ElideMiddle, kLabelWidth);
}

} // namespace

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

// ---------------------------------------------------------------------------
// The object

OleObject::OleObject(Kind kind, std::shared_ptr<IStorage> storage)
    : m_kind(kind)
    , m_storage(std::move(storage))
{}

OleObject::~OleObject() = default;

HRESULT OleObject::SetClientSite(const std::shared_ptr<IOleClientSite> &site)
{
    m_site = site;
    return S_OK;
}

HRESULT OleObject::GetUserClassID(CLSID &clsid)
{
    clsid = m_kind == Kind::Picture ? CLSID_Picture : CLSID_Package;
    return S_OK;
}

HRESULT OleObject::GetUserType(QString &userType)
{
    CLSID clsid;
    GetUserClassID(clsid);
    userType = ClassUserType(clsid);
    return S_OK;
}

HRESULT OleObject::DoVerb(LONG verb, const void *, const std::shared_ptr<IOleClientSite> &site,
                          LONG, HWND, const QRect *)
{
    if (verb > OLEIVERB_PRIMARY) {
        return E_NOTIMPL; // no verbs of its own
    }
    // Nothing on this platform edits these objects in place or in a window of
    // their own: showing one runs it and brings it into view.
    m_running = true;
    m_closed = false;
    const std::shared_ptr<IOleClientSite> &shown = site ? site : m_site;
    if (shown) {
        shown->ShowObject();
    }
    return S_OK;
}

HRESULT OleObject::Close(DWORD)
{
    m_running = false;
    m_closed = true;
    return S_OK;
}

HRESULT OleObject::Update()
{
    return isLink() ? loadLink() : S_OK;
}

HRESULT OleObject::IsUpToDate()
{
    return S_OK;
}

HRESULT OleObject::Cache(const FORMATETC &format, DWORD advf, DWORD *connection)
{
    STATDATA entry;
    entry.formatetc = format;
    entry.advf = advf;
    entry.dwConnection = m_nextConnection++;
    m_cache.push_back(entry);
    if (connection != nullptr) {
        *connection = entry.dwConnection;
    }
    return S_OK;
}

HRESULT OleObject::Uncache(DWORD connection)
{
    const auto found = std::find_if(m_cache.begin(), m_cache.end(), [&](const STATDATA &entry) {
        return entry.dwConnection == connection;
    });
    if (found == m_cache.end()) {
        return OLE_E_NOCONNECTION;
    }
    m_cache.erase(found);
    return S_OK;
}

HRESULT OleObject::EnumCache(std::vector<STATDATA> &entries)
{
    entries = m_cache;
    return S_OK;
}

HRESULT OleObject::SetData(const FORMATETC &format, const STGMEDIUM &medium, BOOL release)
{
    if (format.cfFormat != CF_METAFILEPICT || format.dwAspect != DVASPECT_ICON ||
        (format.tymed & TYMED_MFPICT) == 0 || medium.tymed != TYMED_MFPICT) {
        return DV_E_FORMATETC;
    }
    QImage icon;
    QString label;
    if (!IconPictureContents(medium.hGlobal, icon, label)) {
        return E_INVALIDARG;
    }
    m_icon = icon;
    m_iconLabel = label;
    if (release != FALSE) {
        FreeIconPicture(medium.hGlobal);
    }
    return S_OK;
}

HRESULT OleObject::SetAdvise(DWORD aspects, DWORD, void *)
{
    if (aspects != DVASPECT_CONTENT && aspects != DVASPECT_ICON) {
        return DV_E_DVASPECT;
    }
    m_viewAspect = aspects;
    return S_OK;
}

HRESULT OleObject::GetAdvise(DWORD *aspects, DWORD *advf)
{
    if (aspects != nullptr) {
        *aspects = m_viewAspect;
    }
    if (advf != nullptr) {
        *advf = 0;
    }
    return S_OK;
}

QByteArray OleObject::contents() const
{
    QByteArray data;
    if (m_storage) {
        m_storage->ReadStream(kContentsStream, data);
    }
    return data;
}

QSize OleObject::extent(DWORD aspect) const
{
    if (aspect != DVASPECT_ICON && m_kind == Kind::Picture && !m_picture.isNull()) {
        return m_picture.deviceIndependentSize().toSize().boundedTo(
            QSize(kMaxPictureSide, kMaxPictureSide));
    }
    const QFontMetrics metrics(QGuiApplication::font());
    const QString label = elidedLabel(m_iconLabel, metrics);
    const int width = std::max(kIconSide, metrics.horizontalAdvance(label)) + 2 * kPadding;
    const int height =
        kIconSide + (label.isEmpty() ? 0 : kPadding + metrics.height()) + 2 * kPadding;
    return {width, height};
}

void OleObject::draw(QPainter &painter, const QRect &rect, DWORD aspect) const
{
    if (aspect != DVASPECT_ICON && m_kind == Kind::Picture && !m_picture.isNull()) {
        painter.drawImage(rect, m_picture);
        return;
    }
    const QImage icon = m_icon.isNull() ? fallbackIcon() : m_icon;
    const QRect iconRect(rect.left() + (rect.width() - kIconSide) / 2, rect.top() + kPadding,
                         kIconSide, kIconSide);
    painter.drawImage(iconRect, icon);
    const QFontMetrics metrics(painter.font());
    const QString label = elidedLabel(m_iconLabel, metrics);
    if (!label.isEmpty()) {
        const QRect labelRect(rect.left(), iconRect.bottom() + 1 + kPadding, rect.width(),
                              metrics.height());
        painter.drawText(labelRect, Qt::AlignHCenter | Qt::AlignTop, label);
    }
}

QImage OleObject::presentation(DWORD aspect) const
{
    if (aspect != DVASPECT_ICON && m_kind == Kind::Picture && !m_picture.isNull()) {
        return m_picture;
    }
    const QSize size = extent(aspect);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QGuiApplication::font());
    painter.setPen(Qt::black);
    draw(painter, QRect(QPoint(0, 0), size), aspect);
    return image;
}

HRESULT OleObject::initPicture(const QByteArray &encoded, const QImage &image, const QString &name)
{
    if (image.isNull()) {
        return DV_E_FORMATETC;
    }
    m_kind = Kind::Picture;
    m_picture = image;
    m_displayName = name;
    m_iconLabel = name.isEmpty() ? ClassUserType(CLSID_Picture) : name;
    m_icon = iconOfMimeType(QMimeDatabase().mimeTypeForName(QStringLiteral("image/png")));
    if (!m_linkPath.isEmpty() || !m_storage) {
        return S_OK;
    }
    return m_storage->WriteStream(kContentsStream, encoded);
}

HRESULT OleObject::initPackage(const QByteArray &contents, const QString &name)
{
    m_kind = Kind::Package;
    m_picture = QImage();
    m_displayName = name;
    m_iconLabel = name.isEmpty() ? ClassUserType(CLSID_Package) : name;
    m_icon = iconOfFileName(name);
    if (!m_linkPath.isEmpty() || !m_storage) {
        return S_OK;
    }
    return m_storage->WriteStream(kContentsStream, contents);
}

HRESULT OleObject::initLink(const QString &path)
{
    m_linkPath = QFileInfo(path).absoluteFilePath();
    m_displayName = QFileInfo(m_linkPath).fileName();
    if (m_storage) {
        const HRESULT stored = m_storage->WriteStream(QStringLiteral("LINK"), m_linkPath.toUtf8());
        if (FAILED(stored)) {
            return stored;
        }
    }
    return loadLink();
}

// A link shows its file as it is now: a picture file as its picture, any
// other file as its type's icon. Only a picture is read, and only through the
// image reader with its allocation limit.
HRESULT OleObject::loadLink()
{
    const QFileInfo info(m_linkPath);
    if (!info.exists()) {
        return STG_E_FILENOTFOUND;
    }
    if (!info.isFile()) {
        return STG_E_ACCESSDENIED;
    }
    QFile file(m_linkPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return STG_E_ACCESSDENIED;
    }
    QImageReader reader(&file);
    if (reader.canRead()) {
        const QImage image = reader.read();
        if (!image.isNull()) {
            return initPicture({}, image, m_displayName);
        }
    }
    if (namedAsPicture(m_linkPath)) {
        return DV_E_FORMATETC;
    }
    return initPackage({}, m_displayName);
}

// ---------------------------------------------------------------------------
// Creation

HRESULT OleCreate(const CLSID &clsid, const IID &iid, DWORD render, FORMATETC *,
                  const std::shared_ptr<IOleClientSite> &site,
                  const std::shared_ptr<IStorage> &storage, std::shared_ptr<IOleObject> &object)
{
    object.reset();
    const HRESULT checked = checkCreation(iid, render, storage);
    if (FAILED(checked)) {
        return checked;
    }
    if (!(clsid == CLSID_Picture)) {
        return REGDB_E_CLASSNOTREG;
    }
    QImage blank(kBlankPictureSize, QImage::Format_RGB32);
    blank.fill(Qt::white);
    auto created = std::make_shared<OleObject>(OleObject::Kind::Picture, storage);
    const HRESULT result = created->initPicture(encodePng(blank), blank, QString());
    if (FAILED(result)) {
        return result;
    }
    created->SetClientSite(site);
    object = created;
    return S_OK;
}

HRESULT OleCreateFromFile(const CLSID &clsid, const QString &path, const IID &iid, DWORD render,
                          FORMATETC *, const std::shared_ptr<IOleClientSite> &site,
                          const std::shared_ptr<IStorage> &storage,
                          std::shared_ptr<IOleObject> &object)
{
    object.reset();
    const HRESULT checked = checkCreation(iid, render, storage);
    if (FAILED(checked)) {
        return checked;
    }
    if (!(clsid == CLSID_NULL) && !(clsid == CLSID_Picture) && !(clsid == CLSID_Package)) {
        return REGDB_E_CLASSNOTREG;
    }
    QByteArray contents;
    const HRESULT read = readObjectFile(path, contents);
    if (FAILED(read)) {
        return read;
    }
    const QString name = QFileInfo(path).fileName();
    auto created = std::make_shared<OleObject>(OleObject::Kind::Package, storage);
    HRESULT result = S_OK;
    const QImage image = clsid == CLSID_Package ? QImage() : decodePicture(contents);
    if (!image.isNull()) {
        result = created->initPicture(contents, image, name);
    } else if (clsid == CLSID_Picture || (clsid == CLSID_NULL && namedAsPicture(path))) {
        result = DV_E_FORMATETC; // named as a picture but does not decode as one
    } else {
        result = created->initPackage(contents, name);
    }
    WipeBytes(contents);
    if (FAILED(result)) {
        return result;
    }
    created->SetClientSite(site);
    object = created;
    return S_OK;
}

HRESULT OleCreateLinkToFile(const QString &path, const IID &iid, DWORD render, FORMATETC *,
                            const std::shared_ptr<IOleClientSite> &site,
                            const std::shared_ptr<IStorage> &storage,
                            std::shared_ptr<IOleObject> &object)
{
    object.reset();
    const HRESULT checked = checkCreation(iid, render, storage);
    if (FAILED(checked)) {
        return checked;
    }
    if (path.isEmpty()) {
        return STG_E_FILENOTFOUND;
    }
    auto created = std::make_shared<OleObject>(OleObject::Kind::Package, storage);
    const HRESULT result = created->initLink(path);
    if (FAILED(result)) {
        return result;
    }
    created->SetClientSite(site);
    object = created;
    return S_OK;
}

HRESULT OleCreateFromData(const std::shared_ptr<IDataObject> &data, const IID &iid, DWORD render,
                          FORMATETC *format, const std::shared_ptr<IOleClientSite> &site,
                          const std::shared_ptr<IStorage> &storage,
                          std::shared_ptr<IOleObject> &object)
{
    object.reset();
    if (!data) {
        return E_POINTER;
    }
    const QMimeData &mime = data->mimeData();
    if (mime.hasFormat(kMimeEmbeddedObject)) {
        const HRESULT checked = checkCreation(iid, render, storage);
        if (FAILED(checked)) {
            return checked;
        }
        const HRESULT loaded = OleLoadObjectData(mime.data(kMimeEmbeddedObject), storage, object);
        if (SUCCEEDED(loaded) && object) {
            object->SetClientSite(site);
        }
        return loaded;
    }
    if (mime.hasImage()) {
        const HRESULT checked = checkCreation(iid, render, storage);
        if (FAILED(checked)) {
            return checked;
        }
        const QImage image = qvariant_cast<QImage>(mime.imageData());
        if (image.isNull()) {
            return DV_E_FORMATETC;
        }
        auto created = std::make_shared<OleObject>(OleObject::Kind::Picture, storage);
        const HRESULT result = created->initPicture(encodePng(image), image, QString());
        if (FAILED(result)) {
            return result;
        }
        created->SetClientSite(site);
        object = created;
        return S_OK;
    }
    const QStringList files = LocalFilesOf(mime);
    if (!files.isEmpty()) {
        return OleCreateFromFile(CLSID_NULL, files.front(), iid, render, format, site, storage,
                                 object);
    }
    return DV_E_FORMATETC;
}

HRESULT OleCreateLinkFromData(const std::shared_ptr<IDataObject> &data, const IID &iid,
                              DWORD render, FORMATETC *format,
                              const std::shared_ptr<IOleClientSite> &site,
                              const std::shared_ptr<IStorage> &storage,
                              std::shared_ptr<IOleObject> &object)
{
    object.reset();
    if (!data) {
        return E_POINTER;
    }
    const QStringList files = LocalFilesOf(data->mimeData());
    if (files.isEmpty()) {
        return DV_E_FORMATETC;
    }
    return OleCreateLinkToFile(files.front(), iid, render, format, site, storage, object);
}

// ---------------------------------------------------------------------------
// Objects as bytes:
//   "VSKOBJ" version(1) kind(1) link(1) aspect(4)
//   name, link path, icon label: length(4) + UTF-8 each
//   contents: length(4) + bytes
// All numbers little-endian.

namespace {

const QByteArray kMagic = QByteArrayLiteral("VSKOBJ");
constexpr char kVersion = 1;
constexpr quint32 kMaxTextBytes = 8 * 1024; // a path is at most 4,096 bytes here

void appendNumber(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendBlock(QByteArray &out, const QByteArray &block)
{
    appendNumber(out, static_cast<quint32>(block.size()));
    out.append(block);
}

class Reader
{
public:
    explicit Reader(QByteArrayView data)
        : m_data(data)
    {}
    bool bytes(qsizetype count, QByteArrayView &out)
    {
        if (count < 0 || m_data.size() - m_at < count) {
            return false;
        }
        out = m_data.sliced(m_at, count);
        m_at += count;
        return true;
    }
    bool number(quint32 &value)
    {
        QByteArrayView raw;
        if (!bytes(4, raw)) {
            return false;
        }
        value = qFromLittleEndian<quint32>(raw.data());
        return true;
    }
    bool block(quint32 limit, QByteArrayView &out)
    {
        quint32 size = 0;
        return number(size) && size <= limit && bytes(static_cast<qsizetype>(size), out);
    }
    bool atEnd() const { return m_at == m_data.size(); }

private:
    QByteArrayView m_data;
    qsizetype m_at = 0;
};

} // namespace

QByteArray OleSaveObjectData(const OleObject &object)
{
    QByteArray out = kMagic;
    out.append(kVersion);
    out.append(static_cast<char>(object.kind() == OleObject::Kind::Picture ? 0 : 1));
    out.append(static_cast<char>(object.isLink() ? 1 : 0));
    appendNumber(out, object.viewAspect());
    appendBlock(out, object.displayName().toUtf8());
    appendBlock(out, object.linkPath().toUtf8());
    appendBlock(out, object.iconLabel().toUtf8());
    appendBlock(out, object.isLink() ? QByteArray() : object.contents());
    return out;
}

HRESULT OleLoadObjectData(QByteArrayView data, const std::shared_ptr<IStorage> &storage,
                          std::shared_ptr<IOleObject> &object)
{
    object.reset();
    if (!storage) {
        return E_POINTER;
    }
    Reader reader(data);
    QByteArrayView magic;
    QByteArrayView header;
    quint32 aspect = 0;
    QByteArrayView name;
    QByteArrayView linkPath;
    QByteArrayView iconLabel;
    QByteArrayView contents;
    if (!reader.bytes(kMagic.size(), magic) || magic != kMagic || !reader.bytes(3, header) ||
        header[0] != kVersion || !reader.number(aspect) || !reader.block(kMaxTextBytes, name) ||
        !reader.block(kMaxTextBytes, linkPath) || !reader.block(kMaxTextBytes, iconLabel) ||
        !reader.block(static_cast<quint32>(kMaxObjectBytes), contents) || !reader.atEnd()) {
        return DV_E_FORMATETC;
    }
    const bool picture = header[1] == 0;
    const bool link = header[2] == 1;
    if ((header[1] != 0 && header[1] != 1) || (header[2] != 0 && header[2] != 1) ||
        (aspect != DVASPECT_CONTENT && aspect != DVASPECT_ICON) || (link && linkPath.isEmpty())) {
        return DV_E_FORMATETC;
    }
    auto created = std::make_shared<OleObject>(
        picture ? OleObject::Kind::Picture : OleObject::Kind::Package, storage);
    const QString displayName = QString::fromUtf8(name);
    HRESULT result = S_OK;
    if (link) {
        result = created->initLink(QString::fromUtf8(linkPath));
        if (FAILED(result)) {
            // The file has gone or changed: the link stays, shown by its name.
            result = created->initPackage({}, created->displayName());
        }
    } else if (picture) {
        const QByteArray encoded = contents.toByteArray();
        result = created->initPicture(encoded, decodePicture(encoded), displayName);
    } else {
        result = created->initPackage(contents.toByteArray(), displayName);
    }
    if (FAILED(result)) {
        return result;
    }
    if (!iconLabel.isEmpty()) {
        created->setIconLabel(QString::fromUtf8(iconLabel));
    }
    created->SetAdvise(aspect, 0, nullptr);
    object = created;
    return S_OK;
}

void FailObjectCreationForTesting(HRESULT result, int count)
{
    g_creationFailure.set(result, count);
}

} // namespace win
