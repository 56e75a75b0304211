// Objects as bytes, for the clipboard and for rich text.
#include "platform/ole/oleobject.h"
#include "platform/ole/oleobject_p.h"

#include <QtEndian>

namespace win {

using namespace objectparts;

// Objects as bytes:
//   "VSKOBJ" version(1) kind(1) link(1) aspect(4)
//   name, link path, icon label: length(4) + UTF-8 each
//   contents: length(4) + bytes
// All numbers little-endian. For a link, the contents are what it shows (a
// linked picture's encoded picture, or nothing): its file is read only when
// the user updates or opens it.

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
    QByteArray contents = object.isLink() ? object.linkPresentation() : object.contents();
    if (contents.size() > kMaxObjectBytes) {
        contents.clear(); // a loader would refuse the whole object
    }
    appendBlock(out, contents);
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
        // Shown as stored: the file a document names is not looked at here.
        result = created->initStoredLink(
            QString::fromUtf8(linkPath),
            picture ? OleObject::Kind::Picture : OleObject::Kind::Package, contents.toByteArray());
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

} // namespace win
