// Writing a text document as RTF: the rich edit window's stream-out and the
// clipboard's text/rtf.
#pragma once

#include <QByteArray>

class QTextDocument;

namespace win {

// The RTF of the document's range [start, end) in document positions (a
// paragraph break counts as one); end -1 is the end of the content. Positions
// outside the content are clamped to it.
//
// The output is 7-bit: code page 1252 (\ansi\ansicpg1252), characters of that
// code page above 0x7F as \'hh, all others as \uN with one '?' as fallback
// (\uc1), a character beyond U+FFFF as its two surrogates.
//
// Written: paragraphs (\par after each paragraph break in the range, and after
// the last paragraph when the range ends at a paragraph's end or just after a
// break), \line for U+2028, \tab; bold, italic, underline, strike, sub- and
// superscript, font family (font table), point size, foreground and
// background colours (colour table, \cf and \highlight); alignment and
// indents (\li \ri \fi, indent levels counted into \li); pictures held as the
// document's image resources, as PNG (\pict\pngblip); the objects of this
// platform (platform/ole/textobject.h) as \object groups: \objemb or \objlink, their
// size (\objw \objh), class (\objclass), their data (\objdata, from
// OleSaveObjectData) and, for readers that cannot make them, their drawing in
// the record's aspect as a \result picture. Formatting the document leaves
// unset is not written, so ReadRtf gives back the same text, the same formats
// of these kinds and the same objects.
QByteArray WriteRtf(const QTextDocument &document, int start = 0, int end = -1);

// Whether WriteRtf would write any formatting of the kinds above for the
// whole document: a run's or an empty paragraph's character format, or a
// paragraph's alignment or indents. Pictures and objects do not count.
bool HasWrittenFormatting(const QTextDocument &document);

} // namespace win
