// Version, computer name and the thread's last error (the platform's
// winbase.h part of kernel32).
#pragma once

#include "hostwin_types.h"

// System information
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

#define MAX_COMPUTERNAME_LENGTH 15

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
