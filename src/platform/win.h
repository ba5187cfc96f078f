// The one header through which the applet reaches the operating system.
// Windows builds see the real API; the host build sees our own declarations
// of exactly the subset the applet uses.
//
// Window data goes through the pointer-sized calls (SetWindowLongPtrA with
// GWLP_WNDPROC, DWLP_MSGRESULT): they are the same calls on i686, and the
// 32-bit names do not exist for x86_64, so the win64 build refuses them.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h: the common controls (the property sheet) build on it.
#include <commctrl.h>
#else
#include "host/hostwin.h"
#endif
