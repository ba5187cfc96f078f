// The test card through the backend's own CreateFileA and DeviceIoControl:
// the host layer's device namespace, or under wine64 the kernel-mode test
// driver. What these tests show holds for every test built on TestCard.
#include "test_card.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win.h"

namespace {

using namespace cardsim;

uint16_t Word(const std::vector<uint8_t>& b, size_t off) {
    return static_cast<uint16_t>(b[off] | b[off + 1] << 8);
}
uint32_t Dword(const std::vector<uint8_t>& b, size_t off) {
    return Word(b, off) | static_cast<uint32_t>(Word(b, off + 2)) << 16;
}
void SetWord(std::vector<uint8_t>& b, size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

struct Answer {
    bool ok = false;
    DWORD error = 0;
    DWORD returned = 0;
    std::vector<uint8_t> block;
    uint16_t status() const { return Word(block, 4); }
};

// A DOS device definition that is removed again however the test ends: under
// wine64 the programs share one prefix, and a name left defined would show
// in the next program.
struct Definition {
    Definition(const char* name, const char* target) : name_(name), target_(target) {
        defined = DefineDosDeviceA(DDD_RAW_TARGET_PATH, name, target) != FALSE;
        error = defined ? 0 : GetLastError();
    }
    ~Definition() {
        if (defined) Remove();
    }
    bool Remove() {
        defined = false;
        return DefineDosDeviceA(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, name_.c_str(),
                                target_.c_str()) != FALSE;
    }
    bool defined;
    DWORD error;

private:
    std::string name_, target_;
};

class TestCardTest : public ::testing::Test {
protected:
    void SetUp() override { card.Reset(); }
    void TearDown() override {
        for (HANDLE h : handles_) CloseHandle(h);
        card.Reset();
    }

    HANDLE Open(const std::string& name) {
        const std::string path = "\\\\.\\" + name;
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) handles_.push_back(h);
        return h;
    }

    // One request block through the tunnel code and OID.
    static Answer Exchange(HANDLE h, uint32_t id, uint16_t status, uint16_t command, uint16_t length, uint16_t type,
                           const std::vector<uint16_t>& values = {}, DWORD code = kIoctlQueryGlobalStats) {
        Answer a;
        a.block.assign(kBlockSize, 0);
        for (int i = 0; i < 4; ++i) a.block[i] = static_cast<uint8_t>(id >> (8 * i));
        SetWord(a.block, 4, status);
        SetWord(a.block, 6, command);
        SetWord(a.block, 8, length);
        SetWord(a.block, 10, type);
        for (size_t i = 0; i < values.size(); ++i) SetWord(a.block, 12 + 2 * i, values[i]);
        uint8_t oid[4] = {0x01, 0x04, 0x02, 0xFF};
        SetLastError(0);
        a.ok = DeviceIoControl(h, code, oid, sizeof oid, a.block.data(), kBlockSize, &a.returned, nullptr) != FALSE;
        a.error = a.ok ? 0 : GetLastError();
        return a;
    }
    static uint32_t Connect(HANDLE h) {
        const Answer a = Exchange(h, 0, 0, CmdConnect, 0, 0);
        EXPECT_TRUE(a.ok) << "error " << a.error;
        EXPECT_EQ(a.status(), StatusOk);
        return Dword(a.block, 0);
    }
    static Answer GetRange(HANDLE h, uint32_t id) { return Exchange(h, id, 0, CmdGetRecord, 6, RecRange, {0xFFFF}); }
    static void Disconnect(HANDLE h, uint32_t id) {
        EXPECT_EQ(Exchange(h, id, StatusDisconnect, CmdDisconnect, 0, 0).status(), StatusOk);
    }

    TestCard& card = TestCard::Instance();

private:
    std::vector<HANDLE> handles_;
};

TEST_F(TestCardTest, ALinkedDosNameOpensTheCard) {
    // A VxD-style name and an adapter's instance id.
    for (const char* name : {"SUKES41.VXD", "SUKES48.VXD", "{0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9}"}) {
        SCOPED_TRACE(name);
        card.Reset();
        EXPECT_EQ(Open(name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
        card.LinkDosName(name);
        HANDLE h = Open(name);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << "error " << GetLastError();

        const uint32_t id = Connect(h);
        EXPECT_EQ(id, 1u);
        const Answer range = GetRange(h, id);
        ASSERT_TRUE(range.ok);
        EXPECT_EQ(range.returned, kBlockSize);
        EXPECT_EQ(range.status(), StatusOk);
        EXPECT_EQ(Word(range.block, 8), 6);
        EXPECT_EQ(Word(range.block, 16), 48);
        EXPECT_EQ(Word(range.block, 18), 1);
        EXPECT_EQ(Word(range.block, 20), 99);
        Disconnect(h, id);

        const CardState st = card.State();
        EXPECT_EQ(st.device_calls, 3u);
        EXPECT_EQ(st.connects, 1u);
        EXPECT_EQ(st.disconnects, 1u);
        EXPECT_EQ(st.connection_id, 0u);
    }
}

TEST_F(TestCardTest, AnNtDeviceOpensThroughARawDosDefinition) {
    card.AddNtDevice("SLKES522");
    EXPECT_EQ(Open("SLKES522"), INVALID_HANDLE_VALUE) << "an NT device has no DOS name of its own";

    Definition definition("SLKES522", "\\Device\\SLKES522");
    ASSERT_TRUE(definition.defined) << definition.error;
    char target[MAX_PATH] = {};
    ASSERT_NE(QueryDosDeviceA("SLKES522", target, sizeof target), 0u) << GetLastError();
    EXPECT_STREQ(target, "\\Device\\SLKES522");
    HANDLE h = Open("SLKES522");
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    const uint32_t id = Connect(h);
    EXPECT_EQ(GetRange(h, id).status(), StatusOk);
    Disconnect(h, id);

    // An exact-match removal of another target leaves the definition.
    EXPECT_FALSE(DefineDosDeviceA(7, "SLKES522", "\\Device\\SLKES523"));
    EXPECT_NE(QueryDosDeviceA("SLKES522", target, sizeof target), 0u);

    ASSERT_TRUE(definition.Remove()) << GetLastError();
    EXPECT_EQ(QueryDosDeviceA("SLKES522", target, sizeof target), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(Open("SLKES522"), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DefineDosDeviceA(7, "SLKES522", "\\Device\\SLKES522")) << "nothing left to remove";
}

TEST_F(TestCardTest, FaultsTakeEffectOnTheNextCalls) {
    card.LinkDosName("SUKES48.VXD");
    HANDLE h = Open("SUKES48.VXD");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    Faults faults = {};
    faults.busy_answers = 1;
    card.SetFaults(faults);
    EXPECT_EQ(Exchange(h, 0, 0, CmdConnect, 0, 0).status(), StatusBusy);
    const uint32_t id = Connect(h);
    EXPECT_EQ(card.State().faults.busy_answers, 0u) << "the count down is visible";

    faults = {};
    faults.short_answer_bytes = 8;
    card.SetFaults(faults);
    EXPECT_EQ(GetRange(h, id).returned, 8u);

    faults = {};
    faults.fail_all_calls = 1;
    card.SetFaults(faults);
    const Answer failed = GetRange(h, id);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, 31u) << "ERROR_GEN_FAILURE";

    card.SetFaults(Faults{});
    card.SetIdentity(Identity{52, 2, 60, 3, 8, 10});
    const Answer identity = Exchange(h, id, 0, CmdGetRecord, 5, RecIdentity, {0xFFFF});
    EXPECT_EQ(identity.status(), StatusOk);
    EXPECT_EQ(Word(identity.block, 14), 3);
    EXPECT_EQ(Word(identity.block, 16), 8);
    EXPECT_EQ(Word(identity.block, 18), 10);
    EXPECT_EQ(Word(GetRange(h, id).block, 16), 52);
}

TEST_F(TestCardTest, OtherControlCodesFailAndAreLogged) {
    card.LinkDosName("SUKES48.VXD");
    HANDLE h = Open("SUKES48.VXD");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const Answer a = Exchange(h, 0, 0, CmdConnect, 0, 0, {}, 0x00170006u);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, 31u);
    const CardState st = card.State();
    EXPECT_EQ(st.device_calls, 1u);
    EXPECT_EQ(st.connects, 0u);
    ASSERT_EQ(st.log_count, 1u);
    EXPECT_EQ(st.log[0].ioctl_code, 0x00170006u);
    EXPECT_EQ(st.log[0].oid, kTunnelOid);
    EXPECT_EQ(st.log[0].out_size, kBlockSize);
}

TEST_F(TestCardTest, StateReadsBackWhatTheCardReceivedAndActivated) {
    card.LinkDosName("SUKES48.VXD");
    HANDLE h = Open("SUKES48.VXD");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const uint32_t id = Connect(h);
    EXPECT_EQ(Exchange(h, id, 0, CmdPutRecord, 2, RecOwnChannel, {7}).status(), StatusOk);
    // "Dock", four characters, then the zero.
    EXPECT_EQ(Exchange(h, id, 0, CmdPutRecord, 18, RecDesiredSsid, {4, 0x6F44, 0x6B63}).status(), StatusOk);

    CardState st = card.State();
    EXPECT_EQ(st.received.own_channel, 7);
    EXPECT_EQ(st.received.desired_ssid.count, 4);
    EXPECT_EQ(std::memcmp(st.received.desired_ssid.chars, "Dock\0", 5), 0);
    EXPECT_EQ(st.received.records, RecordBitOwnChannel | RecordBitDesiredSsid);
    EXPECT_EQ(st.active.records, 0u);

    EXPECT_EQ(Exchange(h, id, 0, CmdControl, 0, kControlActivate).status(), StatusOk);
    st = card.State();
    EXPECT_EQ(st.activations, 1u);
    EXPECT_EQ(st.active.own_channel, 7);
    EXPECT_EQ(st.active.records, st.received.records);

    // The log holds the blocks as sent.
    ASSERT_EQ(st.log_count, 4u);
    EXPECT_EQ(st.log[1].block[6], CmdPutRecord);
    EXPECT_EQ(st.log[1].block[12], 7);
    EXPECT_EQ(st.log[3].block[10], kControlActivate);
}

TEST_F(TestCardTest, ResetRemovesTheNamesAndRestoresPowerOnState) {
    card.LinkDosName("SUKES48.VXD");
    card.LinkDosName("{0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9}");
    card.AddNtDevice("SLKES521");
    card.SetIdentity(Identity{1, 2, 3, 4, 5, 6});
    HANDLE h = Open("SUKES48.VXD");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Connect(h);

    card.Reset();
    EXPECT_EQ(Open("SUKES48.VXD"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("{0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9}"), INVALID_HANDLE_VALUE);
    {
        Definition definition("SLKES521", "\\Device\\SLKES521");
        ASSERT_TRUE(definition.defined) << definition.error;
        EXPECT_EQ(Open("SLKES521"), INVALID_HANDLE_VALUE) << "the NT device is gone";
        EXPECT_TRUE(definition.Remove());
    }

    const CardState st = card.State();
    EXPECT_EQ(st.device_calls, 0u);
    EXPECT_EQ(st.connection_id, 0u);
    EXPECT_EQ(st.identity.range_platform, 48);

    // The names can be made again.
    card.LinkDosName("SUKES48.VXD");
    EXPECT_NE(Open("SUKES48.VXD"), INVALID_HANDLE_VALUE);
}

}  // namespace
