// Helpers shared by the host registry tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostctl.h"
#include "hostwin.h"
#include "hostctl_registry.h"

// Every test starts from an empty registry and must close what it opens.
class HostRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { hostwin::RegistryClear(); }
    void TearDown() override {
        EXPECT_EQ(hostwin::RegistryOpenHandleCount(), 0u) << "a test left a registry handle open";
        hostwin::RegistryClear();
    }
};

// Creates (or opens) path below parent; fails the test if that fails.
inline HKEY CreateKey(HKEY parent, const std::string& path, DWORD* disposition = nullptr) {
    HKEY h = nullptr;
    LSTATUS rc = RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, disposition);
    EXPECT_EQ(rc, ERROR_SUCCESS) << "creating " << path;
    return h;
}

inline void SetRaw(HKEY h, const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(
        RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())),
        ERROR_SUCCESS)
        << "setting " << (name ? name : "(default)");
}

// Reads a value whole; type 0xFFFFFFFF and empty data when it is missing.
struct ReadValue {
    LSTATUS rc = ERROR_FILE_NOT_FOUND;
    DWORD type = 0xFFFFFFFFu;
    std::string data;
};
inline ReadValue GetRaw(HKEY h, const char* name) {
    ReadValue r;
    DWORD size = 0;
    r.rc = RegQueryValueExA(h, name, nullptr, &r.type, nullptr, &size);
    if (r.rc != ERROR_SUCCESS) return r;
    r.data.assign(size, '\0');
    DWORD got = size;
    r.rc = RegQueryValueExA(h, name, nullptr, &r.type, reinterpret_cast<BYTE*>(r.data.data()), &got);
    EXPECT_EQ(got, size);
    return r;
}

inline bool KeyExists(HKEY parent, const std::string& path) {
    HKEY h;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// Subkey names in enumeration order.
inline std::vector<std::string> Subkeys(HKEY h) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char buf[300];
        DWORD n = sizeof buf;
        LSTATUS rc = RegEnumKeyExA(h, i, buf, &n, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(rc, ERROR_SUCCESS);
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(buf, n);
    }
    return names;
}

inline std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s.push_back(static_cast<char>(c));
    return s;
}

// A readable listing of a subtree: one line per key, then one per value as
//   name|type|hex bytes
// ("@" for the default value). Empty if the key does not exist.
inline std::string Dump(const std::string& root) {
    std::vector<hostwin::RegistryKeyCopy> tree;
    if (!hostwin::RegistryCopyTree(root, &tree)) return "";
    std::string out;
    static const char kHex[] = "0123456789abcdef";
    for (const auto& k : tree) {
        out += k.path + "\n";
        for (const auto& v : k.values) {
            out += "  " + (v.name.empty() ? std::string("@") : v.name) + "|" + std::to_string(v.type) + "|";
            for (unsigned char c : v.data) {
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
            out += "\n";
        }
    }
    return out;
}

// The UTF-16LE form, with byte-order mark, of 8-bit text (bytes taken as
// code points), as regedit writes version 5 files.
inline std::string Utf16(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (unsigned char c : text) {
        out.push_back(static_cast<char>(c));
        out.push_back('\0');
    }
    return out;
}
