// Host-only registry inspection, beside the controls in hostctl.h: lets a
// tool or test read a whole subtree, values included, without going through
// the Reg* functions one name at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostctl.h"

namespace hostwin {

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
