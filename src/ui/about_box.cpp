#include "ui/about_box.h"

#include "adapter/adapter_info.h"
#include "core/fixed_text.h"
#include "res/resource.h"

namespace {

constexpr char kAppletFileName[] = "SNKES48.CPL";

}  // namespace

INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) noexcept {
    switch (message) {
        case WM_INITDIALOG: {
            // The minor version always has two digits: "SNKES48.CPL Variant 1, Version 6.41".
            char line[kAboutLineSize] = "";
            FormatText(line, "%s Variant %d, Version %d.%02d", kAppletFileName, kAppletVariant, kAppletMajor,
                       kAppletMinor);
            SendDlgItemMessageA(dialog, IDC_ABOUT_VERSION, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(line));
            return FALSE;
        }
        case WM_COMMAND:
            EndDialog(dialog, LOWORD(wparam));
            return TRUE;
    }
    return FALSE;
}

INT_PTR ShowAboutBox(HINSTANCE module, HWND owner) {
    return DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutBoxProc, 0);
}
