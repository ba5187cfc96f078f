#include "ui/key_record.h"

#include <bit>
#include <cstring>

#include "platform/win.h"
#include "store/settings.h"

static_assert(std::endian::native == std::endian::little, "the key record is laid out little-endian");

KeyRecordType KeyRecord = {};

const char ScrambleKey[] = "3C09E2B41F8A";
const char StarMask[] = "***********************************";
static_assert(sizeof StarMask == 36, "35 stars");

namespace {
constexpr uint8_t kCharBase = 38;  // '&': the smallest character of the text
constexpr size_t kSeedLength = 12;
}  // namespace

uint8_t KeySeed(const char* seed_text) {
    uint8_t s = 0;
    for (size_t i = 0; i < kSeedLength; ++i) {
        const uint8_t c = static_cast<uint8_t>(seed_text[i]);
        s = static_cast<uint8_t>((s ^ c) + c);
    }
    return s;
}

size_t EncodeKeyRecord(const char* seed_text, char* out, const uint8_t* in, size_t count) {
    const uint8_t s = KeySeed(seed_text);
    size_t length = 0;
    out[0] = '\0';
    for (size_t j = 0; j < count; j += 3) {
        uint8_t b[3] = {0, 0, 0};
        const size_t group = count - j < 3 ? count - j : 3;
        for (size_t k = 0; k < group; ++k) b[k] = static_cast<uint8_t>(in[j + k] ^ static_cast<uint8_t>(s + j + k));
        const char chars[4] = {
            static_cast<char>(kCharBase + (b[0] >> 2)),
            static_cast<char>(kCharBase + ((b[0] & 3) << 4 | b[1] >> 4)),
            static_cast<char>(kCharBase + ((b[1] & 15) << 2 | b[2] >> 6)),
            static_cast<char>(kCharBase + (b[2] & 63)),
        };
        // One byte gives two characters, two bytes three, three bytes four.
        for (size_t k = 0; k < group + 1; ++k) out[length++] = chars[k];
        out[length] = '\0';
    }
    return length;
}

size_t DecodeKeyRecord(const char* seed_text, uint8_t* out, const char* text) {
    const uint8_t s = KeySeed(seed_text);
    const size_t count = 3 * std::strlen(text) / 4;
    auto v = [text](size_t p) { return static_cast<uint8_t>((static_cast<uint8_t>(text[p]) - kCharBase) & 63); };
    size_t p = 0;
    for (size_t k = 0; k < count; ++k) {
        uint8_t byte = 0;
        switch (k % 3) {
            case 0:
                byte = static_cast<uint8_t>(v(p) << 2 | v(p + 1) >> 4);
                p += 1;
                break;
            case 1:
                byte = static_cast<uint8_t>((v(p) & 15) << 4 | v(p + 1) >> 2);
                p += 1;
                break;
            default:
                byte = static_cast<uint8_t>((v(p) & 3) << 6 | v(p + 1));
                p += 2;
                break;
        }
        out[k] = static_cast<uint8_t>(byte ^ static_cast<uint8_t>(s + k));
    }
    return count;
}

void LoadKeyRecord() {
    // Only a text of exactly the record's length is decoded; anything else
    // leaves the record as it was.
    if (std::strlen(ProfileSettings.Encryption) == kEncodedKeyTextLength) {
        DecodeKeyRecord(ScrambleKey, reinterpret_cast<uint8_t*>(&KeyRecord), ProfileSettings.Encryption);
    }
    if (KeyRecord.Magic != kKeyRecordMagic) KeyRecord = KeyRecordType{};
    KeyRecord.Magic = kKeyRecordMagic;
    KeyRecord.RecordLength = kKeyRecordLength;
    KeyRecord.RecordType = kKeyRecordType;
}

void StoreKeyRecord() {
    EncodeKeyRecord(ScrambleKey, ProfileSettings.Encryption, reinterpret_cast<const uint8_t*>(&KeyRecord),
                    sizeof KeyRecord);
}

int HexToBytes(uint8_t* out, const char* text, int count) {
    unsigned a = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[i];
        unsigned value;
        if (c >= '0' && c <= '9') {
            value = static_cast<unsigned>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = static_cast<unsigned>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            value = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return 0;
        }
        a += value;
        if (i % 2 == 0) {
            a *= 16;
        } else {
            out[i / 2] = static_cast<uint8_t>(a);
            a = 0;
        }
    }
    return 1;
}

int KeyCharVerdict(int hex_mode, char* ch) {
    if (*ch == '\b' || !hex_mode) return 1;
    if (*ch >= 'A' && *ch <= 'Z') *ch = static_cast<char>(*ch + 32);
    return ((*ch >= '0' && *ch <= '9') || (*ch >= 'a' && *ch <= 'f')) ? 1 : 0;
}

int FilterKeyChar(int hex_mode, char& ch) {
    if (KeyCharVerdict(hex_mode, &ch)) return 1;
    MessageBeep(0xFFFFFFFF);
    return 0;
}
