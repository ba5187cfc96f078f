// ShowMessage: the text and caption from the string table, the owner and
// style as given, and the button that closed the box.
#include "ui/message_box.h"

#include "platform/ui_test_resource.h"
#include "res/resource.h"
#include "scenario/applet_ui_fixture.h"
#include "scenario/scenario.h"

namespace {

using namespace scenario;

class ShowMessageTest : public AppletUiTest {};

constexpr UINT kWarning = MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND;        // 0x10030
constexpr UINT kRestartPrompt = MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND;  // 0x10024
static_assert(kWarning == 0x10030 && kRestartPrompt == 0x10024);

const char kProfileName[] = "Enter a profile name with a maximum of 32 printable characters.";
const char kRestart[] =
    "You must restart your computer before the new settings will take effect.\n\n"
    "Do you want to restart your computer now?";

TEST_F(ShowMessageTest, ShowsTheStringsWithTheStyleAndReturnsTheButton) {
    struct Case {
        UINT text_id;
        UINT caption_id;
        UINT style;
        const char* text;
        int answer;
    } cases[] = {
        {IDS_MSG_PROFILE_NAME, IDS_CAPTION_PROFILE, kWarning, kProfileName, IDOK},
        {IDS_MSG_RESTART_PROMPT, IDS_CAPTION_RESTART, kRestartPrompt, kRestart, IDYES},
        {IDS_MSG_RESTART_PROMPT, IDS_CAPTION_RESTART, kRestartPrompt, kRestart, IDNO},
        // Strings that do not exist read as empty texts.
        {4242, 4243, kWarning, "", IDOK},
    };
    for (const Case& c : cases) {
        ResetRecorder();
        int result = 0;
        // The caption ids in use hold no text: every box has an empty title.
        EXPECT_TRUE(Play(Module(), {AnswerMessageBox(c.answer, c.text, "", c.style)}, [&] {
            result = ShowMessage(Module(), c.text_id, nullptr, c.caption_id, c.style);
        })) << c.text_id;
        EXPECT_EQ(result, c.answer) << c.text_id;
        const auto boxes = MessageBoxCalls();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].owner, nullptr);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].caption, "");
        EXPECT_EQ(boxes[0].style, c.style);
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

TEST_F(ShowMessageTest, TheBoxBelongsToItsOwner) {
    HWND owner = nullptr;
    int result = 0;
    EXPECT_TRUE(Play(Module(),
                     {
                         ExpectDialog(IDD_TEST_SECOND),
                         Do([&](HWND d) {
                             owner = d;
                             result = ShowMessage(Module(), IDS_MSG_PROFILE_NAME, d, IDS_CAPTION_PROFILE, kWarning);
                         }),
                         ExpectMessageBox(kProfileName, "", kWarning),
                         Do([&owner](HWND box) { EXPECT_EQ(GetWindow(box, GW_OWNER), owner); }),
                         Click(IDOK),
                         ExpectDialog(IDD_TEST_SECOND),
                         Click(IDCANCEL),
                     },
                     [&] { DialogBoxParamA(Module(), MAKEINTRESOURCEA(IDD_TEST_SECOND), nullptr, OwnerDialog, 0); }));
    EXPECT_EQ(result, IDOK);
    const auto boxes = MessageBoxCalls();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, owner);
}

TEST_F(ShowMessageTest, ArgumentsGoIntoTheTextAndWithoutThemItStandsAsItIs) {
    int result = 0;
    EXPECT_TRUE(Play(
        Module(),
        {AnswerMessageBox(IDOK, "Card A in slot 2", "", MB_OK), AnswerMessageBox(IDOK, "50% done", "", MB_OK)}, [&] {
            result = ShowMessage(Module(), IDS_T_FORMAT, nullptr, IDS_CAPTION_PROFILE, MB_OK, "A", 2);
            result += ShowMessage(Module(), IDS_T_PERCENT, nullptr, IDS_CAPTION_PROFILE, MB_OK);
        }));
    EXPECT_EQ(result, 2 * IDOK);
}

}  // namespace
