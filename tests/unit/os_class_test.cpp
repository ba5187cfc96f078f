// Classification of Windows version numbers into the applet's class bits.
#include <gtest/gtest.h>

#include "core/os_detect.h"

namespace {

TEST(ClassifyVersion, EveryKnownWindowsAndTheEdges) {
    struct Case {
        const char* system;
        uint32_t platform, major, minor;
        uint32_t os_class;
    } cases[] = {
        {"Windows 95", 1, 4, 0, 1},
        {"Windows 95 OSR2 (4.03)", 1, 4, 3, 1},
        {"Windows 98", 1, 4, 10, 2},
        {"Windows ME", 1, 4, 90, 2},
        {"a 9x platform with major 5", 1, 5, 0, 2},
        {"a 9x platform with major 3", 1, 3, 95, 1},
        {"Windows NT 3.51", 2, 3, 51, 4},
        {"Windows NT 4.0", 2, 4, 0, 4},
        {"Windows 2000", 2, 5, 0, 8},
        {"Windows XP", 2, 5, 1, 32},
        {"Windows Server 2003 / XP x64", 2, 5, 2, 32},
        {"Windows Vista (6.0), the 2000 class by minor version", 2, 6, 0, 8},
        {"Windows 7 (6.1)", 2, 6, 1, 32},
        {"Windows 10 (10.0)", 2, 10, 0, 8},
        {"Win32s", 0, 3, 11, 0},
        {"an unknown platform", 3, 5, 1, 0},
        {"platform number far out", 0xFFFFFFFF, 5, 1, 0},
        {"version numbers compared unsigned", 2, 0xFFFFFFFF, 0, 8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyVersion(c.platform, c.major, c.minor), c.os_class) << c.system;
    }
}

TEST(ClassifyVersion, ClassesAreSingleBitsAndTheNtMaskSelectsTheNtFamily) {
    for (uint32_t c : {OsWin95, OsWin98}) EXPECT_EQ(c & OsNtFamily, 0u);
    for (uint32_t c : {OsNT4, OsWin2000, OsWinXP}) {
        EXPECT_NE(c & OsNtFamily, 0u);
        EXPECT_EQ(c & (c - 1), 0u) << "one bit";
    }
}

}  // namespace
