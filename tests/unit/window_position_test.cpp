// Where a window goes: at the remembered position when it fits on the
// desktop, centred otherwise.
#include "ui/window_position.h"

#include <gtest/gtest.h>

#include "core/module_state.h"

namespace {

TEST(PlaceWindow, FitsOrIsCentred) {
    struct Case {
        const char* what;
        uint32_t x, y;
        int32_t width, height, right, bottom;
        int32_t placed_x, placed_y;
        bool centred;
    } cases[] = {
        {"the top-left corner", 0, 0, 400, 300, 1024, 768, 0, 0, false},
        {"exactly to the edges", 624, 468, 400, 300, 1024, 768, 624, 468, false},
        {"one pixel too far right", 625, 0, 400, 300, 1024, 768, 312, 234, true},
        {"one pixel too far down", 0, 469, 400, 300, 1024, 768, 312, 234, true},
        {"far off both edges", 900, 700, 400, 300, 1024, 768, 312, 234, true},
        // -10 as stored: the unsigned sum wraps to 390, which fits.
        {"a wrapped negative x", 4294967286u, 10, 400, 300, 1024, 768, -10, 10, false},
        {"a wrapped negative y", 10, 4294967291u, 400, 300, 1024, 768, 10, -5, false},
        // A small negative x with a narrow window does not wrap past 0.
        {"-10 with a window 5 wide", 4294967286u, 0, 5, 300, 1024, 768, 509, 234, true},
        {"odd differences truncate", 2000, 0, 401, 301, 1024, 768, 311, 233, true},
        {"a window larger than the desktop", 0, 0, 1100, 300, 1024, 768, -38, 234, true},
    };
    for (const Case& c : cases) {
        const WindowPlacement place = PlaceWindow(c.x, c.y, c.width, c.height, c.right, c.bottom);
        EXPECT_EQ(place.x, c.placed_x) << c.what;
        EXPECT_EQ(place.y, c.placed_y) << c.what;
        EXPECT_EQ(place.centred, c.centred) << c.what;
    }
}

TEST(WindowPosition, StartsAtTheTopLeftCornerAfterAReset) {
    WindowPosition = {77, 88};
    ResetModuleState();
    EXPECT_EQ(WindowPosition.X, 0u);
    EXPECT_EQ(WindowPosition.Y, 0u);
}

}  // namespace
