// Detecting the running Windows through the real version query.
#include "core/os_detect.h"

#include <gtest/gtest.h>

#include "core/module_state.h"
#include "platform/win.h"
#ifndef _WIN32
#include "hostctl.h"
#endif

namespace {

OSVERSIONINFOA QueryVersion() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_TRUE(GetVersionExA(&info));
    return info;
}

TEST(DetectWindowsVersion, AgreesWithTheVersionRecordAndSetsTheGlobal) {
    ResetModuleState();
    const OSVERSIONINFOA info = QueryVersion();
    const uint32_t expected = ClassifyVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
    EXPECT_NE(expected, 0u) << "a real or pretended Windows is always recognised";
    EXPECT_EQ(DetectWindowsVersion(), expected);
    EXPECT_EQ(OsClass, expected);
#ifdef _WIN32
    // A new 64-bit Wine prefix reports NT 6.1, which the minor-version rule
    // puts in the XP class.
    EXPECT_EQ(info.dwPlatformId, DWORD{VER_PLATFORM_WIN32_NT});
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
    EXPECT_EQ(OsClass, uint32_t{OsWinXP});
#endif
}

TEST(GetVersionExA, RefusesARecordOfTheWrongSize) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info - 1;
    EXPECT_FALSE(GetVersionExA(&info));
    info.dwOSVersionInfoSize = 0;
    EXPECT_FALSE(GetVersionExA(&info));
}

#ifndef _WIN32
// Wine cannot pretend to be Windows 95, 98 or NT 4.0, nor make the version
// query fail; the host can, so the whole table runs here.
TEST(DetectWindowsVersion, EverySystemTheHostCanPretendToBe) {
    struct Case {
        uint32_t platform, major, minor;
        uint32_t os_class;
    } cases[] = {
        {1, 4, 0, OsWin95},   {1, 4, 10, OsWin98},   {1, 4, 90, OsWin98}, {2, 4, 0, OsNT4},
        {2, 3, 51, OsNT4},    {2, 5, 0, OsWin2000},  {2, 5, 1, OsWinXP},  {2, 5, 2, OsWinXP},
        {2, 6, 0, OsWin2000}, {2, 6, 1, OsWinXP},    {0, 3, 11, OsUnknown},
    };
    for (const Case& c : cases) {
        hostwin::ResetSystem();
        hostwin::VersionInfo v;
        v.platform = c.platform;
        v.major = c.major;
        v.minor = c.minor;
        hostwin::SetVersion(v);
        OsClass = 0xFF;
        EXPECT_EQ(DetectWindowsVersion(), c.os_class) << c.platform << " " << c.major << "." << c.minor;
        EXPECT_EQ(OsClass, c.os_class);
    }
    hostwin::ResetSystem();
}

TEST(DetectWindowsVersion, AFailedQueryGivesZero) {
    hostwin::ResetSystem();
    hostwin::SetVersionQueryFails(true);
    OsClass = OsWinXP;
    EXPECT_EQ(DetectWindowsVersion(), 0u);
    EXPECT_EQ(OsClass, 0u);
    hostwin::ResetSystem();
}

TEST(GetComputerNameA, ReportsSizesAsWindowsDoes) {
    hostwin::ResetSystem();
    hostwin::SetComputerName("station-seven-long-name");
    char name[33];
    DWORD size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_STREQ(name, "STATION-SEVEN-L");
    EXPECT_EQ(size, 15u);
    DWORD small = 4;
    EXPECT_FALSE(GetComputerNameA(name, &small));
    EXPECT_EQ(small, 16u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_BUFFER_OVERFLOW});
    hostwin::ResetSystem();
}
#endif

}  // namespace
