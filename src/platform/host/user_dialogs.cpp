// Dialogs of the host layer: windows and controls made from the binary
// templates, the default dialog procedure, the dialog manager (Tab, arrows,
// Enter, Escape, mnemonics) and the modal loop.
#include <algorithm>
#include <cstring>

#include "dialog_template.h"
#include "hostctl_user.h"
#include "resources_internal.h"
#include "user_internal.h"

namespace hostwin::user {
namespace {

constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorResourceNameNotFound = 1814;
// Without a desktop nothing can be shown: the window station refuses the
// window.
constexpr DWORD kErrorNoDesktop = 5;  // ERROR_ACCESS_DENIED

// An in-memory template passed to the Indirect calls has no size; trust
// the caller up to this many bytes, as Windows trusts it entirely.
constexpr size_t kIndirectTemplateSize = 0x10000;

int MulDivDown(int value, int numerator, int denominator) {
    // As Windows' MulDiv, rounded half away from zero.
    const long long p = static_cast<long long>(value) * numerator;
    return static_cast<int>(p >= 0 ? (p + denominator / 2) / denominator : -((-p + denominator / 2) / denominator));
}

bool SameFace(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Average character width and height of a dialog font, in pixels, at 96
// dots per inch. "MS Sans Serif" 8 is the classic 6 x 13.
void BaseUnits(const DialogTemplate& t, int* x, int* y) {
    if (!(t.style & DS_SETFONT) || t.point_size == 0) {
        *x = 8;
        *y = 16;
        return;
    }
    const bool classic = SameFace(t.face, "MS Sans Serif") || SameFace(t.face, "MS Shell Dlg") ||
                         SameFace(t.face, "MS Shell Dlg 2") || SameFace(t.face, "Tahoma");
    const int height = MulDivDown(t.point_size, 13, 8);
    *y = height;
    *x = classic ? MulDivDown(t.point_size, 6, 8) : std::max(1, MulDivDown(height, 4, 9));
}

const char* ClassOfOrdinal(uint16_t ordinal) {
    switch (ordinal) {
        case 0x80:
            return "Button";
        case 0x81:
            return "Edit";
        case 0x82:
            return "Static";
        case 0x83:
            return "ListBox";
        case 0x84:
            return "ScrollBar";
        case 0x85:
            return "ComboBox";
        default:
            return "";
    }
}

// Controls in the order the dialog manager walks them: children in z-order,
// a control parent (a property sheet page) replaced by its own controls.
void Walk(HWND parent, std::vector<HWND>* out) {
    Window* w = Find(parent);
    if (w == nullptr) return;
    for (HWND c : w->children) {
        Window* cw = Find(c);
        if (cw == nullptr) continue;
        if (cw->ex_style & WS_EX_CONTROLPARENT) {
            if ((cw->style & WS_VISIBLE) && !(cw->style & WS_DISABLED)) Walk(c, out);
        } else {
            out->push_back(c);
        }
    }
}

bool Usable(HWND hwnd) {
    Window* w = Find(hwnd);
    return w != nullptr && IsWindowVisible(hwnd) && !(w->style & WS_DISABLED);
}

bool IsTabStop(HWND hwnd) {
    Window* w = Find(hwnd);
    return w != nullptr && (w->style & WS_TABSTOP) && Usable(hwnd);
}

UINT DialogCode(HWND hwnd, const MSG* msg = nullptr) {
    return static_cast<UINT>(SendMessageA(hwnd, WM_GETDLGCODE, msg != nullptr ? msg->wParam : 0,
                                          reinterpret_cast<LPARAM>(msg)));
}

bool IsAutoRadio(HWND hwnd) {
    Window* w = Find(hwnd);
    return w != nullptr && w->kind == Kind::Button && (w->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
}

bool IsRadio(HWND hwnd) {
    Window* w = Find(hwnd);
    if (w == nullptr || w->kind != Kind::Button) return false;
    const DWORD type = w->style & BS_TYPEMASK;
    return type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON;
}

// The buttons of a dialog and of its pages.
void PushButtons(HWND dialog, std::vector<HWND>* out) {
    std::vector<HWND> all;
    Walk(dialog, &all);
    for (HWND h : all) {
        Window* w = Find(h);
        if (w == nullptr || w->kind != Kind::Button) continue;
        const DWORD type = w->style & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) out->push_back(h);
    }
}

// The focus on a push button makes it the default one; elsewhere the
// dialog's default button is the default again.
void FixDefaultButton(HWND dialog, HWND focus) {
    Window* d = Find(dialog);
    if (d == nullptr || !d->dialog) return;
    std::vector<HWND> buttons;
    PushButtons(dialog, &buttons);
    HWND wanted = nullptr;
    if (std::find(buttons.begin(), buttons.end(), focus) != buttons.end()) {
        wanted = focus;
    } else if (d->dialog->default_id != 0) {
        wanted = GetDlgItem(dialog, static_cast<int>(d->dialog->default_id));
    }
    for (HWND b : buttons) {
        Window* w = Find(b);
        if (w == nullptr) continue;
        const bool is_default = (w->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        if ((b == wanted) != is_default)
            SendMessageA(b, BM_SETSTYLE, b == wanted ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
}

// The checked button of a radio group, for Tab into the group.
HWND CheckedInGroup(HWND dialog, HWND radio) {
    HWND h = radio;
    do {
        if (IsRadio(h) && SendMessageA(h, BM_GETCHECK, 0, 0) == BST_CHECKED) return h;
        h = GetNextDlgGroupItem(dialog, h, FALSE);
    } while (h != nullptr && h != radio);
    return radio;
}

HWND MnemonicTarget(HWND dialog, HWND focus, char ch) {
    std::vector<HWND> all;
    Walk(dialog, &all);
    if (all.empty()) return nullptr;
    size_t start = 0;
    auto it = std::find(all.begin(), all.end(), focus);
    if (it != all.end()) start = static_cast<size_t>(it - all.begin()) + 1;
    for (size_t n = 0; n < all.size(); ++n) {
        const HWND h = all[(start + n) % all.size()];
        Window* w = Find(h);
        if (w == nullptr || !IsWindowVisible(h)) continue;
        if (w->kind == Kind::Static && (w->style & SS_NOPREFIX)) continue;
        if (w->kind != Kind::Static && w->kind != Kind::Button) continue;
        if (!HasMnemonic(w->text, ch)) continue;
        return h;
    }
    return nullptr;
}

// Alt+letter, or a letter where the focus takes no characters: the control
// whose text underlines it. A label passes on to the control behind it.
bool HandleMnemonic(HWND dialog, HWND focus, char ch) {
    HWND target = MnemonicTarget(dialog, focus, ch);
    if (target == nullptr) return false;
    Window* w = Find(target);
    const bool label = w->kind == Kind::Static || (w->style & BS_TYPEMASK) == BS_GROUPBOX;
    if (label) {
        std::vector<HWND> all;
        Walk(dialog, &all);
        auto it = std::find(all.begin(), all.end(), target);
        for (++it; it != all.end(); ++it) {
            Window* x = Find(*it);
            if (x == nullptr || x->kind == Kind::Static || !Usable(*it)) continue;
            if ((x->style & BS_TYPEMASK) == BS_GROUPBOX && x->kind == Kind::Button) continue;
            DialogSetFocus(dialog, *it);
            return true;
        }
        return true;
    }
    if (!Usable(target)) return true;
    SendMessageA(target, BM_CLICK, 0, 0);
    return true;
}

void PressEnter(HWND dialog) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(dialog, focus) && (DialogCode(focus) & DLGC_DEFPUSHBUTTON)) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED), reinterpret_cast<LPARAM>(focus));
        return;
    }
    const auto def = static_cast<DWORD>(SendMessageA(dialog, DM_GETDEFID, 0, 0));
    if (HIWORD(def) == DC_HASDEFID) {
        const HWND button = GetDlgItem(dialog, LOWORD(def));
        if (button == nullptr || IsWindowEnabled(button))
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(LOWORD(def), BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return;
    }
    SendMessageA(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

LRESULT DefaultDialogProcessing(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = Find(hwnd);
    DialogData* d = w->dialog.get();
    switch (msg) {
        case WM_CLOSE:
            PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
            return 0;
        case DM_GETDEFID:
            return d->default_id != 0 ? MAKELONG(d->default_id, DC_HASDEFID) : 0;
        case DM_SETDEFID:
            d->default_id = static_cast<UINT>(wp);
            FixDefaultButton(hwnd, GetFocus());
            return TRUE;
        case WM_NEXTDLGCTL: {
            HWND target;
            if (LOWORD(lp)) {
                target = reinterpret_cast<HWND>(wp);
            } else {
                target = GetNextDlgTabItem(hwnd, GetFocus(), wp != 0);
            }
            DialogSetFocus(hwnd, target);
            return 0;
        }
        case WM_SETFOCUS: {
            HWND f = d->focus;
            if (Find(f) == nullptr || !Usable(f)) f = GetNextDlgTabItem(hwnd, nullptr, FALSE);
            if (f != nullptr) DialogSetFocus(hwnd, f);
            return 0;
        }
        case WM_ACTIVATE:
        case WM_SHOWWINDOW:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

bool ReturnsResultDirectly(UINT msg) {
    switch (msg) {
        case WM_INITDIALOG:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
    }
}

bool FindDialogBytes(HINSTANCE instance, LPCSTR name, const void** data, size_t* size) {
    if (!FindResourceBytes(instance, MAKEINTRESOURCEA(5) /* RT_DIALOG */, name, data, size)) {
        SetLastError(kErrorResourceNameNotFound);
        return false;
    }
    return true;
}

INT_PTR RunDialog(HINSTANCE instance, const void* bytes, size_t size, HWND owner, DLGPROC proc, LPARAM param) {
    if (AttachedDesktop() == nullptr) {
        SetLastError(kErrorNoDesktop);
        return -1;
    }
    if (owner != nullptr && Find(owner) == nullptr) {
        SetLastError(kErrorInvalidWindowHandle);
        return -1;
    }
    const HWND owner_top = owner != nullptr ? TopLevelOf(owner) : nullptr;
    const HWND hwnd = CreateDialogFromBytes(instance, bytes, size, owner, proc, param);
    if (hwnd == nullptr) return -1;
    Window* w = Find(hwnd);
    w->dialog->modal = true;
    const bool reenable = owner_top != nullptr && owner_top != GetDesktopWindow() && IsWindowEnabled(owner_top);
    if (reenable) EnableWindow(owner_top, FALSE);
    if (!w->dialog->ended) ShowWindow(hwnd, SW_SHOW);
    const INT_PTR result = RunModalLoop(hwnd);
    if (reenable && Find(owner_top) != nullptr) EnableWindow(owner_top, TRUE);
    if (Find(hwnd) != nullptr) DestroyWindow(hwnd);
    return result;
}

}  // namespace

HWND CreateDialogFromBytes(HINSTANCE instance, const void* bytes, size_t size, HWND parent, DLGPROC proc,
                           LPARAM param, DWORD style_or, DWORD style_and_not, DWORD ex_style_or) {
    DialogTemplate t;
    std::string error;
    if (bytes == nullptr || !ParseDialogTemplate(bytes, size, &t, &error)) {
        SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    const DWORD style = (t.style | style_or) & ~style_and_not;
    int bx, by;
    BaseUnits(t, &bx, &by);
    const auto px = [&](int v) { return MulDivDown(v, bx, 4); };
    const auto py = [&](int v) { return MulDivDown(v, by, 8); };

    CreateParams p;
    p.dialog = true;
    p.class_name = "#32770";
    p.text = t.title;
    p.style = style & ~WS_VISIBLE;
    p.ex_style = t.ex_style | ex_style_or;
    p.parent = parent;
    p.instance = instance;
    p.param = reinterpret_cast<LPVOID>(param);
    // The client area is the template's size; the frame comes around it.
    Window probe;
    probe.kind = Kind::Dialog;
    probe.style = p.style;
    probe.ex_style = p.ex_style;
    probe.dialog = std::make_unique<DialogData>();
    int frame, caption;
    NonClient(&probe, &frame, &caption);
    const int width = px(t.cx) + 2 * frame;
    const int height = py(t.cy) + 2 * frame + caption;
    int x = px(t.x), y = py(t.y);
    const bool child = (style & WS_CHILD) != 0;
    if (!child) {
        Window& desk = DesktopWindow();
        const int screen_w = desk.rect.right, screen_h = desk.rect.bottom;
        Window* owner = Find(parent != nullptr ? TopLevelOf(parent) : nullptr);
        if (style & DS_CENTER) {
            RECT area = {0, 0, screen_w, screen_h};
            if (owner != nullptr && owner->kind != Kind::Desktop) GetWindowRect(owner->handle, &area);
            x = area.left + (area.right - area.left - width) / 2;
            y = area.top + (area.bottom - area.top - height) / 2;
        } else if (!(style & DS_ABSALIGN) && owner != nullptr && owner->kind != Kind::Desktop) {
            RECT client;
            GetClientRect(owner->handle, &client);
            POINT o = {0, 0};
            ClientToScreen(owner->handle, &o);
            x += o.x;
            y += o.y;
        }
        // Kept on the screen.
        x = std::max(0, std::min(x, screen_w - width));
        y = std::max(0, std::min(y, screen_h - height));
    }
    p.rect = {x, y, x + width, y + height};
    const HWND hwnd = Create(p);
    if (hwnd == nullptr) return nullptr;
    Window* w = Find(hwnd);
    w->dialog_words[1] = reinterpret_cast<LONG_PTR>(proc);
    w->dialog->base_x = bx;
    w->dialog->base_y = by;

    for (const DialogItemTemplate& item : t.items) {
        CreateParams c;
        c.class_name = item.class_ordinal != 0 ? ClassOfOrdinal(item.class_ordinal) : item.class_name;
        c.text = item.title;
        c.text_ordinal = item.title_ordinal;
        c.style = item.style | WS_CHILD;
        c.ex_style = item.ex_style;
        const int ix = px(item.x), iy = py(item.y);
        c.rect = {ix, iy, ix + px(item.cx), iy + py(item.cy)};
        c.parent = hwnd;
        c.id = item.id;
        c.instance = instance;
        c.param = item.creation_data.empty() ? nullptr : const_cast<uint8_t*>(item.creation_data.data());
        const HWND control = Create(c);
        if (control == nullptr) {
            if (style & DS_NOFAILCREATE) continue;
            DestroyWindow(hwnd);
            return nullptr;
        }
        Window* cw = Find(control);
        if (cw->kind == Kind::Button && (cw->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON && w->dialog->default_id == 0)
            w->dialog->default_id = static_cast<UINT>(item.id);
    }

    const HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE);
    const LRESULT set_focus = SendMessageA(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    w = Find(hwnd);
    if (w == nullptr) return nullptr;
    if (set_focus) {
        const HWND target = GetNextDlgTabItem(hwnd, nullptr, FALSE);
        if (target != nullptr) {
            w->dialog->focus = target;
            if (!child || IsWindowVisible(hwnd)) DialogSetFocus(hwnd, target);
        }
    }
    if ((t.style | style_or) & ~style_and_not & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

INT_PTR RunModalLoop(HWND dialog, MessageFilter filter) {
    for (;;) {
        Window* w = Find(dialog);
        if (w == nullptr || !w->dialog) return -1;
        if (w->dialog->ended) return w->dialog->result;
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return -1;
            }
            if (filter != nullptr && filter(dialog, &msg)) continue;
            if (!IsDialogMessageA(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            CollectGarbage();
            continue;
        }
        hostwin::Desktop* desktop = AttachedDesktop();
        if (desktop == nullptr || !desktop->Idle(dialog)) return -1;
        CollectGarbage();
    }
}

void DialogSetFocus(HWND dialog, HWND control) {
    if (Find(control) == nullptr) return;
    if (DialogCode(control) & DLGC_HASSETSEL) SendMessageA(control, EM_SETSEL, 0, -1);
    SetFocus(control);
    HWND top = dialog;
    while (Window* w = Find(top)) {
        if (!(w->style & WS_CHILD) || !(w->ex_style & WS_EX_CONTROLPARENT)) break;
        top = w->parent;
    }
    FixDefaultButton(top, control);
}

LRESULT CALLBACK DialogClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefDlgProcA(hwnd, msg, wp, lp);
}

}  // namespace hostwin::user

using hostwin::user::Find;
using hostwin::user::Kind;
using hostwin::user::Window;

LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(hDlg);
    if (w == nullptr) return 0;
    if (!w->dialog) return DefWindowProcA(hDlg, Msg, wParam, lParam);
    const auto proc = reinterpret_cast<DLGPROC>(w->dialog_words[1]);
    w->dialog_words[0] = 0;
    const INT_PTR result = proc != nullptr ? proc(hDlg, Msg, wParam, lParam) : 0;
    w = Find(hDlg);
    if (w == nullptr) return result;
    if (!result) return hostwin::user::DefaultDialogProcessing(hDlg, Msg, wParam, lParam);
    if (hostwin::user::ReturnsResultDirectly(Msg)) return result;
    return w->dialog_words[0];
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
    const void* bytes = nullptr;
    size_t size = 0;
    if (!hostwin::user::FindDialogBytes(hInstance, lpTemplateName, &bytes, &size)) return -1;
    return hostwin::user::RunDialog(hInstance, bytes, size, hWndParent, lpDialogFunc, dwInitParam);
}

INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE hInstance, const void* hDialogTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    return hostwin::user::RunDialog(hInstance, hDialogTemplate, hostwin::user::kIndirectTemplateSize, hWndParent,
                                    lpDialogFunc, dwInitParam);
}

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
    const void* bytes = nullptr;
    size_t size = 0;
    if (!hostwin::user::FindDialogBytes(hInstance, lpTemplateName, &bytes, &size)) return nullptr;
    return hostwin::user::CreateDialogFromBytes(hInstance, bytes, size, hWndParent, lpDialogFunc, dwInitParam);
}

HWND WINAPI CreateDialogIndirectParamA(HINSTANCE hInstance, const void* lpTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    return hostwin::user::CreateDialogFromBytes(hInstance, lpTemplate, hostwin::user::kIndirectTemplateSize,
                                                hWndParent, lpDialogFunc, dwInitParam);
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    Window* w = Find(hDlg);
    if (w == nullptr || !w->dialog) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return FALSE;
    }
    w->dialog->ended = true;
    w->dialog->result = nResult;
    if (w->dialog->modal) {
        ShowWindow(hDlg, SW_HIDE);
        PostMessageA(hDlg, WM_NULL, 0, 0);
    }
    return TRUE;
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    using namespace hostwin::user;
    if (Find(hDlg) == nullptr || lpMsg == nullptr) return FALSE;
    if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
    const HWND target = lpMsg->hwnd;
    switch (lpMsg->message) {
        case WM_KEYDOWN: {
            const UINT code = DialogCode(target, lpMsg);
            if (code & DLGC_WANTMESSAGE) break;
            switch (lpMsg->wParam) {
                case VK_TAB:
                    if (code & DLGC_WANTTAB) break;
                    {
                        HWND next = GetNextDlgTabItem(hDlg, target, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
                        if (next != nullptr && IsRadio(next)) next = CheckedInGroup(GetParent(next), next);
                        if (next != nullptr) DialogSetFocus(hDlg, next);
                    }
                    return TRUE;
                case VK_LEFT:
                case VK_UP:
                case VK_RIGHT:
                case VK_DOWN:
                    if (code & DLGC_WANTARROWS) break;
                    {
                        const bool back = lpMsg->wParam == VK_LEFT || lpMsg->wParam == VK_UP;
                        const HWND next = GetNextDlgGroupItem(GetParent(target), target, back);
                        if (next != nullptr && next != target) {
                            DialogSetFocus(hDlg, next);
                            if (IsAutoRadio(next)) SendMessageA(next, BM_CLICK, 0, 0);
                        }
                    }
                    return TRUE;
                case VK_RETURN:
                    PressEnter(hDlg);
                    return TRUE;
                case VK_ESCAPE:
                    SendMessageA(hDlg, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
                    return TRUE;
                default:
                    break;
            }
            break;
        }
        case WM_CHAR: {
            const UINT code = DialogCode(target, lpMsg);
            if (code & (DLGC_WANTCHARS | DLGC_WANTMESSAGE)) break;
            if (lpMsg->wParam == '\t' && (code & DLGC_WANTTAB)) break;
            if (lpMsg->wParam > ' ' && HandleMnemonic(hDlg, target, static_cast<char>(lpMsg->wParam))) return TRUE;
            break;
        }
        case WM_SYSCHAR:
            if (HandleMnemonic(hDlg, target, static_cast<char>(lpMsg->wParam))) return TRUE;
            break;
        default:
            break;
    }
    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    Window* w = Find(hDlg);
    if (w == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return nullptr;
    }
    for (HWND c : w->children) {
        Window* cw = Find(c);
        if (cw != nullptr && static_cast<int>(static_cast<WORD>(cw->id)) == static_cast<int>(static_cast<WORD>(nIDDlgItem)))
            return c;
    }
    SetLastError(1421 /* ERROR_CONTROL_ID_NOT_FOUND */);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
    Window* w = Find(hWnd);
    if (w == nullptr || !(w->style & WS_CHILD)) return 0;
    return static_cast<int>(w->id);
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    const HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item != nullptr ? SetWindowTextA(item, lpString) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString != nullptr && cchMax > 0) lpString[0] = '\0';
    const HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (item == nullptr) return 0;
    return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

BOOL WINAPI SetDlgItemInt(HWND hDlg, int nIDDlgItem, UINT uValue, BOOL bSigned) {
    char text[16];
    if (bSigned) {
        wsprintfA(text, "%d", static_cast<int>(uValue));
    } else {
        wsprintfA(text, "%u", uValue);
    }
    return SetDlgItemTextA(hDlg, nIDDlgItem, text);
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item != nullptr ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    if (Find(hDlg) == nullptr) return FALSE;
    for (int id = nIDFirstButton; id <= nIDLastButton; ++id)
        SendDlgItemMessageA(hDlg, id, BM_SETCHECK, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    const HWND item = GetDlgItem(hDlg, nIDButton);
    if (item == nullptr) return FALSE;
    SendMessageA(item, BM_SETCHECK, uCheck, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    return static_cast<UINT>(SendDlgItemMessageA(hDlg, nIDButton, BM_GETCHECK, 0, 0));
}

HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    using namespace hostwin::user;
    std::vector<HWND> all;
    Walk(hDlg, &all);
    if (all.empty()) return nullptr;
    const size_t n = all.size();
    auto it = std::find(all.begin(), all.end(), hCtl);
    if (hCtl == nullptr || it == all.end()) {
        for (size_t i = 0; i < n; ++i) {
            const HWND h = all[bPrevious ? n - 1 - i : i];
            if (IsTabStop(h)) return h;
        }
        return nullptr;
    }
    const size_t at = static_cast<size_t>(it - all.begin());
    for (size_t step = 1; step <= n; ++step) {
        const size_t i = bPrevious ? (at + n - step) % n : (at + step) % n;
        if (IsTabStop(all[i])) return all[i];
    }
    return hCtl;
}

HWND WINAPI GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
    using namespace hostwin::user;
    Window* c = Find(hCtl);
    if (c == nullptr) return GetNextDlgTabItem(hDlg, nullptr, bPrevious);
    Window* parent = Find(c->parent);
    if (parent == nullptr) return hCtl;
    const auto& sib = parent->children;
    auto it = std::find(sib.begin(), sib.end(), hCtl);
    if (it == sib.end()) return hCtl;
    // The group: from the last WS_GROUP at or before the control to the
    // next WS_GROUP after it.
    size_t begin = static_cast<size_t>(it - sib.begin());
    while (begin > 0) {
        Window* x = Find(sib[begin]);
        if (x != nullptr && (x->style & WS_GROUP)) break;
        --begin;
    }
    size_t end = static_cast<size_t>(it - sib.begin()) + 1;
    while (end < sib.size()) {
        Window* x = Find(sib[end]);
        if (x != nullptr && (x->style & WS_GROUP)) break;
        ++end;
    }
    const size_t count = end - begin;
    const size_t at = static_cast<size_t>(it - sib.begin()) - begin;
    for (size_t step = 1; step < count; ++step) {
        const size_t i = begin + (bPrevious ? (at + count - step) % count : (at + step) % count);
        if (Usable(sib[i])) return sib[i];
    }
    return hCtl;
}

BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    Window* w = Find(hDlg);
    if (w == nullptr || !w->dialog || lpRect == nullptr) return FALSE;
    const int bx = w->dialog->base_x, by = w->dialog->base_y;
    lpRect->left = hostwin::user::MulDivDown(lpRect->left, bx, 4);
    lpRect->right = hostwin::user::MulDivDown(lpRect->right, bx, 4);
    lpRect->top = hostwin::user::MulDivDown(lpRect->top, by, 8);
    lpRect->bottom = hostwin::user::MulDivDown(lpRect->bottom, by, 8);
    return TRUE;
}

LONG WINAPI GetDialogBaseUnits(void) {
    return MAKELONG(8, 16);
}
