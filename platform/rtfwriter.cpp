// The RTF writer: a range of a text document as 7-bit RTF in code page 1252.
#include "rtfwriter.h"

#include "codepage.h"

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

namespace win {

namespace {

// Font sizes in half-points: 1 pt to 1638 pt.
constexpr int kMinHalfPoints = 2;
constexpr int kMaxHalfPoints = 3276;
// Indents in twips: up to 22 inches either way.
constexpr int kMaxIndentTwips = 31680;
// Twips per pixel at 96 dpi.
constexpr double kTwipsPerPixel = 15.0;
// Picture data per line of hex.
constexpr qsizetype kHexBytesPerLine = 64;

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
        setProps(propsOf(format));
        if (format.isImageFormat()) {
            for (const QChar c : text) {
                if (c == QChar::ObjectReplacementCharacter)
                    picture(format.toImageFormat());
            }
            continue;
        }
        qsizetype runStart = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) != QChar::ObjectReplacementCharacter)
                continue;
            appendEscaped(m_out, QStringView(text).sliced(runStart, i - runStart), m_needSpace);
            runStart = i + 1;
            // An embedded object that is not a picture. This is where its
            // \object group goes (class, \objdata, and a \result picture for
            // readers without the object) once the object host can give its
            // data; until then nothing is written for it.
        }
        appendEscaped(m_out, QStringView(text).sliced(runStart), m_needSpace);
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
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return;

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
    constexpr int kMaxGoal = 16384 * 15;
    m_out += "{\\pict\\pngblip\\picw";
    m_out += QByteArray::number(image.width());
    m_out += "\\pich";
    m_out += QByteArray::number(image.height());
    m_out += "\\picwgoal";
    m_out += QByteArray::number(std::max(1, toTwips(width, kMaxGoal)));
    m_out += "\\pichgoal";
    m_out += QByteArray::number(std::max(1, toTwips(height, kMaxGoal)));
    m_out += '\n';
    for (qsizetype i = 0; i < png.size(); i += kHexBytesPerLine) {
        m_out += png.mid(i, kHexBytesPerLine).toHex();
        m_out += '\n';
    }
    m_out += '}';
    m_needSpace = false;
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

QByteArray WriteRtf(const QTextDocument &document, int start, int end)
{
    return Writer(document).write(start, end);
}

} // namespace win
