#include "core/command_interface.h"

#include "adapter/live_settings.h"
#include "platform/win.h"
#include "store/parameter_table.h"
#include "store/profile_list.h"
#include "store/registry_access.h"
#include "store/settings.h"

namespace {

void WriteProductNumber(const char* name, uint32_t value) {
    WriteNumberValue(HKEY_LOCAL_MACHINE, ProductKeyPath, name, value);
}

bool IsProfileNumber(uint32_t n) {
    return n >= 1 && n <= static_cast<uint32_t>(kProfileCount);
}

// Makes the current profile's parameters the driver's, stores the list and
// sends the settings to the card.
void ApplyCurrentProfile() {
    // A stored current profile outside 1 to 4 names no profile subkey, and
    // loading from one would give every parameter its default: a mere
    // enable or disable would wipe the driver's settings. The driver key
    // holds the settings in use then, as while no profile has been chosen
    // (0), so they are read from there. The stored number is left as it is.
    const uint32_t current = AdapterState.ConfigType;
    if (!IsProfileNumber(current)) AdapterState.ConfigType = 0;
    LoadParameters(ScopeProfile);
    AdapterState.ConfigType = current;
    SaveParameters(ScopeActiveProfile);
    SaveProfileList();
    WriteLiveSettings();
}

}  // namespace

int ExecuteCommand(uint32_t source, uint32_t* status) {
    if (source == CommandSourceNone) {
        *status = CommandStatusOk;
        return 0;
    }
    uint32_t command = source;
    if (source == CommandSourceRegistry &&
        !ReadNumberValue(HKEY_LOCAL_MACHINE, ProductKeyPath, "Cpl_cmd", &command)) {
        WriteProductNumber("Cpl_Status", CommandStatusNoCommand);
        WriteProductNumber("Cpl_cmd", 0);
        *status = CommandStatusNoCommand;
        return 0;
    }
    WriteProductNumber("Cpl_Status", CommandStatusOk);
    WriteProductNumber("Cpl_cmd", CommandBusyMarker);

    const uint32_t command_class = command & 0xFF00;
    const uint32_t argument = command & 0xFF;
    switch (command_class) {
        case CommandNone:
        case CommandShowDialogs:
        case CommandBusyMarker:
            *status = CommandStatusOk;
            return 0;
        case CommandSwitchProfile:
            if (argument < 1 || argument > kProfileCount) {
                WriteProductNumber("Cpl_Status", CommandStatusBadProfile);
                *status = CommandStatusBadProfile;
                WriteProductNumber("Cpl_cmd", 0);
                return 1;
            }
            LoadProfileList();
            AdapterState.ConfigType = argument;
            ApplyCurrentProfile();
            *status = CommandStatusOk;
            WriteProductNumber("Cpl_cmd", 0);
            return 1;
        case CommandDriverEnable:
            LoadProfileList();
            // Only the exact command enables; any argument disables.
            AdapterState.DriverEnable = command == CommandDriverEnable ? 1 : 0;
            ApplyCurrentProfile();
            WriteProductNumber("Cpl_cmd", 0);
            *status = CommandStatusOk;
            return 1;
        default:
            WriteProductNumber("Cpl_Status", CommandStatusUnknown);
            *status = CommandStatusUnknown;
            return 1;
    }
}
