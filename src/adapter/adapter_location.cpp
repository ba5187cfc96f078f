#include "adapter/adapter_location.h"

#include <cstdio>
#include <cstring>

#include "core/fixed_text.h"
#include "core/os_detect.h"
#include "platform/win.h"
#include "store/registry_access.h"

char DriverKeyPath[kDriverKeyPathSize] = "";

const char* const CardIdentities[] = {
    "KESTREL-WIRELESS_LAN_CARD-615B",
    "KESTREL-WIRELESS_LAN_CARD-E5D7",
    nullptr,
};
const char OemCode[] = "KES";
const char LanCardDescription[] = "Kestrel Wireless LAN Card";
const char UsbAdapterDescription[] = "Kestrel Wireless USB Adapter";

namespace {

constexpr size_t kWorkPathSize = 256;     // key path being built
constexpr size_t kDriverValueSize = 256;  // the Driver value
constexpr size_t kDescriptionSize = 128;  // the VendorDescription value

const char kServicesRoot[] = "System\\CurrentControlSet\\Services";
const char kNetClassFormat[] = "%s\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\%04lu";
const char kNt4ParametersFormat[] = "%s\\SL%s521\\Parameters";
// Position of the service's instance digit, counted from the end of the
// NT 4.0 path: the path ends in "<digit>\Parameters".
constexpr size_t kNt4DigitFromEnd = 12;

// Where a Windows family records plug-and-play devices and driver keys.
struct DevicePlaces {
    const char* enum_root;     // device registry
    const char* pccard_instance;
    const char* class_root;    // driver keys
    bool drvinst_number;       // XP: the instance names its key by number
};

const DevicePlaces* PlacesFor(uint32_t os_class) {
    static const DevicePlaces win9x = {"Enum", "0", "System\\CurrentControlSet\\Services\\Class", false};
    static const DevicePlaces win2000 = {"System\\CurrentControlSet\\Enum", "1",
                                         "System\\CurrentControlSet\\Control\\Class", false};
    static const DevicePlaces winxp = {"System\\CurrentControlSet\\Enum", "1",
                                       "System\\CurrentControlSet\\Control\\Class", true};
    switch (os_class) {
        case OsWin95:
        case OsWin98: return &win9x;
        case OsWin2000: return &win2000;
        case OsWinXP: return &winxp;
        default: return nullptr;
    }
}


// Reads the instance's pointer to its driver key and builds DriverKeyPath
// from it. A value that is missing, or a path that would not fit, is a miss
// and leaves DriverKeyPath alone.
bool DriverKeyFromInstance(const DevicePlaces& places, const char* instance_key) {
    char path[kDriverKeyPathSize];
    if (places.drvinst_number) {
        uint32_t drvinst = 0;
        if (!ReadNumberValue(HKEY_LOCAL_MACHINE, instance_key, "DrvInst", &drvinst)) return false;
        if (!FormatText(path, kNetClassFormat, places.class_root, static_cast<unsigned long>(drvinst))) return false;
    } else {
        char driver[kDriverValueSize];
        if (!ReadTextValue(HKEY_LOCAL_MACHINE, instance_key, "Driver", driver)) return false;
        if (!FormatText(path, "%s\\%s", places.class_root, driver)) return false;
    }
    std::memcpy(DriverKeyPath, path, sizeof path);
    return true;
}

// The first instance of the card as a USB device, if it leads to a driver key.
bool FindUsbDriverKey(const DevicePlaces& places, const char* identity) {
    char path[kWorkPathSize];
    if (!FormatText(path, "%s\\USB\\%s", places.enum_root, identity)) return false;
    HKEY device = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &device) != ERROR_SUCCESS) return false;
    char instance[256];
    bool found = false;
    if (RegEnumKeyA(device, 0, instance, sizeof instance) == ERROR_SUCCESS) {
        char instance_key[kWorkPathSize];
        found = FormatText(instance_key, "%s\\%s", path, instance) && DriverKeyFromInstance(places, instance_key);
    }
    RegCloseKey(device);
    return found;
}

// The driver key's description, compared byte for byte (letter case counts).
bool DescriptionIs(const char* accepted, const char* also_accepted = nullptr) {
    char description[kDescriptionSize];
    if (!ReadTextValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "VendorDescription", description)) return false;
    return std::strcmp(description, accepted) == 0 ||
           (also_accepted != nullptr && std::strcmp(description, also_accepted) == 0);
}

}  // namespace

int FindDriverKey(const char* identity) {
    if (OsClass == OsNT4) {
        FormatText(DriverKeyPath, kNt4ParametersFormat, kServicesRoot, OemCode);
        return 1;
    }
    const DevicePlaces* places = PlacesFor(OsClass);
    if (places == nullptr) {
        DriverKeyPath[0] = '\0';
        return 0;
    }
    if (FindUsbDriverKey(*places, identity)) return 1;
    char pccard[kWorkPathSize];
    if (!FormatText(pccard, "%s\\PCMCIA\\%s\\%s", places->enum_root, identity, places->pccard_instance)) return 0;
    return DriverKeyFromInstance(*places, pccard) ? 1 : 0;
}

int MatchAdapter(const char* identity) {
    if (!FindDriverKey(identity)) return 0;
    switch (OsClass) {
        case OsWin95:
        case OsWin98:
        case OsWin2000:
        case OsWinXP:
            return DescriptionIs(LanCardDescription, UsbAdapterDescription) ? 1 : 0;
        case OsNT4: {
            // The service instances SLKES521 to SLKES529: the lowest one whose
            // parameters describe the LAN card wins, and the path keeps it.
            const size_t length = std::strlen(DriverKeyPath);
            if (length < kNt4DigitFromEnd) return 0;
            char& digit = DriverKeyPath[length - kNt4DigitFromEnd];
            for (char d = '1'; d <= '9'; ++d) {
                digit = d;
                if (DescriptionIs(LanCardDescription)) return 1;
            }
            return 0;
        }
        default:
            return 0;
    }
}

int LocateAdapter() {
    for (const char* const* identity = CardIdentities; *identity != nullptr; ++identity) {
        if (MatchAdapter(*identity)) return 1;
    }
    return 0;
}
