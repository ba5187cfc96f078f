// Hands the working settings straight to the running driver: twelve put
// records in a fixed order and the control code that makes them active.
#pragma once

#include <cstddef>
#include <cstdint>

// Record types of the live settings, in the order they are sent.
enum : uint16_t {
    RecordOwnChannel = 0xFC03,
    RecordPortType = 0xFC00,
    RecordSystemScale = 0xFC06,
    RecordRtsThreshold = 0xFC83,
    RecordPmEnabled = 0xFC09,
    RecordMicroWaveRobustness = 0xFC25,
    RecordCreateIbss = 0xFC81,
    RecordDesiredSsid = 0xFC02,
    RecordOwnSsid = 0xFC04,
    RecordEncryption = 0x0900,
    RecordBaseStation = 0x0901,
    RecordDriverEnable = 0x0902,
};
constexpr uint16_t kControlActivateSettings = 128;

// A network name's value: a count word and up to 32 characters (34 bytes),
// with a zero behind the characters when there are fewer than 32.
constexpr size_t kNameValueChars = 32;
// Fills a name record (18 words) from a text; returns the count sent.
uint16_t FillNameRecord(uint16_t* record, uint16_t type, const char* name);

int PutRecord(const uint16_t* record);
int SendControl(uint16_t code);
// Opens the channel, sends the settings, closes the channel. Always 0.
int WriteLiveSettings();
