// Reading RTF into a text document: the rich edit window's stream-in and the
// clipboard's text/rtf.
#pragma once

#include <QByteArrayView>

class QTextCursor;

namespace win {

// Parses RTF data, which must begin with "{\rtf", and inserts its content at
// the cursor as a paste would: a selection is replaced first, and the cursor
// ends after the inserted content. It makes no edit block of its own; callers
// that want one undo step (or a single layout pass) wrap it in theirs.
//
// Returns false, changing nothing, when the data is not RTF (or the cursor is
// null). Otherwise it is lenient and returns true: unknown control words are
// ignored, missing closing braces at the end are fine, data that ends early
// gives what was read, and what follows the document's closing brace is
// ignored.
//
// What is read: text in the document's code page (\ansicpg) or in the code
// page of its font's \fcharset, \'hh bytes (double-byte ones too), \uN with
// its \ucN fallback; paragraphs (\par, \pard), \line, \tab; bold, italic,
// underline, strike, sub- and superscript, font family, size (\fs, 1 to
// 1638 pt), foreground and background colours; alignment and indents (twips,
// shown at 96 dpi); fields through their result; PNG and JPEG pictures
// (added to the document as image resources); embedded and linked objects:
// an \object whose \objdata this platform wrote (OleSaveObjectData) becomes
// the object again, one U+FFFC character in the object's format (see
// platform/ole/textobject.h) with the display aspect the data gives, and its \result is
// not shown; any other object, or one whose data is broken, cut short or
// contradicted by the group (\objemb for a link, another class), is shown
// through its \result. Headers, footers, footnotes, style sheets, document information
// and other destinations that are not text are skipped.
//
// Lists: a numbered or bulleted paragraph shows the number text its writer
// gives for readers that do not number (\listtext or \pntext, one per
// paragraph), in that group's font and code page; the list and numbering
// definitions (\listtable, \pn) are skipped, so no number shows twice.
// Hidden text (\v, up to \v0, \plain or its group's end) is not inserted,
// nor are hidden pictures and objects; paragraph marks and cells in it still
// count.
//
// Paragraphs: \par ends a paragraph, which takes the paragraph format then in
// effect, and a break follows only once more content does. So a final \par
// adds no empty paragraph: "{\rtf1 ab\par}" reads as the single paragraph
// "ab", "{\rtf1 ab\par\par}" as "ab" and an empty paragraph. The paragraph the
// content ends in takes its RTF paragraph format only when all of it comes
// from the RTF; content pasted into the middle of a paragraph leaves that
// paragraph's format (and the text after the insertion point its own).
//
// Formatting that the RTF does not give (no \fs, no \f, automatic colours) is
// left unset, so such text shows in the document's default font and colours.
//
// Hostile input is safe: no recursion on the input's structure, groups nested
// deeper than 1,000 levels are counted but not tracked, \bin and \'hh are
// checked against the data's end, numbers are bounded, picture data is
// limited to 64 MB and object data to the largest object and its fields.
// Reading time is linear in the data: the whole read is one edit block of the
// cursor's document (one undo step).
bool ReadRtf(QByteArrayView data, QTextCursor &cursor);

} // namespace win
