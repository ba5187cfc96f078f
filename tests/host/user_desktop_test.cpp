// The host layer's user interface as its desktops see it: modal calls
// without a desktop, keyboard and mouse input posted the way hardware
// delivers it, activation reported to the desktop, the system menu and the
// context help mode, and the calls the host records instead of acting on.
// None of this has a Windows counterpart to run against (a desktop is the
// host's own plug); the behaviour the applet sees through the Win32 calls is
// tested on both backends in tests/platform.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "hostctl.h"
#include "hostwin.h"

namespace {

// A DLGTEMPLATEEX built in memory.
class TemplateBuilder {
public:
    TemplateBuilder(const char* title, DWORD style, int cx, int cy) {
        Word(1);
        Word(0xFFFF);
        Dword(0);  // help id
        Dword(0);  // extended style
        Dword(style | DS_SETFONT);
        count_at_ = bytes_.size();
        Word(0);
        Word(10);
        Word(10);
        Word(static_cast<uint16_t>(cx));
        Word(static_cast<uint16_t>(cy));
        Word(0);  // no menu
        Word(0);  // the dialog class
        Text(title);
        Word(8);
        Word(400);
        bytes_.push_back(0);
        bytes_.push_back(1);
        Text("MS Sans Serif");
    }
    TemplateBuilder& Item(uint16_t cls, DWORD style, int x, int y, int cx, int cy, DWORD id, const char* text) {
        while (bytes_.size() % 4) bytes_.push_back(0);
        Dword(0);
        Dword(0);
        Dword(style | WS_CHILD | WS_VISIBLE);
        Word(static_cast<uint16_t>(x));
        Word(static_cast<uint16_t>(y));
        Word(static_cast<uint16_t>(cx));
        Word(static_cast<uint16_t>(cy));
        Dword(id);
        Word(0xFFFF);
        Word(cls);
        Text(text);
        Word(0);
        const uint16_t n = static_cast<uint16_t>(bytes_[count_at_] | (bytes_[count_at_ + 1] << 8)) + 1;
        bytes_[count_at_] = static_cast<uint8_t>(n);
        bytes_[count_at_ + 1] = static_cast<uint8_t>(n >> 8);
        return *this;
    }
    const void* Data() const { return bytes_.data(); }

private:
    void Word(uint16_t w) {
        bytes_.push_back(static_cast<uint8_t>(w));
        bytes_.push_back(static_cast<uint8_t>(w >> 8));
    }
    void Dword(uint32_t d) {
        Word(static_cast<uint16_t>(d));
        Word(static_cast<uint16_t>(d >> 16));
    }
    void Text(const char* t) {
        for (; *t; ++t) Word(static_cast<uint8_t>(*t));
        Word(0);
    }
    std::vector<uint8_t> bytes_;
    size_t count_at_ = 0;
};

constexpr uint16_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
constexpr int kFirst = 101, kSecond = 102, kName = 103, kLabel = 104;

const TemplateBuilder& SmallDialog() {
    static const TemplateBuilder t = [] {
        TemplateBuilder b("Small", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 160, 80);
        b.Item(kButton, BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP, 5, 5, 50, 10, kFirst, "&First")
            .Item(kButton, BS_AUTORADIOBUTTON | WS_TABSTOP, 5, 20, 50, 10, kSecond, "&Second")
            .Item(kStatic, SS_LEFT | WS_GROUP, 60, 5, 30, 8, kLabel, "&Name")
            .Item(kEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_GROUP, 95, 5, 50, 12, kName, "")
            .Item(kButton, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 40, 60, 50, 14, IDOK, "OK")
            .Item(kButton, BS_PUSHBUTTON | WS_TABSTOP, 95, 60, 50, 14, IDCANCEL, "Cancel");
        return b;
    }();
    return t;
}

// What the dialog procedure saw.
struct Seen {
    std::vector<UINT> commands;
    std::vector<WPARAM> system_commands;
    std::vector<int> help_controls;
    bool initialised = false;
};
Seen g_seen;

INT_PTR CALLBACK SmallProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            g_seen.initialised = true;
            return TRUE;
        case WM_COMMAND:
            // Clicks and the Enter and Escape commands; not the edit's
            // focus notifications.
            if (HIWORD(wp) == BN_CLICKED) g_seen.commands.push_back(LOWORD(wp));
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(dlg, LOWORD(wp));
            return TRUE;
        case WM_SYSCOMMAND:
            g_seen.system_commands.push_back(wp);
            return wp == 1600;
        case WM_HELP:
            g_seen.help_controls.push_back(reinterpret_cast<const HELPINFO*>(lp)->iCtrlId);
            return TRUE;
        default:
            return FALSE;
    }
}

// A desktop that runs one action per idle turn and gives up when they run out.
class StepDesktop : public hostwin::Desktop {
public:
    using Step = std::function<void(HWND)>;
    explicit StepDesktop(std::vector<Step> steps) : steps_(std::move(steps)) {}
    bool Idle(HWND modal) override {
        if (next_ >= steps_.size()) return false;
        steps_[next_++](modal);
        return true;
    }
    void Activated(HWND window) override { activated.push_back(window); }
    UINT TrackMenu(HWND window, HMENU menu) override {
        menu_owner = window;
        tracked = menu;
        return menu_choice;
    }
    void Beep(UINT type) override { beeps.push_back(type); }

    std::vector<HWND> activated;
    HWND menu_owner = nullptr;
    HMENU tracked = nullptr;
    UINT menu_choice = 0;
    std::vector<UINT> beeps;
    size_t steps_run() const { return next_; }

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
};

class UserDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        hostwin::ResetSystem();
        g_seen = Seen{};
    }
    void TearDown() override { hostwin::ResetSystem(); }

    INT_PTR Run(StepDesktop& desktop) {
        hostwin::AttachDesktop(&desktop);
        const INT_PTR r = DialogBoxIndirectParamA(nullptr, SmallDialog().Data(), nullptr, SmallProc, 0);
        hostwin::AttachDesktop(nullptr);
        return r;
    }
};

TEST_F(UserDesktopTest, WithoutDesktopTheModalCallsFailAtOnce) {
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, SmallDialog().Data(), nullptr, SmallProc, 0), -1);
    EXPECT_FALSE(g_seen.initialised) << "no dialog may be made without a desktop";
    EXPECT_EQ(MessageBoxA(nullptr, "text", "", MB_OK), 0);
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.pResource = SmallDialog().Data();
    page.dwFlags = PSP_DLGINDIRECT;
    page.pfnDlgProc = SmallProc;
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE;
    header.nPages = 1;
    header.ppsp = &page;
    EXPECT_EQ(PropertySheetA(&header), -1);
    EXPECT_FALSE(g_seen.initialised);
}

TEST_F(UserDesktopTest, ADesktopThatGivesUpEndsTheLoopWithFailure) {
    StepDesktop desktop({});
    EXPECT_EQ(Run(desktop), -1);
    EXPECT_TRUE(g_seen.initialised);
    EXPECT_EQ(desktop.activated.size(), 1u);
}

TEST_F(UserDesktopTest, KeysGoToTheFocusWindowWhenTheyAreRead) {
    HWND dialog = nullptr;
    std::string typed;
    StepDesktop desktop({
        [&](HWND d) {
            dialog = d;
            EXPECT_EQ(GetDlgCtrlID(GetFocus()), kFirst) << "the first tab stop has the focus";
            // Tab moves on to the name (the unchecked second radio button is
            // no tab stop once the first one is checked), and the letters
            // posted with it arrive there.
            SendDlgItemMessageA(d, kFirst, BM_CLICK, 0, 0);
            hostwin::PostKeyInput(VK_TAB, 0);
            for (char c : std::string("ab")) hostwin::PostKeyInput(static_cast<UINT>(c - 'a' + 'A'), c);
        },
        [&](HWND d) {
            char text[16];
            GetDlgItemTextA(d, kName, text, sizeof text);
            typed = text;
            EXPECT_EQ(GetDlgCtrlID(GetFocus()), kName);
            hostwin::PostKeyInput(VK_TAB, 0, hostwin::kModShift);
        },
        [&](HWND d) {
            EXPECT_EQ(GetDlgCtrlID(GetFocus()), kFirst) << "Shift+Tab goes back";
            hostwin::PostKeyInput(VK_RETURN, '\r');
            (void)d;
        },
    });
    EXPECT_EQ(Run(desktop), IDOK);
    EXPECT_EQ(typed, "ab");
    EXPECT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(UserDesktopTest, AltAndALetterUseTheMnemonic) {
    StepDesktop desktop({
        [](HWND) { hostwin::PostKeyInput('S', 's', hostwin::kModAlt); },
        [](HWND d) {
            EXPECT_EQ(IsDlgButtonChecked(d, kSecond), BST_CHECKED) << "Alt+S clicks \"&Second\"";
            EXPECT_EQ(GetDlgCtrlID(GetFocus()), kSecond);
            hostwin::PostKeyInput('N', 'n', hostwin::kModAlt);
        },
        [](HWND d) {
            EXPECT_EQ(GetDlgCtrlID(GetFocus()), kName) << "a label's mnemonic goes to the control behind it";
            hostwin::PostKeyInput(VK_ESCAPE, 0x1B);
            (void)d;
        },
    });
    EXPECT_EQ(Run(desktop), IDCANCEL);
    EXPECT_EQ(g_seen.commands, (std::vector<UINT>{kSecond, IDCANCEL}));
}

TEST_F(UserDesktopTest, ClicksOnADisabledControlAreLost) {
    StepDesktop desktop({
        [](HWND d) {
            EnableWindow(GetDlgItem(d, kSecond), FALSE);
            hostwin::PostClickInput(GetDlgItem(d, kSecond), 2, 2);
        },
        [](HWND d) {
            EXPECT_EQ(IsDlgButtonChecked(d, kSecond), BST_UNCHECKED);
            hostwin::PostClickInput(GetDlgItem(d, IDOK), 2, 2);
        },
    });
    EXPECT_EQ(Run(desktop), IDOK);
    EXPECT_EQ(g_seen.commands, (std::vector<UINT>{IDOK}));
}

TEST_F(UserDesktopTest, AltSpaceShowsTheSystemMenuAndTheChoiceArrivesAsACommand) {
    StepDesktop* self = nullptr;
    StepDesktop desktop({
        [&](HWND d) {
            HMENU menu = GetSystemMenu(d, FALSE);
            MENUITEMINFOA item = {};
            item.cbSize = sizeof item;
            item.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE;
            item.fType = MFT_STRING;
            item.fState = MFS_DEFAULT | MFS_HILITE;
            item.wID = 1600;
            item.dwTypeData = const_cast<char*>(" &About");
            item.cch = 7;
            ASSERT_TRUE(InsertMenuItemA(menu, 2, TRUE, &item));
            self->menu_choice = 1600;
            hostwin::PostKeyInput(VK_SPACE, ' ', hostwin::kModAlt);
        },
        [&](HWND d) {
            EXPECT_EQ(self->menu_owner, d);
            EXPECT_EQ(self->tracked, GetSystemMenu(d, FALSE));
            EXPECT_EQ(GetMenuItemID(self->tracked, 2), 1600u);
            hostwin::PostKeyInput(VK_ESCAPE, 0x1B);
        },
    });
    self = &desktop;
    EXPECT_EQ(Run(desktop), IDCANCEL);
    EXPECT_EQ(g_seen.system_commands, (std::vector<WPARAM>{SC_KEYMENU, 1600}));
}

TEST_F(UserDesktopTest, TheQuestionMarkMakesTheNextClickAskForHelp) {
    StepDesktop desktop({
        [](HWND d) {
            SendMessageA(d, WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
            hostwin::PostClickInput(GetDlgItem(d, kSecond), 2, 2);
        },
        [](HWND d) {
            EXPECT_EQ(IsDlgButtonChecked(d, kSecond), BST_UNCHECKED) << "the help click is no click";
            hostwin::PostKeyInput(VK_F1, 0);
        },
        [](HWND) { hostwin::PostKeyInput(VK_ESCAPE, 0x1B); },
    });
    EXPECT_EQ(Run(desktop), IDCANCEL);
    // The "?" click on the second button, then F1 on the focus (the first).
    EXPECT_EQ(g_seen.help_controls, (std::vector<int>{kSecond, kFirst}));
}

TEST_F(UserDesktopTest, TheOwnerIsActiveAgainAfterAMessageBox) {
    HWND dialog = nullptr;
    StepDesktop desktop({
        [&](HWND d) {
            dialog = d;
            EXPECT_EQ(MessageBoxA(d, "sure?", "", MB_YESNO | MB_ICONQUESTION), IDYES);
            EXPECT_EQ(GetActiveWindow(), d);
            EXPECT_EQ(GetDlgCtrlID(GetFocus()), kFirst) << "the focus comes back to where it was";
            EXPECT_TRUE(IsWindowEnabled(d));
        },
        [](HWND box) {
            char text[32];
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            EXPECT_STREQ(text, "sure?");
            EXPECT_FALSE(IsWindowEnabled(GetParent(box))) << "a modal box disables its owner";
            hostwin::PostKeyInput(VK_RETURN, '\r');
        },
        [](HWND) { hostwin::PostKeyInput(VK_ESCAPE, 0x1B); },
    });
    EXPECT_EQ(Run(desktop), IDCANCEL);
    ASSERT_GE(desktop.activated.size(), 3u);
    EXPECT_EQ(desktop.activated[0], dialog);
    EXPECT_NE(desktop.activated[1], dialog);
    EXPECT_EQ(desktop.activated[2], dialog);
}

TEST_F(UserDesktopTest, BeepsReachTheDesktopAndAreCounted) {
    StepDesktop desktop({});
    hostwin::AttachDesktop(&desktop);
    MessageBeep(0xFFFFFFFF);
    MessageBeep(MB_ICONQUESTION);
    hostwin::AttachDesktop(nullptr);
    MessageBeep(0);
    EXPECT_EQ(desktop.beeps, (std::vector<UINT>{0xFFFFFFFF, MB_ICONQUESTION}));
    EXPECT_EQ(hostwin::BeepCount(), 3u);
}

TEST(UserRecordedCalls, PrivilegeAndRestartAreRecordedNeverActedOn) {
    hostwin::ResetSystem();
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES tp = {};
    tp.PrivilegeCount = 1;
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid));
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr));
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_FALSE(CloseHandle(token)) << "a token closes once";
    EXPECT_FALSE(LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &tp.Privileges[0].Luid));
    EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT, 0));
    EXPECT_EQ(hostwin::TokenCalls(),
              (std::vector<std::string>{"OpenProcessToken", "LookupPrivilegeValueA:SeShutdownPrivilege",
                                        "AdjustTokenPrivileges", "LookupPrivilegeValueA:SeNoSuchPrivilege"}));
    ASSERT_EQ(hostwin::ExitWindowsCalls().size(), 1u);
    EXPECT_EQ(hostwin::ExitWindowsCalls()[0].flags, static_cast<UINT>(EWX_REBOOT));

    hostwin::SetOpenProcessTokenFails(true);
    SetLastError(0);
    EXPECT_FALSE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    hostwin::ResetSystem();
    EXPECT_TRUE(hostwin::TokenCalls().empty());
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) << "a reset puts the token back";
    CloseHandle(token);
}

TEST(UserRecordedCalls, HelpCallsKeepTheTableUpToItsZeroPair) {
    hostwin::ResetSystem();
    const DWORD table[] = {2110, 0x84B0083E, 1105, 0x84B00451, 0, 0, 99, 99};
    WinHelpA(nullptr, "SNKES.HLP", HELP_WM_HELP, reinterpret_cast<ULONG_PTR>(table));
    WinHelpA(nullptr, "SNKES.HLP", HELP_CONTEXT, 113);
    const auto calls = hostwin::HelpCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].file, "SNKES.HLP");
    EXPECT_EQ(calls[0].command, static_cast<UINT>(HELP_WM_HELP));
    EXPECT_EQ(calls[0].table,
              (std::vector<std::pair<DWORD, DWORD>>{{2110, 0x84B0083E}, {1105, 0x84B00451}}));
    EXPECT_EQ(calls[1].command, static_cast<UINT>(HELP_CONTEXT));
    EXPECT_EQ(calls[1].data, 113u);
    EXPECT_TRUE(calls[1].table.empty());
}

struct FormatCase {
    const char* format;
    std::function<int(char*)> call;
    const char* expected;
};

TEST(UserFormat, WsprintfFormatsAsUser32Does) {
    const FormatCase cases[] = {
        {"version line", [](char* b) { return wsprintfA(b, "%s Variant %d, Version %d.%02d", "SNKES48.CPL", 1, 6, 41); },
         "SNKES48.CPL Variant 1, Version 6.41"},
        {"32-bit long", [](char* b) { return wsprintfA(b, "%lu %ld", 4294967295u, -2147483647 - 1); },
         "4294967295 -2147483648"},
        {"hex and width", [](char* b) { return wsprintfA(b, "%04X|%-4x|%#x", 0xBEEFu, 0xAu, 255u); },
         "BEEF|a   |0xff"},
        {"zero pad after sign", [](char* b) { return wsprintfA(b, "%05d", -42); }, "-0042"},
        {"precision of a text", [](char* b) { return wsprintfA(b, "[%.3s]", "abcdef"); }, "[abc]"},
        {"null text", [](char* b) { return wsprintfA(b, "%s", static_cast<const char*>(nullptr)); }, "(null)"},
        {"16 bits", [](char* b) { return wsprintfA(b, "%hu", 0x12345u); }, "9029"},
    };
    for (const FormatCase& c : cases) {
        char buffer[1100];
        const int n = c.call(buffer);
        EXPECT_STREQ(buffer, c.expected) << c.format;
        EXPECT_EQ(n, static_cast<int>(std::string(c.expected).size())) << c.format;
    }
    // At most 1024 characters, and the terminator.
    const std::string long_text(2000, 'x');
    char buffer[1100];
    EXPECT_EQ(wsprintfA(buffer, "%s", long_text.c_str()), 1024);
    EXPECT_EQ(std::string(buffer).size(), 1024u);
}

}  // namespace
