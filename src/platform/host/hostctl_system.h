// Host controls of the pretend machine: which Windows it is, its computer
// name, the recorded beeps, and the reset to a freshly started machine.
#pragma once

#include <cstdint>
#include <string>

namespace hostwin {

// ---- Which Windows the host pretends to be --------------------------------
struct VersionInfo {
    uint32_t major = 5;
    uint32_t minor = 1;
    uint32_t build = 2600;
    uint32_t platform = 2;  // VER_PLATFORM_WIN32_NT
    std::string csd = "Service Pack 2";
};
void SetVersion(const VersionInfo& v);
VersionInfo GetPretendVersion();
// Makes GetVersionExA fail (returns FALSE) until set back.
void SetVersionQueryFails(bool fails);

void SetComputerName(const std::string& name);  // at most 15 characters kept
std::string PretendComputerName();

// How many times MessageBeep was called since the last ResetSystem.
unsigned BeepCount();

// Back to a freshly started machine: default version, computer name from the
// host name, and an empty registry.
void ResetSystem();

}  // namespace hostwin
