// The profile's property sheet: its title, its pages by network type and
// Windows family as its tabs show them, what it returns, and the window
// position it opens at and stores.
#include "ui/property_sheet.h"

#include <string>
#include <vector>

#include "core/os_detect.h"
#include "res/resource.h"
#include "scenario/applet_ui_fixture.h"
#include "scenario/scenario.h"
#include "store/settings.h"
#include "ui/window_position.h"

namespace {

using namespace scenario;

class ProfileSheetTest : public AppletUiTest {
protected:
    void SetUp() override {
        AppletUiTest::SetUp();
        OsClass = OsWinXP;
        AdapterState.ConfigType = 2;
        CopyText(AdapterState.ConfigName[0], "Default");
        CopyText(AdapterState.ConfigName[1], "Office");
        AdapterState.NetworkType[1] = NetAccessPoint;
    }

    INT_PTR PlaySheet(std::vector<Step> steps) {
        INT_PTR result = -5;
        EXPECT_TRUE(Play(Module(), std::move(steps), [&] { result = ShowProfileSheet(nullptr, Module(), 0); }));
        return result;
    }
};

const std::vector<std::string> kAccessPointTabs = {"Basic", "Encryption", "Advanced", "Admin"};

TEST_F(ProfileSheetTest, TheTitleNamesTheCurrentProfile) {
    EXPECT_EQ(PlaySheet({
                  ExpectSheet("Edit Configuration [Office]", IDD_BASIC),
                  ExpectTabs(kAccessPointTabs),
                  ExpectVisible(IDHELP, true),
                  PressSheetButton(PSBTN_CANCEL),
              }),
              0);
    EXPECT_EQ(AdapterState.ConfigType, 2u);
}

TEST_F(ProfileSheetTest, WithNoCurrentProfileTheFirstIsEditedAndBecomesCurrent) {
    for (uint32_t config_type : {0u, 5u}) {
        AdapterState.ConfigType = config_type;
        AdapterState.NetworkType[0] = NetResidentialGateway;
        EXPECT_EQ(PlaySheet({
                      ExpectSheet("Edit Configuration [Default]", IDD_BASIC),
                      ExpectTabs({"Basic"}),  // profile 1's type chose the pages
                      PressKey(VK_ESCAPE),
                  }),
                  0);
        EXPECT_EQ(AdapterState.ConfigType, 1u) << "in memory";
    }
}

TEST_F(ProfileSheetTest, ThePagesFollowTheNetworkTypeAndTheWindowsFamily) {
    struct Case {
        uint32_t network_type, os_class, softex_pcmcia;
        std::vector<std::string> tabs;
        int last_page;  // its template
    } cases[] = {
        {NetAccessPoint, OsWinXP, 0, kAccessPointTabs, IDD_ADMIN},
        {NetAccessPoint, OsWin2000, 0, kAccessPointTabs, IDD_ADMIN},
        {NetAccessPoint, OsNT4, 0, {"Basic", "Encryption", "Advanced", "Admin", "Adapter"}, IDD_ADAPTER},
        {NetAccessPoint, OsNT4, 1, kAccessPointTabs, IDD_ADMIN},
        {NetResidentialGateway, OsWin98, 0, {"Basic"}, IDD_BASIC},
        {NetPeerToPeerGroup, OsNT4, 0, {"Basic", "Adapter"}, IDD_ADAPTER},
        {NetPeerToPeerGroup, OsNT4, 1, {"Basic"}, IDD_BASIC},
    };
    for (const Case& c : cases) {
        AdapterState.NetworkType[1] = c.network_type;
        AdapterState.SoftexPcmcia = c.softex_pcmcia;
        OsClass = c.os_class;
        const int last = static_cast<int>(c.tabs.size()) - 1;
        // Every page can be shown, and OK closes the sheet (the pages have no checks yet).
        EXPECT_EQ(PlaySheet({
                      ExpectSheet("Edit Configuration [Office]", IDD_BASIC),
                      ExpectTabs(c.tabs),
                      SelectPage(last),
                      ExpectPage(last, c.last_page),
                      PressSheetButton(PSBTN_OK),
                  }),
                  1)
            << "type " << c.network_type << " class " << c.os_class << " softex " << c.softex_pcmcia;
    }
}

// ---- The window position ----------------------------------------------------------------------

struct Rect {
    LONG left, top, width, height;
};

Rect WindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

TEST_F(ProfileSheetTest, TheSheetOpensAtTheStoredPositionWhenItFits) {
    struct Case {
        uint32_t x, y;
        LONG left, top;
    } cases[] = {
        {0, 0, 0, 0},  // the top-left corner of the screen
        {40, 25, 40, 25},
        {4294967286u, 30, -10, 30},  // -10: the unsigned sum wraps and passes
    };
    for (const Case& c : cases) {
        SeedNumber(kDriverKey, "X_POS", c.x);
        SeedNumber(kDriverKey, "Y_POS", c.y);
        PlaySheet({
            ExpectSheet("Edit Configuration [Office]", IDD_BASIC),
            Do([&c](HWND sheet) {
                const Rect r = WindowRect(sheet);
                EXPECT_EQ(r.left, c.left) << c.x;
                EXPECT_EQ(r.top, c.top) << c.y;
                EXPECT_EQ(WindowPosition.X, c.x);
                EXPECT_EQ(WindowPosition.Y, c.y);
            }),
            PressSheetButton(PSBTN_CANCEL),
        });
    }
}

TEST_F(ProfileSheetTest, ASheetThatDoesNotFitIsCentredAndThatPositionIsRememberedNotStored) {
    const RECT desktop = Desktop();
    struct Case {
        uint32_t x, y;
    } cases[] = {
        {static_cast<uint32_t>(desktop.right - 10), 20},   // past the right edge
        {10, static_cast<uint32_t>(desktop.bottom - 10)},  // past the bottom edge
        {4294966296u, 0},  // -1000: further left than the sheet is wide, so the sum does not wrap
    };
    for (const Case& c : cases) {
        SeedNumber(kDriverKey, "X_POS", c.x);
        SeedNumber(kDriverKey, "Y_POS", c.y);
        PlaySheet({
            ExpectSheet("Edit Configuration [Office]", IDD_BASIC),
            Do([&](HWND sheet) {
                const Rect r = WindowRect(sheet);
                ASSERT_GT(r.width, 10);
                const LONG left = (desktop.right - r.width) / 2, top = (desktop.bottom - r.height) / 2;
                EXPECT_EQ(r.left, left) << c.x << "," << c.y;
                EXPECT_EQ(r.top, top) << c.x << "," << c.y;
                EXPECT_EQ(WindowPosition.X, static_cast<uint32_t>(left));
                EXPECT_EQ(WindowPosition.Y, static_cast<uint32_t>(top));
            }),
            PressSheetButton(PSBTN_CANCEL),
        });
        EXPECT_EQ(Value(kDriverKey, "X_POS")->Number(), c.x) << "the centred position is not stored";
        EXPECT_EQ(Value(kDriverKey, "Y_POS")->Number(), c.y);
    }
}

TEST_F(ProfileSheetTest, AMissingStoredCoordinateKeepsTheRememberedOne) {
    WindowPosition = {35, 45};
    PlaySheet({
        ExpectSheet("Edit Configuration [Office]", IDD_BASIC),
        Do([](HWND sheet) {
            EXPECT_EQ(WindowRect(sheet).left, 35);
            EXPECT_EQ(WindowRect(sheet).top, 45);
        }),
        PressSheetButton(PSBTN_CANCEL),
    });
    SeedNumber(kDriverKey, "Y_POS", 15);
    PlaySheet({
        ExpectSheet("Edit Configuration [Office]", IDD_BASIC),
        Do([](HWND sheet) {
            EXPECT_EQ(WindowRect(sheet).left, 35);
            EXPECT_EQ(WindowRect(sheet).top, 15);
        }),
        PressSheetButton(PSBTN_CANCEL),
    });
    EXPECT_FALSE(Value(kDriverKey, "X_POS"));
}

TEST_F(ProfileSheetTest, SaveWindowPositionStoresTheTopLeftCorner) {
    PlaySheet({
        ExpectSheet("Edit Configuration [Office]", IDD_BASIC),
        Do([this](HWND sheet) {
            const Rect r = WindowRect(sheet);
            MoveWindow(sheet, 123, 45, r.width, r.height, FALSE);
            SaveWindowPosition(sheet);
            EXPECT_EQ(WindowPosition.X, 123u);
            EXPECT_EQ(WindowPosition.Y, 45u);
            EXPECT_EQ(Value(kDriverKey, "X_POS")->type, DWORD{REG_DWORD});
            EXPECT_EQ(Value(kDriverKey, "X_POS")->Number(), 123u);
            EXPECT_EQ(Value(kDriverKey, "Y_POS")->Number(), 45u);
            MoveWindow(sheet, -10, 5, r.width, r.height, FALSE);
            SaveWindowPosition(sheet);
            EXPECT_EQ(Value(kDriverKey, "X_POS")->Number(), 4294967286u) << "-10 as its two's complement";
            EXPECT_EQ(Value(kDriverKey, "Y_POS")->Number(), 5u);
        }),
        PressSheetButton(PSBTN_CANCEL),
    });
    // A window that is gone changes nothing.
    SaveWindowPosition(nullptr);
    EXPECT_EQ(Value(kDriverKey, "X_POS")->Number(), 4294967286u);
    EXPECT_EQ(WindowPosition.X, 4294967286u);
}

}  // namespace
