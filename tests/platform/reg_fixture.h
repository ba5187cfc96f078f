// A registry fixture that works on both backends: on the host against the
// host layer's store, under wine64 against Wine's real registry. Every key a
// test seeds or lets the code create is removed again after the test, so the
// programs can share one Wine prefix.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win.h"

struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    std::string Text() const;       // the data up to its first zero
    uint32_t Number() const;        // the first four bytes, little-endian
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Registers a key path below HKEY_LOCAL_MACHINE that the test (or the
    // code under test) may create: whatever part of it is missing now is
    // deleted after the test.
    void Own(const std::string& path);

    // Seeding, below HKEY_LOCAL_MACHINE; each creates the key path.
    void SeedKey(const std::string& path);
    void SeedText(const std::string& path, const std::string& name, const std::string& text);
    void SeedNumber(const std::string& path, const std::string& name, uint32_t number);
    void SeedRaw(const std::string& path, const std::string& name, DWORD type, const void* data, size_t size);

    // Looking at the registry without the code under test.
    static bool KeyExists(const std::string& path);
    static std::optional<StoredValue> Value(const std::string& path, const std::string& name);
    static std::vector<std::string> Subkeys(const std::string& path);

private:
    std::vector<std::string> owned_;  // topmost keys this test created
};

// The host layer counts open registry handles; under Wine the count is not
// visible, so the check only runs on the host.
void ExpectNoOpenRegistryHandles();
