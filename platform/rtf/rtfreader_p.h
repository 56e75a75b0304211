// Internals of the RTF reader, shared by rtfreader.cpp (tokens, groups,
// control words), rtfkeywords.cpp (the keyword table, the code pages of
// character sets and their decoders), rtftext.cpp (the text put into the
// document) and rtfdestinations.cpp (the font and colour tables, pictures
// and objects). Not part of the platform's interface.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

class QTextImageFormat;

namespace win {
struct ObjectRecord;
}

namespace win::rtf {

// Groups nested deeper than this are counted but share the state of the
// deepest tracked group; that state is restored once they are all closed.
inline constexpr int kMaxTrackedDepth = 1000;
// Picture data beyond this many bytes is dropped, and the picture with it.
inline constexpr qsizetype kMaxPictureBytes = 64 * 1024 * 1024;
// Font sizes in half-points: 1 pt to 1638 pt.
inline constexpr int kMinHalfPoints = 2;
inline constexpr int kMaxHalfPoints = 3276;
// Indents in twips: up to 22 inches either way.
inline constexpr int kMaxIndentTwips = 31680;
// A picture is shown at most this many pixels wide or high.
inline constexpr int kMaxPicturePixels = 16384;
// Entries kept of the font and colour tables, and characters of a font name.
inline constexpr int kMaxTableEntries = 65536;
inline constexpr int kMaxFontNameLength = 256;
// Twips per pixel at 96 dpi.
inline constexpr double kTwipsPerPixel = 15.0;
// Characters of an object's class name.
inline constexpr int kMaxClassNameLength = 256;

enum class Keyword : quint8
{
    Unknown,
    // Document
    Rtf,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    Uc,
    U,
    Bin,
    // Text
    Character, // a special character, given in KeywordInfo::character
    Par,
    SoftBreak, // \sect, \page: a paragraph end unless one was just made
    Cell,
    Row,
    // Paragraph
    Pard,
    Ql,
    Qc,
    Qr,
    Qj,
    Li,
    Ri,
    Fi,
    // Character
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    Sub,
    Super,
    NoSuperSub,
    FontSize,
    Font,
    Foreground,
    Background,
    Hidden,
    // Destinations
    FontTable,
    ColorTable,
    Pict,
    Object,
    ObjEmb,
    ObjLink,
    ObjClass,
    ObjData,
    Result,
    ShpPict,
    NumberText,     // \listtext, \pntext: a paragraph's number as a plain reader shows it
    NestedRowProps, // \nesttableprops: a nested row's properties, with the \nestrow ending it
    SkipDestination,
    // Font table
    Charset,
    CodePage,
    // Colour table
    Red,
    Green,
    Blue,
    // Pictures
    PngBlip,
    JpegBlip,
    OtherBlip,
    PicWGoal,
    PicHGoal,
    PicScaleX,
    PicScaleY,
};

struct KeywordInfo
{
    Keyword id = Keyword::Unknown;
    char16_t character = 0;
};

KeywordInfo LookupKeyword(std::string_view word);

// The code page a font's \fcharset stands for; 0 when it names none (the
// document's code page applies).
int CodePageForCharset(int charset);
// Whether the byte starts a two-byte character in a double-byte code page.
bool IsLeadByte(int codePage, uchar byte);

// One decoder per code page, made when first needed.
class Decoders
{
public:
    bool isKnown(int codePage);
    // Bytes of the code page as text; unknown code pages decode as Windows-1252.
    QString decode(int codePage, QByteArrayView bytes);

private:
    QStringDecoder *decoder(int codePage);

    std::unordered_map<int, QStringDecoder> m_decoders;
};

// What the text written into a group goes to.
enum class Destination : quint8
{
    Text,        // the document
    FontTable,   // font names
    ColorTable,  // colours
    Picture,     // picture data
    Object,      // an embedded object: its data, or else its \result, is shown
    ObjectClass, // the object's class name
    ObjectData,  // the object's data in hex
    Skip,        // nothing
};

enum class Script : quint8
{
    Normal,
    Sub,
    Super
};

struct CharProps
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    Script script = Script::Normal;
    int font = -1;       // font table number; -1: none given
    int halfPoints = 0;  // 0: none given
    int foreground = -1; // colour table index; -1: none given
    int background = -1;
    bool hidden = false; // \v: not shown, so not inserted

    bool operator==(const CharProps &) const = default;
};

struct ParaProps
{
    int alignment = 0; // Qt::Alignment value; 0: none given
    int left = 0;      // twips
    int right = 0;
    int first = 0;
};

struct GroupState
{
    CharProps chars;
    ParaProps para;
    Destination destination = Destination::Text;
    int unicodeSkip = 1; // \uc: fallback characters after each \u
};

struct FontEntry
{
    QString family;
    int codePage = 0; // 0: the document's
};

enum class PictureKind : quint8
{
    Unknown,
    Png,
    Jpeg,
    Other
};

class Reader
{
public:
    Reader(QByteArrayView data, QTextCursor &cursor);
    void run();

private:
    GroupState &state() { return m_stack.back(); }

    // Tokens (rtfreader.cpp)
    void plainText();
    void controlSequence();
    void controlWord();
    void controlSymbol(char symbol);
    void hexByte();
    void keyword(KeywordInfo info, bool hasParam, int param);
    void textKeyword(KeywordInfo info, bool hasParam, int param);
    void unicode(bool hasParam, int param);
    void openGroup();
    void closeGroup();

    // Text (rtftext.cpp)
    int currentCodePage() const;
    void appendByte(uchar byte);
    void flushBytes();
    void appendUnit(char16_t unit);
    void appendAscii(QStringView text);
    void addToRun(QStringView text);
    void beginContent();
    void flushRun();
    void paragraph();
    void emitBreak();
    void applyBlockFormat(const ParaProps &para);
    void insertImage(const QTextImageFormat &format);
    void insertObjectRecord(const std::shared_ptr<ObjectRecord> &record);
    void finish();
    QTextCharFormat charFormat(const CharProps &props);

    // Font table (rtfdestinations.cpp)
    void fontTableKeyword(Keyword id, bool hasParam, int param);
    void fontTableChar(uchar c);
    void fontNameUnit(char16_t unit);
    void decodeFontBytes();
    void commitFont();

    // Colour table (rtfdestinations.cpp)
    void colourKeyword(Keyword id, int param);
    void commitColour();

    // Pictures (rtfdestinations.cpp)
    void startPicture();
    void pictureKeyword(Keyword id, int param);
    bool collectingPicture() const;
    void pictureHex();
    void pictureBinary(QByteArrayView bytes);
    void finishPicture();

    // Objects (rtfdestinations.cpp)
    void startObject();
    void objectKeyword(Keyword id);
    void objectClassChar(char16_t unit);
    void objectHex();
    void objectBinary(QByteArrayView bytes);
    void objectDataBroken();
    bool placeObject();
    void finishObject();

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    QTextCursor &m_cursor;

    std::vector<GroupState> m_stack; // [0] is the state outside every group
    GroupState m_overflowState;      // the deepest tracked state, while deeper
    int m_depth = 0;                 // open groups, tracked or not
    bool m_star = false;             // \* seen: the next control word names a destination
    int m_unicodeSkip = 0;           // fallback characters still to skip

    int m_documentCodePage = 1252;
    int m_defaultFont = -1;
    Decoders m_decoders;
    std::map<int, FontEntry> m_fonts;
    QList<QColor> m_colours; // an invalid colour is an automatic one

    // The font table entry being read.
    struct
    {
        int number = -1;
        int charset = -1;
        int codePage = 0;
        QByteArray bytes;
        QString name;
    } m_font;

    // The colour table entry being read.
    struct
    {
        int red = 0;
        int green = 0;
        int blue = 0;
        bool given = false;
    } m_colour;

    // The picture being read.
    struct Picture
    {
        bool active = false;
        int depth = 0;
        PictureKind kind = PictureKind::Unknown;
        QByteArray data;
        int nibble = -1;
        bool tooLarge = false;
        int goalWidth = 0; // twips
        int goalHeight = 0;
        int scaleX = 100; // percent
        int scaleY = 100;
    } m_picture;

    // The \object group being read. Only one is tracked: an object inside
    // another can only come in the other's \result, once that one is decided.
    struct Object
    {
        enum class Type : quint8
        {
            None,
            Embedded,
            Link,
            Conflicting // both given
        };
        bool active = false;
        int depth = 0; // of the \object group
        Type type = Type::None;
        QString className;
        bool classGiven = false;
        QByteArray data;
        int nibble = -1;
        bool dataGiven = false;
        int dataDepth = 0;       // of the \objdata group
        bool dataClosed = false; // its group ended with its brace
        bool unusable = false;   // the data is broken, cut short or too long
        bool decided = false;    // the object or its \result was chosen
        bool placed = false;     // the object is in the document
    } m_object;
    bool m_atEnd = false; // the data ended: the groups still open are being closed

    // Bytes of the text not yet decoded, all in one code page.
    QByteArray m_bytes;
    int m_bytesCodePage = 1252;
    bool m_needTrail = false; // the last byte leads a two-byte character

    // Text not yet inserted, all in one character format.
    QString m_run;
    CharProps m_runProps;

    // Paragraphs: a \par ends the paragraph at once but its break is made only
    // when more content follows, so that a last \par adds no empty paragraph.
    bool m_pendingBreak = false;
    ParaProps m_pendingPara;
    bool m_pendingCellTab = false;
    QTextBlockFormat m_originalBlockFormat;
    bool m_paraWhole = false;    // the current paragraph began at its block's start
    bool m_paraNumbered = false; // the current paragraph's number text was shown

    CharProps m_formatProps;
    QTextCharFormat m_format;
    bool m_formatValid = false;
};

} // namespace win::rtf
