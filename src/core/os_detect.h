// Which Windows family the applet runs on. Every decision that differs
// between Windows versions rests on the one class number computed here.
#pragma once

#include <cstdint>

// Single-bit classes, so callers can test with masks.
enum : uint32_t {
    OsUnknown = 0,
    OsWin95 = 1,
    OsWin98 = 2,   // Windows 98 and Windows ME
    OsNT4 = 4,     // Windows NT 4.0 and earlier NT versions
    OsWin2000 = 8,
    OsWinXP = 32,  // Windows XP and later NT versions with a minor version above 0
    OsNtFamily = 0x3C,
};

// The class of the running Windows version; set by DetectWindowsVersion.
extern uint32_t OsClass;

// The class of a version record's platform and version numbers.
uint32_t ClassifyVersion(uint32_t platform_id, uint32_t major, uint32_t minor);

// Asks Windows for its version, stores the class in OsClass and returns it.
// A failed query gives 0.
uint32_t DetectWindowsVersion();
