// The About box: its version line, and how it closes.
#include "ui/about_box.h"

#include "platform/ui_test_resource.h"
#include "res/resource.h"
#include "scenario/applet_ui_fixture.h"
#include "scenario/scenario.h"

namespace {

using namespace scenario;

class AboutBoxTest : public AppletUiTest {};

TEST_F(AboutBoxTest, ShowsTheVersionAndClosesByOkEnterOrEscape) {
    struct Case {
        Step close;
        INT_PTR result;  // the end code is the command's id
    } cases[] = {
        {Click(IDOK), IDOK},
        {PressKey(VK_RETURN), IDOK},
        {PressKey(VK_ESCAPE), IDCANCEL},
    };
    for (const Case& c : cases) {
        INT_PTR result = 0;
        EXPECT_TRUE(Play(Module(),
                         {
                             ExpectDialog(IDD_ABOUT),
                             ExpectText(IDC_ABOUT_VERSION, "SNKES48.CPL Variant 1, Version 6.41"),
                             c.close,
                         },
                         [&] { result = ShowAboutBox(Module(), nullptr); }));
        EXPECT_EQ(result, c.result);
    }
}

INT_PTR CALLBACK OwnerDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
    }
    return FALSE;
}

TEST_F(AboutBoxTest, EscapeClosesOnlyTheBoxAndItsOwnerStaysOpen) {
    INT_PTR owner_result = 0, about_result = 0;
    HWND owner = nullptr;
    EXPECT_TRUE(Play(
        Module(),
        {
            ExpectDialog(IDD_TEST_SECOND),
            Do([&](HWND d) {
                owner = d;
                about_result = ShowAboutBox(Module(), d);
            }),
            ExpectDialog(IDD_ABOUT),
            Do([&owner](HWND about) { EXPECT_EQ(GetWindow(about, GW_OWNER), owner); }),
            PressKey(VK_ESCAPE),
            ExpectDialog(IDD_TEST_SECOND),
            Type(IDC_T2_EDIT, "still here"),
            ExpectText(IDC_T2_EDIT, "still here"),
            Click(IDOK),
        },
        [&] { owner_result = DialogBoxParamA(Module(), MAKEINTRESOURCEA(IDD_TEST_SECOND), nullptr, OwnerDialog, 0); }));
    EXPECT_EQ(about_result, IDCANCEL);
    EXPECT_EQ(owner_result, IDOK);
}

}  // namespace
