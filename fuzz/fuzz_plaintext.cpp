// Plain stream data into the rich edit window: any bytes load, and the text
// the window reports agrees with its own length and line numbering.
#include "platform/richedit/richedit.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Source
{
    const std::uint8_t *data;
    std::size_t size;
    std::size_t offset;
};

win::DWORD readSource(win::DWORD_PTR cookie, win::LPBYTE buffer, win::LONG size, win::LONG *count)
{
    auto *source = reinterpret_cast<Source *>(cookie);
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(size), source->size - source->offset);
    std::memcpy(buffer, source->data + source->offset, n);
    source->offset += n;
    *count = static_cast<win::LONG>(n);
    return 0;
}

win::RichEditWindow *window()
{
    static win::RichEditWindow *w = [] {
        auto *created = new win::RichEditWindow(win::ES_MULTILINE | win::WS_VSCROLL);
        created->resize(300, 200);
        created->autoUrlDetect(win::TRUE);
        return created;
    }();
    return w;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace win;
    RichEditWindow *w = window();
    // The first byte picks the format: plain under RTF, or UTF-16 text.
    const UINT format = size > 0 && (data[0] & 1) != 0 ? (SF_TEXT | SF_UNICODE) : SF_RTF;
    if (size >= 5 && std::memcmp(data, "{\\rtf", 5) == 0) {
        return 0; // RTF has a target of its own
    }
    Source source{data, size, 0};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, &readSource};
    w->streamIn(format, stream);

    const LRESULT length = w->getTextLengthEx({GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, 1200});
    std::vector<WCHAR> buffer(static_cast<std::size_t>(length) + 1);
    const LRESULT copied =
        w->getTextEx({DWORD(buffer.size() * 2), GT_USECRLF, 1200, nullptr, nullptr}, buffer.data());
    if (copied != length) {
        std::abort();
    }
    const LRESULT lines = w->getLineCount();
    LRESULT previous = -1;
    for (LONG line = 0; line < lines; ++line) {
        const LRESULT start = w->lineIndex(line);
        if (start < previous || w->lineFromChar(static_cast<LONG>(start)) != line) {
            std::abort();
        }
        previous = start;
    }
    if (w->lineIndex(static_cast<LONG>(lines)) != -1) {
        std::abort();
    }
    return 0;
}
