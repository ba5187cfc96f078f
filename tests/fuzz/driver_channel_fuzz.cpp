// The driver channel against any driver: ReadAdapterInfo, then
// WriteLiveSettings, with a device that answers every call as the input
// says (the header fields, value words, lengths, a failing call, busy
// answers) and a machine set up as the input says (which Windows family,
// which device names exist, DOS-name faults). After each of the two:
//  - no device handle, registry handle or DOS name of the applet's is held;
//  - the channel is closed;
//  - at most ten busy pauses were made;
//  - the driver counts as online only with version 1.6.41.
//
// Input: a setup of five bytes (family, names, existing DOS links, query
// fault, define fault), then for each device call one control byte and the
// fields it asks for (see FuzzDevice::Control).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "adapter/adapter_info.h"
#include "adapter/adapter_location.h"
#include "adapter/driver_channel.h"
#include "adapter/live_settings.h"
#include "core/fixed_text.h"
#include "core/module_state.h"
#include "core/os_detect.h"
#include "fuzz_input.h"
#include "hostctl.h"
#include "platform/win.h"
#include "store/registry_access.h"
#include "store/settings.h"

namespace {

constexpr char kCardDevice[] = "\\Device\\FuzzCard";
constexpr char kInstanceId[] = "{5A0C1D2E-3F40-4152-A6B7-C8D9E0F1A2B3}";
constexpr size_t kMaxBusyPauses = 10;
constexpr uint32_t kErrorGenFailure = 31;

// Statuses a driver gives, most of them meaningful to the applet; any other
// value comes as it is.
constexpr uint16_t kStatuses[] = {0, 0, 0, 68, 8, 69, 70, 71, 72, 73, 255, 65, 66, 1};

class FuzzDevice : public hostwin::Device {
public:
    explicit FuzzDevice(FuzzInput* in) : in_(in) {}

    // One control byte per call:
    //   bit 0 and 1 both set: the call fails;
    //   bit 2: a status follows (1 byte: an index into kStatuses, or with the
    //          top bit set, the low 7 bits and one more byte as the value);
    //   bit 3: a connection id follows (4 bytes);
    //   bit 4: a record length follows (2 bytes);
    //   bit 5: a record type follows (2 bytes);
    //   bit 6: value words follow: a count (1 byte, times 16 when bit 7 of
    //          the count is set), then that many words;
    //   bit 7: the number of bytes returned follows (2 bytes).
    // What is not given stays as the applet sent it.
    bool Control(uint32_t, const void*, uint32_t, void* out, uint32_t out_size, uint32_t* returned,
                 uint32_t* error) override {
        const uint8_t control = in_->Byte();
        if ((control & 3) == 3) {
            *error = kErrorGenFailure;
            return false;
        }
        uint8_t* block = static_cast<uint8_t*>(out);
        auto put16 = [&](size_t at, uint16_t v) {
            if (at + 2 <= out_size) std::memcpy(block + at, &v, 2);
        };
        if (control & 4) {
            const uint8_t pick = in_->Byte();
            put16(4, pick & 0x80 ? static_cast<uint16_t>((pick & 0x7F) | in_->Byte() << 7)
                                 : kStatuses[pick % (sizeof kStatuses / sizeof kStatuses[0])]);
        }
        if (control & 8) {
            const uint32_t id = in_->U32();
            if (out_size >= 4) std::memcpy(block, &id, 4);
        }
        if (control & 16) put16(8, in_->U16());
        if (control & 32) put16(10, in_->U16());
        if (control & 64) {
            const uint8_t count_byte = in_->Byte();
            const size_t count = count_byte & 0x80 ? size_t(count_byte & 0x7F) * 16 : count_byte;
            for (size_t i = 0; i < count; ++i) put16(12 + 2 * i, in_->U16());
        }
        *returned = out_size;
        if (control & 128) {
            const uint32_t n = in_->U16();
            *returned = n < out_size ? n : out_size;
        }
        return true;
    }

private:
    FuzzInput* in_;
};

void Seed(const std::string& key, const char* name, const std::string& text) {
    WriteTextValue(HKEY_LOCAL_MACHINE, key.c_str(), name, text.c_str());
}

// The adapter's instance and driver keys as Windows 2000 and XP record them.
void InstallAdapter(uint32_t os_class) {
    const std::string driver_key =
        "System\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0005";
    const std::string instance = std::string("System\\CurrentControlSet\\Enum\\PCMCIA\\") + CardIdentities[0] + "\\1";
    if (os_class == OsWinXP) {
        WriteNumberValue(HKEY_LOCAL_MACHINE, instance.c_str(), "DrvInst", 5);
    } else {
        Seed(instance, "Driver", "{4D36E972-E325-11CE-BFC1-08002bE10318}\\0005");
    }
    Seed(driver_key, "VendorDescription", LanCardDescription);
    Seed(driver_key, "NetCfgInstanceId", kInstanceId);
}

std::string Nt4Name(int digit) {
    return std::string("SL") + OemCode + "52" + static_cast<char>('0' + digit);
}

// The machine as the setup bytes say, with `device` behind every device
// object it makes.
void SetUp(FuzzInput& in, FuzzDevice* device) {
    const uint8_t family = in.Byte();
    const uint8_t names = in.Byte();
    const uint8_t links = in.Byte();
    const uint8_t query_fault = in.Byte();
    const uint8_t define_fault = in.Byte();
    static const uint32_t kFamilies[] = {OsWin95, OsWin98, OsNT4, OsWin2000, OsWinXP, OsUnknown};
    OsClass = kFamilies[family % (sizeof kFamilies / sizeof kFamilies[0])];
    switch (OsClass) {
        case OsWin95:
        case OsWin98: {
            // The family's own VxD, the common one, or both.
            const std::string own = std::string("SU") + OemCode + (OsClass == OsWin95 ? "41" : "48") + ".VXD";
            const std::string common = std::string("SU") + OemCode + "51.VXD";
            if (names & 1) hostwin::CreateDosLink(own, kCardDevice);
            if (names & 2) hostwin::CreateDosLink(common, kCardDevice);
            break;
        }
        case OsNT4:
            // Device objects for some instance digits, driver links for
            // some, and a DOS name query that fails for one.
            for (int digit = 1; digit <= 8; ++digit) {
                const std::string name = Nt4Name(digit);
                if (names >> (digit - 1) & 1) hostwin::CreateDeviceObject("\\Device\\" + name, device);
                if (links >> (digit - 1) & 1) hostwin::CreateDosLink(name, kCardDevice);
            }
            if (query_fault & 0x80) {
                static const uint32_t kErrors[] = {2, 5, 6, 31, 87};
                hostwin::SetDosDeviceQueryError(Nt4Name(1 + query_fault % 8), kErrors[(query_fault >> 3) % 5]);
            }
            hostwin::SetDefineDosDeviceFails(define_fault & 1);
            break;
        case OsWin2000:
        case OsWinXP:
            if (names & 1) InstallAdapter(OsClass);
            if (names & 2) hostwin::CreateDosLink(kInstanceId, kCardDevice);
            break;
        default:
            break;
    }
}

void CheckNothingHeld(const std::vector<std::string>& dos_names, const char* after) {
    const std::string where = std::string(" after ") + after;
    FUZZ_CHECK(hostwin::OpenDeviceHandleCount() == 0, "a device handle was left open" + where);
    FUZZ_CHECK(hostwin::RegistryOpenHandleCount() == 0, "a registry handle was left open" + where);
    FUZZ_CHECK(hostwin::DosDeviceNames() == dos_names, "a DOS name was left defined" + where);
    FUZZ_CHECK(DriverChannel.PlatformNumber == 0 && DriverChannel.Device == INVALID_HANDLE_VALUE,
               "the channel was left open" + where);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    FuzzDevice device(&in);
    hostwin::ResetDevices();
    hostwin::RegistryClear();
    hostwin::UseVirtualClock(true);
    ResetModuleState();
    hostwin::CreateDeviceObject(kCardDevice, &device);
    SetUp(in, &device);
    const std::vector<std::string> dos_names = hostwin::DosDeviceNames();
    ResetProfileDefaults();
    CopyText(ProfileSettings.DesiredSSID, "network");

    size_t pauses = hostwin::SleepCalls().size();
    ReadAdapterInfo();
    FUZZ_CHECK(hostwin::SleepCalls().size() - pauses <= kMaxBusyPauses, "more than ten busy pauses");
    if (AdapterInfo.DriverOnline) {
        FUZZ_CHECK(
            AdapterInfo.ReportedVariant == 1 && AdapterInfo.ReportedMajor == 6 && AdapterInfo.ReportedMinor == 41,
            "online with version " + std::to_string(AdapterInfo.ReportedVariant) + "." +
                std::to_string(AdapterInfo.ReportedMajor) + "." + std::to_string(AdapterInfo.ReportedMinor));
    }
    CheckNothingHeld(dos_names, "ReadAdapterInfo");

    pauses = hostwin::SleepCalls().size();
    WriteLiveSettings();
    FUZZ_CHECK(hostwin::SleepCalls().size() - pauses <= kMaxBusyPauses, "more than ten busy pauses");
    CheckNothingHeld(dos_names, "WriteLiveSettings");

    hostwin::ResetDevices();
    return 0;
}
