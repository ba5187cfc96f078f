// Finding the adapter's driver key on every Windows family. Under Wine the
// class is set directly (Wine reports one Windows version), and the device
// and driver keys are seeded in Wine's real registry.
#include "adapter/adapter_location.h"

#include <cstdio>
#include <string>

#include "core/os_detect.h"
#include "reg_fixture.h"
#include "store/settings.h"

namespace {

const std::string kFirst = "KESTREL-WIRELESS_LAN_CARD-615B";
const std::string kSecond = "KESTREL-WIRELESS_LAN_CARD-E5D7";
const std::string kLan = "Kestrel Wireless LAN Card";
const std::string kUsb = "Kestrel Wireless USB Adapter";
const std::string kNetClass = "{4D36E972-E325-11CE-BFC1-08002bE10318}";

struct Family {
    const char* name;
    uint32_t os_class;
    std::string enum_root;
    std::string class_root;
    std::string pccard_instance;
    bool drvinst;  // XP: the instance holds a number, not a path
};

const Family k95 = {"Windows 95", OsWin95, "Enum", "System\\CurrentControlSet\\Services\\Class", "0", false};
const Family k98 = {"Windows 98", OsWin98, "Enum", "System\\CurrentControlSet\\Services\\Class", "0", false};
const Family k2000 = {"Windows 2000", OsWin2000, "System\\CurrentControlSet\\Enum",
                      "System\\CurrentControlSet\\Control\\Class", "1", false};
const Family kXP = {"Windows XP", OsWinXP, "System\\CurrentControlSet\\Enum",
                    "System\\CurrentControlSet\\Control\\Class", "1", true};
const Family* const kPlugAndPlay[] = {&k95, &k98, &k2000, &kXP};

std::string Nt4Parameters(char digit) {
    return std::string("System\\CurrentControlSet\\Services\\SLKES52") + digit + "\\Parameters";
}

class AdapterLocationTest : public RegistryTest {
protected:
    // A driver key for instance number `n` of the family, with a description;
    // returns its path.
    std::string SeedDriverKey(const Family& f, int n, const std::string& description) {
        char number[16];
        std::snprintf(number, sizeof number, "%04d", n);
        const std::string path = f.class_root + "\\" + kNetClass + "\\" + number;
        SeedText(path, "VendorDescription", description);
        return path;
    }
    // Points a device instance key at driver key number `n`.
    void SeedInstance(const Family& f, const std::string& instance_key, int n) {
        if (f.drvinst) {
            SeedNumber(instance_key, "DrvInst", static_cast<uint32_t>(n));
        } else {
            char number[16];
            std::snprintf(number, sizeof number, "%04d", n);
            SeedText(instance_key, "Driver", kNetClass + "\\" + number);
        }
    }
    std::string UsbInstance(const Family& f, const std::string& id, const std::string& instance) {
        return f.enum_root + "\\USB\\" + id + "\\" + instance;
    }
    std::string PcCardInstance(const Family& f, const std::string& id, const std::string& instance) {
        return f.enum_root + "\\PCMCIA\\" + id + "\\" + instance;
    }
    int Locate(uint32_t os_class) {
        OsClass = os_class;
        return LocateAdapter();
    }
};

TEST_F(AdapterLocationTest, UsbAdapterOnEveryPlugAndPlayFamily) {
    for (const Family* f : kPlugAndPlay) {
        const std::string driver_key = SeedDriverKey(*f, 17, kUsb);
        SeedInstance(*f, UsbInstance(*f, kFirst, "5&2b0f&0&1"), 17);
        EXPECT_EQ(Locate(f->os_class), 1) << f->name;
        EXPECT_EQ(std::string(DriverKeyPath), driver_key) << f->name;
        TearDown();
        SetUp();
    }
}

TEST_F(AdapterLocationTest, PcCardOnlyUnderTheFamilysInstance) {
    for (const Family* f : kPlugAndPlay) {
        const std::string wrong = f->pccard_instance == "0" ? "1" : "0";
        SeedDriverKey(*f, 3, kLan);
        SeedInstance(*f, PcCardInstance(*f, kFirst, wrong), 3);
        EXPECT_EQ(Locate(f->os_class), 0) << f->name << " instance " << wrong;
        const std::string driver_key = SeedDriverKey(*f, 4, kLan);
        SeedInstance(*f, PcCardInstance(*f, kFirst, f->pccard_instance), 4);
        EXPECT_EQ(Locate(f->os_class), 1) << f->name;
        EXPECT_EQ(std::string(DriverKeyPath), driver_key) << f->name;
        TearDown();
        SetUp();
    }
}

TEST_F(AdapterLocationTest, AUsbDeviceThatLeadsNowhereFallsBackToThePcCard) {
    // The USB device key has no instance, then an instance without a driver
    // pointer: both times the PC Card instance is found.
    for (const Family* f : {&k98, &kXP}) {
        SeedKey(f->enum_root + "\\USB\\" + kFirst);
        const std::string driver_key = SeedDriverKey(*f, 8, kLan);
        SeedInstance(*f, PcCardInstance(*f, kFirst, f->pccard_instance), 8);
        EXPECT_EQ(Locate(f->os_class), 1) << f->name << ": USB key without instance";
        EXPECT_EQ(std::string(DriverKeyPath), driver_key);
        SeedText(UsbInstance(*f, kFirst, "0000"), "DeviceDesc", "no driver pointer here");
        EXPECT_EQ(Locate(f->os_class), 1) << f->name << ": USB instance without pointer";
        EXPECT_EQ(std::string(DriverKeyPath), driver_key);
        TearDown();
        SetUp();
    }
}

TEST_F(AdapterLocationTest, OnlyTheFirstUsbInstanceIsExamined) {
    // Instances enumerate in name order: "A" is first and leads nowhere, so
    // the valid "B" is never looked at.
    SeedText(UsbInstance(k2000, kFirst, "A"), "DeviceDesc", "x");
    SeedDriverKey(k2000, 21, kUsb);
    SeedInstance(k2000, UsbInstance(k2000, kFirst, "B"), 21);
    EXPECT_EQ(Locate(OsWin2000), 0);
}

TEST_F(AdapterLocationTest, TheFirstIdentityWinsAndTheSecondIsTriedWhenItFails) {
    const std::string second_key = SeedDriverKey(kXP, 30, kLan);
    SeedInstance(kXP, PcCardInstance(kXP, kSecond, "1"), 30);
    const std::string first_key = SeedDriverKey(kXP, 31, "Some Other Card");
    SeedInstance(kXP, PcCardInstance(kXP, kFirst, "1"), 31);
    EXPECT_EQ(Locate(OsWinXP), 1);
    EXPECT_EQ(std::string(DriverKeyPath), second_key) << "the first identity's card is refused";
    SeedText(first_key, "VendorDescription", kUsb);
    EXPECT_EQ(Locate(OsWinXP), 1);
    EXPECT_EQ(std::string(DriverKeyPath), first_key) << "both accepted: the first identity wins";
}

TEST_F(AdapterLocationTest, DescriptionsMustMatchExactly) {
    struct Case {
        std::string description;
        int found;
    } cases[] = {
        {kLan, 1},
        {kUsb, 1},
        {"kestrel wireless lan card", 0},
        {"KESTREL WIRELESS LAN CARD", 0},
        {kLan + " ", 0},
        {" " + kLan, 0},
        {kUsb + "  ", 0},
        {"Kestrel Wireless LAN", 0},
        {std::string(200, 'K'), 0},  // too long for the description buffer
    };
    for (const Case& c : cases) {
        const std::string driver_key = SeedDriverKey(k2000, 5, c.description);
        SeedInstance(k2000, PcCardInstance(k2000, kFirst, "1"), 5);
        EXPECT_EQ(Locate(OsWin2000), c.found) << "'" << c.description << "'";
    }
}

TEST_F(AdapterLocationTest, XpDriverKeyNumbersAreZeroPaddedToFourDigits) {
    struct Case {
        uint32_t drvinst;
        const char* last;
    } cases[] = {{7, "0007"}, {0, "0000"}, {123, "0123"}, {9999, "9999"}, {12345, "12345"}};
    for (const Case& c : cases) {
        const std::string driver_key = kXP.class_root + "\\" + kNetClass + "\\" + c.last;
        SeedText(driver_key, "VendorDescription", kLan);
        SeedNumber(PcCardInstance(kXP, kFirst, "1"), "DrvInst", c.drvinst);
        EXPECT_EQ(Locate(OsWinXP), 1) << c.drvinst;
        EXPECT_EQ(std::string(DriverKeyPath), driver_key);
    }
    // A DrvInst stored as decimal text is read too.
    SeedText(PcCardInstance(kXP, kFirst, "1"), "DrvInst", "7");
    EXPECT_EQ(Locate(OsWinXP), 1);
    EXPECT_EQ(std::string(DriverKeyPath), kXP.class_root + "\\" + kNetClass + "\\0007");
}

TEST_F(AdapterLocationTest, Nt4SearchesTheServiceInstancesInOrder) {
    SeedText(Nt4Parameters('3'), "VendorDescription", kUsb);  // refused on NT 4.0
    SeedText(Nt4Parameters('5'), "VendorDescription", kLan);
    SeedText(Nt4Parameters('7'), "VendorDescription", kLan);
    EXPECT_EQ(Locate(OsNT4), 1);
    EXPECT_EQ(std::string(DriverKeyPath), Nt4Parameters('5'));
}

TEST_F(AdapterLocationTest, Nt4WithoutAMatchTriesAllNineDigits) {
    OsClass = OsNT4;
    // The path is fixed: it is built even with nothing in the registry.
    EXPECT_EQ(FindDriverKey(kFirst.c_str()), 1);
    EXPECT_EQ(std::string(DriverKeyPath), Nt4Parameters('1'));
    SeedText(Nt4Parameters('9'), "VendorDescription", "Kestrel Wireless LAN Card ");
    EXPECT_EQ(LocateAdapter(), 0);
    EXPECT_EQ(std::string(DriverKeyPath), Nt4Parameters('9'));
}

TEST_F(AdapterLocationTest, UnsupportedClassesFindNothingAndClearThePath) {
    // A perfectly good adapter for every family is in the registry.
    for (const Family* f : kPlugAndPlay) {
        SeedDriverKey(*f, 2, kLan);
        SeedInstance(*f, PcCardInstance(*f, kFirst, f->pccard_instance), 2);
    }
    SeedText(Nt4Parameters('1'), "VendorDescription", kLan);
    for (uint32_t os_class : {0u, 3u, 16u, 64u, 0x3Cu, 0xFFFFFFFFu}) {
        CopyText(DriverKeyPath, "left over from before");
        EXPECT_EQ(Locate(os_class), 0) << os_class;
        EXPECT_STREQ(DriverKeyPath, "") << os_class;
    }
}

TEST_F(AdapterLocationTest, OverlongValuesCountAsAbsent) {
    // A Driver value of 300 characters on the USB instance: the PC Card
    // instance is used instead.
    SeedText(UsbInstance(k98, kFirst, "0000"), "Driver", std::string(300, 'D'));
    const std::string pccard_key = SeedDriverKey(k98, 6, kLan);
    SeedInstance(k98, PcCardInstance(k98, kFirst, "0"), 6);
    EXPECT_EQ(Locate(OsWin98), 1);
    EXPECT_EQ(std::string(DriverKeyPath), pccard_key);

    // A Driver value that fits its buffer but would make the driver key path
    // longer than 127 characters is not followed, and the path stays as the
    // last good attempt left it.
    const std::string long_driver = std::string(100, 'x');
    SeedText(PcCardInstance(k2000, kSecond, "1"), "Driver", long_driver);
    ASSERT_GT(k2000.class_root.size() + 1 + long_driver.size(), 127u);
    CopyText(DriverKeyPath, "before");
    OsClass = OsWin2000;
    EXPECT_EQ(FindDriverKey(kSecond.c_str()), 0);
    EXPECT_STREQ(DriverKeyPath, "before");

    // The longest path that fits, 127 characters, is taken.
    const std::string fitting(127 - k2000.class_root.size() - 1, 'y');
    SeedText(PcCardInstance(k2000, kSecond, "1"), "Driver", fitting);
    EXPECT_EQ(FindDriverKey(kSecond.c_str()), 1);
    EXPECT_EQ(std::string(DriverKeyPath), k2000.class_root + "\\" + fitting);
}

}  // namespace
