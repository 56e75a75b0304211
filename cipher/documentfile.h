// The document file: the armour written as lines of ANSI text, each ended by
// CR LF, 205,000 bytes in all.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>

namespace veskel {

// The size of a document file: the armour's lines, each with CR LF.
inline constexpr qsizetype DocumentFileSize = 205000;

// Splits a text into lines: CR LF, a lone CR and a lone LF each end a line, a
// final line break opens no empty line, and splitting stops at U+0000.
QStringList SplitArmourLines(const QString &armour);

// Writes each line followed by CR LF, in the ANSI code page, without a
// byte-order mark. Throws EWriteError when a write stops short.
void WriteDocumentLines(QIODevice &device, const QStringList &lines);

// Writes the armour's lines to the file at path, atomically: a temporary file
// in the same folder is written, flushed and renamed over the target, so a
// failure leaves any old file as it was and no temporary file behind.
// Throws EFCreateError ("Cannot create file ...") when the file cannot be
// created or the path names something other than a regular file (symlinks
// followed), and EWriteError ("Stream write error") when writing fails.
// Asked right before the written file takes the target's place; false
// discards it and leaves the target as it is.
using MayReplace = std::function<bool()>;

// True when written; false when mayReplace said no.
bool SaveDocumentFile(const QString &path, const QString &armour,
                      const MayReplace &mayReplace = {});

// Writes bytes to the file at path, atomically, with the same refusals and
// errors as SaveDocumentFile.
bool SaveFileBytes(const QString &path, QByteArrayView bytes, const MayReplace &mayReplace = {});

// Where a file's bytes first depart from the document layout.
struct DocumentLayoutReport
{
    bool ok = false;
    qsizetype offset = 0; // byte offset of the first difference
    int line = 0;         // 1-based line of that byte
    int column = 0;       // 1-based column of that byte
    QString problem;      // what is there instead, empty when ok
};

// Checks 2,500 lines of 80 armour symbols, each ended by CR LF, and nothing more.
DocumentLayoutReport CheckDocumentLayout(const QByteArray &bytes);

// Whether the bytes are a document whose line ends may have been changed on
// the way: 2,500 lines of 80 armour symbols, each ended by CR LF, LF or CR,
// the last one also by nothing. A file another editor or a mail program
// passed on still opens as a document; anything else is no document.
bool HasDocumentLayoutAnyLineEnds(QByteArrayView bytes);

} // namespace veskel
