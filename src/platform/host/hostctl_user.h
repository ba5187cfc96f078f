// Host controls of the user interface: the desktop that feeds the modal
// loops, the desktop's size, and the calls the host records instead of
// acting on them (help, restart, privileges).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostwin.h"

namespace hostwin {

// Where the modal loops of DialogBoxParamA, PropertySheetA and MessageBoxA
// get their input. The scripted desktop of the scenario tests and the
// terminal front end are desktops. With none attached the modal calls fail
// at once (-1, or 0 for MessageBoxA), as where no window station exists.
class Desktop {
public:
    virtual ~Desktop() = default;

    // `window` (a dialog, a property sheet or a message box) has become the
    // active top-level window: when it is shown, and again when a window it
    // owned has gone.
    virtual void Activated(HWND window) { (void)window; }

    // The modal loop of `modal` has nothing left in its queue. Deliver input
    // (SendMessageA to a control, or the input functions below) or wait for
    // some. Return false to give up: the loop then ends as if the dialog
    // could not be run, with the failure value of its call.
    virtual bool Idle(HWND modal) = 0;

    // A top-level window is about to be destroyed.
    virtual void Destroying(HWND window) { (void)window; }

    // The look of `window` changed (text, state, focus, visibility).
    virtual void Changed(HWND window) { (void)window; }

    // Alt+Space on `window`: show its system menu and return the command
    // the user chose (0 for none); it then arrives as WM_SYSCOMMAND.
    virtual UINT TrackMenu(HWND window, HMENU menu) {
        (void)window;
        (void)menu;
        return 0;
    }

    // MessageBeep was called.
    virtual void Beep(UINT type) { (void)type; }
};

// Attaches a desktop (not owned; nullptr detaches) and returns the previous.
Desktop* AttachDesktop(Desktop* desktop);
Desktop* AttachedDesktop();

// The screen, in pixels, that GetDesktopWindow's rectangle reports.
// 1024 x 768 unless set.
void SetDesktopSize(int width, int height);

// ---- Input as a keyboard and a mouse make it --------------------------------
// Queued for the thread's message loop, as the hardware would: the modal
// loop hands it through the dialog manager (Tab, Enter, Escape, arrows,
// mnemonics) and TranslateMessage (WM_CHAR from a key that types `ch`).
// `ch` 0 for keys that type nothing. The modifiers are held down during
// the key: Alt makes the system-key messages (WM_SYSKEYDOWN, WM_SYSCHAR).
enum : unsigned { kModShift = 1, kModControl = 2, kModAlt = 4 };
void PostKeyInput(UINT virtual_key, char ch, unsigned modifiers = 0);
// A click of the left button on `window` (a control or a list item of a
// dropped combo box list) at client point (x, y).
void PostClickInput(HWND window, int x, int y);

// The clipboard of edit controls (WM_COPY, WM_CUT, WM_PASTE, Ctrl+C/X/V).
void SetClipboardText(const std::string& text);
std::string ClipboardText();

// ---- Recorded calls -----------------------------------------------------------
struct HelpCall {
    HWND window;
    std::string file;
    UINT command;
    ULONG_PTR data;
    // For HELP_WM_HELP: the (control id, context id) pairs the table held,
    // up to its pair of zeros.
    std::vector<std::pair<DWORD, DWORD>> table;
};
std::vector<HelpCall> HelpCalls();

struct ExitWindowsCall {
    UINT flags;
    DWORD reason;
};
std::vector<ExitWindowsCall> ExitWindowsCalls();

// Every MessageBoxA, as it was asked for (the box is shown all the same).
struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};
std::vector<MessageBoxCall> MessageBoxCalls();

// The type of every MessageBeep.
std::vector<UINT> BeepCalls();

// Privilege calls as they were made: "OpenProcessToken", then
// "LookupPrivilegeValueA:<name>", "AdjustTokenPrivileges".
std::vector<std::string> TokenCalls();
// Makes OpenProcessToken fail (ERROR_ACCESS_DENIED) until set back.
void SetOpenProcessTokenFails(bool fails);

// Forgets the recorded calls (help, restart, privileges, message boxes,
// beeps); windows stay.
void ClearRecordedCalls();

// No windows, no queued input, no recorded calls, no desktop, default
// desktop size. ResetSystem does this too.
void ResetUser();

}  // namespace hostwin
