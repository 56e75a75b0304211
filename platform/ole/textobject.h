// Objects in a text document. An object in the text is one U+FFFC character
// whose character format holds the object's record (ObjectRecord): the
// object, its storage, its class, its display aspect and its flags. Undo and
// redo keep the record, so an object survives them; the clipboard and the
// stored text carry the object as bytes.
#pragma once

#include "platform/ole/oleobject.h"
#include "platform/ole/olestorage.h"
#include "platform/ole/oletypes.h"

#include <QTextCharFormat>

#include <memory>
#include <vector>

class QTextCursor;
class QTextDocument;

namespace win {

// An object's flags in the text.
inline constexpr DWORD REO_RESIZABLE = 0x1;
inline constexpr DWORD REO_BLANK = 0x10;
inline constexpr DWORD REO_INPLACEACTIVE = 0x02000000;
inline constexpr DWORD REO_SELECTED = 0x08000000;
inline constexpr DWORD REO_LINK = 0x80000000;

// What an object in the text carries.
struct ObjectRecord
{
    std::shared_ptr<IOleObject> object;
    std::shared_ptr<IStorage> storage;
    std::shared_ptr<IOleClientSite> site;
    CLSID clsid{};
    DWORD aspect = DVASPECT_CONTENT;
    DWORD flags = 0;
    bool operator==(const ObjectRecord &other) const { return this == &other; }
};
using ObjectRecordPtr = std::shared_ptr<ObjectRecord>;

// The character format of an object, and the record of a format (nullptr
// when the format is not an object's).
inline constexpr int kObjectTextFormat = QTextFormat::UserObject + 1;
QTextCharFormat ObjectCharFormat(const ObjectRecordPtr &record);
ObjectRecordPtr ObjectRecordOf(const QTextFormat &format);
// Inserts the object at the cursor as one U+FFFC character.
void InsertObjectCharacter(QTextCursor &cursor, const ObjectRecordPtr &record);
// A record for a loaded or created object kept in the storage.
ObjectRecordPtr MakeObjectRecord(const std::shared_ptr<IOleObject> &object,
                                 const std::shared_ptr<IStorage> &storage, DWORD aspect,
                                 DWORD flags);
// The objects of a document (or of [from, to)) in text order, with positions.
struct PositionedObject
{
    LONG cp;
    ObjectRecordPtr record;
};
std::vector<PositionedObject> ObjectsOf(const QTextDocument &document, int from = 0, int to = -1);

} // namespace win
