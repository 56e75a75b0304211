#include "platform/richedit/objectsupport.h"

#include "platform/ole/oleclipboard.h"
#include "platform/ole/oleobject.h"
#include "platform/richedit/richedit.h"
#include "platform/rtf/rtfreader.h"

#include <QMimeData>
#include <QPointer>
#include <QTextDocumentFragment>
#include <QTextImageFormat>
#include <QUrl>

#include <algorithm>

namespace win {

namespace {

constexpr HRESULT CO_E_RELEASED = MakeResult(0x800401FF);
constexpr DWORD RECO_PASTE = 0;
constexpr DWORD RECO_DROP = 1;

// The data object of a paste or drop that is under way: a view of the data,
// not a copy.
class MimeDataView final : public IDataObject
{
public:
    explicit MimeDataView(const QMimeData &data)
        : m_data(data)
    {}
    HRESULT QueryGetData(const FORMATETC &format) override
    {
        return MimeDataOffers(m_data, format.cfFormat) ? S_OK : DV_E_FORMATETC;
    }
    const QMimeData &mimeData() const override { return m_data; }

private:
    const QMimeData &m_data;
};

std::shared_ptr<IDataObject> viewOf(const QMimeData &data)
{
    return std::make_shared<MimeDataView>(data);
}

class WindowClientSite final : public IOleClientSite
{
public:
    explicit WindowClientSite(RichEditWindow *window)
        : m_window(window)
    {}
    HRESULT ShowObject() override
    {
        if (m_window == nullptr) {
            return CO_E_RELEASED;
        }
        m_window->scrollCaret();
        return S_OK;
    }

private:
    QPointer<RichEditWindow> m_window;
};

} // namespace

OleObject *DrawableObject(const ObjectRecordPtr &record)
{
    return record ? dynamic_cast<OleObject *>(record->object.get()) : nullptr;
}

std::shared_ptr<IOleClientSite> MakeWindowClientSite(RichEditWindow *window)
{
    return std::make_shared<WindowClientSite>(window);
}

ObjectSupport::ObjectSupport(RichEditWindow &window, QTextDocument &document)
    : m_window(window)
    , m_document(document)
{}

void ObjectSupport::contentChanged(int position, int removed, int added)
{
    if (removed > 0 && !m_live.empty()) {
        objectsChanged();
    } else if (added > 0 && mayHoldObjects()) {
        for (const PositionedObject &object : ObjectsOf(m_document, position, position + added)) {
            m_live.push_back(object.record);
        }
    }
}

// Whether an object's format was ever used in the document: until then no
// change needs a look at the text.
bool ObjectSupport::mayHoldObjects()
{
    if (m_formatSeen) {
        return true;
    }
    const QList<QTextFormat> formats = m_document.allFormats();
    if (formats.size() < m_formatsChecked) {
        m_formatsChecked = 0; // the document was emptied and its formats with it
    }
    for (qsizetype i = m_formatsChecked; i < formats.size() && !m_formatSeen; ++i) {
        m_formatSeen = formats[i].objectType() == kObjectTextFormat;
    }
    m_formatsChecked = formats.size();
    return m_formatSeen;
}

// The host closes every object that has left the text. An undo brings the
// same object back.
void ObjectSupport::objectsChanged()
{
    std::vector<ObjectRecordPtr> now;
    for (const PositionedObject &object : ObjectsOf(m_document)) {
        now.push_back(object.record);
    }
    std::vector<ObjectRecordPtr> gone;
    for (const ObjectRecordPtr &record : m_live) {
        if (std::find(now.begin(), now.end(), record) == now.end() &&
            std::find(gone.begin(), gone.end(), record) == gone.end()) {
            gone.push_back(record);
        }
    }
    m_live = std::move(now);
    if (m_host != nullptr) {
        for (const ObjectRecordPtr &record : gone) {
            if (record->object) {
                m_host->DeleteObject(record->object);
            }
        }
    }
}

void ObjectSupport::addFormats(QMimeData &mime, int from, int to) const
{
    const std::vector<PositionedObject> objects = ObjectsOf(m_document, from, to);
    if (objects.empty()) {
        return;
    }
    // The rich text with its objects (the RTF already offered), for this
    // program's own paste.
    mime.setData(kMimeRichTextAndObjects, mime.data(kMimeRtf)); // shared, not copied
    if (objects.size() != 1 || to - from != 1) {
        return;
    }
    // One object alone: the object itself, and its picture for other programs.
    const OleObject *object = DrawableObject(objects.front().record);
    if (object == nullptr) {
        return;
    }
    mime.setData(kMimeEmbeddedObject, OleSaveObjectData(*object));
    QString userType;
    objects.front().record->object->GetUserType(userType);
    mime.setData(kMimeObjectDescriptor, MakeObjectDescriptor(userType, object->displayName()));
    mime.setImageData(object->presentation(objects.front().record->aspect));
}

bool ObjectSupport::pasteRichText(QTextCursor &cursor, const QByteArray &rtf)
{
    QTextDocument parsed;
    QTextCursor target(&parsed);
    if (!ReadRtf(rtf, target)) {
        return false;
    }
    // Each object asks the host whether it may come in; without a host the
    // window keeps only the object's picture.
    const std::vector<PositionedObject> objects = ObjectsOf(parsed);
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        QTextCursor at(&parsed);
        at.setPosition(it->cp);
        at.setPosition(it->cp + 1, QTextCursor::KeepAnchor);
        if (m_host != nullptr) {
            if (m_host->QueryInsertObject(it->record->clsid, it->record->storage,
                                          REO_CP_SELECTION) == S_OK) {
                it->record->site = MakeWindowClientSite(&m_window);
                continue;
            }
            at.removeSelectedText();
        } else if (const OleObject *object = DrawableObject(it->record)) {
            at.removeSelectedText();
            pastePicture(at, object->presentation(it->record->aspect));
        } else {
            at.removeSelectedText();
        }
    }
    cursor.insertFragment(QTextDocumentFragment(&parsed));
    return true;
}

bool ObjectSupport::insertNewObject(QTextCursor &cursor, const std::shared_ptr<IOleObject> &object,
                                    const std::shared_ptr<IStorage> &storage, DWORD aspect)
{
    CLSID clsid{};
    object->GetUserClassID(clsid);
    if (m_host == nullptr || m_host->QueryInsertObject(clsid, storage, REO_CP_SELECTION) != S_OK) {
        object->Close(OLECLOSE_NOSAVE);
        return false;
    }
    ObjectRecordPtr record = MakeObjectRecord(object, storage, aspect, REO_RESIZABLE);
    record->site = MakeWindowClientSite(&m_window);
    object->SetClientSite(record->site);
    InsertObjectCharacter(cursor, record);
    return true;
}

bool ObjectSupport::pasteObject(QTextCursor &cursor, const QMimeData &mime, bool link,
                                HGLOBAL metaPict)
{
    if (m_host == nullptr) {
        return false;
    }
    std::shared_ptr<IStorage> storage;
    if (m_host->GetNewStorage(storage) != S_OK || !storage) {
        return false;
    }
    const auto site = MakeWindowClientSite(&m_window);
    std::shared_ptr<IOleObject> object;
    const std::shared_ptr<IDataObject> view = viewOf(mime);
    const HRESULT made = link ? OleCreateLinkFromData(view, IID_IOleObject, OLERENDER_DRAW, nullptr,
                                                      site, storage, object)
                              : OleCreateFromData(view, IID_IOleObject, OLERENDER_DRAW, nullptr,
                                                  site, storage, object);
    if (FAILED(made) || !object) {
        return false;
    }
    DWORD aspect = DVASPECT_CONTENT;
    if (metaPict != nullptr) {
        auto *cache = dynamic_cast<IOleCache *>(object.get());
        const FORMATETC icon{CF_METAFILEPICT, nullptr, DVASPECT_ICON, -1, TYMED_MFPICT};
        if (cache != nullptr && SUCCEEDED(cache->SetData(icon, {TYMED_MFPICT, metaPict}, FALSE))) {
            aspect = DVASPECT_ICON;
            if (auto *viewObject = dynamic_cast<IViewObject *>(object.get())) {
                viewObject->SetAdvise(aspect, 0, nullptr);
            }
        }
    }
    return insertNewObject(cursor, object, storage, aspect);
}

bool ObjectSupport::pasteFiles(QTextCursor &cursor, const QStringList &files, bool link)
{
    bool any = false;
    for (const QString &file : files) {
        std::shared_ptr<IStorage> storage;
        if (m_host == nullptr || m_host->GetNewStorage(storage) != S_OK || !storage) {
            break;
        }
        const auto site = MakeWindowClientSite(&m_window);
        std::shared_ptr<IOleObject> object;
        const HRESULT made =
            link ? OleCreateLinkToFile(file, IID_IOleObject, OLERENDER_DRAW, nullptr, site, storage,
                                       object)
                 : OleCreateFromFile(CLSID_NULL, file, IID_IOleObject, OLERENDER_DRAW, nullptr,
                                     site, storage, object);
        if (SUCCEEDED(made) && object) {
            any = insertNewObject(cursor, object, storage, DVASPECT_CONTENT) || any;
        }
    }
    return any;
}

void ObjectSupport::pastePicture(QTextCursor &cursor, const QImage &image)
{
    static int counter = 0;
    const QUrl name(QStringLiteral("veskel-image:%1").arg(++counter));
    cursor.document()->addResource(QTextDocument::ImageResource, name, image);
    QTextImageFormat format;
    format.setName(name.toString());
    format.setWidth(image.width());
    format.setHeight(image.height());
    cursor.insertImage(format);
}

bool ObjectSupport::accepts(const QMimeData &mime, CLIPFORMAT format, bool drop) const
{
    if (m_host == nullptr) {
        return true;
    }
    CLIPFORMAT chosen = format;
    return m_host->QueryAcceptData(viewOf(mime), &chosen, drop ? RECO_DROP : RECO_PASTE, TRUE,
                                   nullptr) == S_OK;
}

} // namespace win
