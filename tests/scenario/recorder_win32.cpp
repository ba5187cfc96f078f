// The recorded calls in the win64 test programs.
//
// The applet's code calls these functions through their import slots
// (__imp_WinHelpA and so on). This file defines the slots, so the test
// program's code comes here instead of going to the system: help, beeps,
// restarts and privilege changes are recorded and never acted on (no test
// starts the help engine or ends the Wine session), and a message box is
// recorded and then shown by the system. tests/CMakeLists.txt asks the
// linker for these symbols, so this object is linked before the import
// libraries. The product DLL keeps its ordinary imports.
#include <mutex>

#include "recorder.h"

namespace scenario {
namespace {

struct Records {
    std::mutex mutex;
    std::vector<HelpCall> help;
    std::vector<UINT> beeps;
    std::vector<ExitWindowsCall> exits;
    std::vector<std::string> tokens;
    std::vector<MessageBoxCall> boxes;
    bool token_fails = false;
};

Records& R() {
    static Records records;
    return records;
}

template <typename T>
std::vector<T> Copy(const std::vector<T>& v) {
    std::lock_guard<std::mutex> lock(R().mutex);
    return v;
}

// The system's own function, for the calls that go on to it.
template <typename F>
F System(const char* module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

BOOL WINAPI RecordWinHelp(HWND window, LPCSTR file, UINT command, ULONG_PTR data) noexcept {
    HelpCall call;
    call.window = window;
    call.file = file != nullptr ? file : "";
    call.command = command;
    call.data = data;
    if (command == HELP_WM_HELP && data != 0) {
        // The table is read up to its pair of zeros; 64 pairs at most, so a
        // table without its end cannot run the test away.
        const DWORD* pairs = reinterpret_cast<const DWORD*>(data);
        for (int i = 0; i < 64 && (pairs[2 * i] != 0 || pairs[2 * i + 1] != 0); ++i) {
            call.table.emplace_back(pairs[2 * i], pairs[2 * i + 1]);
        }
    }
    std::lock_guard<std::mutex> lock(R().mutex);
    R().help.push_back(std::move(call));
    return TRUE;
}

BOOL WINAPI RecordMessageBeep(UINT type) noexcept {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().beeps.push_back(type);
    return TRUE;
}

BOOL WINAPI RecordExitWindows(UINT flags, DWORD reason) noexcept {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().exits.push_back({flags, reason});
    return TRUE;
}

BOOL WINAPI RecordOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) noexcept {
    {
        std::lock_guard<std::mutex> lock(R().mutex);
        R().tokens.push_back("OpenProcessToken");
        if (R().token_fails) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    using Fn = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
    static const Fn system = System<Fn>("advapi32.dll", "OpenProcessToken");
    return system(process, access, token);
}

BOOL WINAPI RecordLookupPrivilegeValue(LPCSTR system_name, LPCSTR name, PLUID luid) noexcept {
    {
        std::lock_guard<std::mutex> lock(R().mutex);
        R().tokens.push_back(std::string("LookupPrivilegeValueA:") + (name != nullptr ? name : ""));
    }
    using Fn = BOOL(WINAPI*)(LPCSTR, LPCSTR, PLUID);
    static const Fn system = System<Fn>("advapi32.dll", "LookupPrivilegeValueA");
    return system(system_name, name, luid);
}

// Recorded, not acted on: the test process keeps its privileges.
BOOL WINAPI RecordAdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD) noexcept {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().tokens.push_back("AdjustTokenPrivileges");
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) noexcept {
    {
        std::lock_guard<std::mutex> lock(R().mutex);
        R().boxes.push_back({owner, text != nullptr ? text : "", caption != nullptr ? caption : "", style});
    }
    using Fn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
    static const Fn system = System<Fn>("user32.dll", "MessageBoxA");
    return system(owner, text, caption, style);
}

}  // namespace

std::vector<HelpCall> HelpCalls() {
    return Copy(R().help);
}
std::vector<UINT> Beeps() {
    return Copy(R().beeps);
}
std::vector<ExitWindowsCall> ExitWindowsCalls() {
    return Copy(R().exits);
}
std::vector<std::string> TokenCalls() {
    return Copy(R().tokens);
}
std::vector<MessageBoxCall> MessageBoxCalls() {
    return Copy(R().boxes);
}

void SetOpenProcessTokenFails(bool fails) {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().token_fails = fails;
}

void ResetRecorder() {
    std::lock_guard<std::mutex> lock(R().mutex);
    R().help.clear();
    R().beeps.clear();
    R().exits.clear();
    R().tokens.clear();
    R().boxes.clear();
    R().token_fails = false;
}

}  // namespace scenario

// The import slots the linker would otherwise take from the import libraries.
extern "C" {
extern decltype(&WinHelpA) __imp_WinHelpA;
extern decltype(&MessageBeep) __imp_MessageBeep;
extern decltype(&ExitWindowsEx) __imp_ExitWindowsEx;
extern decltype(&OpenProcessToken) __imp_OpenProcessToken;
extern decltype(&LookupPrivilegeValueA) __imp_LookupPrivilegeValueA;
extern decltype(&AdjustTokenPrivileges) __imp_AdjustTokenPrivileges;
extern decltype(&MessageBoxA) __imp_MessageBoxA;
decltype(&WinHelpA) __imp_WinHelpA = scenario::RecordWinHelp;
decltype(&MessageBeep) __imp_MessageBeep = scenario::RecordMessageBeep;
decltype(&ExitWindowsEx) __imp_ExitWindowsEx = scenario::RecordExitWindows;
decltype(&OpenProcessToken) __imp_OpenProcessToken = scenario::RecordOpenProcessToken;
decltype(&LookupPrivilegeValueA) __imp_LookupPrivilegeValueA = scenario::RecordLookupPrivilegeValue;
decltype(&AdjustTokenPrivileges) __imp_AdjustTokenPrivileges = scenario::RecordAdjustTokenPrivileges;
decltype(&MessageBoxA) __imp_MessageBoxA = scenario::RecordMessageBox;
}
