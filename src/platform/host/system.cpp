// System information of the host platform layer: which Windows the host
// pretends to be, the computer name, and the thread's last error.
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "hostctl.h"
#include "hostctl_devices.h"
#include "hostwin.h"

namespace {

hostwin::VersionInfo g_version;
bool g_version_fails = false;
std::string g_computer_name;
bool g_computer_name_set = false;
thread_local DWORD g_last_error = 0;

// A NetBIOS-style computer name: upper case, at most 15 characters.
std::string NormalizeComputerName(const std::string& name) {
    std::string out = name.substr(0, MAX_COMPUTERNAME_LENGTH);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string HostNameAsComputerName() {
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0') return "SNKESHOST";
    std::string name(buf);
    auto dot = name.find('.');
    if (dot != std::string::npos) name.resize(dot);
    return NormalizeComputerName(name);
}

}  // namespace

namespace hostwin {

void SetVersion(const VersionInfo& v) { g_version = v; }
VersionInfo GetPretendVersion() { return g_version; }
void SetVersionQueryFails(bool fails) { g_version_fails = fails; }

void SetComputerName(const std::string& name) {
    g_computer_name = NormalizeComputerName(name);
    g_computer_name_set = true;
}

std::string PretendComputerName() { return g_computer_name_set ? g_computer_name : HostNameAsComputerName(); }

void ResetSystem() {
    g_version = VersionInfo{};
    g_version_fails = false;
    g_computer_name.clear();
    g_computer_name_set = false;
    RegistryClear();
    ResetDevices();
    ResetModules();
    ResetUser();
}

}  // namespace hostwin

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    // The record must announce its own size: the plain record (148 bytes)
    // or the extended one (156 bytes), of which only the plain part is filled.
    if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                            info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) + 8)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (g_version_fails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = g_version.major;
    info->dwMinorVersion = g_version.minor;
    info->dwBuildNumber = g_version.build;
    info->dwPlatformId = g_version.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, g_version.csd.c_str(), sizeof info->szCSDVersion - 1);
    return TRUE;
}

BOOL WINAPI GetComputerNameA(LPSTR buffer, LPDWORD size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string name = hostwin::PretendComputerName();
    // The size is in characters and counts the terminator on the way in;
    // too small a buffer reports the size needed (terminator included).
    if (buffer == nullptr || *size < name.size() + 1) {
        *size = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return TRUE;
}

DWORD WINAPI GetLastError(void) { return g_last_error; }
void WINAPI SetLastError(DWORD code) { g_last_error = code; }

