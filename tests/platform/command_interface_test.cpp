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

std::string Profile(int n) { return kDriverKey + "\\Config0" + std::to_string(n); }

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
        if (v) { EXPECT_EQ(v->type, DWORD{REG_DWORD}) << name; }
        return v ? v->Number() : 0xDEADBEEF;
    }
};

TEST_F(CommandTest, SwitchingTheProfileMakesItTheDriversAndSendsIt) {
    for (uint32_t command : {0x0203u, 0x10203u}) {
        uint32_t status = 99;
        EXPECT_EQ(ExecuteCommand(command, &status), 1) << std::hex << command;
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(AdapterState.ConfigType, 3u);
        EXPECT_EQ(Product("Cur_conf"), 3u);
        EXPECT_EQ(Value(kDriverKey, "ConfigType")->Number(), 3u);
        EXPECT_EQ(Value(kDriverKey, "DesiredSSID")->Text(), "net-3");
        EXPECT_EQ(Value(kDriverKey, "SystemScale")->Number(), 3u);
        EXPECT_EQ(Product("Cpl_cmd"), 0u);
        EXPECT_EQ(Product("Cpl_Status"), 0u);
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
        EXPECT_EQ(ExecuteCommand(command, &status), 1);
        EXPECT_EQ(status, 32772u);
        EXPECT_EQ(Product("Cpl_Status"), 32772u);
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
        EXPECT_EQ(ExecuteCommand(c.command, &status), 1) << std::hex << c.command;
        EXPECT_EQ(status, 0u);
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

TEST_F(CommandTest, CommandsThatLeaveTheDialogToTheFlow) {
    struct Case {
        uint32_t command;
        int result;
        uint32_t status;
        uint32_t cpl_cmd_after;
    } cases[] = {
        {0x0100, 0, 0, 65280}, {0x01FF, 0, 0, 65280}, {0xFF00, 0, 0, 65280},
        {0x0400, 1, 32769, 65280}, {0x1234, 1, 32769, 65280}, {0xFE00, 1, 32769, 65280},
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
    EXPECT_EQ(ExecuteCommand(0, &status), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_FALSE(Value(kProductKey, "Cpl_Status"));
    EXPECT_FALSE(Value(kProductKey, "Cpl_cmd"));
}

TEST_F(CommandTest, ControlPanelStartReadsCplCmd) {
    // No value at all: status 32771, the dialogs are shown.
    uint32_t status = 99;
    EXPECT_EQ(ExecuteCommand(1, &status), 0);
    EXPECT_EQ(status, 32771u);
    EXPECT_EQ(Product("Cpl_Status"), 32771u);
    EXPECT_EQ(Product("Cpl_cmd"), 0u);

    // Zero: the dialogs, with the busy marker meanwhile.
    SeedNumber(kProductKey, "Cpl_cmd", 0);
    EXPECT_EQ(ExecuteCommand(1, &status), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(Product("Cpl_Status"), 0u);
    EXPECT_EQ(Product("Cpl_cmd"), 65280u);

    // 514 as a number and as decimal text: switch to profile 2, no window.
    for (bool as_text : {false, true}) {
        if (as_text) {
            SeedText(kProductKey, "Cpl_cmd", "514");
        } else {
            SeedNumber(kProductKey, "Cpl_cmd", 514);
        }
        AdapterState.ConfigType = 1;
        EXPECT_EQ(ExecuteCommand(1, &status), 1) << as_text;
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(AdapterState.ConfigType, 2u);
        EXPECT_EQ(Product("Cur_conf"), 2u);
        EXPECT_EQ(Product("Cpl_cmd"), 0u);
    }
}

}  // namespace
