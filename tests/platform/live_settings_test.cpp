// Adapter information and the live transfer of the settings to the card.
#include "adapter/live_settings.h"

#include <cstring>
#include <string>
#include <vector>

#include "adapter/adapter_info.h"
#include "adapter/driver_channel.h"
#include "card_fixture.h"
#include "core/os_detect.h"
#include "store/settings.h"

namespace {

std::string Hex(const uint8_t* bytes, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

std::string HexText(const std::string& text) { return Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

// Where a put request's value starts in a logged block: connection id,
// status, command, length, type.
constexpr size_t kLoggedValueOffset = 12;

// The value bytes of the last put of `type` as the card received them (as
// far as the log keeps them), or nothing.
std::string ReceivedValue(const cardsim::CardState& state, uint16_t type, size_t bytes) {
    std::string found;
    const uint32_t n = state.log_count < cardsim::kLogSize ? state.log_count : cardsim::kLogSize;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* b = state.log[i].block;
        const uint16_t command = static_cast<uint16_t>(b[6] | b[7] << 8);
        const uint16_t record_type = static_cast<uint16_t>(b[10] | b[11] << 8);
        if (command == TunnelPutRecord && record_type == type)
            found.assign(reinterpret_cast<const char*>(b + kLoggedValueOffset), bytes);
    }
    return found;
}

// A settings text with something other than zeros behind its terminator, as
// a buffer that once held a longer text has.
template <size_t N>
void CopyTextOverLeftovers(char (&buffer)[N], const std::string& text) {
    std::memset(buffer, 'Z', N);
    CopyText(buffer, text.c_str());
}

class LiveSettingsTest : public CardTest {
protected:
    void SetUp() override {
        CardTest::SetUp();
        PresentCard(OsWinXP);
        ResetProfileDefaults();
        ProfileSettings.OwnChannel = 10;
        ProfileSettings.PortType = 1;
        ProfileSettings.SystemScale = 2;
        ProfileSettings.RTSThreshold = 2347;
        ProfileSettings.PMEnabled = 1;
        ProfileSettings.MicroWaveRobustness = 1;
        ProfileSettings.CreateIBSS = 1;
        ProfileSettings.APMode = 2;
        CopyText(ProfileSettings.DesiredSSID, "ANY");
        CopyText(ProfileSettings.OwnSSID, "0123456789abcdefghijklmnopqrstuv");  // 32 characters
        AdapterState.DriverEnable = 1;
    }
};

TEST_F(LiveSettingsTest, TwelveRecordsAndTheControlRequestByteForByte) {
    const ProfileSettingsType before = ProfileSettings;
    EXPECT_EQ(WriteLiveSettings(), 0);
    const cardsim::CardState state = card.State();
    ASSERT_EQ(state.log_count, 16u) << DescribeRequests(state);
    EXPECT_EQ(DescribeRequests(state),
              "0:0000 4:0827 5:FC03 5:FC00 5:FC06 5:FC83 5:FC09 5:FC25 5:FC81 5:FC02 5:FC04 5:0900 5:0901 5:0902 "
              "2:0080 1:0000");

    // Each request from its status word on: status, command, length, type,
    // value (the value as far as the log keeps it).
    EXPECT_NE(Hex(state.log[1].block, 4), "00000000");
    const std::string factory = HexText(std::string(FactoryKeyText, 102));
    const std::string golden[] = {
        "0000" "0500" "0200" "03FC" "0A00",
        "0000" "0500" "0200" "00FC" "0100",
        "0000" "0500" "0200" "06FC" "0200",
        "0000" "0500" "0200" "83FC" "2B09",
        "0000" "0500" "0200" "09FC" "0100",
        "0000" "0500" "0200" "25FC" "0100",
        "0000" "0500" "0200" "81FC" "0100",
        "0000" "0500" "1200" "02FC" "0000" "00" + std::string(62, '0'),
        "0000" "0500" "1200" "04FC" "2000" + HexText("0123456789abcdefghijklmnopqrstuv"),
        "0000" "0500" "3400" "0009" + factory.substr(0, 2 * cardsim::kLoggedValueBytes),
        "0000" "0500" "0200" "0109" "0000",
        "0000" "0500" "0200" "0209" "0100",
        "0000" "0200" "0110" "8000",
    };
    for (size_t i = 0; i < std::size(golden); ++i) {
        const cardsim::LoggedRequest& request = state.log[2 + i];
        EXPECT_EQ(request.out_size, 8204u);
        EXPECT_EQ(request.oid, 0xFF020401u);
        EXPECT_EQ(Hex(request.block, 4), Hex(state.log[1].block, 4)) << "the connection id, request " << i + 1;
        EXPECT_EQ(Hex(request.block + 4, golden[i].size() / 2), golden[i]) << "request " << i + 1;
    }
    // The card received it all and made it active.
    EXPECT_EQ(state.activations, 1u);
    EXPECT_EQ(state.active.own_channel, 10);
    EXPECT_EQ(state.active.rts_threshold, 2347);
    EXPECT_EQ(state.active.desired_ssid.count, 0);
    EXPECT_EQ(state.active.own_ssid.count, 32);
    EXPECT_STREQ(state.active.encryption, FactoryKeyText);
    EXPECT_EQ(state.active.base_station, 0) << "APMode 2 is no base station";
    EXPECT_EQ(state.active.driver_enable, 1);
    EXPECT_EQ(std::memcmp(&before, &ProfileSettings, sizeof before), 0) << "the settings are left as they were";
}

TEST_F(LiveSettingsTest, NetworkNames) {
    struct Case {
        std::string name;
        uint16_t count;
        std::string sent;
    } cases[] = {
        {"ANY", 0, ""},
        {"any", 0, ""},
        {"Any", 3, "Any"},
        {"", 0, ""},
        {"home", 4, "home"},
        {std::string(32, 'n'), 32, std::string(32, 'n')},
        {std::string(255, 'x'), 32, std::string(32, 'x')},
    };
    for (const Case& c : cases) {
        card.Reset();
        PresentCard(OsWinXP);
        CopyTextOverLeftovers(ProfileSettings.DesiredSSID, c.name);
        CopyTextOverLeftovers(ProfileSettings.OwnSSID, c.name);
        WriteLiveSettings();
        const cardsim::CardState state = card.State();
        EXPECT_EQ(state.active.desired_ssid.count, c.name == "ANY" || c.name == "any" ? 0 : c.count) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(state.active.desired_ssid.chars),
                              state.active.desired_ssid.count),
                  c.sent);
        EXPECT_EQ(state.active.own_ssid.count, c.name == "ANY" || c.name == "any" ? 3 : c.count) << c.name;
        // The record as it went to the card: the count word, the characters,
        // and zeros behind a short name up to the record's 32 characters. The
        // simulator's decoded names are zero-filled whatever arrived, so the
        // raw bytes are what shows it.
        const std::string own = c.name == "ANY" || c.name == "any" ? c.name : c.sent;
        for (const auto& [type, sent] : {std::pair{RecordDesiredSsid, c.sent}, std::pair{RecordOwnSsid, own}}) {
            std::string expected(2 + kNameValueChars, '\0');
            expected[0] = static_cast<char>(sent.size());
            expected.replace(2, sent.size(), sent);
            EXPECT_EQ(HexText(ReceivedValue(state, type, expected.size())), HexText(expected))
                << c.name << ", record " << std::hex << type;
        }
    }
}

TEST_F(LiveSettingsTest, BaseStationWordAndAKeyTextOfTheWrongLength) {
    struct Case {
        uint32_t ap_mode;
        uint16_t base_station;
    } cases[] = {{0, 0}, {1, 1}, {2, 0}, {5, 0}};
    for (const Case& c : cases) {
        card.Reset();
        PresentCard(OsWinXP);
        ProfileSettings.APMode = c.ap_mode;
        CopyText(ProfileSettings.Encryption, "short");
        WriteLiveSettings();
        EXPECT_EQ(card.State().active.base_station, c.base_station) << c.ap_mode;
        // Sent as far as it goes and zero-filled: the buffer's leftovers
        // behind the terminator (the factory key here) never reach the card.
        std::string expected(kEncodedKeyTextLength, '\0');
        expected.replace(0, 5, "short");
        EXPECT_EQ(ReceivedValue(card.State(), RecordEncryption, kEncodedKeyTextLength), expected);
    }
}

TEST_F(LiveSettingsTest, ARefusedRecordDoesNotStopTheRest) {
    cardsim::Faults faults = {};
    faults.status_record_type = 0xFC06;
    faults.status_value = 9;
    card.SetFaults(faults);
    WriteLiveSettings();
    const cardsim::CardState state = card.State();
    EXPECT_EQ(state.log_count, 16u) << DescribeRequests(state);
    EXPECT_EQ(state.activations, 1u);
    EXPECT_EQ(state.active.driver_enable, 1);
    EXPECT_EQ(state.active.records & (1u << 2), 0u) << "the refused record was not taken";
    EXPECT_EQ(state.active.records, 0xFFFu & ~(1u << 2));
}

TEST_F(LiveSettingsTest, ADeviceCallThatFailsHalfwayThrough) {
    // Calls: 1 connect, 2 range, 3 to 14 the twelve puts, 15 control, 16
    // disconnect. Whichever fails, the rest are still made and the channel
    // ends closed.
    struct Case {
        uint32_t failing_call;
        uint32_t records;  // what the card took
        uint32_t activations;
    } cases[] = {
        {6, cardsim::RecordBitsAll & ~cardsim::RecordBitRtsThreshold, 1},
        {12, cardsim::RecordBitsAll & ~cardsim::RecordBitEncryption, 1},
        {15, cardsim::RecordBitsAll, 0},
        {16, cardsim::RecordBitsAll, 1},
    };
    for (const Case& c : cases) {
        card.Reset();
        PresentCard(OsWinXP);
        cardsim::Faults faults = {};
        faults.fail_call_number = c.failing_call;
        card.SetFaults(faults);
        WriteLiveSettings();
        const cardsim::CardState state = card.State();
        EXPECT_EQ(state.device_calls, 16u) << c.failing_call << ": " << DescribeRequests(state);
        EXPECT_EQ(state.received.records, c.records) << c.failing_call;
        EXPECT_EQ(state.activations, c.activations) << c.failing_call;
    }
}

TEST_F(LiveSettingsTest, ADriverOfAnotherVersionInRangeStillReceivesTheSettings) {
    card.SetIdentity({48, 1, 99, 1, 6, 40});
    WriteLiveSettings();
    EXPECT_EQ(card.State().activations, 1u);
}

TEST_F(LiveSettingsTest, NoDriverOrOutOfRangeSendsNothing) {
    card.SetIdentity({47, 1, 99, 1, 6, 41});
    WriteLiveSettings();
    EXPECT_EQ(DescribeRequests(card.State()), "0:0000 4:0827 1:0000");
    card.Reset();  // no names: no device at all
    WriteLiveSettings();
    EXPECT_EQ(card.State().device_calls, 0u);
}

TEST_F(LiveSettingsTest, PutAndControlOnAClosedChannelReachNoDevice) {
    const uint16_t record[3] = {2, 0xFC03, 1};
    EXPECT_EQ(PutRecord(record), ChannelNone);
    EXPECT_EQ(SendControl(kControlActivateSettings), ChannelNone);
    EXPECT_EQ(card.State().device_calls, 0u);
}

TEST_F(LiveSettingsTest, PutRecordOfLengthZeroCopiesNothing) {
    ASSERT_EQ(OpenDriverChannel("KES"), ChannelOk);
    const uint16_t record[2] = {0, 0xFC03};  // no value words at all
    PutRecord(record);
    const cardsim::CardState state = card.State();
    ASSERT_EQ(state.log_count, 3u);
    EXPECT_EQ(Hex(state.log[2].block + 6, 6), "0500" "0000" "03FC");
    CloseDriverChannel();
}

class AdapterInfoTest : public CardTest {};

TEST_F(AdapterInfoTest, OnlineOnlyForTheSupportedVersion) {
    struct Case {
        const char* what;
        cardsim::Identity identity;
        uint32_t online;
        uint16_t variant, major, minor;
    } cases[] = {
        {"6.41", {48, 1, 99, 1, 6, 41}, 1, 1, 6, 41},
        {"6.40", {48, 1, 99, 1, 6, 40}, 0, 1, 6, 40},
        {"variant 2", {48, 1, 99, 2, 6, 41}, 0, 2, 6, 41},
        {"7.41", {48, 1, 99, 1, 7, 41}, 0, 1, 7, 41},
    };
    for (const Case& c : cases) {
        card.Reset();
        PresentCard(OsWinXP);
        card.SetIdentity(c.identity);
        ReadAdapterInfo();
        EXPECT_EQ(AdapterInfo.DriverOnline, c.online) << c.what;
        EXPECT_EQ(AdapterInfo.ReportedVariant, c.variant) << c.what;
        EXPECT_EQ(AdapterInfo.ReportedMajor, c.major) << c.what;
        EXPECT_EQ(AdapterInfo.ReportedMinor, c.minor) << c.what;
        EXPECT_EQ(card.State().log_count, 4u) << "connect, range, identity, disconnect";
    }
}

TEST_F(AdapterInfoTest, AFailedOpenKeepsTheReportedNumbers) {
    AdapterInfo = {1, 1, 6, 40};
    // No device.
    OsClass = OsWinXP;
    ReadAdapterInfo();
    EXPECT_EQ(AdapterInfo.DriverOnline, 0u);
    EXPECT_EQ(AdapterInfo.ReportedMinor, 40);
    // Out of range.
    PresentCard(OsWinXP);
    card.SetIdentity({47, 1, 99, 1, 6, 41});
    ReadAdapterInfo();
    EXPECT_EQ(AdapterInfo.DriverOnline, 0u);
    EXPECT_EQ(AdapterInfo.ReportedMinor, 40);
}

TEST_F(AdapterInfoTest, AnIdentityAnswerThatFailsGivesZeros) {
    PresentCard(OsWin95);
    cardsim::Faults faults = {};
    faults.status_record_type = 0x0826;
    faults.status_value = 9;
    card.SetFaults(faults);
    AdapterInfo = {0, 1, 6, 41};
    ReadAdapterInfo();
    EXPECT_EQ(AdapterInfo.DriverOnline, 0u);
    EXPECT_EQ(AdapterInfo.ReportedVariant, 0);
    EXPECT_EQ(AdapterInfo.ReportedMinor, 0);
}

}  // namespace
