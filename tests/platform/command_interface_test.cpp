// Client Manager commands: what they leave in the registry and on the card.
#include "core/command_interface.h"

#include <string>

#include "adapter/adapter_location.h"
#include "card_fixture.h"
#include "core/os_detect.h"
#include "store/settings.h"

namespace {

const std::string kProductKey = "Software\\Kestrel Wireless Solution\\Driver";
const std::string kDriverKey =
    "System\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0005";

std::string Profile(int n) {
    return kDriverKey + "\\Config0" + std::to_string(n);
}

// ExecuteCommand's result: handled without a dialog, or the dialog wanted.
constexpr int kHandled = 1;
constexpr int kShowDialog = 0;

class CommandTest : public CardTest {
protected:
    void SetUp() override {
        CardTest::SetUp();
        PresentCard(OsWinXP);
        ASSERT_TRUE(LocateAdapter());
        ASSERT_EQ(std::string(DriverKeyPath), kDriverKey);
        for (int n = 1; n <= 3; ++n) {
            SeedText(Profile(n), "ConfigName", "Profile " + std::to_string(n));
            SeedNumber(Profile(n), "NetworkType", 0);
            SeedText(Profile(n), "DesiredSSID", "net-" + std::to_string(n));
            SeedNumber(Profile(n), "SystemScale", static_cast<uint32_t>(n));
        }
        SeedNumber(kDriverKey, "ConfigType", 1);
    }
    uint32_t Product(const char* name) {
        auto v = Value(kProductKey, name);
        EXPECT_TRUE(v) << name;
        if (v) {
            EXPECT_EQ(v->type, DWORD{REG_DWORD}) << name;
        }
        return v ? v->Number() : 0xDEADBEEF;
    }
};

TEST_F(CommandTest, SwitchingTheProfileMakesItTheDriversAndSendsIt) {
    for (uint32_t command : {0x0203u, 0x10203u}) {
        uint32_t status = 99;
        EXPECT_EQ(ExecuteCommand(command, &status), kHandled) << std::hex << command;
        EXPECT_EQ(status, CommandStatusOk);
        EXPECT_EQ(AdapterState.ConfigType, 3u);
        EXPECT_EQ(Product("Cur_conf"), 3u);
        EXPECT_EQ(Value(kDriverKey, "ConfigType")->Number(), 3u);
        EXPECT_EQ(Value(kDriverKey, "DesiredSSID")->Text(), "net-3");
        EXPECT_EQ(Value(kDriverKey, "SystemScale")->Number(), 3u);
        EXPECT_EQ(Product("Cpl_cmd"), 0u);
        EXPECT_EQ(Product("Cpl_Status"), CommandStatusOk);
        const cardsim::CardState state = card.State();
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(state.active.desired_ssid.chars)), "net-3");
        EXPECT_EQ(state.active.system_scale, 3);
        SeedNumber(kDriverKey, "ConfigType", 1);
        card.Reset();
        PresentCard(OsWinXP);
    }
}

TEST_F(CommandTest, AProfileNumberOutOfRangeChangesNothing) {
    for (uint32_t command : {0x0200u, 0x0205u, 0x02FFu}) {
        uint32_t status = 99;
        EXPECT_EQ(ExecuteCommand(command, &status), kHandled);
        EXPECT_EQ(status, CommandStatusBadProfile);
        EXPECT_EQ(Product("Cpl_Status"), CommandStatusBadProfile);
        EXPECT_EQ(Product("Cpl_cmd"), 0u);
        EXPECT_EQ(Value(kDriverKey, "ConfigType")->Number(), 1u);
        EXPECT_FALSE(Value(kDriverKey, "DesiredSSID"));
        EXPECT_FALSE(Value(kProductKey, "Cur_conf"));
    }
    EXPECT_EQ(card.State().device_calls, 0u);
}

TEST_F(CommandTest, DriverEnableAndDisable) {
    struct Case {
        uint32_t os_class;
        uint32_t command;
        uint32_t enable;
        DWORD stored_type;
    } cases[] = {
        {OsWinXP, 0x0300, 1, REG_DWORD},  {OsWinXP, 0x0301, 0, REG_DWORD}, {OsWinXP, 0x03FF, 0, REG_DWORD},
        {OsWinXP, 0x10300, 0, REG_DWORD}, {OsWin98, 0x0301, 0, REG_SZ},    {OsWin98, 0x0300, 1, REG_SZ},
    };
    for (const Case& c : cases) {
        card.Reset();
        PresentCard(c.os_class);  // Windows 98 reaches the card through its VxD
        AdapterState.DriverEnable = 1 - c.enable;
        uint32_t status = 99;
        EXPECT_EQ(ExecuteCommand(c.command, &status), kHandled) << std::hex << c.command;
        EXPECT_EQ(status, CommandStatusOk);
        const auto stored = Value(kDriverKey, "DriverEnable");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, c.stored_type) << std::hex << c.command;
        if (c.stored_type == REG_SZ) {
            EXPECT_EQ(stored->Text(), std::to_string(c.enable));
        } else {
            EXPECT_EQ(stored->Number(), c.enable);
        }
        EXPECT_EQ(Product("Cpl_cmd"), 0u);
        EXPECT_EQ(Product("Cur_conf"), 1u);
        EXPECT_EQ(card.State().active.driver_enable, c.enable);
        EXPECT_EQ(card.State().activations, 1u);
    }
}

// A stored current profile outside 1 to 4 names no profile subkey. Enabling
// or disabling the driver then keeps the settings the driver key holds (the
// ones in use, as while no profile has been chosen) and changes only
// DriverEnable; it does not load the defaults of a missing Config05 and
// send an empty network name and the factory key to the card.
TEST_F(CommandTest, DriverEnableWithACurrentProfileOutOfRangeKeepsTheActiveSettings) {
    const std::string kActiveKey = std::string(kEncodedKeyTextLength, 'x').replace(0, 6, "active");  // no factory key
    for (uint32_t stored : {0u, 5u, 7u, 0xFFFFFFFFu}) {
        for (uint32_t command : {0x0300u, 0x0301u}) {
            card.Reset();
            PresentCard(OsWinXP);
            SeedNumber(kDriverKey, "ConfigType", stored);
            SeedText(kDriverKey, "DesiredSSID", "active-net");
            SeedNumber(kDriverKey, "RTSThreshold", 500);
            SeedNumber(kDriverKey, "SystemScale", 3);
            SeedText(kDriverKey, "Encryption", kActiveKey);
            uint32_t status = 99;
            EXPECT_EQ(ExecuteCommand(command, &status), kHandled);
            EXPECT_EQ(status, CommandStatusOk);
            const std::string what = "ConfigType " + std::to_string(stored) + ", command " + std::to_string(command);
            EXPECT_EQ(Value(kDriverKey, "DesiredSSID")->Text(), "active-net") << what;
            EXPECT_EQ(Value(kDriverKey, "RTSThreshold")->Number(), 500u) << what;
            EXPECT_EQ(Value(kDriverKey, "SystemScale")->Number(), 3u) << what;
            EXPECT_EQ(Value(kDriverKey, "Encryption")->Text(), kActiveKey) << what;
            EXPECT_EQ(Value(kDriverKey, "DriverEnable")->Number(), command == 0x0300u ? 1u : 0u) << what;
            EXPECT_EQ(Value(kDriverKey, "ConfigType")->Number(), stored) << what << ": the command chooses no profile";
            EXPECT_EQ(Product("Cur_conf"), stored) << what;
            const cardsim::CardState state = card.State();
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(state.active.desired_ssid.chars),
                                  state.active.desired_ssid.count),
                      "active-net")
                << what;
            EXPECT_EQ(state.active.rts_threshold, 500) << what;
            EXPECT_EQ(std::string(state.active.encryption), kActiveKey) << what;
            EXPECT_EQ(state.active.driver_enable, command == 0x0300u ? 1 : 0) << what;
        }
    }
}

TEST_F(CommandTest, CommandsThatLeaveTheDialogToTheFlow) {
    struct Case {
        uint32_t command;
        int result;
        uint32_t status;
        uint32_t cpl_cmd_after;
    } cases[] = {
        {0x0100, kShowDialog, CommandStatusOk, CommandBusyMarker},
        {0x01FF, kShowDialog, CommandStatusOk, CommandBusyMarker},
        {0xFF00, kShowDialog, CommandStatusOk, CommandBusyMarker},
        {0x0400, kHandled, CommandStatusUnknown, CommandBusyMarker},
        {0x1234, kHandled, CommandStatusUnknown, CommandBusyMarker},
        {0xFE00, kHandled, CommandStatusUnknown, CommandBusyMarker},
    };
    for (const Case& c : cases) {
        uint32_t status = 99;
        EXPECT_EQ(ExecuteCommand(c.command, &status), c.result) << std::hex << c.command;
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(Product("Cpl_Status"), c.status);
        EXPECT_EQ(Product("Cpl_cmd"), c.cpl_cmd_after) << "the busy marker stays until the flow ends";
    }
    EXPECT_EQ(card.State().device_calls, 0u);
    EXPECT_FALSE(Value(kProductKey, "Cur_conf"));
}

TEST_F(CommandTest, TheInstallersEntryWritesNothing) {
    uint32_t status = 99;
    EXPECT_EQ(ExecuteCommand(CommandSourceNone, &status), kShowDialog);
    EXPECT_EQ(status, CommandStatusOk);
    EXPECT_FALSE(Value(kProductKey, "Cpl_Status"));
    EXPECT_FALSE(Value(kProductKey, "Cpl_cmd"));
}

TEST_F(CommandTest, ControlPanelStartReadsCplCmd) {
    // No value at all: status 32771, the dialogs are shown.
    uint32_t status = 99;
    EXPECT_EQ(ExecuteCommand(CommandSourceRegistry, &status), kShowDialog);
    EXPECT_EQ(status, CommandStatusNoCommand);
    EXPECT_EQ(Product("Cpl_Status"), CommandStatusNoCommand);
    EXPECT_EQ(Product("Cpl_cmd"), 0u);

    // Zero: the dialogs, with the busy marker meanwhile.
    SeedNumber(kProductKey, "Cpl_cmd", 0);
    EXPECT_EQ(ExecuteCommand(CommandSourceRegistry, &status), kShowDialog);
    EXPECT_EQ(status, CommandStatusOk);
    EXPECT_EQ(Product("Cpl_Status"), CommandStatusOk);
    EXPECT_EQ(Product("Cpl_cmd"), CommandBusyMarker);

    // 514 as a number and as decimal text: switch to profile 2, no window.
    for (bool as_text : {false, true}) {
        if (as_text) {
            SeedText(kProductKey, "Cpl_cmd", "514");
        } else {
            SeedNumber(kProductKey, "Cpl_cmd", 514);
        }
        AdapterState.ConfigType = 1;
        EXPECT_EQ(ExecuteCommand(CommandSourceRegistry, &status), kHandled) << as_text;
        EXPECT_EQ(status, CommandStatusOk);
        EXPECT_EQ(AdapterState.ConfigType, 2u);
        EXPECT_EQ(Product("Cur_conf"), 2u);
        EXPECT_EQ(Product("Cpl_cmd"), 0u);
    }
}

}  // namespace
