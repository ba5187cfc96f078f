// The host layer's window manager, shared by its parts: the window table,
// the classes of the controls, dialogs and the property sheet. Internal to
// src/platform/host.
//
// One user interface thread: the applet's. Nothing here is locked; the
// windows of the host live on the thread that runs the applet (tests and
// the tools call the applet from one thread).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostwin.h"
#include "hostwin_commctrl.h"

namespace hostwin::user {

// What a window is, for the parts that treat classes differently.
enum class Kind { Desktop, Dialog, Button, Edit, Static, ComboBox, ComboList, Tab, Other };

// A control's own state, owned by its window.
struct ControlData {
    virtual ~ControlData() = default;
};

// The dialog manager's state of a dialog window.
struct DialogData {
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    HWND focus = nullptr;  // the control that had the focus last
    UINT default_id = 0;   // DM_GETDEFID
    int base_x = 8;        // dialog base units of the template font, in pixels
    int base_y = 16;
};

struct Window {
    HWND handle = nullptr;
    Kind kind = Kind::Other;
    std::string class_name;
    WNDPROC proc = nullptr;        // the current window procedure
    WNDPROC class_proc = nullptr;  // the class's own
    HWND parent = nullptr;         // children only
    HWND owner = nullptr;          // top-level windows only
    std::vector<HWND> children;    // in z-order, which is creation order
    DWORD style = 0;
    DWORD ex_style = 0;
    UINT_PTR id = 0;
    std::string text;
    RECT rect{};  // children: in the parent's client area; top level: on the screen
    HINSTANCE instance = nullptr;
    LONG_PTR user_data = 0;
    LONG_PTR dialog_words[3] = {};  // DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER
    std::unique_ptr<ControlData> control;
    std::unique_ptr<DialogData> dialog;
    HICON icons[2] = {};
    HMENU system_menu = nullptr;
    bool destroying = false;
};

// ---- The window table --------------------------------------------------------
// The window behind a handle; null for a handle that names no window (never
// was one, or destroyed).
Window* Find(HWND hwnd);
// The desktop window, parent of nothing, size set by SetDesktopSize.
Window& DesktopWindow();

struct CreateParams {
    DWORD ex_style = 0;
    std::string class_name;
    std::string text;
    uint16_t text_ordinal = 0;  // a static's icon from the template
    DWORD style = 0;
    RECT rect{};
    HWND parent = nullptr;  // a child's parent, or a top-level window's owner
    UINT_PTR id = 0;
    HINSTANCE instance = nullptr;
    LPVOID param = nullptr;
    bool dialog = false;  // a dialog window (class "#32770")
};
// Creates a window of one of the host's classes; sends WM_NCCREATE and
// WM_CREATE. Null (with the last error set) when the class is unknown or
// creation was refused.
HWND Create(const CreateParams& params);

// The procedure of each class.
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboListProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TabProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogClassProc(HWND, UINT, WPARAM, LPARAM);

// Sends a control's notification to its parent as WM_COMMAND.
void NotifyParent(HWND control, UINT code);

// The icon a static made from a template shows (its title is the icon's
// number), for the time the static is being created.
class CreateOrdinal {
public:
    explicit CreateOrdinal(uint16_t ordinal) : saved_(current_) { current_ = ordinal; }
    ~CreateOrdinal() { current_ = saved_; }
    static uint16_t Current() { return current_; }

private:
    uint16_t saved_;
    static uint16_t current_;
};

// Sizes of a window's frame (each side) and caption, in pixels.
void NonClient(const Window* w, int* frame, int* caption);
bool IsTopLevel(const Window* w);

// ---- Focus and activation ----------------------------------------------------
// The top-level window that holds `hwnd` (itself when it is one).
HWND TopLevelOf(HWND hwnd);
// Activates a top-level window and tells the desktop.
void Activate(HWND hwnd);
// The desktop of the host is told that a window's look changed.
void Changed(HWND hwnd);

// ---- Dialogs -------------------------------------------------------------------
// Creates a dialog window and its controls from a template's bytes, sends
// WM_INITDIALOG and sets the focus. `style_or` and `style_and_not` change the
// template's style (property sheet pages become child controls).
HWND CreateDialogFromBytes(HINSTANCE instance, const void* bytes, size_t size, HWND parent, DLGPROC proc,
                           LPARAM param, DWORD style_or = 0, DWORD style_and_not = 0, DWORD ex_style_or = 0);
// Runs the modal loop of `dialog` until EndDialog; returns its result, or -1
// when the desktop gave up or there is none. `filter` sees each message
// first (the property sheet's keys); true means it was handled.
using MessageFilter = bool (*)(HWND modal, MSG* msg);
INT_PTR RunModalLoop(HWND dialog, MessageFilter filter = nullptr);
// Puts the focus on a control as the dialog manager does (the text of an
// edit selected, the checked button of a radio group, the default button
// following push buttons).
void DialogSetFocus(HWND dialog, HWND control);
// Resets the window table (every window gone, no focus, no capture).
void ResetWindows();
// Windows whose destruction was postponed while their procedure ran are
// freed when no message is being handled.
void CollectGarbage();

// ---- Input ---------------------------------------------------------------------
// The modifier keys the input functions hold down now.
unsigned HeldModifiers();
// Whether `ch` (case ignored) is the mnemonic of a text ("&Edit" has 'e').
bool HasMnemonic(const std::string& text, char ch);

// ---- Menus ------------------------------------------------------------------------
void DestroyMenus(HWND owner);
void ResetMenus();
// Alt+Space: the desktop shows the window's system menu and the chosen
// command arrives as WM_SYSCOMMAND.
void TrackSystemMenu(HWND hwnd);
// The "?" of the title bar: the next click on a control asks for its help.
void EnterContextHelp(HWND hwnd);
// Whether a click on `control` is taken by the context help mode (which
// then sends WM_HELP).
bool ContextHelpClick(HWND control);

// ---- Recorded calls ---------------------------------------------------------------
}  // namespace hostwin::user
namespace hostwin {
void RecordMessageBox(HWND owner, const char* text, const char* caption, UINT style);
}  // namespace hostwin
namespace hostwin::user {

// ---- Property sheet ------------------------------------------------------------------
void ResetPropertySheets();

}  // namespace hostwin::user
