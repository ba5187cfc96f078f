// The property sheet's pages by network type and Windows family, and the
// caption that names the profile.
#include "ui/sheet_contents.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/os_detect.h"
#include "res/resource.h"
#include "store/settings.h"

namespace {

std::vector<int> Templates(const SheetPageList& list) {
    EXPECT_LE(list.count, kMaxSheetPages);
    std::vector<int> templates;
    for (size_t i = 0; i < list.count && i < kMaxSheetPages; ++i) templates.push_back(list.pages[i].template_id);
    return templates;
}

TEST(ProfileSheetPages, ByNetworkTypeWindowsFamilyAndSoftexPcmcia) {
    const std::vector<int> kAccessPoint = {IDD_BASIC, IDD_ENCRYPTION, IDD_ADVANCED, IDD_ADMIN};
    struct Case {
        uint32_t network_type, os_class, softex_pcmcia;
        std::vector<int> templates;
    } cases[] = {
        {NetAccessPoint, OsWin2000, 0, kAccessPoint},
        {NetAccessPoint, OsWinXP, 0, kAccessPoint},
        {NetAccessPoint, OsWin98, 0, kAccessPoint},
        {NetAccessPoint, OsNT4, 0, {IDD_BASIC, IDD_ENCRYPTION, IDD_ADVANCED, IDD_ADMIN, IDD_ADAPTER}},
        {NetAccessPoint, OsNT4, 1, kAccessPoint},
        {NetResidentialGateway, OsWinXP, 0, {IDD_BASIC}},
        {NetPeerToPeerGroup, OsWin95, 0, {IDD_BASIC}},
        {NetResidentialGateway, OsNT4, 0, {IDD_BASIC, IDD_ADAPTER}},
        {NetPeerToPeerGroup, OsNT4, 0, {IDD_BASIC, IDD_ADAPTER}},
        {NetPeerToPeerGroup, OsNT4, 1, {IDD_BASIC}},
        {NetPeerToPeerGroup, OsNT4, 7, {IDD_BASIC}},
        // Only NT 4.0 itself, not the rest of the NT family, gets the Adapter page.
        {NetAccessPoint, OsNtFamily, 0, kAccessPoint},
        {NetAccessPoint, OsUnknown, 0, kAccessPoint},
        // Types the profile dialog never offers still get the Basic page.
        {NetActAsBaseStation, OsWinXP, 0, {IDD_BASIC}},
        {NetAdHocDemoMode, OsNT4, 0, {IDD_BASIC, IDD_ADAPTER}},
        {0xFFFFFFFF, OsWinXP, 0, {IDD_BASIC}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Templates(ProfileSheetPages(c.network_type, c.os_class, c.softex_pcmcia)), c.templates)
            << "type " << c.network_type << " class " << c.os_class << " softex " << c.softex_pcmcia;
    }
}

TEST(ProfileSheetPages, EachPageHasItsTitle) {
    const SheetPageList list = ProfileSheetPages(NetAccessPoint, OsNT4, 0);
    ASSERT_EQ(list.count, kMaxSheetPages);
    const int titles[] = {IDS_PAGE_BASIC, IDS_PAGE_ENCRYPTION, IDS_PAGE_ADVANCED, IDS_PAGE_ADMIN, IDS_PAGE_ADAPTER};
    for (size_t i = 0; i < list.count; ++i) EXPECT_EQ(list.pages[i].title_id, titles[i]) << i;
}

TEST(ComposeSheetCaption, NamesTheProfileAfterWhatStandsBeforeTheBracket) {
    struct Case {
        const char* current;
        const char* name;
        const char* caption;
    } cases[] = {
        {"Edit Configuration", "Default", "Edit Configuration [Default]"},
        {"Edit Configuration", "Office", "Edit Configuration [Office]"},
        // Titled again: the old name goes with the blank before it.
        {"Edit Configuration [Default]", "Office", "Edit Configuration [Office]"},
        {"Edit Configuration [a] [b]", "c", "Edit Configuration [c]"},
        {"Edit Configuration", "", "Edit Configuration []"},
        {"", "Home", " [Home]"},
        // The character before "[" goes whatever it is; at the very start nothing is kept.
        {"Edit[x]", "y", "Edi [y]"},
        {"[x]", "y", " [y]"},
    };
    for (const Case& c : cases) {
        char caption[kSheetCaptionSize];
        ComposeSheetCaption(c.current, c.name, caption);
        EXPECT_STREQ(caption, c.caption) << c.current << " / " << c.name;
    }
}

TEST(ComposeSheetCaption, ALongCaptionAndNameAreCutToTheBuffer) {
    const std::string current(255, 'c');
    const std::string name(255, 'n');
    struct {
        char caption[kSheetCaptionSize];
        char guard[8];
    } out;
    std::memset(&out, 'x', sizeof out);
    ComposeSheetCaption(current.c_str(), name.c_str(), out.caption);
    EXPECT_EQ(std::string(out.caption), current) << "nothing of the name fits after 255 characters";
    EXPECT_EQ(out.guard[0], 'x') << "written past the buffer";

    char shorter[kSheetCaptionSize];
    ComposeSheetCaption("Edit Configuration", name.c_str(), shorter);
    EXPECT_EQ(std::string(shorter), "Edit Configuration [" + std::string(255 - 20, 'n'));
}

}  // namespace
