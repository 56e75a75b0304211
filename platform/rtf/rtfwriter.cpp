// The RTF writer: a range of a text document as 7-bit RTF in code page 1252.
#include "platform/rtf/rtfwriter.h"

#include "platform/ole/oleobject.h"
#include "platform/ole/textobject.h"
#include "platform/win/codepage.h"

#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <memory>

namespace win {

namespace {

// Font sizes in half-points: 1 pt to 1638 pt.
constexpr int kMinHalfPoints = 2;
constexpr int kMaxHalfPoints = 3276;
// Indents in twips: up to 22 inches either way.
constexpr int kMaxIndentTwips = 31680;
// Twips per pixel at 96 dpi.
constexpr double kTwipsPerPixel = 15.0;
// Picture and object data per line of hex.
constexpr qsizetype kHexBytesPerLine = 64;
// Shown sizes of pictures and objects in twips: up to 16384 pixels.
constexpr int kMaxGoalTwips = 16384 * 15;

// The Windows-1252 byte of a character above 0x7F, or 0 if the code page
// lacks it.
uchar ansiByte(char16_t unit)
{
    static const QHash<char16_t, uchar> table = [] {
        QHash<char16_t, uchar> bytes;
        QByteArray high(128, Qt::Uninitialized);
        for (int b = 0; b < 128; ++b)
            high[b] = char(0x80 + b);
        const QString decoded = DecodeAnsi(high);
        for (int b = 0; b < 128 && b < decoded.size(); ++b) {
            if (decoded[b] != QChar::ReplacementCharacter)
                bytes.insert(decoded[b].unicode(), uchar(0x80 + b));
        }
        return bytes;
    }();
    return table.value(unit, 0);
}

// Text as RTF. needSpace tells whether a control word was written last, so
// that a letter, digit or blank after it needs the delimiting space first.
void appendEscaped(QByteArray &out, QStringView text, bool &needSpace)
{
    const auto controlWord = [&](const char *word) {
        out += '\\';
        out += word;
        needSpace = true;
    };
    const auto controlSymbol = [&](const char *symbol) {
        out += symbol;
        needSpace = false;
    };
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        switch (unit) {
        case u'\\':
            controlSymbol("\\\\");
            continue;
        case u'{':
            controlSymbol("\\{");
            continue;
        case u'}':
            controlSymbol("\\}");
            continue;
        case u'\t':
            controlWord("tab");
            continue;
        case 0x2028: // the line separator of a paragraph
            controlWord("line");
            continue;
        case 0x00A0:
            controlSymbol("\\~");
            continue;
        case 0x00AD:
            controlSymbol("\\-");
            continue;
        case 0x2011:
            controlSymbol("\\_");
            continue;
        default:
            break;
        }
        if (unit >= 0x20 && unit < 0x7F) {
            if (needSpace)
                out += ' ';
            needSpace = false;
            out += char(unit);
            continue;
        }
        if (unit < 0x20 || unit == 0x7F || unit == QChar::ObjectReplacementCharacter)
            continue; // control characters are not text; objects are written by the caller
        if (const uchar byte = ansiByte(unit)) {
            out += "\\'";
            out += QByteArray::number(byte, 16).rightJustified(2, '0');
            needSpace = false;
            continue;
        }
        // \uN takes a signed 16-bit value; a character beyond U+FFFF is its
        // two surrogates, each written so.
        out += "\\u";
        out += QByteArray::number(unit > 0x7FFF ? int(unit) - 0x10000 : int(unit));
        out += '?';
        needSpace = false;
    }
}

int toTwips(double pixels, int limit)
{
    return int(std::clamp<double>(qRound(pixels * kTwipsPerPixel), -limit, limit));
}

struct RunProps
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int script = 0;     // 1 sub, 2 super
    int font = -1;      // font table index; -1: the document's font
    int halfPoints = 0; // 0: the document's size
    int foreground = 0; // colour table index; 0: automatic
    int background = 0;

    bool operator==(const RunProps &) const = default;
};

class Writer
{
public:
    explicit Writer(const QTextDocument &document)
        : m_document(document)
    {}

    QByteArray write(int start, int end);
    bool formatted();

private:
    void word(const char *name)
    {
        m_out += '\\';
        m_out += name;
        m_needSpace = true;
    }
    void word(const char *name, int value)
    {
        word(name);
        m_out += QByteArray::number(value);
    }

    void paragraphStart(const QTextBlock &block);
    void paragraphEnd(const QTextBlock &block);
    void fragments(const QTextBlock &block, int from, int to);
    void picture(const QTextImageFormat &format);
    void object(const ObjectRecord &record);
    static QByteArray objectData(const OleObject &object, DWORD aspect);
    void appendHex(QByteArrayView data);
    QByteArray pictureGroup(const QImage &image, double width, double height) const;
    QImage imageOf(const QString &name) const;
    void setProps(const RunProps &props);
    RunProps propsOf(const QTextCharFormat &format);
    int fontIndex(const QString &family);
    int colourIndex(const QColor &colour);
    QByteArray header() const;

    const QTextDocument &m_document;
    QByteArray m_out;
    bool m_needSpace = false;
    RunProps m_props;
    QStringList m_fonts;   // [0] is the document's default font
    QList<QRgb> m_colours; // entry 0, the automatic colour, is not listed
};

QByteArray Writer::write(int start, int end)
{
    const int contentEnd = std::max(0, m_document.characterCount() - 1);
    if (end < 0 || end > contentEnd)
        end = contentEnd;
    start = std::clamp(start, 0, end);
    m_fonts = QStringList{m_document.defaultFont().family()};

    // An empty range inside the content holds nothing, not even a paragraph.
    if (start < end || end == contentEnd) {
        for (QTextBlock block = m_document.findBlock(start); block.isValid();
             block = block.next()) {
            const int blockStart = block.position();
            const int blockEnd = blockStart + block.length() - 1; // its paragraph break
            if (blockStart > end)
                break;
            paragraphStart(block);
            fragments(block, std::max(start, blockStart), std::min(end, blockEnd));
            if (blockEnd < end) {
                paragraphEnd(block); // the break is in the range
                continue;
            }
            // The last paragraph is ended too when the range reaches its end
            // (or holds nothing of it after the break before it); a range that
            // stops inside a paragraph's text leaves it open.
            if (end == blockEnd || end == blockStart)
                paragraphEnd(block);
            break;
        }
    }
    QByteArray rtf = header();
    rtf += m_out;
    rtf += "}\n";
    return rtf;
}

void Writer::paragraphStart(const QTextBlock &block)
{
    word("pard");
    const QTextBlockFormat format = block.blockFormat();
    if (format.hasProperty(QTextFormat::BlockAlignment)) {
        const Qt::Alignment alignment = format.alignment() & Qt::AlignHorizontal_Mask;
        if (alignment & Qt::AlignHCenter)
            word("qc");
        else if (alignment & Qt::AlignJustify)
            word("qj");
        else if (alignment & Qt::AlignRight)
            word("qr");
        else
            word("ql");
    }
    const double left = format.leftMargin() + format.indent() * m_document.indentWidth();
    if (const int twips = toTwips(left, kMaxIndentTwips))
        word("li", twips);
    if (const int twips = toTwips(format.rightMargin(), kMaxIndentTwips))
        word("ri", twips);
    if (const int twips = toTwips(format.textIndent(), kMaxIndentTwips))
        word("fi", twips);
}

void Writer::paragraphEnd(const QTextBlock &block)
{
    // An empty paragraph's mark carries its character format.
    if (block.length() == 1)
        setProps(propsOf(block.charFormat()));
    word("par");
    m_out += '\n';
    m_needSpace = false;
}

void Writer::fragments(const QTextBlock &block, int from, int to)
{
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const int fragmentStart = fragment.position();
        const int first = std::max(from, fragmentStart);
        const int last = std::min(to, fragmentStart + fragment.length());
        if (first >= last)
            continue;
        const QString text = fragment.text().mid(first - fragmentStart, last - first);
        const QTextCharFormat format = fragment.charFormat();
        if (const ObjectRecordPtr record = ObjectRecordOf(format)) {
            // Each object character is its own \object group, which needs no
            // character format; other text in the run (there should be none)
            // is written as text.
            qsizetype runStart = 0;
            const auto textUpTo = [&](qsizetype end) {
                if (end > runStart) {
                    setProps(propsOf(format));
                    appendEscaped(m_out, QStringView(text).sliced(runStart, end - runStart),
                                  m_needSpace);
                }
            };
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (text.at(i) != QChar::ObjectReplacementCharacter)
                    continue;
                textUpTo(i);
                runStart = i + 1;
                object(*record);
            }
            textUpTo(text.size());
            continue;
        }
        setProps(propsOf(format));
        if (format.isImageFormat()) {
            for (const QChar c : text) {
                if (c == QChar::ObjectReplacementCharacter)
                    picture(format.toImageFormat());
            }
            continue;
        }
        // Object characters of no known kind stand for nothing the text can
        // keep; appendEscaped leaves them out.
        appendEscaped(m_out, text, m_needSpace);
    }
}

QImage Writer::imageOf(const QString &name) const
{
    const QVariant resource = m_document.resource(QTextDocument::ImageResource, QUrl(name));
    switch (resource.typeId()) {
    case QMetaType::QImage:
        return resource.value<QImage>();
    case QMetaType::QPixmap:
        return resource.value<QPixmap>().toImage();
    case QMetaType::QByteArray:
        return QImage::fromData(resource.toByteArray());
    default:
        return {};
    }
}

void Writer::picture(const QTextImageFormat &format)
{
    const QImage image = imageOf(format.name());
    if (image.isNull())
        return; // no picture to write

    // The size it is shown at: a side not given keeps the picture's aspect.
    double width = format.width();
    double height = format.height();
    if (width <= 0 && height <= 0) {
        width = image.width();
        height = image.height();
    } else if (width <= 0) {
        width = height * image.width() / image.height();
    } else if (height <= 0) {
        height = width * image.height() / image.width();
    }
    const QByteArray group = pictureGroup(image, width, height);
    if (group.isEmpty())
        return;
    m_out += group;
    m_needSpace = false;
}

// "{\object\objemb|\objlink \objwW\objhH {\*\objclass P}{\*\objdata hex}
// {\result picture}}": the object's own bytes, and how it is drawn for readers
// that cannot make it.
void Writer::object(const ObjectRecord &record)
{
    const auto object = std::dynamic_pointer_cast<OleObject>(record.object);
    if (!object)
        return; // an object of no class this platform has: nothing to keep
    const QByteArray data = objectData(*object, record.aspect);
    CLSID clsid = record.clsid;
    if (FAILED(object->GetUserClassID(clsid)))
        clsid = record.clsid;
    const QString progId = ClassProgId(clsid);
    const QSize extent = object->extent(record.aspect);

    m_out += object->isLink() ? "{\\object\\objlink" : "{\\object\\objemb";
    m_out += "\\objw";
    m_out += QByteArray::number(std::max(1, toTwips(extent.width(), kMaxGoalTwips)));
    m_out += "\\objh";
    m_out += QByteArray::number(std::max(1, toTwips(extent.height(), kMaxGoalTwips)));
    if (!progId.isEmpty()) {
        m_out += "{\\*\\objclass ";
        bool needSpace = false;
        appendEscaped(m_out, progId, needSpace);
        m_out += '}';
    }
    // Without its data (which saving should always give) the object is
    // still shown by its result.
    if (!data.isEmpty()) {
        m_out += "{\\*\\objdata\n";
        appendHex(data);
        m_out += '}';
    }
    const QByteArray result =
        pictureGroup(object->presentation(record.aspect), extent.width(), extent.height());
    if (!result.isEmpty()) {
        m_out += "{\\result";
        m_out += result;
        m_out += '}';
    }
    m_out += "}";
    m_needSpace = false;
}

// The object's data, in which the aspect it is drawn in is that of its record:
// the record's aspect may have been changed without the object's. The object
// in the document is left as it is; a copy made from its data takes the aspect.
QByteArray Writer::objectData(const OleObject &object, DWORD aspect)
{
    const QByteArray data = OleSaveObjectData(object);
    if (data.isEmpty() || object.viewAspect() == aspect)
        return data;
    std::shared_ptr<ILockBytes> lockBytes;
    std::shared_ptr<IStorage> storage;
    std::shared_ptr<IOleObject> loaded;
    if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, lockBytes)) ||
        FAILED(StgCreateDocfileOnILockBytes(
            lockBytes, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, storage)) ||
        FAILED(OleLoadObjectData(data, storage, loaded)))
        return data;
    const auto copy = std::dynamic_pointer_cast<OleObject>(loaded);
    if (!copy || FAILED(copy->SetAdvise(aspect, 0, nullptr)))
        return data; // an aspect the object cannot be drawn in: its own stays
    return OleSaveObjectData(*copy);
}

void Writer::appendHex(QByteArrayView data)
{
    for (qsizetype i = 0; i < data.size(); i += kHexBytesPerLine) {
        m_out += data.sliced(i, std::min(kHexBytesPerLine, data.size() - i)).toByteArray().toHex();
        m_out += '\n';
    }
}

// A picture as "{\pict\pngblip ...}" shown at width x height pixels; empty
// when there is no picture or it cannot be encoded.
QByteArray Writer::pictureGroup(const QImage &image, double width, double height) const
{
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    QByteArray out = "{\\pict\\pngblip\\picw";
    out += QByteArray::number(image.width());
    out += "\\pich";
    out += QByteArray::number(image.height());
    out += "\\picwgoal";
    out += QByteArray::number(std::max(1, toTwips(width, kMaxGoalTwips)));
    out += "\\pichgoal";
    out += QByteArray::number(std::max(1, toTwips(height, kMaxGoalTwips)));
    out += '\n';
    for (qsizetype i = 0; i < png.size(); i += kHexBytesPerLine) {
        out += png.mid(i, kHexBytesPerLine).toHex();
        out += '\n';
    }
    out += '}';
    return out;
}

void Writer::setProps(const RunProps &props)
{
    if (props == m_props)
        return;
    // Only \plain brings back the document's own font and size.
    if ((m_props.font >= 0 && props.font < 0) ||
        (m_props.halfPoints > 0 && props.halfPoints == 0)) {
        word("plain");
        m_props = RunProps();
    }
    if (props.bold != m_props.bold)
        word(props.bold ? "b" : "b0");
    if (props.italic != m_props.italic)
        word(props.italic ? "i" : "i0");
    if (props.underline != m_props.underline)
        word(props.underline ? "ul" : "ulnone");
    if (props.strike != m_props.strike)
        word(props.strike ? "strike" : "strike0");
    if (props.script != m_props.script)
        word(props.script == 1 ? "sub" : props.script == 2 ? "super" : "nosupersub");
    if (props.font != m_props.font && props.font >= 0)
        word("f", props.font);
    if (props.halfPoints != m_props.halfPoints && props.halfPoints > 0)
        word("fs", props.halfPoints);
    if (props.foreground != m_props.foreground)
        word("cf", props.foreground);
    if (props.background != m_props.background)
        word("highlight", props.background);
    m_props = props;
}

RunProps Writer::propsOf(const QTextCharFormat &format)
{
    RunProps props;
    props.bold = format.fontWeight() >= QFont::DemiBold;
    props.italic = format.fontItalic();
    const QTextCharFormat::UnderlineStyle underline = format.underlineStyle();
    props.underline = format.fontUnderline() || (underline != QTextCharFormat::NoUnderline &&
                                                 underline != QTextCharFormat::SpellCheckUnderline);
    props.strike = format.fontStrikeOut();
    if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
        props.script = 1;
    else if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        props.script = 2;

    QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    if (families.isEmpty())
        families = QStringList{format.property(QTextFormat::FontFamily).toString()};
    if (!families.first().isEmpty())
        props.font = fontIndex(families.first());

    int halfPoints = 0;
    if (format.hasProperty(QTextFormat::FontPointSize) && format.fontPointSize() > 0)
        halfPoints = qRound(format.fontPointSize() * 2);
    else if (format.hasProperty(QTextFormat::FontPixelSize) &&
             format.intProperty(QTextFormat::FontPixelSize) > 0)
        halfPoints = qRound(format.intProperty(QTextFormat::FontPixelSize) * 0.75 * 2);
    if (halfPoints > 0)
        props.halfPoints = std::clamp(halfPoints, kMinHalfPoints, kMaxHalfPoints);

    if (format.hasProperty(QTextFormat::ForegroundBrush) &&
        format.foreground().style() != Qt::NoBrush)
        props.foreground = colourIndex(format.foreground().color());
    if (format.hasProperty(QTextFormat::BackgroundBrush) &&
        format.background().style() != Qt::NoBrush)
        props.background = colourIndex(format.background().color());
    return props;
}

int Writer::fontIndex(const QString &family)
{
    // Entry 0 stands for the document's font, which runs without a family
    // use; a family given explicitly gets its own entry even if it is the same.
    const qsizetype index = m_fonts.indexOf(family, 1);
    if (index >= 1)
        return int(index);
    m_fonts.append(family);
    return int(m_fonts.size() - 1);
}

int Writer::colourIndex(const QColor &colour)
{
    const QRgb rgb = colour.rgb() & RGB_MASK;
    const qsizetype index = m_colours.indexOf(rgb);
    if (index >= 0)
        return int(index + 1);
    m_colours.append(rgb);
    return int(m_colours.size());
}

QByteArray Writer::header() const
{
    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        out += "{\\f";
        out += QByteArray::number(i);
        out += "\\fnil\\fcharset0 ";
        // A semicolon would end the name early.
        QString name = m_fonts.at(i);
        name.remove(QLatin1Char(';'));
        bool needSpace = false;
        appendEscaped(out, name.trimmed(), needSpace);
        out += ";}";
    }
    out += "}\n";
    if (!m_colours.isEmpty()) {
        out += "{\\colortbl ;";
        for (const QRgb rgb : m_colours) {
            out += "\\red";
            out += QByteArray::number(qRed(rgb));
            out += "\\green";
            out += QByteArray::number(qGreen(rgb));
            out += "\\blue";
            out += QByteArray::number(qBlue(rgb));
            out += ';';
        }
        out += "}\n";
    }
    return out;
}

} // namespace

bool Writer::formatted()
{
    m_fonts = QStringList{m_document.defaultFont().family()};
    for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next()) {
        m_out.clear();
        paragraphStart(block);
        if (m_out != "\\pard")
            return true;
        if (block.length() == 1 && propsOf(block.charFormat()) != RunProps())
            return true;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            // Pictures and objects are counted apart from formatting.
            if (ObjectRecordOf(format) || format.isImageFormat())
                continue;
            if (propsOf(format) != RunProps())
                return true;
        }
    }
    return false;
}

QByteArray WriteRtf(const QTextDocument &document, int start, int end)
{
    return Writer(document).write(start, end);
}

bool HasWrittenFormatting(const QTextDocument &document)
{
    return Writer(document).formatted();
}

} // namespace win
