// The property sheet of the host layer and the tab control it holds.
//
// The sheet is a dialog window with a tab control (id 0x3020), the OK (1),
// Cancel (2), Apply (0x3021) and Help (9) buttons, and one child dialog
// per page, made from the page's template when the page is first shown.
// Leaving a page asks it with PSN_KILLACTIVE (a page refuses through
// DWLP_MSGRESULT); OK asks the current page and then sends PSN_APPLY to
// every page made; Cancel sends PSN_RESET.
#include <algorithm>
#include <cstring>
#include <map>

#include "dialog_template.h"
#include "hostctl_user.h"
#include "resources_internal.h"
#include "user_internal.h"

namespace hostwin::user {
namespace {

constexpr int kTabId = 0x3020;
constexpr int kApplyId = 0x3021;
constexpr int kMargin = 7;       // around the tab control, in pixels
constexpr int kTabHeader = 21;   // the row of tabs
constexpr int kTabInset = 4;     // between the tab control's frame and the page
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonGap = 6;

// ---- Tab control --------------------------------------------------------------

struct TabData : ControlData {
    struct Item {
        std::string text;
        LPARAM param = 0;
    };
    std::vector<Item> items;
    int selection = -1;
};

TabData* TabOf(HWND hwnd) {
    Window* w = Find(hwnd);
    return w != nullptr && w->kind == Kind::Tab ? static_cast<TabData*>(w->control.get()) : nullptr;
}

// Where each tab lies along the row: its text and a margin.
RECT TabRect(const TabData* t, size_t index) {
    int left = 2;
    for (size_t i = 0; i < t->items.size(); ++i) {
        const int width = static_cast<int>(t->items[i].text.size()) * 6 + 12;
        if (i == index) return {left, 0, left + width, kTabHeader};
        left += width;
    }
    return {0, 0, 0, 0};
}

int TabAt(const TabData* t, int x, int y) {
    for (size_t i = 0; i < t->items.size(); ++i) {
        const RECT r = TabRect(t, i);
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return static_cast<int>(i);
    }
    return -1;
}

LRESULT NotifyTab(HWND tab, UINT code) {
    Window* w = Find(tab);
    if (w == nullptr) return 0;
    NMHDR hdr = {tab, w->id, code};
    return SendMessageA(w->parent, WM_NOTIFY, w->id, reinterpret_cast<LPARAM>(&hdr));
}

// The user picks tab `index`: the parent may refuse (TCN_SELCHANGING),
// else the selection moves and the parent hears of it.
void PickTab(HWND tab, int index) {
    TabData* t = TabOf(tab);
    if (t == nullptr || index < 0 || index >= static_cast<int>(t->items.size()) || index == t->selection) return;
    if (NotifyTab(tab, TCN_SELCHANGING) != 0) return;
    t = TabOf(tab);
    if (t == nullptr) return;
    t->selection = index;
    InvalidateRect(tab, nullptr, FALSE);
    NotifyTab(tab, TCN_SELCHANGE);
}

// ---- Sheets ----------------------------------------------------------------------

struct Page {
    std::vector<uint8_t> record;  // the caller's page record, copied
    const void* template_bytes = nullptr;
    size_t template_size = 0;
    std::string title;
    HWND hwnd = nullptr;
    const PROPSHEETPAGEA* psp() const { return reinterpret_cast<const PROPSHEETPAGEA*>(record.data()); }
};

struct Sheet {
    HWND hwnd = nullptr;
    HWND tab = nullptr;
    DWORD flags = 0;
    std::vector<Page> pages;
    int current = -1;
    RECT page_rect{};  // in the sheet's client area
    bool changed = false;
    bool left_agreed = false;  // the current page agreed to a tab change
    INT_PTR restart = 0;  // ID_PSRESTARTWINDOWS / ID_PSREBOOTSYSTEM asked for
};

// What PSCB_PRECREATE shows the callback: the sheet's template header (a
// plain DLGTEMPLATE: style, extended style, item count, position, size).
#pragma pack(push, 2)
struct DLGTEMPLATE_BYTES {
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_CONTEXTHELP | DS_SETFONT;
    DWORD ex_style = WS_EX_CONTROLPARENT | WS_EX_CONTEXTHELP;
    WORD items = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    WORD menu = 0, window_class = 0, title = 0;
};
#pragma pack(pop)

std::map<HWND, Sheet>& Sheets() {
    static std::map<HWND, Sheet> sheets;
    return sheets;
}

Sheet* SheetOf(HWND hwnd) {
    auto it = Sheets().find(hwnd);
    return it == Sheets().end() ? nullptr : &it->second;
}

LRESULT NotifyPage(Sheet& s, int index, UINT code, LPARAM param = 0) {
    const HWND page = s.pages[static_cast<size_t>(index)].hwnd;
    if (Find(page) == nullptr) return 0;
    PSHNOTIFY n = {};
    n.hdr.hwndFrom = s.hwnd;
    n.hdr.idFrom = 0;
    n.hdr.code = code;
    n.lParam = param;
    SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
    SendMessageA(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
    return Find(page) != nullptr ? GetWindowLongPtrA(page, DWLP_MSGRESULT) : 0;
}

bool MakePage(Sheet& s, int index) {
    Page& p = s.pages[static_cast<size_t>(index)];
    if (p.hwnd != nullptr) return true;
    PROPSHEETPAGEA* psp = reinterpret_cast<PROPSHEETPAGEA*>(p.record.data());
    if ((psp->dwFlags & PSP_USECALLBACK) && psp->pfnCallback != nullptr && psp->dwSize >= PROPSHEETPAGEA_V1_SIZE &&
        psp->pfnCallback(nullptr, PSPCB_CREATE, psp) == 0)
        return false;
    const DWORD remove = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME | WS_VISIBLE |
                         WS_DISABLED | WS_BORDER | DS_CENTER;
    const HWND page = CreateDialogFromBytes(psp->hInstance, p.template_bytes, p.template_size, s.hwnd,
                                            psp->pfnDlgProc, reinterpret_cast<LPARAM>(psp), WS_CHILD | DS_CONTROL,
                                            remove, WS_EX_CONTROLPARENT);
    Sheet* again = SheetOf(s.hwnd);
    if (page == nullptr || again == nullptr) return false;
    again->pages[static_cast<size_t>(index)].hwnd = page;
    const RECT& r = again->page_rect;
    MoveWindow(page, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
    return true;
}

void UpdateHelpButton(Sheet& s) {
    const HWND help = GetDlgItem(s.hwnd, IDHELP);
    if (help == nullptr || s.current < 0) return;
    EnableWindow(help, (s.pages[static_cast<size_t>(s.current)].psp()->dwFlags & PSP_HASHELP) ? TRUE : FALSE);
}

// Shows page `index`, after the current page agreed to be left (asked
// here unless it was asked already).
bool SetPage(HWND sheet, int index, bool ask_current = true) {
    Sheet* s = SheetOf(sheet);
    if (s == nullptr || index < 0 || index >= static_cast<int>(s->pages.size())) return false;
    if (index == s->current) return true;
    if (s->current >= 0 && ask_current) {
        if (NotifyPage(*s, s->current, PSN_KILLACTIVE) != 0) return false;
        s = SheetOf(sheet);
        if (s == nullptr) return false;
    }
    const int old = s->current;
    if (!MakePage(*s, index)) return false;
    s = SheetOf(sheet);
    if (s == nullptr) return false;
    const HWND focus = GetFocus();
    const bool focus_in_old = old >= 0 && focus != nullptr &&
                              (focus == s->pages[static_cast<size_t>(old)].hwnd ||
                               IsChild(s->pages[static_cast<size_t>(old)].hwnd, focus));
    s->current = index;
    if (TabData* t = TabOf(s->tab)) {
        t->selection = index;
        InvalidateRect(s->tab, nullptr, FALSE);
    }
    NotifyPage(*s, index, PSN_SETACTIVE);
    s = SheetOf(sheet);
    if (s == nullptr) return false;
    const HWND page = s->pages[static_cast<size_t>(index)].hwnd;
    ShowWindow(page, SW_SHOW);
    if (old >= 0 && old != index) ShowWindow(s->pages[static_cast<size_t>(old)].hwnd, SW_HIDE);
    UpdateHelpButton(*s);
    if (focus_in_old || GetFocus() == nullptr || GetFocus() == sheet) {
        const HWND first = GetNextDlgTabItem(page, nullptr, FALSE);
        DialogSetFocus(sheet, first != nullptr ? first : s->tab);
    }
    InvalidateRect(sheet, nullptr, FALSE);
    return true;
}

void PressOk(HWND sheet) {
    Sheet* s = SheetOf(sheet);
    if (s == nullptr) return;
    if (s->current >= 0 && NotifyPage(*s, s->current, PSN_KILLACTIVE) != 0) return;
    s = SheetOf(sheet);
    for (size_t i = 0; s != nullptr && i < s->pages.size(); ++i) {
        if (s->pages[i].hwnd == nullptr) continue;
        const LRESULT r = NotifyPage(*s, static_cast<int>(i), PSN_APPLY, TRUE);
        s = SheetOf(sheet);
        if (s == nullptr) return;
        if (r == PSNRET_INVALID || r == PSNRET_INVALID_NOCHANGEPAGE) {
            if (r == PSNRET_INVALID) SetPage(sheet, static_cast<int>(i));
            return;
        }
    }
    if (s == nullptr) return;
    // As measured under Wine 8: 1 after OK whether or not a page reported a
    // change; a restart asked for with PSM_RESTARTWINDOWS or
    // PSM_REBOOTSYSTEM is added.
    EndDialog(sheet, s->restart != 0 ? s->restart : 1);
}

void PressCancel(HWND sheet) {
    Sheet* s = SheetOf(sheet);
    if (s == nullptr) return;
    if (s->current >= 0 && NotifyPage(*s, s->current, PSN_QUERYCANCEL) != 0) return;
    for (size_t i = 0; (s = SheetOf(sheet)) != nullptr && i < s->pages.size(); ++i)
        if (s->pages[i].hwnd != nullptr) NotifyPage(*s, static_cast<int>(i), PSN_RESET);
    EndDialog(sheet, 0);
}

void PressHelp(HWND sheet) {
    Sheet* s = SheetOf(sheet);
    if (s != nullptr && s->current >= 0) NotifyPage(*s, s->current, PSN_HELP);
}

bool Apply(HWND sheet) {
    Sheet* s = SheetOf(sheet);
    if (s == nullptr) return false;
    if (s->current >= 0 && NotifyPage(*s, s->current, PSN_KILLACTIVE) != 0) return false;
    for (size_t i = 0; (s = SheetOf(sheet)) != nullptr && i < s->pages.size(); ++i) {
        if (s->pages[i].hwnd == nullptr) continue;
        const LRESULT r = NotifyPage(*s, static_cast<int>(i), PSN_APPLY, FALSE);
        if (r == PSNRET_INVALID || r == PSNRET_INVALID_NOCHANGEPAGE) return false;
    }
    if ((s = SheetOf(sheet)) != nullptr) {
        s->changed = false;
        EnableWindow(GetDlgItem(sheet, kApplyId), FALSE);
    }
    return true;
}

INT_PTR CALLBACK SheetProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Sheet* s = SheetOf(hwnd);
    if (s == nullptr) return FALSE;
    switch (msg) {
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDOK:
                    PressOk(hwnd);
                    return TRUE;
                case IDCANCEL:
                    PressCancel(hwnd);
                    return TRUE;
                case IDHELP:
                    PressHelp(hwnd);
                    return TRUE;
                case kApplyId:
                    Apply(hwnd);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            if (hdr == nullptr || hdr->hwndFrom != s->tab) return FALSE;
            if (hdr->code == TCN_SELCHANGING) {
                // The tab moves only when the current page agrees to be left.
                const bool refuse = s->current >= 0 && NotifyPage(*s, s->current, PSN_KILLACTIVE) != 0;
                if (Sheet* again = SheetOf(hwnd)) again->left_agreed = !refuse;
                SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, refuse ? TRUE : FALSE);
                return TRUE;
            }
            if (hdr->code == TCN_SELCHANGE) {
                const TabData* t = TabOf(s->tab);
                const bool agreed = s->left_agreed;
                s->left_agreed = false;
                if (t != nullptr) SetPage(hwnd, t->selection, !agreed);
                return TRUE;
            }
            return FALSE;
        }
        case PSM_SETCURSEL: {
            int index = static_cast<int>(wp);
            if (lp != 0) {
                for (size_t i = 0; i < s->pages.size(); ++i)
                    if (reinterpret_cast<LPARAM>(s->pages[i].hwnd) == lp) index = static_cast<int>(i);
            }
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, SetPage(hwnd, index) ? TRUE : FALSE);
            return TRUE;
        }
        case PSM_CHANGED:
            s->changed = true;
            EnableWindow(GetDlgItem(hwnd, kApplyId), TRUE);
            return TRUE;
        case PSM_UNCHANGED:
            return TRUE;
        case PSM_RESTARTWINDOWS:
            s->restart |= ID_PSRESTARTWINDOWS;
            return TRUE;
        case PSM_REBOOTSYSTEM:
            s->restart |= ID_PSREBOOTSYSTEM;
            return TRUE;
        case PSM_PRESSBUTTON:
            switch (wp) {
                case PSBTN_OK:
                    PressOk(hwnd);
                    break;
                case PSBTN_CANCEL:
                    PressCancel(hwnd);
                    break;
                case PSBTN_HELP:
                    PressHelp(hwnd);
                    break;
                case PSBTN_APPLYNOW:
                    Apply(hwnd);
                    break;
                default:
                    break;
            }
            return TRUE;
        case PSM_APPLY:
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, Apply(hwnd) ? TRUE : FALSE);
            return TRUE;
        case PSM_GETTABCONTROL:
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(s->tab));
            return TRUE;
        case PSM_GETCURRENTPAGEHWND:
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT,
                              s->current >= 0 ? reinterpret_cast<LONG_PTR>(s->pages[static_cast<size_t>(s->current)].hwnd)
                                              : 0);
            return TRUE;
        case PSM_INDEXTOHWND: {
            const size_t i = wp;
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, i < s->pages.size() ? reinterpret_cast<LONG_PTR>(s->pages[i].hwnd) : 0);
            return TRUE;
        }
        case PSM_HWNDTOINDEX: {
            LONG_PTR index = -1;
            for (size_t i = 0; i < s->pages.size(); ++i)
                if (reinterpret_cast<WPARAM>(s->pages[i].hwnd) == wp) index = static_cast<LONG_PTR>(i);
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, index);
            return TRUE;
        }
        case PSM_ISDIALOGMESSAGE:
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, IsDialogMessageA(hwnd, reinterpret_cast<LPMSG>(lp)));
            return TRUE;
        case PSM_SETTITLEA: {
            std::string title;
            if (IS_INTRESOURCE(lp)) {
                char buf[256];
                if (LoadStringA(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE) != 0
                                    ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE))
                                    : nullptr,
                                static_cast<UINT>(lp), buf, sizeof buf) > 0)
                    title = buf;
            } else {
                title = reinterpret_cast<const char*>(lp);
            }
            if (wp & PSH_PROPTITLE) title = "Properties for " + title;
            SetWindowTextA(hwnd, title.c_str());
            return TRUE;
        }
        default:
            return FALSE;
    }
}

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PageDown and Ctrl+PageUp change the page.
bool SheetFilter(HWND sheet, MSG* msg) {
    if (msg->message != WM_KEYDOWN || !(HeldModifiers() & hostwin::kModControl)) return false;
    if (msg->hwnd != sheet && !IsChild(sheet, msg->hwnd)) return false;
    int step = 0;
    if (msg->wParam == VK_TAB) step = (HeldModifiers() & hostwin::kModShift) ? -1 : 1;
    if (msg->wParam == VK_NEXT) step = 1;
    if (msg->wParam == VK_PRIOR) step = -1;
    if (step == 0) return false;
    Sheet* s = SheetOf(sheet);
    if (s == nullptr || s->pages.empty()) return true;
    const int n = static_cast<int>(s->pages.size());
    PickTab(s->tab, ((s->current < 0 ? 0 : s->current) + step + n) % n);
    return true;
}

// A page's template and its size in pixels.
bool PageTemplate(const PROPSHEETPAGEA* psp, const void** bytes, size_t* size, int* width, int* height,
                  std::string* caption) {
    if (psp->dwFlags & PSP_DLGINDIRECT) {
        *bytes = psp->pResource;
        *size = 0x10000;
    } else if (!FindResourceBytes(psp->hInstance, MAKEINTRESOURCEA(5) /* RT_DIALOG */, psp->pszTemplate, bytes,
                                  size)) {
        return false;
    }
    DialogTemplate t;
    std::string error;
    if (*bytes == nullptr || !ParseDialogTemplate(*bytes, *size, &t, &error)) return false;
    int bx = 8, by = 16;
    if ((t.style & DS_SETFONT) && t.point_size != 0) {
        bx = (t.point_size * 6 + 4) / 8;
        by = (t.point_size * 13 + 4) / 8;
    }
    *width = (t.cx * bx + 2) / 4;
    *height = (t.cy * by + 4) / 8;
    *caption = t.title;
    return true;
}

std::string TextOrString(HINSTANCE instance, LPCSTR text) {
    if (text == nullptr) return "";
    if (!IS_INTRESOURCE(text)) return text;
    char buf[256];
    return LoadStringA(instance, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(text)), buf, sizeof buf) > 0 ? buf : "";
}

HWND AddButton(HWND sheet, int id, const char* text, int x, int y, DWORD extra) {
    CreateParams p;
    p.class_name = "Button";
    p.text = text;
    p.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | extra;
    p.rect = {x, y, x + kButtonWidth, y + kButtonHeight};
    p.parent = sheet;
    p.id = static_cast<UINT_PTR>(id);
    return Create(p);
}

}  // namespace

LRESULT CALLBACK TabProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = Find(hwnd);
    if (w == nullptr) return 0;
    if (msg == WM_NCCREATE) {
        w->control = std::make_unique<TabData>();
        return TRUE;
    }
    TabData* t = TabOf(hwnd);
    if (t == nullptr) return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        case TCM_GETITEMCOUNT:
            return static_cast<LRESULT>(t->items.size());
        case TCM_INSERTITEMA: {
            const auto* item = reinterpret_cast<const TCITEMA*>(lp);
            if (item == nullptr) return -1;
            const size_t at = std::min(static_cast<size_t>(wp), t->items.size());
            TabData::Item it;
            if ((item->mask & TCIF_TEXT) && item->pszText != nullptr) it.text = item->pszText;
            if (item->mask & TCIF_PARAM) it.param = item->lParam;
            t->items.insert(t->items.begin() + static_cast<std::ptrdiff_t>(at), it);
            if (t->selection < 0) t->selection = 0;
            return static_cast<LRESULT>(at);
        }
        case TCM_GETITEMA: {
            auto* item = reinterpret_cast<TCITEMA*>(lp);
            const size_t i = wp;
            if (item == nullptr || i >= t->items.size()) return FALSE;
            if ((item->mask & TCIF_TEXT) && item->pszText != nullptr && item->cchTextMax > 0) {
                const std::string& text = t->items[i].text;
                const size_t n = std::min(text.size(), static_cast<size_t>(item->cchTextMax - 1));
                std::memcpy(item->pszText, text.data(), n);
                item->pszText[n] = '\0';
            }
            if (item->mask & TCIF_PARAM) item->lParam = t->items[i].param;
            return TRUE;
        }
        case TCM_GETITEMRECT: {
            if (static_cast<size_t>(wp) >= t->items.size() || lp == 0) return FALSE;
            *reinterpret_cast<RECT*>(lp) = TabRect(t, static_cast<size_t>(wp));
            return TRUE;
        }
        case TCM_DELETEALLITEMS:
            t->items.clear();
            t->selection = -1;
            return TRUE;
        case TCM_GETCURSEL:
        case TCM_GETCURFOCUS:
            return t->selection;
        case TCM_SETCURSEL:
        case TCM_SETCURFOCUS: {
            const int old = t->selection;
            if (static_cast<size_t>(wp) < t->items.size()) t->selection = static_cast<int>(wp);
            InvalidateRect(hwnd, nullptr, FALSE);
            return old;
        }
        case WM_LBUTTONDOWN:
            PickTab(hwnd, TabAt(t, static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))));
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_LEFT || wp == VK_RIGHT) {
                PickTab(hwnd, t->selection + (wp == VK_LEFT ? -1 : 1));
                return 0;
            }
            return DefWindowProcA(hwnd, msg, wp, lp);
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

void ResetPropertySheets() {
    Sheets().clear();
}

}  // namespace hostwin::user

INT_PTR WINAPI PropertySheetA(LPCPROPSHEETHEADERA lppsph) {
    using namespace hostwin::user;
    if (lppsph == nullptr || lppsph->dwSize < PROPSHEETHEADERA_V1_SIZE || lppsph->nPages == 0) {
        SetLastError(87 /* ERROR_INVALID_PARAMETER */);
        return -1;
    }
    if ((lppsph->dwFlags & (PSH_MODELESS | PSH_WIZARD)) || !(lppsph->dwFlags & PSH_PROPSHEETPAGE)) {
        // The applet shows modal sheets of page records only.
        SetLastError(50 /* ERROR_NOT_SUPPORTED */);
        return -1;
    }
    if (hostwin::AttachedDesktop() == nullptr) {
        SetLastError(5 /* ERROR_ACCESS_DENIED: no window station */);
        return -1;
    }
    Sheet sheet;
    sheet.flags = lppsph->dwFlags;
    int page_w = 0, page_h = 0;
    const auto* at = reinterpret_cast<const uint8_t*>(lppsph->ppsp);
    for (UINT i = 0; i < lppsph->nPages; ++i) {
        const auto* psp = reinterpret_cast<const PROPSHEETPAGEA*>(at);
        if (psp->dwSize < PROPSHEETPAGEA_V1_SIZE) return -1;
        Page p;
        p.record.assign(at, at + psp->dwSize);
        if (p.record.size() < sizeof(PROPSHEETPAGEA)) p.record.resize(sizeof(PROPSHEETPAGEA), 0);
        int w = 0, h = 0;
        std::string caption;
        if (!PageTemplate(psp, &p.template_bytes, &p.template_size, &w, &h, &caption)) {
            SetLastError(1814 /* ERROR_RESOURCE_NAME_NOT_FOUND */);
            return -1;
        }
        p.title = (psp->dwFlags & PSP_USETITLE) ? TextOrString(psp->hInstance, psp->pszTitle) : caption;
        page_w = std::max(page_w, w);
        page_h = std::max(page_h, h);
        sheet.pages.push_back(std::move(p));
        at += psp->dwSize;
    }

    if ((lppsph->dwFlags & PSH_USECALLBACK) && lppsph->pfnCallback != nullptr) {
        // Before the sheet is made the callback may look at its template.
        DLGTEMPLATE_BYTES sheet_template = {};
        lppsph->pfnCallback(nullptr, PSCB_PRECREATE, reinterpret_cast<LPARAM>(&sheet_template));
    }
    std::string caption = TextOrString(lppsph->hInstance, lppsph->pszCaption);
    if (lppsph->dwFlags & PSH_PROPTITLE) caption = "Properties for " + caption;

    // Layout: the tab control with the page inside, the buttons below.
    const int tab_w = page_w + 2 * kTabInset, tab_h = page_h + kTabHeader + 2 * kTabInset;
    const int client_w = tab_w + 2 * kMargin;
    const int buttons_y = kMargin + tab_h + kMargin;
    const int client_h = buttons_y + kButtonHeight + kMargin;
    CreateParams p;
    p.dialog = true;
    p.class_name = "#32770";
    p.text = caption;
    p.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_CONTEXTHELP | DS_SETFONT;
    p.ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_CONTEXTHELP;
    p.parent = lppsph->hwndParent;
    p.instance = lppsph->hInstance;
    Window probe;
    probe.kind = Kind::Dialog;
    probe.style = p.style;
    probe.ex_style = p.ex_style;
    probe.dialog = std::make_unique<DialogData>();
    int frame, caption_h;
    NonClient(&probe, &frame, &caption_h);
    const int width = client_w + 2 * frame, height = client_h + 2 * frame + caption_h;
    const RECT& desk = DesktopWindow().rect;
    const int x = std::max(0, static_cast<int>(desk.right - width) / 2);
    const int y = std::max(0, static_cast<int>(desk.bottom - height) / 2);
    p.rect = {x, y, x + width, y + height};
    const HWND hwnd = Create(p);
    if (hwnd == nullptr) return -1;
    Window* w = Find(hwnd);
    w->dialog_words[1] = reinterpret_cast<LONG_PTR>(&SheetProc);
    w->dialog->base_x = 6;
    w->dialog->base_y = 13;
    w->dialog->default_id = IDOK;
    w->icons[0] = w->icons[1] = (lppsph->dwFlags & PSH_USEICONID)
                                    ? LoadIconA(lppsph->hInstance, lppsph->pszIcon)
                                    : ((lppsph->dwFlags & PSH_USEHICON) ? lppsph->hIcon : nullptr);
    sheet.hwnd = hwnd;
    sheet.page_rect = {kMargin + kTabInset, kMargin + kTabHeader + kTabInset, kMargin + kTabInset + page_w,
                       kMargin + kTabHeader + kTabInset + page_h};
    Sheets()[hwnd] = std::move(sheet);

    CreateParams tab;
    tab.class_name = WC_TABCONTROLA;
    tab.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS;
    tab.rect = {kMargin, kMargin, kMargin + tab_w, kMargin + tab_h};
    tab.parent = hwnd;
    tab.id = kTabId;
    const HWND tab_hwnd = Create(tab);
    Sheet* s = SheetOf(hwnd);
    s->tab = tab_hwnd;
    for (size_t i = 0; i < s->pages.size(); ++i) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(s->pages[i].title.c_str());
        SendMessageA(tab_hwnd, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    // OK, Cancel, Apply and Help from left to right, flush right; the
    // hidden Apply leaves no gap.
    const bool has_help = (lppsph->dwFlags & PSH_HASHELP) != 0;
    const bool has_apply = !(lppsph->dwFlags & PSH_NOAPPLYNOW);
    const int count = 2 + (has_apply ? 1 : 0) + (has_help ? 1 : 0);
    int bx = client_w - kMargin - count * kButtonWidth - (count - 1) * kButtonGap;
    const auto next = [&]() {
        const int at_x = bx;
        bx += kButtonWidth + kButtonGap;
        return at_x;
    };
    AddButton(hwnd, IDOK, "OK", next(), buttons_y, BS_DEFPUSHBUTTON);
    AddButton(hwnd, IDCANCEL, "Cancel", next(), buttons_y, BS_PUSHBUTTON);
    const HWND apply = AddButton(hwnd, kApplyId, "&Apply", has_apply ? next() : 0, buttons_y,
                                 BS_PUSHBUTTON | WS_DISABLED);
    if (!has_apply) ShowWindow(apply, SW_HIDE);
    if (has_help) AddButton(hwnd, IDHELP, "Help", next(), buttons_y, BS_PUSHBUTTON);

    // As measured under Wine 8: the callback hears of the initialised sheet
    // before the first page is made.
    if ((lppsph->dwFlags & PSH_USECALLBACK) && lppsph->pfnCallback != nullptr)
        lppsph->pfnCallback(hwnd, PSCB_INITIALIZED, 0);
    UINT start = (lppsph->dwFlags & PSH_USEPSTARTPAGE) ? 0 : lppsph->nStartPage;
    if (start >= lppsph->nPages) start = 0;
    const bool first_ok = Find(hwnd) != nullptr && SetPage(hwnd, static_cast<int>(start));
    INT_PTR result = -1;
    if (first_ok && Find(hwnd) != nullptr) {
        const HWND owner_top = lppsph->hwndParent != nullptr ? TopLevelOf(lppsph->hwndParent) : nullptr;
        const bool reenable =
            owner_top != nullptr && owner_top != GetDesktopWindow() && IsWindowEnabled(owner_top);
        if (reenable) EnableWindow(owner_top, FALSE);
        w = Find(hwnd);
        if (w != nullptr && !w->dialog->ended) ShowWindow(hwnd, SW_SHOW);
        result = RunModalLoop(hwnd, SheetFilter);
        if (reenable && Find(owner_top) != nullptr) EnableWindow(owner_top, TRUE);
    }
    if (Find(hwnd) != nullptr) DestroyWindow(hwnd);
    if (Sheet* gone = SheetOf(hwnd)) {
        for (Page& page : gone->pages) {
            auto* psp = reinterpret_cast<PROPSHEETPAGEA*>(page.record.data());
            if ((psp->dwFlags & PSP_USECALLBACK) && psp->pfnCallback != nullptr)
                psp->pfnCallback(nullptr, PSPCB_RELEASE, psp);
        }
    }
    Sheets().erase(hwnd);
    return result;
}

void WINAPI InitCommonControls(void) {}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    return picce != nullptr && picce->dwSize == sizeof(INITCOMMONCONTROLSEX);
}
