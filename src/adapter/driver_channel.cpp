#include "adapter/driver_channel.h"

#include <cstdio>
#include <cstring>

#include "adapter/adapter_location.h"
#include "core/fixed_text.h"
#include "core/os_detect.h"
#include "store/registry_access.h"

const SupportedDriverRange SupportedDriverRanges[5] = {
    {41, 1, 99}, {46, 1, 99}, {48, 1, 99}, {51, 1, 99}, {52, 1, 99},
};

DriverChannelType DriverChannel = {{}, 0, INVALID_HANDLE_VALUE, 0};
TunnelBlock ConnectBlock = {};
char ChannelDeviceName[264] = "";
char ChannelDevicePath[260] = "";
char ChannelVxdName[32] = "";
char ChannelDosTarget[260] = "";
char ChannelDosQuery[260] = "";

namespace {

// The OID travels least significant byte first.
BYTE g_oid_bytes[4] = {static_cast<BYTE>(TunnelOid), static_cast<BYTE>(TunnelOid >> 8),
                       static_cast<BYTE>(TunnelOid >> 16), static_cast<BYTE>(TunnelOid >> 24)};

constexpr int kConnectAttempts = 10;
constexpr DWORD kBusyPauseMs = 100;
constexpr DWORD kDefineRaw = DDD_RAW_TARGET_PATH;
constexpr DWORD kRemoveExact = DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE;

// Platform numbers of the driver families by opener.
constexpr uint32_t kPlatformWin95 = 41;
constexpr uint32_t kPlatformWin98 = 48;
constexpr uint32_t kPlatformNt4 = 52;
constexpr uint32_t kPlatformInstance = 48;


BOOL Control(HANDLE device, TunnelBlock* block, DWORD* returned) {
    return DeviceIoControl(device, kIoctlNdisQueryGlobalStats, g_oid_bytes, sizeof g_oid_bytes, block,
                           kTunnelBlockSize, returned, nullptr);
}

// The connect request of every opener; the answer stays in ConnectBlock.
bool Probe(HANDLE device) {
    ConnectBlock.Command = TunnelConnect;
    DWORD returned = 0;
    return Control(device, &ConnectBlock, &returned) != FALSE;
}

void RemoveDosName() { DefineDosDeviceA(kRemoveExact, ChannelDeviceName, ChannelDosTarget); }

// Releases a device that did not become the channel, with a DOS name that
// its opener defined.
void ReleaseDevice(HANDLE device, uint32_t name_defined) {
    if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
    if (name_defined) RemoveDosName();
}

HANDLE OpenDevicePath() {
    return CreateFileA(ChannelDevicePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       0, INVALID_HANDLE_VALUE);
}

}  // namespace

HANDLE OpenInstanceDevice() {
    if (!LocateAdapter()) return INVALID_HANDLE_VALUE;
    if (!ReadTextValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "NetCfgInstanceId", ChannelDeviceName)) {
        return INVALID_HANDLE_VALUE;
    }
    // An instance id too long for the device path counts as absent.
    if (!FormatText(ChannelDevicePath, "\\\\.\\%s", ChannelDeviceName)) return INVALID_HANDLE_VALUE;
    HANDLE device = OpenDevicePath();
    if (device == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    if (!Probe(device)) {
        CloseHandle(device);
        return INVALID_HANDLE_VALUE;
    }
    return device;
}

HANDLE OpenNt4Device(const char* oem_code, uint32_t* name_defined) {
    *name_defined = 0;
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (!FormatText(ChannelDeviceName, "SL%s52%c", oem_code, digit) ||
            !FormatText(ChannelDevicePath, "\\\\.\\%s", ChannelDeviceName)) {
            return INVALID_HANDLE_VALUE;
        }
        uint32_t defined = 0;
        if (QueryDosDeviceA(ChannelDeviceName, ChannelDosQuery, sizeof ChannelDosQuery) == 0) {
            // Only a name that is merely absent is defined; any other failure
            // ends the search.
            if (GetLastError() != ERROR_FILE_NOT_FOUND) return INVALID_HANDLE_VALUE;
            if (!FormatText(ChannelDosTarget, "\\Device\\%s", ChannelDeviceName)) return INVALID_HANDLE_VALUE;
            if (!DefineDosDeviceA(kDefineRaw, ChannelDeviceName, ChannelDosTarget)) return INVALID_HANDLE_VALUE;
            if (QueryDosDeviceA(ChannelDeviceName, ChannelDosQuery, sizeof ChannelDosQuery) == 0) {
                // The definition just made does not outlive the failed search.
                RemoveDosName();
                return INVALID_HANDLE_VALUE;
            }
            defined = 1;
        }
        HANDLE device = OpenDevicePath();
        if (device == INVALID_HANDLE_VALUE) {
            if (defined) RemoveDosName();
            continue;
        }
        if (Probe(device)) {
            *name_defined = defined;
            return device;
        }
        if (defined) RemoveDosName();
        CloseHandle(device);
    }
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenVxdDevice() {
    if (!FormatText(ChannelDevicePath, "\\\\.\\%s", ChannelVxdName)) return INVALID_HANDLE_VALUE;
    HANDLE device = OpenDevicePath();
    if (device == INVALID_HANDLE_VALUE) {
        // The family's own VxD is missing: try the common one, whose digits
        // follow the three-letter OEM code.
        if (std::strlen(ChannelDevicePath) < 11) return INVALID_HANDLE_VALUE;
        ChannelDevicePath[9] = '5';
        ChannelDevicePath[10] = '1';
        device = OpenDevicePath();
        if (device == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
    }
    // The answer is judged from the connect block, not from the call.
    Probe(device);
    return device;
}

int OpenDriverChannel(const char* oem_code) {
    int result = ChannelNone;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        DriverChannel.Block.ConnectionId = 0;
        DriverChannel.NameDefined = 0;
        result = ChannelNone;

        HANDLE device = INVALID_HANDLE_VALUE;
        uint32_t name_defined = 0;
        uint32_t platform = 0;
        switch (OsClass) {
            case OsWin95:
                if (FormatText(ChannelVxdName, "SU%s41.VXD", oem_code)) device = OpenVxdDevice();
                platform = kPlatformWin95;
                break;
            case OsWin98:
                if (FormatText(ChannelVxdName, "SU%s48.VXD", oem_code)) device = OpenVxdDevice();
                platform = kPlatformWin98;
                break;
            case OsNT4:
                device = OpenNt4Device(oem_code, &name_defined);
                platform = kPlatformNt4;
                break;
            case OsWin2000:
            case OsWinXP:
                device = OpenInstanceDevice();
                platform = kPlatformInstance;
                break;
            default:
                break;
        }
        if (device == INVALID_HANDLE_VALUE) break;

        const uint16_t status = ConnectBlock.Status;
        if (status == 0) {
            DriverChannel.Block.ConnectionId = ConnectBlock.ConnectionId;
            DriverChannel.Device = device;
            DriverChannel.NameDefined = name_defined;
            DriverChannel.PlatformNumber = platform;
            result = ChannelOk;
            break;
        }
        ReleaseDevice(device, name_defined);
        if (status != ChannelBusy) {
            result = status;
            break;
        }
        // The driver is busy: pause, then connect again.
        Sleep(kBusyPauseMs);
        result = ChannelBusy;
    }
    if (result != ChannelOk) return result;

    if (DriverChannel.Block.ConnectionId == 0) {
        ReleaseDevice(DriverChannel.Device, DriverChannel.NameDefined);
        DriverChannel.Device = INVALID_HANDLE_VALUE;
        DriverChannel.NameDefined = 0;
        DriverChannel.PlatformNumber = 0;
        return ChannelNone;
    }
    return CheckDriverRange();
}

int SendTunnelRequest(TunnelBlock* block, DWORD* output_length) {
    block->Status = 0;
    *output_length = kTunnelBlockSize;
    if (!Control(DriverChannel.Device, block, output_length)) return ChannelNone;
    return block->Status;
}

int GetRecord(uint16_t* record) {
    const uint16_t room = record[0];
    TunnelBlock& block = DriverChannel.Block;
    block.Command = TunnelGetRecord;
    block.RecordLength = room < kMaxRecordWords ? room : kMaxRecordWords;
    block.RecordType = record[1];
    block.Value[0] = 0xFFFF;
    DWORD length = kTunnelBlockSize;
    const int result = SendTunnelRequest(&block, &length);
    if (result == ChannelOk || result == ChannelCopiedStatus) {
        // As many words as both the answer and the caller's record hold (and
        // never more than the block carries); the length word is the
        // driver's own.
        size_t n = block.RecordLength;
        if (n > room) n = room;
        if (n > kMaxRecordWords) n = kMaxRecordWords;
        std::memcpy(record, &block.RecordLength, 2 * n + 2);
    }
    return result;
}

int CheckDriverRange() {
    uint16_t record[7] = {6, RecordDriverRange, 0, 0, 0, 0, 0};
    const int result = GetRecord(record);
    if (result != ChannelOk) return result;
    const uint16_t platform = record[4];
    const uint16_t lowest = record[5];
    const uint16_t highest = record[6];
    for (const SupportedDriverRange& range : SupportedDriverRanges) {
        if (range.Platform == platform && range.Lowest <= highest && range.Highest >= lowest) return ChannelOk;
    }
    return ChannelOutOfRange;
}

void CloseDriverChannel() {
    if (DriverChannel.PlatformNumber != 0) {
        // The disconnect carries its own status, so it is sent directly.
        TunnelBlock& block = DriverChannel.Block;
        block.Status = ChannelDisconnectStatus;
        block.Command = TunnelDisconnect;
        block.RecordLength = 0;
        block.RecordType = 0;
        DWORD returned = 0;
        Control(DriverChannel.Device, &block, &returned);
    }
    // A device or DOS name the channel holds is released whatever the state.
    ReleaseDevice(DriverChannel.Device, DriverChannel.NameDefined);
    std::memset(&DriverChannel, 0, sizeof DriverChannel);
    DriverChannel.Device = INVALID_HANDLE_VALUE;
}

void ResetDriverChannelState() {
    std::memset(&DriverChannel, 0, sizeof DriverChannel);
    DriverChannel.Device = INVALID_HANDLE_VALUE;
    std::memset(&ConnectBlock, 0, sizeof ConnectBlock);
    ChannelDeviceName[0] = ChannelDevicePath[0] = ChannelVxdName[0] = '\0';
    ChannelDosTarget[0] = ChannelDosQuery[0] = '\0';
}
