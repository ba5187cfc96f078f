// ReadNumberValue and ReadTextValue over any stored type and bytes, read
// into buffers of exactly the capacity given (heap blocks, so the sanitizer
// sees a byte too far), against what the registry layer promises:
//  - a text read succeeds when the value, less one terminating zero, fits
//    with a terminator into min(capacity, 256) bytes; it then holds those
//    bytes and a zero, and nothing behind them changes; otherwise it fails
//    and the buffer keeps what it held;
//  - a number read fails for a value longer than 32 bytes and leaves the
//    number alone; a REG_SZ value is read as decimal text, anything else as
//    its first four bytes, zero-filled;
//  - a missing value fails both; no registry handle stays open.
//
// Input: type (4 bytes), capacity (2 bytes, up to 300), then the data.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "hostctl.h"
#include "platform/win.h"
#include "store/registry_access.h"

namespace {

constexpr char kKey[] = "Software\\Fuzz";
constexpr size_t kMaxTextRead = 256;
constexpr size_t kMaxNumberBytes = 32;
constexpr char kFill = 'Q';
constexpr uint32_t kUntouched = 0xA5A5A5A5u;

bool IsSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Decimal text as a stored number: white space, one sign, digits up to the
// first other character; beyond 32 bits it saturates (to 0xFFFFFFFF, or to
// 0x80000000 for a negative number), and a negative one is its two's
// complement.
uint32_t Decimal(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && IsSpace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    uint64_t value = 0;
    bool big = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (!big) value = value * 10 + static_cast<uint64_t>(s[i] - '0');
        if (value > 0xFFFFFFFFull) big = true;
    }
    if (!negative) return big ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
    if (big || value > 0x80000000ull) return 0x80000000u;
    return static_cast<uint32_t>(0u - static_cast<uint32_t>(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint32_t type = in.U32();
    const size_t capacity = in.U16() % 301;
    const std::string value = in.Rest();

    hostwin::RegistryClear();
    HKEY key = nullptr;
    FUZZ_CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
                   ERROR_SUCCESS,
               "creating the key");
    FUZZ_CHECK(RegSetValueExA(key, "v", 0, type, reinterpret_cast<const BYTE*>(value.data()),
                              static_cast<DWORD>(value.size())) == ERROR_SUCCESS,
               "setting the value");
    RegCloseKey(key);

    // Text.
    auto buffer = std::make_unique<char[]>(capacity);
    std::memset(buffer.get(), kFill, capacity);
    const int text_ok = ReadTextValue(HKEY_LOCAL_MACHINE, kKey, "v", buffer.get(), capacity);
    const size_t room = capacity < kMaxTextRead ? capacity : kMaxTextRead;
    size_t length = value.size();
    if (length > 0 && value[length - 1] == '\0') --length;
    const bool fits = value.size() <= room && length + 1 <= room;
    FUZZ_CHECK(text_ok == (fits ? 1 : 0), "text read result " + std::to_string(text_ok) + " for " +
                                              std::to_string(value.size()) + " bytes into " + std::to_string(capacity));
    for (size_t i = 0; i < capacity; ++i) {
        char want = kFill;
        if (fits && i < length) want = value[i];
        if (fits && i == length) want = '\0';
        FUZZ_CHECK(buffer[i] == want, "text buffer byte " + std::to_string(i));
    }

    // Number.
    uint32_t number = kUntouched;
    const int number_ok = ReadNumberValue(HKEY_LOCAL_MACHINE, kKey, "v", &number);
    FUZZ_CHECK(number_ok == (value.size() <= kMaxNumberBytes ? 1 : 0), "number read result");
    if (number_ok) {
        uint32_t want;
        if (type == REG_SZ) {
            want = Decimal(value);
        } else {
            uint8_t bytes[4] = {};
            std::memcpy(bytes, value.data(), value.size() < 4 ? value.size() : 4);
            want = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                   static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
        }
        FUZZ_CHECK(number == want, "number " + std::to_string(number) + ", expected " + std::to_string(want));
    } else {
        FUZZ_CHECK(number == kUntouched, "a failed number read changed the number");
    }

    // A missing value and a missing key.
    std::memset(buffer.get(), kFill, capacity);
    number = kUntouched;
    FUZZ_CHECK(ReadTextValue(HKEY_LOCAL_MACHINE, kKey, "missing", buffer.get(), capacity) == 0, "missing text");
    FUZZ_CHECK(ReadNumberValue(HKEY_LOCAL_MACHINE, "Software\\Nowhere", "v", &number) == 0, "missing number");
    FUZZ_CHECK(number == kUntouched, "a missing number changed the number");
    for (size_t i = 0; i < capacity; ++i) FUZZ_CHECK(buffer[i] == kFill, "a missing text changed the buffer");
    FUZZ_CHECK(hostwin::RegistryOpenHandleCount() == 0, "a registry handle was left open");
    return 0;
}
