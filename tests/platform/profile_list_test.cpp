// The profile list: names, network types and the current profile, below the
// driver key and published under the product key.
#include "store/profile_list.h"

#include <string>

#include "adapter/adapter_location.h"
#include "core/os_detect.h"
#include "reg_fixture.h"
#include "store/settings.h"

namespace {

const std::string kDriverKey = "System\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0917";
const std::string kProductKey = "Software\\Kestrel Wireless Solution\\Driver";

std::string Profile(int n) { return kDriverKey + "\\Config0" + std::to_string(n); }

class ProfileListTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        SeedKey(kDriverKey);
        CopyText(DriverKeyPath, kDriverKey.c_str());
        OsClass = OsWinXP;
    }
};

TEST_F(ProfileListTest, NothingStoredGivesDefaultAndFourProfilesToEdit) {
    LoadProfileList();
    EXPECT_STREQ(AdapterState.ConfigName[0], "Default");
    for (int i = 1; i < 4; ++i) EXPECT_STREQ(AdapterState.ConfigName[i], "");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(AdapterState.NetworkType[i], 0u);
        EXPECT_EQ(AdapterState.LastNetworkType[i], 0u);
        EXPECT_EQ(AdapterState.ProfileNeedsEdit[i], 1u) << "profile " << i + 1;
    }
    EXPECT_EQ(AdapterState.ConfigType, 0u);
}

TEST_F(ProfileListTest, SavingTheDefaultListPublishesItAndDeletesUnnamedProfiles) {
    SeedText(Profile(3), "ConfigName", "");  // a stale subkey with parameters
    SeedText(Profile(3), "DesiredSSID", "stale");
    LoadProfileList();
    SaveProfileList();
    EXPECT_EQ(Value(Profile(1), "ConfigName")->Text(), "Default");
    EXPECT_EQ(Value(Profile(1), "NetworkType")->type, DWORD{REG_DWORD});
    for (int n = 2; n <= 4; ++n) EXPECT_FALSE(KeyExists(Profile(n))) << n;
    EXPECT_EQ(Value(kProductKey, "Config01")->Text(), "Default");
    for (const char* name : {"Config02", "Config03", "Config04"}) {
        const auto published = Value(kProductKey, name);
        ASSERT_TRUE(published) << name;
        EXPECT_EQ(published->type, DWORD{REG_SZ});
        EXPECT_EQ(published->data, std::vector<uint8_t>{0}) << name << " is an empty text";
    }
}

TEST_F(ProfileListTest, LoadsNamesTypesAndTheCurrentProfile) {
    SeedNumber(kDriverKey, "ConfigType", 2);
    SeedText(Profile(1), "ConfigName", "Office");
    SeedNumber(Profile(1), "NetworkType", 1);
    SeedText(Profile(2), "ConfigName", "Home");
    SeedText(Profile(2), "NetworkType", "2");  // written as text by an old installation
    SeedText(Profile(4), "ConfigName", "Lab");
    SeedNumber(Profile(4), "NetworkType", 9);  // no range check on network types
    LoadProfileList();
    EXPECT_EQ(AdapterState.ConfigType, 2u);
    EXPECT_STREQ(AdapterState.ConfigName[0], "Office");
    EXPECT_STREQ(AdapterState.ConfigName[1], "Home");
    EXPECT_STREQ(AdapterState.ConfigName[2], "");
    EXPECT_STREQ(AdapterState.ConfigName[3], "Lab");
    const uint32_t types[] = {1, 2, 0, 9};
    const uint32_t needs_edit[] = {0, 0, 1, 0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(AdapterState.NetworkType[i], types[i]) << i + 1;
        EXPECT_EQ(AdapterState.LastNetworkType[i], types[i]) << i + 1;
        EXPECT_EQ(AdapterState.ProfileNeedsEdit[i], needs_edit[i]) << i + 1;
    }
}

TEST_F(ProfileListTest, MissingValuesKeepWhatMemoryHeld) {
    AdapterState.ConfigType = 3;
    CopyText(AdapterState.ConfigName[1], "Kept");
    AdapterState.NetworkType[1] = 2;
    SeedText(Profile(2), "ConfigName", std::string(256, 'n'));  // does not fit: as if missing
    LoadProfileList();
    EXPECT_EQ(AdapterState.ConfigType, 3u);
    EXPECT_STREQ(AdapterState.ConfigName[1], "Kept");
    EXPECT_EQ(AdapterState.NetworkType[1], 2u);
    EXPECT_EQ(AdapterState.LastNetworkType[1], 2u);
}

TEST_F(ProfileListTest, AProfileThatNeedsEditingStaysMarkedThroughLoads) {
    LoadProfileList();
    ASSERT_EQ(AdapterState.ProfileNeedsEdit[0], 1u) << "Default was empty when loaded";
    // Profile 1 now has a stored name, but the mark set earlier stays until
    // its property sheet is accepted.
    SaveProfileList();
    for (int round = 0; round < 3; ++round) {
        LoadProfileList();
        EXPECT_STREQ(AdapterState.ConfigName[0], "Default");
        EXPECT_EQ(AdapterState.ProfileNeedsEdit[0], 1u) << "round " << round;
    }
    AdapterState.ProfileNeedsEdit[0] = 0;  // the sheet was accepted
    LoadProfileList();
    EXPECT_EQ(AdapterState.ProfileNeedsEdit[0], 0u);
}

TEST_F(ProfileListTest, ClearingANameRemovesTheWholeProfileSubkey) {
    SeedText(Profile(3), "ConfigName", "Third");
    SeedNumber(Profile(3), "SystemScale", 2);
    SeedText(Profile(3) + "\\Extra", "x", "below the profile too");
    LoadProfileList();
    ASSERT_STREQ(AdapterState.ConfigName[2], "Third");
    AdapterState.ConfigName[2][0] = '\0';
    SaveProfileList();
    EXPECT_FALSE(KeyExists(Profile(3)));
    EXPECT_EQ(Value(kProductKey, "Config03")->Text(), "");
}

TEST_F(ProfileListTest, CurrentProfileIsPublishedAsDwordsOnEverySystem) {
    for (uint32_t os_class : {uint32_t{OsWin95}, uint32_t{OsWin98}, uint32_t{OsNT4}, uint32_t{OsWinXP}}) {
        OsClass = os_class;
        LoadProfileList();
        AdapterState.ConfigType = 4;
        CopyText(AdapterState.ConfigName[3], "Fourth");
        AdapterState.NetworkType[3] = 2;
        SaveProfileList();
        for (const auto& [key, name] : {std::pair{kDriverKey, "ConfigType"}, std::pair{kProductKey, "Cur_conf"}}) {
            const auto value = Value(key, name);
            ASSERT_TRUE(value) << name;
            EXPECT_EQ(value->type, DWORD{REG_DWORD}) << name << " on class " << os_class;
            EXPECT_EQ(value->Number(), 4u);
        }
        EXPECT_EQ(Value(Profile(4), "NetworkType")->type, DWORD{REG_DWORD});
        EXPECT_EQ(Value(Profile(4), "NetworkType")->Number(), 2u);
        EXPECT_EQ(Value(kProductKey, "Config04")->Text(), "Fourth");
    }
}

}  // namespace
