#include "adapter/live_settings.h"

#include <cstring>

#include "adapter/adapter_location.h"
#include "adapter/driver_channel.h"
#include "store/settings.h"

namespace {

constexpr uint16_t kNameRecordWords = 18;        // type word and 34 bytes
constexpr uint16_t kEncryptionRecordWords = 52;  // type word and 102 bytes

int PutWord(uint16_t type, uint32_t value) {
    const uint16_t record[3] = {2, type, static_cast<uint16_t>(value)};
    return PutRecord(record);
}

bool IsAnyNetwork(const char* name) { return std::strcmp(name, "ANY") == 0 || std::strcmp(name, "any") == 0; }

}  // namespace

uint16_t FillNameRecord(uint16_t* record, uint16_t type, const char* name) {
    std::memset(record, 0, 2 * (kNameRecordWords + 1));
    record[0] = kNameRecordWords;
    record[1] = type;
    // Longer names are cut to the 32 characters the record holds.
    size_t count = std::strlen(name);
    if (count > kNameValueChars) count = kNameValueChars;
    record[2] = static_cast<uint16_t>(count);
    std::memcpy(&record[3], name, count);  // the zero behind a short name is already there
    return static_cast<uint16_t>(count);
}

int PutRecord(const uint16_t* record) {
    if (DriverChannel.PlatformNumber == 0) return ChannelNone;
    TunnelBlock& block = DriverChannel.Block;
    const uint16_t length = record[0] < kMaxRecordWords ? record[0] : kMaxRecordWords;
    block.Command = TunnelPutRecord;
    block.RecordLength = length;
    block.RecordType = record[1];
    if (length > 1) std::memcpy(block.Value, &record[2], 2 * (static_cast<size_t>(length) - 1));
    DWORD output = kTunnelBlockSize;
    return SendTunnelRequest(&block, &output);
}

int SendControl(uint16_t code) {
    if (DriverChannel.PlatformNumber == 0) return ChannelNone;
    TunnelBlock& block = DriverChannel.Block;
    block.Command = TunnelControl;
    block.RecordLength = kMaxRecordWords;
    block.RecordType = code;
    DWORD output = kTunnelBlockSize;
    return SendTunnelRequest(&block, &output);
}

int WriteLiveSettings() {
    if (OpenDriverChannel(OemCode) != ChannelOk) {
        CloseDriverChannel();
        return 0;
    }
    // Each answer is left alone: a refused record does not stop the rest.
    const ProfileSettingsType& p = ProfileSettings;
    PutWord(RecordOwnChannel, p.OwnChannel);
    PutWord(RecordPortType, p.PortType);
    PutWord(RecordSystemScale, p.SystemScale);
    PutWord(RecordRtsThreshold, p.RTSThreshold);
    PutWord(RecordPmEnabled, p.PMEnabled);
    PutWord(RecordMicroWaveRobustness, p.MicroWaveRobustness);
    PutWord(RecordCreateIbss, p.CreateIBSS);

    uint16_t name[kNameRecordWords + 1];
    FillNameRecord(name, RecordDesiredSsid, IsAnyNetwork(p.DesiredSSID) ? "" : p.DesiredSSID);
    PutRecord(name);
    FillNameRecord(name, RecordOwnSsid, p.OwnSSID);
    PutRecord(name);

    // The encoded key text without its terminator; a text of another length
    // is sent as far as it goes, zero-filled.
    uint16_t keys[kEncryptionRecordWords + 1] = {kEncryptionRecordWords, RecordEncryption};
    const size_t key_length = strnlen(p.Encryption, kEncodedKeyTextLength);
    std::memcpy(&keys[2], p.Encryption, key_length);
    PutRecord(keys);

    PutWord(RecordBaseStation, p.APMode == 1 ? 1 : 0);
    PutWord(RecordDriverEnable, AdapterState.DriverEnable);
    SendControl(kControlActivateSettings);
    CloseDriverChannel();
    return 0;
}
