// The card driver simulator's protocol core. See card_sim.h.
//
// Every access to the caller's buffers goes through the bounded helpers below:
// a byte is read only below in_size or the block limit, and written only below
// the block limit (the smaller of out_size and the request block's size).
#include "sim/card_sim.h"

namespace cardsim {
namespace {

// The only two library functions the core uses; the compiler's built-ins
// become calls to the runtime's (or ntoskrnl's) memcpy and memset.
inline void CopyBytes(void* to, const void* from, uint32_t n) {
    __builtin_memcpy(to, from, n);
}
inline void FillBytes(void* to, int value, uint32_t n) {
    __builtin_memset(to, value, n);
}

constexpr uint32_t kOffId = 0;
constexpr uint32_t kOffStatus = 4;
constexpr uint32_t kOffCommand = 6;
constexpr uint32_t kOffLength = 8;
constexpr uint32_t kOffType = 10;
constexpr uint32_t kOffValue = kBlockHeaderSize;
constexpr uint32_t kNameBytes = 32;
constexpr uint32_t kEncryptionBytes = 102;
constexpr uint32_t kMaxNaturalValues = 51;  // the encryption record's value words

struct Block {
    uint8_t* data;
    uint32_t limit;  // bytes that may be read and written

    uint16_t Word(uint32_t off) const {
        if (off + 2 > limit) return 0;
        return static_cast<uint16_t>(data[off] | (data[off + 1] << 8));
    }
    uint32_t Dword(uint32_t off) const {
        if (off + 4 > limit) return 0;
        return static_cast<uint32_t>(data[off]) | (static_cast<uint32_t>(data[off + 1]) << 8) |
               (static_cast<uint32_t>(data[off + 2]) << 16) | (static_cast<uint32_t>(data[off + 3]) << 24);
    }
    void PutWord(uint32_t off, uint16_t v) {
        if (off + 2 > limit) return;
        data[off] = static_cast<uint8_t>(v);
        data[off + 1] = static_cast<uint8_t>(v >> 8);
    }
    void PutDword(uint32_t off, uint32_t v) {
        if (off + 4 > limit) return;
        for (uint32_t i = 0; i < 4; ++i) data[off + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    uint8_t Byte(uint32_t off) const { return off < limit ? data[off] : 0; }
};

// A settings record the card takes: its type, its length in words (type word
// included) and its bit in CardSettings::records.
struct RecordKind {
    uint16_t type;
    uint16_t length;
    uint32_t bit;
};

constexpr RecordKind kSettingsRecords[] = {
    {RecOwnChannel, 2, RecordBitOwnChannel},   {RecPortType, 2, RecordBitPortType},
    {RecSystemScale, 2, RecordBitSystemScale}, {RecRtsThreshold, 2, RecordBitRtsThreshold},
    {RecPmEnabled, 2, RecordBitPmEnabled},     {RecMicroWaveRobustness, 2, RecordBitMicroWaveRobustness},
    {RecCreateIbss, 2, RecordBitCreateIbss},   {RecDesiredSsid, 18, RecordBitDesiredSsid},
    {RecOwnSsid, 18, RecordBitOwnSsid},        {RecEncryption, 52, RecordBitEncryption},
    {RecBaseStation, 2, RecordBitBaseStation}, {RecDriverEnable, 2, RecordBitDriverEnable},
};

const RecordKind* FindSettingsRecord(uint16_t type) {
    for (const RecordKind& kind : kSettingsRecords) {
        if (kind.type == type) return &kind;
    }
    return nullptr;
}

// The single-word settings, by type.
uint16_t* WordSetting(CardSettings& s, uint16_t type) {
    switch (type) {
        case RecOwnChannel:
            return &s.own_channel;
        case RecPortType:
            return &s.port_type;
        case RecSystemScale:
            return &s.system_scale;
        case RecRtsThreshold:
            return &s.rts_threshold;
        case RecPmEnabled:
            return &s.pm_enabled;
        case RecMicroWaveRobustness:
            return &s.microwave_robustness;
        case RecCreateIbss:
            return &s.create_ibss;
        case RecBaseStation:
            return &s.base_station;
        case RecDriverEnable:
            return &s.driver_enable;
        default:
            return nullptr;
    }
}

NameValue* NameSetting(CardSettings& s, uint16_t type) {
    if (type == RecDesiredSsid) return &s.desired_ssid;
    if (type == RecOwnSsid) return &s.own_ssid;
    return nullptr;
}

uint16_t BytePair(const uint8_t* bytes, uint32_t i) {
    return static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
}

// The value words the card answers a get of `type` with; returns how many,
// or -1 for a type the card does not know.
int NaturalValues(CardState& st, uint16_t type, uint16_t* values) {
    switch (type) {
        case RecRange:
            values[0] = 0;
            values[1] = 0;
            values[2] = st.identity.range_platform;
            values[3] = st.identity.range_lowest;
            values[4] = st.identity.range_highest;
            return 5;
        case RecIdentity:
            values[0] = 0;
            values[1] = st.identity.variant;
            values[2] = st.identity.major;
            values[3] = st.identity.minor;
            return 4;
        default:
            break;
    }
    if (const uint16_t* word = WordSetting(st.received, type)) {
        values[0] = *word;
        return 1;
    }
    if (const NameValue* name = NameSetting(st.received, type)) {
        values[0] = name->count;
        for (uint32_t i = 0; i < kNameBytes / 2; ++i) values[1 + i] = BytePair(name->chars, 2 * i);
        return 1 + kNameBytes / 2;
    }
    if (type == RecEncryption) {
        const uint8_t* text = reinterpret_cast<const uint8_t*>(st.received.encryption);
        for (uint32_t i = 0; i < kEncryptionBytes / 2; ++i) values[i] = BytePair(text, 2 * i);
        return kEncryptionBytes / 2;
    }
    return -1;
}

}  // namespace

void CardSimulator::Reset() {
    FillBytes(&state, 0, sizeof state);
    state.identity.range_platform = 48;
    state.identity.range_lowest = 1;
    state.identity.range_highest = 99;
    state.identity.variant = 1;
    state.identity.major = 6;
    state.identity.minor = 41;
}

namespace {

void Log(CardState& st, uint32_t ioctl_code, const uint8_t* in, uint32_t in_size, const uint8_t* out,
         uint32_t out_size) {
    const uint32_t index = st.log_count;
    if (st.log_count != 0xFFFFFFFFu) ++st.log_count;
    if (index >= kLogSize) return;
    LoggedRequest& entry = st.log[index];
    FillBytes(&entry, 0, sizeof entry);
    entry.ioctl_code = ioctl_code;
    entry.out_size = out_size;
    if (in_size >= 4) {
        entry.oid = static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                    (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
    }
    const uint32_t n = out_size < sizeof entry.block ? out_size : static_cast<uint32_t>(sizeof entry.block);
    if (n != 0) CopyBytes(entry.block, out, n);
}

void Connect(CardState& st, Block& b) {
    ++st.connects;
    Faults& f = st.faults;
    uint16_t status = StatusOk;
    if (f.busy_answers != 0) {
        --f.busy_answers;
        status = StatusBusy;
    } else if (f.connect_status != 0) {
        status = f.connect_status;
    }
    st.connection_id = 0;
    b.PutWord(kOffStatus, status);
    if (status != StatusOk) {
        b.PutDword(kOffId, 0);
        return;
    }
    uint32_t id = st.last_connection_id + 1;
    if (id == 0) id = 1;
    st.last_connection_id = id;
    if (f.connect_id_zero != 0) {
        b.PutDword(kOffId, 0);
        return;
    }
    st.connection_id = id;
    b.PutDword(kOffId, id);
}

void GetRecord(CardState& st, Block& b) {
    const uint16_t type = b.Word(kOffType);
    const Faults& f = st.faults;
    const bool status_fault = f.status_record_type != 0 && f.status_record_type == type;
    uint16_t values[kMaxNaturalValues];
    const int natural = NaturalValues(st, type, values);
    if (natural < 0) {
        b.PutWord(kOffStatus, status_fault ? f.status_value : uint16_t{StatusUnknownRecord});
        return;
    }
    const uint32_t count = static_cast<uint32_t>(natural);
    uint32_t length = count + 1;   // the length word's value
    uint32_t written = count + 1;  // words of the record (type word first) written
    bool fill = false;
    if (f.short_record_type != 0 && f.short_record_type == type) {
        length = f.short_length;
        if (length < written) written = length;
    } else if (f.long_record_type != 0 && f.long_record_type == type) {
        length = f.long_length;
        fill = true;
    }
    b.PutWord(kOffLength, static_cast<uint16_t>(length));
    if (written >= 1) b.PutWord(kOffType, type);
    for (uint32_t i = 0; i + 1 < written; ++i) b.PutWord(kOffValue + 2 * i, values[i]);
    if (fill) {
        for (uint32_t off = kOffValue + 2 * count; off + 2 <= kBlockSize; off += 2) b.PutWord(off, kLongFillWord);
    }
    b.PutWord(kOffStatus, status_fault ? f.status_value : uint16_t{StatusOk});
}

void PutRecord(CardState& st, Block& b) {
    const uint16_t type = b.Word(kOffType);
    const uint16_t length = b.Word(kOffLength);
    const Faults& f = st.faults;
    if (f.status_record_type != 0 && f.status_record_type == type) {
        b.PutWord(kOffStatus, f.status_value);
        return;
    }
    const RecordKind* kind = FindSettingsRecord(type);
    if (kind == nullptr) {
        b.PutWord(kOffStatus, StatusUnknownRecord);
        return;
    }
    // The record's values must be all there, inside the block the caller gave.
    if (length != kind->length || kOffValue + 2u * (length - 1u) > b.limit) {
        b.PutWord(kOffStatus, StatusBadLength);
        return;
    }
    CardSettings& s = st.received;
    if (uint16_t* word = WordSetting(s, type)) {
        *word = b.Word(kOffValue);
    } else if (NameValue* name = NameSetting(s, type)) {
        const uint16_t count = b.Word(kOffValue);
        if (count > kNameBytes) {
            b.PutWord(kOffStatus, StatusBadLength);
            return;
        }
        name->count = count;
        for (uint32_t i = 0; i < kNameBytes; ++i) name->chars[i] = i < count ? b.Byte(kOffValue + 2 + i) : 0;
    } else {  // the encryption record
        for (uint32_t i = 0; i < kEncryptionBytes; ++i) s.encryption[i] = static_cast<char>(b.Byte(kOffValue + i));
        s.encryption[kEncryptionBytes] = 0;
    }
    s.records |= kind->bit;
    b.PutWord(kOffStatus, StatusOk);
}

}  // namespace

bool CardSimulator::Handle(uint32_t ioctl_code, const void* in, uint32_t in_size, void* out, uint32_t out_size,
                           uint32_t* returned) {
    if (returned != nullptr) *returned = 0;
    if (in == nullptr) in_size = 0;
    if (out == nullptr) out_size = 0;
    const uint8_t* in_bytes = static_cast<const uint8_t*>(in);
    uint8_t* out_bytes = static_cast<uint8_t*>(out);

    CardState& st = state;
    if (st.device_calls != 0xFFFFFFFFu) ++st.device_calls;
    Log(st, ioctl_code, in_bytes, in_size, out_bytes, out_size);

    const Faults& f = st.faults;
    if (f.fail_all_calls != 0) return false;
    if (f.fail_call_number != 0 && f.fail_call_number == st.device_calls) return false;
    if (ioctl_code != kIoctlQueryGlobalStats) return false;
    if (in_size < 4) return false;
    const uint32_t oid = static_cast<uint32_t>(in_bytes[0]) | (static_cast<uint32_t>(in_bytes[1]) << 8) |
                         (static_cast<uint32_t>(in_bytes[2]) << 16) | (static_cast<uint32_t>(in_bytes[3]) << 24);
    if (oid != kTunnelOid) return false;
    if (out_size < kBlockHeaderSize) return false;

    Block b{out_bytes, out_size < kBlockSize ? out_size : kBlockSize};
    const uint16_t command = b.Word(kOffCommand);
    if (command == CmdConnect) {
        Connect(st, b);
    } else if (st.connection_id == 0 || b.Dword(kOffId) != st.connection_id) {
        b.PutWord(kOffStatus, StatusNotConnected);
    } else {
        switch (command) {
            case CmdDisconnect:
                st.connection_id = 0;
                ++st.disconnects;
                b.PutWord(kOffStatus, StatusOk);
                break;
            case CmdControl:
                if (b.Word(kOffType) == kControlActivate) {
                    st.active = st.received;
                    ++st.activations;
                    b.PutWord(kOffStatus, StatusOk);
                } else {
                    b.PutWord(kOffStatus, StatusRefusedControl);
                }
                break;
            case CmdGetRecord:
                GetRecord(st, b);
                break;
            case CmdPutRecord:
                PutRecord(st, b);
                break;
            default:
                b.PutWord(kOffStatus, StatusBadCommand);
                break;
        }
    }

    uint32_t answered = b.limit;
    if (f.short_answer_bytes != 0 && f.short_answer_bytes < answered) answered = f.short_answer_bytes;
    if (returned != nullptr) *returned = answered;
    return true;
}

}  // namespace cardsim
