// Resources of a module (the platform's winbase.h and winuser.h parts that
// read them): raw resources by type and name, strings and icons.
#pragma once

#include "hostwin_types.h"

// Resource types
#define RT_CURSOR MAKEINTRESOURCEA(1)
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_MENU MAKEINTRESOURCEA(4)
#define RT_DIALOG MAKEINTRESOURCEA(5)
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_FONTDIR MAKEINTRESOURCEA(7)
#define RT_FONT MAKEINTRESOURCEA(8)
#define RT_ACCELERATOR MAKEINTRESOURCEA(9)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEA(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEA(12)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
#define RT_VERSION MAKEINTRESOURCEA(16)
#define RT_MANIFEST MAKEINTRESOURCEA(24)

// A null module stands for the program's main module. A name or type is an
// ordinal (MAKEINTRESOURCEA), "#number", or a name compared without regard
// to case. Failures: ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND.
HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);

// The string `uID` (its low 16 bits) in the 8-bit code page. Copies at most
// cchBufferMax - 1 characters and always ends them with a zero; returns the
// number copied. A missing string and an empty one both give "" and 0. A
// buffer size of 0 or less writes nothing and returns -1.
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);

// The icon group `lpIconName` as one shared icon: its 32 x 32 image of the
// most colours, or the image nearest that size. The same handle for every
// call; DestroyIcon of it succeeds and leaves it in place.
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
BOOL WINAPI DestroyIcon(HICON hIcon);
