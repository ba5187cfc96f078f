#include "card_fixture.h"

#include <cstdio>

#include "adapter/driver_channel.h"
#include "core/os_detect.h"
#ifndef _WIN32
#include "hostctl.h"
#endif

const std::string CardTest::kInstanceId = "{5A0C1D2E-3F40-4152-A6B7-C8D9E0F1A2B3}";

void CardTest::SetUp() {
    RegistryTest::SetUp();
    card.Reset();
#ifndef _WIN32
    hostwin::UseVirtualClock(true);
#endif
}

void CardTest::TearDown() {
    card.Reset();  // the card's own names go first
    // Every exchange ends with the channel closed and nothing held.
    EXPECT_EQ(DriverChannel.PlatformNumber, 0u);
    EXPECT_EQ(DriverChannel.Device, INVALID_HANDLE_VALUE);
#ifndef _WIN32
    EXPECT_EQ(hostwin::OpenDeviceHandleCount(), 0u) << "a device handle was left open";
#endif
    char target[260];
    for (char digit = '1'; digit <= '9'; ++digit) {
        const std::string name = std::string("SLKES52") + digit;
        EXPECT_EQ(QueryDosDeviceA(name.c_str(), target, sizeof target), 0u) << name << " was left defined";
    }
    RegistryTest::TearDown();
}

void CardTest::InstallAdapter(uint32_t os_class, const std::string& instance_id) {
    const std::string driver_key =
        "System\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0005";
    const std::string instance = "System\\CurrentControlSet\\Enum\\PCMCIA\\KESTREL-WIRELESS_LAN_CARD-615B\\1";
    if (os_class == OsWinXP) {
        SeedNumber(instance, "DrvInst", 5);
    } else {
        SeedText(instance, "Driver", "{4D36E972-E325-11CE-BFC1-08002bE10318}\\0005");
    }
    SeedText(driver_key, "VendorDescription", "Kestrel Wireless LAN Card");
    SeedText(driver_key, "NetCfgInstanceId", instance_id);
}

void CardTest::PresentCard(uint32_t os_class) {
    OsClass = os_class;
    switch (os_class) {
        case OsWin95: card.LinkDosName("SUKES41.VXD"); break;
        case OsWin98: card.LinkDosName("SUKES48.VXD"); break;
        case OsNT4: card.AddNtDevice("SLKES521"); break;
        case OsWin2000:
        case OsWinXP:
            InstallAdapter(os_class, kInstanceId);
            card.LinkDosName(kInstanceId.c_str());
            break;
        default: break;
    }
}

std::string DescribeRequests(const cardsim::CardState& state) {
    std::string out;
    const uint32_t n = state.log_count < cardsim::kLogSize ? state.log_count : cardsim::kLogSize;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* b = state.log[i].block;
        char item[32];
        std::snprintf(item, sizeof item, "%s%u:%04X", i ? " " : "", b[6] | b[7] << 8, b[10] | b[11] << 8);
        out += item;
    }
    return out;
}
