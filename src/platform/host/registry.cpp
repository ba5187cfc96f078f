// The Reg* functions of the host layer, on top of the in-memory store.
// Behaviour follows the Win32 documentation; where it is silent (error
// codes for bad arguments, the handle returned for an empty subkey name of a
// root) it follows what a test program observed under Wine.
#include "hostctl_registry.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "hostctl.h"
#include "hostwin.h"
#include "registry_store.h"

using hostwin::reg::Key;
using hostwin::reg::Root;
using hostwin::reg::Store;
using hostwin::reg::ValueRef;

namespace {

// Not in our hostwin.h subset; returned when lpData is NULL but cbData isn't 0.
constexpr LSTATUS kErrorNoAccess = 998;

bool PredefinedRoot(HKEY h, Root* out) {
    switch (reinterpret_cast<uintptr_t>(h)) {
        case 0x80000000u:
            *out = Root::ClassesRoot;
            return true;
        case 0x80000001u:
            *out = Root::CurrentUser;
            return true;
        case 0x80000002u:
            *out = Root::LocalMachine;
            return true;
        case 0x80000003u:
            *out = Root::Users;
            return true;
        case 0x80000005u:
            *out = Root::CurrentConfig;
            return true;
        default:
            return false;
    }
}

// The key behind a handle. Call with the store locked.
LSTATUS Resolve(Store& s, HKEY h, Key** out) {
    Root r;
    if (PredefinedRoot(h, &r)) {
        *out = s.RootKey(r);
        return ERROR_SUCCESS;
    }
    Key* k = s.LookupHandle(reinterpret_cast<uintptr_t>(h));
    if (!k) return ERROR_INVALID_HANDLE;
    if (k->deleted) return ERROR_KEY_DELETED;
    *out = k;
    return ERROR_SUCCESS;
}

HKEY ToHandle(uintptr_t h) {
    return reinterpret_cast<HKEY>(h);
}

// Opening the key a handle already names: the predefined roots are handed
// back as they are; any other key gets a new handle.
HKEY Reopen(Store& s, HKEY given, Key* k) {
    Root r;
    if (PredefinedRoot(given, &r)) return given;
    return ToHandle(s.OpenHandle(k));
}

std::string_view ValueName(LPCSTR name) {
    return name ? std::string_view(name) : std::string_view();
}

// The key a handle names and the components of a subkey path below it (a
// null path is an empty one). Call with the store locked.
LSTATUS ResolvePath(Store& s, HKEY hKey, LPCSTR lpSubKey, Key** k, hostwin::reg::PathParts* parts) {
    if (LSTATUS rc = Resolve(s, hKey, k)) return rc;
    return hostwin::reg::SplitPath(lpSubKey ? lpSubKey : "", parts);
}

}  // namespace

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM, const LPSECURITY_ATTRIBUTES,
                               PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    Key* k;
    hostwin::reg::PathParts parts;
    if (LSTATUS rc = ResolvePath(s, hKey, lpSubKey, &k, &parts)) return rc;
    if (parts.empty()) {
        *phkResult = Reopen(s, hKey, k);
        if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }
    // Find how much of the path exists, then check the depth before creating
    // anything, so a refused call leaves no half-made path behind.
    size_t i = 0;
    for (; i < parts.size(); ++i) {
        Key* c = s.FindChild(k, parts[i]);
        if (!c) break;
        k = c;
    }
    if (k->depth + (parts.size() - i) > hostwin::reg::kMaxDepth) return ERROR_INVALID_PARAMETER;
    bool created = false;
    for (; i < parts.size(); ++i) k = s.ChildFor(k, parts[i], &created);
    *phkResult = ToHandle(s.OpenHandle(k));
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    Key* k;
    hostwin::reg::PathParts parts;
    if (LSTATUS rc = ResolvePath(s, hKey, lpSubKey, &k, &parts)) return rc;
    if (parts.empty()) {
        *phkResult = Reopen(s, hKey, k);
        return ERROR_SUCCESS;
    }
    Key* target = s.Find(k, parts);
    if (!target) return ERROR_FILE_NOT_FOUND;
    *phkResult = ToHandle(s.OpenHandle(target));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    if (!lpSubKey || !*lpSubKey) {
        // Documented: the same handle comes back, no new one is opened.
        Store& s = Store::Instance();
        std::lock_guard<std::mutex> lock(s.Mutex());
        Key* k;
        if (LSTATUS rc = Resolve(s, hKey, &k)) {
            *phkResult = nullptr;
            return rc;
        }
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return RegOpenKeyExA(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    Key* k;
    if (LSTATUS rc = Resolve(s, hKey, &k)) return rc;
    ValueRef v;
    if (!s.FindValue(k, ValueName(lpValueName), &v)) return ERROR_FILE_NOT_FOUND;
    if (lpType) *lpType = v.type;
    if (lpData) {
        if (v.size > *lpcbData) {
            // Too small: nothing is copied, the caller learns the size.
            *lpcbData = v.size;
            return ERROR_MORE_DATA;
        }
        if (v.size) std::memcpy(lpData, v.data, v.size);
    }
    if (lpcbData) *lpcbData = v.size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return kErrorNoAccess;
    std::string_view name = ValueName(lpValueName);
    if (name.size() > hostwin::reg::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    Key* k;
    if (LSTATUS rc = Resolve(s, hKey, &k)) return rc;
    if (!s.SetValue(k, name, dwType, lpData, cbData)) return ERROR_NOT_ENOUGH_MEMORY;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    Key* k;
    if (LSTATUS rc = Resolve(s, hKey, &k)) return rc;
    if (dwIndex >= k->children.size()) return ERROR_NO_MORE_ITEMS;
    std::string_view name = k->children[dwIndex]->Name();
    // *lpcchName counts the terminator on the way in, not on the way out.
    if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.data(), name.size());
    lpName[name.size()] = '\0';
    *lpcchName = static_cast<DWORD>(name.size());
    // Keys carry no class name and no write time here.
    if (lpcchClass) {
        if (lpClass && *lpcchClass > 0) lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) std::memset(lpftLastWriteTime, 0, 2 * sizeof(DWORD));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    DWORD cch = cchName;
    return RegEnumKeyExA(hKey, dwIndex, lpName, &cch, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    Key* k;
    hostwin::reg::PathParts parts;
    if (LSTATUS rc = ResolvePath(s, hKey, lpSubKey, &k, &parts)) return rc;
    // An empty name deletes the key the handle names.
    Key* target = parts.empty() ? k : s.Find(k, parts);
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (target->depth == 0 || !target->children.empty()) return ERROR_ACCESS_DENIED;
    s.RemoveTree(target);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    Key* k;
    if (LSTATUS rc = Resolve(s, hKey, &k)) return rc;
    return s.DeleteValue(k, ValueName(lpValueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    Root r;
    if (PredefinedRoot(hKey, &r)) return ERROR_SUCCESS;
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    return s.CloseHandle(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

namespace hostwin {

void RegistryClear() {
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    s.Clear();
}

size_t RegistryOpenHandleCount() {
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    return s.HandleCount();
}

namespace {
void CopyTree(const Key* k, std::string& path, std::vector<RegistryKeyCopy>* out) {
    RegistryKeyCopy copy;
    copy.path = path;
    reg::ValueCursor c(k);
    ValueRef v;
    while (c.Next(&v))
        copy.values.push_back(
            {std::string(v.name), v.type, std::string(reinterpret_cast<const char*>(v.data), v.size)});
    out->push_back(std::move(copy));
    for (const Key* child : k->children) {
        size_t len = path.size();
        path += '\\';
        path += child->Name();
        CopyTree(child, path, out);
        path.resize(len);
    }
}
}  // namespace

bool RegistryCopyTree(const std::string& root, std::vector<RegistryKeyCopy>* out) {
    out->clear();
    Store& s = Store::Instance();
    std::lock_guard<std::mutex> lock(s.Mutex());
    std::string path;
    Key* k = reg::FindByFullName(s, root, &path);
    if (!k) return false;
    CopyTree(k, path, out);
    return true;
}

}  // namespace hostwin
