// The request paths allocate nothing: this program replaces the global
// allocation functions and counts what happens while a request path runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "adapter/adapter_info.h"
#include "adapter/live_settings.h"
#include "platform/card_fixture.h"
#include "core/os_detect.h"
#include "store/settings.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<unsigned> g_allocations{0};

void* Allocate(std::size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_counting) ++g_allocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (g_counting) ++g_allocations;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

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

TEST_F(AllocationTest, CountingWorks) {
    EXPECT_EQ(CountAllocations([] { delete new int(5); }), 1u);
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
