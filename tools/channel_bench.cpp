// channel_bench: how many device calls an adapter information read and a live
// transfer make against the card simulator, and how long a live transfer
// takes on the host. Run by hand; no test runs it.
//
//   channel_bench [transfers]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "adapter/adapter_info.h"
#include "adapter/adapter_location.h"
#include "adapter/live_settings.h"
#include "core/module_state.h"
#include "core/os_detect.h"
#include "hostctl.h"
#include "sim/host_card.h"
#include "store/registry_access.h"
#include "store/settings.h"

namespace {

cardsim::HostCard g_card;

// The card as the given Windows family's driver presents it.
void Present(uint32_t os_class) {
    hostwin::ResetSystem();
    ResetModuleState();
    g_card.sim.Reset();
    hostwin::CreateDeviceObject(SNKES_SIM_CARD_DEVICE, &g_card);
    OsClass = os_class;
    if (os_class == OsWin98) {
        hostwin::CreateDosLink("SUKES48.VXD", SNKES_SIM_CARD_DEVICE);
        return;
    }
    const char* id = "{5A0C1D2E-3F40-4152-A6B7-C8D9E0F1A2B3}";
    const char* driver_key = "System\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0005";
    WriteNumberValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Enum\\PCMCIA\\KESTREL-WIRELESS_LAN_CARD-615B\\1",
                     "DrvInst", 5);
    WriteTextValue(HKEY_LOCAL_MACHINE, driver_key, "VendorDescription", "Kestrel Wireless LAN Card");
    WriteTextValue(HKEY_LOCAL_MACHINE, driver_key, "NetCfgInstanceId", id);
    hostwin::CreateDosLink(id, SNKES_SIM_CARD_DEVICE);
}

void Measure(const char* family, uint32_t os_class, long transfers) {
    Present(os_class);
    ReadAdapterInfo();
    const uint32_t info_calls = g_card.sim.state.device_calls;
    const bool online = AdapterInfo.DriverOnline == 1;

    ResetProfileDefaults();
    CopyText(ProfileSettings.DesiredSSID, "benchmark");
    g_card.sim.Reset();
    WriteLiveSettings();
    const uint32_t transfer_calls = g_card.sim.state.device_calls;
    const bool active = g_card.sim.state.activations == 1;

    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < transfers; ++i) WriteLiveSettings();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("%-22s ReadAdapterInfo: %u device calls (online: %s)   WriteLiveSettings: %u device calls "
                "(activated: %s), %.2f us per transfer over %ld transfers\n",
                family, info_calls, online ? "yes" : "no", transfer_calls, active ? "yes" : "no",
                1e6 * seconds / static_cast<double>(transfers), transfers);
}

}  // namespace

int main(int argc, char** argv) {
    const long transfers = argc > 1 ? std::atol(argv[1]) : 100000;
    if (transfers <= 0) {
        std::fprintf(stderr, "usage: channel_bench [transfers]\n");
        return 2;
    }
    Measure("Windows 98 (VxD)", OsWin98, transfers);
    Measure("Windows XP (instance)", OsWinXP, transfers);
    return 0;
}
