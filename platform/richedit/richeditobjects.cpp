// The rich edit window's objects: its object interface, the drawing of
// objects, and what pasting, copying and drag and drop do with them.
#include "platform/ole/oleclipboard.h"
#include "platform/ole/oleobject.h"
#include "platform/richedit/richedit.h"
#include "platform/richedit/richeditobjects_p.h"
#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"
#include "platform/testing/richeditfailures.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextImageFormat>
#include <QUrl>

#include <algorithm>

namespace win {

namespace {

constexpr HRESULT E_ACCESSDENIED = MakeResult(0x80070005);
constexpr HRESULT CO_E_RELEASED = MakeResult(0x800401FF);
constexpr DWORD RECO_PASTE = 0;
constexpr DWORD RECO_DROP = 1;

bool g_refuseInterface = false;
bool g_refuseCallback = false;

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

OleObject *drawable(const ObjectRecordPtr &record)
{
    return record ? dynamic_cast<OleObject *>(record->object.get()) : nullptr;
}

bool sameName(const QString &name, const char *known)
{
    return name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0;
}

} // namespace

// ---------------------------------------------------------------------------
// The object interface

class RichEditOleInterface final : public IRichEditOle
{
public:
    explicit RichEditOleInterface(RichEditWindow *window)
        : m_window(window)
    {}

    HRESULT GetClientSite(std::shared_ptr<IOleClientSite> &site) override
    {
        site.reset();
        if (m_window == nullptr) {
            return CO_E_RELEASED;
        }
        site = std::make_shared<WindowClientSite>(m_window);
        return S_OK;
    }

    LONG GetObjectCount() override
    {
        return m_window == nullptr ? 0 : static_cast<LONG>(ObjectsOf(*m_window->document()).size());
    }

    HRESULT GetObject(LONG iob, REOBJECT &object, DWORD flags) override
    {
        if (m_window == nullptr) {
            return CO_E_RELEASED;
        }
        if (object.cbStruct != sizeof(REOBJECT)) {
            return E_INVALIDARG;
        }
        PositionedObject found{};
        if (!find(iob, object.cp, found)) {
            return E_INVALIDARG;
        }
        CHARRANGE selection{};
        m_window->exGetSel(selection);
        object.cp = found.cp;
        object.clsid = found.record->clsid;
        object.dvaspect = found.record->aspect;
        object.dwFlags = found.record->flags;
        if (selection.cpMin <= found.cp && found.cp < selection.cpMax) {
            object.dwFlags |= REO_SELECTED;
        }
        if (const OleObject *drawn = drawable(found.record)) {
            if (drawn->isLink()) {
                object.dwFlags |= REO_LINK;
            }
            const QSize extent = drawn->extent(found.record->aspect);
            object.sizel = SIZE{extent.width() * 2540 / 96, extent.height() * 2540 / 96};
        }
        object.poleobj = (flags & REO_GETOBJ_POLEOBJ) != 0 ? found.record->object : nullptr;
        object.pstg = (flags & REO_GETOBJ_PSTG) != 0 ? found.record->storage : nullptr;
        object.polesite = (flags & REO_GETOBJ_POLESITE) != 0 ? found.record->site : nullptr;
        return S_OK;
    }

    HRESULT InsertObject(REOBJECT &object) override
    {
        if (m_window == nullptr) {
            return CO_E_RELEASED;
        }
        if (object.cbStruct != sizeof(REOBJECT) || !object.poleobj) {
            return E_INVALIDARG;
        }
        if (m_window->isReadOnly()) {
            return E_ACCESSDENIED;
        }
        QTextCursor &cursor = m_window->editCursor();
        const LONG length = m_window->contentLength();
        const LONG removed = cursor.selectionEnd() - cursor.selectionStart();
        if (object.cp != REO_CP_SELECTION) {
            cursor.setPosition(std::clamp(object.cp, LONG{0}, length));
        }
        if (length - (object.cp == REO_CP_SELECTION ? removed : 0) + 1 > m_window->textLimit()) {
            return E_OUTOFMEMORY;
        }
        auto record = std::make_shared<ObjectRecord>();
        record->object = object.poleobj;
        record->storage = object.pstg;
        record->site = object.polesite;
        record->clsid = object.clsid;
        record->aspect = object.dvaspect;
        record->flags = object.dwFlags;
        object.poleobj->SetClientSite(object.polesite);
        InsertObjectCharacter(cursor, record);
        return S_OK;
    }

    HRESULT SetDvaspect(LONG iob, DWORD aspect) override
    {
        if (m_window == nullptr) {
            return CO_E_RELEASED;
        }
        if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_ICON) {
            return DV_E_DVASPECT;
        }
        PositionedObject found{};
        if (!find(iob, -1, found)) {
            return E_INVALIDARG;
        }
        found.record->aspect = aspect;
        // The object draws itself in the aspect the window shows it in.
        if (auto *view = dynamic_cast<IViewObject *>(found.record->object.get())) {
            view->SetAdvise(aspect, 0, nullptr);
        }
        m_window->document()->markContentsDirty(found.cp, 1);
        return S_OK;
    }

    HRESULT ImportDataObject(const std::shared_ptr<IDataObject> &data, CLIPFORMAT format,
                             HGLOBAL metaPict) override
    {
        if (m_window == nullptr) {
            return CO_E_RELEASED;
        }
        std::shared_ptr<IDataObject> source = data;
        if (!source) {
            const HRESULT taken = OleGetClipboard(source);
            if (FAILED(taken)) {
                return taken;
            }
        }
        return m_window->importData(source->mimeData(), format, metaPict) ? S_OK : DV_E_FORMATETC;
    }

    HRESULT InPlaceDeactivate() override
    {
        // Nothing on this platform is ever active in place.
        return m_window == nullptr ? CO_E_RELEASED : S_OK;
    }

private:
    bool find(LONG iob, LONG cp, PositionedObject &found) const
    {
        const std::vector<PositionedObject> objects = ObjectsOf(*m_window->document());
        if (iob >= 0) {
            if (static_cast<std::size_t>(iob) >= objects.size()) {
                return false;
            }
            found = objects[static_cast<std::size_t>(iob)];
            return true;
        }
        if (iob == REO_IOB_SELECTION) {
            CHARRANGE selection{};
            m_window->exGetSel(selection);
            if (selection.cpMax - selection.cpMin != 1) {
                return false;
            }
            cp = selection.cpMin;
        } else if (iob != REO_IOB_USE_CP) {
            return false;
        }
        const auto at = std::find_if(objects.begin(), objects.end(),
                                     [cp](const PositionedObject &o) { return o.cp == cp; });
        if (at == objects.end()) {
            return false;
        }
        found = *at;
        return true;
    }

    QPointer<RichEditWindow> m_window;
};

// ---------------------------------------------------------------------------
// Drawing

ObjectDrawer::ObjectDrawer(RichEditWindow *window)
    : QObject(window)
    , m_window(window)
{}

QSizeF ObjectDrawer::intrinsicSize(QTextDocument *, int, const QTextFormat &format)
{
    const ObjectRecordPtr record = ObjectRecordOf(format);
    const OleObject *object = drawable(record);
    return object != nullptr ? QSizeF(object->extent(record->aspect)) : QSizeF(16, 16);
}

void ObjectDrawer::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *,
                              int positionInDocument, const QTextFormat &format)
{
    const ObjectRecordPtr record = ObjectRecordOf(format);
    const QRect target = rect.toAlignedRect();
    painter->save();
    if (const OleObject *object = drawable(record)) {
        object->draw(*painter, target, record->aspect);
    } else {
        painter->setPen(Qt::darkGray);
        painter->drawRect(target.adjusted(0, 0, -1, -1));
    }
    const QTextCursor cursor = m_window->textCursor();
    if (cursor.selectionStart() <= positionInDocument &&
        positionInDocument < cursor.selectionEnd()) {
        // A selected object shows a frame around it.
        QPen frame(m_window->palette().color(QPalette::Highlight));
        frame.setStyle(Qt::DashLine);
        painter->setPen(frame);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(target.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

// ---------------------------------------------------------------------------
// The window's side

void RefuseOleMessagesForTesting(bool getInterface, bool setCallback)
{
    g_refuseInterface = getInterface;
    g_refuseCallback = setCallback;
}

BOOL RichEditWindow::getOleInterface(std::shared_ptr<IRichEditOle> &ole)
{
    if (g_refuseInterface) {
        ole.reset();
        return FALSE;
    }
    if (!m_ole) {
        m_ole = std::make_shared<RichEditOleInterface>(this);
    }
    ole = m_ole;
    return TRUE;
}

BOOL RichEditWindow::setOleCallback(IRichEditOleCallback *callback)
{
    if (g_refuseCallback && callback != nullptr) {
        return FALSE;
    }
    m_oleCallback = callback;
    return TRUE;
}

void RichEditWindow::setUpObjects()
{
    m_objectDrawer = new ObjectDrawer(this);
    document()->documentLayout()->registerHandler(kObjectTextFormat, m_objectDrawer);
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) {
                if (removed > 0 && !m_liveObjects.empty()) {
                    objectsChanged();
                } else if (added > 0 && mayHoldObjects()) {
                    for (const PositionedObject &object :
                         ObjectsOf(*document(), position, position + added)) {
                        m_liveObjects.push_back(object.record);
                    }
                }
            });
}

// Whether an object's format was ever used in the document: until then no
// change needs a look at the text.
bool RichEditWindow::mayHoldObjects()
{
    if (m_objectFormatSeen) {
        return true;
    }
    const QList<QTextFormat> formats = document()->allFormats();
    if (formats.size() < m_formatsChecked) {
        m_formatsChecked = 0; // the document was emptied and its formats with it
    }
    for (qsizetype i = m_formatsChecked; i < formats.size() && !m_objectFormatSeen; ++i) {
        m_objectFormatSeen = formats[i].objectType() == kObjectTextFormat;
    }
    m_formatsChecked = formats.size();
    return m_objectFormatSeen;
}

// The host closes every object that has left the text. An undo brings the
// same object back.
void RichEditWindow::objectsChanged()
{
    std::vector<ObjectRecordPtr> now;
    for (const PositionedObject &object : ObjectsOf(*document())) {
        now.push_back(object.record);
    }
    std::vector<ObjectRecordPtr> gone;
    for (const ObjectRecordPtr &record : m_liveObjects) {
        if (std::find(now.begin(), now.end(), record) == now.end() &&
            std::find(gone.begin(), gone.end(), record) == gone.end()) {
            gone.push_back(record);
        }
    }
    m_liveObjects = std::move(now);
    if (m_oleCallback != nullptr) {
        for (const ObjectRecordPtr &record : gone) {
            if (record->object) {
                m_oleCallback->DeleteObject(record->object);
            }
        }
    }
}

void RichEditWindow::addObjectFormats(QMimeData &mime, int from, int to) const
{
    const std::vector<PositionedObject> objects = ObjectsOf(*document(), from, to);
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
    const OleObject *object = drawable(objects.front().record);
    if (object == nullptr) {
        return;
    }
    mime.setData(kMimeEmbeddedObject, OleSaveObjectData(*object));
    QString userType;
    objects.front().record->object->GetUserType(userType);
    mime.setData(kMimeObjectDescriptor, MakeObjectDescriptor(userType, object->displayName()));
    mime.setImageData(object->presentation(objects.front().record->aspect));
}

bool RichEditWindow::pasteRichText(QTextCursor &cursor, const QByteArray &rtf)
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
        if (m_oleCallback != nullptr) {
            if (m_oleCallback->QueryInsertObject(it->record->clsid, it->record->storage,
                                                 REO_CP_SELECTION) == S_OK) {
                it->record->site = std::make_shared<WindowClientSite>(this);
                continue;
            }
            at.removeSelectedText();
        } else if (const OleObject *object = drawable(it->record)) {
            at.removeSelectedText();
            pastePicture(at, object->presentation(it->record->aspect));
        } else {
            at.removeSelectedText();
        }
    }
    cursor.insertFragment(QTextDocumentFragment(&parsed));
    return true;
}

bool RichEditWindow::insertNewObject(QTextCursor &cursor, const std::shared_ptr<IOleObject> &object,
                                     const std::shared_ptr<IStorage> &storage, DWORD aspect)
{
    CLSID clsid{};
    object->GetUserClassID(clsid);
    if (m_oleCallback == nullptr ||
        m_oleCallback->QueryInsertObject(clsid, storage, REO_CP_SELECTION) != S_OK) {
        object->Close(OLECLOSE_NOSAVE);
        return false;
    }
    ObjectRecordPtr record = MakeObjectRecord(object, storage, aspect, REO_RESIZABLE);
    record->site = std::make_shared<WindowClientSite>(this);
    object->SetClientSite(record->site);
    InsertObjectCharacter(cursor, record);
    return true;
}

bool RichEditWindow::pasteObject(QTextCursor &cursor, const QMimeData &mime, bool link,
                                 HGLOBAL metaPict)
{
    if (m_oleCallback == nullptr) {
        return false;
    }
    std::shared_ptr<IStorage> storage;
    if (m_oleCallback->GetNewStorage(storage) != S_OK || !storage) {
        return false;
    }
    const auto site = std::make_shared<WindowClientSite>(this);
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

bool RichEditWindow::pasteFiles(QTextCursor &cursor, const QStringList &files, bool link)
{
    bool any = false;
    for (const QString &file : files) {
        std::shared_ptr<IStorage> storage;
        if (m_oleCallback == nullptr || m_oleCallback->GetNewStorage(storage) != S_OK || !storage) {
            break;
        }
        const auto site = std::make_shared<WindowClientSite>(this);
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

void RichEditWindow::pastePicture(QTextCursor &cursor, const QImage &image)
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

bool RichEditWindow::acceptsData(const QMimeData &mime, CLIPFORMAT format, bool drop) const
{
    if (m_oleCallback == nullptr) {
        return true;
    }
    CLIPFORMAT chosen = format;
    return m_oleCallback->QueryAcceptData(viewOf(mime), &chosen, drop ? RECO_DROP : RECO_PASTE,
                                          TRUE, nullptr) == S_OK;
}

bool RichEditWindow::importData(const QMimeData &mime, CLIPFORMAT format, HGLOBAL metaPict)
{
    if (isReadOnly()) {
        return false;
    }
    if (format == 0) {
        insertData(&mime); // it asks the host itself
        return true;
    }
    if (!MimeDataOffers(mime, format) || !acceptsData(mime, format)) {
        return false;
    }
    QTextCursor &cursor = editCursor();
    const bool plainMode = (m_textMode & TM_PLAINTEXT) != 0;
    const QString name = ClipboardFormatName(format);
    if (format == CF_TEXT || format == CF_UNICODETEXT) {
        insertPlainText(cursor, mime.text());
        return true;
    }
    if (plainMode) {
        return false;
    }
    if (format == CF_BITMAP) {
        const QImage image = qvariant_cast<QImage>(mime.imageData());
        if (image.isNull()) {
            return false;
        }
        pastePicture(cursor, image);
        return true;
    }
    if (sameName(name, "Rich Text Format")) {
        return pasteRichText(cursor, mime.hasFormat(kMimeRtf) ? mime.data(kMimeRtf)
                                                              : mime.data(kMimeRtfAlt));
    }
    if (sameName(name, "RichEdit Text and Objects")) {
        return pasteRichText(cursor, mime.data(kMimeRichTextAndObjects));
    }
    if (sameName(name, "Embedded Object")) {
        return pasteObject(cursor, mime, false, metaPict);
    }
    if (sameName(name, "Link Source")) {
        return pasteObject(cursor, mime, true, metaPict);
    }
    return false;
}

} // namespace win
