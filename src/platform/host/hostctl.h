// Controls of the host platform layer that have no Windows counterpart:
// what a test or the command-line tool uses to set up the pretend machine.
// Only host code (tests, tools) includes this; the applet never does.
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

// ---- Registry --------------------------------------------------------------
// Empties the whole registry (all roots) and invalidates open handles.
void RegistryClear();

// Imports a file in either format regedit exports ("REGEDIT4" 8-bit text, or
// "Windows Registry Editor Version 5.00" UTF-16LE with byte-order mark) into
// the registry, merging like regedit does ([-KEY] sections delete).
// On any error nothing changes and `error` names the file and line.
bool RegistryImport(const std::string& path, std::string* error);
// The same from text already in memory; `name` is used in error messages.
bool RegistryImportText(const std::string& text, const std::string& name, std::string* error);

// Saves the whole registry (or the subtree `root`, a full name such as
// "HKEY_LOCAL_MACHINE\\Software\\X"; empty for everything) as REGEDIT4.
// Atomic: written to a temporary file and renamed, under an exclusive lock.
bool RegistrySave(const std::string& path, std::string* error, const std::string& root = "");
// The REGEDIT4 text of the registry or of the subtree `root`.
std::string RegistryExportText(const std::string& root = "");

// Number of registry handles currently open (predefined roots excluded).
size_t RegistryOpenHandleCount();

}  // namespace hostwin
#include "hostctl_devices.h"
