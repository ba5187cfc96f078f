// The drop-down list combo box of the host layer and its list part.
//
// A user's change of the selection (arrow keys, a typed letter, a click in
// the dropped list) reaches the combo box itself first, as the WM_COMMAND
// with LBN_SELCHANGE that its list part sends, and then the parent as
// CBN_SELENDOK and CBN_SELCHANGE. Selections made by the program
// (CB_SETCURSEL, CB_SELECTSTRING) notify nobody.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "user_internal.h"

namespace hostwin::user {
namespace {

constexpr UINT_PTR kListId = 1000;  // the list part's control id
constexpr int kItemHeight = 13;     // one line of the dialog font
constexpr int kFieldHeight = 21;    // the selection field: a line and its frame

struct ComboData : ControlData {
    struct Item {
        std::string text;
        ULONG_PTR data = 0;
    };
    std::vector<Item> items;
    int selection = -1;
    bool dropped = false;
    int dropped_height = 0;  // of the list, in pixels
    int top = 0;             // the first item the dropped list shows
    bool closing = false;    // a click in the dropped list chose an item
    HWND list = nullptr;
};

struct ListData : ControlData {
    HWND combo = nullptr;
};

ComboData* ComboOf(HWND hwnd) {
    Window* w = Find(hwnd);
    return w != nullptr && w->kind == Kind::ComboBox ? static_cast<ComboData*>(w->control.get()) : nullptr;
}

int Count(const ComboData* c) {
    return static_cast<int>(c->items.size());
}

bool StartsWith(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size()) return false;
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool SameText(const std::string& text, const char* other) {
    return std::strlen(other) == text.size() && StartsWith(text, other);
}

// The first item after `start` (from the top for -1), wrapping, that
// starts with (or, `exact`, equals) the text, case ignored.
int Search(const ComboData* c, int start, const char* text, bool exact) {
    const int n = Count(c);
    if (n == 0 || text == nullptr) return CB_ERR;
    if (start < -1 || start >= n) start = -1;
    for (int step = 1; step <= n; ++step) {
        const int i = (start + step) % n;
        if (exact ? SameText(c->items[i].text, text) : StartsWith(c->items[i].text, text)) return i;
    }
    return CB_ERR;
}

void ShowList(HWND combo, bool show) {
    ComboData* c = ComboOf(combo);
    if (c == nullptr || c->dropped == show) return;
    Window* w = Find(combo);
    Window* l = Find(c->list);
    if (show) {
        NotifyParent(combo, CBN_DROPDOWN);
        c = ComboOf(combo);
        l = c != nullptr ? Find(c->list) : nullptr;
        if (c == nullptr || l == nullptr) return;
        RECT r;
        GetWindowRect(combo, &r);
        const int visible = std::max(1, std::min(Count(c), std::max(1, c->dropped_height / kItemHeight)));
        l->rect = {r.left, r.bottom, r.right, r.bottom + visible * kItemHeight + 2};
        l->style |= WS_VISIBLE;
        c->dropped = true;
    } else {
        if (l != nullptr) l->style &= ~WS_VISIBLE;
        c->dropped = false;
        NotifyParent(combo, CBN_CLOSEUP);
    }
    if (w != nullptr) InvalidateRect(combo, nullptr, FALSE);
}

// A selection the user made: the list part tells the combo box, which
// tells its parent.
void SelectByUser(HWND combo, int index) {
    ComboData* c = ComboOf(combo);
    if (c == nullptr || index < 0 || index >= Count(c) || index == c->selection) return;
    c->selection = index;
    InvalidateRect(combo, nullptr, FALSE);
    SendMessageA(combo, WM_COMMAND, MAKEWPARAM(kListId, LBN_SELCHANGE), reinterpret_cast<LPARAM>(c->list));
}

LRESULT CopyItem(const ComboData* c, int index, char* out) {
    if (index < 0 || index >= Count(c) || out == nullptr) return CB_ERR;
    const std::string& t = c->items[static_cast<size_t>(index)].text;
    std::memcpy(out, t.c_str(), t.size() + 1);
    return static_cast<LRESULT>(t.size());
}

LRESULT Insert(HWND combo, ComboData* c, int index, const char* text) {
    if (text == nullptr) text = "";
    Window* w = Find(combo);
    if (index < 0 || index > Count(c)) index = Count(c);
    if ((w->style & CBS_SORT) && index == Count(c)) {
        index = 0;
        const std::string t(text);
        while (index < Count(c)) {
            const std::string& other = c->items[static_cast<size_t>(index)].text;
            if (std::lexicographical_compare(t.begin(), t.end(), other.begin(), other.end(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) < std::tolower(static_cast<unsigned char>(b));
                }))
                break;
            ++index;
        }
    }
    c->items.insert(c->items.begin() + index, ComboData::Item{text, 0});
    if (c->selection >= index) ++c->selection;
    InvalidateRect(combo, nullptr, FALSE);
    return index;
}

int PageSize(const ComboData* c) {
    return std::max(1, c->dropped_height / kItemHeight - 1);
}

}  // namespace

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = Find(hwnd);
    if (w == nullptr) return 0;
    if (msg == WM_NCCREATE) {
        auto data = std::make_unique<ComboData>();
        // The template's height includes the dropped list.
        data->dropped_height = std::max(kItemHeight, static_cast<int>(w->rect.bottom - w->rect.top) - kFieldHeight);
        w->rect.bottom = w->rect.top + kFieldHeight;
        w->control = std::move(data);
        CreateParams lp_params;
        lp_params.class_name = "ComboLBox";
        lp_params.style = WS_POPUP | WS_BORDER | WS_VSCROLL;
        lp_params.parent = hwnd;
        lp_params.id = kListId;
        lp_params.instance = w->instance;
        const HWND list = Create(lp_params);
        ComboData* c = ComboOf(hwnd);
        if (c == nullptr || list == nullptr) return FALSE;
        c->list = list;
        Window* l = Find(list);
        static_cast<ListData*>(l->control.get())->combo = hwnd;
        return TRUE;
    }
    ComboData* c = ComboOf(hwnd);
    if (c == nullptr) return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_NCDESTROY: {
            const HWND list = c->list;
            c->list = nullptr;
            if (Find(list) != nullptr) DestroyWindow(list);
            return 0;
        }
        case WM_GETDLGCODE: {
            LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
            const MSG* m = reinterpret_cast<const MSG*>(lp);
            if (c->dropped && m != nullptr && m->message == WM_KEYDOWN &&
                (m->wParam == VK_RETURN || m->wParam == VK_ESCAPE))
                code |= DLGC_WANTMESSAGE;
            return code;
        }
        case WM_COMMAND:
            // The list part reports a user's selection: a choice that ends
            // the selection (a key on the closed list, a click in the
            // dropped one, which then closes), or a move in the open list.
            if (LOWORD(wp) == kListId && HIWORD(wp) == LBN_SELCHANGE) {
                const bool ends = !c->dropped || c->closing;
                if (ends) NotifyParent(hwnd, CBN_SELENDOK);
                if (ComboData* again = ComboOf(hwnd); again != nullptr && again->closing) {
                    again->closing = false;
                    ShowList(hwnd, false);
                }
                NotifyParent(hwnd, CBN_SELCHANGE);
            }
            return 0;
        case CB_ADDSTRING:
            return Insert(hwnd, c, -1, reinterpret_cast<const char*>(lp));
        case CB_INSERTSTRING:
            return Insert(hwnd, c, static_cast<int>(wp) == -1 ? Count(c) : static_cast<int>(wp),
                          reinterpret_cast<const char*>(lp));
        case CB_DELETESTRING: {
            const int i = static_cast<int>(wp);
            if (i < 0 || i >= Count(c)) return CB_ERR;
            c->items.erase(c->items.begin() + i);
            if (c->selection == i) {
                c->selection = -1;
            } else if (c->selection > i) {
                --c->selection;
            }
            InvalidateRect(hwnd, nullptr, FALSE);
            return Count(c);
        }
        case CB_RESETCONTENT:
            c->items.clear();
            c->selection = -1;
            InvalidateRect(hwnd, nullptr, FALSE);
            return CB_OKAY;
        case CB_GETCOUNT:
            return Count(c);
        case CB_GETCURSEL:
            return c->selection;
        case CB_SETCURSEL: {
            const int i = static_cast<int>(wp);
            InvalidateRect(hwnd, nullptr, FALSE);
            if (i < 0 || i >= Count(c)) {
                c->selection = -1;
                return CB_ERR;
            }
            c->selection = i;
            return i;
        }
        case CB_GETLBTEXT:
            return CopyItem(c, static_cast<int>(wp), reinterpret_cast<char*>(lp));
        case CB_GETLBTEXTLEN: {
            const int i = static_cast<int>(wp);
            if (i < 0 || i >= Count(c)) return CB_ERR;
            return static_cast<LRESULT>(c->items[static_cast<size_t>(i)].text.size());
        }
        case CB_FINDSTRING:
            return Search(c, static_cast<int>(wp), reinterpret_cast<const char*>(lp), false);
        case CB_FINDSTRINGEXACT:
            return Search(c, static_cast<int>(wp), reinterpret_cast<const char*>(lp), true);
        case CB_SELECTSTRING: {
            const int i = Search(c, static_cast<int>(wp), reinterpret_cast<const char*>(lp), false);
            if (i != CB_ERR) {
                c->selection = i;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            return i;
        }
        case CB_SETITEMDATA: {
            const int i = static_cast<int>(wp);
            if (i < 0 || i >= Count(c)) return CB_ERR;
            c->items[static_cast<size_t>(i)].data = static_cast<ULONG_PTR>(lp);
            return TRUE;
        }
        case CB_GETITEMDATA: {
            const int i = static_cast<int>(wp);
            if (i < 0 || i >= Count(c)) return CB_ERR;
            return static_cast<LRESULT>(c->items[static_cast<size_t>(i)].data);
        }
        case CB_SHOWDROPDOWN:
            ShowList(hwnd, wp != 0);
            return TRUE;
        case CB_GETDROPPEDSTATE:
            return c->dropped ? TRUE : FALSE;
        case WM_GETTEXT: {
            if (wp == 0 || lp == 0) return 0;
            char* out = reinterpret_cast<char*>(lp);
            const std::string t = c->selection >= 0 ? c->items[static_cast<size_t>(c->selection)].text : "";
            const size_t n = std::min(t.size(), static_cast<size_t>(wp) - 1);
            std::memcpy(out, t.data(), n);
            out[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH:
            return c->selection >= 0 ? static_cast<LRESULT>(c->items[static_cast<size_t>(c->selection)].text.size())
                                     : 0;
        case WM_SETTEXT: {
            const int i = Search(c, -1, reinterpret_cast<const char*>(lp), false);
            if (i == CB_ERR) return CB_ERR;
            c->selection = i;
            InvalidateRect(hwnd, nullptr, FALSE);
            return TRUE;
        }
        case WM_KEYDOWN: {
            const int n = Count(c);
            const int cur = c->selection;
            switch (wp) {
                case VK_F4:
                    ShowList(hwnd, !c->dropped);
                    return 0;
                case VK_RETURN:
                case VK_ESCAPE:
                    ShowList(hwnd, false);
                    return 0;
                case VK_UP:
                case VK_LEFT:
                    SelectByUser(hwnd, cur <= 0 ? 0 : cur - 1);
                    return 0;
                case VK_DOWN:
                case VK_RIGHT:
                    SelectByUser(hwnd, cur < 0 ? 0 : std::min(cur + 1, n - 1));
                    return 0;
                case VK_HOME:
                    SelectByUser(hwnd, 0);
                    return 0;
                case VK_END:
                    SelectByUser(hwnd, n - 1);
                    return 0;
                case VK_PRIOR:
                    SelectByUser(hwnd, std::max(0, cur - PageSize(c)));
                    return 0;
                case VK_NEXT:
                    SelectByUser(hwnd, std::min(n - 1, std::max(cur, 0) + PageSize(c)));
                    return 0;
                default:
                    return DefWindowProcA(hwnd, msg, wp, lp);
            }
        }
        case WM_SYSKEYDOWN:
            if (wp == VK_DOWN || wp == VK_UP) {
                ShowList(hwnd, !c->dropped);
                return 0;
            }
            return DefWindowProcA(hwnd, msg, wp, lp);
        case WM_CHAR: {
            const char prefix[2] = {static_cast<char>(wp), '\0'};
            if (static_cast<unsigned char>(prefix[0]) < ' ') return 0;
            const int i = Search(c, c->selection, prefix, false);
            if (i != CB_ERR) SelectByUser(hwnd, i);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (GetFocus() != hwnd) SetFocus(hwnd);
            if (ComboOf(hwnd) != nullptr) ShowList(hwnd, !ComboOf(hwnd)->dropped);
            if (ComboOf(hwnd) != nullptr && ComboOf(hwnd)->dropped) SetCapture(hwnd);
            return 0;
        case WM_LBUTTONUP:
            // Released on the opened list: the mouse now belongs to the
            // dropped part.
            if (GetCapture() == hwnd) {
                if (c->dropped && Find(c->list) != nullptr) {
                    SetCapture(c->list);
                } else {
                    ReleaseCapture();
                }
            }
            return 0;
        case WM_SETFOCUS:
            InvalidateRect(hwnd, nullptr, FALSE);
            NotifyParent(hwnd, CBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            ShowList(hwnd, false);
            InvalidateRect(hwnd, nullptr, FALSE);
            NotifyParent(hwnd, CBN_KILLFOCUS);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK ComboListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = Find(hwnd);
    if (w == nullptr) return 0;
    if (msg == WM_NCCREATE) {
        w->control = std::make_unique<ListData>();
        return TRUE;
    }
    auto* l = static_cast<ListData*>(w->control.get());
    ComboData* c = l != nullptr ? ComboOf(l->combo) : nullptr;
    if (c == nullptr) return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
        case LB_GETCOUNT:
            return Count(c);
        case LB_GETCURSEL:
            return c->selection;
        case LB_SETCURSEL:
            c->selection = static_cast<int>(wp) >= 0 && static_cast<int>(wp) < Count(c) ? static_cast<int>(wp) : -1;
            return c->selection;
        case LB_GETTEXT:
            return CopyItem(c, static_cast<int>(wp), reinterpret_cast<char*>(lp));
        case LB_GETTEXTLEN: {
            const int i = static_cast<int>(wp);
            if (i < 0 || i >= Count(c)) return LB_ERR;
            return static_cast<LRESULT>(c->items[static_cast<size_t>(i)].text.size());
        }
        case LB_GETTOPINDEX:
            return c->top;
        case LB_SETTOPINDEX:
            if (static_cast<int>(wp) < 0 || static_cast<int>(wp) >= std::max(Count(c), 1)) return LB_ERR;
            c->top = static_cast<int>(wp);
            return 0;
        case LB_GETITEMRECT: {
            const int i = static_cast<int>(wp);
            if (i < 0 || i >= Count(c) || lp == 0) return LB_ERR;
            RECT client;
            GetClientRect(hwnd, &client);
            *reinterpret_cast<RECT*>(lp) = {0, (i - c->top) * kItemHeight, client.right, (i - c->top + 1) * kItemHeight};
            return 1;
        }
        case WM_LBUTTONDOWN:
            SetCapture(hwnd);
            return 0;
        case WM_LBUTTONUP: {
            if (GetCapture() == hwnd) ReleaseCapture();
            const int y = static_cast<SHORT>(HIWORD(lp));
            const int i = c->top + y / kItemHeight;
            const HWND combo = l->combo;
            if (y < 0 || i >= Count(c)) {
                ShowList(combo, false);
                return 0;
            }
            if (i == c->selection) {
                // The item shown already: the choice ends, nothing changed.
                NotifyParent(combo, CBN_SELENDOK);
                ShowList(combo, false);
                return 0;
            }
            c->closing = true;
            SelectByUser(combo, i);
            if (ComboData* again = ComboOf(combo); again != nullptr && again->closing) {
                again->closing = false;
                ShowList(combo, false);
            }
            return 0;
        }
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

}  // namespace hostwin::user

BOOL WINAPI GetComboBoxInfo(HWND hwndCombo, PCOMBOBOXINFO pcbi) {
    using namespace hostwin::user;
    ComboData* c = ComboOf(hwndCombo);
    if (c == nullptr || pcbi == nullptr) return FALSE;
    RECT client;
    GetClientRect(hwndCombo, &client);
    pcbi->rcItem = {2, 2, client.right - 18, client.bottom - 2};
    pcbi->rcButton = {client.right - 18, 2, client.right - 2, client.bottom - 2};
    pcbi->stateButton = 0;
    pcbi->hwndCombo = hwndCombo;
    pcbi->hwndItem = nullptr;
    pcbi->hwndList = c->list;
    return TRUE;
}
