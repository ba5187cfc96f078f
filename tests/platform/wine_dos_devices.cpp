// DefineDosDeviceA for the win64 test programs under Wine.
//
// Wine 8's DefineDosDeviceA/W put "\DosDevices\<name>" together in a buffer
// of 15 characters. A name longer than three characters (every NT device name
// the applet defines, such as "SLKES521") runs past it: the call succeeds,
// but the link is made under a damaged name that nothing opens, and the
// removal damages the name the same way. Wine also ignores
// DDD_EXACT_MATCH_ON_REMOVE and removes whatever the name points to.
//
// Every test program links this file (tests/CMakeLists.txt asks the linker
// for the symbol below), and the applet code in it calls DefineDosDeviceA
// through its import slot __imp_DefineDosDeviceA, which is defined here.
// Under Wine the call then makes and removes the link itself, through the
// same object namespace calls Wine uses, with the whole name and with the
// exact-match check. Elsewhere it goes to the system's own function. The
// product DLL keeps its ordinary import.
#include <windows.h>
#include <winternl.h>

namespace {

using NtCreateSymbolicLinkObjectFn = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, UNICODE_STRING*);
using NtOpenSymbolicLinkObjectFn = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
using NtQuerySymbolicLinkObjectFn = NTSTATUS(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG*);
using NtMakeTemporaryObjectFn = NTSTATUS(NTAPI*)(HANDLE);
using NtCloseFn = NTSTATUS(NTAPI*)(HANDLE);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);
using RtlDosPathNameToNtPathNameFn = BOOLEAN(NTAPI*)(const WCHAR*, UNICODE_STRING*, WCHAR**, void*);
using RtlFreeUnicodeStringFn = void(NTAPI*)(UNICODE_STRING*);
using DefineDosDeviceAFn = BOOL(WINAPI*)(DWORD, LPCSTR, LPCSTR);

constexpr ACCESS_MASK kSymbolicLinkQuery = 0x0001;
constexpr ACCESS_MASK kSymbolicLinkAllAccess = STANDARD_RIGHTS_REQUIRED | 0x0001;

struct Ntdll {
    HMODULE module = GetModuleHandleA("ntdll.dll");
    bool wine = module != nullptr && GetProcAddress(module, "wine_get_version") != nullptr;
    NtCreateSymbolicLinkObjectFn create_link = Get<NtCreateSymbolicLinkObjectFn>("NtCreateSymbolicLinkObject");
    NtOpenSymbolicLinkObjectFn open_link = Get<NtOpenSymbolicLinkObjectFn>("NtOpenSymbolicLinkObject");
    NtQuerySymbolicLinkObjectFn query_link = Get<NtQuerySymbolicLinkObjectFn>("NtQuerySymbolicLinkObject");
    NtMakeTemporaryObjectFn make_temporary = Get<NtMakeTemporaryObjectFn>("NtMakeTemporaryObject");
    NtCloseFn close = Get<NtCloseFn>("NtClose");
    RtlNtStatusToDosErrorFn to_dos_error = Get<RtlNtStatusToDosErrorFn>("RtlNtStatusToDosError");
    RtlDosPathNameToNtPathNameFn dos_to_nt = Get<RtlDosPathNameToNtPathNameFn>("RtlDosPathNameToNtPathName_U");
    RtlFreeUnicodeStringFn free_string = Get<RtlFreeUnicodeStringFn>("RtlFreeUnicodeString");

    template <typename F>
    F Get(const char* name) const {
        return module == nullptr ? nullptr : reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    bool Complete() const {
        return create_link && open_link && query_link && make_temporary && close && to_dos_error && dos_to_nt &&
               free_string;
    }
};

const Ntdll& N() {
    static const Ntdll ntdll;
    return ntdll;
}

// Text of at most MAX_PATH characters; fixed buffers, so that the call
// allocates nothing (the allocation-counting tests see every operator new).
constexpr int kChars = MAX_PATH + 16;

struct WideText {
    WCHAR text[kChars];
    USHORT chars = 0;

    bool Set(const WCHAR* prefix, const char* ansi) {
        chars = 0;
        while (*prefix != 0) text[chars++] = *prefix++;
        const int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, text + chars, kChars - chars);
        if (n <= 0) return false;
        chars = static_cast<USHORT>(chars + n - 1);
        return true;
    }
    bool Set(const WCHAR* from, USHORT n) {
        if (n >= kChars) return false;
        for (chars = 0; chars < n; ++chars) text[chars] = from[chars];
        text[chars] = 0;
        return true;
    }
    UNICODE_STRING View() {
        UNICODE_STRING s;
        s.Buffer = text;
        s.Length = static_cast<USHORT>(chars * sizeof(WCHAR));
        s.MaximumLength = s.Length;
        return s;
    }
    bool Same(const WCHAR* other, USHORT n) const {
        if (n != chars) return false;
        for (USHORT i = 0; i < n; ++i) {
            WCHAR x = text[i], y = other[i];
            if (x >= L'a' && x <= L'z') x = static_cast<WCHAR>(x - L'a' + L'A');
            if (y >= L'a' && y <= L'z') y = static_cast<WCHAR>(y - L'a' + L'A');
            if (x != y) return false;
        }
        return true;
    }
};

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL FailStatus(NTSTATUS status) {
    return Fail(N().to_dos_error(status));
}

// The target as the link holds it: as given with DDD_RAW_TARGET_PATH, else
// the NT form of a DOS path.
bool NtTarget(DWORD flags, const char* target, WideText* out) {
    if (!out->Set(L"", target)) return false;
    if (flags & DDD_RAW_TARGET_PATH) return true;
    UNICODE_STRING nt = {};
    if (!N().dos_to_nt(out->text, &nt, nullptr, nullptr)) return false;
    const bool fits = out->Set(nt.Buffer, static_cast<USHORT>(nt.Length / sizeof(WCHAR)));
    N().free_string(&nt);
    return fits;
}

BOOL WINAPI DefineDosDeviceUnderWine(DWORD flags, LPCSTR device, LPCSTR target) {
    const Ntdll& nt = N();
    if (!nt.wine || !nt.Complete()) {
        static const auto system_define = reinterpret_cast<DefineDosDeviceAFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "DefineDosDeviceA")));
        return system_define(flags, device, target);
    }
    if (device == nullptr || *device == '\0') return Fail(ERROR_INVALID_PARAMETER);
    const bool has_target = target != nullptr && *target != '\0';
    WideText link_target;
    if (has_target && !NtTarget(flags, target, &link_target)) return Fail(ERROR_PATH_NOT_FOUND);

    WideText link;
    if (!link.Set(L"\\DosDevices\\", device)) return Fail(ERROR_INVALID_PARAMETER);
    UNICODE_STRING link_name = link.View();
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &link_name, OBJ_CASE_INSENSITIVE | OBJ_PERMANENT, nullptr, nullptr);
    HANDLE handle = nullptr;

    if (!(flags & DDD_REMOVE_DEFINITION)) {
        if (!has_target) return Fail(ERROR_INVALID_PARAMETER);
        UNICODE_STRING target_name = link_target.View();
        const NTSTATUS status = nt.create_link(&handle, kSymbolicLinkAllAccess, &attributes, &target_name);
        if (status < 0) return FailStatus(status);
        nt.close(handle);
        return TRUE;
    }

    NTSTATUS status = nt.open_link(&handle, DELETE | kSymbolicLinkQuery, &attributes);
    if (status < 0) return FailStatus(status);
    if (flags & DDD_EXACT_MATCH_ON_REMOVE) {
        if (!has_target) {
            nt.close(handle);
            return Fail(ERROR_INVALID_PARAMETER);
        }
        WCHAR buffer[kChars];
        UNICODE_STRING current = {0, sizeof buffer, buffer};
        status = nt.query_link(handle, &current, nullptr);
        if (status < 0 || !link_target.Same(buffer, static_cast<USHORT>(current.Length / sizeof(WCHAR)))) {
            nt.close(handle);
            return Fail(ERROR_FILE_NOT_FOUND);
        }
    }
    status = nt.make_temporary(handle);  // the name goes with the last handle
    nt.close(handle);
    if (status < 0) return FailStatus(status);
    return TRUE;
}

}  // namespace

// The import slot the linker would otherwise take from kernel32's import
// library.
extern "C" {
extern DefineDosDeviceAFn __imp_DefineDosDeviceA;
DefineDosDeviceAFn __imp_DefineDosDeviceA = DefineDosDeviceUnderWine;
}
