#include "store/profile_list.h"

#include <cstdio>

#include "adapter/adapter_location.h"
#include "platform/win.h"
#include "store/parameter_table.h"
#include "store/registry_access.h"
#include "store/settings.h"

void LoadProfileList() {
    ReadNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "ConfigType", &AdapterState.ConfigType);
    for (uint32_t n = 1; n <= kProfileCount; ++n) {
        const int i = static_cast<int>(n) - 1;
        char subkey[kSettingsTextSize];
        if (ProfileKeyPath(subkey, n)) {
            ReadTextValue(HKEY_LOCAL_MACHINE, subkey, "ConfigName", AdapterState.ConfigName[i]);
            ReadNumberValue(HKEY_LOCAL_MACHINE, subkey, "NetworkType", &AdapterState.NetworkType[i]);
        }
        AdapterState.LastNetworkType[i] = AdapterState.NetworkType[i];
        // A profile without a name must be edited before it is used; loading
        // never clears the mark.
        if (AdapterState.ProfileNeedsEdit[i] == 0) {
            AdapterState.ProfileNeedsEdit[i] = AdapterState.ConfigName[i][0] == '\0' ? 1 : 0;
        }
    }
    if (AdapterState.ConfigName[0][0] == '\0') CopyText(AdapterState.ConfigName[0], "Default");
}

void SaveProfileList() {
    WriteNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "ConfigType", AdapterState.ConfigType);
    WriteNumberValue(HKEY_LOCAL_MACHINE, ProductKeyPath, "Cur_conf", AdapterState.ConfigType);
    for (uint32_t n = 1; n <= kProfileCount; ++n) {
        const char* name = AdapterState.ConfigName[n - 1];
        char subkey[kSettingsTextSize];
        if (ProfileKeyPath(subkey, n)) {
            if (name[0] == '\0') {
                // An unnamed profile is gone, its stored parameters with it.
                DeleteKeyTree(HKEY_LOCAL_MACHINE, subkey);
            } else {
                WriteTextValue(HKEY_LOCAL_MACHINE, subkey, "ConfigName", name);
                WriteNumberValue(HKEY_LOCAL_MACHINE, subkey, "NetworkType", AdapterState.NetworkType[n - 1]);
            }
        }
        char published[16];
        std::snprintf(published, sizeof published, "Config%02ld", static_cast<long>(n));
        WriteTextValue(HKEY_LOCAL_MACHINE, ProductKeyPath, published, name);
    }
}
