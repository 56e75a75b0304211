#include "platform/ole/oleobject.h"

#include "platform/ole/oleobject_p.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPainter>

#include <algorithm>
#include <new>

namespace win {

using namespace objectparts;

namespace {

constexpr int kLabelWidth = 160;
constexpr int kPadding = 4;
constexpr int kMaxPictureSide = 4096;
const QString kContentsStream = QStringLiteral("CONTENTS");

QString elidedLabel(const QString &label, const QFontMetrics &metrics)
{
    return metrics.elidedText(label, Qt::ElideMiddle, kLabelWidth);
}

} // namespace

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
    // Opening a link shows its file as it is now; a file that cannot be read
    // leaves the object as it was.
    if (isLink() && (verb == OLEIVERB_PRIMARY || verb == OLEIVERB_OPEN)) {
        if (const HRESULT loaded = loadLink(); FAILED(loaded)) {
            return loaded;
        }
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
    m_iconLabel = labelFor(label);
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

void OleObject::setIconLabel(const QString &label)
{
    m_iconLabel = labelFor(label);
}

QString OleObject::labelFor(const QString &label) const
{
    if (m_kind == Kind::Picture && !isLink()) {
        return label;
    }
    if (!m_displayName.isEmpty()) {
        return m_displayName;
    }
    // No name to show: the class, never a label that could pass for a name.
    return ClassUserType(m_kind == Kind::Picture ? CLSID_Picture : CLSID_Package);
}

QByteArray OleObject::contents() const
{
    QByteArray data;
    // An object without a contents stream has no contents.
    if (m_storage && FAILED(m_storage->ReadStream(kContentsStream, data))) {
        data.clear();
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
    if (const HRESULT set = setLinkPath(path); FAILED(set)) {
        return set;
    }
    return loadLink();
}

HRESULT OleObject::initStoredLink(const QString &path, Kind kind, const QByteArray &presentation)
{
    if (const HRESULT set = setLinkPath(path); FAILED(set)) {
        return set;
    }
    const QImage image = kind == Kind::Picture ? decodePicture(presentation) : QImage();
    if (!image.isNull()) {
        const HRESULT shown = initPicture({}, image, m_displayName);
        if (SUCCEEDED(shown)) {
            m_linkPresentation = presentation;
        }
        return shown;
    }
    // Nothing stored to show: the icon of the file's type and its name. The
    // object keeps its class until its file is read.
    const HRESULT shown = initPackage({}, m_displayName);
    m_kind = kind;
    m_iconLabel = labelFor(m_displayName);
    m_linkPresentation.clear();
    return shown;
}

// Only the path: nothing here looks at the file.
HRESULT OleObject::setLinkPath(const QString &path)
{
    m_linkPath = QFileInfo(path).absoluteFilePath();
    m_displayName = QFileInfo(m_linkPath).fileName();
    if (m_storage) {
        const HRESULT stored = m_storage->WriteStream(QStringLiteral("LINK"), m_linkPath.toUtf8());
        if (FAILED(stored)) {
            return stored;
        }
    }
    return S_OK;
}

// A link shows its file as it is now: a picture file as its picture, any
// other file as its type's icon. Only a picture is read, and only through the
// image reader with its allocation limit. A picture's bytes are kept to be
// stored with the link, unless they are too big to store. On failure the
// object is left as it was.
HRESULT OleObject::loadLink()
{
    const QFileInfo info(m_linkPath);
    if (const HRESULT checked = checkRegularFile(info); FAILED(checked)) {
        return checked;
    }
    QFile file(m_linkPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return STG_E_ACCESSDENIED;
    }
    QImage image;
    QByteArray encoded;
    if (QImageReader(&file).canRead() && file.seek(0)) {
        if (info.size() <= kMaxObjectBytes) {
            try {
                encoded = file.read(kMaxObjectBytes + 1);
            } catch (const std::bad_alloc &) {
                return E_OUTOFMEMORY;
            }
            if (file.error() != QFileDevice::NoError) {
                return STG_E_READFAULT;
            }
        }
        if (encoded.isEmpty() || encoded.size() > kMaxObjectBytes) {
            // Too big to store with the link: shown, but stored as an icon.
            encoded.clear();
            if (!file.seek(0)) {
                return STG_E_READFAULT;
            }
            image = QImageReader(&file).read();
        } else {
            image = decodePicture(encoded);
        }
    }
    if (!image.isNull()) {
        const HRESULT shown = initPicture({}, image, m_displayName);
        if (SUCCEEDED(shown)) {
            m_linkPresentation = encoded;
        }
        return shown;
    }
    if (namedAsPicture(m_linkPath)) {
        return DV_E_FORMATETC;
    }
    const HRESULT shown = initPackage({}, m_displayName);
    if (SUCCEEDED(shown)) {
        m_linkPresentation.clear();
    }
    return shown;
}

} // namespace win
