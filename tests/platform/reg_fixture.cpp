#include "reg_fixture.h"

#include <algorithm>
#include <cstring>

#include "core/module_state.h"
#include "store/registry_access.h"
#ifndef _WIN32
#include "hostctl.h"
#endif

std::string StoredValue::Text() const {
    const auto end = std::find(data.begin(), data.end(), uint8_t{0});
    return std::string(data.begin(), end);
}

uint32_t StoredValue::Number() const {
    uint32_t n = 0;
    for (size_t i = 0; i < 4 && i < data.size(); ++i) n |= static_cast<uint32_t>(data[i]) << (8 * i);
    return n;
}

void ExpectNoOpenRegistryHandles() {
#ifndef _WIN32
    EXPECT_EQ(hostwin::RegistryOpenHandleCount(), 0u) << "a registry handle was left open";
#endif
}

void RegistryTest::SetUp() {
#ifndef _WIN32
    hostwin::ResetSystem();
#endif
    ResetModuleState();
    // The product keys shared with the Client Manager are written by much
    // of the applet.
    Own("Software\\Kestrel Wireless Solution\\Driver");
    Own("Software\\Kestrel Wireless Solution\\Client Manager");
}

void RegistryTest::TearDown() {
    ExpectNoOpenRegistryHandles();
    for (auto it = owned_.rbegin(); it != owned_.rend(); ++it) DeleteKeyTree(HKEY_LOCAL_MACHINE, it->c_str());
    for (const std::string& path : owned_) EXPECT_FALSE(KeyExists(path)) << "left behind: " << path;
    owned_.clear();
}

void RegistryTest::Own(const std::string& path) {
    // The topmost missing key along the path is the one to remove later.
    size_t pos = 0;
    for (;;) {
        const size_t next = path.find('\\', pos);
        const std::string prefix = path.substr(0, next);
        if (!KeyExists(prefix)) {
            if (std::find(owned_.begin(), owned_.end(), prefix) == owned_.end()) owned_.push_back(prefix);
            return;
        }
        if (next == std::string::npos) return;
        pos = next + 1;
    }
}

void RegistryTest::SeedKey(const std::string& path) {
    Own(path);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
}

void RegistryTest::SeedRaw(const std::string& path, const std::string& name, DWORD type, const void* data,
                           size_t size) {
    SeedKey(path);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegistryTest::SeedText(const std::string& path, const std::string& name, const std::string& text) {
    SeedRaw(path, name, REG_SZ, text.c_str(), text.size() + 1);
}

void RegistryTest::SeedNumber(const std::string& path, const std::string& name, uint32_t number) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                              static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    SeedRaw(path, name, REG_DWORD, bytes, sizeof bytes);
}

bool RegistryTest::KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<StoredValue> RegistryTest::Value(const std::string& path, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        value.data.resize(size);
        rc = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return value;
}

std::vector<std::string> RegistryTest::Subkeys(const std::string& path) {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    RegCloseKey(key);
    return names;
}
