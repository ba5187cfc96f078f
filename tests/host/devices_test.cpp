// The host layer's device namespace, DOS device table and clock, against the
// Windows behaviour the applet relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "devices_internal.h"
#include "hostctl.h"
#include "hostwin.h"

// ---- Counting heap allocations ---------------------------------------------
// This program's operator new counts the allocations made while g_counting is
// set, whichever code makes them.
namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
// Out of line, so that the compiler doesn't see free() meet a pointer from
// operator new where a delete is inlined and take it for a mismatch.
[[gnu::noinline]] static void Release(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorGenFailure = 31;
constexpr DWORD kErrorNotReady = 21;
constexpr DWORD kCreateAlways = 2;
constexpr DWORD kPing = 0x00220004u;

// A device that records the last call made on it and answers as told.
class FakeDevice : public hostwin::Device {
public:
    // How the next calls answer: `reply` goes into the output buffer (as much
    // as fits) and is what the call reports as returned.
    bool succeed = true;
    bool sets_error = true;
    uint32_t fail_error = 0;
    std::vector<unsigned char> reply;

    // The calls seen.
    int calls = 0;
    uint32_t code = 0;
    const void* in = nullptr;
    uint32_t in_size = 0;
    void* out = nullptr;
    uint32_t out_size = 0;

    bool Control(uint32_t c, const void* i, uint32_t is, void* o, uint32_t os, uint32_t* returned,
                 uint32_t* error) override {
        ++calls;
        code = c;
        in = i;
        in_size = is;
        out = o;
        out_size = os;
        const uint32_t n = std::min<uint32_t>(os, static_cast<uint32_t>(reply.size()));
        if (n != 0) std::memcpy(o, reply.data(), n);
        *returned = n;
        if (!succeed && sets_error) *error = fail_error;
        return succeed;
    }
};

HANDLE OpenPath(const char* path, DWORD disposition = OPEN_EXISTING) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE Open(const std::string& dos_name) {
    return OpenPath(("\\\\.\\" + dos_name).c_str());
}

BOOL Define(const char* name, const char* target) {
    return DefineDosDeviceA(DDD_RAW_TARGET_PATH, name, target);
}

BOOL RemoveExact(const char* name, const char* target) {
    return DefineDosDeviceA(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, name, target);
}

// QueryDosDeviceA's answer for `name` (null: the list of names), split into
// its strings; empty when the call fails.
std::vector<std::string> Mappings(const char* name) {
    char buf[4096];
    const DWORD n = QueryDosDeviceA(name, buf, sizeof buf);
    std::vector<std::string> out;
    if (n == 0) return out;
    EXPECT_GE(n, 2u);
    EXPECT_EQ(buf[n - 1], '\0');
    for (DWORD at = 0; at + 1 < n;) {
        out.emplace_back(buf + at);
        at += static_cast<DWORD>(out.back().size()) + 1;
    }
    return out;
}

using Strings = std::vector<std::string>;

// Two devices, "\Device\Card0" and "\Device\Card1"; every test starts from an
// empty namespace and must close what it opens.
class Devices : public ::testing::Test {
protected:
    void SetUp() override {
        hostwin::ResetDevices();
        ASSERT_TRUE(hostwin::CreateDeviceObject("\\Device\\Card0", &card));
        ASSERT_TRUE(hostwin::CreateDeviceObject("\\Device\\Card1", &other));
    }
    void TearDown() override {
        EXPECT_EQ(hostwin::OpenDeviceHandleCount(), 0u) << "a test left a device handle open";
        hostwin::ResetDevices();
    }

    // The device "\\.\<name>" leads to, found by making one control call
    // through a fresh handle; null when nothing answers.
    const FakeDevice* Reached(const std::string& name) {
        const int before_card = card.calls, before_other = other.calls;
        HANDLE h = Open(name);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        DWORD n = 0;
        DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, &n, nullptr);
        EXPECT_TRUE(CloseHandle(h));
        if (card.calls != before_card) return &card;
        if (other.calls != before_other) return &other;
        return nullptr;
    }

    FakeDevice card;
    FakeDevice other;
};

// ---- Opening ----------------------------------------------------------------

struct OpenCase {
    const char* what;
    void (*setup)();
    const char* path;
};

class DeviceOpens : public Devices, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(DeviceOpens, AndTheHandleReachesTheDevice) {
    GetParam().setup();
    HANDLE h = OpenPath(GetParam().path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(hostwin::OpenDeviceHandleCount(), 1u);
    DWORD n = 7;
    EXPECT_TRUE(DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, &n, nullptr));
    EXPECT_EQ(card.calls, 1);
    EXPECT_EQ(other.calls, 0);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(CloseHandle(h));
}

INSTANTIATE_TEST_SUITE_P(
    Names, DeviceOpens,
    ::testing::Values(
        OpenCase{"DriverLink", [] { hostwin::CreateDosLink("SNK0", "\\Device\\Card0"); }, "\\\\.\\SNK0"},
        OpenCase{"LinkNameInAnyCase", [] { hostwin::CreateDosLink("Snk0", "\\Device\\Card0"); }, "\\\\.\\sNK0"},
        OpenCase{"RawDefinition", [] { Define("SNK0", "\\Device\\Card0"); }, "\\\\.\\snk0"},
        OpenCase{"RawTargetInAnyCase", [] { Define("SNK0", "\\DEVICE\\card0"); }, "\\\\.\\SNK0"},
        OpenCase{"DefinitionOfAnotherDosName",
                 [] {
                     hostwin::CreateDosLink("LOWER", "\\Device\\Card0");
                     DefineDosDeviceA(0, "UPPER", "LOWER");
                 },
                 "\\\\.\\UPPER"},
        OpenCase{"ForwardSlashes", [] { hostwin::CreateDosLink("SNK0", "\\Device\\Card0"); }, "//./SNK0"},
        OpenCase{"UnparsedPrefix", [] { hostwin::CreateDosLink("SNK0", "\\Device\\Card0"); }, "\\\\?\\SNK0"}),
    [](const auto& info) { return std::string(info.param.what); });

struct OpenFailure {
    const char* what;
    void (*setup)();
    const char* path;
    DWORD disposition;
    DWORD error;
};

class DeviceOpenFails : public Devices, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(DeviceOpenFails, WithTheErrorWindowsGives) {
    GetParam().setup();
    SetLastError(0);
    HANDLE h = OpenPath(GetParam().path, GetParam().disposition);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), GetParam().error);
    EXPECT_EQ(hostwin::OpenDeviceHandleCount(), 0u);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

void NoSetup() {}
void LinkSnk0() {
    hostwin::CreateDosLink("SNK0", "\\Device\\Card0");
}

INSTANTIATE_TEST_SUITE_P(
    Names, DeviceOpenFails,
    ::testing::Values(OpenFailure{"MissingName", NoSetup, "\\\\.\\NOPE", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenFailure{"EmptyName", NoSetup, "\\\\.\\", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenFailure{"LinkToNoDevice", [] { hostwin::CreateDosLink("GHOST", "\\Device\\Gone"); },
                                  "\\\\.\\GHOST", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenFailure{"DefinitionOfNoDevice", [] { Define("GHOST", "\\Device\\Gone"); }, "\\\\.\\GHOST",
                                  OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenFailure{"TargetOnlyBeginsADevicePath", [] { Define("PART", "\\Device\\Card"); },
                                  "\\\\.\\PART", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenFailure{"TargetExtendsADevicePath", [] { Define("LONG", "\\Device\\Card00"); }, "\\\\.\\LONG",
                                  OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenFailure{"DefinitionsInALoop",
                                  [] {
                                      DefineDosDeviceA(0, "PING", "PONG");
                                      DefineDosDeviceA(0, "PONG", "PING");
                                  },
                                  "\\\\.\\PING", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenFailure{"NameWithoutDevicePrefix", LinkSnk0, "SNK0", OPEN_EXISTING, kErrorPathNotFound},
                      OpenFailure{"FilePath", LinkSnk0, "C:\\SNK0", OPEN_EXISTING, kErrorPathNotFound},
                      OpenFailure{"NoPath", LinkSnk0, nullptr, OPEN_EXISTING, kErrorPathNotFound},
                      OpenFailure{"CreatingRatherThanOpening", LinkSnk0, "\\\\.\\SNK0", kCreateAlways,
                                  ERROR_INVALID_PARAMETER}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(Devices, HandlesAreDistinctUntilTheTableIsFull) {
    hostwin::CreateDosLink("SNK0", "\\Device\\Card0");
    std::vector<HANDLE> open;
    for (size_t i = 0; i < hostwin::devices::kMaxOpenHandles; ++i) {
        HANDLE h = Open("SNK0");
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << "open number " << i;
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(std::count(open.begin(), open.end(), h), 0) << "handle given twice";
        open.push_back(h);
    }
    EXPECT_EQ(hostwin::OpenDeviceHandleCount(), hostwin::devices::kMaxOpenHandles);

    SetLastError(0);
    EXPECT_EQ(Open("SNK0"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), kErrorTooManyOpenFiles);

    // A freed entry is used again, under a value not handed out before.
    HANDLE closed = open.back();
    open.pop_back();
    ASSERT_TRUE(CloseHandle(closed));
    HANDLE again = Open("SNK0");
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_NE(again, closed);
    EXPECT_FALSE(CloseHandle(closed)) << "a closed handle came back to life";
    open.push_back(again);

    for (HANDLE h : open) EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(hostwin::OpenDeviceHandleCount(), 0u);
}

// ---- Control calls ------------------------------------------------------------

TEST_F(Devices, ControlCallHandsTheDeviceTheCallersBuffersAndSizes) {
    hostwin::CreateDosLink("SNK0", "\\Device\\Card0");
    card.reply = {0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
    unsigned char in[12] = {1, 2, 3};
    unsigned char out[40];
    std::memset(out, 0xEE, sizeof out);
    HANDLE h = Open("SNK0");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    DWORD returned = 0xDEADu;
    ASSERT_TRUE(DeviceIoControl(h, 0x00170002u, in, sizeof in, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(card.calls, 1);
    EXPECT_EQ(card.code, 0x00170002u);
    EXPECT_EQ(card.in, in);
    EXPECT_EQ(card.in_size, sizeof in);
    EXPECT_EQ(card.out, out);
    EXPECT_EQ(card.out_size, sizeof out);
    EXPECT_EQ(returned, 5u);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 6),
              (std::vector<unsigned char>{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xEE}));

    // No buffers at all, and no count asked for.
    ASSERT_TRUE(DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(card.calls, 2);
    EXPECT_EQ(card.in, nullptr);
    EXPECT_EQ(card.out_size, 0u);

    // A length without a buffer never reaches the device.
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(h, kPing, nullptr, 8, out, sizeof out, &returned, nullptr));
    EXPECT_FALSE(DeviceIoControl(h, kPing, in, sizeof in, nullptr, 8, &returned, nullptr));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(card.calls, 2);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(Devices, FailingDeviceGivesItsErrorAndCount) {
    hostwin::CreateDosLink("SNK0", "\\Device\\Card0");
    card.succeed = false;
    card.fail_error = ERROR_MORE_DATA;
    card.reply = {1, 2, 3, 4};
    unsigned char out[4];
    HANDLE h = Open("SNK0");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    DWORD returned = 0;
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(h, kPing, nullptr, 0, out, sizeof out, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 4u);

    // A device that fails without saying why gives a general failure.
    card.sets_error = false;
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), kErrorGenFailure);
    EXPECT_EQ(card.calls, 2);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(Devices, BadHandlesNeverReachTheDevice) {
    hostwin::CreateDosLink("SNK0", "\\Device\\Card0");
    HANDLE kept = Open("SNK0");
    HANDLE closed = Open("SNK0");
    ASSERT_NE(kept, INVALID_HANDLE_VALUE);
    ASSERT_NE(closed, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(closed));
    int local = 0;
    const uintptr_t kept_value = reinterpret_cast<uintptr_t>(kept);

    const std::vector<std::pair<const char*, HANDLE>> bad = {
        {"closed", closed},
        {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
        {"null", nullptr},
        {"address of a variable", &local},
        {"next to an open handle", reinterpret_cast<HANDLE>(kept_value + 1)},
        {"two past an open handle", reinterpret_cast<HANDLE>(kept_value + 2)},
    };
    for (const auto& [what, h] : bad) {
        SCOPED_TRACE(what);
        DWORD returned = 0;
        SetLastError(0);
        EXPECT_FALSE(DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, &returned, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_EQ(card.calls, 0);
    EXPECT_EQ(hostwin::OpenDeviceHandleCount(), 1u);
    EXPECT_TRUE(CloseHandle(kept));
}

TEST_F(Devices, HandleOutlivingItsDeviceObjectFailsCleanly) {
    hostwin::CreateDosLink("SNK0", "\\Device\\Card0");
    HANDLE h = Open("SNK0");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    hostwin::DeleteDeviceObject("\\Device\\Card0");

    DWORD returned = 0;
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Reached("SNK0"), nullptr);

    // Another object at the same path answers new handles only.
    ASSERT_TRUE(hostwin::CreateDeviceObject("\\Device\\Card0", &other));
    EXPECT_FALSE(DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(other.calls, 0);
    EXPECT_EQ(Reached("SNK0"), &other);
    EXPECT_EQ(card.calls, 0);

    EXPECT_TRUE(CloseHandle(h));
}

// A device whose calls wait until the test lets them finish.
class BlockingDevice : public hostwin::Device {
public:
    bool Control(uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t* returned, uint32_t*) override {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
        *returned = 0;
        return true;
    }
    void WaitUntilEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return entered_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool released_ = false;
};

TEST_F(Devices, DeletingADeviceObjectWaitsForTheCallsRunningOnIt) {
    BlockingDevice slow;
    ASSERT_TRUE(hostwin::CreateDeviceObject("\\Device\\Slow", &slow));
    hostwin::CreateDosLink("SLOW", "\\Device\\Slow");
    HANDLE h = Open("SLOW");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    BOOL call_result = FALSE;
    std::thread caller([&] { call_result = DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, nullptr, nullptr); });
    slow.WaitUntilEntered();
    std::atomic<bool> deleted{false};
    std::thread deleter([&] {
        hostwin::DeleteDeviceObject("\\Device\\Slow");
        deleted = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(deleted) << "the device object went away under a running call";
    // The rest of the namespace stays usable meanwhile.
    hostwin::CreateDosLink("SNK0", "\\Device\\Card0");
    EXPECT_EQ(Reached("SNK0"), &card);

    slow.Release();
    caller.join();
    deleter.join();
    EXPECT_TRUE(call_result);
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(DeviceIoControl(h, kPing, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_TRUE(CloseHandle(h));
}

// ---- The DOS device table ----------------------------------------------------

TEST_F(Devices, NewestDefinitionIsInEffectAndRemovingItUncoversTheOlder) {
    ASSERT_TRUE(Define("SNK", "\\Device\\Card0"));
    ASSERT_TRUE(Define("SNK", "\\Device\\Card1"));
    EXPECT_EQ(Reached("SNK"), &other);

    SetLastError(0);
    EXPECT_FALSE(RemoveExact("SNK", "\\Device\\Card2"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Reached("SNK"), &other);

    ASSERT_TRUE(RemoveExact("SNK", "\\Device\\Card1"));
    EXPECT_EQ(Reached("SNK"), &card);
    ASSERT_TRUE(RemoveExact("SNK", "\\Device\\Card0"));
    EXPECT_EQ(Reached("SNK"), nullptr);
    EXPECT_EQ(hostwin::DosDeviceNames(), Strings{});
    SetLastError(0);
    EXPECT_FALSE(RemoveExact("SNK", "\\Device\\Card0"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Devices, DriverLinkSurvivesEveryRemoval) {
    ASSERT_TRUE(hostwin::CreateDosLink("SNK", "\\Device\\Card0"));
    ASSERT_TRUE(Define("SNK", "\\Device\\Card1"));
    EXPECT_EQ(Reached("SNK"), &other);

    // The link's own target names no definition.
    SetLastError(0);
    EXPECT_FALSE(RemoveExact("SNK", "\\Device\\Card0"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Reached("SNK"), &other);

    ASSERT_TRUE(RemoveExact("SNK", "\\Device\\Card1"));
    EXPECT_EQ(Reached("SNK"), &card);
    EXPECT_FALSE(DefineDosDeviceA(DDD_REMOVE_DEFINITION, "SNK", nullptr));
    EXPECT_FALSE(RemoveExact("SNK", "\\Device\\Card0"));
    EXPECT_EQ(Reached("SNK"), &card);
    EXPECT_EQ(hostwin::DosDeviceNames(), Strings{"SNK"});

    hostwin::DeleteDosLink("snk");
    EXPECT_EQ(Reached("SNK"), nullptr);
    EXPECT_EQ(hostwin::DosDeviceNames(), Strings{});
}

struct RemovalCase {
    const char* what;
    DWORD flags;
    const char* target;
    bool removes;
    Strings left;  // QueryDosDeviceA's list afterwards, newest first
};

class DefinitionRemoval : public Devices, public ::testing::WithParamInterface<RemovalCase> {};

// Three definitions over a driver link; each case removes (or fails to).
TEST_P(DefinitionRemoval, TakesTheDefinitionItNames) {
    const RemovalCase& c = GetParam();
    ASSERT_TRUE(hostwin::CreateDosLink("SNK", "\\Device\\Link"));
    for (const char* t : {"\\Device\\Card0", "\\Device\\Card1", "\\Device\\Card2"}) ASSERT_TRUE(Define("SNK", t));

    SetLastError(0);
    EXPECT_EQ(DefineDosDeviceA(c.flags, "SNK", c.target), c.removes ? TRUE : FALSE);
    if (!c.removes) {
        EXPECT_NE(GetLastError(), 0u);
    }
    EXPECT_EQ(Mappings("SNK"), c.left);
}

constexpr DWORD kExact = DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE;
constexpr DWORD kPlain = DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION;
const Strings kAll = {"\\Device\\Card2", "\\Device\\Card1", "\\Device\\Card0", "\\Device\\Link"};

INSTANTIATE_TEST_SUITE_P(
    Cases, DefinitionRemoval,
    ::testing::Values(
        RemovalCase{
            "ExactMiddle", kExact, "\\Device\\Card1", true, {"\\Device\\Card2", "\\Device\\Card0", "\\Device\\Link"}},
        RemovalCase{
            "ExactNewest", kExact, "\\Device\\Card2", true, {"\\Device\\Card1", "\\Device\\Card0", "\\Device\\Link"}},
        RemovalCase{"ExactOldestInOtherCase",
                    kExact,
                    "\\DEVICE\\CARD0",
                    true,
                    {"\\Device\\Card2", "\\Device\\Card1", "\\Device\\Link"}},
        RemovalCase{"ExactWithOnlyAPrefix", kExact, "\\Device\\Card", false, kAll},
        RemovalCase{"ExactOfTheLinkTarget", kExact, "\\Device\\Link", false, kAll},
        RemovalCase{"ExactWithoutTarget", kExact, nullptr, false, kAll},
        RemovalCase{"PlainWithoutTargetTakesNewest",
                    kPlain,
                    nullptr,
                    true,
                    {"\\Device\\Card1", "\\Device\\Card0", "\\Device\\Link"}},
        RemovalCase{"PlainWithTarget",
                    kPlain,
                    "\\Device\\Card0",
                    true,
                    {"\\Device\\Card2", "\\Device\\Card1", "\\Device\\Link"}},
        RemovalCase{"PlainWithPrefixTakesNewestItBegins",
                    kPlain,
                    "\\Device\\Card",
                    true,
                    {"\\Device\\Card1", "\\Device\\Card0", "\\Device\\Link"}},
        RemovalCase{"PlainOfTheLinkTarget", kPlain, "\\Device\\Link", false, kAll}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(Devices, DefinitionStackHasALimitAndRefusesBeyondIt) {
    const size_t depth = hostwin::devices::kMaxDefinitionsPerName;
    for (size_t i = 0; i < depth; ++i) ASSERT_TRUE(Define("SNK", ("\\Device\\D" + std::to_string(i)).c_str()));
    SetLastError(0);
    EXPECT_FALSE(Define("SNK", "\\Device\\Card1"));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(Mappings("SNK").size(), depth);
    EXPECT_EQ(Mappings("SNK").front(), "\\Device\\D" + std::to_string(depth - 1));
}

TEST_F(Devices, DefineRejectsWhatItCannotStore) {
    const std::string too_long(hostwin::devices::kNameChars, 'x');
    const struct {
        const char* what;
        DWORD flags;
        const char* name;
        const char* target;
        DWORD error;
    } cases[] = {
        {"no name", DDD_RAW_TARGET_PATH, nullptr, "\\Device\\Card0", ERROR_INVALID_PARAMETER},
        {"empty name", DDD_RAW_TARGET_PATH, "", "\\Device\\Card0", ERROR_INVALID_PARAMETER},
        {"no target", DDD_RAW_TARGET_PATH, "SNK", nullptr, ERROR_INVALID_PARAMETER},
        {"name too long", DDD_RAW_TARGET_PATH, too_long.c_str(), "\\Device\\Card0", ERROR_INVALID_PARAMETER},
        {"target too long", DDD_RAW_TARGET_PATH, "SNK", too_long.c_str(), ERROR_INVALID_PARAMETER},
        {"removing an unknown name", DDD_REMOVE_DEFINITION, "NOPE", nullptr, ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0);
        EXPECT_FALSE(DefineDosDeviceA(c.flags, c.name, c.target));
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(hostwin::DosDeviceNames(), Strings{});
}

TEST_F(Devices, DefineFaultRefusesDefinitionsAndRemovals) {
    ASSERT_TRUE(Define("SNK", "\\Device\\Card0"));
    hostwin::SetDefineDosDeviceFails(true);
    SetLastError(0);
    EXPECT_FALSE(Define("NEW", "\\Device\\Card1"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_FALSE(RemoveExact("SNK", "\\Device\\Card0"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(hostwin::DosDeviceNames(), Strings{"SNK"});
    EXPECT_EQ(Reached("SNK"), &card);

    hostwin::SetDefineDosDeviceFails(false);
    EXPECT_TRUE(Define("NEW", "\\Device\\Card1"));
    EXPECT_TRUE(RemoveExact("SNK", "\\Device\\Card0"));
    EXPECT_EQ(hostwin::DosDeviceNames(), Strings{"NEW"});
}

TEST_F(Devices, NamesListLinksAndDefinitionsOnce) {
    hostwin::CreateDosLink("b_link", "\\Device\\Card0");
    Define("A_DEF", "\\Device\\Card1");
    Define("B_LINK", "\\Device\\Card1");
    EXPECT_FALSE(hostwin::CreateDosLink("B_Link", "\\Device\\Card1")) << "a second link under one name";
    EXPECT_EQ(hostwin::DosDeviceNames(), (Strings{"A_DEF", "b_link"}));

    Strings listed = Mappings(nullptr);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (Strings{"A_DEF", "b_link"}));
}

// ---- QueryDosDeviceA -----------------------------------------------------------

TEST_F(Devices, QueryWritesTheTargetEndingInTwoZeros) {
    ASSERT_TRUE(Define("SNK", "\\Device\\Card0"));  // 13 characters
    char buf[32];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(QueryDosDeviceA("snk", buf, sizeof buf), 15u);
    EXPECT_EQ(std::string(buf, 16), std::string("\\Device\\Card0\0\0x", 16));
}

TEST_F(Devices, QueryNeverWritesPastTheBufferItIsGiven) {
    ASSERT_TRUE(Define("SNK", "\\Device\\Card0"));  // needs 15
    for (DWORD max : {0u, 1u, 13u, 14u}) {
        SCOPED_TRACE(max);
        char buf[32];
        std::memset(buf, 'x', sizeof buf);
        SetLastError(0);
        EXPECT_EQ(QueryDosDeviceA("SNK", buf, max), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(std::string(buf + max, sizeof buf - max), std::string(sizeof buf - max, 'x'));
    }
    char exact[15];
    EXPECT_EQ(QueryDosDeviceA("SNK", exact, sizeof exact), 15u);
    SetLastError(0);
    EXPECT_EQ(QueryDosDeviceA("SNK", nullptr, 100), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(Devices, QueryOfAMissingNameFails) {
    char buf[32];
    SetLastError(0);
    EXPECT_EQ(QueryDosDeviceA("NOPE", buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Devices, InjectedQueryErrorHitsOnlyItsName) {
    ASSERT_TRUE(Define("SNK", "\\Device\\Card0"));
    ASSERT_TRUE(Define("OTHER", "\\Device\\Card1"));
    hostwin::SetDosDeviceQueryError("SNK", kErrorNotReady);
    hostwin::SetDosDeviceQueryError("GONE", ERROR_ACCESS_DENIED);
    char buf[64];

    for (const auto& [name, error] : {std::pair{"SNK", kErrorNotReady}, std::pair{"snk", kErrorNotReady},
                                      std::pair{"GONE", static_cast<DWORD>(ERROR_ACCESS_DENIED)}}) {
        SCOPED_TRACE(name);
        SetLastError(0);
        EXPECT_EQ(QueryDosDeviceA(name, buf, sizeof buf), 0u);
        EXPECT_EQ(GetLastError(), error);
    }
    EXPECT_EQ(Mappings("OTHER"), Strings{"\\Device\\Card1"});
    EXPECT_EQ(Reached("SNK"), &card) << "the fault is the query's only";

    hostwin::SetDosDeviceQueryError("Snk", 0);
    EXPECT_EQ(Mappings("SNK"), Strings{"\\Device\\Card0"});
    EXPECT_EQ(QueryDosDeviceA("GONE", buf, sizeof buf), 0u);
}

// ---- The clock ------------------------------------------------------------------

TEST_F(Devices, VirtualClockSleepsTakeNoTime) {
    hostwin::UseVirtualClock(true);
    const uint64_t before = hostwin::VirtualTimeMs();
    const auto start = Clock::now();
    for (int i = 0; i < 10; ++i) Sleep(100);
    EXPECT_LT(Clock::now() - start, 50ms);
    EXPECT_EQ(hostwin::VirtualTimeMs() - before, 1000u);
    EXPECT_EQ(hostwin::SleepCalls(), std::vector<uint32_t>(10, 100));
}

TEST_F(Devices, RealClockIsTheDefaultAndReallySleeps) {
    for (bool switched_back : {false, true}) {
        SCOPED_TRACE(switched_back ? "virtual clock switched off" : "default clock");
        hostwin::ResetDevices();
        if (switched_back) {
            hostwin::UseVirtualClock(true);
            Sleep(5);
            hostwin::UseVirtualClock(false);
        }
        const uint64_t virtual_before = hostwin::VirtualTimeMs();
        const auto start = Clock::now();
        Sleep(30);
        EXPECT_GE(Clock::now() - start, 30ms);
        EXPECT_EQ(hostwin::VirtualTimeMs(), virtual_before);
        EXPECT_EQ(hostwin::SleepCalls().back(), 30u);
    }
}

TEST_F(Devices, SleepRecordKeepsTheNewestCallsInOrder) {
    hostwin::UseVirtualClock(true);
    const uint32_t total = static_cast<uint32_t>(hostwin::devices::kSleepRecord) + 100;
    uint64_t sum = 0;
    for (uint32_t i = 0; i < total; ++i) {
        Sleep(i);
        sum += i;
    }
    const std::vector<uint32_t> calls = hostwin::SleepCalls();
    ASSERT_EQ(calls.size(), hostwin::devices::kSleepRecord);
    for (size_t i = 0; i < calls.size(); ++i) ASSERT_EQ(calls[i], 100 + i) << "at " << i;
    EXPECT_EQ(hostwin::VirtualTimeMs(), sum);
}

// ---- Reset -----------------------------------------------------------------------

class DeviceReset : public Devices, public ::testing::WithParamInterface<std::pair<const char*, void (*)()>> {};

TEST_P(DeviceReset, LeavesNothingBehind) {
    hostwin::CreateDosLink("SNK", "\\Device\\Card0");
    Define("DEF", "\\Device\\Card1");
    hostwin::SetDosDeviceQueryError("DEF", kErrorNotReady);
    hostwin::SetDefineDosDeviceFails(true);
    hostwin::UseVirtualClock(true);
    Sleep(10);
    HANDLE old = Open("SNK");
    ASSERT_NE(old, INVALID_HANDLE_VALUE);

    GetParam().second();

    EXPECT_EQ(hostwin::DosDeviceNames(), Strings{});
    EXPECT_EQ(hostwin::OpenDeviceHandleCount(), 0u);
    EXPECT_EQ(hostwin::VirtualTimeMs(), 0u);
    EXPECT_EQ(hostwin::SleepCalls(), std::vector<uint32_t>{});
    EXPECT_FALSE(CloseHandle(old));
    // No device objects: a link to the old path leads nowhere.
    hostwin::CreateDosLink("SNK", "\\Device\\Card0");
    EXPECT_EQ(Open("SNK"), INVALID_HANDLE_VALUE);
    // No faults: defining works and the query answers.
    EXPECT_TRUE(Define("DEF", "\\Device\\Card1"));
    EXPECT_EQ(Mappings("DEF"), Strings{"\\Device\\Card1"});
    // The real clock again.
    const auto start = Clock::now();
    Sleep(20);
    EXPECT_GE(Clock::now() - start, 20ms);
    EXPECT_EQ(hostwin::VirtualTimeMs(), 0u);

    // A handle opened now is not the old one come back.
    ASSERT_TRUE(hostwin::CreateDeviceObject("\\Device\\Card0", &card));
    HANDLE fresh = Open("SNK");
    ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
    EXPECT_NE(fresh, old);
    EXPECT_TRUE(CloseHandle(fresh));
}

INSTANTIATE_TEST_SUITE_P(Ways, DeviceReset,
                         ::testing::Values(std::pair{"ResetDevices", &hostwin::ResetDevices},
                                           std::pair{"ResetSystem", &hostwin::ResetSystem}),
                         [](const auto& info) { return std::string(info.param.first); });

// ---- No heap on the request paths ---------------------------------------------------

TEST_F(Devices, RequestCallsAllocateNothing) {
    hostwin::CreateDosLink("SNK", "\\Device\\Card0");
    hostwin::SetDosDeviceQueryError("FAULTY", kErrorNotReady);
    card.reply = {1, 2, 3, 4};
    unsigned char in[8] = {};
    unsigned char out[8] = {};
    char buf[64];
    DWORD returned = 0;
    const DWORD good = 1;
    DWORD results[32] = {};
    size_t n = 0;

    // Literal paths throughout: the helpers above build std::strings.
    g_allocations = 0;
    g_counting = true;
    HANDLE h = CreateFileA("\\\\.\\SNK", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    results[n++] = h != INVALID_HANDLE_VALUE;
    results[n++] = DeviceIoControl(h, kPing, in, sizeof in, out, sizeof out, &returned, nullptr);
    results[n++] = CloseHandle(h);
    results[n++] = !DeviceIoControl(h, kPing, in, sizeof in, out, sizeof out, &returned, nullptr);
    results[n++] = !CloseHandle(h);
    results[n++] =
        CreateFileA("\\\\.\\NOPE", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE;
    results[n++] = DefineDosDeviceA(DDD_RAW_TARGET_PATH, "DEF", "\\Device\\Card1");
    results[n++] = DefineDosDeviceA(DDD_RAW_TARGET_PATH, "DEF", "\\Device\\Card0");
    results[n++] = QueryDosDeviceA("DEF", buf, sizeof buf) != 0;
    results[n++] = QueryDosDeviceA("DEF", buf, 4) == 0;
    results[n++] = QueryDosDeviceA("NOPE", buf, sizeof buf) == 0;
    results[n++] = QueryDosDeviceA("FAULTY", buf, sizeof buf) == 0;
    results[n++] = QueryDosDeviceA(nullptr, buf, sizeof buf) != 0;
    results[n++] = DefineDosDeviceA(kExact, "DEF", "\\Device\\Card0");
    results[n++] = !DefineDosDeviceA(kExact, "DEF", "\\Device\\Card0");
    results[n++] = DefineDosDeviceA(DDD_REMOVE_DEFINITION, "DEF", nullptr);
    hostwin::SetDefineDosDeviceFails(true);
    results[n++] = !DefineDosDeviceA(DDD_RAW_TARGET_PATH, "DEF", "\\Device\\Card1");
    hostwin::SetDefineDosDeviceFails(false);
    Sleep(0);
    Sleep(1);
    hostwin::UseVirtualClock(true);
    Sleep(100);
    hostwin::UseVirtualClock(false);
    const long during_requests = g_allocations;

    // The count is live: a host control that builds a list is seen.
    g_allocations = 0;
    const std::vector<std::string> names = hostwin::DosDeviceNames();
    const long during_control = g_allocations;
    g_counting = false;

    EXPECT_EQ(during_requests, 0);
    EXPECT_GT(during_control, 0);
    EXPECT_EQ(names, Strings{"SNK"});
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(results[i], good) << "request " << i;
    EXPECT_EQ(card.calls, 1);
    EXPECT_EQ(returned, 4u);
}

}  // namespace
