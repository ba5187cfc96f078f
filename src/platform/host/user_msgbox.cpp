// MessageBoxA of the host layer: a modal dialog made in code, as Windows
// makes it: the text in static 0xFFFF, the icon in static 0x14, the buttons
// with the ids they return.
#include <algorithm>
#include <string>

#include "hostctl_user.h"
#include "user_internal.h"

namespace hostwin::user {
namespace {

constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x14;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kGap = 10;
constexpr int kCharWidth = 6;
constexpr int kLineHeight = 13;

struct ButtonSpec {
    int id;
    const char* text;
};

std::vector<ButtonSpec> ButtonsOf(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
        case MB_ABORTRETRYIGNORE:
            return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
        case MB_YESNOCANCEL:
            return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
        case MB_YESNO:
            return {{IDYES, "&Yes"}, {IDNO, "&No"}};
        case MB_RETRYCANCEL:
            return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
        default:
            return {{IDOK, "OK"}};
    }
}

// The box's state, one per box (boxes nest: a box over a box).
struct Box {
    UINT type;
    bool has_cancel;
};

INT_PTR CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(hwnd, DWLP_USER, lp);
            return FALSE;  // the default button has the focus already
        case WM_COMMAND: {
            const auto* box = reinterpret_cast<const Box*>(GetWindowLongPtrA(hwnd, DWLP_USER));
            const int id = LOWORD(wp);
            if (id == IDCANCEL && GetDlgItem(hwnd, IDCANCEL) == nullptr) {
                // Escape closes a box without Cancel only when it has just OK.
                if (box != nullptr && (box->type & MB_TYPEMASK) == MB_OK) EndDialog(hwnd, IDOK);
                return TRUE;
            }
            if (GetDlgItem(hwnd, id) != nullptr) EndDialog(hwnd, id);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

// Lines of the text, for the box's size.
void Measure(const std::string& text, int* columns, int* lines) {
    *columns = 0;
    *lines = 1;
    int current = 0;
    for (char c : text) {
        if (c == '\n') {
            ++*lines;
            current = 0;
        } else if (c != '\r') {
            *columns = std::max(*columns, ++current);
        }
    }
}

}  // namespace
}  // namespace hostwin::user

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    using namespace hostwin::user;
    hostwin::RecordMessageBox(hWnd, lpText, lpCaption, uType);
    if (hostwin::AttachedDesktop() == nullptr) {
        SetLastError(5 /* ERROR_ACCESS_DENIED: no window station */);
        return 0;
    }
    if (hWnd != nullptr && Find(hWnd) == nullptr) {
        SetLastError(1400 /* ERROR_INVALID_WINDOW_HANDLE */);
        return 0;
    }
    const std::string text = lpText != nullptr ? lpText : "";
    const std::string caption = lpCaption != nullptr ? lpCaption : "Error";
    const std::vector<ButtonSpec> buttons = ButtonsOf(uType);
    const bool icon = (uType & MB_ICONMASK) != 0;

    int columns, lines;
    Measure(text, &columns, &lines);
    const int icon_w = icon ? 32 + kGap : 0;
    const int text_w = std::max(columns * kCharWidth, 1);
    const int text_h = lines * kLineHeight;
    const int buttons_w = static_cast<int>(buttons.size()) * (kButtonWidth + kGap) - kGap;
    const int client_w = std::max(kGap + icon_w + text_w + kGap, buttons_w + 2 * kGap);
    const int body_h = std::max(text_h, icon ? 32 : 0);
    const int client_h = kGap + body_h + kGap + kButtonHeight + kGap;

    CreateParams p;
    p.dialog = true;
    p.class_name = "#32770";
    p.text = caption;
    p.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    p.parent = hWnd;
    Window probe;
    probe.kind = Kind::Dialog;
    probe.style = p.style;
    probe.dialog = std::make_unique<DialogData>();
    int frame, caption_h;
    NonClient(&probe, &frame, &caption_h);
    const int width = client_w + 2 * frame, height = client_h + 2 * frame + caption_h;
    const RECT& desk = DesktopWindow().rect;
    const int x = std::max(0, static_cast<int>(desk.right - width) / 2);
    const int y = std::max(0, static_cast<int>(desk.bottom - height) / 2);
    p.rect = {x, y, x + width, y + height};
    const HWND box = Create(p);
    if (box == nullptr) return 0;
    Box state{uType, false};
    Window* w = Find(box);
    w->dialog_words[1] = reinterpret_cast<LONG_PTR>(&BoxProc);

    if (icon) {
        CreateParams ic;
        ic.class_name = "Static";
        ic.style = WS_CHILD | WS_VISIBLE | SS_ICON;
        ic.rect = {kGap, kGap, kGap + 32, kGap + 32};
        ic.parent = box;
        ic.id = kIconId;
        Create(ic);
    }
    CreateParams tc;
    tc.class_name = "Static";
    tc.text = text;
    tc.style = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX;
    tc.rect = {kGap + icon_w, kGap, kGap + icon_w + text_w, kGap + text_h};
    tc.parent = box;
    tc.id = kTextId;
    Create(tc);

    size_t default_index = ((uType & MB_DEFMASK) >> 8);
    if (default_index >= buttons.size()) default_index = 0;
    int bx = (client_w - buttons_w) / 2;
    const int by = kGap + body_h + kGap;
    HWND default_button = nullptr;
    for (size_t i = 0; i < buttons.size(); ++i) {
        CreateParams bc;
        bc.class_name = "Button";
        bc.text = buttons[i].text;
        bc.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0) |
                   (i == default_index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        bc.rect = {bx, by, bx + kButtonWidth, by + kButtonHeight};
        bc.parent = box;
        bc.id = static_cast<UINT_PTR>(buttons[i].id);
        const HWND b = Create(bc);
        if (i == default_index) default_button = b;
        if (buttons[i].id == IDCANCEL) state.has_cancel = true;
        bx += kButtonWidth + kGap;
    }
    w = Find(box);
    w->dialog->default_id = static_cast<UINT>(buttons[default_index].id);
    w->dialog->base_x = 6;
    w->dialog->base_y = 13;
    SendMessageA(box, WM_INITDIALOG, reinterpret_cast<WPARAM>(default_button), reinterpret_cast<LPARAM>(&state));
    w = Find(box);
    if (w == nullptr) return 0;
    w->dialog->modal = true;
    w->dialog->focus = default_button;

    const HWND owner_top = hWnd != nullptr ? TopLevelOf(hWnd) : nullptr;
    const bool reenable = owner_top != nullptr && IsWindowEnabled(owner_top);
    if (reenable) EnableWindow(owner_top, FALSE);
    ShowWindow(box, SW_SHOW);
    if (Find(default_button) != nullptr) DialogSetFocus(box, default_button);
    const INT_PTR result = RunModalLoop(box);
    if (reenable && Find(owner_top) != nullptr) EnableWindow(owner_top, TRUE);
    if (Find(box) != nullptr) DestroyWindow(box);
    return result < 0 ? 0 : static_cast<int>(result);
}
