// The driver channel against the simulated card: every opener, the connect
// retries, the range check, the get-record copy rules and the disconnect.
#include "adapter/driver_channel.h"

#include <chrono>
#include <cstring>
#include <string>

#include "card_fixture.h"
#include "core/os_detect.h"
#ifndef _WIN32
#include "hostctl.h"
#endif

namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Dword(const uint8_t* p) { return Word(p) | static_cast<uint32_t>(Word(p + 2)) << 16; }

bool DosNameDefined(const char* name) {
    char target[260];
    return QueryDosDeviceA(name, target, sizeof target) != 0;
}

class DriverChannelTest : public CardTest {};

TEST_F(DriverChannelTest, EveryOpenerConnectsWithItsPlatformNumber) {
    struct Case {
        const char* what;
        uint32_t os_class;
        const char* dos_name;  // linked by the driver; nullptr: the NT device below
        const char* nt_device;
        uint32_t platform;
        uint32_t name_defined;
    } cases[] = {
        {"Windows 95, its own VxD", OsWin95, "SUKES41.VXD", nullptr, 41, 0},
        {"Windows 95, the common VxD", OsWin95, "SUKES51.VXD", nullptr, 41, 0},
        {"Windows 98, its own VxD", OsWin98, "SUKES48.VXD", nullptr, 48, 0},
        {"Windows 98, the common VxD", OsWin98, "SUKES51.VXD", nullptr, 48, 0},
        {"NT 4.0, first service", OsNT4, nullptr, "SLKES521", 52, 1},
        {"NT 4.0, fourth service", OsNT4, nullptr, "SLKES524", 52, 1},
        {"NT 4.0, a DOS name that already exists", OsNT4, "SLKES523", nullptr, 52, 0},
    };
    for (const Case& c : cases) {
        card.Reset();
        OsClass = c.os_class;
        if (c.dos_name) card.LinkDosName(c.dos_name);
        if (c.nt_device) card.AddNtDevice(c.nt_device);
        ASSERT_EQ(OpenDriverChannel("KES"), ChannelOk) << c.what;
        EXPECT_EQ(DriverChannel.PlatformNumber, c.platform) << c.what;
        EXPECT_EQ(DriverChannel.NameDefined, c.name_defined) << c.what;
        const cardsim::CardState open = card.State();
        EXPECT_NE(open.connection_id, 0u);
        EXPECT_EQ(DriverChannel.Block.ConnectionId, open.connection_id) << c.what;
        if (c.nt_device) {
            EXPECT_TRUE(DosNameDefined(c.nt_device)) << "the channel keeps its definition while open";
        }
        CloseDriverChannel();
        EXPECT_EQ(card.State().disconnects, 1u) << c.what;
        EXPECT_EQ(card.State().connection_id, 0u) << c.what;
        if (c.nt_device) {
            EXPECT_FALSE(DosNameDefined(c.nt_device)) << "closing removes the definition";
        }
    }
}

TEST_F(DriverChannelTest, Windows2000AndXpOpenTheAdaptersInstanceId) {
    for (uint32_t os_class : {uint32_t{OsWin2000}, uint32_t{OsWinXP}}) {
        card.Reset();
        PresentCard(os_class);
        ASSERT_EQ(OpenDriverChannel("KES"), ChannelOk) << os_class;
        EXPECT_EQ(DriverChannel.PlatformNumber, 48u);
        EXPECT_STREQ(ChannelDeviceName, kInstanceId.c_str());
        EXPECT_EQ(std::string(ChannelDevicePath), "\\\\.\\" + kInstanceId);
        CloseDriverChannel();
        TearDown();
        SetUp();
    }
}

TEST_F(DriverChannelTest, AnEmptyOrOverlongInstanceIdMeansNoDevice) {
    OsClass = OsWinXP;
    // Empty; longer than the texts hold (counts as absent); the longest that
    // is read, which names no device.
    for (const std::string& id : {std::string(), std::string(300, 'I'), std::string(255, 'I')}) {
        InstallAdapter(OsWinXP, id);
        EXPECT_EQ(OpenDriverChannel("KES"), ChannelNone) << id.size();
        CloseDriverChannel();
    }
    EXPECT_EQ(card.State().device_calls, 0u);
}

TEST_F(DriverChannelTest, NoOpenerForTheClassMeansNoDeviceCall) {
    card.LinkDosName("SUKES41.VXD");
    card.LinkDosName("SUKES48.VXD");
    for (uint32_t os_class : {0u, 16u, 64u}) {
        OsClass = os_class;
        EXPECT_EQ(OpenDriverChannel("KES"), ChannelNone) << os_class;
        CloseDriverChannel();
    }
    EXPECT_EQ(card.State().device_calls, 0u);
}

TEST_F(DriverChannelTest, VxdWhoseProbeFailsIsJudgedByTheConnectBlock) {
    PresentCard(OsWin95);
    cardsim::Faults faults = {};
    faults.fail_call_number = 1;
    card.SetFaults(faults);
    // The connect block never held an answer: connection id 0, no channel.
    EXPECT_EQ(OpenDriverChannel("KES"), ChannelNone);
    EXPECT_EQ(DriverChannel.PlatformNumber, 0u);
    CloseDriverChannel();

    // After a good exchange the block keeps that answer, so a failing probe
    // goes ahead with the old connection id, which the card no longer knows:
    // its range answer says so.
    card.Reset();
    PresentCard(OsWin95);
    ASSERT_EQ(OpenDriverChannel("KES"), ChannelOk);
    CloseDriverChannel();
    faults.fail_call_number = card.State().device_calls + 1;
    card.SetFaults(faults);
    EXPECT_EQ(OpenDriverChannel("KES"), cardsim::StatusNotConnected);
    EXPECT_EQ(DriverChannel.PlatformNumber, 41u);
    CloseDriverChannel();
}

TEST_F(DriverChannelTest, Nt4SkipsANameWithoutDeviceAndDefinesTheNext) {
    // SLKES521 exists as a DOS name but nothing answers behind it; SLKES522
    // is only an NT device, so the channel defines its DOS name.
    ASSERT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH, "SLKES521", "\\Device\\SnkesNoSuchDevice"));
    card.AddNtDevice("SLKES522");
    OsClass = OsNT4;
    EXPECT_EQ(OpenDriverChannel("KES"), ChannelOk);
    EXPECT_STREQ(ChannelDeviceName, "SLKES522");
    EXPECT_EQ(DriverChannel.NameDefined, 1u);
    EXPECT_STREQ(ChannelDosTarget, "\\Device\\SLKES522");
    CloseDriverChannel();
    EXPECT_FALSE(DosNameDefined("SLKES522"));
    EXPECT_TRUE(DosNameDefined("SLKES521")) << "a name the applet did not define stays";
    EXPECT_TRUE(DefineDosDeviceA(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                                 "SLKES521", "\\Device\\SnkesNoSuchDevice"));
}

TEST_F(DriverChannelTest, Nt4WithoutAnyAnsweringDeviceLeavesNoDefinition) {
    OsClass = OsNT4;
    EXPECT_EQ(OpenDriverChannel("KES"), ChannelNone);
    CloseDriverChannel();  // the fixture checks that SLKES521..9 are all undefined
}

#ifndef _WIN32
// Wine's DOS device table cannot be made to fail a query; the host can.
TEST_F(DriverChannelTest, Nt4StopsWhenTheNameQueryFailsForAnotherReason) {
    card.AddNtDevice("SLKES522");
    hostwin::SetDosDeviceQueryError("SLKES521", ERROR_ACCESS_DENIED);
    OsClass = OsNT4;
    EXPECT_EQ(OpenDriverChannel("KES"), ChannelNone);
    EXPECT_EQ(card.State().device_calls, 0u) << "digits 2 to 9 are not tried";
    CloseDriverChannel();
}

TEST_F(DriverChannelTest, Nt4StopsWhenItCannotDefineTheName) {
    card.AddNtDevice("SLKES521");
    hostwin::SetDefineDosDeviceFails(true);
    OsClass = OsNT4;
    EXPECT_EQ(OpenDriverChannel("KES"), ChannelNone);
    hostwin::SetDefineDosDeviceFails(false);
    CloseDriverChannel();
    EXPECT_EQ(card.State().device_calls, 0u);
}
#endif

TEST_F(DriverChannelTest, BusyTenTimesGivesUpAfterTenPauses) {
    PresentCard(OsWinXP);
    cardsim::Faults faults = {};
    faults.busy_answers = 10;
    card.SetFaults(faults);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(OpenDriverChannel("KES"), ChannelBusy);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(DriverChannel.PlatformNumber, 0u);
    EXPECT_EQ(DriverChannel.Device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(card.State().connects, 10u);
    EXPECT_EQ(card.State().device_calls, 10u);
#ifndef _WIN32
    EXPECT_EQ(hostwin::SleepCalls(), std::vector<uint32_t>(10, 100));
    EXPECT_LT(elapsed, std::chrono::milliseconds(500)) << "the host clock is virtual in tests";
#else
    // Wine's Sleep is real: ten pauses of 100 ms.
    EXPECT_GE(elapsed, std::chrono::milliseconds(950));
#endif
    CloseDriverChannel();
    EXPECT_EQ(card.State().device_calls, 10u) << "nothing to disconnect";
}

TEST_F(DriverChannelTest, BusyNineTimesConnectsAtTheTenthAttempt) {
    PresentCard(OsNT4);
    cardsim::Faults faults = {};
    faults.busy_answers = 9;
    card.SetFaults(faults);
    EXPECT_EQ(OpenDriverChannel("KES"), ChannelOk);
    EXPECT_EQ(card.State().connects, 10u);
#ifndef _WIN32
    EXPECT_EQ(hostwin::SleepCalls().size(), 9u);
#endif
    CloseDriverChannel();
}

TEST_F(DriverChannelTest, ConnectAnswersThatEndTheOpen) {
    struct Case {
        const char* what;
        uint16_t connect_status;
        uint32_t id_zero;
        int result;
    } cases[] = {
        {"connection id 0", 0, 1, 66},
        {"status 3", 3, 0, 3},
        {"status 65535", 65535, 0, 65535},
        {"status 8", 8, 0, 8},
    };
    for (const Case& c : cases) {
        card.Reset();
        PresentCard(OsWin98);
        cardsim::Faults faults = {};
        faults.connect_status = c.connect_status;
        faults.connect_id_zero = c.id_zero;
        card.SetFaults(faults);
        EXPECT_EQ(OpenDriverChannel("KES"), c.result) << c.what;
        EXPECT_EQ(DriverChannel.PlatformNumber, 0u) << c.what;
        EXPECT_EQ(card.State().connects, 1u) << c.what << ": no further attempt";
        CloseDriverChannel();
        EXPECT_EQ(card.State().disconnects, 0u) << c.what;
    }
}

TEST_F(DriverChannelTest, RangeCheckWantsAnOverlapWithASupportedFamily) {
    struct Case {
        uint16_t platform, lowest, highest;
        int result;
    } cases[] = {
        {48, 1, 99, 0},  {41, 1, 99, 0},   {46, 50, 60, 0},   {51, 99, 200, 0}, {52, 0, 1, 0},
        {47, 1, 99, 65}, {48, 100, 120, 65}, {52, 0, 0, 65}, {0, 1, 99, 65},  {53, 1, 99, 65},
    };
    for (const Case& c : cases) {
        card.Reset();
        PresentCard(OsWinXP);
        card.SetIdentity({c.platform, c.lowest, c.highest, 1, 6, 41});
        EXPECT_EQ(OpenDriverChannel("KES"), c.result) << c.platform << " " << c.lowest << ".." << c.highest;
        EXPECT_NE(DriverChannel.PlatformNumber, 0u) << "the channel is open after the range check";
        CloseDriverChannel();
        EXPECT_EQ(card.State().disconnects, 1u);
    }
}

TEST_F(DriverChannelTest, RangeAnswersThatAreShortRefusedOrFailed) {
    struct Case {
        const char* what;
        uint16_t short_length;  // words of a short answer, 0: a full one
        uint16_t status;        // status of the answer
        uint32_t fail_call;     // the device call that fails, 0: none
        int result;
    } cases[] = {
        {"short: the platform word is missing", 3, 0, 0, 65},
        {"status 8: copied, and the result", 0, 8, 0, 8},
        {"status 9", 0, 9, 0, 9},
        {"the device call fails", 0, 0, 2, 66},
    };
    for (const Case& c : cases) {
        card.Reset();
        PresentCard(OsWinXP);
        cardsim::Faults faults = {};
        if (c.short_length) {
            faults.short_record_type = 0x0827;
            faults.short_length = c.short_length;
        }
        if (c.status) {
            faults.status_record_type = 0x0827;
            faults.status_value = c.status;
        }
        faults.fail_call_number = c.fail_call;
        card.SetFaults(faults);
        EXPECT_EQ(OpenDriverChannel("KES"), c.result) << c.what;
        EXPECT_EQ(DriverChannel.PlatformNumber, 48u) << c.what;
        CloseDriverChannel();
        EXPECT_EQ(card.State().disconnects, 1u) << c.what;
    }
}

TEST_F(DriverChannelTest, GetRecordCopiesNoMoreThanBothSidesHold) {
    PresentCard(OsWinXP);
    ASSERT_EQ(OpenDriverChannel("KES"), ChannelOk);
    // Room for three words; the identity answer has five.
    uint16_t small[6] = {3, 0x0826, 0xAAAA, 0xAAAA, 0xBBBB, 0xBBBB};
    EXPECT_EQ(GetRecord(small), ChannelOk);
    EXPECT_EQ(small[0], 5) << "the length word is the driver's";
    EXPECT_EQ(small[1], 0x0826);
    EXPECT_EQ(small[2], 0);
    EXPECT_EQ(small[3], 1) << "the variant";
    EXPECT_EQ(small[4], 0xBBBB) << "beyond the room nothing is written";

    // A driver that claims 0xFFFF words: the room of a full record, no more.
    cardsim::Faults faults = {};
    faults.long_record_type = 0x0826;
    faults.long_length = 0xFFFF;
    card.SetFaults(faults);
    std::vector<uint16_t> full(kMaxRecordWords + 1 + 8, 0xCCCC);
    full[0] = kMaxRecordWords;
    full[1] = 0x0826;
    EXPECT_EQ(GetRecord(full.data()), ChannelOk);
    EXPECT_EQ(full[0], 0xFFFF);
    for (size_t i = kMaxRecordWords + 1; i < full.size(); ++i) EXPECT_EQ(full[i], 0xCCCC) << i;

    // A caller that claims room for 0xFFFF words, answered with 0xFFFF: the
    // block carries at most 4097 words behind the length word, so no more
    // are copied, however much room both sides claim.
    std::vector<uint16_t> huge(0xFFFF + 1, 0xCCCC);
    huge[0] = 0xFFFF;
    huge[1] = 0x0826;
    EXPECT_EQ(GetRecord(huge.data()), ChannelOk);
    EXPECT_EQ(huge[0], 0xFFFF);
    EXPECT_EQ(huge[kMaxRecordWords], cardsim::kLongFillWord) << "the last word the block carries";
    for (size_t i = kMaxRecordWords + 1; i < huge.size(); ++i) ASSERT_EQ(huge[i], 0xCCCC) << i;

    // A status other than 0 and 8 copies nothing.
    faults = {};
    faults.status_record_type = 0x0826;
    faults.status_value = 9;
    card.SetFaults(faults);
    uint16_t refused[6] = {5, 0x0826, 0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
    EXPECT_EQ(GetRecord(refused), 9);
    EXPECT_EQ(refused[0], 5);
    EXPECT_EQ(refused[3], 0xAAAA);
    CloseDriverChannel();
}

TEST_F(DriverChannelTest, DisconnectRequestBytes) {
    PresentCard(OsWinXP);
    ASSERT_EQ(OpenDriverChannel("KES"), ChannelOk);
    const uint32_t id = card.State().connection_id;
    CloseDriverChannel();
    const cardsim::CardState state = card.State();
    ASSERT_EQ(state.log_count, 3u) << DescribeRequests(state);  // connect, range, disconnect
    const cardsim::LoggedRequest& request = state.log[2];
    EXPECT_EQ(request.ioctl_code, 0x00170002u);
    EXPECT_EQ(request.oid, 0xFF020401u);
    EXPECT_EQ(request.out_size, 8204u);
    EXPECT_EQ(Dword(request.block), id);
    EXPECT_EQ(Word(request.block + 4), 69);
    EXPECT_EQ(Word(request.block + 6), 1);
    EXPECT_EQ(Word(request.block + 8), 0);
    EXPECT_EQ(Word(request.block + 10), 0);
    // The connect and the range read, for completeness of the exchange.
    EXPECT_EQ(Word(state.log[0].block + 6), 0);
    EXPECT_EQ(Word(state.log[1].block + 6), 4);
    EXPECT_EQ(Word(state.log[1].block + 8), 6);
    EXPECT_EQ(Word(state.log[1].block + 10), 0x0827);
    EXPECT_EQ(Word(state.log[1].block + 12), 0xFFFF);
    EXPECT_EQ(Dword(state.log[1].block), id);
}

TEST_F(DriverChannelTest, ClosingAClosedChannelSendsNothing) {
    PresentCard(OsWinXP);
    CloseDriverChannel();
    CloseDriverChannel();
    EXPECT_EQ(card.State().device_calls, 0u);
    EXPECT_EQ(DriverChannel.Device, INVALID_HANDLE_VALUE);
    // A get on the closed channel reaches the device call with the invalid
    // handle, which fails.
    uint16_t record[3] = {2, 0x0826, 0};
    EXPECT_EQ(GetRecord(record), ChannelNone);
}

// A hostile or broken driver may answer any status word. The host runs every
// value; under Wine each answer is a round trip through the test driver, so a
// spread of values stands in for the rest.
std::vector<uint16_t> StatusWords() {
    std::vector<uint16_t> words;
#ifdef _WIN32
    for (uint16_t w : {1, 2, 3, 7, 8, 9, 63, 64, 65, 66, 67, 69, 70, 127, 128, 254, 255, 256, 4097, 32767, 32768,
                       65534, 65535}) {
        words.push_back(w);
    }
#else
    for (uint32_t w = 1; w <= 0xFFFF; ++w) words.push_back(static_cast<uint16_t>(w));
#endif
    return words;
}

TEST_F(DriverChannelTest, EveryConnectStatusEndsTheOpenWithThatStatus) {
    PresentCard(OsWin95);
    for (uint16_t status : StatusWords()) {
        if (status == 68) continue;  // busy: retried, tested above
        cardsim::Faults faults = {};
        faults.connect_status = status;
        card.SetFaults(faults);
        ASSERT_EQ(OpenDriverChannel("KES"), status);
        ASSERT_EQ(DriverChannel.PlatformNumber, 0u) << status;
        CloseDriverChannel();
    }
}

TEST_F(DriverChannelTest, EveryRangeAnswerStatusIsTheResultAndTheChannelStaysOpen) {
    PresentCard(OsWin98);
    for (uint16_t status : StatusWords()) {
        cardsim::Faults faults = {};
        faults.status_record_type = 0x0827;
        faults.status_value = status;
        card.SetFaults(faults);
        ASSERT_EQ(OpenDriverChannel("KES"), status);
        ASSERT_EQ(DriverChannel.PlatformNumber, 48u) << status;
        CloseDriverChannel();
    }
}

}  // namespace
