// The scenario driver under Windows (wine64).
//
// A WH_CBT hook on the test's thread sees each window at HCBT_ACTIVATE and
// as it is destroyed; a thread timer runs one step per tick inside whatever
// modal loop is running (DialogBoxParamA, PropertySheetA, MessageBoxA all
// dispatch it). Every action is sent, never posted: posted key messages come
// back doubled through TranslateMessage and race a posted click.
#include <cstring>

#include "scenario_driver.h"

namespace scenario {
namespace {

// What the system's keyboard input processing adds when F1 is pressed:
// DefWindowProc answers it with WM_HELP to the focused control, which goes
// on to the dialog.
constexpr UINT kKeyF1 = 0x004D;

constexpr UINT kTickMs = 10;

class Win32Backend : public Backend {
public:
    // The key as the modal loop would hand it over: the dialog manager takes
    // Tab, Enter, Escape and the arrows, and translates and dispatches the
    // rest; the character a key types is handed over before the key goes up.
    void PressKey(HWND top, UINT virtual_key) override {
        HWND focus = GetFocus();
        if (focus == nullptr || (focus != top && !IsChild(top, focus))) focus = top;
        MSG down = {focus, WM_KEYDOWN, virtual_key, 1, 0, {0, 0}};
        IsDialogMessageA(top, &down);
        MSG typed;
        while (PeekMessageA(&typed, nullptr, WM_CHAR, WM_CHAR, PM_REMOVE)) {
            if (!IsWindow(top) || !IsDialogMessageA(top, &typed)) DispatchMessageA(&typed);
        }
        if (virtual_key == VK_F1 && IsWindow(focus)) SendMessageA(focus, kKeyF1, 0, 0);
        if (!IsWindow(top)) return;
        HWND now = GetFocus();
        if (now == nullptr || (now != top && !IsChild(top, now))) now = top;
        MSG up = {now, WM_KEYUP, virtual_key, static_cast<LPARAM>(0xC0000001u), 0, {0, 0}};
        IsDialogMessageA(top, &up);
    }

    // A click as the mouse gives it, sent to the window under the pointer.
    void Click(HWND window, int x, int y) override {
        const LPARAM at = MAKELPARAM(x, y);
        SendMessageA(window, WM_MOUSEMOVE, 0, at);
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        if (IsWindow(window)) SendMessageA(window, WM_LBUTTONUP, 0, at);
    }
};

thread_local Driver* g_driver = nullptr;

// A top-level window of the dialog class: a dialog, a property sheet or a
// message box.
bool IsTopLevelDialog(HWND window, const CBT_CREATEWNDA* create) {
    if ((create->lpcs->style & WS_CHILD) != 0) return false;
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    return std::strcmp(name, "#32770") == 0;
}

LRESULT CALLBACK WatchWindows(int code, WPARAM wparam, LPARAM lparam) {
    if (g_driver != nullptr) {
        if (code == HCBT_CREATEWND &&
            IsTopLevelDialog(reinterpret_cast<HWND>(wparam), reinterpret_cast<const CBT_CREATEWNDA*>(lparam))) {
            g_driver->Created(reinterpret_cast<HWND>(wparam));
        }
        if (code == HCBT_ACTIVATE) g_driver->Activated(reinterpret_cast<HWND>(wparam));
        if (code == HCBT_DESTROYWND) g_driver->Destroying(reinterpret_cast<HWND>(wparam));
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

void CALLBACK TickTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (g_driver != nullptr) g_driver->Tick(nullptr);
}

}  // namespace

::testing::AssertionResult Play(HINSTANCE module, std::vector<Step> steps, const std::function<void()>& code,
                                const Options& options) {
    Win32Backend backend;
    Driver driver(module, std::move(steps), options, backend);
    Driver* previous = g_driver;
    g_driver = &driver;
    HHOOK hook = SetWindowsHookExA(WH_CBT, WatchWindows, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, TickTimer);
    if (hook == nullptr || timer == 0) {
        if (hook != nullptr) UnhookWindowsHookEx(hook);
        g_driver = previous;
        return ::testing::AssertionFailure() << "the scenario driver could not start (hook or timer)";
    }
    code();
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);
    g_driver = previous;
    // A tick that was due when the code returned must not reach a later scenario.
    MSG stale;
    while (PeekMessageA(&stale, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    return driver.Finish();
}

}  // namespace scenario
