// The applet's resources as the platform's resource calls give them: every
// string of the table, every dialog template (read with the host layer's
// template reader), the icon and the version block; the failures of missing
// ids; and loading the applet's module by its name. Each test program
// carries the applet's resources as its own, so GetModuleHandleA(nullptr)
// finds them on both backends.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/host/dialog_template.h"
#include "platform/win.h"
#include "res/resource.h"

#ifndef _WIN32
#include "hostctl.h"
#endif

namespace {

// Window and control styles by their documented values, so that the tables
// below do not lean on the headers of either backend.
constexpr uint32_t kWsPopup = 0x80000000;
constexpr uint32_t kWsChild = 0x40000000;
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsCaption = 0x00C00000;
constexpr uint32_t kWsBorder = 0x00800000;
constexpr uint32_t kWsVscroll = 0x00200000;
constexpr uint32_t kWsSysmenu = 0x00080000;
constexpr uint32_t kWsGroup = 0x00020000;
constexpr uint32_t kWsTabstop = 0x00010000;
constexpr uint32_t kWsExContextHelp = 0x00000400;
constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kDsModalFrame = 0x80;
constexpr uint32_t kDsSetForeground = 0x200;
constexpr uint32_t kDsContextHelp = 0x2000;
constexpr uint32_t kBsPushButton = 0x0;
constexpr uint32_t kBsDefPushButton = 0x1;
constexpr uint32_t kBsAutoCheckBox = 0x3;
constexpr uint32_t kBsGroupBox = 0x7;
constexpr uint32_t kBsAutoRadioButton = 0x9;
constexpr uint32_t kBsVcenter = 0x0C00;
constexpr uint32_t kBsMultiline = 0x2000;
constexpr uint32_t kEsAutoHscroll = 0x80;
constexpr uint32_t kCbsDropDownList = 0x3;
constexpr uint32_t kSsLeft = 0x0;
constexpr uint32_t kSsCenter = 0x1;
constexpr uint32_t kSsRight = 0x2;
constexpr uint32_t kSsIcon = 0x3;
constexpr uint32_t kSsNoPrefix = 0x80;
constexpr uint32_t kSsSunken = 0x1000;

// Control class ordinals of a template.
constexpr uint16_t kButton = 0x80;
constexpr uint16_t kEdit = 0x81;
constexpr uint16_t kStatic = 0x82;
constexpr uint16_t kComboBox = 0x85;

constexpr uint32_t Shown(uint32_t style) {
    return kWsChild | kWsVisible | style;
}
constexpr uint32_t Hidden(uint32_t style) {
    return kWsChild | style;
}

constexpr uint32_t kRadio = kBsAutoRadioButton | kWsTabstop;
constexpr uint32_t kRadioMultiline = kBsAutoRadioButton | kBsMultiline | kBsVcenter | kWsTabstop;
constexpr uint32_t kEditField = kWsBorder | kEsAutoHscroll | kWsTabstop;
constexpr uint32_t kList = kCbsDropDownList | kWsVscroll | kWsTabstop;
constexpr uint32_t kPush = kBsPushButton | kWsGroup | kWsTabstop;
constexpr uint32_t kExplanation = kSsLeft | kWsBorder | kSsSunken | kWsGroup;

constexpr int kNoId = -1;
constexpr uint16_t kStringBlockType = 6;

HINSTANCE Applet() {
    return GetModuleHandleA(nullptr);
}

std::string LoadText(HINSTANCE module, UINT id) {
    char buffer[1024];
    const int n = LoadStringA(module, id, buffer, sizeof buffer);
    return n >= 0 ? std::string(buffer, static_cast<size_t>(n)) : "(failed)";
}

// ---- The string table -------------------------------------------------------

struct StringCase {
    UINT id;
    const char* text;
};

const StringCase kStrings[] = {
    {IDS_PAGE_BASIC, "Basic"},
    {IDS_PAGE_ADVANCED, "Advanced"},
    {IDS_PAGE_ADMIN, "Admin"},
    {IDS_PAGE_ENCRYPTION, "Encryption"},
    {IDS_PAGE_ADAPTER, "Adapter"},
    {1310, "Enter a profile name with a maximum of 32 printable characters."},
    {1311, "You can only select a specified Encryption key."},
    {1312,
     "You must restart your computer before the new settings will take effect.\n\nDo you want to restart your "
     "computer now?"},
    {1313, "Enter a key or disable Data Security"},
    {1315, "Please enter a valid Local MAC Address.\nExample: 02601D03BC3A"},
    {1316, "Use 5 printable characters (or 13 with "},
    {1317, "You must restart your computer before the new settings will take effect."},
    {1318, "Use 10 hex digits (or 26 with "},
    {1319, "Edit Configuration"},
    {1322, "Enter a Network name with a maximum of 32 printable characters."},
    {1323, "NetWork Name must be 6 characters!"},
    {1327, "Encryption must be 5 characters!"},
    {1329, "The driver has the wrong version!\n\nPlease reinstall the driver."},
    {1330,
     "The Client Manager is not installed!\n\nTo install the Client Manager, run the Client Manager setup.exe from "
     "the setup disk."},
    {1332, "Can not access your Wireless Card.\nPlease remove and re-insert PC Card to activate settings."},
    {1333, "Only disable Data Security in combination with the RG Softreset!"},
    {1334, "Network Name 'ANY' is not valid in a Peer-to-Peer Group profile."},
    {1414, "Key 1"},
    {1415, "Key 2"},
    {1416, "Key 3"},
    {1417, "Key 4"},
    {1449, "Access Point"},
    {1450, "Residential Gateway"},
    {1451, "Peer-to-Peer Group"},
    {1452, "Act as BaseStation"},
    {1453, "Internet Access Server"},
    {1454, "Office Router Client"},
    {1455, "Ad-Hoc Demo mode"},
    {1461,
     " For Network Name enter the 6-character ID printed\n on a label on the back of your Residential Gateway.\n\n "
     "The default Encryption Key equals the last 5 characters\n of the Network Name."},
    {1462,
     " The Network Name should match the Network Name\n value of the Access Point(s).\n\n Consult your LAN "
     "administrator for the correct value."},
    {1463,
     " To connect to a Peer-to-Peer workgroup, all workgroup\n participants should use the same Network Name value. "},
    {1464,
     " This tab should only be used by LAN administrators to view or\n modify specific settings that may apply for "
     "your network\n infrastructure."},
    {1465,
     " Use this tab to view or modify the hardware settings of your\n wireless PC Card, in case of hardware "
     "conflicts."},
};

TEST(StringTable, EveryStringHoldsItsText) {
    for (const StringCase& c : kStrings) {
        char buffer[512];
        const int n = LoadStringA(Applet(), c.id, buffer, sizeof buffer);
        EXPECT_EQ(n, static_cast<int>(std::strlen(c.text))) << "string " << c.id;
        EXPECT_STREQ(buffer, c.text) << "string " << c.id;
    }
}

// The I/O base items are the table's numbers in upper-case hexadecimal and
// the interrupt items its numbers in decimal, in table order.
TEST(StringTable, AdapterListItemsSpellTheirTables) {
    const unsigned io_bases[] = {0x180,  0x1C0,  0x200,  0x280,  0x300,  0x380,  0x400,  0x440,  0x480,  0x4C0,
                                 0x500,  0x540,  0x580,  0x5C0,  0x600,  0x640,  0x680,  0x6C0,  0x700,  0x740,
                                 0x780,  0x7C0,  0x800,  0x900,  0xA00,  0xB00,  0xC00,  0xD00,  0xE00,  0xF00,
                                 0x1000, 0x1400, 0x1800, 0x1C00, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x7000,
                                 0x8000, 0x9000, 0xA000, 0xB000, 0xC000, 0xD000, 0xE000, 0xF000};
    static_assert(sizeof io_bases / sizeof io_bases[0] == IDS_IOBASE_LAST - IDS_IOBASE_FIRST + 1);
    for (UINT i = 0; i <= IDS_IOBASE_LAST - IDS_IOBASE_FIRST; ++i) {
        char expected[8];
        std::snprintf(expected, sizeof expected, "%X", io_bases[i]);
        EXPECT_EQ(LoadText(Applet(), IDS_IOBASE_FIRST + i), expected) << "string " << IDS_IOBASE_FIRST + i;
    }
    const unsigned interrupts[] = {3, 4, 5, 7, 9, 10, 11, 12, 15};
    static_assert(sizeof interrupts / sizeof interrupts[0] == IDS_IRQ_LAST - IDS_IRQ_FIRST + 1);
    for (UINT i = 0; i <= IDS_IRQ_LAST - IDS_IRQ_FIRST; ++i) {
        EXPECT_EQ(LoadText(Applet(), IDS_IRQ_FIRST + i), std::to_string(interrupts[i]))
            << "string " << IDS_IRQ_FIRST + i;
    }
}

// The message box captions hold no text. An empty entry, an id missing from
// a block that exists and an id whose whole block is missing all load as ""
// with the result 0, and the buffer is terminated.
TEST(StringTable, EmptyAndMissingStringsLoadAsEmptyText) {
    const UINT ids[] = {2245, 2246, 2247, 2248, 2249, 2250, 2251, 2252, 2253, 2254, 2255,  // empty captions
                        1303, 1304, 1314, 1320, 1321, 1324, 1328, 1331,                    // not in the table
                        2256, 9999, 65535};                                                // no block
    for (UINT id : ids) {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(LoadStringA(Applet(), id, buffer, sizeof buffer), 0) << "string " << id;
        EXPECT_EQ(buffer[0], '\0') << "string " << id;
    }
}

TEST(StringTable, AMissingBlockFailsAsNameNotFound) {
    char buffer[16];
    SetLastError(0);
    EXPECT_EQ(LoadStringA(Applet(), 9999, buffer, sizeof buffer), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

// Only the low 16 bits name the string.
TEST(StringTable, TheHighWordOfTheIdIsIgnored) {
    EXPECT_EQ(LoadText(Applet(), 0x10000u + IDS_PAGE_BASIC), "Basic");
}

// A text longer than the buffer is cut to the buffer's size less one and
// terminated; nothing after the buffer is touched.
TEST(StringTable, ALongTextIsCutToTheBuffer) {
    struct Case {
        int size;
        const char* expected;
    };
    // The text is 134 characters long: sizes 134 and 135 cut its last
    // character and just hold it.
    const Case cases[] = {{1, ""}, {2, " "}, {10, " The Netw"}, {134, nullptr}, {135, nullptr}};
    const std::string full = LoadText(Applet(), IDS_EXPLAIN_AP);
    ASSERT_EQ(full.size(), 134u);
    for (const Case& c : cases) {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        const int n = LoadStringA(Applet(), IDS_EXPLAIN_AP, buffer, c.size);
        const std::string expected = c.expected ? c.expected : full.substr(0, static_cast<size_t>(c.size - 1));
        EXPECT_EQ(n, static_cast<int>(expected.size())) << "size " << c.size;
        EXPECT_EQ(std::string(buffer), expected) << "size " << c.size;
        for (size_t i = static_cast<size_t>(c.size); i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], 'x') << "size " << c.size << ", byte " << i;
        }
        // A heap buffer of exactly the size: AddressSanitizer sees a write
        // past it.
        std::vector<char> exact(static_cast<size_t>(c.size));
        EXPECT_EQ(LoadStringA(Applet(), IDS_EXPLAIN_AP, exact.data(), c.size), n) << "size " << c.size;
        EXPECT_EQ(std::string(exact.data()), expected) << "size " << c.size;
    }
}

// A buffer size of 0 writes nothing. (The platform's documentation forbids
// it; Wine answers -1, and so does the host.)
TEST(StringTable, ABufferOfSizeZeroIsNotWritten) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(LoadStringA(Applet(), IDS_PAGE_BASIC, buffer, 0), -1);
    EXPECT_EQ(buffer[0], 'x');
}

// ---- Dialog templates -------------------------------------------------------

struct ItemCase {
    int id;
    uint16_t class_ordinal;
    const char* title;
    int16_t x, y, cx, cy;
    uint32_t style;
    uint16_t title_ordinal = 0;
};

struct TemplateCase {
    UINT id;
    bool extended;
    const char* title;
    uint32_t style;
    uint32_t ex_style;
    int16_t cx, cy;
    std::vector<ItemCase> items;
};

const uint32_t kPageStyle = kWsPopup | kDsModalFrame | kDsSetFont;

const TemplateCase kTemplates[] = {
    {IDD_PROFILE,
     true,
     "Add/Edit Configuration Profile",
     kWsPopup | kWsCaption | kWsSysmenu | kDsModalFrame | kDsSetFont | kDsSetForeground | kDsContextHelp,
     kWsExContextHelp,
     233,
     183,
     {
         {kNoId, kButton, "Select Profile", 4, 7, 225, 132, Shown(kBsGroupBox | kWsGroup)},
         {2106, kButton, "", 8, 21, 14, 10, Shown(kRadio)},
         {2107, kButton, "", 8, 44, 13, 10, Shown(kRadio)},
         {2108, kButton, "", 8, 67, 13, 10, Shown(kRadio)},
         {2109, kButton, "", 8, 90, 13, 10, Shown(kRadio)},
         {1105, kEdit, "", 21, 19, 99, 12, Shown(kEditField | kWsGroup)},
         {2100, kComboBox, "", 131, 19, 90, 63, Shown(kList | kWsGroup)},
         {1106, kEdit, "", 21, 42, 99, 12, Shown(kEditField | kWsGroup)},
         {2101, kComboBox, "", 131, 42, 90, 60, Shown(kList | kWsGroup)},
         {1107, kEdit, "", 21, 65, 99, 12, Shown(kEditField | kWsGroup)},
         {2102, kComboBox, "", 131, 65, 90, 60, Shown(kList | kWsGroup)},
         {1108, kEdit, "", 21, 88, 99, 12, Shown(kEditField | kWsGroup)},
         {2103, kComboBox, "", 131, 88, 90, 65, Shown(kList | kWsGroup)},
         {2110, kButton, "&Edit Profile", 170, 115, 50, 15, Shown(kPush)},
         {1, kButton, "&OK", 71, 164, 50, 14, Shown(kPush)},
         {2, kButton, "&Cancel", 125, 164, 50, 14, Shown(kPush)},
         {9, kButton, "&Help", 179, 164, 50, 14, Shown(kPush)},
     }},
    {IDD_BASIC,
     true,
     "",
     kPageStyle,
     0,
     220,
     140,
     {
         {2135, kStatic, "&Network Name", 12, 10, 47, 11, Shown(kSsLeft | kWsGroup)},
         {2111, kEdit, "", 64, 9, 133, 12, Shown(kEditField)},
         {2137, kButton, "&Enable Data Security", 11, 29, 88, 10, Hidden(kBsAutoCheckBox | kWsTabstop)},
         {2125, kStatic, "&Encryption Key", 23, 49, 48, 8, Hidden(kSsLeft)},
         {2115, kEdit, "", 76, 47, 121, 12, Hidden(kEditField)},
         {2129, kStatic, "", 20, 77, 181, 47, Shown(kExplanation)},
     }},
    {IDD_ENCRYPTION,
     true,
     "",
     kPageStyle,
     0,
     220,
     140,
     {
         {2112, kButton, "&Enable Data Security", 10, 4, 88, 10, Shown(kBsAutoCheckBox | kWsTabstop)},
         {kNoId, kStatic, "En&crypt data transmission using", 10, 19, 104, 8, Shown(kSsLeft)},
         {2120, kComboBox, "", 118, 18, 51, 77, Shown(kList)},
         {kNoId, kButton, "Encryption Keys", 7, 34, 206, 98, Shown(kBsGroupBox | kWsGroup)},
         {2113, kButton, "Use &Alphanumeric Characters (0-9, a-z)", 16, 46, 186, 8, Shown(kRadio)},
         {2114, kButton, "Use &Hexadecimal (0-9, a-f)", 16, 58, 186, 8, Shown(kRadio)},
         {kNoId, kStatic, "Key &1", 17, 75, 29, 8, Shown(kSsLeft | kWsGroup)},
         {2116, kEdit, "", 53, 73, 115, 12, Shown(kEditField)},
         {kNoId, kStatic, "Key &2", 17, 89, 28, 8, Shown(kSsLeft)},
         {2117, kEdit, "", 53, 87, 115, 12, Shown(kEditField)},
         {kNoId, kStatic, "Key &3", 17, 103, 26, 8, Shown(kSsLeft)},
         {2118, kEdit, "", 53, 101, 115, 12, Shown(kEditField)},
         {kNoId, kStatic, "Key &4", 17, 117, 31, 8, Shown(kSsLeft)},
         {2119, kEdit, "", 53, 115, 115, 12, Shown(kEditField)},
     }},
    {IDD_ADVANCED,
     true,
     "",
     kPageStyle,
     0,
     220,
     140,
     {
         {kNoId, kButton, "Card Power Management", 7, 7, 207, 35, Shown(kBsGroupBox | kWsGroup)},
         {2122, kButton, "&On   (lower power consumption and performance)", 13, 28, 190, 9, Shown(kRadio)},
         {2121, kButton, "O&ff   (default power consumption and high performance)", 13, 16, 200, 9, Shown(kRadio)},
         {kNoId, kButton, "Interference Robustness", 7, 47, 207, 38, Shown(kBsGroupBox | kWsGroup)},
         {2124, kButton, "&On   (use in case of interference from microwave ovens)", 13, 70, 190, 9,
          Shown(kRadioMultiline)},
         {2123, kButton, "O&ff   (default)", 13, 57, 190, 9, Shown(kRadioMultiline)},
         {kNoId, kButton, "RTS/CTS Medium Reservation", 7, 92, 207, 38, Shown(kBsGroupBox | kWsGroup)},
         {1118, kButton, "&On   (use when troubleshooting poor performance)", 13, 114, 190, 12, Shown(kRadioMultiline)},
         {1117, kButton, "O&ff   (default)", 13, 103, 190, 9, Shown(kRadioMultiline)},
     }},
    {IDD_ADMIN,
     true,
     "",
     kPageStyle,
     0,
     220,
     140,
     {
         {2134, kButton, "MAC Address", 8, 61, 206, 32, Hidden(kBsGroupBox | kWsGroup)},
         {1103, kButton, "&Default", 17, 69, 57, 10, Hidden(kRadio)},
         {1104, kButton, "&Network Assigned", 17, 79, 71, 10, Hidden(kRadio)},
         {2126, kEdit, "", 94, 77, 110, 12, Hidden(kEditField | kWsGroup)},
         {kNoId, kButton, "Distance between Access Points", 8, 5, 206, 50, Shown(kBsGroupBox | kWsGroup)},
         {1100, kButton, "&Large (default)", 18, 16, 177, 10, Shown(kRadio)},
         {1101, kButton, "&Medium", 18, 27, 177, 10, Shown(kRadio)},
         {1102, kButton, "&Small", 18, 38, 177, 10, Shown(kRadio)},
         {2130, kStatic, "", 9, 101, 205, 33, Shown(kExplanation)},
     }},
    {IDD_ABOUT,
     false,
     "About",
     kWsPopup | kWsCaption | kDsModalFrame | kDsSetFont,
     0,
     186,
     69,
     {
         {kNoId, kStatic, "", 9, 9, 20, 20, Shown(kSsIcon), IDI_APPLET},
         {1005, kStatic, "", 35, 14, 144, 8, Shown(kSsCenter | kSsNoPrefix | kWsGroup)},
         {kNoId, kStatic, "Wireless PC Card Configuration", 35, 28, 119, 8, Shown(kSsCenter | kWsGroup)},
         {1, kButton, "OK", 69, 48, 50, 14, Shown(kBsDefPushButton | kWsGroup | kWsTabstop)},
     }},
    {IDD_ADAPTER,
     true,
     "",
     kPageStyle,
     0,
     221,
     138,
     {
         {kNoId, kStatic, "I/O &Base Address", 4, 14, 77, 8, Shown(kSsRight)},
         {2127, kComboBox, "", 85, 13, 91, 42, Shown(kList)},
         {kNoId, kStatic, "&Interrupt", 6, 40, 75, 8, Shown(kSsRight)},
         {2128, kComboBox, "", 85, 38, 91, 42, Shown(kList)},
         {2131, kStatic, "", 11, 96, 200, 33, Shown(kExplanation)},
     }},
};

// The template of dialog `id` of the applet, through the resource calls.
bool ReadTemplate(HINSTANCE module, UINT id, hostwin::DialogTemplate* out, std::string* error) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_DIALOG);
    if (found == nullptr) {
        *error = "FindResourceA failed with " + std::to_string(GetLastError());
        return false;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = LockResource(loaded);
    const DWORD size = SizeofResource(module, found);
    if (bytes == nullptr || size == 0) {
        *error = "no bytes";
        return false;
    }
    return hostwin::ParseDialogTemplate(bytes, size, out, error);
}

TEST(DialogTemplates, EachTemplateHoldsItsControlsInTabOrder) {
    for (const TemplateCase& c : kTemplates) {
        SCOPED_TRACE("template " + std::to_string(c.id));
        hostwin::DialogTemplate t;
        std::string error;
        ASSERT_TRUE(ReadTemplate(Applet(), c.id, &t, &error)) << error;
        EXPECT_EQ(t.extended, c.extended);
        EXPECT_EQ(t.title, c.title);
        EXPECT_EQ(t.style, c.style);
        EXPECT_EQ(t.ex_style, c.ex_style);
        EXPECT_EQ(t.x, 0);
        EXPECT_EQ(t.y, 0);
        EXPECT_EQ(t.cx, c.cx);
        EXPECT_EQ(t.cy, c.cy);
        EXPECT_EQ(t.menu_ordinal, 0);
        EXPECT_EQ(t.menu, "");
        EXPECT_EQ(t.class_name, "");
        EXPECT_EQ(t.point_size, 8);
        EXPECT_EQ(t.face, "MS Sans Serif");
        EXPECT_EQ(t.italic, 0);
        ASSERT_EQ(t.items.size(), c.items.size());
        for (size_t i = 0; i < c.items.size(); ++i) {
            const ItemCase& want = c.items[i];
            const hostwin::DialogItemTemplate& got = t.items[i];
            SCOPED_TRACE("item " + std::to_string(i) + ", id " + std::to_string(want.id));
            // -1 is a WORD in a plain template and a DWORD in an extended one.
            const uint32_t id = static_cast<uint32_t>(want.id) & (c.extended ? 0xFFFFFFFFu : 0xFFFFu);
            EXPECT_EQ(got.id, id);
            EXPECT_EQ(got.class_ordinal, want.class_ordinal);
            EXPECT_EQ(got.class_name, "");
            EXPECT_EQ(got.title, want.title);
            EXPECT_EQ(got.title_ordinal, want.title_ordinal);
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.cx, want.cx);
            EXPECT_EQ(got.cy, want.cy);
            EXPECT_EQ(got.style, want.style);
            EXPECT_EQ(got.ex_style, 0u);
            EXPECT_EQ(got.help_id, 0u);
            EXPECT_TRUE(got.creation_data.empty());
        }
    }
}

TEST(DialogTemplates, AMissingTemplateFailsAsNameNotFound) {
    for (UINT id : {1202u, 1208u, 1u}) {
        SetLastError(0);
        EXPECT_EQ(FindResourceA(Applet(), MAKEINTRESOURCEA(id), RT_DIALOG), nullptr) << id;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND)) << id;
    }
    SetLastError(0);
    EXPECT_EQ(FindResourceA(Applet(), "NOSUCHDIALOG", RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(DialogTemplates, AMissingTypeFailsAsTypeNotFound) {
    SetLastError(0);
    EXPECT_EQ(FindResourceA(Applet(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(77)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

// "#number" names an ordinal, for the type as for the name.
TEST(DialogTemplates, NumberTextsNameOrdinals) {
    HRSRC by_ordinal = FindResourceA(Applet(), MAKEINTRESOURCEA(IDD_PROFILE), RT_DIALOG);
    ASSERT_NE(by_ordinal, nullptr);
    EXPECT_EQ(FindResourceA(Applet(), "#1200", RT_DIALOG), by_ordinal);
    EXPECT_EQ(FindResourceA(Applet(), "#1200", "#5"), by_ordinal);
}

TEST(DialogTemplates, NullResourceHandlesGiveNothing) {
    EXPECT_EQ(LoadResource(Applet(), nullptr), nullptr);
    EXPECT_EQ(SizeofResource(Applet(), nullptr), 0u);
    EXPECT_EQ(LockResource(nullptr), nullptr);
}

// ---- The dialog template reader on damaged input ----------------------------

std::vector<uint8_t> TemplateBytes(UINT id) {
    HRSRC found = FindResourceA(Applet(), MAKEINTRESOURCEA(id), RT_DIALOG);
    if (found == nullptr) return {};
    const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(Applet(), found)));
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(Applet(), found));
}

// Every cut of every template before its last item's end fails with a
// reason; each copy sits in a buffer of exactly its size, so a read past it
// is an overrun that AddressSanitizer reports.
TEST(DialogTemplateReader, EveryTruncatedTemplateFails) {
    for (const TemplateCase& c : kTemplates) {
        const std::vector<uint8_t> full = TemplateBytes(c.id);
        ASSERT_FALSE(full.empty()) << c.id;
        hostwin::DialogTemplate whole;
        std::string error;
        ASSERT_TRUE(hostwin::ParseDialogTemplate(full.data(), full.size(), &whole, &error)) << error;
        // The last item ends where its creation data count does, at most
        // three bytes of padding before the resource's end.
        for (size_t cut = 0; cut + 4 <= full.size(); ++cut) {
            std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
            hostwin::DialogTemplate t;
            error.clear();
            EXPECT_FALSE(hostwin::ParseDialogTemplate(part.data(), part.size(), &t, &error))
                << "template " << c.id << " cut at " << cut;
            EXPECT_FALSE(error.empty()) << "template " << c.id << " cut at " << cut;
        }
    }
}

// Bytes of any kind end in a result, never in a crash or a read past them.
TEST(DialogTemplateReader, GarbageNeverReadsPastTheEnd) {
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(seed >> 16);
    };
    const std::vector<uint8_t> base = TemplateBytes(IDD_PROFILE);
    ASSERT_FALSE(base.empty());
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes = base;
        // Damage a few bytes, then cut somewhere.
        for (int k = 0; k < 1 + round % 8; ++k) bytes[next() * bytes.size() / 256] = next();
        bytes.resize(static_cast<size_t>(next()) * bytes.size() / 255);
        hostwin::DialogTemplate t;
        std::string error;
        if (!hostwin::ParseDialogTemplate(bytes.data(), bytes.size(), &t, &error)) {
            EXPECT_FALSE(error.empty());
        }
    }
    for (int round = 0; round < 500; ++round) {
        std::vector<uint8_t> bytes(next());
        for (uint8_t& b : bytes) b = next();
        hostwin::DialogTemplate t;
        std::string error;
        (void)hostwin::ParseDialogTemplate(bytes.data(), bytes.size(), &t, &error);
    }
}

TEST(DialogTemplateReader, AnItemCountBeyondTheItemsFails) {
    std::vector<uint8_t> bytes = TemplateBytes(IDD_ABOUT);
    ASSERT_GE(bytes.size(), 10u);
    // A plain template's item count is the word after style and extended
    // style.
    bytes[8] = 5;
    hostwin::DialogTemplate t;
    std::string error;
    EXPECT_FALSE(hostwin::ParseDialogTemplate(bytes.data(), bytes.size(), &t, &error));
    EXPECT_NE(error.find("item 4 of 5"), std::string::npos) << error;
}

TEST(DialogTemplateReader, NarrowsToWindows1252) {
    struct Case {
        std::u16string wide;
        std::string narrow;
    };
    const Case cases[] = {
        {u"Key 1", "Key 1"},
        {u"\u00e9\u00ff\u00a0", "\xe9\xff\xa0"},     // Latin-1 stays
        {u"\u20ac\u2122\u0178", "\x80\x99\x9f"},     // the code page's own 0x80 to 0x9F
        {u"\u0081\u008d", "\x81\x8d"},               // its undefined bytes
        {u"\u0100\u3042\u0080", "???"},              // what it lacks
        {std::u16string(u"\xd83d\xde00", 2), "??"},  // a surrogate pair
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hostwin::NarrowText(c.wide.data(), c.wide.size()), c.narrow);
    }
}

// ---- The icon ---------------------------------------------------------------

TEST(AppletIcon, LoadsAsOneSharedIcon) {
    HICON icon = LoadIconA(Applet(), MAKEINTRESOURCEA(IDI_APPLET));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconA(Applet(), MAKEINTRESOURCEA(IDI_APPLET)), icon);
    // Destroying a shared icon succeeds and leaves it in place.
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_EQ(LoadIconA(Applet(), MAKEINTRESOURCEA(IDI_APPLET)), icon);
}

// Measured under Wine: a missing icon fails as a missing type.
TEST(AppletIcon, AMissingIconFails) {
    const LPCSTR names[] = {MAKEINTRESOURCEA(2008), MAKEINTRESOURCEA(1), "NOSUCHICON"};
    for (LPCSTR name : names) {
        SetLastError(0);
        EXPECT_EQ(LoadIconA(Applet(), name), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    }
}

// The group lists 48, 32 and 16 pixels, each as an 8-bit palette image and
// as a 32-bit image, and each image is there.
TEST(AppletIcon, TheGroupHoldsThreeSizesInTwoDepths) {
    HRSRC group = FindResourceA(Applet(), MAKEINTRESOURCEA(IDI_APPLET), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const uint8_t* p = static_cast<const uint8_t*>(LockResource(LoadResource(Applet(), group)));
    ASSERT_GE(SizeofResource(Applet(), group), 6u + 6 * 14);
    ASSERT_EQ(p[4], 6);
    const int expected[6][2] = {{48, 8}, {32, 8}, {16, 8}, {48, 32}, {32, 32}, {16, 32}};
    for (int i = 0; i < 6; ++i) {
        const uint8_t* e = p + 6 + 14 * i;
        EXPECT_EQ(e[0], expected[i][0]) << i;
        EXPECT_EQ(e[1], expected[i][0]) << i;
        EXPECT_EQ(e[6] | e[7] << 8, expected[i][1]) << i;
        const uint16_t image_id = static_cast<uint16_t>(e[12] | e[13] << 8);
        HRSRC image = FindResourceA(Applet(), MAKEINTRESOURCEA(image_id), RT_ICON);
        ASSERT_NE(image, nullptr) << i;
        const uint32_t bytes = static_cast<uint32_t>(e[8] | e[9] << 8 | e[10] << 16 | e[11] << 24);
        EXPECT_EQ(SizeofResource(Applet(), image), bytes) << i;
    }
}

// ---- The version block ------------------------------------------------------

// The nodes of a version block: each a length, a value length, a type
// (1: text), a key, and its value and children, all on DWORD boundaries.
struct VersionNode {
    std::string path;
    std::vector<uint8_t> value;
    bool text = false;
};

void ReadVersionNodes(const uint8_t* p, size_t size, const std::string& parent, std::vector<VersionNode>* out) {
    size_t pos = 0;
    while (pos + 6 <= size) {
        const size_t length = static_cast<size_t>(p[pos] | p[pos + 1] << 8);
        const size_t value_length = static_cast<size_t>(p[pos + 2] | p[pos + 3] << 8);
        const bool text = (p[pos + 4] | p[pos + 5] << 8) == 1;
        if (length < 6 || pos + length > size) return;
        size_t at = pos + 6;
        std::u16string key;
        while (at + 2 <= pos + length && (p[at] | p[at + 1])) {
            key += static_cast<char16_t>(p[at] | p[at + 1] << 8);
            at += 2;
        }
        at = (at + 2 + 3) & ~size_t{3};
        VersionNode node;
        node.path = parent + "/" + hostwin::NarrowText(key.data(), key.size());
        node.text = text;
        const size_t value_bytes = text ? 2 * value_length : value_length;
        if (at + value_bytes > pos + length) return;
        node.value.assign(p + at, p + at + value_bytes);
        out->push_back(node);
        at = (at + value_bytes + 3) & ~size_t{3};
        if (at < pos + length) ReadVersionNodes(p + at, pos + length - at, node.path, out);
        pos = (pos + length + 3) & ~size_t{3};
    }
}

std::string VersionText(const VersionNode& node) {
    std::u16string wide;
    for (size_t i = 0; i + 1 < node.value.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(node.value[i] | node.value[i + 1] << 8);
        if (c == 0) break;
        wide += c;
    }
    return hostwin::NarrowText(wide.data(), wide.size());
}

TEST(VersionBlock, NamesTheAppletAndItsVersion) {
    HRSRC found = FindResourceA(Applet(), MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const uint8_t* p = static_cast<const uint8_t*>(LockResource(LoadResource(Applet(), found)));
    std::vector<VersionNode> nodes;
    ReadVersionNodes(p, SizeofResource(Applet(), found), "", &nodes);
    ASSERT_FALSE(nodes.empty());
    ASSERT_EQ(nodes[0].path, "/VS_VERSION_INFO");
    // The fixed part: signature, structure version, then the file and
    // product versions as two DWORDs each (major << 16 | minor, build << 16
    // | revision).
    const std::vector<uint8_t>& fixed = nodes[0].value;
    ASSERT_EQ(fixed.size(), 52u);
    auto dword = [&fixed](size_t at) {
        return static_cast<uint32_t>(fixed[at] | fixed[at + 1] << 8 | fixed[at + 2] << 16 | fixed[at + 3] << 24);
    };
    EXPECT_EQ(dword(0), 0xFEEF04BDu);
    EXPECT_EQ(dword(8), (6u << 16) | 41u);
    EXPECT_EQ(dword(12), (1u << 16) | 87u);
    EXPECT_EQ(dword(16), (6u << 16) | 41u);
    EXPECT_EQ(dword(20), (1u << 16) | 87u);
    EXPECT_EQ(dword(36), 2u);  // a DLL

    const std::string table = "/VS_VERSION_INFO/StringFileInfo/040004B0/";
    struct Case {
        const char* key;
        const char* value;
    };
    const Case values[] = {
        {"Comments", ""},
        {"CompanyName", ""},
        {"FileDescription", "Control Panel Applet"},
        {"FileVersion", "6.41.1.87"},
        {"InternalName", "SNKES48.CPL"},
        {"OriginalFilename", "SNKES48.CPL"},
        {"ProductName", ""},
        {"ProductVersion", "6.41.1.87"},
    };
    for (const Case& c : values) {
        const VersionNode* node = nullptr;
        for (const VersionNode& n : nodes) {
            if (n.path == table + c.key) node = &n;
        }
        ASSERT_NE(node, nullptr) << c.key;
        EXPECT_TRUE(node->text) << c.key;
        EXPECT_EQ(VersionText(*node), c.value) << c.key;
    }
    bool has_legal_notice = false;
    for (const VersionNode& n : nodes) {
        if (n.path == table + "LegalCopyright") has_legal_notice = !VersionText(n).empty();
    }
    EXPECT_TRUE(has_legal_notice);
    const VersionNode* translation = nullptr;
    for (const VersionNode& n : nodes) {
        if (n.path == "/VS_VERSION_INFO/VarFileInfo/Translation") translation = &n;
    }
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation->value, (std::vector<uint8_t>{0x00, 0x04, 0xB0, 0x04}));
}

// ---- The applet's module by its name ----------------------------------------

// On the host the applet's module is the resources its code brought along,
// known as "SNKES48.CPL"; under wine64 it is the built SNKES48.CPL, loaded
// from its path.
#ifdef _WIN32
std::string AppletPath() {
    std::string path = SNKES_CPL_PATH;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}
#else
std::string AppletPath() {
    return "SNKES48.CPL";
}
#endif

TEST(AppletModule, LoadsByNameCountsUsesAndCarriesTheResources) {
    HMODULE first = LoadLibraryA(AppletPath().c_str());
    ASSERT_NE(first, nullptr) << AppletPath() << ": " << GetLastError();
    EXPECT_NE(first, GetModuleHandleA(nullptr));
    HMODULE second = LoadLibraryA(AppletPath().c_str());
    EXPECT_EQ(second, first);
    // Found again by its name alone, in any case.
    EXPECT_EQ(GetModuleHandleA("snkes48.cpl"), first);
    EXPECT_EQ(LoadText(first, IDS_SHEET_CAPTION), "Edit Configuration");
    hostwin::DialogTemplate t;
    std::string error;
    ASSERT_TRUE(ReadTemplate(first, IDD_ABOUT, &t, &error)) << error;
    EXPECT_EQ(t.title, "About");
    EXPECT_NE(LoadIconA(first, MAKEINTRESOURCEA(IDI_APPLET)), nullptr);
    char name[MAX_PATH];
    const DWORD length = GetModuleFileNameA(first, name, sizeof name);
    ASSERT_GT(length, 0u);
    const std::string file(name, length);
    EXPECT_EQ(file.substr(file.size() - std::strlen("SNKES48.CPL")), "SNKES48.CPL");
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_TRUE(FreeLibrary(first));
}

TEST(AppletModule, AnUnknownNameIsNotFound) {
    for (const char* name : {"NOSUCHMODULE.DLL", "C:\\Windows\\nosuch.cpl", ""}) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << name;
        SetLastError(0);
        EXPECT_EQ(GetModuleHandleA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << name;
    }
}

// A handle that is no module fails every call, as where the resource data
// cannot be found.
TEST(AppletModule, AHandleThatIsNoModuleFails) {
    HMODULE bogus = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x12340000));
    char buffer[16];
    SetLastError(0);
    EXPECT_EQ(FindResourceA(bogus, MAKEINTRESOURCEA(IDD_ABOUT), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(LoadStringA(bogus, IDS_PAGE_BASIC, buffer, sizeof buffer), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(LoadIconA(bogus, MAKEINTRESOURCEA(IDI_APPLET)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(bogus));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(bogus, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

// A null instance is the program's main module for strings and templates;
// for icons it asks for the system's own, which have no such number.
TEST(AppletModule, TheNullInstanceIsTheMainModule) {
    EXPECT_EQ(LoadText(nullptr, IDS_PAGE_ADAPTER), "Adapter");
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_ABOUT), RT_DIALOG),
              FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), RT_DIALOG));
    SetLastError(0);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_APPLET)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

// A name cut to the buffer: the size comes back and the error says the
// buffer was too small. (Wine leaves the cut name without its zero, as
// Windows XP did; the host terminates it, as later Windows do.)
TEST(AppletModule, AModuleFileNameIsCutToTheBuffer) {
    char full[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, full, sizeof full);
    ASSERT_GT(length, 8u);
    char cut[8];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, cut, sizeof cut), static_cast<DWORD>(sizeof cut));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(cut, 7), std::string(full, 7));
#ifndef _WIN32
    EXPECT_EQ(cut[7], '\0');
#endif
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, cut, 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
