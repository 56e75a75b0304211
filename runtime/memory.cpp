#include "runtime/memory.h"

#include <alloca.h>
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
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <malloc.h>
#endif

#ifdef VESKEL_WIPING_ALLOCATOR

// The program's definitions of free and realloc take the place of the C
// library's in every library of the process, so the toolkit's frees come here
// too. They wipe the block and hand it on to the allocator that made it: the
// next definition after the program's own, which is the C library's, or one
// preloaded in its place (jemalloc, tcmalloc). The library's tunable perturb
// byte would not do: it skips the per-thread cache of small blocks, where most
// freed text lands.

namespace {

using FreeFunction = void (*)(void *);
using ReallocFunction = void *(*)(void *, std::size_t);
using UsableSizeFunction = std::size_t (*)(void *);

enum class Wiping
{
    Off,
    LibraryHeap,
    OtherHeap
};

std::atomic<Wiping> g_wiping{Wiping::Off};
std::atomic<FreeFunction> g_free{nullptr};
std::atomic<ReallocFunction> g_realloc{nullptr};
std::atomic<UsableSizeFunction> g_usableSize{nullptr};

// Set while this thread looks a function up: a block the lookup itself frees
// is left alone (a few bytes at most, once).
thread_local bool t_lookingUp = false;

template<typename Function>
Function nextDefinition(std::atomic<Function> &cache, const char *name)
{
    Function found = cache.load(std::memory_order_acquire);
    if (found != nullptr || t_lookingUp) {
        return found;
    }
    t_lookingUp = true;
    found = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
    t_lookingUp = false;
    cache.store(found, std::memory_order_release);
    return found;
}

FreeFunction nextFree()
{
    return nextDefinition(g_free, "free");
}

ReallocFunction nextRealloc()
{
    return nextDefinition(g_realloc, "realloc");
}

// The shared object a function lives in, or null.
const void *objectOf(const void *function)
{
    Dl_info info{};
    return function != nullptr && dladdr(function, &info) != 0 ? info.dli_fbase : nullptr;
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

std::size_t usableSize(void *block)
{
    return g_usableSize.load(std::memory_order_relaxed)(block);
}

void wipeBlock(void *block, std::size_t from, Wiping wiping)
{
    if (wiping == Wiping::LibraryHeap && mappedOnItsOwn(block)) {
        return;
    }
    const std::size_t size = usableSize(block);
    if (from < size) {
        explicit_bzero(static_cast<char *>(block) + from, size - from);
    }
}

// Where the definitions after the program's own cannot be found (a static
// build), blocks go to the C library's allocator directly.
extern "C" {
void __libc_free(void *block) noexcept;
void *__libc_realloc(void *block, std::size_t size) noexcept;
}

void freeBlock(void *block)
{
    if (const FreeFunction next = nextFree()) {
        next(block);
    } else if (!t_lookingUp) {
        __libc_free(block);
    }
}

// Which heap the process allocates from, and how a freed block's size is
// known: false, with a line on standard error, where it cannot be.
Wiping findWiping()
{
    const FreeFunction next = nextFree();
    const void *library = objectOf(reinterpret_cast<const void *>(&gnu_get_libc_version));
    const void *allocator = objectOf(reinterpret_cast<const void *>(next));
    const auto size = reinterpret_cast<UsableSizeFunction>(dlsym(RTLD_NEXT, "malloc_usable_size"));
    if (allocator != nullptr && allocator == library) {
        g_usableSize.store(size != nullptr ? size : &malloc_usable_size);
        return Wiping::LibraryHeap;
    }
    if (allocator != nullptr && size != nullptr &&
        objectOf(reinterpret_cast<const void *>(size)) == allocator &&
        objectOf(reinterpret_cast<const void *>(nextRealloc())) == allocator) {
        g_usableSize.store(size);
        return Wiping::OtherHeap;
    }
    Dl_info info{};
    const char *name = next != nullptr && dladdr(reinterpret_cast<const void *>(next), &info) != 0
                           ? info.dli_fname
                           : "unknown";
    std::fprintf(stderr,
                 "%s: freed memory is not wiped: the memory allocator in use (%s) does not "
                 "tell the size of a block.\n",
                 program_invocation_short_name, name);
    return Wiping::Off;
}

} // namespace

extern "C" void free(void *block) noexcept
{
    const Wiping wiping = g_wiping.load(std::memory_order_relaxed);
    if (block != nullptr && wiping != Wiping::Off) {
        wipeBlock(block, 0, wiping);
    }
    freeBlock(block);
}

// A block that grows is copied into a new one here, so that the old one is
// wiped before it is freed; one that shrinks loses a wiped tail.
extern "C" void *realloc(void *block, std::size_t size) noexcept
{
    const Wiping wiping = g_wiping.load(std::memory_order_relaxed);
    const ReallocFunction next = nextRealloc();
    const ReallocFunction reallocate = next != nullptr ? next : &__libc_realloc;
    if (block == nullptr || wiping == Wiping::Off) {
        return reallocate(block, size);
    }
    const std::size_t old = usableSize(block);
    if (size <= old) {
        wipeBlock(block, size, wiping);
        return reallocate(block, size);
    }
    void *moved = std::malloc(size);
    if (moved == nullptr) {
        return nullptr;
    }
    std::memcpy(moved, block, old);
    explicit_bzero(block, old);
    freeBlock(block);
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
    if (!wipe) {
        g_wiping.store(Wiping::Off, std::memory_order_relaxed);
        return true;
    }
    // Found once: the allocator cannot change while the process runs.
    static const Wiping found = findWiping();
    g_wiping.store(found, std::memory_order_relaxed);
    return found != Wiping::Off;
#else
    return !wipe;
#endif
}

bool KeepFreedPages()
{
#ifdef VESKEL_WIPING_ALLOCATOR
    // Another allocator keeps its own pages; the tunables below are the C
    // library's.
    if (objectOf(reinterpret_cast<const void *>(nextFree())) !=
        objectOf(reinterpret_cast<const void *>(&gnu_get_libc_version))) {
        return false;
    }
    constexpr int kLargestHeapBlock = 32 << 20;
    constexpr int kKeptOnTop = 64 << 20;
    // Setting the thresholds also ends the library's own adjusting of them.
    return mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock) == 1 &&
           mallopt(M_TRIM_THRESHOLD, kKeptOnTop) == 1;
#else
    return false;
#endif
}

// Not inlined, so that the area lies below the caller's frame.
[[gnu::noinline]] void WipeStackBelow(std::size_t bytes)
{
    auto *area = static_cast<unsigned char *>(alloca(bytes));
    win::SecureZeroMemory(area, bytes);
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
