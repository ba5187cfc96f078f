// The four encryption keys, the transmit key and the data security switch:
// a fixed 76-byte record while a page edits them, and a printable
// 102-character text everywhere else (registry, defaults, the card).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kKeyRecordMagic = 0x48576877;
constexpr uint16_t kKeyRecordLength = 33;  // words: the type word and 64 key bytes
constexpr uint16_t kKeyRecordType = 0xFCB0;
constexpr size_t kKeyDataSize = 14;
constexpr int kKeyCount = 4;

struct KeyEntry {
    uint16_t Length;  // bytes in use: 0, 5 or 13
    uint8_t Data[kKeyDataSize];
};

// Little-endian, no padding: the whole record is what the text carries.
struct KeyRecordType {
    uint32_t Magic;
    uint16_t KeyIndex;      // transmit key 0..3
    uint16_t DataSecurity;  // 1: encryption on
    uint16_t RecordLength;
    uint16_t RecordType;
    KeyEntry Keys[kKeyCount];
};
static_assert(sizeof(KeyRecordType) == 76, "the key record is 76 bytes");
static_assert(offsetof(KeyRecordType, Keys) == 12, "keys start at byte 12");

extern KeyRecordType KeyRecord;

// The seed text; only the one-byte seed derived from it is used.
extern const char ScrambleKey[];
// Shown in a key field instead of a stored key (35 stars).
extern const char StarMask[];

// The one-byte seed of a 12-character seed text.
uint8_t KeySeed(const char* seed_text);

// Writes the printable text of `count` input bytes and a terminator to
// `out` (which must hold 4 * ceil(count / 3) + 1 bytes); returns its length.
size_t EncodeKeyRecord(const char* seed_text, char* out, const uint8_t* in, size_t count);
// Writes floor(3 * L / 4) bytes for a text of L characters; returns the count.
size_t DecodeKeyRecord(const char* seed_text, uint8_t* out, const char* text);

// KeyRecord from ProfileSettings.Encryption, with a valid header.
void LoadKeyRecord();
// ProfileSettings.Encryption from KeyRecord.
void StoreKeyRecord();

// Parses N hexadecimal digits, two per byte, high digit first. Returns 0 at
// the first character that is not a hexadecimal digit.
int HexToBytes(uint8_t* out, const char* text, int count);

// A typed key character: accepted (possibly changed to lower case) or refused.
// The decision alone, without the beep:
int KeyCharVerdict(int hex_mode, char* ch);
// The decision, and a beep for a refused character.
int FilterKeyChar(int hex_mode, char& ch);
