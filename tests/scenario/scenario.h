// Scenario tests: the code under test opens its dialogs, property sheets and
// message boxes as it would for a person, and a table of steps plays the
// person. One API, two backends: under Windows (wine64) a WH_CBT hook sees
// each window as it is activated and a timer on the window's own thread
// runs one step per tick; on the host a scripted desktop runs one step each
// time a modal loop has nothing left to do.
//
//   EXPECT_TRUE(scenario::Play(module, {
//       ExpectDialog(IDD_ABOUT),
//       ExpectText(IDC_ABOUT_VERSION, "SNKES48.CPL Variant 1, Version 6.41"),
//       Click(IDOK),
//   }, [&] { ShowAboutBox(module, nullptr); }));
//
// A window the steps did not expect, a step that fails, steps left over
// when the code returns, or the time limit fail the scenario with the
// window's template id and title; whatever is still open is then closed
// (message boxes answered, sheets cancelled, dialogs ended), so the code
// under test always returns.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <source_location>
#include <string>
#include <utility>
#include <vector>

#include "platform/win.h"
#include "recorder.h"

namespace scenario {

enum class Action {
    ExpectDialog,
    ExpectSheet,
    ExpectPage,
    ExpectTabs,
    Type,
    PressKey,
    Click,
    Choose,
    ChooseByKeys,
    SelectPage,
    ClickTab,
    PressSheetButton,
    ExpectMessageBox,
    AnswerMessageBox,
    ExpectText,
    ExpectCheck,
    ExpectEnabled,
    ExpectVisible,
    ExpectHelp,
    ExpectBeeps,
    ExpectExitWindows,
    ExpectTokenCalls,
    Do,
};

// Which window a recorded help call must name.
struct HelpWindow {
    enum Kind { Top, Page, Control } kind = Top;  // the dialog or sheet, the sheet's page, a control
    int control = 0;
};
struct ExpectedHelp {
    HelpWindow window;
    std::string file;
    UINT command = 0;
    ULONG_PTR data = 0;                          // not compared for HELP_WM_HELP: the table is
    std::vector<std::pair<DWORD, DWORD>> table;  // for HELP_WM_HELP
};

// One step; made by the functions below, never filled in by hand.
struct Step {
    Action action = Action::Do;
    int id = 0;           // template, control, page index, key, sheet button or message box button
    int number = 0;       // template of the page, list index, check state
    bool flag = false;    // Type: keep the text; ExpectEnabled/ExpectVisible: the state
    UINT style = 0;       // message box style
    std::string text;     // text to type, expected text, caption
    std::string caption;  // message box caption
    std::vector<std::string> texts;
    std::vector<ExpectedHelp> help;
    std::vector<UINT> beeps;
    std::vector<ExitWindowsCall> exits;
    std::function<void(HWND)> run;
    std::source_location where;
};

using Here = std::source_location;

// ---- Windows ------------------------------------------------------------------
// The active window is the dialog made from template `id`: its title and the
// ids of its controls are the template's.
Step ExpectDialog(int id, Here where = Here::current());
// The active window is a property sheet with this caption, showing the page
// made from template `page`.
Step ExpectSheet(const std::string& caption, int page, Here where = Here::current());
// The sheet shows its page number `index` (from 0), made from template `page`.
Step ExpectPage(int index, int page, Here where = Here::current());
// The sheet's tabs, in order.
Step ExpectTabs(std::vector<std::string> titles, Here where = Here::current());

// ---- Input as a person gives it ----------------------------------------------
// Focuses the control as Tab would (an edit's text is selected, so typing
// replaces it), then types each character: WM_KEYDOWN, WM_CHAR, WM_KEYUP sent
// to the control (Shift around a shifted character). "\b" is Backspace.
Step Type(int control, const std::string& text, Here where = Here::current());
// The same, with the caret put after the text, so typing adds to it.
Step TypeMore(int control, const std::string& text, Here where = Here::current());
// A key pressed where the focus is, through the dialog manager as a real key
// goes: VK_RETURN, VK_ESCAPE, VK_TAB, the arrows, VK_SPACE, VK_F1.
Step PressKey(UINT virtual_key, Here where = Here::current());
// BM_CLICK on an enabled, visible control.
Step Click(int control, Here where = Here::current());
// A drop-down list: a click on it opens the list, a click on item `index`
// chooses it.
Step Choose(int control, int index, Here where = Here::current());
// A drop-down list: focused as Tab would, then arrow keys until item `index`
// is selected.
Step ChooseByKeys(int control, int index, Here where = Here::current());

// ---- The property sheet --------------------------------------------------------
Step SelectPage(int index, Here where = Here::current());         // PSM_SETCURSEL
Step ClickTab(int index, Here where = Here::current());           // a click on the tab
Step PressSheetButton(int button, Here where = Here::current());  // PSM_PRESSBUTTON, PSBTN_*

// ---- Message boxes -------------------------------------------------------------
// The active window is the message box with this text, caption and style.
Step ExpectMessageBox(const std::string& text, const std::string& caption, UINT style, Here where = Here::current());
// The same, and `button` (IDOK, IDYES, ...) answers it.
Step AnswerMessageBox(int button, const std::string& text, const std::string& caption, UINT style,
                      Here where = Here::current());

// ---- Reading back ----------------------------------------------------------------
// Controls are found in the active dialog, in a sheet's current page and then
// among the sheet's own buttons, or in the message box.
Step ExpectText(int control, const std::string& text, Here where = Here::current());
Step ExpectCheck(int control, int state, Here where = Here::current());  // BST_*
Step ExpectEnabled(int control, bool enabled, Here where = Here::current());
Step ExpectVisible(int control, bool visible, Here where = Here::current());

// ---- Recorded calls: exactly these since the previous step of the kind -----------
Step ExpectHelp(std::vector<ExpectedHelp> calls, Here where = Here::current());
Step ExpectBeeps(std::vector<UINT> types, Here where = Here::current());
Step ExpectExitWindows(std::vector<ExitWindowsCall> calls, Here where = Here::current());
Step ExpectTokenCalls(std::vector<std::string> calls, Here where = Here::current());

// ---- Anything else -------------------------------------------------------------
// Runs on the window's thread with the active window (dialog, sheet or box);
// it may use EXPECT_* and the Windows API freely.
Step Do(std::function<void(HWND)> code, Here where = Here::current());

struct Options {
    // Templates that name a dialog the steps did not expect; the applet's
    // dialogs are always among them.
    std::vector<int> templates;
    // A modal loop that runs longer than this fails the scenario and is closed.
    int time_limit_ms = 20000;
};

// Runs `code` while the steps play the person, and returns when it returns.
// Templates are read from `module`.
[[nodiscard]] ::testing::AssertionResult Play(HINSTANCE module, std::vector<Step> steps,
                                              const std::function<void()>& code, const Options& options = {});

}  // namespace scenario
