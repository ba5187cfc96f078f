// The settings records, their defaults, and number text conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/module_state.h"
#include "store/registry_access.h"
#include "store/settings.h"
#include "ui/key_record.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetModuleState(); }
};

TEST_F(SettingsTest, FreshModuleIsAllZeroButNotConfigured) {
    AdapterState.ConfigType = 3;
    ProfileSettings.RTSThreshold = 9;
    ResetModuleState();
    const ProfileSettingsType zero_profile = {};
    EXPECT_EQ(std::memcmp(&ProfileSettings, &zero_profile, sizeof zero_profile), 0);
    AdapterStateType expected = {};
    expected.NotConfigured = 1;
    EXPECT_EQ(std::memcmp(&AdapterState, &expected, sizeof expected), 0);
}

TEST_F(SettingsTest, ResetProfileDefaultsSetsTheProfileParametersOnly) {
    // Everything different from the defaults first.
    CopyText(ProfileSettings.OwnName, "STATION7");
    CopyText(ProfileSettings.DesiredSSID, "net");
    CopyText(ProfileSettings.OwnSSID, "own");
    CopyText(ProfileSettings.NetworkAddress, "02AABBCCDDEE");
    CopyText(ProfileSettings.Encryption, "x");
    ProfileSettings.SystemScale = 3;
    ProfileSettings.MicroWaveRobustness = 1;
    ProfileSettings.RTSThreshold = 500;
    ProfileSettings.PMEnabled = 1;
    ProfileSettings.CreateIBSS = 1;
    ProfileSettings.APMode = 1;
    ProfileSettings.PortType = 3;
    ProfileSettings.OwnChannel = 10;
    AdapterState.ConfigType = 2;
    AdapterState.NetworkType[1] = NetPeerToPeerGroup;
    KeyRecord.KeyIndex = 3;
    const AdapterStateType adapter_before = AdapterState;
    const KeyRecordType key_before = KeyRecord;

    ResetProfileDefaults();

    EXPECT_STREQ(ProfileSettings.OwnName, "STATION7");
    EXPECT_STREQ(ProfileSettings.DesiredSSID, "");
    EXPECT_STREQ(ProfileSettings.OwnSSID, "");
    EXPECT_STREQ(ProfileSettings.NetworkAddress, "");
    EXPECT_STREQ(ProfileSettings.Encryption, FactoryKeyText);
    EXPECT_EQ(std::strlen(ProfileSettings.Encryption), 102u);
    EXPECT_EQ(ProfileSettings.SystemScale, 1u);
    EXPECT_EQ(ProfileSettings.MicroWaveRobustness, 0u);
    EXPECT_EQ(ProfileSettings.RTSThreshold, 2347u);
    EXPECT_EQ(ProfileSettings.PMEnabled, 0u);
    EXPECT_EQ(ProfileSettings.CreateIBSS, 0u);
    EXPECT_EQ(ProfileSettings.APMode, 0u);
    EXPECT_EQ(ProfileSettings.PortType, 1u);
    EXPECT_EQ(ProfileSettings.OwnChannel, 1u) << "even for a peer-to-peer profile";
    EXPECT_EQ(std::memcmp(&AdapterState, &adapter_before, sizeof AdapterState), 0);
    EXPECT_EQ(std::memcmp(&KeyRecord, &key_before, sizeof KeyRecord), 0);
}

TEST(CopyText, TruncatesToTheBufferAndTerminates) {
    char small[4] = {'x', 'x', 'x', 'x'};
    CopyText(small, "abcdef");
    EXPECT_STREQ(small, "abc");
    CopyText(small, "");
    EXPECT_STREQ(small, "");
}

TEST(DecimalTextValue, ReadsLikeTheDriverWritesNumbers) {
    struct Case {
        std::string text;
        uint32_t value;
    } cases[] = {
        {"  42", 42},
        {"-1", 4294967295u},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"+7", 7},
        {"\t\r\n 5", 5},
        {"- 5", 0},
        {"--5", 0},
        {"2347", 2347},
        {"4294967295", 4294967295u},
        {"-2147483648", 0x80000000u},
        // Out of range saturates rather than wrapping into a plausible value.
        {"4294967296", 4294967295u},
        {"99999999999999999999", 4294967295u},
        {"-99999999999", 0x80000000u},
    };
    for (const Case& c : cases) EXPECT_EQ(DecimalTextValue(c.text.c_str(), c.text.size()), c.value) << c.text;
    // The length bounds the text even without a terminator.
    const char unterminated[4] = {'1', '2', '3', '4'};
    EXPECT_EQ(DecimalTextValue(unterminated, 2), 12u);
}

}  // namespace
