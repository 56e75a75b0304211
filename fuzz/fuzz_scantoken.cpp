// Fuzzes the command-line tokenizer.
//
// (a) The data, read as UTF-16 units and NUL-terminated, is scanned token by
//     token: each scan must stay inside the text, move forward, write exactly
//     the units it reports (no more) and agree with a scan without a buffer.
// (b) The data, read as UTF-16 units and split at each NUL unit, is an argv:
//     quoted into a command line, the tokenizer must give each argument back.
#include "cmdline/cmdlinehelper.h"
#include "platform/win/process.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::vector<win::WCHAR> toUnits(const std::uint8_t *data, std::size_t size)
{
    std::vector<win::WCHAR> units(size / 2);
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = win::WCHAR(data[2 * i] | (data[2 * i + 1] << 8));
    return units;
}

void scanAll(std::vector<win::WCHAR> text)
{
    text.push_back(0);
    const win::WCHAR *const begin = text.data();
    const win::WCHAR *const end = begin + text.size() - 1; // the NUL
    constexpr win::WCHAR MarkerA = 0xA5A5;
    constexpr win::WCHAR MarkerB = 0x5A5A;
    std::vector<win::WCHAR> outA(text.size() + 1);
    std::vector<win::WCHAR> outB(text.size() + 1);

    win::LPCWSTR p = begin;
    for (;;) {
        const win::LPCWSTR start = p;
        win::LPCWSTR plain = start;
        int plainLength = -1;
        const bool plainFound = cmdline::ScanToken(plain, nullptr, &plainLength);

        win::LPCWSTR bare = start;
        check(cmdline::ScanToken(bare) == plainFound && bare == plain);

        // Two scans into buffers pre-filled with different markers: units the
        // scan writes agree, units it leaves keep their marker.
        std::fill(outA.begin(), outA.end(), MarkerA);
        std::fill(outB.begin(), outB.end(), MarkerB);
        win::LPCWSTR posB = start;
        int lengthA = -1;
        int lengthB = -1;
        const bool found = cmdline::ScanToken(p, outA.data(), &lengthA);
        check(cmdline::ScanToken(posB, outB.data(), &lengthB) == found);
        check(posB == p && lengthB == lengthA);
        check(found == plainFound && p == plain && lengthA == plainLength);
        check(p >= start && p <= end);
        check(lengthA >= 0 && std::size_t(lengthA) <= std::size_t(p - start));
        for (std::size_t i = 0; i < outA.size(); ++i) {
            if (i < std::size_t(lengthA))
                check(outA[i] == outB[i]);
            else
                check(outA[i] == MarkerA && outB[i] == MarkerB);
        }
        if (!found) {
            check(lengthA == 0 && *p == 0);
            break;
        }
        check(p > start);
        check(*p == 0 || (*p >= 1 && *p <= 32));
    }
}

QString scanFirst(win::LPCWSTR p)
{
    win::LPCWSTR probe = p;
    int length = 0;
    check(cmdline::ScanToken(probe, nullptr, &length));
    QString token(length, Qt::Uninitialized);
    check(cmdline::ScanToken(p, reinterpret_cast<win::WCHAR *>(token.data()), &length));
    check(length == token.size());
    return token;
}

void roundTrip(const std::vector<win::WCHAR> &units)
{
    QStringList argv;
    QString current;
    for (win::WCHAR u : units) {
        if (u == 0) {
            argv.append(current);
            current.clear();
        } else {
            current.append(QChar(u));
        }
    }
    argv.append(current);

    win::SetCommandLineText(win::BuildCommandLine(argv));
    check(scanFirst(win::GetCommandLineW()) == argv.first());
    const int count = cmdline::CmdLineParamCount();
    check(count == argv.size() - 1);
    for (int i = 1; i <= count; ++i)
        check(cmdline::CmdLineParamStr(i) == argv.at(i));
    check(cmdline::CmdLineParamStr(count + 1).isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<win::WCHAR> units = toUnits(data, size);
    scanAll(units);
    roundTrip(units);
    return 0;
}
