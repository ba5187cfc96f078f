// Calls the tests record instead of letting them act: the help engine, the
// speaker, the restart and the privileges it needs, and the message boxes
// (recorded, then shown). The same interface on both backends: on the host
// the host layer records them; in the win64 test programs the applet's
// import slots of these functions lead here (recorder_win32.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/win.h"

namespace scenario {

struct HelpCall {
    HWND window = nullptr;
    std::string file;
    UINT command = 0;
    ULONG_PTR data = 0;
    // For HELP_WM_HELP: the (control id, context id) pairs of the table,
    // up to its pair of zeros.
    std::vector<std::pair<DWORD, DWORD>> table;
};

struct MessageBoxCall {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT style = 0;
};

struct ExitWindowsCall {
    UINT flags = 0;
    DWORD reason = 0;
};

// Everything recorded since the last ResetRecorder, oldest first.
std::vector<HelpCall> HelpCalls();
std::vector<UINT> Beeps();  // the type of each MessageBeep
std::vector<ExitWindowsCall> ExitWindowsCalls();
// "OpenProcessToken", "LookupPrivilegeValueA:<name>", "AdjustTokenPrivileges"
// as the calls were made.
std::vector<std::string> TokenCalls();
std::vector<MessageBoxCall> MessageBoxCalls();

// Makes OpenProcessToken fail (ERROR_ACCESS_DENIED) until set back.
void SetOpenProcessTokenFails(bool fails);

// Forgets everything recorded; OpenProcessToken succeeds again.
void ResetRecorder();

}  // namespace scenario
