// The request paths allocate nothing: this program counts every allocation
// it can see while a request path runs, both the C++ operators and the C
// functions (malloc, calloc, realloc).
//
// How the C functions are seen depends on the build:
//  - host: the program's own malloc, calloc, realloc and free replace the C
//    library's for the whole process (glibc supports replacing these four)
//    and hand the work to glibc's allocator, so every allocation comes
//    through here, the C library's own ones (strdup, stdio buffers) too;
//  - host under AddressSanitizer: the sanitizer owns the allocator; its
//    allocation hook sees every allocation the same way;
//  - Windows (wine64): the link wraps malloc, calloc and realloc
//    (-Wl,--wrap), so every call from code linked into the program is
//    counted: the applet, the test card, libstdc++ and GoogleTest. What
//    cannot be counted there is what the system DLLs allocate themselves:
//    msvcrt's own functions that allocate inside the DLL (_strdup, stdio
//    buffers) and the heap calls of kernel32 and the rest (HeapAlloc,
//    LocalAlloc, GlobalAlloc). The host run, which counts the C library's
//    own allocations, covers the first kind for the same code.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>

#include "adapter/adapter_info.h"
#include "adapter/live_settings.h"
#include "core/os_detect.h"
#include "platform/card_fixture.h"
#include "store/settings.h"

#if defined(__SANITIZE_ADDRESS__)
#define SNKES_ALLOC_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SNKES_ALLOC_SANITIZER 1
#endif
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<unsigned> g_allocations{0};

void CountAllocation() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#if defined(SNKES_ALLOC_SANITIZER)
// The sanitizer runtime's allocation hooks (declared here: GCC installs no
// header for them).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                         void (*free_hook)(const volatile void*));
namespace {
void MallocHook(const volatile void*, std::size_t) {
    CountAllocation();
}
void FreeHook(const volatile void*) {}
const int g_hooks_installed = __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
}  // namespace
#elif defined(_WIN32)
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* p, std::size_t size);
void* __wrap_malloc(std::size_t size) {
    CountAllocation();
    return __real_malloc(size);
}
void* __wrap_calloc(std::size_t count, std::size_t size) {
    CountAllocation();
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* p, std::size_t size) {
    CountAllocation();
    return __real_realloc(p, size);
}
}
#else
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);
void* malloc(std::size_t size) noexcept {
    CountAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    CountAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
    CountAllocation();
    return __libc_realloc(p, size);
}
void free(void* p) noexcept {
    __libc_free(p);
}
}
#endif

// The C++ operators go to malloc, where they are counted with the rest.
namespace {
void* Allocate(std::size_t size) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// Keeps an allocation observable, so the compiler cannot drop a pair of
// malloc and free.
void* volatile g_sink = nullptr;

class AllocationTest : public CardTest {
protected:
    template <typename F>
    unsigned CountAllocations(F&& f) {
        g_allocations = 0;
        g_counting = true;
        f();
        g_counting = false;
        return g_allocations;
    }
};

TEST_F(AllocationTest, EveryAllocationFunctionIsCounted) {
    struct Case {
        const char* what;
        std::function<void()> allocate;
    } cases[] = {
        {"new", [] { delete new int(5); }},
        {"new[]", [] { delete[] new char[7]; }},
        {"malloc",
         [] {
             g_sink = std::malloc(24);
             std::free(g_sink);
         }},
        {"calloc",
         [] {
             g_sink = std::calloc(3, 8);
             std::free(g_sink);
         }},
        {"realloc of nothing",
         [] {
             g_sink = std::realloc(nullptr, 16);
             std::free(g_sink);
         }},
    };
    for (const Case& c : cases) EXPECT_EQ(CountAllocations(c.allocate), 1u) << c.what;

    void* p = std::malloc(8);
    g_sink = p;
    EXPECT_EQ(CountAllocations([&] { p = std::realloc(p, 4096); }), 1u) << "realloc to grow";
    g_sink = p;
    std::free(p);
}

TEST_F(AllocationTest, ReadAdapterInfoAndWriteLiveSettingsAllocateNothing) {
    const uint32_t classes[] = {OsWin2000, OsWinXP, OsNT4, OsWin95, OsWin98};
    for (uint32_t os_class : classes) {
        card.Reset();
        PresentCard(os_class);
        ResetProfileDefaults();
        CopyText(ProfileSettings.DesiredSSID, "network");
        EXPECT_EQ(CountAllocations([] { ReadAdapterInfo(); }), 0u) << os_class;
        EXPECT_EQ(AdapterInfo.DriverOnline, 1u) << os_class;
        EXPECT_EQ(CountAllocations([] { WriteLiveSettings(); }), 0u) << os_class;
        EXPECT_EQ(card.State().activations, 1u) << os_class;
    }
}

}  // namespace
