#include "core/os_detect.h"

#include "platform/win.h"

uint32_t OsClass = 0;

uint32_t ClassifyVersion(uint32_t platform_id, uint32_t major, uint32_t minor) {
    switch (platform_id) {
        case VER_PLATFORM_WIN32_WINDOWS:
            return (major > 4 || (major == 4 && minor >= 10)) ? OsWin98 : OsWin95;
        case VER_PLATFORM_WIN32_NT:
            if (major > 4) return minor > 0 ? OsWinXP : OsWin2000;
            return OsNT4;
        default:
            return OsUnknown;
    }
}

uint32_t DetectWindowsVersion() {
    OsClass = OsUnknown;
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    static_assert(sizeof(OSVERSIONINFOA) == 148, "the plain version record is 148 bytes");
    if (GetVersionExA(&info)) {
        OsClass = ClassifyVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
    }
    return OsClass;
}
