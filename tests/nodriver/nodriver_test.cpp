// With no card driver started: none of the names a card driver makes opens,
// and a device call on no handle fails. This program never uses TestCard, so
// under wine64 no test driver runs in it; on the host nothing is attached to
// the device namespace.
#include <gtest/gtest.h>

#include <cstdint>

#include "adapter/adapter_info.h"
#include "adapter/driver_channel.h"
#include "adapter/live_settings.h"
#include "core/os_detect.h"
#include "platform/reg_fixture.h"
#include "platform/win.h"
#include "store/settings.h"
#ifndef _WIN32
#include "hostctl.h"
#endif

namespace {

TEST(NoDriver, NoCardNameOpens) {
#ifndef _WIN32
    hostwin::ResetSystem();
#endif
    const char* names[] = {
        "\\\\.\\SUKES41.VXD",
        "\\\\.\\SUKES48.VXD",
        "\\\\.\\SLKES521",
        "\\\\.\\SLKES522",
        "\\\\.\\{5A0C1D2E-3F40-4152-A6B7-C8D9E0F1A2B3}",
        "\\\\.\\SnkesSimControl",  // the test driver's control device
    };
    for (const char* name : names) {
        SetLastError(0);
        HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << name;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
}

TEST(NoDriver, ADeviceCallOnNoHandleFails) {
    uint8_t oid[4] = {0x01, 0x04, 0x02, 0xFF};
    uint8_t block[8204] = {};
    DWORD returned = 0;
    SetLastError(0);
    EXPECT_FALSE(
        DeviceIoControl(INVALID_HANDLE_VALUE, 0x00170002u, oid, sizeof oid, block, sizeof block, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    for (uint8_t b : block) ASSERT_EQ(b, 0) << "nothing was answered";
}

// The applet with an installed adapter but no running driver, on every
// Windows family: the driver is reported offline, the reported version stays
// as it was, the live transfer gives up quietly, and the channel ends closed
// with no DOS name of the NT 4.0 search left defined.
class NoDriverApplet : public RegistryTest {};

TEST_F(NoDriverApplet, AdapterInformationAndLiveTransferFindNoDriver) {
    const std::string driver_key =
        "System\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0005";
    SeedNumber("System\\CurrentControlSet\\Enum\\PCMCIA\\KESTREL-WIRELESS_LAN_CARD-615B\\1", "DrvInst", 5);
    SeedText(driver_key, "VendorDescription", "Kestrel Wireless LAN Card");
    SeedText(driver_key, "NetCfgInstanceId", "{5A0C1D2E-3F40-4152-A6B7-C8D9E0F1A2B3}");
    for (uint32_t os_class : {uint32_t{OsWin95}, uint32_t{OsWin98}, uint32_t{OsNT4}, uint32_t{OsWinXP}}) {
        OsClass = os_class;
        AdapterInfo = {1, 1, 6, 40};
        ReadAdapterInfo();
        EXPECT_EQ(AdapterInfo.DriverOnline, 0u) << os_class;
        EXPECT_EQ(AdapterInfo.ReportedMinor, 40) << os_class;
        ResetProfileDefaults();
        EXPECT_EQ(WriteLiveSettings(), 0) << os_class;
        EXPECT_EQ(DriverChannel.PlatformNumber, 0u);
        EXPECT_EQ(DriverChannel.Device, INVALID_HANDLE_VALUE);
        char target[260];
        for (char digit = '1'; digit <= '9'; ++digit) {
            const std::string name = std::string("SLKES52") + digit;
            EXPECT_EQ(QueryDosDeviceA(name.c_str(), target, sizeof target), 0u) << name;
        }
    }
#ifndef _WIN32
    EXPECT_EQ(hostwin::OpenDeviceHandleCount(), 0u);
#endif
}

}  // namespace
