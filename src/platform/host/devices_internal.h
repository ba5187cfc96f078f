// Capacities of the host layer's device namespace. Every table is fixed so
// that opening a device, the control calls, closing, the DOS device calls and
// Sleep never touch the heap. Host code only (devices.cpp and its tests).
#pragma once

#include <cstddef>

#include "hostwin_types.h"

namespace hostwin::devices {

// Characters of an NT path, a DOS device name or a target path, terminating
// zero included: MAX_PATH plus room for a "\??\" prefix.
constexpr size_t kNameChars = 264;

constexpr size_t kMaxDeviceObjects = 64;
constexpr size_t kMaxDosNames = 64;
// DefineDosDeviceA definitions stacked on one name (a driver link below them
// does not count).
constexpr size_t kMaxDefinitionsPerName = 8;
constexpr size_t kMaxOpenHandles = 64;
// How many symbolic links one open follows ("\??\NAME" targets) before it
// gives up, so that a loop of definitions cannot hang it.
constexpr int kMaxLinkHops = 8;
// Sleep calls remembered for SleepCalls(): the most recent ones.
constexpr size_t kSleepRecord = 1024;

// Closes a token handle of OpenProcessToken (user_calls.cpp); false when
// the handle is no token.
bool CloseTokenHandle(HANDLE handle);

}  // namespace hostwin::devices
