#include "documentfile.h"

#include "cipher/blockcodec.h"
#include "platform/win/codepage.h"
#include "runtime/exceptions.h"
#include "runtime/filekind.h"

#include <QSaveFile>

#include <functional>

namespace veskel {

QStringList SplitArmourLines(const QString &armour)
{
    QStringList lines;
    lines.reserve(ArmourLines);
    const qsizetype size = armour.size();
    qsizetype start = 0;
    qsizetype i = 0;
    for (; i < size; ++i) {
        const char16_t c = armour[i].unicode();
        if (c == u'\0') {
            break;
        }
        if (c == u'\r' || c == u'\n') {
            lines.append(armour.mid(start, i - start));
            if (c == u'\r' && i + 1 < size && armour[i + 1] == u'\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (i > start) {
        lines.append(armour.mid(start, i - start));
    }
    return lines;
}

void WriteDocumentLines(QIODevice &device, const QStringList &lines)
{
    QString text;
    qsizetype total = 0;
    for (const QString &line : lines) {
        total += line.size() + 2;
    }
    text.reserve(total);
    for (const QString &line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    const QByteArray bytes = win::EncodeAnsi(text);
    if (device.write(bytes) != bytes.size()) {
        throw EWriteError();
    }
}

namespace {

// Opens path for an atomic write, refusing what is not a regular file: a
// rename over a pipe or a device would put a regular file in its place.
bool writeAtomically(const QString &path, const std::function<void(QIODevice &)> &write,
                     const MayReplace &mayReplace)
{
    const QString notRegular = NotRegularFileReason(path);
    if (!notRegular.isEmpty()) {
        throw EFCreateError(path, notRegular);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw EFCreateError(path, file.errorString());
    }
    write(file); // an exception discards the temporary file
    if (mayReplace && !mayReplace()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        throw EWriteError();
    }
    return true;
}

} // namespace

bool SaveDocumentFile(const QString &path, const QString &armour, const MayReplace &mayReplace)
{
    const QStringList lines = SplitArmourLines(armour);
    return writeAtomically(
        path, [&lines](QIODevice &device) { WriteDocumentLines(device, lines); }, mayReplace);
}

bool SaveFileBytes(const QString &path, QByteArrayView bytes, const MayReplace &mayReplace)
{
    return writeAtomically(
        path,
        [bytes](QIODevice &device) {
            if (device.write(bytes.data(), bytes.size()) != bytes.size()) {
                throw EWriteError();
            }
        },
        mayReplace);
}

DocumentLayoutReport CheckDocumentLayout(const QByteArray &bytes)
{
    DocumentLayoutReport report;
    const auto differ = [&](qsizetype offset, QString problem) {
        const qsizetype lineLength = ArmourSymbolsPerLine + 2;
        report.offset = offset;
        report.line = static_cast<int>(offset / lineLength) + 1;
        report.column = static_cast<int>(offset % lineLength) + 1;
        report.problem = std::move(problem);
        return report;
    };
    const auto describe = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x21 && u < 0x7F) {
            return QStringLiteral("'%1'").arg(QChar(static_cast<char16_t>(u)));
        }
        return QStringLiteral("byte 0x%1").arg(u, 2, 16, QChar(u'0'));
    };
    const qsizetype lineLength = ArmourSymbolsPerLine + 2;
    for (qsizetype offset = 0; offset < bytes.size() && offset < DocumentFileSize; ++offset) {
        const char c = bytes[offset];
        const qsizetype column = offset % lineLength;
        if (column < ArmourSymbolsPerLine) {
            if (ArmourSymbolValue(static_cast<unsigned char>(c)) < 0) {
                return differ(offset,
                              QStringLiteral("%1 where an armour symbol belongs").arg(describe(c)));
            }
        } else if (column == ArmourSymbolsPerLine && c != '\r') {
            return differ(offset, QStringLiteral("%1 where CR belongs").arg(describe(c)));
        } else if (column == ArmourSymbolsPerLine + 1 && c != '\n') {
            return differ(offset, QStringLiteral("%1 where LF belongs").arg(describe(c)));
        }
    }
    if (bytes.size() < DocumentFileSize) {
        return differ(bytes.size(),
                      QStringLiteral("the file ends after %1 bytes; a document has %2")
                          .arg(bytes.size())
                          .arg(DocumentFileSize));
    }
    if (bytes.size() > DocumentFileSize) {
        const qsizetype extra = bytes.size() - DocumentFileSize;
        return differ(DocumentFileSize,
                      extra == 1 ? QStringLiteral("1 byte follows the last line")
                                 : QStringLiteral("%1 bytes follow the last line").arg(extra));
    }
    report.ok = true;
    return report;
}

bool HasDocumentLayoutAnyLineEnds(QByteArrayView bytes)
{
    qsizetype at = 0;
    const qsizetype size = bytes.size();
    for (int line = 0; line < ArmourLines; ++line) {
        if (size - at < ArmourSymbolsPerLine) {
            return false;
        }
        for (int column = 0; column < ArmourSymbolsPerLine; ++column, ++at) {
            if (ArmourSymbolValue(static_cast<unsigned char>(bytes[at])) < 0) {
                return false;
            }
        }
        if (at == size) {
            return line == ArmourLines - 1;
        }
        if (bytes[at] == '\r') {
            ++at;
            if (at < size && bytes[at] == '\n') {
                ++at;
            }
        } else if (bytes[at] == '\n') {
            ++at;
        } else {
            return false;
        }
    }
    return at == size;
}

} // namespace veskel
