// The behaviour of the platform's dialogs and controls that the applet's
// dialogs and pages rely on, measured under Wine 8 and asserted on both
// backends: what a control and its dialog receive, in order, when a person
// clicks, presses keys or chooses from a list, and what the dialog and
// window functions return. The control handlers of the applet see exactly
// these messages, so the host layer must send the same ones.
//
// Controls are watched by putting a procedure in front of theirs
// (SetWindowLongPtrA with GWLP_WNDPROC, CallWindowProcA), as the applet does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/ui_test_resource.h"
#include "platform/win.h"
#include "scenario/scenario.h"

namespace {

using namespace scenario;

HINSTANCE Module() {
    return GetModuleHandleA(nullptr);
}

// ---- What the windows receive ------------------------------------------------------
// Entries read "202 BM_SETCHECK 1" (control 202 received it) or
// "dialog WM_COMMAND 202 BN_CLICKED" (the dialog received it).
class MessageLog {
public:
    // Only these messages are written down from now on; the log is emptied.
    void Only(std::set<UINT> messages) {
        messages_ = std::move(messages);
        entries_.clear();
    }
    std::vector<std::string> Take() {
        std::vector<std::string> taken;
        taken.swap(entries_);
        return taken;
    }
    bool Wants(UINT message) const { return messages_.count(message) != 0; }
    void Add(std::string entry) { entries_.push_back(std::move(entry)); }

    void Watch(HWND control) {
        previous_[control] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageLog::Watched)));
    }
    void Unwatch(HWND control) {
        auto found = previous_.find(control);
        if (found == previous_.end()) return;
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(found->second));
        previous_.erase(found);
    }

private:
    static LRESULT CALLBACK Watched(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

    std::set<UINT> messages_;
    std::vector<std::string> entries_;
    std::map<HWND, WNDPROC> previous_;
};

MessageLog g_log;

std::string NotificationName(int control, int code) {
    if (control == IDC_T_LIST) {
        switch (code) {
            case CBN_SELCHANGE:
                return "CBN_SELCHANGE";
            case CBN_SETFOCUS:
                return "CBN_SETFOCUS";
            case CBN_KILLFOCUS:
                return "CBN_KILLFOCUS";
            case CBN_DROPDOWN:
                return "CBN_DROPDOWN";
            case CBN_CLOSEUP:
                return "CBN_CLOSEUP";
            case CBN_SELENDOK:
                return "CBN_SELENDOK";
            case CBN_SELENDCANCEL:
                return "CBN_SELENDCANCEL";
        }
    } else if (control == IDC_T_NAME || control == IDC_T_OTHER || control == IDC_P1_EDIT) {
        switch (code) {
            case EN_SETFOCUS:
                return "EN_SETFOCUS";
            case EN_KILLFOCUS:
                return "EN_KILLFOCUS";
            case EN_CHANGE:
                return "EN_CHANGE";
            case EN_UPDATE:
                return "EN_UPDATE";
            case EN_MAXTEXT:
                return "EN_MAXTEXT";
        }
    } else if (code == BN_CLICKED) {
        return "BN_CLICKED";
    }
    return std::to_string(code);
}

std::string MessageName(UINT message) {
    switch (message) {
        case BM_SETCHECK:
            return "BM_SETCHECK";
        case BM_CLICK:
            return "BM_CLICK";
        case WM_CAPTURECHANGED:
            return "WM_CAPTURECHANGED";
        case WM_SETFOCUS:
            return "WM_SETFOCUS";
        case WM_KILLFOCUS:
            return "WM_KILLFOCUS";
        case WM_KEYDOWN:
            return "WM_KEYDOWN";
        case WM_KEYUP:
            return "WM_KEYUP";
        case WM_CHAR:
            return "WM_CHAR";
        case WM_COMMAND:
            return "WM_COMMAND";
        case WM_SETTEXT:
            return "WM_SETTEXT";
        case EM_LIMITTEXT:
            return "EM_LIMITTEXT";
        case EM_REPLACESEL:
            return "EM_REPLACESEL";
        case EM_SETSEL:
            return "EM_SETSEL";
        case CB_SETCURSEL:
            return "CB_SETCURSEL";
        case WM_HELP:
            return "WM_HELP";
    }
    return std::to_string(message);
}

LRESULT CALLBACK MessageLog::Watched(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (g_log.Wants(message)) {
        std::string entry = std::to_string(GetDlgCtrlID(window)) + " " + MessageName(message);
        switch (message) {
            case BM_SETCHECK:
            case WM_KEYDOWN:
            case WM_KEYUP:
            case WM_CHAR:
            case EM_LIMITTEXT:
                entry += " " + std::to_string(wparam);
                break;
            case WM_COMMAND:
                // From the combo box's own list: the id the platform gives
                // that part is its own affair, the notification is not.
                entry += HIWORD(wparam) == LBN_SELCHANGE ? " LBN_SELCHANGE" : " " + std::to_string(HIWORD(wparam));
                break;
        }
        g_log.Add(entry);
    }
    return CallWindowProcA(g_log.previous_[window], window, message, wparam, lparam);
}

void WatchChildren(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        g_log.Watch(child);
    }
}

void UnwatchChildren(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        g_log.Unwatch(child);
    }
}

// What the dialog procedure receives.
void LogDialogMessage(UINT message, WPARAM wparam, LPARAM lparam, HWND dialog) {
    if (!g_log.Wants(message)) return;
    switch (message) {
        case WM_COMMAND:
            g_log.Add("dialog WM_COMMAND " + std::to_string(LOWORD(wparam)) + " " +
                      NotificationName(LOWORD(wparam), HIWORD(wparam)));
            break;
        case WM_HELP: {
            const auto* info = reinterpret_cast<const HELPINFO*>(lparam);
            const bool item = info->hItemHandle == GetDlgItem(dialog, info->iCtrlId);
            g_log.Add("dialog WM_HELP type " + std::to_string(info->iContextType) + " control " +
                      std::to_string(info->iCtrlId) + (item ? " (its window)" : " (another window)"));
            break;
        }
        case WM_SYSCOMMAND:
            g_log.Add("dialog WM_SYSCOMMAND " + std::to_string(wparam));
            break;
    }
}

const char* const kListItems[] = {"Alpha", "beta", "Gamma", "Beta two"};

// The control dialog: fills the list, watches every control, ends on OK and
// Cancel with their ids and on the push button with its id.
INT_PTR CALLBACK ControlsDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            for (const char* item : kListItems) {
                SendDlgItemMessageA(dialog, IDC_T_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            }
            WatchChildren(dialog);
            return TRUE;
        case WM_COMMAND:
            LogDialogMessage(message, wparam, lparam, dialog);
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDC_T_PUSH) {
                EndDialog(dialog, LOWORD(wparam));
            }
            return TRUE;
        case WM_HELP:
            LogDialogMessage(message, wparam, lparam, dialog);
            return TRUE;
        case WM_SYSCOMMAND:
            LogDialogMessage(message, wparam, lparam, dialog);
            return FALSE;
        case WM_DESTROY:
            UnwatchChildren(dialog);
            return FALSE;
    }
    return FALSE;
}

INT_PTR ShowControls(HWND owner = nullptr) {
    return DialogBoxParamA(Module(), MAKEINTRESOURCEA(IDD_TEST_CONTROLS), owner, ControlsDialog, 0);
}

// Plays `steps` in the control dialog, which the scenario then leaves with
// Cancel; returns what DialogBoxParamA returned.
INT_PTR PlayControls(std::vector<Step> steps) {
    steps.insert(steps.begin(), ExpectDialog(IDD_TEST_CONTROLS));
    steps.push_back(Click(IDCANCEL));
    INT_PTR result = 0;
    EXPECT_TRUE(Play(Module(), std::move(steps), [&] { result = ShowControls(); }));
    return result;
}

using Log = std::vector<std::string>;

void Focus(HWND dialog, int control) {
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, control)), TRUE);
}

class UiControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRecorder();
        g_log.Only({});
    }
};

// ---- Auto radio buttons ------------------------------------------------------------------

TEST_F(UiControlsTest, AClickChecksTheRadioButtonThenUnchecksTheRestOfItsGroup) {
    PlayControls({
        Do([](HWND d) {
            g_log.Only({BM_SETCHECK, WM_CAPTURECHANGED, WM_COMMAND});
            SendDlgItemMessageA(d, IDC_T_SECOND, BM_CLICK, 0, 0);
            // Wine unchecks the others going round the group from the clicked button.
            EXPECT_EQ(g_log.Take(), (Log{"202 BM_SETCHECK 1", "203 BM_SETCHECK 0", "201 BM_SETCHECK 0",
                                         "202 WM_CAPTURECHANGED", "dialog WM_COMMAND 202 BN_CLICKED"}));
        }),
        ExpectCheck(IDC_T_FIRST, BST_UNCHECKED),
        ExpectCheck(IDC_T_SECOND, BST_CHECKED),
        ExpectCheck(IDC_T_THIRD, BST_UNCHECKED),
        // The second group (it starts at the next WS_GROUP control) is its own.
        Click(IDC_T_BLUE),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(), (Log{"205 BM_SETCHECK 1", "204 BM_SETCHECK 0", "205 WM_CAPTURECHANGED",
                                         "dialog WM_COMMAND 205 BN_CLICKED"}));
        }),
        ExpectCheck(IDC_T_SECOND, BST_CHECKED),
        ExpectCheck(IDC_T_BLUE, BST_CHECKED),
    });
}

TEST_F(UiControlsTest, SpaceAndTheArrowKeysCheckARadioButtonAsAClickDoes) {
    PlayControls({
        Do([](HWND d) {
            Focus(d, IDC_T_THIRD);
            g_log.Only({BM_SETCHECK, WM_CAPTURECHANGED, WM_COMMAND});
        }),
        PressKey(VK_SPACE),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(), (Log{"203 BM_SETCHECK 1", "201 BM_SETCHECK 0", "202 BM_SETCHECK 0",
                                         "203 WM_CAPTURECHANGED", "dialog WM_COMMAND 203 BN_CLICKED"}));
        }),
        // An arrow key moves the focus within the group and checks the button.
        Do([](HWND d) {
            Focus(d, IDC_T_FIRST);
            g_log.Take();
        }),
        PressKey(VK_DOWN),
        Do([](HWND d) {
            EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_T_SECOND));
            EXPECT_EQ(g_log.Take(), (Log{"202 BM_SETCHECK 1", "203 BM_SETCHECK 0", "201 BM_SETCHECK 0",
                                         "202 WM_CAPTURECHANGED", "dialog WM_COMMAND 202 BN_CLICKED"}));
        }),
        ExpectCheck(IDC_T_SECOND, BST_CHECKED),
        ExpectCheck(IDC_T_THIRD, BST_UNCHECKED),
    });
}

TEST_F(UiControlsTest, BmSetCheckAndCheckRadioButtonCheckWithoutAClick) {
    PlayControls({Do([](HWND d) {
        g_log.Only({BM_SETCHECK, WM_CAPTURECHANGED, WM_COMMAND});
        SendDlgItemMessageA(d, IDC_T_FIRST, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(d, IDC_T_THIRD, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(g_log.Take(), (Log{"201 BM_SETCHECK 1", "203 BM_SETCHECK 1"}));
        // A direct BM_SETCHECK unchecks nobody: two buttons of the group are checked.
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_T_FIRST, BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_T_THIRD, BM_GETCHECK, 0, 0), BST_CHECKED);

        EXPECT_TRUE(CheckRadioButton(d, IDC_T_FIRST, IDC_T_THIRD, IDC_T_SECOND));
        EXPECT_EQ(g_log.Take(), (Log{"201 BM_SETCHECK 0", "202 BM_SETCHECK 1", "203 BM_SETCHECK 0"}))
            << "every button of the range, in id order, and no BN_CLICKED";
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_T_FIRST, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_T_SECOND, BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_T_THIRD, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    })});
}

// ---- Auto check box -----------------------------------------------------------------------

TEST_F(UiControlsTest, AClickOrSpaceTogglesTheCheckBox) {
    PlayControls({
        Do([](HWND) {
            g_log.Only({BM_SETCHECK, WM_CAPTURECHANGED, WM_COMMAND});
        }),
        Click(IDC_T_CHECK),
        ExpectCheck(IDC_T_CHECK, BST_CHECKED),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(),
                      (Log{"206 BM_SETCHECK 1", "206 WM_CAPTURECHANGED", "dialog WM_COMMAND 206 BN_CLICKED"}));
        }),
        PressKey(VK_SPACE),  // the click gave it the focus
        ExpectCheck(IDC_T_CHECK, BST_UNCHECKED),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(),
                      (Log{"206 BM_SETCHECK 0", "206 WM_CAPTURECHANGED", "dialog WM_COMMAND 206 BN_CLICKED"}));
        }),
    });
}

// ---- Edit ---------------------------------------------------------------------------------

TEST_F(UiControlsTest, TypingSendsKeyDownCharacterAndKeyUpToTheEdit) {
    PlayControls({
        Do([](HWND) {
            g_log.Only({WM_KEYDOWN, WM_CHAR, WM_KEYUP});
        }),
        Type(IDC_T_NAME, "aB\b"),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(), (Log{"207 WM_KEYDOWN 65", "207 WM_CHAR 97", "207 WM_KEYUP 65", "207 WM_KEYDOWN 16",
                                         "207 WM_KEYDOWN 66", "207 WM_CHAR 66", "207 WM_KEYUP 66", "207 WM_KEYUP 16",
                                         "207 WM_KEYDOWN 8", "207 WM_CHAR 8", "207 WM_KEYUP 8"}));
        }),
        ExpectText(IDC_T_NAME, "a"),
        // Type selects the text first, as Tab does; TypeMore adds to it.
        Type(IDC_T_NAME, "old"),
        Type(IDC_T_NAME, "new"),
        ExpectText(IDC_T_NAME, "new"),
        TypeMore(IDC_T_NAME, "er"),
        ExpectText(IDC_T_NAME, "newer"),
    });
}

TEST_F(UiControlsTest, TheTextLimitHoldsForTypingAndReplacingButNotForSettingTheText) {
    PlayControls({
        Do([](HWND d) { SendDlgItemMessageA(d, IDC_T_NAME, EM_LIMITTEXT, 5, 0); }),
        Type(IDC_T_NAME, "abcdefg"),
        ExpectText(IDC_T_NAME, "abcde"),
        TypeMore(IDC_T_NAME, "\b"),
        ExpectText(IDC_T_NAME, "abcd"),
        Do([](HWND d) {
            HWND edit = GetDlgItem(d, IDC_T_NAME);
            // The caret at 1: a replacement is cut to what the limit leaves.
            SendMessageA(edit, EM_SETSEL, 1, 1);
            SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("XYZ"));
            char text[16];
            EXPECT_EQ(GetDlgItemTextA(d, IDC_T_NAME, text, sizeof text), 5);
            EXPECT_STREQ(text, "aXbcd");
            // Setting the text ignores the limit.
            EXPECT_TRUE(SetDlgItemTextA(d, IDC_T_NAME, "0123456789"));
            EXPECT_EQ(GetDlgItemTextA(d, IDC_T_NAME, text, sizeof text), 10);
        }),
        // Typing into a text already over the limit is refused; Backspace is not.
        TypeMore(IDC_T_NAME, "Z"),
        ExpectText(IDC_T_NAME, "0123456789"),
        TypeMore(IDC_T_NAME, "\b\bY"),
        ExpectText(IDC_T_NAME, "01234567"),
        // Typing over the selected text replaces it within the limit.
        Type(IDC_T_NAME, "Qrstuvw"),
        ExpectText(IDC_T_NAME, "Qrstu"),
    });
}

TEST_F(UiControlsTest, GetDlgItemTextCountsWhatItCopiedAndCutsToTheBuffer) {
    PlayControls({Do([](HWND d) {
        SetDlgItemTextA(d, IDC_T_NAME, "abcdef");
        struct Case {
            int size;
            int copied;
            const char* text;
        };
        // The buffer size counts the terminating zero.
        for (const Case& c :
             {Case{16, 6, "abcdef"}, Case{7, 6, "abcdef"}, Case{6, 5, "abcde"}, Case{4, 3, "abc"}, Case{1, 0, ""}}) {
            char buffer[20];
            std::memset(buffer, 'x', sizeof buffer);
            EXPECT_EQ(GetDlgItemTextA(d, IDC_T_NAME, buffer, c.size), c.copied) << c.size;
            EXPECT_STREQ(buffer, c.text) << c.size;
            EXPECT_EQ(buffer[c.size], 'x') << "written past a buffer of " << c.size;
            std::memset(buffer, 'x', sizeof buffer);
            EXPECT_EQ(GetWindowTextA(GetDlgItem(d, IDC_T_NAME), buffer, c.size), c.copied) << c.size;
            EXPECT_STREQ(buffer, c.text) << c.size;
        }
    })});
}

// ---- Drop-down list ---------------------------------------------------------------------

TEST_F(UiControlsTest, TheListsOwnMessagesSelectWithoutNotifying) {
    PlayControls({Do([](HWND d) {
        HWND list = GetDlgItem(d, IDC_T_LIST);
        g_log.Only({WM_COMMAND});
        EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 4);
        EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR) << "no selection at first";
        EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, 2, 0), 2);
        EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 2);
        // The documentation says an index out of range also clears the
        // selection; Wine keeps it. Both give CB_ERR, and -1 clears.
        EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, 7, 0), CB_ERR) << "no item 7";
        EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0), CB_ERR);
        EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR);
        SendMessageA(list, CB_SETCURSEL, 2, 0);
        char text[32] = "";
        EXPECT_EQ(SendMessageA(list, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 4);
        EXPECT_STREQ(text, "beta");
        EXPECT_EQ(SendMessageA(list, CB_GETLBTEXT, 9, reinterpret_cast<LPARAM>(text)), CB_ERR);
        EXPECT_EQ(g_log.Take(), Log{}) << "CB_SETCURSEL sends no notification";
    })});
}

TEST_F(UiControlsTest, SelectStringFindsACaseInsensitivePrefixAfterTheStartAndWraps) {
    PlayControls({Do([](HWND d) {
        HWND list = GetDlgItem(d, IDC_T_LIST);
        g_log.Only({WM_COMMAND});
        struct Case {
            int start;
            const char* prefix;
            int found;  // and selected; CB_ERR leaves the selection
        };
        // Items: 0 "Alpha", 1 "beta", 2 "Gamma", 3 "Beta two".
        for (const Case& c :
             {Case{-1, "beta", 1}, Case{-1, "BETA", 1}, Case{1, "beta", 3}, Case{3, "beta", 1}, Case{-1, "gam", 2},
              Case{0, "Alpha", 0}, Case{2, "a", 0}, Case{-1, "Beta two!", CB_ERR}, Case{-1, "zzz", CB_ERR}}) {
            SendMessageA(list, CB_SETCURSEL, 2, 0);
            EXPECT_EQ(SendMessageA(list, CB_SELECTSTRING, c.start, reinterpret_cast<LPARAM>(c.prefix)), c.found)
                << c.start << " " << c.prefix;
            EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), c.found == CB_ERR ? 2 : c.found) << c.prefix;
        }
        EXPECT_EQ(g_log.Take(), Log{}) << "CB_SELECTSTRING sends no notification";
    })});
}

TEST_F(UiControlsTest, AnArrowKeyOnTheClosedListSelectsAndNotifies) {
    PlayControls({
        Do([](HWND d) {
            SendDlgItemMessageA(d, IDC_T_LIST, CB_SETCURSEL, 0, 0);
            Focus(d, IDC_T_LIST);
            g_log.Only({WM_COMMAND});
        }),
        PressKey(VK_DOWN),
        ExpectText(IDC_T_LIST, "beta"),
        Do([](HWND) {
            // The list's own part tells the combo box, which tells the dialog.
            EXPECT_EQ(g_log.Take(), (Log{"209 WM_COMMAND LBN_SELCHANGE", "dialog WM_COMMAND 209 CBN_SELENDOK",
                                         "dialog WM_COMMAND 209 CBN_SELCHANGE"}));
        }),
        ChooseByKeys(IDC_T_LIST, 3),
        ExpectText(IDC_T_LIST, "Beta two"),
        Do([](HWND) {
            const Log one = {"209 WM_COMMAND LBN_SELCHANGE", "dialog WM_COMMAND 209 CBN_SELENDOK",
                             "dialog WM_COMMAND 209 CBN_SELCHANGE"};
            Log two = one;
            two.insert(two.end(), one.begin(), one.end());
            EXPECT_EQ(g_log.Take(), two) << "one selection per key";
        }),
    });
}

TEST_F(UiControlsTest, AClickInTheDroppedListSelectsAndNotifies) {
    PlayControls({
        Do([](HWND d) {
            SendDlgItemMessageA(d, IDC_T_LIST, CB_SETCURSEL, 2, 0);
            Focus(d, IDC_T_LIST);
            g_log.Only({WM_COMMAND, WM_CAPTURECHANGED});
        }),
        Choose(IDC_T_LIST, 1),
        ExpectText(IDC_T_LIST, "beta"),
        Do([](HWND) {
            // The click on the list opens it and hands the mouse to the
            // dropped part; the click on the item selects and closes it.
            EXPECT_EQ(g_log.Take(), (Log{"dialog WM_COMMAND 209 CBN_DROPDOWN", "209 WM_CAPTURECHANGED",
                                         "209 WM_COMMAND LBN_SELCHANGE", "dialog WM_COMMAND 209 CBN_SELENDOK",
                                         "dialog WM_COMMAND 209 CBN_CLOSEUP", "dialog WM_COMMAND 209 CBN_SELCHANGE"}));
        }),
        Do([](HWND d) { EXPECT_EQ(SendDlgItemMessageA(d, IDC_T_LIST, CB_GETDROPPEDSTATE, 0, 0), FALSE); }),
    });
}

// ---- Statics, group box, buttons, Enter and Escape ------------------------------------------

TEST_F(UiControlsTest, StaticsGroupBoxAndButtonsKeepTheirTextsAndKinds) {
    PlayControls({
        ExpectText(IDC_T_LABEL, "Label"),
        ExpectText(-1, "Options"),
        ExpectText(IDC_T_PUSH, "&Push"),
        Do([](HWND d) {
            EXPECT_TRUE(SetDlgItemTextA(d, IDC_T_LABEL, "New label"));
            const auto kind = [&](int id) { return GetWindowLongPtrA(GetDlgItem(d, id), GWL_STYLE) & BS_TYPEMASK; };
            EXPECT_EQ(kind(IDOK), BS_DEFPUSHBUTTON);
            EXPECT_EQ(kind(IDC_T_PUSH), BS_PUSHBUTTON);
            EXPECT_EQ(kind(-1), BS_GROUPBOX);
            EXPECT_EQ(SendMessageA(d, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
        }),
        ExpectText(IDC_T_LABEL, "New label"),
    });
}

TEST_F(UiControlsTest, EnterPressesTheDefaultButtonAndEscapeCancels) {
    struct Case {
        int focus;  // where the focus is when the key is pressed
        UINT key;
        INT_PTR ended;
    };
    // A push button that has the focus is the default button while it has it.
    for (const Case& c : {Case{IDC_T_NAME, VK_RETURN, IDOK}, Case{IDC_T_PUSH, VK_RETURN, IDC_T_PUSH},
                          Case{IDC_T_NAME, VK_ESCAPE, IDCANCEL}, Case{IDC_T_CHECK, VK_ESCAPE, IDCANCEL}}) {
        INT_PTR result = 0;
        const int focus = c.focus;
        EXPECT_TRUE(Play(Module(),
                         {
                             ExpectDialog(IDD_TEST_CONTROLS),
                             Do([focus](HWND d) {
                                 Focus(d, focus);
                                 g_log.Only({WM_COMMAND});
                             }),
                             PressKey(c.key),
                         },
                         [&] { result = ShowControls(); }));
        EXPECT_EQ(result, c.ended) << "focus " << c.focus << " key " << c.key;
        // The first command is the button's; the focus leaving the closing dialog may follow.
        const Log log = g_log.Take();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log[0], "dialog WM_COMMAND " + std::to_string(c.ended) + " BN_CLICKED");
    }
}

// ---- Focus and tab order, F1 ----------------------------------------------------------------

TEST_F(UiControlsTest, TheFirstTabStopHasTheFocusAndTabFollowsTheTemplate) {
    PlayControls({
        Do([](HWND d) {
            // WM_INITDIALOG returned TRUE.
            EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_T_FIRST));
            Focus(d, IDC_T_CHECK);
            g_log.Only({WM_SETFOCUS, WM_KILLFOCUS});
        }),
        PressKey(VK_TAB),
        Do([](HWND d) {
            EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_T_NAME));
            EXPECT_EQ(g_log.Take(), (Log{"206 WM_KILLFOCUS", "207 WM_SETFOCUS"}));
            g_log.Only({});
        }),
        PressKey(VK_TAB),
        Do([](HWND d) { EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_T_OTHER)); }),
        PressKey(VK_TAB),
        Do([](HWND d) { EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_T_LIST)); }),
        PressKey(VK_TAB),  // the static has no tab stop
        Do([](HWND d) { EXPECT_EQ(GetFocus(), GetDlgItem(d, IDC_T_PUSH)); }),
        PressKey(VK_TAB),
        Do([](HWND d) { EXPECT_EQ(GetFocus(), GetDlgItem(d, IDOK)); }),
    });
}

TEST_F(UiControlsTest, F1GivesTheDialogWmHelpForTheFocusedControl) {
    PlayControls({
        Do([](HWND d) {
            Focus(d, IDC_T_OTHER);
            g_log.Only({WM_HELP});
        }),
        PressKey(VK_F1),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(), (Log{"208 WM_HELP", "dialog WM_HELP type 1 control 208 (its window)"}));
        }),
    });
}

// ---- Dialog and window functions ---------------------------------------------------------------

TEST_F(UiControlsTest, DialogAndWindowFunctions) {
    PlayControls({Do([](HWND d) {
        HWND edit = GetDlgItem(d, IDC_T_NAME);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(GetDlgCtrlID(edit), IDC_T_NAME);
        EXPECT_EQ(GetParent(edit), d);
        EXPECT_EQ(GetDlgItem(d, 4242), nullptr);
        EXPECT_EQ(GetActiveWindow(), d);

        EXPECT_EQ(SendDlgItemMessageA(d, IDC_T_NAME, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("sent")), TRUE);
        char text[8];
        EXPECT_EQ(GetWindowTextA(edit, text, sizeof text), 4);
        EXPECT_STREQ(text, "sent");
        EXPECT_EQ(GetWindowTextA(d, text, 4), 3) << "the dialog's title, cut to the buffer";
        EXPECT_STREQ(text, "Con");

        EXPECT_TRUE(IsWindowEnabled(edit));
        EnableWindow(edit, FALSE);
        EXPECT_FALSE(IsWindowEnabled(edit));
        EnableWindow(edit, TRUE);
        EXPECT_TRUE(IsWindowEnabled(edit));
        EXPECT_TRUE(IsWindowVisible(edit));
        ShowWindow(edit, SW_HIDE);
        EXPECT_FALSE(IsWindowVisible(edit));
        ShowWindow(edit, SW_SHOW);
        EXPECT_TRUE(IsWindowVisible(edit));

        RECT desktop = {};
        EXPECT_TRUE(GetWindowRect(GetDesktopWindow(), &desktop));
        EXPECT_EQ(desktop.left, 0);
        EXPECT_EQ(desktop.top, 0);
        EXPECT_GT(desktop.right, 0);
        EXPECT_GT(desktop.bottom, 0);
        RECT before = {}, after = {};
        EXPECT_TRUE(GetWindowRect(d, &before));
        const LONG width = before.right - before.left, height = before.bottom - before.top;
        EXPECT_GT(width, 0);
        EXPECT_TRUE(MoveWindow(d, 30, 40, width, height, FALSE));
        EXPECT_TRUE(GetWindowRect(d, &after));
        EXPECT_EQ(after.left, 30);
        EXPECT_EQ(after.top, 40);
        EXPECT_EQ(after.right - after.left, width);
        EXPECT_EQ(after.bottom - after.top, height);
        // A position off the desktop is kept as given.
        EXPECT_TRUE(MoveWindow(d, -10, 5, width, height, FALSE));
        EXPECT_TRUE(GetWindowRect(d, &after));
        EXPECT_EQ(after.left, -10);
    })});
}

TEST_F(UiControlsTest, EndDialogEndsTheModalLoopWithItsResult) {
    for (INT_PTR code : {INT_PTR{0}, INT_PTR{7}, INT_PTR{2110}}) {
        INT_PTR result = -5;
        EXPECT_TRUE(Play(Module(), {ExpectDialog(IDD_TEST_CONTROLS), Do([code](HWND d) { EndDialog(d, code); })},
                         [&] { result = ShowControls(); }));
        EXPECT_EQ(result, code);
    }
}

TEST_F(UiControlsTest, TheSystemMenuTakesAnItemAndItsCommandReachesTheDialog) {
    PlayControls({Do([](HWND d) {
        HMENU menu = GetSystemMenu(d, FALSE);
        ASSERT_NE(menu, nullptr);
        char about[] = " &About";
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE;
        item.fType = MFT_STRING;
        item.fState = MFS_DEFAULT | MFS_HILITE;
        item.wID = 1600;
        item.dwTypeData = about;
        item.cch = 7;
        EXPECT_TRUE(InsertMenuItemA(menu, 2, TRUE, &item));

        char text[32] = "";
        MENUITEMINFOA read = {};
        read.cbSize = sizeof read;
        read.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE;
        read.dwTypeData = text;
        read.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(menu, 2, TRUE, &read));
        EXPECT_EQ(read.wID, 1600u);
        EXPECT_STREQ(text, " &About");
        EXPECT_EQ(read.fState & (MFS_DEFAULT | MFS_HILITE), UINT{MFS_DEFAULT | MFS_HILITE});

        g_log.Only({WM_SYSCOMMAND});
        SendMessageA(d, WM_SYSCOMMAND, 1600, 0);
        EXPECT_EQ(g_log.Take(), Log{"dialog WM_SYSCOMMAND 1600"});
    })});
}

TEST_F(UiControlsTest, LoadStringCutsToTheBufferAndEmptiesItForNoText) {
    struct Case {
        UINT id;
        int size;
        int copied;
        const char* text;
    };
    // The size counts the zero; an empty string and a missing one read the same.
    for (const Case& c : {Case{IDS_T_HELLO, 64, 11, "Hello world"}, Case{IDS_T_HELLO, 12, 11, "Hello world"},
                          Case{IDS_T_HELLO, 6, 5, "Hello"}, Case{IDS_T_HELLO, 1, 0, ""}, Case{IDS_T_EMPTY, 64, 0, ""},
                          Case{4242, 64, 0, ""}}) {
        char buffer[80];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(LoadStringA(Module(), c.id, buffer, c.size), c.copied) << c.id << "/" << c.size;
        EXPECT_STREQ(buffer, c.text) << c.id << "/" << c.size;
        EXPECT_EQ(buffer[c.size], 'x') << "written past a buffer of " << c.size;
    }
}

// ---- Message boxes -----------------------------------------------------------------------------

TEST_F(UiControlsTest, AMessageBoxShowsItsTextCaptionAndButtonsAndReturnsTheAnswer) {
    struct Case {
        UINT style;
        std::vector<int> buttons;  // the box has these and no others of IDOK..IDNO
        int answer;
    };
    for (const Case& c : {Case{MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND, {IDYES, IDNO}, IDNO},
                          Case{MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND, {IDYES, IDNO}, IDYES},
                          Case{MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND, {IDOK}, IDOK}}) {
        int result = 0;
        const auto buttons = c.buttons;
        EXPECT_TRUE(Play(Module(),
                         {ExpectMessageBox("The text\nof the box", "", c.style), Do([buttons](HWND box) {
                              for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
                                  const bool wanted = std::find(buttons.begin(), buttons.end(), id) != buttons.end();
                                  EXPECT_EQ(GetDlgItem(box, id) != nullptr, wanted) << "button " << id;
                              }
                          }),
                          AnswerMessageBox(c.answer, "The text\nof the box", "", c.style)},
                         [&] { result = MessageBoxA(nullptr, "The text\nof the box", "", c.style); }))
            << c.style;
        EXPECT_EQ(result, c.answer);
    }
}

TEST_F(UiControlsTest, AMessageBoxOverADialogIsOwnedByIt) {
    INT_PTR result = 0;
    int answer = 0;
    EXPECT_TRUE(Play(Module(),
                     {
                         ExpectDialog(IDD_TEST_CONTROLS),
                         Do([&answer](HWND d) {
                             answer = MessageBoxA(d, "Owned", "Caption", MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
                         }),
                         ExpectMessageBox("Owned", "Caption", MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND),
                         Do([](HWND box) {
                             EXPECT_NE(GetWindow(box, GW_OWNER), nullptr);
                             char text[16] = "";
                             EXPECT_EQ(GetDlgItemTextA(box, 0xFFFF, text, sizeof text), 5);
                             EXPECT_STREQ(text, "Owned");
                         }),
                         // The documentation says Escape answers a box with only OK as IDOK;
                         // Wine gives IDCANCEL. The button itself is what both agree on.
                         Click(IDOK),
                         ExpectDialog(IDD_TEST_CONTROLS),
                         Click(IDOK),
                     },
                     [&] { result = ShowControls(); }));
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(result, IDOK);
    const auto boxes = MessageBoxCalls();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Owned");
    EXPECT_EQ(boxes[0].caption, "Caption");
    EXPECT_EQ(boxes[0].style, UINT{MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND});
}

// ---- Property sheet ------------------------------------------------------------------------------

struct SheetRun {
    bool refuse_leaving = false;  // PSN_KILLACTIVE answered TRUE through DWLP_MSGRESULT
};
SheetRun g_sheet;

std::string NotifyName(UINT code) {
    switch (code) {
        case PSN_SETACTIVE:
            return "PSN_SETACTIVE";
        case PSN_KILLACTIVE:
            return "PSN_KILLACTIVE";
        case PSN_APPLY:
            return "PSN_APPLY";
        case PSN_RESET:
            return "PSN_RESET";
        case PSN_HELP:
            return "PSN_HELP";
        case PSN_QUERYCANCEL:
            return "PSN_QUERYCANCEL";
    }
    return std::to_string(static_cast<int>(code));
}

INT_PTR CALLBACK TestPage(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* record = reinterpret_cast<const PROPSHEETPAGEA*>(lparam);
            SetWindowLongPtrA(page, GWLP_USERDATA, record->lParam);
            g_log.Add("page " + std::to_string(record->lParam) + " WM_INITDIALOG, parent is the sheet: " +
                      (GetParent(page) != nullptr && SendMessageA(GetParent(page), PSM_GETTABCONTROL, 0, 0) != 0
                           ? "yes"
                           : "no"));
            return TRUE;
        }
        case WM_NOTIFY: {
            const UINT code = reinterpret_cast<const NMHDR*>(lparam)->code;
            const std::string name = "page " + std::to_string(GetWindowLongPtrA(page, GWLP_USERDATA));
            g_log.Add(name + " " + NotifyName(code));
            const bool refuse = code == PSN_KILLACTIVE && g_sheet.refuse_leaving;
            SetWindowLongPtrA(page, DWLP_MSGRESULT, refuse ? TRUE : FALSE);
            return TRUE;
        }
        case WM_HELP: {
            if (!g_log.Wants(WM_HELP)) return TRUE;
            const auto* info = reinterpret_cast<const HELPINFO*>(lparam);
            g_log.Add("page " + std::to_string(GetWindowLongPtrA(page, GWLP_USERDATA)) + " WM_HELP type " +
                      std::to_string(info->iContextType) + " control " + std::to_string(info->iCtrlId) +
                      (info->hItemHandle == GetDlgItem(page, info->iCtrlId) ? " (its window)" : " (another window)"));
            return TRUE;
        }
        case WM_COMMAND:
            if (!g_log.Wants(WM_COMMAND)) return FALSE;
            g_log.Add("page " + std::to_string(GetWindowLongPtrA(page, GWLP_USERDATA)) + " WM_COMMAND " +
                      std::to_string(LOWORD(wparam)) + " " + NotificationName(LOWORD(wparam), HIWORD(wparam)));
            return FALSE;
        case WM_DESTROY:
            g_log.Add("page " + std::to_string(GetWindowLongPtrA(page, GWLP_USERDATA)) + " WM_DESTROY");
            return FALSE;
    }
    return FALSE;
}

int CALLBACK TestSheetCallback(HWND sheet, UINT message, LPARAM) {
    if (message == PSCB_PRECREATE) g_log.Add("callback PSCB_PRECREATE");
    if (message == PSCB_INITIALIZED) {
        char caption[64] = "";
        GetWindowTextA(sheet, caption, sizeof caption);
        g_log.Add(std::string("callback PSCB_INITIALIZED \"") + caption + "\", " +
                  (IsWindowVisible(sheet) ? "shown" : "not shown yet"));
    }
    return 0;
}

INT_PTR ShowTestSheet() {
    PROPSHEETPAGEA_V2 pages[2] = {};
    const int templates[2] = {IDD_TEST_PAGE1, IDD_TEST_PAGE2};
    const int titles[2] = {IDS_T_PAGE1, IDS_T_PAGE2};
    for (int i = 0; i < 2; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].dwFlags = PSP_USETITLE | PSP_HASHELP;
        pages[i].hInstance = Module();
        pages[i].pszTemplate = MAKEINTRESOURCEA(templates[i]);
        pages[i].pszTitle = MAKEINTRESOURCEA(titles[i]);
        pages[i].pfnDlgProc = TestPage;
        pages[i].lParam = templates[i];
    }
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_USEICONID | PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK | PSH_HASHELP;
    header.hInstance = Module();
    header.pszCaption = MAKEINTRESOURCEA(IDS_T_SHEET_CAPTION);
    header.nPages = 2;
    header.nStartPage = 0;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages);
    header.pfnCallback = TestSheetCallback;
    return PropertySheetA(&header);
}

class UiSheetTest : public UiControlsTest {
protected:
    void SetUp() override {
        UiControlsTest::SetUp();
        g_sheet = SheetRun{};
    }
    // Plays `steps` on the test sheet and returns what PropertySheetA returned.
    INT_PTR PlaySheet(std::vector<Step> steps) {
        INT_PTR result = -5;
        EXPECT_TRUE(Play(Module(), std::move(steps), [&] { result = ShowTestSheet(); }));
        return result;
    }
};

TEST_F(UiSheetTest, TheSheetIsSetUpFromTheHeaderAndCreatesPagesWhenFirstShown) {
    const INT_PTR result = PlaySheet({
        ExpectSheet("Test Sheet", IDD_TEST_PAGE1),  // the caption from its string id
        ExpectTabs({"First", "Second"}),            // the pages' titles
        ExpectPage(0, IDD_TEST_PAGE1),
        ExpectVisible(IDOK, true),
        ExpectVisible(IDCANCEL, true),
        ExpectVisible(IDHELP, true),
        Do([](HWND sheet) {
            HWND apply = GetDlgItem(sheet, 0x3021);  // the Apply button, where the platform has one
            EXPECT_TRUE(apply == nullptr || !IsWindowVisible(apply)) << "PSH_NOAPPLYNOW";
            // The callback came while the sheet was set up, before its first
            // page was created and before it was shown.
            EXPECT_EQ(g_log.Take(),
                      (Log{"callback PSCB_PRECREATE", "callback PSCB_INITIALIZED \"Test Sheet\", not shown yet",
                           "page 110 WM_INITDIALOG, parent is the sheet: yes", "page 110 PSN_SETACTIVE"}));
        }),
        SelectPage(1),
        ExpectPage(1, IDD_TEST_PAGE2),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(), (Log{"page 110 PSN_KILLACTIVE", "page 111 WM_INITDIALOG, parent is the sheet: yes",
                                         "page 111 PSN_SETACTIVE"}));
        }),
        ClickTab(0),  // created once: shown again, it only becomes active
        ExpectPage(0, IDD_TEST_PAGE1),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(), (Log{"page 111 PSN_KILLACTIVE", "page 110 PSN_SETACTIVE"}));
        }),
        PressSheetButton(PSBTN_HELP),
        Do([](HWND) { EXPECT_EQ(g_log.Take(), (Log{"page 110 PSN_HELP"})); }),
        Do([](HWND sheet) { SendMessageA(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(GetParent(GetFocus())), 0); }),
        PressSheetButton(PSBTN_OK),
    });
    EXPECT_EQ(result, 1);
    // OK: the current page is left, then every page that was created applies.
    EXPECT_EQ(g_log.Take(), (Log{"page 110 PSN_KILLACTIVE", "page 110 PSN_APPLY", "page 111 PSN_APPLY",
                                 "page 110 WM_DESTROY", "page 111 WM_DESTROY"}));
}

TEST_F(UiSheetTest, APagesControlsAreUsedAsADialogsAreAndF1GoesToThePage) {
    PlaySheet({
        ExpectSheet("Test Sheet", IDD_TEST_PAGE1),
        Type(IDC_P1_EDIT, "typed"),
        ExpectText(IDC_P1_EDIT, "typed"),
        Do([](HWND) {
            g_log.Take();
            g_log.Only({WM_HELP});
        }),
        PressKey(VK_F1),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(), (Log{"page 110 WM_HELP type 1 control 311 (its window)"}));
            g_log.Only({WM_COMMAND});
        }),
        Click(IDC_P1_CHECK),
        ExpectCheck(IDC_P1_CHECK, BST_CHECKED),
        Do([](HWND) {
            const Log log = g_log.Take();
            EXPECT_NE(std::find(log.begin(), log.end(), "page 110 WM_COMMAND 312 BN_CLICKED"), log.end())
                << "the page is the control's dialog";
        }),
        PressSheetButton(PSBTN_CANCEL),
    });
}

TEST_F(UiSheetTest, APageThatRefusesToBeLeftStaysOnSwitchAndOnOk) {
    const INT_PTR result = PlaySheet({
        ExpectSheet("Test Sheet", IDD_TEST_PAGE1),
        Do([](HWND) {
            g_log.Take();
            g_sheet.refuse_leaving = true;
        }),
        SelectPage(1),
        ExpectPage(0, IDD_TEST_PAGE1),
        ClickTab(1),
        ExpectPage(0, IDD_TEST_PAGE1),
        PressSheetButton(PSBTN_OK),
        ExpectSheet("Test Sheet", IDD_TEST_PAGE1),  // still open
        PressKey(VK_RETURN),                        // OK by the default button: refused the same way
        ExpectPage(0, IDD_TEST_PAGE1),
        Do([](HWND) {
            EXPECT_EQ(g_log.Take(), (Log{"page 110 PSN_KILLACTIVE", "page 110 PSN_KILLACTIVE",
                                         "page 110 PSN_KILLACTIVE", "page 110 PSN_KILLACTIVE"}));
            g_sheet.refuse_leaving = false;
        }),
        PressKey(VK_RETURN),
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(g_log.Take(), (Log{"page 110 PSN_KILLACTIVE", "page 110 PSN_APPLY", "page 110 WM_DESTROY"}))
        << "the second page was never shown, so never created";
}

TEST_F(UiSheetTest, WhatTheSheetReturns) {
    struct Case {
        bool changed;  // a page sent PSM_CHANGED
        std::vector<Step> close;
        INT_PTR result;
    };
    // The documentation gives 0 for OK when no page reported a change
    // ("no changes were saved"); Wine gives 1 for OK either way.
    std::vector<Case> cases;
    cases.push_back({true, {PressSheetButton(PSBTN_OK)}, 1});
    cases.push_back({false, {PressSheetButton(PSBTN_OK)}, 1});
    cases.push_back({true, {PressSheetButton(PSBTN_CANCEL)}, 0});
    cases.push_back({false, {Click(IDCANCEL)}, 0});
    cases.push_back({true, {PressKey(VK_ESCAPE)}, 0});
    for (const Case& c : cases) {
        std::vector<Step> steps = {ExpectSheet("Test Sheet", IDD_TEST_PAGE1)};
        if (c.changed) {
            steps.push_back(Do([](HWND sheet) {
                HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                SendMessageA(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
            }));
        }
        steps.insert(steps.end(), c.close.begin(), c.close.end());
        g_log.Take();
        EXPECT_EQ(PlaySheet(steps), c.result) << "changed " << c.changed << ", closed by " << c.close[0].id;
        const Log log = g_log.Take();
        if (c.result == 0) {
            ASSERT_GE(log.size(), 3u);
            EXPECT_EQ(Log(log.end() - 3, log.end()),
                      (Log{"page 110 PSN_QUERYCANCEL", "page 110 PSN_RESET", "page 110 WM_DESTROY"}));
        }
    }
}

// ---- Bad input ----------------------------------------------------------------------------------

TEST_F(UiControlsTest, ATemplateThatDoesNotExistFailsTheDialog) {
    INT_PTR result = 0;
    EXPECT_TRUE(Play(Module(), {},
                     [&] { result = DialogBoxParamA(Module(), MAKEINTRESOURCEA(4242), nullptr, ControlsDialog, 0); }));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_NAME_NOT_FOUND});
}

TEST_F(UiControlsTest, MessagesToADestroyedWindowDoNothing) {
    HWND gone = nullptr;
    PlayControls({Do([&gone](HWND d) {
        gone = GetDlgItem(d, IDC_T_OTHER);
        g_log.Unwatch(gone);
        EXPECT_TRUE(DestroyWindow(gone));
        EXPECT_FALSE(IsWindow(gone));
        EXPECT_EQ(GetDlgItem(d, IDC_T_OTHER), nullptr);
        EXPECT_EQ(SendMessageA(gone, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x")), 0);
        char text[8] = "keep";
        EXPECT_EQ(GetWindowTextA(gone, text, sizeof text), 0);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_T_OTHER, WM_GETTEXTLENGTH, 0, 0), 0);
    })});
    EXPECT_FALSE(IsWindow(gone));
}

TEST_F(UiControlsTest, EndDialogTwiceEndsOnceWithTheLastResult) {
    INT_PTR result = 0;
    HWND ended = nullptr;
    EXPECT_TRUE(Play(Module(), {ExpectDialog(IDD_TEST_CONTROLS), Do([&ended](HWND d) {
                                    ended = d;
                                    EXPECT_TRUE(EndDialog(d, 5));
                                    // The documentation does not say which call wins; under Wine the last one does.
                                    EXPECT_TRUE(EndDialog(d, 6));
                                })},
                     [&] { result = ShowControls(); }));
    EXPECT_EQ(result, 6);
    EXPECT_FALSE(IsWindow(ended));
    EXPECT_FALSE(EndDialog(ended, 7)) << "a dialog that is gone";
}

}  // namespace
