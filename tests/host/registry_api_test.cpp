// The Reg* functions of the host layer, against the Windows behaviour the
// applet relies on.
#include <cstring>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host_registry.h"

namespace {

using RegistryApi = HostRegistryTest;

TEST_F(RegistryApi, KeyNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Software\\MixedCase");
    RegCloseKey(h);

    DWORD disposition = 0;
    h = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\mixedCASE", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(h);

    HKEY opened;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\MIXEDCASE", 0, KEY_READ, &opened), ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{"Software"});
    HKEY sw;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &sw), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(sw), std::vector<std::string>{"MixedCase"});
    RegCloseKey(sw);
}

TEST_F(RegistryApi, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    HKEY h = CreateKey(HKEY_CURRENT_USER, "K");
    SetRaw(h, "Speed", REG_SZ, std::string("fast", 5));
    SetRaw(h, "SPEED", REG_DWORD, Bytes({1, 0, 0, 0}));
    ReadValue v = GetRaw(h, "speed");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(v.data, Bytes({1, 0, 0, 0}));
    // The default value: NULL and "" name the same one.
    SetRaw(h, nullptr, REG_SZ, std::string("d", 2));
    EXPECT_EQ(GetRaw(h, "").data, std::string("d", 2));
    RegCloseKey(h);

    std::vector<hostwin::RegistryKeyCopy> tree;
    ASSERT_TRUE(hostwin::RegistryCopyTree("HKEY_CURRENT_USER\\K", &tree));
    ASSERT_EQ(tree.size(), 1u);
    ASSERT_EQ(tree[0].values.size(), 2u);
    EXPECT_EQ(tree[0].values[0].name, "Speed");
    EXPECT_EQ(tree[0].values[1].name, "");
}

struct OrderCase {
    std::vector<std::string> created;
    std::vector<std::string> listed;
};

void PrintTo(const OrderCase& c, std::ostream* os) {
    for (const std::string& n : c.created) *os << '"' << n << "\" ";
}

class EnumerationOrder : public HostRegistryTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(EnumerationOrder, FollowsUpperCasedNames) {
    const OrderCase& c = GetParam();
    HKEY parent = CreateKey(HKEY_LOCAL_MACHINE, "Order");
    for (const std::string& name : c.created) RegCloseKey(CreateKey(parent, name));
    EXPECT_EQ(Subkeys(parent), c.listed);
    // RegEnumKeyA lists the same way.
    for (size_t i = 0; i < c.listed.size(); ++i) {
        char buf[64];
        ASSERT_EQ(RegEnumKeyA(parent, static_cast<DWORD>(i), buf, sizeof buf), ERROR_SUCCESS);
        EXPECT_EQ(std::string(buf), c.listed[i]);
    }
    char buf[64];
    EXPECT_EQ(RegEnumKeyA(parent, static_cast<DWORD>(c.listed.size()), buf, sizeof buf), ERROR_NO_MORE_ITEMS);
    RegCloseKey(parent);
}

INSTANTIATE_TEST_SUITE_P(Names, EnumerationOrder,
                         ::testing::Values(OrderCase{{"beta", "Alpha", "GAMMA"}, {"Alpha", "beta", "GAMMA"}},
                                           // "_" is above "Z" once letters are upper-cased, below "a" byte-wise.
                                           OrderCase{{"_x", "Z", "a"}, {"a", "Z", "_x"}},
                                           OrderCase{{"10", "9", "1", "Adapter", "0000"},
                                                     {"0000", "1", "10", "9", "Adapter"}},
                                           OrderCase{{"a_", "ab0", "aB"}, {"aB", "ab0", "a_"}},
                                           OrderCase{{"~t", "[", "^", "zz", "ZY"}, {"ZY", "zz", "[", "^", "~t"}},
                                           OrderCase{{"Params", "params2", "PARAM"}, {"PARAM", "Params", "params2"}}));

TEST_F(RegistryApi, CreateMakesTheWholePathAndOpenNeverCreates) {
    HKEY h;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A\\B\\C", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "A", &h), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(Subkeys(HKEY_LOCAL_MACHINE).empty());

    DWORD disposition = 0;
    h = CreateKey(HKEY_LOCAL_MACHINE, "A\\B\\C", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(h);
    for (const char* path : {"A", "A\\B", "A\\B\\C"}) EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path)) << path;

    h = CreateKey(HKEY_LOCAL_MACHINE, "A\\B\\C", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(h);
    h = CreateKey(HKEY_LOCAL_MACHINE, "a\\b\\D\\", &disposition);  // a trailing backslash is ignored
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(h);
    HKEY b;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "A\\B", &b), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(b), (std::vector<std::string>{"C", "D"}));
    RegCloseKey(b);
}

TEST_F(RegistryApi, EmptySubkeyReopensTheSameKey) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Same");
    HKEY again;
    ASSERT_EQ(RegOpenKeyExA(h, "", 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_NE(again, h);  // a new handle...
    SetRaw(h, "v", REG_BINARY, "xyz");
    EXPECT_EQ(GetRaw(again, "v").data, "xyz");  // ...to the same key
    EXPECT_EQ(hostwin::RegistryOpenHandleCount(), 2u);
    RegCloseKey(again);

    HKEY same;
    for (const char* sub : {static_cast<const char*>(nullptr), ""}) {
        ASSERT_EQ(RegOpenKeyA(h, sub, &same), ERROR_SUCCESS);
        EXPECT_EQ(same, h);  // RegOpenKeyA hands back the very handle
    }
    EXPECT_EQ(hostwin::RegistryOpenHandleCount(), 1u);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &same), ERROR_SUCCESS);
    EXPECT_EQ(same, HKEY_LOCAL_MACHINE);
    RegCloseKey(h);
}

struct PathCase {
    std::string path;
    LSTATUS create;
    LSTATUS open;  // after the create
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << '"' << c.path.substr(0, 24) << (c.path.size() > 24 ? "...\"" : "\"");
}

class SubkeyPaths : public HostRegistryTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(SubkeyPaths, AreCheckedLikeWindows) {
    const PathCase& c = GetParam();
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, c.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              c.create);
    if (h) RegCloseKey(h);
    HKEY o = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, c.path.c_str(), 0, KEY_READ, &o), c.open);
    if (o) RegCloseKey(o);
    if (c.create != ERROR_SUCCESS) {
        EXPECT_TRUE(Subkeys(HKEY_CURRENT_USER).empty()) << "a refused path left keys";
    }
}

INSTANTIATE_TEST_SUITE_P(Names, SubkeyPaths,
                         ::testing::Values(PathCase{"\\Lead", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
                                           PathCase{"Ok\\" + std::string(255, 'n'), ERROR_SUCCESS, ERROR_SUCCESS},
                                           PathCase{"Ok\\" + std::string(256, 'n'), ERROR_INVALID_PARAMETER,
                                                    ERROR_INVALID_PARAMETER},
                                           PathCase{"Two\\\\Slashes", ERROR_SUCCESS, ERROR_SUCCESS}));

TEST_F(RegistryApi, TreeIsAtMost512LevelsDeep) {
    std::string path = "d";
    for (int i = 1; i < 511; ++i) path += "\\d";
    HKEY deep = CreateKey(HKEY_LOCAL_MACHINE, path);  // level 511
    HKEY h = nullptr;
    // Two more levels in one call would reach 513: refused, nothing made.
    EXPECT_NE(RegCreateKeyExA(deep, "x\\y", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(h, nullptr);
    EXPECT_TRUE(Subkeys(deep).empty());
    HKEY last = CreateKey(deep, "x");  // level 512
    EXPECT_NE(RegCreateKeyExA(last, "y", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(Subkeys(last).empty());
    // Opening existing keys that deep is fine.
    HKEY again;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (path + "\\x").c_str(), 0, KEY_READ, &again), ERROR_SUCCESS);
    RegCloseKey(again);
    RegCloseKey(last);
    RegCloseKey(deep);
}

// Reads through a caller buffer with guard bytes on both sides.
struct QueryCase {
    std::string stored;
    DWORD buffer;  // what *lpcbData says
};

void PrintTo(const QueryCase& c, std::ostream* os) {
    *os << c.stored.size() << " bytes into " << c.buffer;
}

class QueryBuffer : public HostRegistryTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryBuffer, NeverWritesPastTheCallersSize) {
    const QueryCase& c = GetParam();
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Q");
    SetRaw(h, "v", REG_BINARY, c.stored);

    constexpr size_t kGuard = 16;
    std::vector<unsigned char> mem(c.buffer + 2 * kGuard, 0xCC);
    DWORD size = c.buffer, type = 0;
    LSTATUS rc = RegQueryValueExA(h, "v", nullptr, &type, mem.data() + kGuard, &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, c.stored.size());
    if (c.stored.size() > c.buffer) {
        EXPECT_EQ(rc, ERROR_MORE_DATA);
        for (size_t i = 0; i < mem.size(); ++i) ASSERT_EQ(mem[i], 0xCC) << "byte " << i << " written";
    } else {
        EXPECT_EQ(rc, ERROR_SUCCESS);
        EXPECT_EQ(std::memcmp(mem.data() + kGuard, c.stored.data(), c.stored.size()), 0);
        for (size_t i = kGuard + c.stored.size(); i < mem.size(); ++i) ASSERT_EQ(mem[i], 0xCC) << "byte " << i;
        for (size_t i = 0; i < kGuard; ++i) ASSERT_EQ(mem[i], 0xCC) << "byte " << i;
    }
    RegCloseKey(h);
}

INSTANTIATE_TEST_SUITE_P(Sizes, QueryBuffer,
                         ::testing::Values(QueryCase{"abcdef", 6}, QueryCase{"abcdef", 5}, QueryCase{"abcdef", 0},
                                           QueryCase{"abcdef", 64}, QueryCase{"", 0},
                                           QueryCase{std::string(3000, 'z'), 2999}));

TEST_F(RegistryApi, QueryReportsSizeAndTypeAndMissingValues) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Q");
    SetRaw(h, "noterm", REG_SZ, "abc");  // stored without its terminator
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(h, "noterm", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(GetRaw(h, "noterm").data, "abc");  // and comes back without one
    EXPECT_EQ(RegQueryValueExA(h, "noterm", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(h, "absent", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    char buf[8];
    EXPECT_EQ(RegQueryValueExA(h, "noterm", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(h);
}

struct StoredCase {
    DWORD type;
    std::string bytes;
};

void PrintTo(const StoredCase& c, std::ostream* os) {
    *os << "type " << c.type << ", " << c.bytes.size() << " bytes";
}

class ValuesStoredAsGiven : public HostRegistryTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(ValuesStoredAsGiven, ComeBackByteForByte) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "V");
    SetRaw(h, "v", GetParam().type, GetParam().bytes);
    ReadValue r = GetRaw(h, "v");
    EXPECT_EQ(r.rc, ERROR_SUCCESS);
    EXPECT_EQ(r.type, GetParam().type);
    EXPECT_EQ(r.data, GetParam().bytes);
    RegCloseKey(h);
}

INSTANTIATE_TEST_SUITE_P(Types, ValuesStoredAsGiven,
                         ::testing::Values(StoredCase{REG_SZ, std::string("text", 5)},
                                           StoredCase{REG_SZ, std::string("two\0zeros\0\0", 11)},
                                           StoredCase{REG_EXPAND_SZ, std::string("%SystemRoot%", 12)},
                                           StoredCase{REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
                                           StoredCase{REG_DWORD, Bytes({0x2a, 0, 0})}, StoredCase{REG_BINARY, ""},
                                           StoredCase{0x12345u, "odd type"}));

TEST_F(RegistryApi, SetValueRejectsDataPointerMissingForNonzeroSize) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "V");
    EXPECT_NE(RegSetValueExA(h, "v", 0, REG_BINARY, nullptr, 4), ERROR_SUCCESS);
    EXPECT_EQ(GetRaw(h, "v").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExA(h, "v", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(GetRaw(h, "v").data, "");
    EXPECT_EQ(RegSetValueExA(h, std::string(16384, 'n').c_str(), 0, REG_SZ, nullptr, 0), ERROR_INVALID_PARAMETER);
    RegCloseKey(h);
}

// Values of a key against a plain model, through many replacements of
// different sizes and deletions, with enough values that the hash index
// over the key's values is in use.
TEST_F(RegistryApi, ManyValuesFollowAModel) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "Many");
    std::map<std::string, std::pair<DWORD, std::string>> model;  // upper-cased name -> value
    std::vector<std::string> order;                              // names as first given
    std::mt19937 rng(12345);
    auto upper = [](std::string s) {
        for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        return s;
    };
    for (int step = 0; step < 6000; ++step) {
        int n = static_cast<int>(rng() % 400);
        std::string name = "Value" + std::to_string(n);
        if (rng() % 2) name = upper(name);
        int action = static_cast<int>(rng() % 10);
        if (action < 7) {
            std::string data(rng() % 40, static_cast<char>('a' + n % 26));
            DWORD type = static_cast<DWORD>(rng() % 5);
            SetRaw(h, name.c_str(), type, data);
            auto [it, added] = model.insert({upper(name), {type, data}});
            if (added)
                order.push_back(name);
            else
                it->second = {type, data};
        } else {
            LSTATUS rc = RegDeleteValueA(h, name.c_str());
            auto it = model.find(upper(name));
            EXPECT_EQ(rc, it == model.end() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
            if (it != model.end()) {
                model.erase(it);
                std::erase_if(order, [&](const std::string& o) { return upper(o) == upper(name); });
            }
        }
    }
    for (int n = 0; n < 400; ++n) {
        std::string name = "value" + std::to_string(n);
        ReadValue r = GetRaw(h, name.c_str());
        auto it = model.find(upper(name));
        if (it == model.end()) {
            EXPECT_EQ(r.rc, ERROR_FILE_NOT_FOUND) << name;
        } else {
            EXPECT_EQ(r.type, it->second.first) << name;
            EXPECT_EQ(r.data, it->second.second) << name;
        }
    }
    RegCloseKey(h);
    // Insertion order survives replacements; deleted names re-added go last.
    std::vector<hostwin::RegistryKeyCopy> tree;
    ASSERT_TRUE(hostwin::RegistryCopyTree("HKLM\\Many", &tree));
    std::vector<std::string> names;
    for (const auto& v : tree[0].values) names.push_back(v.name);
    EXPECT_EQ(names, order);
}

TEST_F(RegistryApi, HandlesOfADeletedKeyReportKeyDeleted) {
    HKEY victim = CreateKey(HKEY_LOCAL_MACHINE, "P\\Victim");
    HKEY parent = CreateKey(HKEY_LOCAL_MACHINE, "P");
    ASSERT_EQ(RegDeleteKeyA(parent, "victim"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "P\\Victim"));

    HKEY h = nullptr;
    DWORD size = 4, n = 8;
    char buf[8];
    EXPECT_EQ(RegQueryValueExA(victim, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(victim, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteValueA(victim, "x"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExA(victim, "sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExA(victim, "", 0, KEY_READ, &h), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExA(victim, 0, buf, &n, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKeyA(victim, ""), ERROR_KEY_DELETED);
    EXPECT_EQ(h, nullptr);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "P\\Victim\\sub"));

    // A key of the same name made again is a different key.
    HKEY reborn = CreateKey(parent, "Victim");
    EXPECT_EQ(RegSetValueExA(victim, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2), ERROR_KEY_DELETED);
    RegCloseKey(reborn);

    EXPECT_EQ(RegCloseKey(victim), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(victim), ERROR_INVALID_HANDLE);
    RegCloseKey(parent);
}

TEST_F(RegistryApi, DeletingATreeByImportMarksItsHandlesDeleted) {
    HKEY deep = CreateKey(HKEY_LOCAL_MACHINE, "T\\A\\B");
    HKEY mid = CreateKey(HKEY_LOCAL_MACHINE, "T\\A");
    std::string error;
    ASSERT_TRUE(hostwin::RegistryImportText("REGEDIT4\n[-HKEY_LOCAL_MACHINE\\T]\n", "del.reg", &error)) << error;
    DWORD size;
    EXPECT_EQ(RegQueryValueExA(deep, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExA(mid, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "T"));
    RegCloseKey(mid);
    RegCloseKey(deep);
}

TEST_F(RegistryApi, DeleteKeyOnlyTakesExistingEmptyKeys) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "D\\Full\\Child");
    SetRaw(h, "v", REG_SZ, std::string("x", 2));
    RegCloseKey(h);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "D\\Full"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "D\\Full\\Child"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "D\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);  // a root stays
    // A key with values but no subkeys goes, values and all.
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "D\\Full\\Child"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "D\\Full\\Child"));
    // An empty name deletes the key the handle names.
    h = CreateKey(HKEY_LOCAL_MACHINE, "D\\Full");
    EXPECT_EQ(RegDeleteKeyA(h, ""), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "D\\Full"));
    RegCloseKey(h);
    EXPECT_EQ(RegDeleteValueA(HKEY_LOCAL_MACHINE, "nothing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApi, HandlesAreValidatedNotTrusted) {
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_CONFIG), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    int local = 0;
    HKEY bogus = reinterpret_cast<HKEY>(&local);
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
    HKEY h;
    EXPECT_EQ(RegOpenKeyExA(bogus, "x", 0, KEY_READ, &h), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(uintptr_t{0x80000004}), "x", 0, KEY_READ, &h), ERROR_INVALID_HANDLE);

    h = CreateKey(HKEY_USERS, "Gone");
    EXPECT_EQ(hostwin::RegistryOpenHandleCount(), 1u);
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
    EXPECT_EQ(hostwin::RegistryOpenHandleCount(), 0u);
    DWORD size;
    EXPECT_EQ(RegQueryValueExA(h, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);

    // Clearing the registry closes whatever was open.
    h = CreateKey(HKEY_USERS, "Gone");
    hostwin::RegistryClear();
    EXPECT_EQ(hostwin::RegistryOpenHandleCount(), 0u);
    EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(KeyExists(HKEY_USERS, "Gone"));
}

TEST_F(RegistryApi, EnumKeyNeedsRoomForTheTerminator) {
    HKEY h = CreateKey(HKEY_LOCAL_MACHINE, "E");
    RegCloseKey(CreateKey(h, "Name"));
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    DWORD n = 4;  // "Name" needs 5
    EXPECT_EQ(RegEnumKeyExA(h, 0, buf, &n, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, '#'));
    EXPECT_EQ(RegEnumKeyA(h, 0, buf, 4), ERROR_MORE_DATA);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, '#'));

    n = 5;
    EXPECT_EQ(RegEnumKeyExA(h, 0, buf, &n, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(n, 4u);  // characters without the terminator
    EXPECT_STREQ(buf, "Name");
    EXPECT_EQ(buf[5], '#');
    n = sizeof buf;
    EXPECT_EQ(RegEnumKeyExA(h, 1, buf, &n, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(h);
}

// The store serves one caller at a time: threads working on the same
// parent key and the same value block must neither corrupt nor lose anything.
TEST_F(RegistryApi, ThreadsSharingKeysLoseNothing) {
    constexpr int kThreads = 4, kEach = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) {
                std::string name = "T" + std::to_string(t) + "_" + std::to_string(i);
                HKEY h = nullptr;
                if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("Shared\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &h, nullptr) != ERROR_SUCCESS)
                    return;
                RegCloseKey(h);
                HKEY shared = nullptr;
                if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Shared", 0, KEY_ALL_ACCESS, &shared) != ERROR_SUCCESS) return;
                RegSetValueExA(shared, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(name.data()),
                               static_cast<DWORD>(name.size()));
                RegCloseKey(shared);
            }
        });
    }
    for (auto& th : threads) th.join();
    HKEY shared;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Shared", 0, KEY_READ, &shared), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(shared).size(), static_cast<size_t>(kThreads * kEach));
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kEach; ++i) {
            std::string name = "T" + std::to_string(t) + "_" + std::to_string(i);
            ASSERT_EQ(GetRaw(shared, name.c_str()).data, name);
        }
    }
    RegCloseKey(shared);
}

}  // namespace
