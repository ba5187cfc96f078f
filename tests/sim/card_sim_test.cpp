// The card's protocol core on its own: every command, every fault, the
// request log, and how it keeps to the buffers it is given. Buffers handed to
// the core are heap blocks of exactly the size passed, so the host-asan build
// catches any access past them.
#include "sim/card_sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace cardsim;

constexpr uint8_t kUntouched = 0xA5;  // what the block holds where nothing was written

uint16_t Word(const uint8_t* b, size_t off) {
    return static_cast<uint16_t>(b[off] | b[off + 1] << 8);
}
uint32_t Dword(const uint8_t* b, size_t off) {
    return Word(b, off) | static_cast<uint32_t>(Word(b, off + 2)) << 16;
}
void SetWord(uint8_t* b, size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}
void SetDword(uint8_t* b, size_t off, uint32_t v) {
    SetWord(b, off, static_cast<uint16_t>(v));
    SetWord(b, off + 2, static_cast<uint16_t>(v >> 16));
}

// A heap block of exactly `size` bytes.
struct Buffer {
    explicit Buffer(size_t n, uint8_t fill = kUntouched) : size(n), bytes(new uint8_t[n]) {
        std::memset(bytes.get(), fill, n);
    }
    uint8_t* data() { return bytes.get(); }
    uint16_t Word(size_t off) const { return ::Word(bytes.get(), off); }
    size_t size;
    std::unique_ptr<uint8_t[]> bytes;
};

// A request as the applet builds it: the header, then value words.
struct Request {
    explicit Request(uint16_t command_, uint32_t id_ = 0, uint16_t type_ = 0, uint16_t length_ = 0,
                     std::vector<uint16_t> values_ = {})
        : id(id_), command(command_), length(length_), type(type_), values(std::move(values_)) {}
    uint32_t id;
    uint16_t status = 0;
    uint16_t command;
    uint16_t length;
    uint16_t type;
    std::vector<uint16_t> values;
};

class CardCore : public ::testing::Test {
protected:
    void SetUp() override { sim.Reset(); }

    // One call with the tunnel code and OID and a block of `out_size` bytes
    // (the whole request block unless told), the unused value area untouched.
    bool Call(const Request& r, Buffer* block, uint32_t* returned = nullptr) {
        uint8_t* b = block->data();
        if (block->size >= kBlockHeaderSize) {
            SetDword(b, 0, r.id);
            SetWord(b, 4, r.status);
            SetWord(b, 6, r.command);
            SetWord(b, 8, r.length);
            SetWord(b, 10, r.type);
        }
        for (size_t i = 0; i < r.values.size() && kBlockHeaderSize + 2 * i + 2 <= block->size; ++i)
            SetWord(b, kBlockHeaderSize + 2 * i, r.values[i]);
        Buffer oid(4);
        SetDword(oid.data(), 0, kTunnelOid);
        uint32_t got = 0xDEADBEEF;
        const bool ok = sim.Handle(kIoctlQueryGlobalStats, oid.data(), 4, b, static_cast<uint32_t>(block->size), &got);
        if (returned != nullptr) *returned = got;
        return ok;
    }

    // A call whose answer's status is all that matters.
    uint16_t Status(const Request& r) {
        Buffer block(kBlockSize);
        EXPECT_TRUE(Call(r, &block));
        return block.Word(4);
    }

    static Request Disconnect(uint32_t id) {
        Request r(CmdDisconnect, id);
        r.status = StatusDisconnect;
        return r;
    }

    uint32_t Connect() {
        Buffer block(kBlockSize);
        EXPECT_TRUE(Call(Request(CmdConnect), &block));
        EXPECT_EQ(block.Word(4), StatusOk);
        return Dword(block.data(), 0);
    }

    Request Get(uint32_t id, uint16_t type, uint16_t length = 6) {
        return Request(CmdGetRecord, id, type, length, {0xFFFF});
    }
    Request Put(uint32_t id, uint16_t type, std::vector<uint16_t> values) {
        const auto length = static_cast<uint16_t>(values.size() + 1);
        return Request(CmdPutRecord, id, type, length, std::move(values));
    }

    CardSimulator sim;
};

// The value words of a name record: count, then the characters two to a word.
std::vector<uint16_t> NameWords(const char* text, uint16_t count) {
    std::vector<uint8_t> bytes(32, 0);
    std::memcpy(bytes.data(), text, std::strlen(text) < 32 ? std::strlen(text) : 32);
    std::vector<uint16_t> words{count};
    for (size_t i = 0; i < 32; i += 2) words.push_back(static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8));
    return words;
}

std::vector<uint16_t> KeyWords(const char* text) {
    std::vector<uint8_t> bytes(102, 0);
    std::memcpy(bytes.data(), text, std::strlen(text));
    std::vector<uint16_t> words;
    for (size_t i = 0; i < 102; i += 2) words.push_back(static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8));
    return words;
}

// ---- Power-on state --------------------------------------------------------

TEST_F(CardCore, ResetGivesTheDefaultIdentityAndClearsEverythingElse) {
    Connect();
    sim.state.faults.busy_answers = 5;
    sim.state.identity.major = 9;
    sim.Reset();
    const CardState& st = sim.state;
    EXPECT_EQ(st.identity.range_platform, 48);
    EXPECT_EQ(st.identity.range_lowest, 1);
    EXPECT_EQ(st.identity.range_highest, 99);
    EXPECT_EQ(st.identity.variant, 1);
    EXPECT_EQ(st.identity.major, 6);
    EXPECT_EQ(st.identity.minor, 41);
    EXPECT_EQ(st.faults.busy_answers, 0u);
    EXPECT_EQ(st.connection_id, 0u);
    EXPECT_EQ(st.device_calls, 0u);
    EXPECT_EQ(st.log_count, 0u);
    EXPECT_EQ(Connect(), 1u) << "connection ids start again at 1";
}

// ---- Connect and disconnect --------------------------------------------------

TEST_F(CardCore, EachConnectGivesAFreshNonZeroIdThatBecomesCurrent) {
    const uint32_t first = Connect();
    const uint32_t second = Connect();
    const uint32_t third = Connect();
    EXPECT_NE(first, 0u);
    EXPECT_GT(second, first);
    EXPECT_GT(third, second);
    EXPECT_EQ(sim.state.connection_id, third);
    EXPECT_EQ(sim.state.last_connection_id, third);
    EXPECT_EQ(sim.state.connects, 3u);
    // Only the newest connection is known.
    EXPECT_EQ(Status(Get(second, RecRange)), StatusNotConnected);
    EXPECT_EQ(Status(Get(third, RecRange)), StatusOk);
}

TEST_F(CardCore, ConnectionIdsSkipZeroWhenTheyWrap) {
    sim.state.last_connection_id = 0xFFFFFFFFu;
    EXPECT_EQ(Connect(), 1u);
}

TEST_F(CardCore, DisconnectEndsTheConnection) {
    const uint32_t id = Connect();
    EXPECT_EQ(Status(Disconnect(id)), StatusOk);
    EXPECT_EQ(sim.state.connection_id, 0u);
    EXPECT_EQ(sim.state.disconnects, 1u);
    EXPECT_EQ(Status(Get(id, RecRange)), StatusNotConnected);
    EXPECT_EQ(Status(Disconnect(id)), StatusNotConnected);
    EXPECT_EQ(sim.state.disconnects, 1u) << "a refused disconnect is not counted";
}

TEST_F(CardCore, EveryCommandButConnectNeedsTheCurrentConnection) {
    const uint16_t commands[] = {CmdDisconnect, CmdControl, CmdGetRecord, CmdPutRecord, 3, 6, 0xFFFF};
    for (uint16_t command : commands) {
        SCOPED_TRACE(command);
        sim.Reset();
        // No connection at all, and id 0 in the request.
        EXPECT_EQ(Status(Request(command, 0, RecOwnChannel, 2)), StatusNotConnected);
        const uint32_t id = Connect();
        // A connection, but another id.
        EXPECT_EQ(Status(Request(command, id + 1, RecOwnChannel, 2)), StatusNotConnected);
        EXPECT_EQ(sim.state.connection_id, id);
        EXPECT_EQ(sim.state.received.records, 0u);
    }
}

TEST_F(CardCore, UnknownCommandsOnTheConnectionAreRefused) {
    for (uint16_t command : {uint16_t{3}, uint16_t{6}, uint16_t{0x00FF}, uint16_t{0xFFFF}}) {
        SCOPED_TRACE(command);
        const uint32_t id = Connect();
        EXPECT_EQ(Status(Request(command, id)), StatusBadCommand);
        EXPECT_EQ(sim.state.connection_id, id) << "the connection stays";
    }
}

// ---- Get record ----------------------------------------------------------------

TEST_F(CardCore, GetAnswersTheRangeAndIdentityRecords) {
    sim.state.identity = Identity{52, 3, 77, 2, 7, 8};
    const uint32_t id = Connect();
    struct Case {
        uint16_t type;
        std::vector<uint16_t> answer;  // the length word, the type, the values
    } cases[] = {
        {RecRange, {6, RecRange, 0, 0, 52, 3, 77}},
        {RecIdentity, {5, RecIdentity, 0, 2, 7, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Buffer block(kBlockSize);
        uint32_t returned = 0;
        ASSERT_TRUE(Call(Get(id, c.type), &block, &returned));
        EXPECT_EQ(returned, kBlockSize);
        EXPECT_EQ(block.Word(4), StatusOk);
        EXPECT_EQ(Dword(block.data(), 0), id);
        for (size_t i = 0; i < c.answer.size(); ++i) EXPECT_EQ(block.Word(8 + 2 * i), c.answer[i]) << "word " << i;
        EXPECT_EQ(block.Word(8 + 2 * c.answer.size()), 0xA5A5) << "nothing behind the record";
    }
}

TEST_F(CardCore, GetWritesTheWholeRecordWhateverLengthWasAsked) {
    const uint32_t id = Connect();
    Buffer block(kBlockSize);
    ASSERT_TRUE(Call(Get(id, RecRange, 1), &block));
    EXPECT_EQ(block.Word(8), 6);
    EXPECT_EQ(block.Word(20), 99);
}

TEST_F(CardCore, GetOfAnUnknownTypeIsRefusedAndAnswersNothingElse) {
    const uint32_t id = Connect();
    Buffer block(kBlockSize);
    ASSERT_TRUE(Call(Get(id, 0x1234, 6), &block));
    EXPECT_EQ(block.Word(4), StatusUnknownRecord);
    EXPECT_EQ(block.Word(8), 6);
    EXPECT_EQ(block.Word(10), 0x1234);
    EXPECT_EQ(block.Word(12), 0xFFFF);
    EXPECT_EQ(block.Word(14), 0xA5A5);
}

// ---- Put record ------------------------------------------------------------------

TEST_F(CardCore, PutDecodesEachSettingsRecord) {
    struct Case {
        uint16_t type;
        uint32_t bit;
        std::vector<uint16_t> values;
        void (*check)(const CardSettings&);
    } cases[] = {
        {RecOwnChannel, RecordBitOwnChannel, {11}, [](const CardSettings& s) { EXPECT_EQ(s.own_channel, 11); }},
        {RecPortType, RecordBitPortType, {3}, [](const CardSettings& s) { EXPECT_EQ(s.port_type, 3); }},
        {RecSystemScale, RecordBitSystemScale, {2}, [](const CardSettings& s) { EXPECT_EQ(s.system_scale, 2); }},
        {RecRtsThreshold,
         RecordBitRtsThreshold,
         {2347},
         [](const CardSettings& s) { EXPECT_EQ(s.rts_threshold, 2347); }},
        {RecPmEnabled, RecordBitPmEnabled, {1}, [](const CardSettings& s) { EXPECT_EQ(s.pm_enabled, 1); }},
        {RecMicroWaveRobustness,
         RecordBitMicroWaveRobustness,
         {1},
         [](const CardSettings& s) { EXPECT_EQ(s.microwave_robustness, 1); }},
        {RecCreateIbss, RecordBitCreateIbss, {0xFFFF}, [](const CardSettings& s) { EXPECT_EQ(s.create_ibss, 0xFFFF); }},
        {RecDesiredSsid, RecordBitDesiredSsid, NameWords("Harbour", 7),
         [](const CardSettings& s) {
             EXPECT_EQ(s.desired_ssid.count, 7);
             EXPECT_EQ(std::memcmp(s.desired_ssid.chars, "Harbour\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 32),
                       0);
         }},
        {RecOwnSsid, RecordBitOwnSsid, NameWords("0123456789abcdefghijklmnopqrstuv", 32),
         [](const CardSettings& s) {
             EXPECT_EQ(s.own_ssid.count, 32);
             EXPECT_EQ(std::memcmp(s.own_ssid.chars, "0123456789abcdefghijklmnopqrstuv", 32), 0);
         }},
        {RecEncryption, RecordBitEncryption, KeyWords("Q7-encoded-key-text"),
         [](const CardSettings& s) {
             EXPECT_STREQ(s.encryption, "Q7-encoded-key-text");
             EXPECT_EQ(s.encryption[102], '\0');
         }},
        {RecBaseStation, RecordBitBaseStation, {1}, [](const CardSettings& s) { EXPECT_EQ(s.base_station, 1); }},
        {RecDriverEnable, RecordBitDriverEnable, {1}, [](const CardSettings& s) { EXPECT_EQ(s.driver_enable, 1); }},
    };
    const uint32_t id = Connect();
    uint32_t bits = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(Status(Put(id, c.type, c.values)), StatusOk);
        c.check(sim.state.received);
        bits |= c.bit;
        EXPECT_EQ(sim.state.received.records, bits);
    }
    EXPECT_EQ(bits, RecordBitsAll) << "the table covers every record";
    EXPECT_EQ(sim.state.active.records, 0u) << "nothing is active before control code 128";
}

TEST_F(CardCore, NameCharactersBehindTheCountAreNotKept) {
    const uint32_t id = Connect();
    std::vector<uint16_t> words = NameWords("abcdefgh", 3);  // sends "abcdefgh", counts 3
    EXPECT_EQ(Status(Put(id, RecDesiredSsid, words)), StatusOk);
    EXPECT_EQ(sim.state.received.desired_ssid.count, 3);
    EXPECT_EQ(std::memcmp(sim.state.received.desired_ssid.chars, "abc\0\0\0\0\0", 8), 0);
}

TEST_F(CardCore, GetOfASettingsRecordAnswersWhatWasPutInPutFormat) {
    const uint32_t id = Connect();
    const struct {
        uint16_t type;
        std::vector<uint16_t> values;
    } records[] = {
        {RecOwnChannel, {6}},
        {RecPortType, {1}},
        {RecSystemScale, {3}},
        {RecRtsThreshold, {500}},
        {RecPmEnabled, {1}},
        {RecMicroWaveRobustness, {1}},
        {RecCreateIbss, {1}},
        {RecDesiredSsid, NameWords("Net", 3)},
        {RecOwnSsid, NameWords("Own station", 11)},
        {RecEncryption, KeyWords("x1y2z3")},
        {RecBaseStation, {2}},
        {RecDriverEnable, {1}},
    };
    for (const auto& r : records) {
        SCOPED_TRACE(r.type);
        ASSERT_EQ(Status(Put(id, r.type, r.values)), StatusOk);
        Buffer block(kBlockSize);
        ASSERT_TRUE(Call(Get(id, r.type, 1), &block));
        EXPECT_EQ(block.Word(4), StatusOk);
        EXPECT_EQ(block.Word(8), r.values.size() + 1);
        EXPECT_EQ(block.Word(10), r.type);
        for (size_t i = 0; i < r.values.size(); ++i) EXPECT_EQ(block.Word(12 + 2 * i), r.values[i]) << "value " << i;
    }
}

TEST_F(CardCore, PutsThatDoNotFitTheRecordAreRefusedAndNotStored) {
    const uint32_t id = Connect();
    std::vector<uint16_t> too_many_chars = NameWords("x", 33);
    struct Case {
        const char* what;
        Request request;
        uint16_t status;
    } cases[] = {
        {"a word record one word long", Request(CmdPutRecord, id, RecOwnChannel, 3, {1, 2}), StatusBadLength},
        {"a word record without its value", Request(CmdPutRecord, id, RecDriverEnable, 1, {}), StatusBadLength},
        {"a name record a word short", Request(CmdPutRecord, id, RecDesiredSsid, 17, NameWords("x", 1)),
         StatusBadLength},
        {"a key record a word long", Request(CmdPutRecord, id, RecEncryption, 53, KeyWords("k")), StatusBadLength},
        {"a length of zero", Request(CmdPutRecord, id, RecPortType, 0, {1}), StatusBadLength},
        {"a name counting 33 characters", Request(CmdPutRecord, id, RecOwnSsid, 18, too_many_chars), StatusBadLength},
        {"a type the card does not know", Request(CmdPutRecord, id, 0xFC99, 2, {1}), StatusUnknownRecord},
        {"the range record, which is read-only", Request(CmdPutRecord, id, RecRange, 6, {0, 0, 1, 2, 3}),
         StatusUnknownRecord},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Status(c.request), c.status);
        EXPECT_EQ(sim.state.received.records, 0u);
    }
    EXPECT_EQ(sim.state.received.own_ssid.count, 0);
}

TEST_F(CardCore, APutWhoseValuesLieBeyondTheBufferIsRefused) {
    const uint32_t id = Connect();
    Buffer block(kBlockHeaderSize + 20);  // a name record needs 34 value bytes
    ASSERT_TRUE(Call(Put(id, RecDesiredSsid, NameWords("abc", 3)), &block));
    EXPECT_EQ(block.Word(4), StatusBadLength);
    EXPECT_EQ(sim.state.received.records, 0u);
}

// ---- Control -----------------------------------------------------------------------

TEST_F(CardCore, ControlCode128MakesTheReceivedSettingsActive) {
    const uint32_t id = Connect();
    ASSERT_EQ(Status(Put(id, RecOwnChannel, {9})), StatusOk);
    ASSERT_EQ(Status(Put(id, RecDesiredSsid, NameWords("Quay", 4))), StatusOk);
    EXPECT_EQ(Status(Request(CmdControl, id, kControlActivate)), StatusOk);
    EXPECT_EQ(sim.state.activations, 1u);
    EXPECT_EQ(sim.state.active.own_channel, 9);
    EXPECT_EQ(sim.state.active.desired_ssid.count, 4);
    EXPECT_EQ(sim.state.active.records, RecordBitOwnChannel | RecordBitDesiredSsid);

    // Later puts wait for the next activation.
    ASSERT_EQ(Status(Put(id, RecOwnChannel, {10})), StatusOk);
    EXPECT_EQ(sim.state.active.own_channel, 9);
}

TEST_F(CardCore, OtherControlCodesAreRefused) {
    const uint32_t id = Connect();
    ASSERT_EQ(Status(Put(id, RecOwnChannel, {9})), StatusOk);
    for (uint16_t code : {uint16_t{0}, uint16_t{127}, uint16_t{129}, uint16_t{0xFFFF}}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Status(Request(CmdControl, id, code)), StatusRefusedControl);
    }
    EXPECT_EQ(sim.state.activations, 0u);
    EXPECT_EQ(sim.state.active.records, 0u);
}

// ---- Faults -------------------------------------------------------------------------

TEST_F(CardCore, BusyAnswersCountDownBeforeAConnectSucceeds) {
    sim.state.faults.busy_answers = 3;
    for (int i = 0; i < 3; ++i) {
        Buffer block(kBlockSize);
        ASSERT_TRUE(Call(Request(CmdConnect, 0x11111111), &block));
        EXPECT_EQ(block.Word(4), StatusBusy);
        EXPECT_EQ(Dword(block.data(), 0), 0u);
        EXPECT_EQ(sim.state.connection_id, 0u);
    }
    EXPECT_EQ(sim.state.faults.busy_answers, 0u);
    EXPECT_EQ(Connect(), 1u);
    EXPECT_EQ(sim.state.connects, 4u) << "busy answers count as connects";
    EXPECT_EQ(sim.state.last_connection_id, 1u);
}

TEST_F(CardCore, ConnectStatusRefusesEveryConnect) {
    sim.state.faults.connect_status = 50;
    for (int i = 0; i < 2; ++i) {
        Buffer block(kBlockSize);
        ASSERT_TRUE(Call(Request(CmdConnect), &block));
        EXPECT_EQ(block.Word(4), 50);
        EXPECT_EQ(Dword(block.data(), 0), 0u);
    }
    EXPECT_EQ(sim.state.connection_id, 0u);
    EXPECT_EQ(sim.state.connects, 2u);
    EXPECT_EQ(sim.state.last_connection_id, 0u) << "no id was given out";
}

TEST_F(CardCore, AConnectAnsweredWithIdZeroLeavesNoConnection) {
    sim.state.faults.connect_id_zero = 1;
    Buffer block(kBlockSize);
    ASSERT_TRUE(Call(Request(CmdConnect, 0x22222222), &block));
    EXPECT_EQ(block.Word(4), StatusOk);
    EXPECT_EQ(Dword(block.data(), 0), 0u);
    EXPECT_EQ(sim.state.connects, 1u);
    EXPECT_EQ(Status(Get(0, RecRange)), StatusNotConnected);
}

TEST_F(CardCore, AStatusFaultFillsGetsButRefusesPuts) {
    sim.state.faults.status_record_type = RecRange;
    sim.state.faults.status_value = 99;
    const uint32_t id = Connect();
    Buffer block(kBlockSize);
    ASSERT_TRUE(Call(Get(id, RecRange), &block));
    EXPECT_EQ(block.Word(4), 99);
    EXPECT_EQ(block.Word(8), 6);
    EXPECT_EQ(block.Word(20), 99) << "the highest level is answered all the same";
    EXPECT_EQ(Status(Get(id, RecIdentity)), StatusOk) << "other types are not affected";

    sim.state.faults.status_record_type = RecPortType;
    sim.state.faults.status_value = 7;
    EXPECT_EQ(Status(Put(id, RecPortType, {1})), 7);
    EXPECT_EQ(sim.state.received.records, 0u);
    EXPECT_EQ(Status(Put(id, RecOwnChannel, {1})), StatusOk);

    // The status goes to a type the card does not know, too.
    sim.state.faults.status_record_type = 0x4444;
    EXPECT_EQ(Status(Get(id, 0x4444)), 7);
}

TEST_F(CardCore, AShortAnswerWritesOnlyTheWordsItCounts) {
    // short_length counts the type word: 0 writes only the length word.
    for (uint16_t short_length : {uint16_t{0}, uint16_t{1}, uint16_t{3}}) {
        SCOPED_TRACE(short_length);
        sim.Reset();
        sim.state.faults.short_record_type = RecRange;
        sim.state.faults.short_length = short_length;
        const uint32_t id = Connect();
        Buffer block(kBlockSize);
        Request get = Get(id, RecRange);
        get.values = {0xFFFF, 0x7777, 0x7777, 0x7777, 0x7777, 0x7777};
        ASSERT_TRUE(Call(get, &block));
        EXPECT_EQ(block.Word(4), StatusOk);
        EXPECT_EQ(block.Word(8), short_length);
        const std::vector<uint16_t> natural = {RecRange, 0, 0, 48, 1, 99};
        const std::vector<uint16_t> sent = {RecRange, 0xFFFF, 0x7777, 0x7777, 0x7777, 0x7777};
        for (size_t i = 0; i < natural.size(); ++i) {
            EXPECT_EQ(block.Word(10 + 2 * i), i < short_length ? natural[i] : sent[i]) << "word " << i;
        }
    }
}

TEST_F(CardCore, ALongAnswerFillsTheBlockToItsEnd) {
    sim.state.faults.long_record_type = RecIdentity;
    sim.state.faults.long_length = 0xFFFF;
    const uint32_t id = Connect();
    Buffer block(kBlockSize);
    ASSERT_TRUE(Call(Get(id, RecIdentity), &block));
    EXPECT_EQ(block.Word(8), 0xFFFF);
    EXPECT_EQ(block.Word(10), RecIdentity);
    EXPECT_EQ(block.Word(18), 41) << "the record's own values come first";
    EXPECT_EQ(block.Word(20), kLongFillWord);
    EXPECT_EQ(block.Word(kBlockSize - 2), kLongFillWord);
}

TEST_F(CardCore, ALongAnswerStopsAtTheBufferItWasGiven) {
    // Odd and even sizes shorter than the block, one the size of the header
    // alone, and one larger than the block: nothing is written past either
    // end (the heap blocks are exact; the sanitizer build checks the reads
    // and writes as well).
    for (uint32_t size : {12u, 13u, 100u, 101u, kBlockSize - 1, kBlockSize + 40}) {
        SCOPED_TRACE(size);
        sim.Reset();
        sim.state.faults.long_record_type = RecRange;
        sim.state.faults.long_length = 0xFFFF;
        const uint32_t id = Connect();
        Buffer block(size);
        uint32_t returned = 0;
        ASSERT_TRUE(Call(Get(id, RecRange), &block, &returned));
        EXPECT_EQ(returned, size < kBlockSize ? size : kBlockSize);
        EXPECT_EQ(block.Word(8), 0xFFFF);
        const uint32_t end = size < kBlockSize ? size : kBlockSize;
        if (end >= 24) {
            EXPECT_EQ(block.Word(22), kLongFillWord);
        }
        if (end % 2 == 1) {
            EXPECT_EQ(block.data()[end - 1], kUntouched) << "half a word is not written";
        }
        for (uint32_t i = kBlockSize; i < size; ++i) ASSERT_EQ(block.data()[i], kUntouched) << "byte " << i;
    }
}

TEST_F(CardCore, FailedDeviceCallsAnswerNothing) {
    struct Case {
        const char* what;
        Faults faults;
        uint32_t calls_before;  // successful calls made first
    } cases[2] = {{"every call fails", {}, 0}, {"the third call fails", {}, 2}};
    cases[0].faults.fail_all_calls = 1;
    cases[1].faults.fail_call_number = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim.Reset();
        sim.state.faults = c.faults;
        for (uint32_t i = 0; i < c.calls_before; ++i) Connect();
        Buffer block(kBlockSize);
        uint32_t returned = 1;
        EXPECT_FALSE(Call(Request(CmdConnect), &block, &returned));
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(block.Word(4), 0) << "the status as sent";
        EXPECT_EQ(block.Word(0), 0) << "no connection id";
        EXPECT_EQ(sim.state.device_calls, c.calls_before + 1);
        EXPECT_EQ(sim.state.log_count, c.calls_before + 1) << "failed calls are logged";
        EXPECT_EQ(sim.state.connects, c.calls_before);
    }
    // The call after the failing one goes through again.
    EXPECT_NE(Connect(), 0u);
}

TEST_F(CardCore, AShortAnswerReportsFewerBytes) {
    sim.state.faults.short_answer_bytes = 8;
    Buffer block(kBlockSize);
    uint32_t returned = 0;
    ASSERT_TRUE(Call(Request(CmdConnect), &block, &returned));
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(Dword(block.data(), 0), 1u) << "the answer is written all the same";

    sim.state.faults.short_answer_bytes = kBlockSize + 1;  // never more than the block
    ASSERT_TRUE(Call(Request(CmdConnect), &block, &returned));
    EXPECT_EQ(returned, kBlockSize);
}

// ---- The device call itself ----------------------------------------------------------

TEST_F(CardCore, OnlyTheTunnelCodeAndOidAreAnswered) {
    Buffer oid(4);
    SetDword(oid.data(), 0, kTunnelOid);
    Buffer other_oid(4);
    SetDword(other_oid.data(), 0, 0xFF020402u);
    struct Case {
        const char* what;
        uint32_t code;
        Buffer* in;
    } cases[] = {
        {"another code", 0x00170006u, &oid},
        {"the code with its method bits changed", kIoctlQueryGlobalStats & ~3u, &oid},
        {"another OID", kIoctlQueryGlobalStats, &other_oid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Buffer block(kBlockSize, 0);
        uint32_t returned = 5;
        EXPECT_FALSE(sim.Handle(c.code, c.in->data(), 4, block.data(), kBlockSize, &returned));
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(block.Word(0), 0);
        EXPECT_EQ(block.Word(4), 0);
    }
    EXPECT_EQ(sim.state.device_calls, 3u);
    EXPECT_EQ(sim.state.connects, 0u);
}

TEST_F(CardCore, ShortInputAndOutputBuffersFailTheCall) {
    // Input of 0 to 3 bytes, each the leading bytes of the right OID.
    for (uint32_t in_size = 0; in_size < 4; ++in_size) {
        SCOPED_TRACE(in_size);
        Buffer in(in_size);
        for (uint32_t i = 0; i < in_size; ++i) in.data()[i] = static_cast<uint8_t>(kTunnelOid >> (8 * i));
        Buffer block(kBlockSize, 0);
        uint32_t returned = 5;
        EXPECT_FALSE(sim.Handle(kIoctlQueryGlobalStats, in.data(), in_size, block.data(), kBlockSize, &returned));
        EXPECT_EQ(returned, 0u);
    }
    // Output of 0 to 11 bytes.
    Buffer oid(4);
    SetDword(oid.data(), 0, kTunnelOid);
    for (uint32_t out_size = 0; out_size < kBlockHeaderSize; ++out_size) {
        SCOPED_TRACE(out_size);
        Buffer block(out_size);
        EXPECT_FALSE(sim.Handle(kIoctlQueryGlobalStats, oid.data(), 4, block.data(), out_size, nullptr));
        for (uint32_t i = 0; i < out_size; ++i) EXPECT_EQ(block.data()[i], kUntouched);
    }
    // No buffers at all, whatever sizes come with them.
    EXPECT_FALSE(sim.Handle(kIoctlQueryGlobalStats, nullptr, 4, nullptr, kBlockSize, nullptr));
    EXPECT_EQ(sim.state.device_calls, 4u + kBlockHeaderSize + 1);
    EXPECT_EQ(sim.state.connects, 0u);
}

TEST_F(CardCore, ABlockOfOnlyTheHeaderStillConnects) {
    Buffer block(kBlockHeaderSize);
    uint32_t returned = 0;
    ASSERT_TRUE(Call(Request(CmdConnect), &block, &returned));
    EXPECT_EQ(returned, kBlockHeaderSize);
    EXPECT_EQ(Dword(block.data(), 0), 1u);
    // A get answers its header words; the values have no room.
    ASSERT_TRUE(Call(Get(1, RecRange), &block, &returned));
    EXPECT_EQ(block.Word(4), StatusOk);
    EXPECT_EQ(block.Word(8), 6);
    EXPECT_EQ(block.Word(10), RecRange);
}

// ---- The request log ------------------------------------------------------------------

TEST_F(CardCore, TheLogKeepsEachRequestAsSent) {
    Connect();
    Buffer oid(3);
    Buffer small(20, 0x3C);
    sim.Handle(0x00123456u, oid.data(), 3, small.data(), 20, nullptr);

    ASSERT_EQ(sim.state.log_count, 2u);
    const LoggedRequest& connect = sim.state.log[0];
    EXPECT_EQ(connect.ioctl_code, kIoctlQueryGlobalStats);
    EXPECT_EQ(connect.oid, kTunnelOid);
    EXPECT_EQ(connect.out_size, kBlockSize);
    EXPECT_EQ(Dword(connect.block, 0), 0u) << "the block before the card answered";
    EXPECT_EQ(Word(connect.block, 6), CmdConnect);
    EXPECT_EQ(connect.block[12 + kLoggedValueBytes - 1], kUntouched) << "the value area's first bytes";

    const LoggedRequest& odd = sim.state.log[1];
    EXPECT_EQ(odd.ioctl_code, 0x00123456u);
    EXPECT_EQ(odd.oid, 0u) << "fewer than four input bytes";
    EXPECT_EQ(odd.out_size, 20u);
    EXPECT_EQ(odd.block[19], 0x3C);
    EXPECT_EQ(odd.block[20], 0) << "nothing beyond the buffer given";
}

TEST_F(CardCore, TheLogKeepsTheFirstRequestsAndCountsThemAll) {
    for (uint32_t i = 0; i < kLogSize + 5; ++i) {
        Buffer block(kBlockSize);
        Call(Request(CmdGetRecord, i, static_cast<uint16_t>(i), 2), &block);
    }
    EXPECT_EQ(sim.state.log_count, kLogSize + 5);
    EXPECT_EQ(sim.state.device_calls, kLogSize + 5);
    EXPECT_EQ(Word(sim.state.log[kLogSize - 1].block, 10), kLogSize - 1);
}

}  // namespace
