#include "platform/ole/textobject.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

Q_DECLARE_METATYPE(win::ObjectRecordPtr)

namespace win {

namespace {

constexpr int kObjectRecordProperty = QTextFormat::UserProperty + 1;

} // namespace

QTextCharFormat ObjectCharFormat(const ObjectRecordPtr &record)
{
    QTextCharFormat format;
    format.setObjectType(kObjectTextFormat);
    format.setProperty(kObjectRecordProperty, QVariant::fromValue(record));
    return format;
}

ObjectRecordPtr ObjectRecordOf(const QTextFormat &format)
{
    if (format.objectType() != kObjectTextFormat) {
        return nullptr;
    }
    return format.property(kObjectRecordProperty).value<ObjectRecordPtr>();
}

void InsertObjectCharacter(QTextCursor &cursor, const ObjectRecordPtr &record)
{
    QTextCharFormat following = cursor.charFormat();
    following.setObjectType(QTextFormat::NoObject);
    following.clearProperty(kObjectRecordProperty);
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), ObjectCharFormat(record));
    // What is typed next is text again.
    cursor.setCharFormat(following);
}

ObjectRecordPtr MakeObjectRecord(const std::shared_ptr<IOleObject> &object,
                                 const std::shared_ptr<IStorage> &storage, DWORD aspect,
                                 DWORD flags)
{
    auto record = std::make_shared<ObjectRecord>();
    record->object = object;
    record->storage = storage;
    record->aspect = aspect;
    record->flags = flags;
    if (object) {
        object->GetUserClassID(record->clsid);
    }
    return record;
}

std::vector<PositionedObject> ObjectsOf(const QTextDocument &document, int from, int to)
{
    std::vector<PositionedObject> objects;
    if (to < 0) {
        to = document.characterCount();
    }
    for (QTextBlock block = document.findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) {
                continue;
            }
            ObjectRecordPtr record = ObjectRecordOf(fragment.charFormat());
            if (!record) {
                continue;
            }
            const QString text = fragment.text();
            for (qsizetype i = 0; i < text.size(); ++i) {
                const int cp = fragment.position() + static_cast<int>(i);
                if (text.at(i) == QChar::ObjectReplacementCharacter && cp >= from && cp < to) {
                    objects.push_back({cp, record});
                }
            }
        }
    }
    return objects;
}

} // namespace win
