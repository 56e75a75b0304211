#include "cmdlinehelper.h"

#include "platform/win/process.h"

#include <vector>

namespace cmdline {

namespace {

bool isBlank(win::WCHAR c)
{
    return c >= 1 && c <= 32;
}

// Collects the produced units, and writes them when there is a buffer.
struct Output
{
    win::WCHAR *buffer;
    int count = 0;

    void put(win::WCHAR c)
    {
        if (buffer != nullptr)
            buffer[count] = c;
        ++count;
    }
    // All units of [from, to): a character that CharNextW steps over as one is
    // copied whole, so a surrogate pair is never split.
    void put(win::LPCWSTR from, win::LPCWSTR to)
    {
        for (; from != to; ++from)
            put(*from);
    }
};

} // namespace

bool ScanToken(win::LPCWSTR &p, win::WCHAR *buffer, int *length)
{
    if (length != nullptr)
        *length = 0;
    if (p == nullptr)
        return false;
    while (isBlank(*p))
        p = win::CharNextW(p);
    if (*p == 0)
        return false;

    Output out{buffer};
    bool inQuotes = false;
    while (*p != 0) {
        if (*p == u'\\') {
            const win::LPCWSTR run = p;
            int n = 0;
            while (*p == u'\\') {
                p = win::CharNextW(p);
                ++n;
            }
            if (*p == u'"') {
                for (int i = 0; i < n / 2; ++i)
                    out.put(u'\\');
                if (n % 2 != 0) {
                    out.put(u'"');
                    p = win::CharNextW(p);
                }
                // With an even run the quote stays and toggles quoting next.
            } else {
                out.put(run, p);
            }
        } else if (*p == u'"') {
            inQuotes = !inQuotes;
            p = win::CharNextW(p);
        } else if (isBlank(*p) && !inQuotes) {
            break;
        } else {
            const win::LPCWSTR next = win::CharNextW(p);
            out.put(p, next);
            p = next;
        }
    }
    if (length != nullptr)
        *length = out.count;
    return true;
}

int CmdLineParamCount()
{
    win::LPCWSTR p = win::GetCommandLineW();
    ScanToken(p);
    int count = 0;
    while (ScanToken(p))
        ++count;
    return count;
}

QString CmdLineParamStr(int n)
{
    if (n <= 0) {
        // 261 characters hold a path within the classic 260-character limit.
        // Longer paths are normal here, so a cut result is retried with a
        // larger buffer rather than returned cut.
        std::vector<win::WCHAR> buffer(261);
        for (;;) {
            const auto size = win::DWORD(buffer.size());
            const win::DWORD written = win::GetModuleFileNameW(nullptr, buffer.data(), size);
            if (written == 0)
                return {};
            if (written < size)
                return QString(reinterpret_cast<const QChar *>(buffer.data()), qsizetype(written));
            if (size >= (win::DWORD(1) << 20))
                return {};
            buffer.resize(buffer.size() * 2);
        }
    }

    win::LPCWSTR p = win::GetCommandLineW();
    if (!ScanToken(p))
        return {};
    for (int i = 1; i < n; ++i) {
        if (!ScanToken(p))
            return {};
    }
    win::LPCWSTR probe = p;
    int length = 0;
    if (!ScanToken(probe, nullptr, &length))
        return {};
    QString result(length, Qt::Uninitialized);
    ScanToken(p, reinterpret_cast<win::WCHAR *>(result.data()), &length);
    result.truncate(length);
    return result;
}

} // namespace cmdline
