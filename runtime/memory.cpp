#include "runtime/memory.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define VESKEL_SANITIZED_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VESKEL_SANITIZED_ALLOCATOR 1
#endif
#if defined(__GLIBC__) && !defined(VESKEL_SANITIZED_ALLOCATOR)
#define VESKEL_WIPING_ALLOCATOR 1
#include <malloc.h>
#endif

#ifdef VESKEL_WIPING_ALLOCATOR

// The C library's own allocator, which the functions below stand in front of.
// The program's definitions of free and realloc take the place of the
// library's in every library of the process, so the toolkit's frees come
// here too. The library's tunable perturb byte would not do: it skips the
// per-thread cache of small blocks, where most freed text lands.
extern "C" {
void *__libc_malloc(std::size_t size) noexcept;
void *__libc_realloc(void *block, std::size_t size) noexcept;
void __libc_free(void *block) noexcept;
}

namespace {

std::atomic<bool> g_wipeFreed{false};

bool wiping()
{
    return g_wipeFreed.load(std::memory_order_relaxed);
}

// The library maps large blocks of their own and unmaps them on free: their
// pages are gone then, and writing them first would only fault them all in.
// The flag is the library's chunk header bit for such blocks.
bool mappedOnItsOwn(const void *block)
{
    constexpr std::size_t kIsMmapped = 0x2;
    std::size_t header = 0;
    std::memcpy(&header, static_cast<const char *>(block) - sizeof header, sizeof header);
    return (header & kIsMmapped) != 0;
}

void wipeBlock(void *block, std::size_t from)
{
    if (mappedOnItsOwn(block)) {
        return;
    }
    const std::size_t size = malloc_usable_size(block);
    if (from < size) {
        explicit_bzero(static_cast<char *>(block) + from, size - from);
    }
}

} // namespace

extern "C" void free(void *block) noexcept
{
    if (block != nullptr && wiping()) {
        wipeBlock(block, 0);
    }
    __libc_free(block);
}

// A block that grows is copied into a new one here, so that the old one is
// wiped before it is freed; one that shrinks loses a wiped tail.
extern "C" void *realloc(void *block, std::size_t size) noexcept
{
    if (block == nullptr || !wiping()) {
        return __libc_realloc(block, size);
    }
    const std::size_t old = malloc_usable_size(block);
    if (size <= old) {
        wipeBlock(block, size);
        return __libc_realloc(block, size);
    }
    void *moved = __libc_malloc(size);
    if (moved == nullptr) {
        return nullptr;
    }
    std::memcpy(moved, block, old);
    explicit_bzero(block, old);
    __libc_free(block);
    return moved;
}

// The library's own reallocarray would reallocate past the function above.
extern "C" void *reallocarray(void *block, std::size_t count, std::size_t size) noexcept
{
    std::size_t bytes = 0;
    if (__builtin_mul_overflow(count, size, &bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(block, bytes);
}

#endif

namespace veskel {

bool WipeFreedMemory(bool wipe)
{
#ifdef VESKEL_WIPING_ALLOCATOR
    g_wipeFreed.store(wipe, std::memory_order_relaxed);
    return true;
#else
    return !wipe;
#endif
}

bool KeepFreedPages()
{
#ifdef VESKEL_WIPING_ALLOCATOR
    constexpr int kLargestHeapBlock = 32 << 20;
    constexpr int kKeptOnTop = 64 << 20;
    // Setting the thresholds also ends the library's own adjusting of them.
    return mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock) == 1 &&
           mallopt(M_TRIM_THRESHOLD, kKeptOnTop) == 1;
#else
    return false;
#endif
}

// A shared buffer belongs to other strings too; detaching would copy the secret
// first, so only an unshared buffer is overwritten in place.
void WipeString(QString &text)
{
    if (!text.isEmpty() && !text.data_ptr()->isShared()) {
        win::SecureZeroMemory(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
    }
    text.clear();
}

void WipeBytes(QByteArray &bytes)
{
    if (!bytes.isEmpty() && !bytes.data_ptr()->isShared()) {
        win::SecureZeroMemory(bytes.data(), static_cast<std::size_t>(bytes.size()));
    }
    bytes.clear();
}

} // namespace veskel
