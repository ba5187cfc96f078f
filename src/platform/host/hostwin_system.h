// Version, computer name, the thread's last error and the loaded modules
// (the platform's winbase.h part of kernel32).
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

// Modules. On the host a module is a set of resources that a program or
// library embedded under a file name (hostctl_resources.h); the applet's is
// "SNKES48.CPL". A name is found without regard to case, with or without a
// path before it. The program's main module (GetModuleHandleA(nullptr), and
// the module of a null instance handle) holds the program's own resources;
// GetModuleFileNameA gives its path, and a registered module's name as it
// was registered. A module name without an extension means one of ".DLL",
// and a trailing "." means none, as for the platform's loader.
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
