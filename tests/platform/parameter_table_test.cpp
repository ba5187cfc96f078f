// Loading and saving the driver parameters between the registry and the
// settings records, on every Windows family.
#include "store/parameter_table.h"

#include <cstring>
#include <string>

#include "adapter/adapter_location.h"
#include "core/os_detect.h"
#include "reg_fixture.h"
#include "store/registry_access.h"
#include "store/settings.h"
#ifndef _WIN32
#include "hostctl.h"
#endif

namespace {

const std::string kDriverKey = "System\\CurrentControlSet\\Services\\Class\\Net\\0003";

std::string Profile(int n) { return kDriverKey + "\\Config0" + std::to_string(n); }

class ParameterTableTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        SeedKey(kDriverKey);
        CopyText(DriverKeyPath, kDriverKey.c_str());
    }
};

const ParameterRow* Row(const char* name) {
    for (const ParameterRow& row : ParameterTable) {
        if (std::strcmp(row.name, name) == 0) return &row;
    }
    return nullptr;
}

TEST(ParameterTableShape, SeventeenRowsInTheDriversOrder) {
    const char* names[] = {"SystemScale", "RTSThreshold", "PMEnabled", "MicroWaveRobustness", "CreateIBSS",
                           "NetworkAddress", "IoBaseAddress", "InterruptNumber", "Configured", "DriverEnable",
                           "SoftexPcmcia", "PortType", "APMode", "OwnSSID", "OwnName", "DesiredSSID", "Encryption"};
    ASSERT_EQ(std::size(names), size_t{kParameterCount});
    for (int i = 0; i < kParameterCount; ++i) {
        const ParameterRow& row = ParameterTable[i];
        EXPECT_STREQ(row.name, names[i]);
        EXPECT_EQ(row.type == ParamNumber, row.number != nullptr) << row.name;
        EXPECT_EQ(row.type == ParamText, row.text != nullptr) << row.name;
        if (row.type == ParamNumber) { EXPECT_NE(row.maximum, 0u) << row.name << " has a range"; }
    }
    EXPECT_EQ(Row("SoftexPcmcia")->write_scope, 0u);
    EXPECT_EQ(Row("OwnName")->read_scope, 0u);
    EXPECT_EQ(Row("IoBaseAddress")->number, &AdapterState.IoBaseAddress);
    EXPECT_EQ(Row("Encryption")->text, ProfileSettings.Encryption);
}

TEST_F(ParameterTableTest, WithoutAProfileTheProfileRowsComeFromTheDriverKey) {
    SeedText(kDriverKey, "DesiredSSID", "from-driver-key");
    SeedText(kDriverKey + "\\Config00", "DesiredSSID", "from-config00");
    AdapterState.ConfigType = 0;
    LoadParameters(ScopeProfile);
    EXPECT_STREQ(ProfileSettings.DesiredSSID, "from-driver-key");
}

TEST_F(ParameterTableTest, ScopeChoosesDriverKeyOrTheCurrentProfilesSubkey) {
    SeedNumber(kDriverKey, "IoBaseAddress", 0x300);
    SeedText(kDriverKey, "DesiredSSID", "driver-key");
    SeedNumber(Profile(3), "IoBaseAddress", 0x500);
    SeedText(Profile(3), "DesiredSSID", "profile-3");
    SeedNumber(Profile(3), "SystemScale", 2);
    AdapterState.ConfigType = 3;
    LoadParameters(ScopeDriverKey | ScopeProfile);
    EXPECT_EQ(AdapterState.IoBaseAddress, 0x300u);
    EXPECT_STREQ(ProfileSettings.DesiredSSID, "profile-3");
    EXPECT_EQ(ProfileSettings.SystemScale, 2u);

    // Mask 2 reads only the profile rows: the adapter-wide ones stay.
    AdapterState.IoBaseAddress = 0x123;
    ProfileSettings.SystemScale = 3;
    LoadParameters(ScopeProfile);
    EXPECT_EQ(AdapterState.IoBaseAddress, 0x123u);
    EXPECT_EQ(ProfileSettings.SystemScale, 2u);
}

TEST_F(ParameterTableTest, RangesAndDefaultsOnLoad) {
    struct Case {
        const char* name;
        const char* stored;  // nullptr: no value; otherwise decimal text stored as a DWORD
        uint32_t loaded;
    } cases[] = {
        {"RTSThreshold", "0", 2347},      {"RTSThreshold", "3000", 2347}, {"RTSThreshold", "2347", 2347},
        {"RTSThreshold", "1", 1},         {"RTSThreshold", "500", 500},   {"IoBaseAddress", "255", 1024},
        {"IoBaseAddress", "256", 256},    {"IoBaseAddress", "65472", 65472}, {"IoBaseAddress", "65473", 1024},
        {"InterruptNumber", "31", 31},    {"InterruptNumber", "32", 3},   {"InterruptNumber", nullptr, 3},
        {"SystemScale", "0", 1},          {"SystemScale", "3", 3},        {"SystemScale", "4294967295", 1},
        {"APMode", "5", 5},               {"APMode", "6", 0},             {"PortType", "0", 1},
        {"DriverEnable", nullptr, 1},     {"DriverEnable", "0", 0},       {"Configured", nullptr, 0},
        {"Configured", "2", 0},           {"SoftexPcmcia", "1", 1},       {"PMEnabled", nullptr, 0},
    };
    for (const Case& c : cases) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kDriverKey.c_str());
        SeedKey(kDriverKey);
        if (c.stored) SeedNumber(kDriverKey, c.name, static_cast<uint32_t>(std::stoul(c.stored)));
        const ParameterRow* row = Row(c.name);
        ASSERT_NE(row, nullptr) << c.name;
        *row->number = 0xABCD;  // whatever the record held before
        LoadParameters(ScopeDriverKey | ScopeProfile);
        EXPECT_EQ(*row->number, c.loaded) << c.name << " stored " << (c.stored ? c.stored : "(none)");
    }
}

TEST_F(ParameterTableTest, TextsLoadEmptyWhenMissingExceptTheKeyText) {
    CopyText(ProfileSettings.DesiredSSID, "stale");
    CopyText(ProfileSettings.NetworkAddress, "stale");
    CopyText(ProfileSettings.Encryption, "stale");
    SeedText(kDriverKey, "OwnSSID", "");
    LoadParameters(ScopeDriverKey | ScopeProfile);
    EXPECT_STREQ(ProfileSettings.DesiredSSID, "");
    EXPECT_STREQ(ProfileSettings.NetworkAddress, "");
    EXPECT_STREQ(ProfileSettings.OwnSSID, "");
    EXPECT_STREQ(ProfileSettings.Encryption, FactoryKeyText);

    SeedText(kDriverKey, "Encryption", "");
    LoadParameters(ScopeProfile);
    EXPECT_STREQ(ProfileSettings.Encryption, FactoryKeyText) << "an empty key text loads as the factory text";

    // A value too long for the 256-byte field counts as missing.
    SeedText(kDriverKey, "DesiredSSID", std::string(256, 'n'));
    CopyText(ProfileSettings.DesiredSSID, "stale");
    LoadParameters(ScopeProfile);
    EXPECT_STREQ(ProfileSettings.DesiredSSID, "");
}

TEST_F(ParameterTableTest, NumbersStoredAsTextLoadOnEverySystem) {
    SeedText(kDriverKey, "RTSThreshold", "500");
    SeedText(kDriverKey, "IoBaseAddress", "  768");
    SeedText(kDriverKey, "PMEnabled", "1");
    LoadParameters(ScopeDriverKey | ScopeProfile);
    EXPECT_EQ(ProfileSettings.RTSThreshold, 500u);
    EXPECT_EQ(AdapterState.IoBaseAddress, 768u);
    EXPECT_EQ(ProfileSettings.PMEnabled, 1u);
}

// A full set of values different from every default.
void FillRecords() {
    ProfileSettings.SystemScale = 2;
    ProfileSettings.RTSThreshold = 500;
    ProfileSettings.PMEnabled = 1;
    ProfileSettings.MicroWaveRobustness = 1;
    ProfileSettings.CreateIBSS = 1;
    ProfileSettings.PortType = 3;
    ProfileSettings.APMode = 1;
    CopyText(ProfileSettings.NetworkAddress, "02AABBCCDDEE");
    CopyText(ProfileSettings.OwnSSID, "own");
    CopyText(ProfileSettings.OwnName, "STATION");
    CopyText(ProfileSettings.DesiredSSID, "desired");
    CopyText(ProfileSettings.Encryption, FactoryKeyText);
    AdapterState.IoBaseAddress = 0x340;
    AdapterState.InterruptNumber = 10;
    AdapterState.Configured = 1;
    AdapterState.DriverEnable = 0;
    AdapterState.SoftexPcmcia = 0;
}

TEST_F(ParameterTableTest, SaveWritesNumbersAsTextOnWindows9xAndAsDwordsOnNt) {
    struct Case {
        uint32_t os_class;
        DWORD number_type;
        bool resources_written;
    } cases[] = {
        {OsWin95, REG_SZ, false}, {OsWin98, REG_SZ, false},     {OsUnknown, REG_SZ, false},
        {OsNT4, REG_DWORD, true}, {OsWin2000, REG_DWORD, false}, {OsWinXP, REG_DWORD, false},
    };
    for (const Case& c : cases) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kDriverKey.c_str());
        SeedKey(kDriverKey);
        OsClass = c.os_class;
        FillRecords();
        AdapterState.ConfigType = 2;
        SaveParameters(ScopeActiveProfile);
        const auto rts = Value(kDriverKey, "RTSThreshold");
        ASSERT_TRUE(rts) << c.os_class;
        EXPECT_EQ(rts->type, c.number_type) << c.os_class;
        if (c.number_type == REG_SZ) {
            EXPECT_EQ(rts->Text(), "500");
            EXPECT_EQ(Value(kDriverKey, "DriverEnable")->Text(), "0");
        } else {
            EXPECT_EQ(rts->data.size(), 4u);
            EXPECT_EQ(rts->Number(), 500u);
        }
        EXPECT_EQ(Value(kDriverKey, "IoBaseAddress").has_value(), c.resources_written) << c.os_class;
        EXPECT_EQ(Value(kDriverKey, "InterruptNumber").has_value(), c.resources_written) << c.os_class;
        if (c.resources_written) {
            EXPECT_EQ(Value(kDriverKey, "IoBaseAddress")->type, DWORD{REG_DWORD});
            EXPECT_EQ(Value(kDriverKey, "IoBaseAddress")->Number(), 0x340u);
        }
        // Mask 131 puts the profile rows into the driver key, not a subkey.
        EXPECT_EQ(Value(kDriverKey, "DesiredSSID")->Text(), "desired");
        EXPECT_EQ(Value(kDriverKey, "NetworkAddress")->Text(), "02AABBCCDDEE");
        EXPECT_FALSE(KeyExists(Profile(2))) << c.os_class;
        EXPECT_FALSE(Value(kDriverKey, "SoftexPcmcia").has_value());
    }
}

TEST_F(ParameterTableTest, SaveWithMask3SplitsDriverKeyAndProfileSubkey) {
    OsClass = OsNT4;
    FillRecords();
    AdapterState.ConfigType = 2;
    SaveParameters(ScopeDriverKey | ScopeProfile);
    EXPECT_EQ(Value(kDriverKey, "IoBaseAddress")->type, DWORD{REG_DWORD});
    EXPECT_EQ(Value(kDriverKey, "Configured")->Number(), 1u);
    EXPECT_EQ(Value(kDriverKey, "OwnName")->Text(), "STATION");
    EXPECT_EQ(Value(Profile(2), "SystemScale")->Number(), 2u);
    EXPECT_EQ(Value(Profile(2), "Encryption")->Text(), FactoryKeyText);
    EXPECT_EQ(Value(Profile(2), "NetworkAddress")->Text(), "02AABBCCDDEE");
    EXPECT_FALSE(Value(kDriverKey, "SystemScale").has_value());
    EXPECT_FALSE(Value(Profile(2), "IoBaseAddress").has_value());
    EXPECT_FALSE(Value(Profile(2), "OwnName").has_value());
}

TEST_F(ParameterTableTest, SoftexPcmciaProtectsAddressAndResources) {
    SeedText(kDriverKey, "NetworkAddress", "old-address");
    SeedNumber(kDriverKey, "IoBaseAddress", 0x280);
    SeedNumber(kDriverKey, "InterruptNumber", 5);
    SeedNumber(kDriverKey, "SoftexPcmcia", 1);
    for (uint32_t mask : {uint32_t{ScopeDriverKey | ScopeProfile}, uint32_t{ScopeActiveProfile}}) {
        OsClass = OsNT4;
        FillRecords();
        AdapterState.SoftexPcmcia = 1;
        AdapterState.ConfigType = 1;
        SaveParameters(mask);
        EXPECT_EQ(Value(kDriverKey, "NetworkAddress")->Text(), "old-address") << mask;
        EXPECT_EQ(Value(kDriverKey, "IoBaseAddress")->Number(), 0x280u) << mask;
        EXPECT_EQ(Value(kDriverKey, "InterruptNumber")->Number(), 5u) << mask;
        EXPECT_FALSE(Value(Profile(1), "NetworkAddress").has_value()) << mask;
        EXPECT_EQ(Value(kDriverKey, "SoftexPcmcia")->Number(), 1u);
    }
    // Even with the record's switch off, the stored switch is never written.
    AdapterState.SoftexPcmcia = 0;
    SaveParameters(ScopeActiveProfile);
    EXPECT_EQ(Value(kDriverKey, "SoftexPcmcia")->Number(), 1u);
    EXPECT_EQ(Value(kDriverKey, "NetworkAddress")->Text(), "02AABBCCDDEE");
}

TEST_F(ParameterTableTest, SavedOnWindows98LoadsTheSameOnXp) {
    OsClass = OsWin98;
    FillRecords();
    AdapterState.ConfigType = 4;
    SaveParameters(ScopeDriverKey | ScopeProfile);
    const ProfileSettingsType saved = ProfileSettings;
    const AdapterStateType saved_adapter = AdapterState;
    ResetSettingsRecords();
    OsClass = OsWinXP;
    AdapterState.ConfigType = 4;
    LoadParameters(ScopeDriverKey | ScopeProfile);
    EXPECT_EQ(ProfileSettings.SystemScale, saved.SystemScale);
    EXPECT_EQ(ProfileSettings.RTSThreshold, saved.RTSThreshold);
    EXPECT_EQ(ProfileSettings.PMEnabled, saved.PMEnabled);
    EXPECT_EQ(ProfileSettings.MicroWaveRobustness, saved.MicroWaveRobustness);
    EXPECT_EQ(ProfileSettings.CreateIBSS, saved.CreateIBSS);
    EXPECT_EQ(ProfileSettings.PortType, saved.PortType);
    EXPECT_EQ(ProfileSettings.APMode, saved.APMode);
    EXPECT_STREQ(ProfileSettings.NetworkAddress, saved.NetworkAddress);
    EXPECT_STREQ(ProfileSettings.OwnSSID, saved.OwnSSID);
    EXPECT_STREQ(ProfileSettings.DesiredSSID, saved.DesiredSSID);
    EXPECT_STREQ(ProfileSettings.Encryption, saved.Encryption);
    EXPECT_EQ(AdapterState.Configured, saved_adapter.Configured);
    EXPECT_EQ(AdapterState.DriverEnable, saved_adapter.DriverEnable);
    EXPECT_STREQ(ProfileSettings.OwnName, "") << "the station name is never loaded";
}

TEST_F(ParameterTableTest, DriverValuesAndTheComputerName) {
    SeedNumber(kDriverKey, "DriverVariant", 1);
    SeedText(kDriverKey, "DriverMajor", "6");
    SeedNumber(kDriverKey, "DriverMinor", 41);
    SeedText(kDriverKey, "OwnName", "NOT-THIS-ONE");
    AdapterState.Configured = 7;  // no value: stays
    EXPECT_EQ(LoadDriverValues(), 1);
    EXPECT_EQ(AdapterState.DriverVariant, 1u);
    EXPECT_EQ(AdapterState.DriverMajor, 6u);
    EXPECT_EQ(AdapterState.DriverMinor, 41u);
    EXPECT_EQ(AdapterState.Configured, 7u);
    char computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    EXPECT_STREQ(ProfileSettings.OwnName, computer);
    EXPECT_STRNE(ProfileSettings.OwnName, "");
    LoadParameters(ScopeDriverKey | ScopeProfile);
    EXPECT_STREQ(ProfileSettings.OwnName, computer) << "OwnName is never read from the registry";
}

}  // namespace
