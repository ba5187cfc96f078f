// The calls the host records instead of acting on them: the help engine,
// the restart of Windows and the privilege it needs, and beeps. Also the
// reset of the whole user interface.
#include <algorithm>
#include <string>
#include <vector>

#include "devices_internal.h"
#include "hostctl_user.h"
#include "user_internal.h"

namespace hostwin {
namespace {

constexpr DWORD kErrorAccessDenied = 5;
constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorNoSuchPrivilege = 1313;
// A help table longer than this is taken as unterminated.
constexpr size_t kMaxHelpPairs = 4096;

// The one pretend token of the process: handles that CloseHandle accepts.
#if UINTPTR_MAX > 0xFFFFFFFFu
constexpr uintptr_t kTokenBase = uintptr_t{0x200} << 32;
#else
constexpr uintptr_t kTokenBase = 0xB0000000u;
#endif

struct Records {
    std::vector<HelpCall> help;
    std::vector<ExitWindowsCall> exits;
    std::vector<std::string> token_calls;
    std::vector<uintptr_t> open_tokens;
    uintptr_t next_token = kTokenBase;
    bool token_fails = false;
    std::vector<UINT> beeps;
    std::vector<MessageBoxCall> boxes;
};

Records& R() {
    static Records r;
    return r;
}

bool IsOpenToken(HANDLE h) {
    const auto& t = R().open_tokens;
    return std::find(t.begin(), t.end(), reinterpret_cast<uintptr_t>(h)) != t.end();
}

}  // namespace

std::vector<HelpCall> HelpCalls() {
    return R().help;
}

std::vector<ExitWindowsCall> ExitWindowsCalls() {
    return R().exits;
}

std::vector<std::string> TokenCalls() {
    return R().token_calls;
}

void SetOpenProcessTokenFails(bool fails) {
    R().token_fails = fails;
}

unsigned BeepCount() {
    return static_cast<unsigned>(R().beeps.size());
}

std::vector<UINT> BeepCalls() {
    return R().beeps;
}

std::vector<MessageBoxCall> MessageBoxCalls() {
    return R().boxes;
}

void ClearRecordedCalls() {
    Records& r = R();
    r.help.clear();
    r.exits.clear();
    r.token_calls.clear();
    r.beeps.clear();
    r.boxes.clear();
}

void ResetUser() {
    user::ResetWindows();
    R() = Records{};
    SetClipboardText("");
}

void RecordMessageBox(HWND owner, const char* text, const char* caption, UINT style) {
    R().boxes.push_back({owner, text != nullptr ? text : "", caption != nullptr ? caption : "", style});
}

namespace devices {

bool CloseTokenHandle(HANDLE handle) {
    auto& t = R().open_tokens;
    auto it = std::find(t.begin(), t.end(), reinterpret_cast<uintptr_t>(handle));
    if (it == t.end()) return false;
    t.erase(it);
    return true;
}

}  // namespace devices
}  // namespace hostwin

using hostwin::R;

BOOL WINAPI WinHelpA(HWND hWndMain, LPCSTR lpszHelp, UINT uCommand, ULONG_PTR dwData) {
    hostwin::HelpCall call{hWndMain, lpszHelp != nullptr ? lpszHelp : "", uCommand, dwData, {}};
    if (uCommand == HELP_WM_HELP && dwData != 0) {
        const auto* pairs = reinterpret_cast<const DWORD*>(dwData);
        for (size_t i = 0; i < hostwin::kMaxHelpPairs; ++i) {
            const DWORD id = pairs[2 * i], context = pairs[2 * i + 1];
            if (id == 0 && context == 0) break;
            call.table.emplace_back(id, context);
        }
    }
    R().help.push_back(std::move(call));
    return TRUE;
}

BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReason) {
    R().exits.push_back({uFlags, dwReason});
    return TRUE;
}

BOOL WINAPI MessageBeep(UINT uType) {
    R().beeps.push_back(uType);
    if (hostwin::Desktop* d = hostwin::AttachedDesktop()) d->Beep(uType);
    return TRUE;
}

HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD, HANDLE* TokenHandle) {
    auto& r = R();
    r.token_calls.push_back("OpenProcessToken");
    if (TokenHandle == nullptr || ProcessHandle != GetCurrentProcess()) {
        SetLastError(hostwin::kErrorInvalidHandle);
        return FALSE;
    }
    if (r.token_fails) {
        SetLastError(hostwin::kErrorAccessDenied);
        return FALSE;
    }
    r.next_token += 4;
    r.open_tokens.push_back(r.next_token);
    *TokenHandle = reinterpret_cast<HANDLE>(r.next_token);
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR, LPCSTR lpName, PLUID lpLuid) {
    const std::string name = lpName != nullptr ? lpName : "";
    R().token_calls.push_back("LookupPrivilegeValueA:" + name);
    if (lpLuid == nullptr || name != SE_SHUTDOWN_NAME) {
        SetLastError(hostwin::kErrorNoSuchPrivilege);
        return FALSE;
    }
    // The number Windows gives the shutdown privilege.
    lpLuid->LowPart = 19;
    lpLuid->HighPart = 0;
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL, PTOKEN_PRIVILEGES NewState, DWORD, PTOKEN_PRIVILEGES,
                                  PDWORD) {
    R().token_calls.push_back("AdjustTokenPrivileges");
    if (!hostwin::IsOpenToken(TokenHandle) || NewState == nullptr) {
        SetLastError(hostwin::kErrorInvalidHandle);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
