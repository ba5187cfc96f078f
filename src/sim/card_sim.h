// The card driver simulator's protocol core: the driver's side of the vendor
// request channel. Freestanding: fixed buffers, no heap, no exceptions, nothing
// from the standard library beyond fixed-width integers and memcpy/memset, so
// the same core runs in the host layer's device namespace and inside the
// kernel-mode test driver.
#pragma once

#include <stdint.h>

namespace cardsim {

constexpr uint32_t kTunnelOid = 0xFF020401u;
constexpr uint32_t kIoctlQueryGlobalStats = 0x00170002u;  // the NDIS statistics query
constexpr uint32_t kBlockSize = 8204;                     // the request block
constexpr uint32_t kBlockHeaderSize = 12;
constexpr uint16_t kMaxRecordWords = 4097;

enum : uint16_t {
    CmdConnect = 0,
    CmdDisconnect = 1,
    CmdControl = 2,
    CmdGetRecord = 4,
    CmdPutRecord = 5,
};

enum : uint16_t {
    StatusOk = 0,
    StatusBusy = 68,
    StatusDisconnect = 69,    // what the applet puts into a disconnect request
    StatusNotConnected = 70,  // a request with a connection id the card does not know
    StatusUnknownRecord = 71,
    StatusBadLength = 72,
    StatusBadCommand = 73,
    StatusRefusedControl = 255,
};

// Record types the card knows.
enum : uint16_t {
    RecIdentity = 0x0826,  // variant, major, minor in value words 1 to 3
    RecRange = 0x0827,     // platform, lowest, highest level in value words 2 to 4
    RecOwnChannel = 0xFC03,
    RecPortType = 0xFC00,
    RecSystemScale = 0xFC06,
    RecRtsThreshold = 0xFC83,
    RecPmEnabled = 0xFC09,
    RecMicroWaveRobustness = 0xFC25,
    RecCreateIbss = 0xFC81,
    RecDesiredSsid = 0xFC02,
    RecOwnSsid = 0xFC04,
    RecEncryption = 0x0900,
    RecBaseStation = 0x0901,
    RecDriverEnable = 0x0902,
};
constexpr uint16_t kControlActivate = 128;  // makes the received settings active

// The bits of CardSettings::records, one per settings record.
enum : uint32_t {
    RecordBitOwnChannel = 1u << 0,
    RecordBitPortType = 1u << 1,
    RecordBitSystemScale = 1u << 2,
    RecordBitRtsThreshold = 1u << 3,
    RecordBitPmEnabled = 1u << 4,
    RecordBitMicroWaveRobustness = 1u << 5,
    RecordBitCreateIbss = 1u << 6,
    RecordBitDesiredSsid = 1u << 7,
    RecordBitOwnSsid = 1u << 8,
    RecordBitEncryption = 1u << 9,
    RecordBitBaseStation = 1u << 10,
    RecordBitDriverEnable = 1u << 11,
    RecordBitsAll = (1u << 12) - 1,
};

// What an over-long answer carries behind the record's own words.
constexpr uint16_t kLongFillWord = 0x4C4C;

struct NameValue {
    uint16_t count;     // characters as the applet sent them
    uint8_t chars[32];  // the characters, zero-filled behind them
};

// The card's settings, decoded from the records.
struct CardSettings {
    uint16_t own_channel;
    uint16_t port_type;
    uint16_t system_scale;
    uint16_t rts_threshold;
    uint16_t pm_enabled;
    uint16_t microwave_robustness;
    uint16_t create_ibss;
    NameValue desired_ssid;
    NameValue own_ssid;
    char encryption[103];   // the encoded key text as received, terminated
    uint16_t base_station;  // record 0x0901
    uint16_t driver_enable;
    uint32_t records;  // bit i set: the i-th record of the order above was received
};

// Fault injection. All zero: a healthy card.
struct Faults {
    uint32_t busy_answers;        // answer this many connects with status 68 (counts down)
    uint32_t connect_id_zero;     // 1: a successful connect carries connection id 0
    uint16_t connect_status;      // non-zero: answer every connect with this status
    uint16_t status_record_type;  // a get or put of this type (non-zero) ...
    uint16_t status_value;        // ... is answered with this status (the get still fills the answer)
    uint16_t short_record_type;   // a get of this type is answered ...
    uint16_t short_length;        // ... with only this many words, length word included in the count
    uint16_t long_record_type;    // a get of this type is answered with ...
    uint16_t long_length;         // ... this length word (up to 0xFFFF), the value area filled to the block's end
    uint32_t fail_call_number;    // non-zero: the device call with this number (device_calls + 1 counts) fails
    uint32_t fail_all_calls;      // 1: every device call fails
    uint32_t short_answer_bytes;  // non-zero: report only this many bytes returned
};

// What the card reports about itself.
struct Identity {
    uint16_t range_platform;  // default 48
    uint16_t range_lowest;    // default 1
    uint16_t range_highest;   // default 99
    uint16_t variant;         // default 1
    uint16_t major;           // default 6
    uint16_t minor;           // default 41
};

// One logged request: the block as the applet sent it, header and the first
// bytes of the value.
constexpr uint32_t kLoggedValueBytes = 116;
struct LoggedRequest {
    uint32_t ioctl_code;
    uint32_t oid;       // the 4 input bytes as a number (0 when fewer were given)
    uint32_t out_size;  // the output size the applet gave
    uint8_t block[kBlockHeaderSize + kLoggedValueBytes];
};
constexpr uint32_t kLogSize = 40;

struct CardState {
    Identity identity;
    Faults faults;
    CardSettings received;        // what the put records delivered
    CardSettings active;          // what control code 128 made active
    uint32_t connection_id;       // current connection, 0: none
    uint32_t last_connection_id;  // the last id given out; ids count from 1 after Reset
    uint32_t device_calls;        // every call that reached the device
    uint32_t connects;            // every connect request, busy and refused ones included
    uint32_t disconnects;         // disconnects that ended the current connection
    uint32_t activations;         // control code 128 requests
    uint32_t log_count;           // requests logged (the log keeps the first kLogSize)
    LoggedRequest log[kLogSize];
};

class CardSimulator {
public:
    // Power-on state: default identity, no faults, no connection, empty log.
    void Reset();

    // Answers one DeviceIoControl. Returns false when the call fails.
    bool Handle(uint32_t ioctl_code, const void* in, uint32_t in_size, void* out, uint32_t out_size,
                uint32_t* returned);

    CardState state;
};

}  // namespace cardsim
