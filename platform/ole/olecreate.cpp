// The object services that create objects: new, from a file, as a link, and
// from a data object.
#include "platform/ole/oleclipboard.h"
#include "platform/ole/oleobject.h"
#include "platform/ole/oleobject_p.h"
#include "platform/testing/injectedfailure.h"
#include "platform/testing/olefailures.h"
#include "runtime/memory.h"

#include <QFileInfo>
#include <QMimeData>

#include <new>

namespace win {

using namespace objectparts;
using veskel::WipeBytes;

namespace {

const QSize kBlankPictureSize(256, 192);

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

// Checks and reads a whole file for embedding.
HRESULT readObjectFile(const QString &path, QByteArray &contents)
{
    const QFileInfo info(path);
    if (const HRESULT checked = checkRegularFile(info); FAILED(checked)) {
        return checked;
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

// A Picture object of the image, its PNG kept in the storage.
HRESULT makePicture(const QImage &image, const std::shared_ptr<IOleClientSite> &site,
                    const std::shared_ptr<IStorage> &storage, std::shared_ptr<IOleObject> &object)
{
    auto created = std::make_shared<OleObject>(OleObject::Kind::Picture, storage);
    const HRESULT result = created->initPicture(encodePng(image), image, QString());
    if (FAILED(result)) {
        return result;
    }
    created->SetClientSite(site);
    object = created;
    return S_OK;
}

} // namespace

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
    return makePicture(blank, site, storage, object);
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
        return makePicture(image, site, storage, object);
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

void FailObjectCreationForTesting(HRESULT result, int count)
{
    g_creationFailure.set(result, count);
}

} // namespace win
