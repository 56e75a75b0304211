// The RTF reader's destinations other than the text: the font and colour
// tables, pictures and objects.
#include "platform/ole/oleobject.h"
#include "platform/ole/olestorage.h"
#include "platform/ole/textobject.h"
#include "platform/rtf/rtfreader_p.h"

#include <QCryptographicHash>
#include <QImage>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace win::rtf {

// Font table: entries "\fN \fcharsetC ... Name;" with or without braces.

void Reader::fontTableKeyword(Keyword id, bool hasParam, int param)
{
    switch (id) {
    case Keyword::Font:
        if (!hasParam)
            break;
        if (m_font.number >= 0)
            commitFont(); // the entry before lacked its semicolon
        m_font = {};
        m_font.number = param;
        break;
    case Keyword::Charset:
        m_font.charset = param;
        break;
    case Keyword::CodePage:
        m_font.codePage = param;
        break;
    case Keyword::SkipDestination:
        state().destination = Destination::Skip;
        break;
    default:
        break;
    }
}

void Reader::fontTableChar(uchar c)
{
    if (m_unicodeSkip > 0) {
        --m_unicodeSkip;
        return;
    }
    if (c == ';') {
        commitFont();
        return;
    }
    if (m_font.bytes.size() < kMaxFontNameLength)
        m_font.bytes.append(char(c));
}

void Reader::fontNameUnit(char16_t unit)
{
    decodeFontBytes();
    if (m_font.name.size() < kMaxFontNameLength)
        m_font.name.append(QChar(unit));
}

void Reader::decodeFontBytes()
{
    if (m_font.bytes.isEmpty())
        return;
    int codePage = m_font.codePage > 0 && m_decoders.isKnown(m_font.codePage)
                       ? m_font.codePage
                       : CodePageForCharset(m_font.charset);
    if (codePage == 0)
        codePage = m_documentCodePage;
    m_font.name += m_decoders.decode(codePage, m_font.bytes);
    m_font.bytes.clear();
}

void Reader::commitFont()
{
    decodeFontBytes();
    if (m_font.number >= 0 &&
        (m_fonts.size() < std::size_t(kMaxTableEntries) || m_fonts.count(m_font.number) != 0)) {
        FontEntry entry;
        QString family;
        for (const QChar c : std::as_const(m_font.name)) {
            if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
                family.append(c);
        }
        entry.family = family.trimmed();
        if (m_font.codePage > 0 && m_decoders.isKnown(m_font.codePage))
            entry.codePage = m_font.codePage;
        else
            entry.codePage = CodePageForCharset(m_font.charset);
        m_fonts[m_font.number] = entry;
        m_formatValid = false;
    }
    m_font = {};
}

// Colour table: "\redR\greenG\blueB;" per entry; an empty entry is the
// automatic colour.

void Reader::colourKeyword(Keyword id, int param)
{
    const int value = std::clamp(param, 0, 255);
    switch (id) {
    case Keyword::Red:
        m_colour.red = value;
        m_colour.given = true;
        break;
    case Keyword::Green:
        m_colour.green = value;
        m_colour.given = true;
        break;
    case Keyword::Blue:
        m_colour.blue = value;
        m_colour.given = true;
        break;
    case Keyword::SkipDestination:
        state().destination = Destination::Skip;
        break;
    default:
        break;
    }
}

void Reader::commitColour()
{
    if (m_colours.size() < kMaxTableEntries) {
        m_colours.append(m_colour.given ? QColor(m_colour.red, m_colour.green, m_colour.blue)
                                        : QColor());
        m_formatValid = false;
    }
    m_colour = {};
}

// Pictures: "{\pict\pngblip\picwgoalW\pichgoalH <hex>}" or with "\binN <bytes>".
// PNG and JPEG pictures are shown; other kinds are skipped, their data unread.

void Reader::startPicture()
{
    if (m_picture.active)
        finishPicture();
    m_picture = {};
    m_picture.active = true;
    m_picture.depth = m_depth;
    state().destination = Destination::Picture;
}

void Reader::pictureKeyword(Keyword id, int param)
{
    switch (id) {
    case Keyword::PngBlip:
        m_picture.kind = PictureKind::Png;
        break;
    case Keyword::JpegBlip:
        m_picture.kind = PictureKind::Jpeg;
        break;
    case Keyword::OtherBlip:
        m_picture.kind = PictureKind::Other;
        break;
    case Keyword::PicWGoal:
        m_picture.goalWidth = param;
        break;
    case Keyword::PicHGoal:
        m_picture.goalHeight = param;
        break;
    case Keyword::PicScaleX:
        m_picture.scaleX = param;
        break;
    case Keyword::PicScaleY:
        m_picture.scaleY = param;
        break;
    case Keyword::SkipDestination:
        state().destination = Destination::Skip;
        break;
    default:
        break;
    }
}

bool Reader::collectingPicture() const
{
    return m_picture.active && !m_picture.tooLarge &&
           (m_picture.kind == PictureKind::Png || m_picture.kind == PictureKind::Jpeg);
}

// Hex digits up to the next control word or group; anything else in between
// (blanks, line ends) is ignored.
void Reader::pictureHex()
{
    const char *const d = m_data.data();
    const qsizetype n = m_data.size();
    bool collect = collectingPicture();
    while (m_pos < n) {
        const char c = d[m_pos];
        if (c == '\\' || c == '{' || c == '}')
            break;
        ++m_pos;
        if (!collect)
            continue;
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        if (value < 0)
            continue;
        if (m_picture.nibble < 0) {
            m_picture.nibble = value;
            continue;
        }
        if (m_picture.data.size() >= kMaxPictureBytes) {
            m_picture.tooLarge = true;
            m_picture.data = QByteArray();
            collect = false;
            continue;
        }
        m_picture.data.append(char(m_picture.nibble << 4 | value));
        m_picture.nibble = -1;
    }
}

void Reader::pictureBinary(QByteArrayView bytes)
{
    if (!collectingPicture())
        return;
    m_picture.nibble = -1;
    if (m_picture.data.size() + bytes.size() > kMaxPictureBytes) {
        m_picture.tooLarge = true;
        m_picture.data = QByteArray();
        return;
    }
    m_picture.data.append(bytes);
}

void Reader::finishPicture()
{
    Picture picture = std::exchange(m_picture, Picture());
    if (picture.tooLarge || picture.data.isEmpty() ||
        (picture.kind != PictureKind::Png && picture.kind != PictureKind::Jpeg))
        return;
    QImage image;
    if (!image.loadFromData(picture.data) || image.isNull())
        return; // not a picture Qt can read: nothing is shown
    // Named by its content: the same picture read twice is one resource.
    const QString name =
        QStringLiteral("rtfimage:") +
        QString::fromLatin1(
            QCryptographicHash::hash(picture.data, QCryptographicHash::Sha1).toHex());
    QTextDocument *document = m_cursor.document();
    document->addResource(QTextDocument::ImageResource, QUrl(name), image);

    QTextImageFormat format;
    format.merge(charFormat(state().chars));
    format.setName(name);
    // The goal size in twips, scaled in percent, shown in pixels.
    const auto pixels = [](int twips, int scale) {
        const double scaled = double(twips) * (scale > 0 ? scale : 100) / 100.0 / kTwipsPerPixel;
        return std::clamp(scaled, 1.0, double(kMaxPicturePixels));
    };
    if (picture.goalWidth > 0)
        format.setWidth(pixels(picture.goalWidth, picture.scaleX));
    if (picture.goalHeight > 0)
        format.setHeight(pixels(picture.goalHeight, picture.scaleY));
    insertImage(format);
}

// Objects: "{\object\objemb|\objlink{\*\objclass P}{\*\objdata hex}{\result R}}".
// Data this platform wrote makes the object again, and its result is not
// shown; any other object (or broken data) is shown by its result.

namespace {

// An object's data beyond this many bytes (the largest content an object holds
// and room for its own fields: 64 KiB of hex digits) is dropped, and the
// object with it.
constexpr qsizetype kMaxObjectDataBytes = qsizetype(kMaxObjectBytes) + 32 * 1024;

} // namespace

void Reader::startObject()
{
    // An object already tracked here is one whose \result is being shown: it
    // is decided, and nothing of it is needed any more.
    m_object = {};
    m_object.active = true;
    m_object.depth = m_depth;
    state().destination = Destination::Object;
}

void Reader::objectKeyword(Keyword id)
{
    GroupState &s = state();
    // The object this group belongs to; an outer object whose result held an
    // inner one is no longer tracked and shows its results.
    const bool tracked = m_object.active && !m_object.decided;
    const bool ownGroup = tracked && m_depth == m_object.depth + 1;
    const auto setType = [this](Object::Type type) {
        if (m_object.type != Object::Type::None && m_object.type != type)
            m_object.type = Object::Type::Conflicting;
        else
            m_object.type = type;
    };
    switch (id) {
    case Keyword::ObjEmb:
        if (tracked)
            setType(Object::Type::Embedded);
        break;
    case Keyword::ObjLink:
        if (tracked)
            setType(Object::Type::Link);
        break;
    case Keyword::ObjClass:
        // A group of its own right inside the object's, given once.
        if (!ownGroup || m_object.classGiven) {
            if (tracked)
                m_object.unusable = true;
            s.destination = Destination::Skip;
            break;
        }
        m_object.classGiven = true;
        s.destination = Destination::ObjectClass;
        break;
    case Keyword::ObjData:
        if (!ownGroup || m_object.dataGiven) {
            if (tracked)
                m_object.unusable = true;
            s.destination = Destination::Skip;
            break;
        }
        m_object.dataGiven = true;
        m_object.dataDepth = m_depth;
        s.destination = Destination::ObjectData;
        break;
    case Keyword::Result:
        if (tracked) {
            m_object.decided = true;
            m_object.placed = placeObject();
        }
        s.destination = m_object.active && m_object.placed ? Destination::Skip : Destination::Text;
        break;
    case Keyword::SkipDestination:
        s.destination = Destination::Skip;
        break;
    default:
        break;
    }
}

void Reader::objectClassChar(char16_t unit)
{
    if (m_object.className.size() < kMaxClassNameLength)
        m_object.className.append(QChar(unit));
    else
        m_object.unusable = true; // no class has such a name
}

// Hex digits up to the next control word or group; blanks and line ends are
// ignored, anything else breaks the data.
void Reader::objectHex()
{
    const char *const d = m_data.data();
    const qsizetype n = m_data.size();
    while (m_pos < n) {
        const char c = d[m_pos];
        if (c == '\\' || c == '{' || c == '}')
            break;
        ++m_pos;
        if (m_object.unusable)
            continue;
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        if (value < 0) {
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
                objectDataBroken();
            continue;
        }
        if (m_object.nibble < 0) {
            m_object.nibble = value;
            continue;
        }
        if (m_object.data.size() >= kMaxObjectDataBytes) {
            objectDataBroken();
            continue;
        }
        m_object.data.append(char(m_object.nibble << 4 | value));
        m_object.nibble = -1;
    }
}

void Reader::objectBinary(QByteArrayView bytes)
{
    if (m_object.unusable)
        return;
    // Binary data between the two digits of a byte breaks it.
    if (m_object.nibble >= 0 || bytes.size() > kMaxObjectDataBytes - m_object.data.size()) {
        objectDataBroken();
        return;
    }
    m_object.data.append(bytes);
}

// The data can make no object: what was read of it is dropped at once.
void Reader::objectDataBroken()
{
    m_object.unusable = true;
    m_object.data = QByteArray();
    m_object.nibble = -1;
}

// Makes the object from its data and puts it at the current position; false
// when the data makes none (of the type and class the group names).
bool Reader::placeObject()
{
    const QByteArray data = std::exchange(m_object.data, QByteArray());
    // A hidden object is not shown: neither it nor its (equally hidden) result.
    if (state().chars.hidden || m_object.unusable || !m_object.dataClosed || m_object.nibble >= 0 ||
        data.isEmpty() || m_object.type == Object::Type::Conflicting)
        return false;
    std::shared_ptr<ILockBytes> lockBytes;
    std::shared_ptr<IStorage> storage;
    if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, lockBytes)) || !lockBytes ||
        FAILED(StgCreateDocfileOnILockBytes(
            lockBytes, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, storage)) ||
        !storage)
        return false;
    std::shared_ptr<IOleObject> loaded;
    if (FAILED(OleLoadObjectData(data, storage, loaded)) || !loaded)
        return false;
    const auto object = std::dynamic_pointer_cast<OleObject>(loaded);
    // The group must not contradict the data: a link given as embedded (or
    // the other way round), or a class of this platform other than the data's.
    bool fits = object != nullptr;
    if (fits && m_object.type != Object::Type::None)
        fits = object->isLink() == (m_object.type == Object::Type::Link);
    CLSID named{};
    if (fits && m_object.classGiven && ClassFromProgId(m_object.className.trimmed(), named)) {
        CLSID own{};
        fits = SUCCEEDED(object->GetUserClassID(own)) && own == named;
    }
    if (!fits) {
        loaded->Close(OLECLOSE_NOSAVE);
        return false;
    }
    insertObjectRecord(MakeObjectRecord(loaded, storage, object->viewAspect(), REO_RESIZABLE));
    return true;
}

void Reader::finishObject()
{
    if (!m_object.decided)
        placeObject(); // an object without a result
    m_object = {};
}

} // namespace win::rtf
