#include "ui/sheet_contents.h"

#include <cstring>

#include "core/os_detect.h"
#include "res/resource.h"
#include "store/settings.h"

namespace {

constexpr SheetPageEntry kBasic = {IDD_BASIC, IDS_PAGE_BASIC};
constexpr SheetPageEntry kEncryption = {IDD_ENCRYPTION, IDS_PAGE_ENCRYPTION};
constexpr SheetPageEntry kAdvanced = {IDD_ADVANCED, IDS_PAGE_ADVANCED};
constexpr SheetPageEntry kAdmin = {IDD_ADMIN, IDS_PAGE_ADMIN};
constexpr SheetPageEntry kAdapter = {IDD_ADAPTER, IDS_PAGE_ADAPTER};

// Appends `text` to `caption` at `*length`, as much as fits.
void Append(char (&caption)[kSheetCaptionSize], size_t* length, const char* text) {
    for (; *text != '\0' && *length + 1 < kSheetCaptionSize; ++text) caption[(*length)++] = *text;
    caption[*length] = '\0';
}

}  // namespace

SheetPageList ProfileSheetPages(uint32_t network_type, uint32_t os_class, uint32_t softex_pcmcia) {
    SheetPageList list = {};
    // Every type the sheet is opened for (0, 1, 2) has the Basic page.
    list.pages[list.count++] = kBasic;
    if (network_type == NetAccessPoint) {
        list.pages[list.count++] = kEncryption;
        list.pages[list.count++] = kAdvanced;
        list.pages[list.count++] = kAdmin;
    }
    if (softex_pcmcia == 0 && os_class == OsNT4) list.pages[list.count++] = kAdapter;
    return list;
}

void ComposeSheetCaption(const char* current, const char* name, char (&caption)[kSheetCaptionSize]) {
    size_t keep = std::strlen(current);
    const char* bracket = std::strchr(current, '[');
    // Cut at the character before the first "[": the blank of " [".
    if (bracket != nullptr) keep = bracket == current ? 0 : static_cast<size_t>(bracket - current) - 1;
    if (keep >= kSheetCaptionSize) keep = kSheetCaptionSize - 1;
    std::memcpy(caption, current, keep);
    caption[keep] = '\0';
    size_t length = keep;
    Append(caption, &length, " [");
    Append(caption, &length, name);
    Append(caption, &length, "]");
}
