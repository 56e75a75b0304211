// Objects in the rich edit window's text: the host that answers the window's
// questions about them, which objects the text holds (the host hears of each
// one that leaves it), and how objects come in by paste and drop and go out
// by copy.
#pragma once

#include "platform/ole/textobject.h"
#include "platform/richedit/richeditole.h"

#include <QStringList>

#include <memory>
#include <vector>

class QByteArray;
class QImage;
class QMimeData;
class QString;
class QTextCursor;
class QTextDocument;

namespace win {

class OleObject;
class RichEditWindow;

// The object's own drawing and data, when it has them.
OleObject *DrawableObject(const ObjectRecordPtr &record);
// The client site of objects in the window: ShowObject scrolls to the caret.
std::shared_ptr<IOleClientSite> MakeWindowClientSite(RichEditWindow *window);

class ObjectSupport
{
public:
    ObjectSupport(RichEditWindow &window, QTextDocument &document);
    ObjectSupport(const ObjectSupport &) = delete;
    ObjectSupport &operator=(const ObjectSupport &) = delete;

    // nullptr: no host; the window then takes no objects from the clipboard
    // or drops.
    IRichEditOleCallback *host() const { return m_host; }
    void setHost(IRichEditOleCallback *host) { m_host = host; }

    // Keeps the list of objects in the text up to date after a change of the
    // document's content; the host is told of each object that left it.
    void contentChanged(int position, int removed, int added);

    // The formats the objects in [from, to) add to copied data: the rich text
    // with its objects, and for one object alone the object and its picture.
    // The data must already hold the RTF.
    void addFormats(QMimeData &mime, int from, int to) const;
    // Whether the host takes the data (always, without a host).
    bool accepts(const QMimeData &mime, CLIPFORMAT format, bool drop = false) const;

    // Each inserts at the cursor and says whether it did.
    // RTF: objects come in if the host lets them, else without a host as
    // their pictures.
    bool pasteRichText(QTextCursor &cursor, const QByteArray &rtf);
    // An embedded or linked object made from the data; metaPict: its icon.
    bool pasteObject(QTextCursor &cursor, const QMimeData &mime, bool link, HGLOBAL metaPict);
    // One object per file, embedded or linked.
    bool pasteFiles(QTextCursor &cursor, const QStringList &files, bool link);
    static void pastePicture(QTextCursor &cursor, const QImage &image);

private:
    bool insertNewObject(QTextCursor &cursor, const std::shared_ptr<IOleObject> &object,
                         const std::shared_ptr<IStorage> &storage, DWORD aspect);
    bool mayHoldObjects();
    void objectsChanged();

    RichEditWindow &m_window;
    QTextDocument &m_document;
    IRichEditOleCallback *m_host = nullptr;
    std::vector<ObjectRecordPtr> m_live; // in the text now, for DeleteObject
    bool m_formatSeen = false;
    qsizetype m_formatsChecked = 0;
};

} // namespace win
