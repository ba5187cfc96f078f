// Menus of the host layer: the system menu of a window, its items, and the
// title bar's context help mode.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "hostctl_user.h"
#include "user_internal.h"

namespace hostwin::user {
namespace {

constexpr DWORD kErrorInvalidMenuHandle = 1401;
constexpr DWORD kErrorMenuItemNotFound = 1456;

struct MenuItem {
    UINT type = MFT_STRING;
    UINT state = MFS_ENABLED;
    UINT id = 0;
    std::string text;
    ULONG_PTR data = 0;
    HMENU submenu = nullptr;
};

struct Menu {
    HWND owner = nullptr;
    std::vector<MenuItem> items;
};

struct MenuState {
    std::map<uintptr_t, Menu> menus;
    uintptr_t next = 0x20010;
    HWND context_help = nullptr;  // the window whose "?" was pressed
};

MenuState& M() {
    static MenuState m;
    return m;
}

Menu* MenuOf(HMENU h) {
    auto it = M().menus.find(reinterpret_cast<uintptr_t>(h));
    return it == M().menus.end() ? nullptr : &it->second;
}

HMENU NewSystemMenu(HWND owner) {
    MenuState& m = M();
    const HMENU h = reinterpret_cast<HMENU>(m.next);
    m.next += 2;
    Menu menu;
    menu.owner = owner;
    // What a dialog's frame leaves of the system menu: Move and Close.
    menu.items.push_back({MFT_STRING, MFS_ENABLED, SC_MOVE, "&Move", 0, nullptr});
    menu.items.push_back({MFT_SEPARATOR, MFS_ENABLED, 0, "", 0, nullptr});
    menu.items.push_back({MFT_STRING, MFS_DEFAULT, SC_CLOSE, "&Close\tAlt+F4", 0, nullptr});
    m.menus[reinterpret_cast<uintptr_t>(h)] = std::move(menu);
    return h;
}

// The position of an item named by position or by command.
int Locate(const Menu& menu, UINT item, BOOL by_position) {
    if (by_position) return item < menu.items.size() ? static_cast<int>(item) : -1;
    for (size_t i = 0; i < menu.items.size(); ++i)
        if (menu.items[i].id == item && !(menu.items[i].type & MFT_SEPARATOR)) return static_cast<int>(i);
    return -1;
}

}  // namespace

void DestroyMenus(HWND owner) {
    MenuState& m = M();
    for (auto it = m.menus.begin(); it != m.menus.end();) {
        if (it->second.owner == owner) {
            it = m.menus.erase(it);
        } else {
            ++it;
        }
    }
    if (m.context_help == owner) m.context_help = nullptr;
}

void ResetMenus() {
    M() = MenuState{};
}

void TrackSystemMenu(HWND hwnd) {
    const HWND top = TopLevelOf(hwnd);
    Window* w = Find(top);
    hostwin::Desktop* desktop = AttachedDesktop();
    if (w == nullptr || !(w->style & WS_SYSMENU) || desktop == nullptr) return;
    const HMENU menu = GetSystemMenu(top, FALSE);
    SendMessageA(top, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    const UINT chosen = desktop->TrackMenu(top, menu);
    if (chosen != 0 && Find(top) != nullptr) SendMessageA(top, WM_SYSCOMMAND, chosen, 0);
}

void EnterContextHelp(HWND hwnd) {
    M().context_help = TopLevelOf(hwnd);
}

bool ContextHelpClick(HWND control) {
    MenuState& m = M();
    if (m.context_help == nullptr) return false;
    if (TopLevelOf(control) != m.context_help) {
        m.context_help = nullptr;
        return false;
    }
    m.context_help = nullptr;
    Window* w = Find(control);
    HELPINFO info = {};
    info.cbSize = sizeof info;
    info.iContextType = HELPINFO_WINDOW;
    info.iCtrlId = (w != nullptr && (w->style & WS_CHILD)) ? static_cast<int>(w->id) : 0;
    info.hItemHandle = control;
    SendMessageA(control, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    return true;
}

}  // namespace hostwin::user

using hostwin::user::Find;
using hostwin::user::MenuOf;

HMENU WINAPI GetSystemMenu(HWND hWnd, BOOL bRevert) {
    hostwin::user::Window* w = Find(hWnd);
    if (w == nullptr) return nullptr;
    if (bRevert) {
        hostwin::user::M().menus.erase(reinterpret_cast<uintptr_t>(w->system_menu));
        w->system_menu = nullptr;
        return nullptr;
    }
    if (MenuOf(w->system_menu) == nullptr) w->system_menu = hostwin::user::NewSystemMenu(hWnd);
    return w->system_menu;
}

BOOL WINAPI InsertMenuItemA(HMENU hmenu, UINT item, BOOL fByPosition, LPCMENUITEMINFOA lpmi) {
    using namespace hostwin::user;
    Menu* menu = MenuOf(hmenu);
    if (menu == nullptr) {
        SetLastError(kErrorInvalidMenuHandle);
        return FALSE;
    }
    if (lpmi == nullptr || lpmi->cbSize < offsetof(MENUITEMINFOA, hbmpItem)) {
        SetLastError(87);
        return FALSE;
    }
    int at;
    if (fByPosition) {
        at = item >= menu->items.size() ? static_cast<int>(menu->items.size()) : static_cast<int>(item);
    } else {
        at = Locate(*menu, item, FALSE);
        if (at < 0) {
            SetLastError(kErrorMenuItemNotFound);
            return FALSE;
        }
    }
    MenuItem mi;
    if (lpmi->fMask & MIIM_TYPE) {
        mi.type = lpmi->fType;
        if (!(mi.type & MFT_SEPARATOR) && lpmi->dwTypeData != nullptr) mi.text = lpmi->dwTypeData;
    }
    if (lpmi->fMask & MIIM_FTYPE) mi.type = lpmi->fType;
    if ((lpmi->fMask & MIIM_STRING) && lpmi->dwTypeData != nullptr) mi.text = lpmi->dwTypeData;
    if (lpmi->fMask & MIIM_STATE) mi.state = lpmi->fState;
    if (lpmi->fMask & MIIM_ID) mi.id = lpmi->wID;
    if (lpmi->fMask & MIIM_DATA) mi.data = lpmi->dwItemData;
    if (lpmi->fMask & MIIM_SUBMENU) mi.submenu = lpmi->hSubMenu;
    menu->items.insert(menu->items.begin() + at, mi);
    return TRUE;
}

BOOL WINAPI GetMenuItemInfoA(HMENU hmenu, UINT item, BOOL fByPosition, LPMENUITEMINFOA lpmii) {
    using namespace hostwin::user;
    Menu* menu = MenuOf(hmenu);
    if (menu == nullptr) {
        SetLastError(kErrorInvalidMenuHandle);
        return FALSE;
    }
    if (lpmii == nullptr || lpmii->cbSize < offsetof(MENUITEMINFOA, hbmpItem)) {
        SetLastError(87);
        return FALSE;
    }
    const int at = Locate(*menu, item, fByPosition);
    if (at < 0) {
        SetLastError(kErrorMenuItemNotFound);
        return FALSE;
    }
    const MenuItem& mi = menu->items[static_cast<size_t>(at)];
    if (lpmii->fMask & (MIIM_TYPE | MIIM_FTYPE)) lpmii->fType = mi.type;
    if (lpmii->fMask & MIIM_STATE) lpmii->fState = mi.state;
    if (lpmii->fMask & MIIM_ID) lpmii->wID = mi.id;
    if (lpmii->fMask & MIIM_DATA) lpmii->dwItemData = mi.data;
    if (lpmii->fMask & MIIM_SUBMENU) lpmii->hSubMenu = mi.submenu;
    if (lpmii->fMask & (MIIM_TYPE | MIIM_STRING)) {
        if (lpmii->dwTypeData != nullptr && lpmii->cch > 0) {
            const size_t n = std::min(mi.text.size(), static_cast<size_t>(lpmii->cch) - 1);
            std::memcpy(lpmii->dwTypeData, mi.text.data(), n);
            lpmii->dwTypeData[n] = '\0';
        }
        lpmii->cch = static_cast<UINT>(mi.text.size());
    }
    return TRUE;
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
    hostwin::user::Menu* menu = MenuOf(hMenu);
    if (menu == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidMenuHandle);
        return -1;
    }
    return static_cast<int>(menu->items.size());
}

UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
    hostwin::user::Menu* menu = MenuOf(hMenu);
    if (menu == nullptr || nPos < 0 || static_cast<size_t>(nPos) >= menu->items.size()) return 0xFFFFFFFFu;
    const hostwin::user::MenuItem& mi = menu->items[static_cast<size_t>(nPos)];
    return mi.submenu != nullptr ? 0xFFFFFFFFu : mi.id;
}

BOOL WINAPI IsMenu(HMENU hMenu) {
    return MenuOf(hMenu) != nullptr;
}
