// The driver's parameters: one static table of every value the driver reads
// from its key, with where each is kept, its field, range and default, and
// the table-driven load and save between the registry and the records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/settings.h"

enum : uint32_t {
    ParamNumber = 4,  // REG_DWORD, or decimal text on Windows 95/98
    ParamText = 1,    // REG_SZ
};

// Scope bits and masks.
enum : uint32_t {
    ScopeDriverKey = 1,                                 // kept in the driver key
    ScopeProfile = 2,                                   // kept per profile
    ScopeActiveProfile = ScopeDriverKey | ScopeProfile | 128,  // per-profile rows into the driver key
};

struct ParameterRow {
    uint32_t type;
    uint32_t read_scope;
    uint32_t write_scope;
    const char* name;
    uint32_t* number;  // bound field of a number row
    char* text;        // bound field (256 bytes) of a text row
    uint32_t minimum;
    uint32_t maximum;
    uint32_t default_number;
    const char* default_text;
};

constexpr int kParameterCount = 17;
extern const ParameterRow ParameterTable[kParameterCount];

// Reads every row whose read scope shares a bit with the mask. Always 0.
int LoadParameters(uint32_t scope_mask);
// Writes every row whose write scope shares a bit with the mask. Always 0.
int SaveParameters(uint32_t scope_mask);
// Reads the driver's recorded version and Configured, and takes the computer
// name as the station name. Always 1.
int LoadDriverValues();

// The subkey of a profile below the driver key: "<driver key>\ConfigNN".
// Returns 0 when it does not fit the buffer.
int ProfileKeyPath(char (&buffer)[kSettingsTextSize], uint32_t profile);
