// The RTF reader: tokens and groups, and what each control word does. The
// text they make is put into the document by rtftext.cpp; keywords, code
// pages, tables and pictures are in rtfdestinations.cpp.
#include "platform/rtf/rtfreader.h"

#include "platform/rtf/rtfreader_p.h"

#include <QScopeGuard>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace win {

namespace rtf {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Printable ASCII that stands for itself in RTF text.
bool isPlainAscii(char c)
{
    return c >= 0x20 && c <= 0x7E && c != '\\' && c != '{' && c != '}';
}

bool isGroupOrControl(char c)
{
    return c == '\\' || c == '{' || c == '}';
}

int clampIndent(bool hasParam, int param)
{
    return hasParam ? std::clamp(param, -kMaxIndentTwips, kMaxIndentTwips) : 0;
}

} // namespace

Reader::Reader(QByteArrayView data, QTextCursor &cursor)
    : m_data(data)
    , m_cursor(cursor)
{
    m_stack.reserve(64);
    m_stack.emplace_back();
    m_originalBlockFormat = cursor.blockFormat();
    m_paraWhole = cursor.atBlockStart();
}

void Reader::run()
{
    const char *const d = m_data.data();
    const qsizetype n = m_data.size();
    while (m_pos < n) {
        const char c = d[m_pos];
        if (c == '{') {
            ++m_pos;
            openGroup();
        } else if (c == '}') {
            ++m_pos;
            closeGroup();
            if (m_depth == 0)
                break; // the document's own group is closed; what follows is not RTF
        } else if (c == '\\') {
            controlSequence();
        } else if (c == '\r' || c == '\n') {
            ++m_pos; // line ends in the data are not text
        } else {
            plainText();
        }
    }
    // Data that ends early closes its groups (pictures and fonts still count).
    m_atEnd = true;
    while (m_depth > 0)
        closeGroup();
}

// Plain characters: at least one is consumed.
void Reader::plainText()
{
    const char *const d = m_data.data();
    const qsizetype n = m_data.size();
    if (m_star) {
        // \* followed by text rather than a destination's name.
        m_star = false;
        state().destination = Destination::Skip;
    }
    switch (state().destination) {
    case Destination::Skip:
    case Destination::Object:
        do {
            ++m_pos;
        } while (m_pos < n && !isGroupOrControl(d[m_pos]));
        return;
    case Destination::Picture:
        pictureHex();
        return;
    case Destination::ObjectData:
        objectHex();
        return;
    case Destination::ObjectClass:
        do {
            if (m_unicodeSkip > 0)
                --m_unicodeSkip;
            else
                objectClassChar(char16_t(uchar(d[m_pos])));
            ++m_pos;
        } while (m_pos < n && !isGroupOrControl(d[m_pos]));
        return;
    case Destination::FontTable:
        fontTableChar(uchar(d[m_pos++]));
        return;
    case Destination::ColorTable:
        if (m_unicodeSkip > 0)
            --m_unicodeSkip;
        else if (d[m_pos] == ';')
            commitColour();
        ++m_pos;
        return;
    case Destination::Text:
        break;
    }

    const uchar c = uchar(d[m_pos]);
    if (m_unicodeSkip > 0) {
        --m_unicodeSkip;
        ++m_pos;
        return;
    }
    if (m_needTrail || c >= 0x80) {
        // The trail byte of a double-byte character may be plain ASCII; bytes
        // above 0x7F that some writers leave unescaped are in the code page.
        ++m_pos;
        appendByte(c);
        return;
    }
    if (c < 0x20 || c == 0x7F) {
        ++m_pos;
        if (c == '\t') {
            flushBytes();
            appendUnit(u'\t');
        }
        return;
    }
    qsizetype end = m_pos + 1;
    while (end < n && isPlainAscii(d[end]))
        ++end;
    flushBytes();
    appendAscii(QString::fromLatin1(d + m_pos, end - m_pos));
    m_pos = end;
}

// At a backslash.
void Reader::controlSequence()
{
    const char *const d = m_data.data();
    ++m_pos;
    if (m_pos >= m_data.size())
        return; // a backslash at the very end
    const char c = d[m_pos];
    if (isLetter(c)) {
        controlWord();
        return;
    }
    ++m_pos;
    if (c == '\'') {
        hexByte();
        return;
    }
    controlSymbol(c);
}

void Reader::controlWord()
{
    const char *const d = m_data.data();
    const qsizetype n = m_data.size();
    const qsizetype start = m_pos;
    while (m_pos < n && isLetter(d[m_pos]))
        ++m_pos;
    const std::string_view word(d + start, std::size_t(m_pos - start));

    bool negative = false;
    if (m_pos + 1 < n && d[m_pos] == '-' && isDigit(d[m_pos + 1])) {
        negative = true;
        ++m_pos;
    }
    bool hasParam = false;
    std::int64_t value = 0;
    constexpr std::int64_t kSaturated = std::int64_t(std::numeric_limits<int>::max()) + 1;
    while (m_pos < n && isDigit(d[m_pos])) {
        hasParam = true;
        // RTF allows ten digits; more are read but the value stays saturated.
        value = std::min(value * 10 + (d[m_pos] - '0'), kSaturated);
        ++m_pos;
    }
    if (negative)
        value = -value;
    const int param = int(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
    if (m_pos < n && d[m_pos] == ' ')
        ++m_pos; // the delimiter space belongs to the control word

    // Words longer than RTF allows (32 letters) are unknown.
    const KeywordInfo info = word.size() <= 32 ? LookupKeyword(word) : KeywordInfo{};
    if (info.id == Keyword::Bin) {
        // Binary data: exactly N bytes, whatever they are, or what is left.
        flushBytes();
        const qsizetype count = std::min<qsizetype>(hasParam ? std::max(param, 0) : 0, n - m_pos);
        const QByteArrayView bytes = m_data.sliced(m_pos, count);
        m_pos += count;
        if (m_unicodeSkip > 0) {
            --m_unicodeSkip;
        } else if (m_star) {
            m_star = false;
            state().destination = Destination::Skip;
        } else if (state().destination == Destination::Picture) {
            pictureBinary(bytes);
        } else if (state().destination == Destination::ObjectData) {
            objectBinary(bytes);
        }
        return;
    }
    keyword(info, hasParam, param);
}

void Reader::controlSymbol(char symbol)
{
    if (symbol == '*') {
        if (m_unicodeSkip > 0)
            --m_unicodeSkip;
        else
            m_star = true;
        return;
    }
    if (symbol == '\r' || symbol == '\n') {
        // A backslash before a line end is a paragraph mark.
        keyword({Keyword::Par}, false, 0);
        return;
    }
    char16_t unit = 0;
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        // The trail byte of a double-byte character may be one of these.
        if (m_needTrail && m_unicodeSkip == 0 && state().destination == Destination::Text) {
            appendByte(uchar(symbol));
            return;
        }
        unit = char16_t(symbol);
        break;
    case '~':
        unit = 0x00A0; // no-break space
        break;
    case '-':
        unit = 0x00AD; // soft hyphen
        break;
    case '_':
        unit = 0x2011; // non-breaking hyphen
        break;
    default:
        break; // \| \: and others: nothing to show
    }
    flushBytes();
    if (m_unicodeSkip > 0) {
        --m_unicodeSkip;
        return;
    }
    m_star = false;
    if (unit == 0)
        return;
    switch (state().destination) {
    case Destination::Text:
        appendUnit(unit);
        break;
    case Destination::FontTable:
        if (unit < 0x80)
            fontTableChar(uchar(unit));
        else
            fontNameUnit(unit);
        break;
    case Destination::ObjectClass:
        objectClassChar(unit);
        break;
    default:
        break;
    }
}

// After \' : two hex digits give one byte of the current code page.
void Reader::hexByte()
{
    const char *const d = m_data.data();
    const qsizetype n = m_data.size();
    if (m_pos >= n || hexValue(d[m_pos]) < 0)
        return; // not an escape after all: the \' is dropped, what follows is read as usual
    if (m_pos + 1 >= n || hexValue(d[m_pos + 1]) < 0) {
        ++m_pos; // half an escape gives nothing
        return;
    }
    const uchar byte = uchar(hexValue(d[m_pos]) << 4 | hexValue(d[m_pos + 1]));
    m_pos += 2;
    if (m_unicodeSkip > 0) {
        --m_unicodeSkip;
        return;
    }
    m_star = false;
    switch (state().destination) {
    case Destination::Text:
        appendByte(byte);
        break;
    case Destination::FontTable:
        fontTableChar(byte);
        break;
    case Destination::ObjectClass:
        objectClassChar(byte); // not a class name of this platform, which are ASCII
        break;
    case Destination::ObjectData:
        objectDataBroken(); // escapes have no place in hex data
        break;
    default:
        break;
    }
}

void Reader::keyword(KeywordInfo info, bool hasParam, int param)
{
    flushBytes();
    if (m_unicodeSkip > 0) {
        --m_unicodeSkip; // a control word in the fallback counts as one character
        return;
    }
    GroupState &s = state();
    if (m_star) {
        m_star = false;
        // Of the ignorable destinations, only a shape's picture is shown, a
        // nested row's properties are read as text (below), and an object's
        // class and data are read.
        const bool objectPart = s.destination == Destination::Object &&
                                (info.id == Keyword::ObjClass || info.id == Keyword::ObjData);
        const bool nestedRow =
            s.destination == Destination::Text && info.id == Keyword::NestedRowProps;
        if (!objectPart && !nestedRow) {
            if (info.id != Keyword::ShpPict)
                s.destination = Destination::Skip;
            return;
        }
    }
    if (s.destination == Destination::Skip)
        return;
    if (info.id == Keyword::Uc) {
        s.unicodeSkip = hasParam ? std::max(param, 0) : 1;
        return;
    }
    if (info.id == Keyword::U) {
        unicode(hasParam, param);
        return;
    }
    switch (s.destination) {
    case Destination::Text:
        textKeyword(info, hasParam, param);
        break;
    case Destination::FontTable:
        fontTableKeyword(info.id, hasParam, param);
        break;
    case Destination::ColorTable:
        colourKeyword(info.id, param);
        break;
    case Destination::Picture:
        pictureKeyword(info.id, param);
        break;
    case Destination::Object:
        objectKeyword(info.id);
        break;
    case Destination::ObjectClass:
    case Destination::ObjectData:
    case Destination::Skip:
        break; // no control words mean anything here
    }
}

void Reader::textKeyword(KeywordInfo info, bool hasParam, int param)
{
    GroupState &s = state();
    CharProps &chars = s.chars;
    ParaProps &para = s.para;
    const bool on = !hasParam || param != 0;
    switch (info.id) {
    case Keyword::Ansi:
        m_documentCodePage = 1252;
        break;
    case Keyword::Mac:
        m_documentCodePage = 10000;
        break;
    case Keyword::Pc:
        m_documentCodePage = 437;
        break;
    case Keyword::Pca:
        m_documentCodePage = 850;
        break;
    case Keyword::AnsiCpg:
        if (hasParam && m_decoders.isKnown(param))
            m_documentCodePage = param;
        break;
    case Keyword::Deff:
        if (hasParam)
            m_defaultFont = param;
        break;
    case Keyword::Character:
        appendUnit(info.character);
        break;
    case Keyword::Par:
        paragraph();
        break;
    case Keyword::SoftBreak:
        if (!m_pendingBreak)
            paragraph();
        break;
    case Keyword::Cell:
        // Cells are separated by tabs; the row's last cell needs none.
        beginContent();
        m_pendingCellTab = true;
        break;
    case Keyword::Row:
        m_pendingCellTab = false;
        paragraph();
        break;
    case Keyword::Pard:
        para = {};
        break;
    case Keyword::Ql:
        para.alignment = Qt::AlignLeft;
        break;
    case Keyword::Qc:
        para.alignment = Qt::AlignHCenter;
        break;
    case Keyword::Qr:
        para.alignment = Qt::AlignRight;
        break;
    case Keyword::Qj:
        para.alignment = Qt::AlignJustify;
        break;
    case Keyword::Li:
        para.left = clampIndent(hasParam, param);
        break;
    case Keyword::Ri:
        para.right = clampIndent(hasParam, param);
        break;
    case Keyword::Fi:
        para.first = clampIndent(hasParam, param);
        break;
    case Keyword::Plain:
        chars = {};
        break;
    case Keyword::Bold:
        chars.bold = on;
        break;
    case Keyword::Italic:
        chars.italic = on;
        break;
    case Keyword::Underline:
        chars.underline = on;
        break;
    case Keyword::UnderlineNone:
        chars.underline = false;
        break;
    case Keyword::Strike:
        chars.strike = on;
        break;
    case Keyword::Sub:
        chars.script = on ? Script::Sub : Script::Normal;
        break;
    case Keyword::Super:
        chars.script = on ? Script::Super : Script::Normal;
        break;
    case Keyword::NoSuperSub:
        chars.script = Script::Normal;
        break;
    case Keyword::FontSize:
        chars.halfPoints = std::clamp(hasParam ? param : 24, kMinHalfPoints, kMaxHalfPoints);
        break;
    case Keyword::Font:
        if (hasParam)
            chars.font = param;
        break;
    case Keyword::Foreground:
        chars.foreground = hasParam ? param : 0;
        break;
    case Keyword::Background:
        chars.background = hasParam ? param : 0;
        break;
    case Keyword::Hidden:
        chars.hidden = on;
        break;
    case Keyword::FontTable:
        s.destination = Destination::FontTable;
        m_font = {};
        break;
    case Keyword::ColorTable:
        s.destination = Destination::ColorTable;
        m_colours.clear();
        m_colour = {};
        m_formatValid = false;
        break;
    case Keyword::Pict:
        startPicture();
        break;
    case Keyword::Object:
        startObject();
        break;
    case Keyword::NumberText:
        // The number or bullet of a list paragraph as written out for readers
        // that do not number paragraphs themselves, which is how it is shown.
        // A paragraph shows one: a writer may give it in both forms. The group
        // usually starts with \pard\plain, which reset only the group's own
        // state: the paragraph keeps its format and stays one paragraph.
        if (m_paraNumbered)
            s.destination = Destination::Skip;
        m_paraNumbered = true;
        break;
    case Keyword::NestedRowProps:
        // The group ends a row of a table inside a cell with \nestrow, and
        // some writers put the row's cells in it as well: it is read as the
        // text around it, so that its cells show and the row ends as rows do.
        // The same row's copy for readers without nested tables, \nonesttables,
        // is skipped.
        break;
    case Keyword::ObjClass: // outside an object
    case Keyword::ObjData:
    case Keyword::SkipDestination:
        s.destination = Destination::Skip;
        break;
    default:
        break; // unknown words, and words that mean nothing in text
    }
}

void Reader::unicode(bool hasParam, int param)
{
    if (!hasParam)
        return;
    // Values above 32767 are written negative; what is neither is no character.
    const char16_t unit =
        param >= -32768 && param <= 65535 ? char16_t(param < 0 ? param + 65536 : param) : 0xFFFD;
    switch (state().destination) {
    case Destination::Text:
        appendUnit(unit);
        break;
    case Destination::FontTable:
        fontNameUnit(unit);
        break;
    case Destination::ObjectClass:
        objectClassChar(unit);
        break;
    case Destination::ObjectData:
        objectDataBroken();
        break;
    default:
        break;
    }
    m_unicodeSkip = state().unicodeSkip;
}

void Reader::openGroup()
{
    flushBytes();
    m_unicodeSkip = 0;
    m_star = false;
    if (state().destination == Destination::ObjectData)
        objectDataBroken(); // hex data holds no groups
    ++m_depth;
    // Groups inside a picture hold its properties, never its data; groups
    // inside an object's class or data hold neither.
    const auto inner = [](Destination outer) {
        return outer == Destination::Picture || outer == Destination::ObjectClass ||
                       outer == Destination::ObjectData
                   ? Destination::Skip
                   : outer;
    };
    if (m_depth <= kMaxTrackedDepth) {
        GroupState group = m_stack.back();
        group.destination = inner(group.destination);
        m_stack.push_back(group);
    } else if (m_depth == kMaxTrackedDepth + 1) {
        m_overflowState = m_stack.back();
        m_stack.back().destination = inner(m_stack.back().destination);
    }
}

void Reader::closeGroup()
{
    flushBytes();
    m_unicodeSkip = 0;
    m_star = false;
    const Destination destination = state().destination;
    if (destination == Destination::FontTable && m_font.number >= 0)
        commitFont(); // an entry without its closing semicolon
    if (destination == Destination::ColorTable && m_colour.given)
        commitColour();
    if (m_picture.active && m_picture.depth == m_depth)
        finishPicture();
    if (m_object.active && m_object.dataGiven && m_object.dataDepth == m_depth && !m_atEnd)
        m_object.dataClosed = true;
    if (m_object.active && m_object.depth == m_depth)
        finishObject();
    if (m_depth == 1)
        finish(); // the document's group: its state is the last paragraph's
    if (m_depth <= kMaxTrackedDepth)
        m_stack.pop_back();
    else if (m_depth == kMaxTrackedDepth + 1)
        m_stack.back() = m_overflowState;
    --m_depth;
}

} // namespace rtf

bool ReadRtf(QByteArrayView data, QTextCursor &cursor)
{
    if (cursor.isNull() || !data.startsWith(QByteArrayView("{\\rtf")))
        return false;
    // One edit block for the whole read: outside one, every insertion has
    // the cursor find its x position, which lays out the whole paragraph
    // again, so a paragraph of many short runs took quadratic time (100 KB of
    // them, 12 s; inside the block, 20 ms).
    cursor.beginEditBlock();
    const auto endBlock = qScopeGuard([&cursor] { cursor.endEditBlock(); });
    if (cursor.hasSelection())
        cursor.removeSelectedText();
    rtf::Reader reader(data, cursor);
    reader.run();
    return true;
}

} // namespace win
