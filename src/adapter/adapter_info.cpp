#include "adapter/adapter_info.h"

#include "adapter/adapter_location.h"
#include "adapter/driver_channel.h"

AdapterInfoType AdapterInfo = {};

bool IsSupportedDriverVersion(uint32_t variant, uint32_t major, uint32_t minor) {
    return variant == kAppletVariant && major == kAppletMajor && minor == kAppletMinor;
}

void ReadAdapterInfo() {
    if (OpenDriverChannel(OemCode) == ChannelOk) {
        AdapterInfo.DriverOnline = 1;
        // The numbers come from whatever the record holds after the read.
        uint16_t identity[6] = {5, RecordDriverIdentity, 0, 0, 0, 0};
        GetRecord(identity);
        AdapterInfo.ReportedVariant = identity[3];
        AdapterInfo.ReportedMajor = identity[4];
        AdapterInfo.ReportedMinor = identity[5];
    } else {
        AdapterInfo.DriverOnline = 0;
    }
    CloseDriverChannel();
    if (AdapterInfo.DriverOnline &&
        !IsSupportedDriverVersion(AdapterInfo.ReportedVariant, AdapterInfo.ReportedMajor, AdapterInfo.ReportedMinor)) {
        AdapterInfo.DriverOnline = 0;
    }
}
