// The registry access layer against the registry of each backend.
#include "store/registry_access.h"

#include <cstring>
#include <string>

#include "reg_fixture.h"

namespace {

const std::string kBase = "Software\\SnkesTest";

class RegistryAccessTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        Own(kBase);
    }
};

TEST_F(RegistryAccessTest, ReadNumberAcceptsDwordsTextAndShortBinaries) {
    struct Case {
        const char* name;
        DWORD type;
        std::string data;  // raw bytes as stored
        uint32_t expected;
    } cases[] = {
        {"spaces", REG_SZ, std::string("  42\0", 5), 42},
        {"minus one", REG_SZ, std::string("-1\0", 3), 4294967295u},
        {"digits then letters", REG_SZ, std::string("12ab\0", 5), 12},
        {"letters only", REG_SZ, std::string("abc\0", 4), 0},
        {"empty text", REG_SZ, std::string("\0", 1), 0},
        {"text without terminator", REG_SZ, std::string("77"), 77},
        {"dword", REG_DWORD, std::string("\x2a\x01\x00\x00", 4), 0x12a},
        {"dword all ones", REG_DWORD, std::string("\xff\xff\xff\xff", 4), 0xFFFFFFFFu},
        {"two-byte binary", REG_BINARY, std::string("\x34\x12", 2), 0x1234},
        {"eight-byte binary, first four count", REG_BINARY, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8),
         0x04030201},
        {"31 digits fit the 32-byte read", REG_SZ, std::string(30, '0') + "9" + std::string(1, '\0'), 9},
    };
    for (const Case& c : cases) {
        SeedRaw(kBase, c.name, c.type, c.data.data(), c.data.size());
        uint32_t number = 0xDEADBEEF;
        EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, kBase.c_str(), c.name, &number), 1) << c.name;
        EXPECT_EQ(number, c.expected) << c.name;
    }
}

TEST_F(RegistryAccessTest, ReadNumberFailureLeavesTheNumberAlone) {
    const std::string forty(39, '7');  // 40 bytes with the terminator: too long for a number
    SeedText(kBase, "forty", forty);
    SeedRaw(kBase, "binary33", REG_BINARY, std::string(33, '\x01').data(), 33);
    for (const char* name : {"forty", "binary33", "missing"}) {
        uint32_t number = 0xDEADBEEF;
        EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, kBase.c_str(), name, &number), 0) << name;
        EXPECT_EQ(number, 0xDEADBEEF) << name;
    }
    uint32_t number = 5;
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, (kBase + "\\Absent\\Deeper").c_str(), "x", &number), 0);
    EXPECT_EQ(number, 5u);
    EXPECT_FALSE(KeyExists(kBase + "\\Absent")) << "a read never creates a key";
}

TEST_F(RegistryAccessTest, ReadTextCopiesAnyValueThatFits) {
    SeedText(kBase, "name", "Kestrel");
    SeedNumber(kBase, "dword", 0x00636261);  // "abc" and a zero byte
    SeedText(kBase, "empty", "");
    SeedRaw(kBase, "unterminated", REG_SZ, "xyz", 3);
    struct Case {
        const char* name;
        const char* expected;
    } cases[] = {{"name", "Kestrel"}, {"dword", "abc"}, {"empty", ""}, {"unterminated", "xyz"}};
    for (const Case& c : cases) {
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, kBase.c_str(), c.name, buffer), 1) << c.name;
        EXPECT_STREQ(buffer, c.expected) << c.name;
    }
}

TEST_F(RegistryAccessTest, ReadTextRefusesWhatDoesNotFitAndLeavesTheBuffer) {
    // Each value is one byte too long for a 16-byte buffer in its own way.
    SeedText(kBase, "sixteen", std::string(16, 'x'));              // 17 bytes with terminator
    SeedRaw(kBase, "full", REG_SZ, std::string(16, 'y').data(), 16);  // fits, but no room for a terminator
    SeedRaw(kBase, "binary", REG_BINARY, std::string(16, 'z').data(), 16);
    SeedText(kBase, "fifteen", std::string(15, 'w'));
    for (const char* name : {"sixteen", "full", "binary", "missing"}) {
        char buffer[16 + 4];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, kBase.c_str(), name, buffer, 16), 0) << name;
        for (char c : buffer) ASSERT_EQ(c, '#') << name << ": the buffer was touched";
    }
    char buffer[16];
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, kBase.c_str(), "fifteen", buffer), 1);
    EXPECT_EQ(std::string(buffer), std::string(15, 'w'));
}

TEST_F(RegistryAccessTest, SettingsSizedTextsUpTo255Characters) {
    SeedText(kBase, "max", std::string(255, 'm'));
    SeedText(kBase, "over", std::string(256, 'o'));
    SeedText(kBase, "driver300", std::string(300, 'd'));
    char buffer[256];
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, kBase.c_str(), "max", buffer), 1);
    EXPECT_EQ(std::string(buffer), std::string(255, 'm'));
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, kBase.c_str(), "over", buffer), 0);
    EXPECT_EQ(ReadTextValue(HKEY_LOCAL_MACHINE, kBase.c_str(), "driver300", buffer), 0);
    EXPECT_EQ(std::string(buffer), std::string(255, 'm')) << "a failed read leaves the buffer";
}

TEST_F(RegistryAccessTest, WritesCreateTheWholePathAndStoreTheDocumentedForms) {
    const std::string deep = kBase + "\\Driver\\Config02";
    EXPECT_EQ(WriteTextValue(HKEY_LOCAL_MACHINE, deep.c_str(), "DesiredSSID", "home"), 1);
    EXPECT_EQ(WriteTextValue(HKEY_LOCAL_MACHINE, deep.c_str(), "OwnSSID", ""), 1);
    EXPECT_EQ(WriteNumberValue(HKEY_LOCAL_MACHINE, deep.c_str(), "RTSThreshold", 0x0102092B), 1);

    auto ssid = Value(deep, "DesiredSSID");
    ASSERT_TRUE(ssid);
    EXPECT_EQ(ssid->type, DWORD{REG_SZ});
    EXPECT_EQ(ssid->data, (std::vector<uint8_t>{'h', 'o', 'm', 'e', 0}));
    auto empty = Value(deep, "OwnSSID");
    ASSERT_TRUE(empty) << "an empty text is stored, not deleted";
    EXPECT_EQ(empty->type, DWORD{REG_SZ});
    EXPECT_EQ(empty->data, std::vector<uint8_t>{0});
    auto number = Value(deep, "RTSThreshold");
    ASSERT_TRUE(number);
    EXPECT_EQ(number->type, DWORD{REG_DWORD});
    EXPECT_EQ(number->data, (std::vector<uint8_t>{0x2B, 0x09, 0x02, 0x01}));

    // Overwriting replaces type and data.
    EXPECT_EQ(WriteTextValue(HKEY_LOCAL_MACHINE, deep.c_str(), "RTSThreshold", "2347"), 1);
    uint32_t n = 0;
    EXPECT_EQ(ReadNumberValue(HKEY_LOCAL_MACHINE, deep.c_str(), "RTSThreshold", &n), 1);
    EXPECT_EQ(n, 2347u);
}

TEST_F(RegistryAccessTest, DeleteKeyTreeArguments) {
    SeedText(kBase + "\\Keep", "v", "1");
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, ""), ERROR_BADKEY);
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, nullptr), ERROR_BADKEY);
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, (kBase + "\\Missing").c_str()), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(KeyExists(kBase + "\\Keep"));
    EXPECT_EQ(Subkeys(kBase), std::vector<std::string>{"Keep"});
}

TEST_F(RegistryAccessTest, DeleteKeyTreeRemovesEverythingBelowAndLeavesSiblings) {
    const std::string victim = kBase + "\\Victim";
    SeedText(victim, "top", "1");
    for (const char* sub : {"\\A", "\\A\\A1", "\\A\\A2\\A21", "\\B", "\\C\\C1\\C11\\C111"}) {
        SeedText(victim + sub, "v", sub);
        SeedNumber(victim + sub, "n", 1);
    }
    SeedText(kBase + "\\Victim2", "v", "sibling with a longer name");
    SeedText(kBase + "\\Vic", "v", "sibling with a shorter name");
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, victim.c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(victim));
    EXPECT_EQ(Subkeys(kBase), (std::vector<std::string>{"Vic", "Victim2"}));
}

TEST_F(RegistryAccessTest, DeleteKeyTreeOnTheDeepestTreeTheRegistryTakes) {
    // A chain of 500 levels below Software\SnkesTest\Deep: 503 levels from
    // the root, near the 512 Windows allows.
    const std::string top = kBase + "\\Deep";
    SeedKey(top);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, top.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    int levels = 0;
    for (; levels < 500; ++levels) {
        HKEY child = nullptr;
        const LONG rc = RegCreateKeyExA(key, "L", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                        &child, nullptr);
        RegCloseKey(key);
        ASSERT_EQ(rc, ERROR_SUCCESS) << "level " << levels;
        const BYTE v = 1;
        RegSetValueExA(child, "v", 0, REG_BINARY, &v, 1);
        key = child;
    }
    RegCloseKey(key);
    // Windows opens at most 32 levels in one call: walk down one at a time.
    int depth = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, top.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    for (HKEY child = nullptr; RegOpenKeyExA(key, "L", 0, KEY_READ, &child) == ERROR_SUCCESS; ++depth) {
        RegCloseKey(key);
        key = child;
    }
    RegCloseKey(key);
    ASSERT_EQ(depth, levels);
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, top.c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(top));
}

}  // namespace
