// Wiping memory that held secrets (passwords, keys, plaintext).
#pragma once

#include "platform/win/securezero.h"

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace veskel {

// Overwrites the characters the string holds (when it is the only owner of
// them) and empties it.
void WipeString(QString &text);
void WipeBytes(QByteArray &bytes);

// Wipes a string or bytes when the scope ends, however it ends.
template<typename Text>
class WipedOnExit
{
public:
    explicit WipedOnExit(Text &text)
        : m_text(text)
    {}
    ~WipedOnExit() { wipe(m_text); }
    WipedOnExit(const WipedOnExit &) = delete;
    WipedOnExit &operator=(const WipedOnExit &) = delete;

private:
    static void wipe(QString &text) { WipeString(text); }
    static void wipe(QByteArray &bytes) { WipeBytes(bytes); }
    Text &m_text;
};

// How much of the stack below the caller WipeStackBelow() overwrites: more
// than the deepest call the window makes while it loads, lays out or paints a
// document.
inline constexpr std::size_t kStackWipeBytes = 256 * 1024;

// Overwrites the stack below the caller's frame, where the functions it
// called kept their locals: buffers that held text stay there until the stack
// grows over them again. Called once a document has been replaced.
void WipeStackBelow(std::size_t bytes = kStackWipeBytes);

// From now on every heap block is overwritten with zeros as it is freed, and
// so is the old block of a reallocation that moves. Text the program does not
// own (the toolkit's document storage, its layouts and undo steps, conversions
// in libraries) thus does not stay readable in freed memory. Called first
// thing in main(), before other threads start. Works with the C library's
// allocator and with one preloaded in its place that tells a block's size
// (jemalloc, tcmalloc); with any other, it says so once on standard error and
// returns false. False too in builds with a sanitizer, which bring their own
// allocator, or with a C library other than glibc. False turns it off again,
// for measuring.
bool WipeFreedMemory(bool wipe = true);

// Freed heap memory stays with the process for the next document instead of
// going back to the kernel, and blocks up to 32 MiB come from the heap rather
// than from mappings of their own. Opening a document then reuses pages the
// process already holds: each fresh page costs a fault, and a 200 kB armour
// read out and decoded again takes hundreds of them. The memory held stays
// bounded by the largest document open so far; what it held is wiped on free
// (see WipeFreedMemory). False where the allocator cannot be tuned: a
// sanitizer's, or one preloaded in place of the C library's.
bool KeepFreedPages();

} // namespace veskel
