// The RTF reader's output: the text of the document's destination, decoded
// from its code pages, gathered into runs of one format and inserted with
// the paragraphs' breaks and formats.
#include "platform/ole/textobject.h"
#include "platform/rtf/rtfreader_p.h"

#include <QTextBlock>
#include <QTextImageFormat>

#include <utility>

namespace win::rtf {
int Reader::currentCodePage() const
{
    const int font = m_stack.back().chars.font >= 0 ? m_stack.back().chars.font : m_defaultFont;
    const auto it = m_fonts.find(font);
    if (it != m_fonts.end() && it->second.codePage != 0)
        return it->second.codePage;
    return m_documentCodePage;
}

void Reader::appendByte(uchar byte)
{
    const int codePage = m_needTrail ? m_bytesCodePage : currentCodePage();
    if (!m_bytes.isEmpty() && codePage != m_bytesCodePage)
        flushBytes();
    m_bytesCodePage = codePage;
    m_bytes.append(char(byte));
    m_needTrail = !m_needTrail && IsLeadByte(codePage, byte);
}

void Reader::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    QByteArray bytes = std::exchange(m_bytes, QByteArray());
    // A lead byte whose trail byte never came is no character.
    const bool brokenLast = std::exchange(m_needTrail, false);
    if (brokenLast)
        bytes.chop(1);
    const QString text = m_decoders.decode(m_bytesCodePage, bytes);
    for (const QChar c : text)
        appendUnit(c.unicode());
    if (brokenLast)
        appendUnit(char16_t(QChar::ReplacementCharacter));
}

void Reader::appendUnit(char16_t unit)
{
    if (unit < 0x20 && unit != u'\t')
        return; // control characters are not text
    if (unit == 0x2029) {
        paragraph();
        return;
    }
    if (state().chars.hidden)
        return; // hidden text is not shown
    // Object replacement and frame marks belong to the document's structure;
    // as characters of the text they would stand for nothing.
    if (unit == 0x7F || unit == 0xFFFC || unit == 0xFDD0 || unit == 0xFDD1)
        return;
    beginContent();
    addToRun(QStringView(&unit, 1));
}

void Reader::appendAscii(QStringView text)
{
    if (state().chars.hidden)
        return; // hidden text is not shown
    beginContent();
    addToRun(text);
}

// Text in the current group's format, whether it is shown or not.
void Reader::addToRun(QStringView text)
{
    if (!m_run.isEmpty() && !(m_runProps == state().chars))
        flushRun();
    if (m_run.isEmpty())
        m_runProps = state().chars;
    m_run.append(text);
}

// Before anything is shown: the break of a \par before it, the tab of a cell.
void Reader::beginContent()
{
    if (m_pendingBreak)
        emitBreak();
    if (m_pendingCellTab) {
        m_pendingCellTab = false;
        addToRun(u"\t"); // a cell's tab is made even in hidden text
    }
}

void Reader::flushRun()
{
    if (m_run.isEmpty())
        return;
    // A surrogate without its partner is no character.
    for (qsizetype i = 0; i < m_run.size(); ++i) {
        const QChar c = m_run.at(i);
        if (c.isHighSurrogate() && i + 1 < m_run.size() && m_run.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            m_run[i] = QChar(QChar::ReplacementCharacter);
    }
    m_cursor.insertText(m_run, charFormat(m_runProps));
    m_run.clear();
}

void Reader::paragraph()
{
    flushBytes();
    beginContent();
    flushRun();
    m_paraNumbered = false;
    // An empty paragraph keeps the character format of its mark.
    if (m_cursor.block().length() == 1)
        m_cursor.setBlockCharFormat(charFormat(state().chars));
    m_pendingPara = state().para;
    m_pendingBreak = true;
}

// The paragraph ended by the last \par takes its format and the break is made.
// The new block starts with the format of the block the content went into, so
// that the text after the insertion point keeps its paragraph's format.
void Reader::emitBreak()
{
    m_pendingBreak = false;
    applyBlockFormat(m_pendingPara);
    m_cursor.insertBlock(m_originalBlockFormat, charFormat(state().chars));
    m_paraWhole = true;
}

void Reader::applyBlockFormat(const ParaProps &para)
{
    QTextBlockFormat format = m_originalBlockFormat;
    if (para.alignment != 0)
        format.setAlignment(Qt::Alignment(para.alignment));
    else
        format.clearProperty(QTextFormat::BlockAlignment);
    // The RTF indent is the whole indent: no indent levels besides it.
    format.clearProperty(QTextFormat::BlockIndent);
    const auto setOrClear = [&format](int property, int twips) {
        if (twips != 0)
            format.setProperty(property, twips / kTwipsPerPixel);
        else
            format.clearProperty(property);
    };
    setOrClear(QTextFormat::BlockLeftMargin, para.left);
    setOrClear(QTextFormat::BlockRightMargin, para.right);
    setOrClear(QTextFormat::TextIndent, para.first);
    m_cursor.setBlockFormat(format);
}

void Reader::insertImage(const QTextImageFormat &format)
{
    if (state().chars.hidden)
        return;
    beginContent();
    flushRun();
    m_cursor.insertImage(format);
}

void Reader::insertObjectRecord(const std::shared_ptr<ObjectRecord> &record)
{
    beginContent();
    flushRun();
    InsertObjectCharacter(m_cursor, record);
    // What is inserted at the cursor next is text in the group's format, not
    // another object character.
    m_cursor.setCharFormat(charFormat(state().chars));
}

// The last paragraph, ended by a final \par or by the end of the data, takes
// its RTF format only when it is wholly the RTF's: it began at the start of its
// block and nothing of the document follows it. Text inserted into the middle
// of a paragraph leaves that paragraph's format as it was.
void Reader::finish()
{
    flushBytes();
    if (!m_pendingBreak) {
        flushRun();
        m_pendingPara = state().para;
    }
    m_pendingBreak = false; // a final \par makes no empty paragraph
    m_pendingCellTab = false;
    if (m_paraWhole && m_cursor.atBlockEnd())
        applyBlockFormat(m_pendingPara);
}

QTextCharFormat Reader::charFormat(const CharProps &props)
{
    if (m_formatValid && props == m_formatProps)
        return m_format;
    QTextCharFormat format;
    if (props.bold)
        format.setFontWeight(QFont::Bold);
    if (props.italic)
        format.setFontItalic(true);
    if (props.underline)
        format.setFontUnderline(true);
    if (props.strike)
        format.setFontStrikeOut(true);
    if (props.script == Script::Sub)
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    else if (props.script == Script::Super)
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    if (props.halfPoints > 0)
        format.setFontPointSize(props.halfPoints / 2.0);
    if (props.font >= 0) {
        const auto it = m_fonts.find(props.font);
        if (it != m_fonts.end() && !it->second.family.isEmpty())
            format.setFontFamilies({it->second.family});
    }
    const auto colour = [this](int index) {
        return index >= 0 && index < m_colours.size() ? m_colours.at(index) : QColor();
    };
    if (const QColor c = colour(props.foreground); c.isValid())
        format.setForeground(c);
    if (const QColor c = colour(props.background); c.isValid())
        format.setBackground(c);
    m_formatProps = props;
    m_format = format;
    m_formatValid = true;
    return format;
}

} // namespace win::rtf
