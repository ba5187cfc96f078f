// The button, edit and static controls of the host layer, with the
// behaviour dialogs rely on (measured under Wine 8 where the documentation
// is silent): auto radio groups and check boxes, the click sequence with
// its capture, edit limits on typed and pasted text, icons in statics.
#include <algorithm>
#include <cstring>

#include "hostctl_user.h"
#include "resources_internal.h"
#include "user_internal.h"

namespace hostwin::user {
namespace {

// ---- Buttons ---------------------------------------------------------------------

struct ButtonData : ControlData {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool focused = false;
};

ButtonData* ButtonOf(HWND hwnd) {
    Window* w = Find(hwnd);
    return w != nullptr ? static_cast<ButtonData*>(w->control.get()) : nullptr;
}

DWORD ButtonType(HWND hwnd) {
    Window* w = Find(hwnd);
    return w != nullptr ? (w->style & BS_TYPEMASK) : BS_PUSHBUTTON;
}

bool IsCheckType(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

// Unchecks the other auto radio buttons of the group, starting after the
// clicked one.
void UncheckGroup(HWND hwnd) {
    const HWND parent = GetParent(hwnd);
    HWND sibling = GetNextDlgGroupItem(parent, hwnd, FALSE);
    while (sibling != nullptr && sibling != hwnd) {
        if (ButtonType(sibling) == BS_AUTORADIOBUTTON) SendMessageA(sibling, BM_SETCHECK, BST_UNCHECKED, 0);
        const HWND next = GetNextDlgGroupItem(parent, sibling, FALSE);
        if (next == sibling) break;
        sibling = next;
    }
}

// The end of a click (the button released inside, by mouse or Space): the
// automatic state change, the capture given back, then BN_CLICKED.
void Click(HWND hwnd) {
    ButtonData* b = ButtonOf(hwnd);
    if (b == nullptr) return;
    b->pushed = false;
    switch (ButtonType(hwnd)) {
        case BS_AUTOCHECKBOX:
            SendMessageA(hwnd, BM_SETCHECK, b->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
            break;
        case BS_AUTO3STATE:
            SendMessageA(hwnd, BM_SETCHECK, (b->check + 1) % 3, 0);
            break;
        case BS_AUTORADIOBUTTON:
            SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);
            UncheckGroup(hwnd);
            break;
        default:
            break;
    }
    if (GetCapture() == hwnd) ReleaseCapture();
    InvalidateRect(hwnd, nullptr, FALSE);
    NotifyParent(hwnd, BN_CLICKED);
}

UINT ButtonDialogCode(DWORD type) {
    switch (type) {
        case BS_PUSHBUTTON:
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return DLGC_BUTTON;
    }
}

// ---- Edits -----------------------------------------------------------------------------

// What Ctrl+C, Ctrl+X and WM_COPY took, for Ctrl+V and WM_PASTE.
std::string g_clipboard;

// Windows' first limit of a single-line edit.
constexpr size_t kInitialEditLimit = 30000;
constexpr size_t kLargestEditLimit = 0x7FFFFFFE;

struct EditData : ControlData {
    size_t sel_start = 0;
    size_t sel_end = 0;  // the caret
    size_t limit = kInitialEditLimit;
    bool modified = false;
};

EditData* EditOf(HWND hwnd) {
    Window* w = Find(hwnd);
    return w != nullptr ? static_cast<EditData*>(w->control.get()) : nullptr;
}

void NotifyChange(HWND hwnd) {
    NotifyParent(hwnd, EN_UPDATE);
    NotifyParent(hwnd, EN_CHANGE);
    InvalidateRect(hwnd, nullptr, FALSE);
}

// Replaces the selection with `text`, cut to what the limit leaves room for.
// Returns whether anything changed.
bool ReplaceSelection(HWND hwnd, const std::string& text, bool honor_limit) {
    Window* w = Find(hwnd);
    EditData* e = EditOf(hwnd);
    if (w == nullptr || e == nullptr) return false;
    const size_t lo = std::min(e->sel_start, e->sel_end), hi = std::max(e->sel_start, e->sel_end);
    std::string insert = text;
    bool cut = false;
    if (honor_limit) {
        const size_t kept = w->text.size() - (hi - lo);
        const size_t room = e->limit > kept ? e->limit - kept : 0;
        if (insert.size() > room) {
            insert.resize(room);
            cut = true;
        }
    }
    const bool changed = hi > lo || !insert.empty();
    w->text.replace(lo, hi - lo, insert);
    e->sel_start = e->sel_end = lo + insert.size();
    if (changed) {
        e->modified = true;
        NotifyChange(hwnd);
    }
    if (cut) NotifyParent(hwnd, EN_MAXTEXT);
    return changed;
}

void DeleteAround(HWND hwnd, bool before) {
    Window* w = Find(hwnd);
    EditData* e = EditOf(hwnd);
    if (e->sel_start != e->sel_end) {
        ReplaceSelection(hwnd, "", false);
        return;
    }
    if (before && e->sel_end > 0) {
        e->sel_start = e->sel_end - 1;
    } else if (!before && e->sel_end < w->text.size()) {
        e->sel_end = e->sel_end + 1;
    } else {
        return;
    }
    ReplaceSelection(hwnd, "", false);
}

void MoveCaret(HWND hwnd, size_t to, bool extend) {
    Window* w = Find(hwnd);
    EditData* e = EditOf(hwnd);
    to = std::min(to, w->text.size());
    e->sel_end = to;
    if (!extend) e->sel_start = to;
    InvalidateRect(hwnd, nullptr, FALSE);
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = Find(hwnd);
    if (w == nullptr) return 0;
    if (msg == WM_NCCREATE) {
        w->control = std::make_unique<ButtonData>();
        return TRUE;
    }
    ButtonData* b = ButtonOf(hwnd);
    if (b == nullptr) return DefWindowProcA(hwnd, msg, wp, lp);
    const DWORD type = w->style & BS_TYPEMASK;
    switch (msg) {
        case WM_GETDLGCODE:
            return ButtonDialogCode(type);
        case BM_GETCHECK:
            return IsCheckType(type) ? b->check : BST_UNCHECKED;
        case BM_SETCHECK: {
            if (!IsCheckType(type)) return 0;
            UINT state = static_cast<UINT>(wp);
            if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
                state = state != 0 ? BST_CHECKED : BST_UNCHECKED;
                // Only the checked button of a radio group is a tab stop.
                w->style = state ? (w->style | WS_TABSTOP) : (w->style & ~WS_TABSTOP);
            } else if (state > BST_INDETERMINATE) {
                state = BST_CHECKED;
            } else if (state == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) {
                state = BST_CHECKED;
            }
            b->check = state;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case BM_GETSTATE:
            return (IsCheckType(type) ? b->check : 0) | (b->pushed ? BST_PUSHED : 0) | (b->focused ? BST_FOCUS : 0);
        case BM_SETSTATE:
            b->pushed = wp != 0;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case BM_SETSTYLE:
            w->style = (w->style & ~BS_TYPEMASK) | (static_cast<DWORD>(wp) & BS_TYPEMASK);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case BM_CLICK:
            // As on Windows, a disabled button is clicked too: the message
            // comes from the program, not the mouse.
            SendMessageA(hwnd, WM_LBUTTONDOWN, 1, 0);
            SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (type == BS_GROUPBOX) return 0;
            if (GetFocus() != hwnd) SetFocus(hwnd);
            SetCapture(hwnd);
            b = ButtonOf(hwnd);
            if (b != nullptr) b->pushed = true;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_LBUTTONUP: {
            if (GetCapture() != hwnd) return 0;
            RECT client;
            GetClientRect(hwnd, &client);
            const int x = static_cast<SHORT>(LOWORD(lp)), y = static_cast<SHORT>(HIWORD(lp));
            const bool inside = x >= client.left && x < client.right && y >= client.top && y < client.bottom;
            if (inside && b->pushed) {
                Click(hwnd);
            } else {
                b->pushed = false;
                ReleaseCapture();
            }
            return 0;
        }
        case WM_KEYDOWN:
            if (wp == VK_SPACE && type != BS_GROUPBOX && !b->pushed) {
                b->pushed = true;
                SetCapture(hwnd);
                InvalidateRect(hwnd, nullptr, FALSE);
                return 0;
            }
            return DefWindowProcA(hwnd, msg, wp, lp);
        case WM_KEYUP:
            if (wp == VK_SPACE && b->pushed && GetCapture() == hwnd) Click(hwnd);
            return 0;
        case WM_CAPTURECHANGED:
            if (b->pushed) {
                b->pushed = false;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            return 0;
        case WM_SETFOCUS:
            b->focused = true;
            InvalidateRect(hwnd, nullptr, FALSE);
            if (w->style & BS_NOTIFY) NotifyParent(hwnd, BN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            b->focused = false;
            if (b->pushed && GetCapture() == hwnd) ReleaseCapture();
            InvalidateRect(hwnd, nullptr, FALSE);
            if (w->style & BS_NOTIFY) NotifyParent(hwnd, BN_KILLFOCUS);
            return 0;
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = Find(hwnd);
    if (w == nullptr) return 0;
    if (msg == WM_NCCREATE) {
        w->control = std::make_unique<EditData>();
        return TRUE;
    }
    EditData* e = EditOf(hwnd);
    if (e == nullptr) return DefWindowProcA(hwnd, msg, wp, lp);
    const bool read_only = (w->style & ES_READONLY) != 0;
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        case WM_SETTEXT:
            // Text set by the program is taken whole, past the limit too; the
            // caret goes to the start.
            w->text = lp != 0 ? reinterpret_cast<const char*>(lp) : "";
            e->sel_start = e->sel_end = 0;
            e->modified = false;
            NotifyChange(hwnd);
            return TRUE;
        case WM_CHAR: {
            const auto ch = static_cast<unsigned char>(wp);
            if (ch == VK_BACK) {
                if (!read_only) DeleteAround(hwnd, true);
                return 0;
            }
            switch (ch) {
                case 0x03:  // Ctrl+C
                    SendMessageA(hwnd, WM_COPY, 0, 0);
                    return 0;
                case 0x16:  // Ctrl+V
                    SendMessageA(hwnd, WM_PASTE, 0, 0);
                    return 0;
                case 0x18:  // Ctrl+X
                    SendMessageA(hwnd, WM_CUT, 0, 0);
                    return 0;
                default:
                    break;
            }
            if (ch < 0x20 || ch == 0x7F || read_only) return 0;
            ReplaceSelection(hwnd, std::string(1, static_cast<char>(ch)), true);
            return 0;
        }
        case WM_KEYDOWN: {
            const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
            switch (wp) {
                case VK_LEFT:
                    MoveCaret(hwnd, e->sel_end > 0 ? e->sel_end - 1 : 0, shift);
                    return 0;
                case VK_RIGHT:
                    MoveCaret(hwnd, e->sel_end + 1, shift);
                    return 0;
                case VK_HOME:
                    MoveCaret(hwnd, 0, shift);
                    return 0;
                case VK_END:
                    MoveCaret(hwnd, w->text.size(), shift);
                    return 0;
                case VK_DELETE:
                    if (!read_only) DeleteAround(hwnd, false);
                    return 0;
                default:
                    return DefWindowProcA(hwnd, msg, wp, lp);
            }
        }
        case EM_GETSEL: {
            const size_t lo = std::min(e->sel_start, e->sel_end), hi = std::max(e->sel_start, e->sel_end);
            if (wp != 0) *reinterpret_cast<DWORD*>(wp) = static_cast<DWORD>(lo);
            if (lp != 0) *reinterpret_cast<DWORD*>(lp) = static_cast<DWORD>(hi);
            return MAKELONG(std::min<size_t>(lo, 0xFFFF), std::min<size_t>(hi, 0xFFFF));
        }
        case EM_SETSEL: {
            const size_t len = w->text.size();
            const auto start = static_cast<INT_PTR>(static_cast<int>(wp));
            const auto end = static_cast<INT_PTR>(static_cast<int>(lp));
            if (start == -1) {
                e->sel_start = e->sel_end;
            } else {
                e->sel_start = static_cast<size_t>(std::clamp<INT_PTR>(start, 0, static_cast<INT_PTR>(len)));
                e->sel_end = end < 0 ? len : static_cast<size_t>(std::min<INT_PTR>(end, static_cast<INT_PTR>(len)));
            }
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case EM_REPLACESEL:
            ReplaceSelection(hwnd, lp != 0 ? reinterpret_cast<const char*>(lp) : "", true);
            return 0;
        case EM_LIMITTEXT:
            e->limit = wp == 0 ? kLargestEditLimit : static_cast<size_t>(wp);
            return 0;
        case EM_GETLIMITTEXT:
            return static_cast<LRESULT>(e->limit);
        case EM_GETMODIFY:
            return e->modified ? TRUE : FALSE;
        case EM_SETMODIFY:
            e->modified = wp != 0;
            return 0;
        case EM_SETREADONLY:
            w->style = wp ? (w->style | ES_READONLY) : (w->style & ~ES_READONLY);
            return TRUE;
        case WM_COPY:
        case WM_CUT: {
            const size_t lo = std::min(e->sel_start, e->sel_end), hi = std::max(e->sel_start, e->sel_end);
            if (hi > lo && !(w->style & ES_PASSWORD)) g_clipboard = w->text.substr(lo, hi - lo);
            if (msg == WM_CUT && !read_only) ReplaceSelection(hwnd, "", false);
            return 0;
        }
        case WM_PASTE:
            if (!read_only) ReplaceSelection(hwnd, g_clipboard, true);
            return 0;
        case WM_CLEAR:
            if (!read_only) ReplaceSelection(hwnd, "", false);
            return 0;
        case WM_LBUTTONDOWN: {
            if (GetFocus() != hwnd) SetFocus(hwnd);
            // The caret goes where the click was, a character being six
            // pixels wide.
            const int x = static_cast<SHORT>(LOWORD(lp));
            MoveCaret(hwnd, static_cast<size_t>(std::max(0, (x + 3) / 6)), false);
            return 0;
        }
        case WM_SETFOCUS:
            InvalidateRect(hwnd, nullptr, FALSE);
            NotifyParent(hwnd, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            InvalidateRect(hwnd, nullptr, FALSE);
            NotifyParent(hwnd, EN_KILLFOCUS);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = Find(hwnd);
    if (w == nullptr) return 0;
    const bool icon = (w->style & SS_TYPEMASK) == SS_ICON;
    switch (msg) {
        case WM_NCCREATE:
            if (icon && CreateOrdinal::Current() != 0) {
                w->icons[1] = LoadIconA(w->instance, MAKEINTRESOURCEA(CreateOrdinal::Current()));
                w->text.clear();
            }
            return TRUE;
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        case STM_SETICON: {
            HICON old = w->icons[1];
            w->icons[1] = reinterpret_cast<HICON>(wp);
            InvalidateRect(hwnd, nullptr, FALSE);
            return reinterpret_cast<LRESULT>(old);
        }
        case STM_GETICON:
            return reinterpret_cast<LRESULT>(w->icons[1]);
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

}  // namespace hostwin::user

namespace hostwin {

void SetClipboardText(const std::string& text) {
    user::g_clipboard = text;
}

std::string ClipboardText() {
    return user::g_clipboard;
}

}  // namespace hostwin
