#include "ui/property_sheet.h"

#include "core/os_detect.h"
#include "res/resource.h"
#include "store/settings.h"
#include "ui/sheet_contents.h"
#include "ui/window_position.h"

namespace {

constexpr DWORD kPageFlags = PSP_USETITLE | PSP_HASHELP;
constexpr DWORD kSheetFlags = PSH_USEICONID | PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK | PSH_HASHELP;
static_assert(kPageFlags == 0x28 && kSheetFlags == 0x38C);

// The records as the 32-bit product hands them over: a 52-byte header and
// 48-byte page records (the page record form with the header titles and
// without an activation context).
using PageRecord = PROPSHEETPAGEA_V2;
static_assert(sizeof(void*) != 4 || (sizeof(PROPSHEETHEADERA) == 52 && sizeof(PageRecord) == 48));

constexpr uint32_t kProfiles = kProfileCount;

// The profile whose pages the sheet shows: the current one, or profile 1
// while none is (the sheet's title makes it the current one).
uint32_t SheetProfileIndex() {
    return AdapterState.ConfigType >= 1 && AdapterState.ConfigType <= kProfiles ? AdapterState.ConfigType - 1 : 0;
}

DLGPROC PageProcedure(int template_id) {
    (void)template_id;  // each page gets its own procedure when it is built
    return InterimPageProc;
}

}  // namespace

INT_PTR CALLBACK InterimPageProc(HWND, UINT message, WPARAM, LPARAM) noexcept {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

void SetSheetTitle(HWND sheet) {
    if (AdapterState.ConfigType < 1 || AdapterState.ConfigType > kProfiles) AdapterState.ConfigType = 1;
    char current[kSheetCaptionSize] = "";
    GetWindowTextA(sheet, current, sizeof current);
    char caption[kSheetCaptionSize];
    ComposeSheetCaption(current, AdapterState.ConfigName[AdapterState.ConfigType - 1], caption);
    SetWindowTextA(sheet, caption);
}

int CALLBACK ProfileSheetCallback(HWND sheet, UINT message, LPARAM) noexcept {
    if (message == PSCB_INITIALIZED) {
        SetSheetTitle(sheet);
        RestoreWindowPosition(sheet, 1);
    }
    return 0;
}

INT_PTR ShowProfileSheet(HWND owner, HINSTANCE module, LPARAM page_parameter) {
    const SheetPageList list =
        ProfileSheetPages(AdapterState.NetworkType[SheetProfileIndex()], OsClass, AdapterState.SoftexPcmcia);
    PageRecord pages[kMaxSheetPages] = {};
    for (size_t i = 0; i < list.count; ++i) {
        pages[i].dwSize = sizeof(PageRecord);
        pages[i].dwFlags = kPageFlags;
        pages[i].hInstance = module;
        pages[i].pszTemplate = MAKEINTRESOURCEA(list.pages[i].template_id);
        pages[i].pszTitle = MAKEINTRESOURCEA(list.pages[i].title_id);
        pages[i].pfnDlgProc = PageProcedure(list.pages[i].template_id);
        pages[i].lParam = page_parameter;
    }
    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = kSheetFlags;
    header.hwndParent = owner;
    header.hInstance = module;
    header.pszIcon = MAKEINTRESOURCEA(IDI_APPLET);
    header.pszCaption = MAKEINTRESOURCEA(IDS_SHEET_CAPTION);
    header.nPages = static_cast<UINT>(list.count);
    header.nStartPage = 0;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages);
    header.pfnCallback = ProfileSheetCallback;
    return PropertySheetA(&header);
}
