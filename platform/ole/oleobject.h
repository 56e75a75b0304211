// Embedded and linked objects: the object interfaces, the classes this
// platform can make (a picture, and a package holding any file) and the
// object services that create them, give their icons and store them as bytes.
//
// An object keeps its bytes in the storage it was created with: an embedded
// file's or picture's contents, or for a link the file's path. A link reads
// its file when it is made, on Update and when it is opened, never when it is
// loaded from bytes: a loaded link shows what was stored with it.
#pragma once

#include "platform/ole/olestorage.h"
#include "platform/ole/oletypes.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <vector>

class QPainter;
class QRect;

namespace win {

class IDataObject;

// Largest file or picture an object holds. Anything bigger is refused with
// STG_E_DOCFILETOOLARGE: the content lives in memory, and a document keeps
// only its text.
inline constexpr qint64 kMaxObjectBytes = 64 * 1024 * 1024;

class IOleClientSite
{
public:
    virtual ~IOleClientSite() = default;
    // Scrolls the object into view.
    virtual HRESULT ShowObject() = 0;
};

class IOleObject
{
public:
    virtual ~IOleObject() = default;
    virtual HRESULT SetClientSite(const std::shared_ptr<IOleClientSite> &site) = 0;
    virtual HRESULT GetUserClassID(CLSID &clsid) = 0;
    virtual HRESULT GetUserType(QString &userType) = 0;
    virtual HRESULT DoVerb(LONG verb, const void *message,
                           const std::shared_ptr<IOleClientSite> &site, LONG index, HWND parent,
                           const QRect *position) = 0;
    virtual HRESULT Close(DWORD saveOption) = 0;
    virtual HRESULT Update() = 0;
    virtual HRESULT IsUpToDate() = 0;
};

struct STATDATA
{
    FORMATETC formatetc;
    DWORD advf = 0;
    DWORD dwConnection = 0;
};

class IOleCache
{
public:
    virtual ~IOleCache() = default;
    virtual HRESULT Cache(const FORMATETC &format, DWORD advf, DWORD *connection) = 0;
    virtual HRESULT Uncache(DWORD connection) = 0;
    virtual HRESULT EnumCache(std::vector<STATDATA> &entries) = 0;
    // release: the cache takes ownership of the medium.
    virtual HRESULT SetData(const FORMATETC &format, const STGMEDIUM &medium, BOOL release) = 0;
};

class IViewObject
{
public:
    virtual ~IViewObject() = default;
    virtual HRESULT SetAdvise(DWORD aspects, DWORD advf, void *sink) = 0;
    virtual HRESULT GetAdvise(DWORD *aspects, DWORD *advf) = 0;
};

// The object of this platform: every created object is one of these.
class OleObject final : public IOleObject, public IOleCache, public IViewObject
{
public:
    enum class Kind
    {
        Picture, // an image, drawn as itself
        Package, // any file, drawn as its type's icon and its name
    };

    // Made by the creation services below.
    OleObject(Kind kind, std::shared_ptr<IStorage> storage);
    ~OleObject() override;

    // IOleObject
    HRESULT SetClientSite(const std::shared_ptr<IOleClientSite> &site) override;
    HRESULT GetUserClassID(CLSID &clsid) override;
    HRESULT GetUserType(QString &userType) override;
    HRESULT DoVerb(LONG verb, const void *message, const std::shared_ptr<IOleClientSite> &site,
                   LONG index, HWND parent, const QRect *position) override;
    HRESULT Close(DWORD saveOption) override;
    HRESULT Update() override;
    HRESULT IsUpToDate() override;
    // IOleCache
    HRESULT Cache(const FORMATETC &format, DWORD advf, DWORD *connection) override;
    HRESULT Uncache(DWORD connection) override;
    HRESULT EnumCache(std::vector<STATDATA> &entries) override;
    HRESULT SetData(const FORMATETC &format, const STGMEDIUM &medium, BOOL release) override;
    // IViewObject
    HRESULT SetAdvise(DWORD aspects, DWORD advf, void *sink) override;
    HRESULT GetAdvise(DWORD *aspects, DWORD *advf) override;

    Kind kind() const { return m_kind; }
    bool isLink() const { return !m_linkPath.isEmpty(); }
    QString linkPath() const { return m_linkPath; }
    // The file's name (no folder), or empty for a picture made new.
    QString displayName() const { return m_displayName; }
    // The picture of a Picture object (null for a package).
    const QImage &picture() const { return m_picture; }
    // The label drawn under the icon. A package or a link is always labelled
    // with its file's name, whatever label it is given: another label could
    // hide the real name or type of the file.
    QString iconLabel() const { return m_iconLabel; }
    void setIconLabel(const QString &label);
    // The embedded bytes (a link holds none).
    QByteArray contents() const;
    // What a link shows, as it is stored with it: the encoded picture of a
    // linked picture, empty for anything else or a picture too big to keep.
    const QByteArray &linkPresentation() const { return m_linkPresentation; }
    bool running() const { return m_running; }
    bool closed() const { return m_closed; }
    DWORD viewAspect() const { return m_viewAspect; }

    // The size the object takes in the text, and its drawing, for an aspect.
    QSize extent(DWORD aspect) const;
    void draw(QPainter &painter, const QRect &rect, DWORD aspect) const;
    // The drawing as a picture, for readers of the stored text.
    QImage presentation(DWORD aspect) const;

    // Set up by the creation services.
    HRESULT initPicture(const QByteArray &encoded, const QImage &image, const QString &name);
    HRESULT initPackage(const QByteArray &contents, const QString &name);
    // A link to the file, shown as the file is now.
    HRESULT initLink(const QString &path);
    // A link as it was stored, without touching its file: a picture object
    // shows the stored picture, and either kind without one is drawn as an
    // icon by the file's name.
    HRESULT initStoredLink(const QString &path, Kind kind, const QByteArray &presentation);

private:
    HRESULT setLinkPath(const QString &path);
    HRESULT loadLink();
    QString labelFor(const QString &label) const;

    Kind m_kind;
    std::shared_ptr<IStorage> m_storage;
    std::shared_ptr<IOleClientSite> m_site;
    QString m_displayName;
    QString m_linkPath;
    QImage m_picture;
    QImage m_icon;       // the type's icon, or the cached icon picture's
    QString m_iconLabel; // the label drawn under the icon
    QByteArray m_linkPresentation;
    bool m_running = false;
    bool m_closed = false;
    DWORD m_viewAspect = DVASPECT_CONTENT;
    std::vector<STATDATA> m_cache;
    DWORD m_nextConnection = 1;
};

// The object services. iid must be IID_IOleObject; render OLERENDER_DRAW or
// OLERENDER_NONE; format is not used (nullptr).
[[nodiscard]] HRESULT OleCreate(const CLSID &clsid, const IID &iid, DWORD render, FORMATETC *format,
                                const std::shared_ptr<IOleClientSite> &site,
                                const std::shared_ptr<IStorage> &storage,
                                std::shared_ptr<IOleObject> &object);
// clsid CLSID_NULL: the class follows the file's contents (a picture file
// whose contents decode makes a Picture, any other file a Package). A file
// named as a picture type whose contents do not decode is refused with
// DV_E_FORMATETC.
[[nodiscard]] HRESULT OleCreateFromFile(const CLSID &clsid, const QString &path, const IID &iid,
                                        DWORD render, FORMATETC *format,
                                        const std::shared_ptr<IOleClientSite> &site,
                                        const std::shared_ptr<IStorage> &storage,
                                        std::shared_ptr<IOleObject> &object);
[[nodiscard]] HRESULT OleCreateLinkToFile(const QString &path, const IID &iid, DWORD render,
                                          FORMATETC *format,
                                          const std::shared_ptr<IOleClientSite> &site,
                                          const std::shared_ptr<IStorage> &storage,
                                          std::shared_ptr<IOleObject> &object);
// From a data object: an object this platform put on the clipboard, a
// picture, or a local file the data names.
[[nodiscard]] HRESULT OleCreateFromData(const std::shared_ptr<IDataObject> &data, const IID &iid,
                                        DWORD render, FORMATETC *format,
                                        const std::shared_ptr<IOleClientSite> &site,
                                        const std::shared_ptr<IStorage> &storage,
                                        std::shared_ptr<IOleObject> &object);
// A link to the local file the data names.
[[nodiscard]] HRESULT OleCreateLinkFromData(const std::shared_ptr<IDataObject> &data,
                                            const IID &iid, DWORD render, FORMATETC *format,
                                            const std::shared_ptr<IOleClientSite> &site,
                                            const std::shared_ptr<IStorage> &storage,
                                            std::shared_ptr<IOleObject> &object);

// Icon pictures: global memory holding a METAFILEPICT whose metafile is an
// icon and a label. The caller frees them: DeleteMetaFile on hMF, then
// GlobalFree.
HGLOBAL OleMetafilePictFromIconAndLabel(const QImage &icon, const QString &label);
// label empty and useTypeAsLabel TRUE: the class's user type is the label.
HGLOBAL OleGetIconOfClass(const CLSID &clsid, const QString &label, BOOL useTypeAsLabel);
// The icon of the file's type; label: the file's name when useFileAsLabel.
HGLOBAL OleGetIconOfFile(const QString &path, BOOL useFileAsLabel);
// The icon and label of an icon picture; false when it holds none.
bool IconPictureContents(HGLOBAL picture, QImage &icon, QString &label);
// DeleteMetaFile then GlobalFree; nullptr is allowed.
void FreeIconPicture(HGLOBAL picture);

// The classes the insert-object dialog offers under "Create New".
struct ObjectClass
{
    CLSID clsid;
    QString userType;
};
std::vector<ObjectClass> InsertableClasses();
QString ClassUserType(const CLSID &clsid);
QString ClassProgId(const CLSID &clsid);
bool ClassFromProgId(const QString &progId, CLSID &clsid);

// An object as bytes (this platform's own layout) and back, into a new
// object on the storage. Loading checks every length against the data, and
// never opens the file a link names.
QByteArray OleSaveObjectData(const OleObject &object);
[[nodiscard]] HRESULT OleLoadObjectData(QByteArrayView data,
                                        const std::shared_ptr<IStorage> &storage,
                                        std::shared_ptr<IOleObject> &object);

} // namespace win
