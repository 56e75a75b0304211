// The rich edit window's objects: its object interface, the drawing of
// objects, and the paste of data in a format the host chose.
#include "platform/ole/oleclipboard.h"
#include "platform/ole/oleobject.h"
#include "platform/richedit/objectsupport.h"
#include "platform/richedit/richedit.h"
#include "platform/richedit/richeditobjects_p.h"
#include "platform/testing/richeditfailures.h"

#include <QAbstractTextDocumentLayout>
#include <QMimeData>
#include <QPainter>
#include <QPointer>

#include <algorithm>

namespace win {

namespace {

constexpr HRESULT E_ACCESSDENIED = MakeResult(0x80070005);
constexpr HRESULT CO_E_RELEASED = MakeResult(0x800401FF);

bool g_refuseInterface = false;
bool g_refuseCallback = false;

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
        site = MakeWindowClientSite(m_window);
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
        if (const OleObject *drawn = DrawableObject(found.record)) {
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
    const OleObject *object = DrawableObject(record);
    return object != nullptr ? QSizeF(object->extent(record->aspect)) : QSizeF(16, 16);
}

void ObjectDrawer::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *,
                              int positionInDocument, const QTextFormat &format)
{
    const ObjectRecordPtr record = ObjectRecordOf(format);
    const QRect target = rect.toAlignedRect();
    painter->save();
    if (const OleObject *object = DrawableObject(record)) {
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
    m_objects->setHost(callback);
    return TRUE;
}

void RichEditWindow::setUpObjects()
{
    m_objectDrawer = new ObjectDrawer(this);
    document()->documentLayout()->registerHandler(kObjectTextFormat, m_objectDrawer);
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
    if (!MimeDataOffers(mime, format) || !m_objects->accepts(mime, format)) {
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
        ObjectSupport::pastePicture(cursor, image);
        return true;
    }
    if (sameName(name, "Rich Text Format")) {
        return m_objects->pasteRichText(cursor, mime.hasFormat(kMimeRtf) ? mime.data(kMimeRtf)
                                                                         : mime.data(kMimeRtfAlt));
    }
    if (sameName(name, "RichEdit Text and Objects")) {
        return m_objects->pasteRichText(cursor, mime.data(kMimeRichTextAndObjects));
    }
    if (sameName(name, "Embedded Object")) {
        return m_objects->pasteObject(cursor, mime, false, metaPict);
    }
    if (sameName(name, "Link Source")) {
        return m_objects->pasteObject(cursor, mime, true, metaPict);
    }
    return false;
}

} // namespace win
