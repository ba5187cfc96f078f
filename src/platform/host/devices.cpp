// The host layer's device namespace: device objects at NT paths, the DOS
// device table that maps names to NT targets, handles opened through
// "\\.\NAME", the control calls made on them, and the clock behind Sleep.
//
// Everything the applet calls (CreateFileA, DeviceIoControl, CloseHandle,
// QueryDosDeviceA, DefineDosDeviceA, Sleep) works on fixed tables and never
// allocates; only the host controls below (which tests and tools call) may.
//
// One mutex guards the tables. A device's Control runs without it, so a
// device may call back into the host layer; while a call runs, its device
// object is pinned (DeleteDeviceObject and ResetDevices wait for it), so a
// device must not delete its own object or reset the namespace from inside
// Control.
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "devices_internal.h"
#include "hostctl_devices.h"
#include "hostwin.h"

namespace {

using namespace hostwin::devices;

// Win32 error codes our hostwin.h subset leaves out.
constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorGenFailure = 31;
constexpr DWORD kErrorNoAccess = 998;  // a buffer that cannot be read or written

// Handle values: a serial number per open, spaced by four like kernel handles
// and placed far above the registry layer's HKEY values, so that the two
// kinds never coincide. Neither zero nor INVALID_HANDLE_VALUE can occur.
#if UINTPTR_MAX > 0xFFFFFFFFu
constexpr uintptr_t kHandleBase = uintptr_t{0x100} << 32;
constexpr uint32_t kMaxSerial = 0xFFFFFFFFu;
#else
constexpr uintptr_t kHandleBase = 0xC0000000u;
constexpr uint32_t kMaxSerial = (0xFFFFFFFFu - kHandleBase) / 4 - 1;
#endif

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Object and DOS device names compare without regard to case.
bool SameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (Lower(*a) != Lower(*b)) return false;
    return *a == *b;
}

// What follows `prefix` at the start of `s` (case ignored), or null.
const char* AfterPrefix(const char* s, const char* prefix) {
    for (; *prefix; ++s, ++prefix)
        if (Lower(*s) != Lower(*prefix)) return nullptr;
    return s;
}

bool LessText(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

// A name or path in a fixed buffer.
struct Text {
    char s[kNameChars];

    // False (and nothing stored) when `src` doesn't fit.
    bool Assign(const char* src) { return Join("", src); }
    bool Join(const char* head, const char* tail) {
        const size_t h = std::strlen(head);
        const size_t t = strnlen(tail, kNameChars);
        if (h + t >= kNameChars) return false;
        std::memcpy(s, head, h);
        std::memcpy(s + h, tail, t);
        s[h + t] = '\0';
        return true;
    }
};

enum class ObjectState : uint8_t { Free, Live, Dying };

struct DeviceObject {
    ObjectState state;
    Text path;
    hostwin::Device* device;
    uint64_t id;         // never reused, so a handle outliving its object can tell
    uint32_t in_flight;  // Control calls running on it now
};

// One DOS device name: the driver's link at the bottom, definitions stacked
// on top of it; the newest one is in effect.
struct DosName {
    bool used;
    Text name;
    bool has_link;
    Text link;
    size_t depth;
    Text definitions[kMaxDefinitionsPerName];  // [depth - 1] is the newest

    bool Defined() const { return has_link || depth > 0; }
    const char* Current() const { return depth > 0 ? definitions[depth - 1].s : link.s; }
    void Erase(size_t i) {
        for (; i + 1 < depth; ++i) definitions[i] = definitions[i + 1];
        --depth;
    }
};

struct OpenHandle {
    bool used;
    uint32_t serial;
    size_t object;  // index into objects
    uint64_t object_id;
};

struct QueryFault {
    std::string name;
    uint32_t error;
};

struct State {
    std::mutex mutex;
    std::condition_variable call_ended;
    DeviceObject objects[kMaxDeviceObjects];
    DosName names[kMaxDosNames];
    OpenHandle handles[kMaxOpenHandles];
    std::vector<QueryFault> query_faults;  // changed by host controls only
    bool define_fails;
    uint64_t last_object_id;  // survives resets, as does last_serial
    uint32_t last_serial;
    bool virtual_clock;
    uint64_t virtual_ms;
    uint32_t sleeps[kSleepRecord];  // a ring: call n is at n % kSleepRecord
    uint64_t sleep_count;
};

// Built on first use and never destroyed, so that handles closed by other
// objects' destructors at exit still find the tables.
State& S() {
    alignas(State) static unsigned char storage[sizeof(State)];
    static State* s = new (storage) State{};
    return *s;
}

// ---- Lookups; call with the mutex held ----------------------------------

DosName* FindName(State& s, const char* name) {
    for (DosName& n : s.names)
        if (n.used && SameText(n.name.s, name)) return &n;
    return nullptr;
}

DosName* FindOrAddName(State& s, const char* name) {
    if (DosName* n = FindName(s, name)) return n;
    for (DosName& n : s.names) {
        if (n.used) continue;
        if (!n.name.Assign(name)) return nullptr;
        n.used = true;
        n.has_link = false;
        n.depth = 0;
        return &n;
    }
    return nullptr;
}

void DropIfUndefined(DosName* n) {
    if (!n->Defined()) n->used = false;
}

DeviceObject* FindObject(State& s, const char* path) {
    for (DeviceObject& o : s.objects)
        if (o.state != ObjectState::Free && SameText(o.path.s, path)) return &o;
    return nullptr;
}

int ResolveTarget(State& s, const char* target, int hops);

// The device object a DOS name leads to, or -1.
int ResolveDosName(State& s, const char* name, int hops) {
    const DosName* n = FindName(s, name);
    if (n == nullptr || !n->Defined()) return -1;
    return ResolveTarget(s, n->Current(), hops);
}

// A target is a device object's path, or a path back into the DOS namespace
// (what a definition without DDD_RAW_TARGET_PATH makes), which is followed.
int ResolveTarget(State& s, const char* target, int hops) {
    for (size_t i = 0; i < kMaxDeviceObjects; ++i)
        if (s.objects[i].state == ObjectState::Live && SameText(s.objects[i].path.s, target))
            return static_cast<int>(i);
    if (hops >= kMaxLinkHops) return -1;
    for (const char* dos_root : {"\\??\\", "\\DosDevices\\", "\\GLOBAL??\\"})
        if (const char* rest = AfterPrefix(target, dos_root)) return ResolveDosName(s, rest, hops + 1);
    return -1;
}

OpenHandle* FindHandle(State& s, HANDLE h) {
    const uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (v < kHandleBase || (v - kHandleBase) % 4 != 0) return nullptr;
    const uintptr_t serial = (v - kHandleBase) / 4;
    if (serial == 0 || serial > kMaxSerial) return nullptr;
    for (OpenHandle& oh : s.handles)
        if (oh.used && oh.serial == serial) return &oh;
    return nullptr;
}

uint32_t NextSerial(State& s) {
    for (;;) {
        s.last_serial = s.last_serial >= kMaxSerial ? 1 : s.last_serial + 1;
        bool taken = false;
        for (const OpenHandle& oh : s.handles) taken = taken || (oh.used && oh.serial == s.last_serial);
        if (!taken) return s.last_serial;
    }
}

void WaitForCalls(State& s, std::unique_lock<std::mutex>& lock, const DeviceObject& o) {
    s.call_ended.wait(lock, [&] { return o.in_flight == 0; });
}

// The device path "\\.\NAME" (slashes either way) or "\\?\NAME" (backslashes
// only: that form skips path normalization) gives NAME; anything else null.
const char* DeviceNamespaceName(const char* path) {
    if (path == nullptr) return nullptr;
    if (const char* rest = AfterPrefix(path, "\\\\?\\")) return rest;
    auto slash = [](char c) { return c == '\\' || c == '/'; };
    if (!slash(path[0]) || !slash(path[1]) || path[2] != '.' || !slash(path[3])) return nullptr;
    return path + 4;
}

// The target as DefineDosDeviceA stores it: raw as given, otherwise an MS-DOS
// path turned into an NT one below the DOS namespace.
bool TargetPath(DWORD flags, const char* target, Text* out) {
    return (flags & DDD_RAW_TARGET_PATH) ? out->Assign(target) : out->Join("\\??\\", target);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

// ---- The Win32 calls --------------------------------------------------------

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD,
                          HANDLE) {
    // Only devices live here; no file system paths.
    const char* name = DeviceNamespaceName(lpFileName);
    if (name == nullptr) {
        SetLastError(kErrorPathNotFound);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    State& s = S();
    std::lock_guard lock(s.mutex);
    const int object = ResolveDosName(s, name, 0);
    if (object < 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    OpenHandle* oh =
        std::find_if(std::begin(s.handles), std::end(s.handles), [](const OpenHandle& h) { return !h.used; });
    if (oh == std::end(s.handles)) {
        SetLastError(kErrorTooManyOpenFiles);
        return INVALID_HANDLE_VALUE;
    }
    // A value not given out lately, so that a handle used after its close
    // fails rather than reaching whatever was opened next.
    oh->serial = NextSerial(s);
    oh->used = true;
    oh->object = static_cast<size_t>(object);
    oh->object_id = s.objects[object].id;
    return reinterpret_cast<HANDLE>(kHandleBase + uintptr_t{oh->serial} * 4);
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED) {
    State& s = S();
    std::unique_lock lock(s.mutex);
    const OpenHandle* oh = FindHandle(s, hDevice);
    if (oh == nullptr) return Fail(ERROR_INVALID_HANDLE);
    DeviceObject& o = s.objects[oh->object];
    // The handle outlived its device object (deleted, perhaps replaced by
    // another at the same path): nothing answers it any more.
    if (o.state != ObjectState::Live || o.id != oh->object_id) return Fail(ERROR_FILE_NOT_FOUND);
    // A length with no buffer behind it would have the device touch address 0.
    if ((lpInBuffer == nullptr && nInBufferSize != 0) || (lpOutBuffer == nullptr && nOutBufferSize != 0))
        return Fail(kErrorNoAccess);

    ++o.in_flight;
    hostwin::Device* device = o.device;
    lock.unlock();
    uint32_t returned = 0;
    uint32_t error = kErrorGenFailure;
    const bool ok =
        device->Control(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, &returned, &error);
    lock.lock();
    if (--o.in_flight == 0) s.call_ended.notify_all();
    lock.unlock();

    // Set on failure too: a device may report how much it would have given.
    if (lpBytesReturned != nullptr) *lpBytesReturned = returned;
    if (!ok) return Fail(error);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (CloseTokenHandle(hObject)) return TRUE;
    State& s = S();
    std::lock_guard lock(s.mutex);
    OpenHandle* oh = FindHandle(s, hObject);
    if (oh == nullptr) return Fail(ERROR_INVALID_HANDLE);
    oh->used = false;
    return TRUE;
}

// A name's mappings, newest first and each zero-terminated, with one more
// zero after the last; without a name, every name defined, the same way.
DWORD WINAPI QueryDosDeviceA(LPCSTR lpDeviceName, LPSTR lpTargetPath, DWORD ucchMax) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    const char* parts[kMaxDosNames > kMaxDefinitionsPerName + 1 ? kMaxDosNames : kMaxDefinitionsPerName + 1];
    size_t count = 0;
    if (lpDeviceName != nullptr) {
        for (const QueryFault& f : s.query_faults) {
            if (SameText(f.name.c_str(), lpDeviceName)) {
                SetLastError(f.error);
                return 0;
            }
        }
        const DosName* n = FindName(s, lpDeviceName);
        if (n == nullptr) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        for (size_t i = n->depth; i > 0; --i) parts[count++] = n->definitions[i - 1].s;
        if (n->has_link) parts[count++] = n->link.s;
    } else {
        for (const DosName& n : s.names)
            if (n.used) parts[count++] = n.name.s;
    }

    size_t needed = 1;
    for (size_t i = 0; i < count; ++i) needed += std::strlen(parts[i]) + 1;
    if (lpTargetPath == nullptr || needed > ucchMax) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char* at = lpTargetPath;
    for (size_t i = 0; i < count; ++i) {
        const size_t len = std::strlen(parts[i]) + 1;
        std::memcpy(at, parts[i], len);
        at += len;
    }
    *at = '\0';
    return static_cast<DWORD>(needed);
}

BOOL WINAPI DefineDosDeviceA(DWORD dwFlags, LPCSTR lpDeviceName, LPCSTR lpTargetPath) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (s.define_fails) return Fail(ERROR_ACCESS_DENIED);
    if (lpDeviceName == nullptr || *lpDeviceName == '\0') return Fail(ERROR_INVALID_PARAMETER);
    Text target;
    const bool has_target = lpTargetPath != nullptr && *lpTargetPath != '\0';
    if (has_target && !TargetPath(dwFlags, lpTargetPath, &target)) return Fail(ERROR_INVALID_PARAMETER);

    if (!(dwFlags & DDD_REMOVE_DEFINITION)) {
        if (!has_target) return Fail(ERROR_INVALID_PARAMETER);
        if (strnlen(lpDeviceName, kNameChars) >= kNameChars) return Fail(ERROR_INVALID_PARAMETER);
        DosName* n = FindOrAddName(s, lpDeviceName);
        if (n == nullptr || n->depth == kMaxDefinitionsPerName) return Fail(ERROR_NOT_ENOUGH_MEMORY);
        n->definitions[n->depth++] = target;
        return TRUE;
    }

    // Removal takes definitions only; a driver's link stays whatever is asked.
    DosName* n = FindName(s, lpDeviceName);
    if (n == nullptr) return Fail(ERROR_FILE_NOT_FOUND);
    size_t i = n->depth;
    if (dwFlags & DDD_EXACT_MATCH_ON_REMOVE) {
        if (!has_target) return Fail(ERROR_INVALID_PARAMETER);
        while (i > 0 && !SameText(n->definitions[i - 1].s, target.s)) --i;
    } else if (has_target) {
        // Without an exact match the target names the newest mapping it begins.
        while (i > 0 && AfterPrefix(n->definitions[i - 1].s, target.s) == nullptr) --i;
    }
    if (i == 0) return Fail(ERROR_FILE_NOT_FOUND);
    n->Erase(i - 1);
    DropIfUndefined(n);
    return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    State& s = S();
    {
        std::lock_guard lock(s.mutex);
        s.sleeps[s.sleep_count % kSleepRecord] = dwMilliseconds;
        ++s.sleep_count;
        if (s.virtual_clock) {
            s.virtual_ms += dwMilliseconds;
            return;
        }
    }
    if (dwMilliseconds == 0) {
        sched_yield();  // gives up the rest of the time slice, as Sleep(0) does
        return;
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// ---- Host controls ----------------------------------------------------------

namespace hostwin {

bool CreateDeviceObject(const std::string& nt_path, Device* device) {
    if (device == nullptr || nt_path.empty() || nt_path[0] != '\\' || nt_path.size() >= kNameChars) return false;
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (FindObject(s, nt_path.c_str()) != nullptr) return false;
    for (DeviceObject& o : s.objects) {
        if (o.state != ObjectState::Free) continue;
        o.path.Assign(nt_path.c_str());
        o.device = device;
        o.id = ++s.last_object_id;
        o.in_flight = 0;
        o.state = ObjectState::Live;
        return true;
    }
    return false;
}

void DeleteDeviceObject(const std::string& nt_path) {
    State& s = S();
    std::unique_lock lock(s.mutex);
    DeviceObject* o = FindObject(s, nt_path.c_str());
    if (o == nullptr || o->state != ObjectState::Live) return;
    // No new calls reach it from here on; the running ones finish before the
    // caller may destroy the device.
    o->state = ObjectState::Dying;
    WaitForCalls(s, lock, *o);
    o->state = ObjectState::Free;
    o->device = nullptr;
}

bool CreateDosLink(const std::string& dos_name, const std::string& nt_target) {
    if (dos_name.empty() || nt_target.empty() || nt_target.size() >= kNameChars) return false;
    State& s = S();
    std::lock_guard lock(s.mutex);
    DosName* n = FindOrAddName(s, dos_name.c_str());
    if (n == nullptr) return false;
    if (n->has_link) return false;  // a driver's link name is taken once
    n->link.Assign(nt_target.c_str());
    n->has_link = true;
    return true;
}

void DeleteDosLink(const std::string& dos_name) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    DosName* n = FindName(s, dos_name.c_str());
    if (n == nullptr) return;
    n->has_link = false;
    DropIfUndefined(n);
}

void SetDosDeviceQueryError(const std::string& name, uint32_t error) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    auto it = std::find_if(s.query_faults.begin(), s.query_faults.end(),
                           [&](const QueryFault& f) { return SameText(f.name.c_str(), name.c_str()); });
    if (error == 0) {
        if (it != s.query_faults.end()) s.query_faults.erase(it);
    } else if (it != s.query_faults.end()) {
        it->error = error;
    } else {
        s.query_faults.push_back({name, error});
    }
}

void SetDefineDosDeviceFails(bool fails) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.define_fails = fails;
}

std::vector<std::string> DosDeviceNames() {
    State& s = S();
    std::vector<std::string> names;
    {
        std::lock_guard lock(s.mutex);
        for (const DosName& n : s.names)
            if (n.used) names.emplace_back(n.name.s);
    }
    std::sort(names.begin(), names.end(), LessText);
    return names;
}

size_t OpenDeviceHandleCount() {
    State& s = S();
    std::lock_guard lock(s.mutex);
    return static_cast<size_t>(
        std::count_if(std::begin(s.handles), std::end(s.handles), [](const OpenHandle& h) { return h.used; }));
}

void UseVirtualClock(bool virtual_clock) {
    State& s = S();
    std::lock_guard lock(s.mutex);
    s.virtual_clock = virtual_clock;
}

uint64_t VirtualTimeMs() {
    State& s = S();
    std::lock_guard lock(s.mutex);
    return s.virtual_ms;
}

std::vector<uint32_t> SleepCalls() {
    State& s = S();
    std::lock_guard lock(s.mutex);
    const uint64_t kept = std::min<uint64_t>(s.sleep_count, kSleepRecord);
    std::vector<uint32_t> calls;
    calls.reserve(kept);
    for (uint64_t n = s.sleep_count - kept; n < s.sleep_count; ++n) calls.push_back(s.sleeps[n % kSleepRecord]);
    return calls;
}

void ResetDevices() {
    State& s = S();
    std::unique_lock lock(s.mutex);
    for (DeviceObject& o : s.objects)
        if (o.state == ObjectState::Live) o.state = ObjectState::Dying;
    for (DeviceObject& o : s.objects) {
        WaitForCalls(s, lock, o);
        o.state = ObjectState::Free;
        o.device = nullptr;
    }
    for (DosName& n : s.names) n.used = false;
    for (OpenHandle& h : s.handles) h.used = false;
    s.query_faults.clear();
    s.define_fails = false;
    s.virtual_clock = false;
    s.virtual_ms = 0;
    s.sleep_count = 0;
}

}  // namespace hostwin
