// The scenario driver itself: nested windows, the recorded calls, and every
// way a scenario fails, each of which must end with everything closed and
// the code under test returned.
#include <gtest/gtest.h>

#include <chrono>
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

// The test templates, so that a window nobody expected is named by its id.
const Options kNamed = {{IDD_TEST_CONTROLS, IDD_TEST_SECOND, IDD_TEST_PLAIN}, 20000};

std::vector<std::string> g_typed;  // what IDC_T2_EDIT held when each dialog ended

INT_PTR CALLBACK EndingDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        char text[64] = "";
        GetDlgItemTextA(dialog, IDC_T2_EDIT, text, sizeof text);
        g_typed.push_back(text);
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR Show(int id, HWND owner = nullptr) {
    return DialogBoxParamA(Module(), MAKEINTRESOURCEA(id), owner, EndingDialog, 0);
}

// The failure text of a scenario that must fail.
std::string FailureOf(const ::testing::AssertionResult& result) {
    EXPECT_FALSE(result) << "the scenario should have failed";
    return result.message();
}

class ScenarioDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRecorder();
        g_typed.clear();
    }
};

TEST_F(ScenarioDriverTest, StepsFollowTheActiveWindowThroughNestedDialogs) {
    INT_PTR outer = 0, inner = 0;
    EXPECT_TRUE(Play(
        Module(),
        {
            ExpectDialog(IDD_TEST_CONTROLS),
            Do([&inner](HWND d) { inner = Show(IDD_TEST_SECOND, d); }),
            ExpectDialog(IDD_TEST_SECOND),
            Type(IDC_T2_EDIT, "inner text"),
            Click(IDOK),
            ExpectDialog(IDD_TEST_CONTROLS),  // active again
            Type(IDC_T_NAME, "x"),
            Click(IDCANCEL),
        },
        [&] { outer = Show(IDD_TEST_CONTROLS); }, kNamed));
    EXPECT_EQ(inner, IDOK);
    EXPECT_EQ(outer, IDCANCEL);
    EXPECT_EQ(g_typed, (std::vector<std::string>{"inner text", ""})) << "the outer dialog has no IDC_T2_EDIT";
}

TEST_F(ScenarioDriverTest, APlainTemplateIsRecognisedToo) {
    INT_PTR result = 0;
    EXPECT_TRUE(Play(Module(),
                     {ExpectDialog(IDD_TEST_PLAIN), ExpectText(IDC_T3_TEXT, "Fixed text"), PressKey(VK_RETURN)},
                     [&] { result = Show(IDD_TEST_PLAIN); }));
    EXPECT_EQ(result, IDOK);
}

TEST_F(ScenarioDriverTest, TheRecordedCallsAreCheckedInTheStepsAndAfterTheLastWindow) {
    static const DWORD kTable[] = {IDC_T_NAME, 0x80640000 + IDC_T_NAME, IDC_T_LIST, 0x80640000 + IDC_T_LIST, 0, 0};
    INT_PTR result = 0;
    EXPECT_TRUE(Play(Module(),
                     {
                         ExpectDialog(IDD_TEST_SECOND),
                         Do([](HWND d) {
                             WinHelpA(d, "TEST.HLP", HELP_CONTEXT, 113);
                             WinHelpA(GetDlgItem(d, IDC_T2_EDIT), "TEST.HLP", HELP_WM_HELP,
                                      reinterpret_cast<ULONG_PTR>(kTable));
                             MessageBeep(0xFFFFFFFF);
                         }),
                         ExpectHelp({{{HelpWindow::Top, 0}, "TEST.HLP", HELP_CONTEXT, 113, {}},
                                     {{HelpWindow::Control, IDC_T2_EDIT},
                                      "TEST.HLP",
                                      HELP_WM_HELP,
                                      0,
                                      {{IDC_T_NAME, 0x80640000 + IDC_T_NAME}, {IDC_T_LIST, 0x80640000 + IDC_T_LIST}}}}),
                         ExpectBeeps({0xFFFFFFFF}),
                         Do([](HWND) {
                             MessageBeep(MB_OK);
                             HANDLE token = nullptr;
                             LUID luid = {};
                             if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
                                 LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid);
                                 TOKEN_PRIVILEGES privileges = {};
                                 privileges.PrivilegeCount = 1;
                                 privileges.Privileges[0].Luid = luid;
                                 privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
                                 AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
                             }
                             ExitWindowsEx(EWX_REBOOT, 0);
                         }),
                         Click(IDOK),
                         // After the last window: checks that need none.
                         ExpectBeeps({MB_OK}),
                         ExpectTokenCalls({"OpenProcessToken", "LookupPrivilegeValueA:SeShutdownPrivilege",
                                           "AdjustTokenPrivileges"}),
                         ExpectExitWindows({{EWX_REBOOT, 0}}),
                     },
                     [&] { result = Show(IDD_TEST_SECOND); }));
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(HelpCalls().size(), 2u);
}

TEST_F(ScenarioDriverTest, OpenProcessTokenFailsWhenTold) {
    SetOpenProcessTokenFails(true);
    HANDLE token = nullptr;
    EXPECT_FALSE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(TokenCalls(), std::vector<std::string>{"OpenProcessToken"});
    ResetRecorder();
    EXPECT_TRUE(TokenCalls().empty());
}

// ---- Failures: reported with the window, and everything closed -----------------------------------

TEST_F(ScenarioDriverTest, AnUnexpectedDialogFailsAndEveryWindowIsClosed) {
    INT_PTR outer = 0, inner = 0;
    const std::string failure = FailureOf(Play(
        Module(),
        {
            ExpectDialog(IDD_TEST_CONTROLS),
            Do([&inner](HWND d) { inner = Show(IDD_TEST_SECOND, d); }),
            Click(IDOK),
        },
        [&] { outer = Show(IDD_TEST_CONTROLS); }, kNamed));
    EXPECT_NE(failure.find("unexpected window dialog 101 \"Second\""), std::string::npos) << failure;
    EXPECT_EQ(inner, IDCANCEL);
    EXPECT_EQ(outer, IDCANCEL);
}

TEST_F(ScenarioDriverTest, AWrongExpectationNamesWhatIsThere) {
    INT_PTR result = 0;
    const std::string failure = FailureOf(Play(
        Module(), {ExpectDialog(IDD_TEST_SECOND)}, [&] { result = Show(IDD_TEST_CONTROLS); }, kNamed));
    EXPECT_NE(failure.find("step 1 (ExpectDialog at scenario_driver_test.cpp:"), std::string::npos) << failure;
    EXPECT_NE(failure.find("the title is \"Controls\", template 101 has \"Second\""), std::string::npos) << failure;
    EXPECT_NE(failure.find("active window: dialog 100 \"Controls\""), std::string::npos) << failure;
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(ScenarioDriverTest, AFailedStepClosesAMessageBoxAndTheDialogBeneathIt) {
    INT_PTR result = 0;
    int answer = 0;
    const std::string failure =
        FailureOf(Play(Module(),
                       {
                           ExpectDialog(IDD_TEST_CONTROLS),
                           Do([&answer](HWND d) { answer = MessageBoxA(d, "Sure?", "", MB_YESNO | MB_ICONQUESTION); }),
                           AnswerMessageBox(IDYES, "Something else?", "", MB_YESNO | MB_ICONQUESTION),
                       },
                       [&] { result = Show(IDD_TEST_CONTROLS); }));
    EXPECT_NE(failure.find("the box says \"Sure?\""), std::string::npos) << failure;
    EXPECT_EQ(answer, IDNO) << "closed with its most cautious button";
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(ScenarioDriverTest, StepsLeftOverOrNoStepLeftFail) {
    INT_PTR result = 0;
    std::string failure = FailureOf(Play(Module(), {ExpectDialog(IDD_TEST_SECOND), Click(IDOK), Click(IDOK)},
                                         [&] { result = Show(IDD_TEST_SECOND); }));
    EXPECT_NE(failure.find("the code returned with 1 step(s) left, the first step 3 (Click"), std::string::npos)
        << failure;
    EXPECT_EQ(result, IDOK);

    failure = FailureOf(Play(Module(), {ExpectDialog(IDD_TEST_SECOND)}, [&] { result = Show(IDD_TEST_SECOND); }));
    EXPECT_NE(failure.find("no step left for dialog 101 \"Second\""), std::string::npos) << failure;
    EXPECT_EQ(result, IDCANCEL);

    // A window the code never opens leaves its expectation over.
    failure = FailureOf(Play(Module(), {ExpectDialog(IDD_TEST_SECOND)}, [] {}));
    EXPECT_NE(failure.find("1 step(s) left"), std::string::npos) << failure;
}

TEST_F(ScenarioDriverTest, ADisabledOrHiddenControlCannotBeUsed) {
    INT_PTR result = 0;
    std::string failure =
        FailureOf(Play(Module(),
                       {ExpectDialog(IDD_TEST_CONTROLS),
                        Do([](HWND d) { EnableWindow(GetDlgItem(d, IDC_T_PUSH), FALSE); }), Click(IDC_T_PUSH)},
                       [&] { result = Show(IDD_TEST_CONTROLS); }));
    EXPECT_NE(failure.find("control 211 is disabled"), std::string::npos) << failure;
    EXPECT_EQ(result, IDCANCEL);

    failure =
        FailureOf(Play(Module(),
                       {ExpectDialog(IDD_TEST_CONTROLS),
                        Do([](HWND d) { ShowWindow(GetDlgItem(d, IDC_T_NAME), SW_HIDE); }), Type(IDC_T_NAME, "x")},
                       [&] { result = Show(IDD_TEST_CONTROLS); }));
    EXPECT_NE(failure.find("control 207 is hidden"), std::string::npos) << failure;
}

TEST_F(ScenarioDriverTest, AModalLoopOverTheTimeLimitIsClosed) {
    INT_PTR result = 0;
    Options options = kNamed;
    options.time_limit_ms = 300;
    const std::string failure = FailureOf(Play(
        Module(),
        {ExpectDialog(IDD_TEST_CONTROLS), Do([](HWND) {
             // Real time, as a slow step takes it (the host's Sleep runs on a virtual clock).
             const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
             while (std::chrono::steady_clock::now() < until) {
             }
         }),
         Click(IDOK)},
        [&] { result = Show(IDD_TEST_CONTROLS); }, options));
    EXPECT_NE(failure.find("time limit of 300 ms passed in dialog 100 \"Controls\""), std::string::npos) << failure;
    EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
