// Fuzzes the RTF reader, and the writer on what the reader made.
//
// The first byte chooses whether "{\rtf1 " goes before the rest of the data,
// so that half of the inputs get past the header check. The reader must
// accept exactly the data that begins with "{\rtf". What it read is written
// as RTF, which must be 7-bit and read back to the same text; written again,
// that copy must give the same RTF.
#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool read(QTextDocument &document, const QByteArray &data)
{
    QTextCursor cursor(&document);
    return win::ReadRtf(data, cursor);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Pictures and fonts need a GUI application; none needs a screen. The
    // image decoders' warnings about broken pictures only slow the run down.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    QByteArray input;
    if (data[0] & 1)
        input = "{\\rtf1 ";
    input.append(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    QTextDocument document;
    check(read(document, input) == input.startsWith("{\\rtf"));

    const QByteArray rtf = win::WriteRtf(document);
    check(std::all_of(rtf.begin(), rtf.end(), [](char c) { return uchar(c) < 0x80; }));
    QTextDocument copy;
    check(read(copy, rtf));
    check(copy.toRawText() == document.toRawText());
    check(win::WriteRtf(copy) == rtf);
    return 0;
}
