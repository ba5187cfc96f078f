// Host controls of the registry: emptying it, importing and saving regedit
// files, and reading a whole subtree without going through the Reg*
// functions one name at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostwin {

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

struct RegistryValueCopy {
    std::string name;  // "" for the default value
    uint32_t type = 0;
    std::string data;  // the bytes exactly as stored
};

struct RegistryKeyCopy {
    std::string path;                       // full name, e.g. "HKEY_LOCAL_MACHINE\\Software\\X"
    std::vector<RegistryValueCopy> values;  // insertion order
};

// Copies the subtree `root` (a full name; "HKLM\\..." style short roots are
// accepted too) in export order: parents before children, children in
// enumeration order. Returns false if the key does not exist.
bool RegistryCopyTree(const std::string& root, std::vector<RegistryKeyCopy>* out);

}  // namespace hostwin
