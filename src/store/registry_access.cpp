#include "store/registry_access.h"

#include <cstring>

namespace {

// The longest text the applet ever reads: the settings buffers.
constexpr size_t kMaxTextRead = 256;
// Numbers are read through a buffer of this size; longer values are absent.
constexpr DWORD kNumberReadSize = 32;

int WriteValue(HKEY root, const char* key_path, const char* value_name, DWORD type, const BYTE* data,
               DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, key_path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    const LONG rc = RegSetValueExA(key, value_name, 0, type, data, size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

int WriteTextValue(HKEY root, const char* key_path, const char* value_name, const char* text) {
    return WriteValue(root, key_path, value_name, REG_SZ, reinterpret_cast<const BYTE*>(text),
                      static_cast<DWORD>(std::strlen(text) + 1));
}

int WriteNumberValue(HKEY root, const char* key_path, const char* value_name, uint32_t number) {
    const BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                           static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    return WriteValue(root, key_path, value_name, REG_DWORD, bytes, sizeof bytes);
}

int ReadTextValue(HKEY root, const char* key_path, const char* value_name, char* buffer, size_t capacity) {
    if (capacity == 0) return 0;
    if (capacity > kMaxTextRead) capacity = kMaxTextRead;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    // Read into a buffer of our own: a failed or unusable read must leave the
    // caller's buffer as it was, and Windows leaves a buffer undefined when
    // the value does not fit.
    BYTE data[kMaxTextRead] = {};
    DWORD size = static_cast<DWORD>(capacity);
    const LONG rc = RegQueryValueExA(key, value_name, nullptr, nullptr, data, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || size > capacity) return 0;
    // A text must keep its terminator inside the buffer. A value that fills
    // the buffer without ending in a zero (a text stored without terminator,
    // or a binary value) has no room for one and counts as absent.
    size_t length = size;
    if (length > 0 && data[length - 1] == '\0') --length;
    if (length + 1 > capacity) return 0;
    std::memcpy(buffer, data, length);
    buffer[length] = '\0';
    return 1;
}

uint32_t DecimalTextValue(const char* text, size_t length) {
    size_t i = 0;
    while (i < length && IsSpace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Digits beyond the 32-bit range saturate instead of wrapping, so an
    // overlong number never turns into a small, plausible one.
    uint64_t magnitude = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > 0xFFFFFFFFu) magnitude = 0x100000000u;
    }
    if (!negative) return magnitude > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(magnitude);
    if (magnitude > 0x80000000u) return 0x80000000u;
    return static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude));
}

int ReadNumberValue(HKEY root, const char* key_path, const char* value_name, uint32_t* number) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    BYTE data[kNumberReadSize] = {};
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    const LONG rc = RegQueryValueExA(key, value_name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || size > sizeof data) return 0;
    if (type == REG_SZ) {
        *number = DecimalTextValue(reinterpret_cast<const char*>(data), size);
    } else {
        // Shorter values read as if zero-filled to four bytes.
        *number = static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                  static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
    }
    return 1;
}

LONG DeleteKeyTree(HKEY parent, const char* key_path) {
    if (key_path == nullptr || key_path[0] == '\0') return ERROR_BADKEY;
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(parent, key_path, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &key);
    if (rc != ERROR_SUCCESS) return rc;
    // Depth-first: always the first remaining subkey, until none is left.
    // The recursion is as deep as the tree, at most 512 levels on Windows,
    // with a small frame per level.
    for (;;) {
        char name[MAX_PATH];
        DWORD name_size = sizeof name;
        rc = RegEnumKeyExA(key, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) {
            rc = RegDeleteKeyA(parent, key_path);
            break;
        }
        if (rc != ERROR_SUCCESS) break;
        rc = DeleteKeyTree(key, name);
        if (rc != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return rc;
}
