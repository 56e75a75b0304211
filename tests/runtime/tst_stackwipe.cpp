// The stack below a caller holds no trace of what its callees kept in their
// locals once it has been wiped.
#include "runtime/memory.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t kTrace = 64;

// A pattern made at run time, so that it is nowhere in the program's image.
unsigned char traceByte(std::size_t i, unsigned seed)
{
    return static_cast<unsigned char>((seed * 131 + i * 37) ^ 0xA5);
}

// A callee that leaves the pattern at the deep end of a buffer of its own.
// (The wipe's own frame, right below the caller's, is not wiped: the top of
// the buffer stays out of the search.)
[[gnu::noinline]] void leaveTrace(unsigned seed)
{
    volatile unsigned char buffer[4096];
    for (std::size_t i = 0; i < sizeof buffer; ++i) {
        buffer[i] = i < kTrace ? traceByte(i, seed) : 0;
    }
}

// A plain search, not the C library's: a sanitizer checks every byte memmem
// or memcmp reads, and the stack below the caller is not the caller's to read.
[[gnu::no_sanitize_address]] bool holds(const unsigned char *from, const unsigned char *to,
                                        const unsigned char *pattern, std::size_t length)
{
    // Addresses as numbers: the stack is no one array of the language's.
    const auto end = reinterpret_cast<std::uintptr_t>(to);
    for (auto at = reinterpret_cast<std::uintptr_t>(from); at + length <= end; ++at) {
        const auto *bytes = reinterpret_cast<const unsigned char *>(at);
        std::size_t k = 0;
        while (k < length && bytes[k] == pattern[k]) {
            ++k;
        }
        if (k == length) {
            return true;
        }
    }
    return false;
}

} // namespace

class TestStackWipe : public QObject
{
    Q_OBJECT

    const unsigned char *m_stackStart = nullptr;
    const unsigned char *m_stackEnd = nullptr;

    // Searched in place, with no deeper call than the search's own.
    [[gnu::noinline]] bool stackHoldsTrace(unsigned seed) const
    {
        unsigned char trace[kTrace];
        for (std::size_t i = 0; i < kTrace; ++i) {
            trace[i] = traceByte(i, seed);
        }
        return holds(m_stackStart, trace, trace, kTrace);
    }

private slots:
    void initTestCase()
    {
        QFile maps("/proc/self/maps");
        QVERIFY(maps.open(QIODevice::ReadOnly));
        for (const QByteArray &line : maps.readAll().split('\n')) {
            if (line.endsWith("[stack]")) {
                const QList<QByteArray> range = line.split(' ').constFirst().split('-');
                m_stackStart =
                    reinterpret_cast<const unsigned char *>(range[0].toULongLong(nullptr, 16));
                m_stackEnd =
                    reinterpret_cast<const unsigned char *>(range[1].toULongLong(nullptr, 16));
            }
        }
        QVERIFY(m_stackStart != nullptr);
        // Test functions run on the main thread's stack.
        const unsigned char here = 0;
        QVERIFY(&here > m_stackStart && &here < m_stackEnd);
    }

    void wipesWhatCalleesLeft()
    {
        const unsigned seed = QRandomGenerator::global()->generate();
        leaveTrace(seed);
        QVERIFY(stackHoldsTrace(seed)); // the search finds what was left
        leaveTrace(seed);
        veskel::WipeStackBelow();
        QVERIFY(!stackHoldsTrace(seed));
    }
};

QTEST_MAIN(TestStackWipe)
#include "tst_stackwipe.moc"
