// The request channel to the running driver. Every request is one
// DeviceIoControl with the NDIS statistics query code, whose input is the
// vendor OID and whose output buffer carries a request block that the driver
// answers in place. A channel lives for one exchange: open (connect and
// range check), requests one at a time, close (disconnect).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win.h"

constexpr uint32_t TunnelOid = 0xFF020401u;
constexpr DWORD kIoctlNdisQueryGlobalStats = 0x00170002;  // physical netcard, function 0, out direct
constexpr DWORD kTunnelBlockSize = 8204;
constexpr uint16_t kMaxRecordWords = 4097;  // type word and 4096 value words

// Commands of the request block.
enum : uint16_t {
    TunnelConnect = 0,
    TunnelDisconnect = 1,
    TunnelControl = 2,
    TunnelGetRecord = 4,
    TunnelPutRecord = 5,
};

// Results of the channel operations; any other value is the driver's status.
enum : int {
    ChannelOk = 0,
    ChannelCopiedStatus = 8,   // a status after which a get still copies the answer
    ChannelOutOfRange = 65,    // the driver is not of a supported family and level
    ChannelNone = 66,          // no device, a failed device call, or no open channel
    ChannelBusy = 68,
    ChannelDisconnectStatus = 69,
    ChannelControlRefused = 255,
};

// Driver records outside the block are arrays of 16-bit words: [0] the
// length in words (counting the type word), [1] the type, then the value.
constexpr uint16_t RecordDriverRange = 0x0827;
constexpr uint16_t RecordDriverIdentity = 0x0826;

struct TunnelBlock {
    uint32_t ConnectionId;
    uint16_t Status;
    uint16_t Command;
    uint16_t RecordLength;
    uint16_t RecordType;
    uint16_t Value[4096];
};
static_assert(sizeof(TunnelBlock) == kTunnelBlockSize, "the request block is 8204 bytes");

struct DriverChannelType {
    TunnelBlock Block;
    uint32_t PlatformNumber;  // 0 while no channel is open
    HANDLE Device;
    uint32_t NameDefined;     // 1: the NT 4.0 opener defined the DOS name itself
};

struct SupportedDriverRange {
    uint16_t Platform;
    uint16_t Lowest;
    uint16_t Highest;
};
extern const SupportedDriverRange SupportedDriverRanges[5];

extern DriverChannelType DriverChannel;
extern TunnelBlock ConnectBlock;

// Work texts beside the channel.
extern char ChannelDeviceName[264];  // instance id (2000/XP) or NT device name (NT 4.0)
extern char ChannelDevicePath[260];  // "\\.\" and the device or VxD name
extern char ChannelVxdName[32];
extern char ChannelDosTarget[260];   // "\Device\" and the NT device name
extern char ChannelDosQuery[260];    // answer of the DOS name query

int OpenDriverChannel(const char* oem_code);
int SendTunnelRequest(TunnelBlock* block, DWORD* output_length);
int GetRecord(uint16_t* record);
int CheckDriverRange();
void CloseDriverChannel();

HANDLE OpenInstanceDevice();
HANDLE OpenNt4Device(const char* oem_code, uint32_t* name_defined);
HANDLE OpenVxdDevice();

// Back to the state of a freshly loaded module: closed channel, empty
// connect block and work texts. Touches no device.
void ResetDriverChannelState();
