// The applet's control handler table on both backends: handlers go in front
// of their controls in table order, see what the controls receive, pass it
// on to the control's own procedure, and are taken out again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui_test_resource.h"
#include "platform/win.h"
#include "scenario/scenario.h"
#include "ui/control_handlers.h"

namespace {

using namespace scenario;

std::vector<std::string> g_seen;

LRESULT CALLBACK Handler(HWND control, UINT message, WPARAM wparam, LPARAM lparam);

ControlHandler g_table[] = {
    {IDC_T_FIRST, Handler, nullptr},
    {IDC_T_CHECK, Handler, nullptr},
    {9999, Handler, nullptr},  // no such control
};

LRESULT CALLBACK Handler(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == BM_SETCHECK) g_seen.push_back(std::to_string(GetDlgCtrlID(control)) + " " + std::to_string(wparam));
    return CallPrevious(g_table, control, message, wparam, lparam);
}

INT_PTR CALLBACK Dialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

TEST(ControlHandlersTest, HandlersSeeTheirControlsMessagesAndGoAgain) {
    g_seen.clear();
    WNDPROC own_first = nullptr;
    const HINSTANCE module = GetModuleHandleA(nullptr);
    const bool played = Play(
        module,
        {
            ExpectDialog(IDD_TEST_CONTROLS),
            Do([&](HWND d) {
                own_first = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(GetDlgItem(d, IDC_T_FIRST), GWLP_WNDPROC));
                InstallHandlers(d, g_table);
                EXPECT_EQ(g_table[0].previous, own_first);
                EXPECT_NE(g_table[1].previous, nullptr);
                EXPECT_EQ(g_table[2].previous, nullptr) << "a missing control gets no handler";
                EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(GetDlgItem(d, IDC_T_FIRST), GWLP_WNDPROC)),
                          &Handler);
            }),
            Click(IDC_T_FIRST),
            Click(IDC_T_CHECK),
            ExpectCheck(IDC_T_FIRST, BST_CHECKED),
            ExpectCheck(IDC_T_CHECK, BST_CHECKED),
            Do([&](HWND d) {
                // The handler saw the click's BM_SETCHECK and the control
                // acted on it, through its own procedure.
                EXPECT_EQ(g_seen, (std::vector<std::string>{"201 1", "206 1"}));
                RemoveHandlers(d, g_table);
                EXPECT_EQ(g_table[0].previous, nullptr);
                EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(GetDlgItem(d, IDC_T_FIRST), GWLP_WNDPROC)),
                          own_first);
                g_seen.clear();
            }),
            Click(IDC_T_CHECK),
            ExpectCheck(IDC_T_CHECK, BST_UNCHECKED),
            Do([](HWND) { EXPECT_TRUE(g_seen.empty()) << "the handlers are out"; }),
            Click(IDCANCEL),
        },
        [&] { DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_TEST_CONTROLS), nullptr, Dialog, 0); });
    EXPECT_TRUE(played);
}

}  // namespace
