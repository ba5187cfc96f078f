#include "store/parameter_table.h"

#include <cstdio>
#include <cstring>

#include "adapter/adapter_location.h"
#include "core/os_detect.h"
#include "platform/win.h"
#include "store/registry_access.h"
#include "store/settings.h"

namespace {

constexpr uint32_t N = ParamNumber;
constexpr uint32_t T = ParamText;
ProfileSettingsType& P = ProfileSettings;
AdapterStateType& A = AdapterState;

// Per-row key: the driver key itself, or the current profile's subkey.
const char* RowKey(bool in_profile_subkey, char (&subkey)[kSettingsTextSize]) {
    if (!in_profile_subkey) return DriverKeyPath;
    if (!ProfileKeyPath(subkey, AdapterState.ConfigType)) return nullptr;
    return subkey;
}

}  // namespace

// Order is the order of reading and writing.
const ParameterRow ParameterTable[kParameterCount] = {
    {N, 2, 2, "SystemScale", &P.SystemScale, nullptr, 1, 3, 1, nullptr},
    {N, 2, 2, "RTSThreshold", &P.RTSThreshold, nullptr, 1, 2347, 2347, nullptr},
    {N, 2, 2, "PMEnabled", &P.PMEnabled, nullptr, 0, 1, 0, nullptr},
    {N, 2, 2, "MicroWaveRobustness", &P.MicroWaveRobustness, nullptr, 0, 1, 0, nullptr},
    {N, 2, 2, "CreateIBSS", &P.CreateIBSS, nullptr, 0, 1, 0, nullptr},
    {T, 2, 2, "NetworkAddress", nullptr, P.NetworkAddress, 0, 0, 0, nullptr},
    {N, 1, 1, "IoBaseAddress", &A.IoBaseAddress, nullptr, 0x100, 0xFFC0, 0x400, nullptr},
    {N, 1, 1, "InterruptNumber", &A.InterruptNumber, nullptr, 0, 31, 3, nullptr},
    {N, 1, 1, "Configured", &A.Configured, nullptr, 0, 1, 0, nullptr},
    {N, 1, 1, "DriverEnable", &A.DriverEnable, nullptr, 0, 1, 1, nullptr},
    {N, 1, 0, "SoftexPcmcia", &A.SoftexPcmcia, nullptr, 0, 1, 0, nullptr},
    {N, 2, 2, "PortType", &P.PortType, nullptr, 1, 3, 1, nullptr},
    {N, 2, 2, "APMode", &P.APMode, nullptr, 0, 5, 0, nullptr},
    {T, 2, 2, "OwnSSID", nullptr, P.OwnSSID, 0, 0, 0, nullptr},
    {T, 0, 1, "OwnName", nullptr, P.OwnName, 0, 0, 0, nullptr},
    {T, 2, 2, "DesiredSSID", nullptr, P.DesiredSSID, 0, 0, 0, nullptr},
    {T, 2, 2, "Encryption", nullptr, P.Encryption, 0, 0, 0, FactoryKeyText},
};

int ProfileKeyPath(char (&buffer)[kSettingsTextSize], uint32_t profile) {
    return FormatText(buffer, "%s\\Config%02ld", DriverKeyPath, static_cast<long>(profile)) ? 1 : 0;
}

int LoadParameters(uint32_t scope_mask) {
    for (const ParameterRow& row : ParameterTable) {
        if ((row.read_scope & scope_mask) == 0) continue;
        // While no profile has been chosen, per-profile rows come from the
        // driver key itself.
        char subkey[kSettingsTextSize];
        const char* key = RowKey(row.read_scope == ScopeProfile && AdapterState.ConfigType != 0, subkey);
        if (row.type == ParamText) {
            if (key == nullptr || !ReadTextValue(HKEY_LOCAL_MACHINE, key, row.name, row.text, kSettingsTextSize)) {
                row.text[0] = '\0';
            }
            if (row.text[0] == '\0' && row.default_text != nullptr) {
                std::memcpy(row.text, row.default_text, std::strlen(row.default_text) + 1);
            }
        } else {
            if (key == nullptr || !ReadNumberValue(HKEY_LOCAL_MACHINE, key, row.name, row.number)) {
                *row.number = row.default_number;
            }
            if (row.maximum != 0 && (*row.number < row.minimum || *row.number > row.maximum)) {
                *row.number = row.default_number;
            }
        }
    }
    return 0;
}

int SaveParameters(uint32_t scope_mask) {
    const bool nt_family = (OsClass & OsNtFamily) != 0;
    const bool softex = AdapterState.SoftexPcmcia != 0;
    for (const ParameterRow& row : ParameterTable) {
        if ((row.write_scope & scope_mask) == 0) continue;
        char subkey[kSettingsTextSize];
        const char* key = RowKey(row.write_scope == ScopeProfile && scope_mask != ScopeActiveProfile, subkey);
        if (key == nullptr) continue;
        if (row.type == ParamText) {
            if (softex && row.text == ProfileSettings.NetworkAddress) continue;
            WriteTextValue(HKEY_LOCAL_MACHINE, key, row.name, row.text);
            continue;
        }
        const bool resource = row.number == &AdapterState.IoBaseAddress || row.number == &AdapterState.InterruptNumber;
        if (resource) {
            // The card's resources are the driver's to set except on NT 4.0.
            if (!softex && OsClass == OsNT4) WriteNumberValue(HKEY_LOCAL_MACHINE, key, row.name, *row.number);
        } else if (nt_family) {
            WriteNumberValue(HKEY_LOCAL_MACHINE, key, row.name, *row.number);
        } else {
            // Windows 95/98 drivers read their numbers as decimal text.
            char text[16];
            std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(*row.number));
            WriteTextValue(HKEY_LOCAL_MACHINE, key, row.name, text);
        }
    }
    return 0;
}

int LoadDriverValues() {
    ReadNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "DriverVariant", &AdapterState.DriverVariant);
    ReadNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "DriverMajor", &AdapterState.DriverMajor);
    ReadNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "DriverMinor", &AdapterState.DriverMinor);
    ReadNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "Configured", &AdapterState.Configured);
    // The station name given to the driver is always the computer's name.
    DWORD size = 33;
    GetComputerNameA(ProfileSettings.OwnName, &size);
    return 1;
}
