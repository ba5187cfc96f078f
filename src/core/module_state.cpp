#include "core/module_state.h"

#include "adapter/adapter_info.h"
#include "adapter/adapter_location.h"
#include "adapter/driver_channel.h"
#include "core/os_detect.h"
#include "store/settings.h"
#include "ui/key_record.h"
#include "ui/window_position.h"

void ResetModuleState() {
    ResetSettingsRecords();
    KeyRecord = KeyRecordType{};
    DriverKeyPath[0] = '\0';
    OsClass = OsUnknown;
    AdapterInfo = AdapterInfoType{};
    ResetDriverChannelState();
    ResetWindowPosition();
}
