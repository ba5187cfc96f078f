// The host layer's windows: the window table, creation and destruction,
// window data, messages and the thread's queue, focus, capture and
// activation, positions, and the input a desktop posts.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>

#include "hostctl_user.h"
#include "user_internal.h"

namespace hostwin::user {
namespace {

constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorInvalidIndex = 1413;
constexpr DWORD kErrorCannotFindWndClass = 1407;

// Sizes of the non-client parts, in pixels.
constexpr int kCaptionHeight = 18;
constexpr int kDialogFrame = 3;
constexpr int kBorder = 1;

struct QueuedMessage {
    MSG msg;
    unsigned modifiers;
    bool input;
    // Keyboard input goes to the window that has the focus when it is read,
    // as the hardware's does.
    bool to_focus = false;
};

struct State {
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    std::vector<std::unique_ptr<Window>> graveyard;
    uintptr_t next_handle = 0x10010;
    HWND desktop = nullptr;
    int desktop_width = 1024;
    int desktop_height = 768;
    HWND focus = nullptr;
    HWND capture = nullptr;
    HWND active = nullptr;
    std::deque<QueuedMessage> queue;
    unsigned held_modifiers = 0;
    bool swallow_button_up = false;
    int depth = 0;  // messages being handled
    hostwin::Desktop* attached = nullptr;
};

State& S() {
    static State s;
    return s;
}

HWND NewHandle() {
    State& s = S();
    const uintptr_t value = s.next_handle;
    s.next_handle += 2;
    return reinterpret_cast<HWND>(value);
}

Window* EnsureDesktop() {
    State& s = S();
    if (s.desktop != nullptr) return s.windows[reinterpret_cast<uintptr_t>(s.desktop)].get();
    auto w = std::make_unique<Window>();
    w->handle = NewHandle();
    w->kind = Kind::Desktop;
    w->class_name = "#32769";
    w->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    w->rect = {0, 0, s.desktop_width, s.desktop_height};
    w->proc = w->class_proc = DefWindowProcA;
    s.desktop = w->handle;
    Window* raw = w.get();
    s.windows[reinterpret_cast<uintptr_t>(w->handle)] = std::move(w);
    return raw;
}


struct ClassEntry {
    const char* name;
    Kind kind;
    WNDPROC proc;
};

const ClassEntry kClasses[] = {
    {"Button", Kind::Button, ButtonProc},         {"Edit", Kind::Edit, EditProc},
    {"Static", Kind::Static, StaticProc},         {"ComboBox", Kind::ComboBox, ComboBoxProc},
    {"ComboLBox", Kind::ComboList, ComboListProc}, {WC_TABCONTROLA, Kind::Tab, TabProc},
    {"#32770", Kind::Dialog, DialogClassProc},
};

bool SameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return i == a.size() && b[i] == '\0';
}

const ClassEntry* FindClass(const std::string& name) {
    for (const ClassEntry& c : kClasses)
        if (SameName(name, c.name)) return &c;
    return nullptr;
}

// The screen position of a window's client area.
POINT ClientOrigin(const Window* w) {
    POINT p = {0, 0};
    while (w != nullptr && w->kind != Kind::Desktop) {
        int frame, caption;
        NonClient(w, &frame, &caption);
        p.x += w->rect.left + frame;
        p.y += w->rect.top + frame + caption;
        if (!(w->style & WS_CHILD)) break;
        w = Find(w->parent);
    }
    return p;
}

// Destroys a window and what it owns: WM_DESTROY to the window before its
// children, WM_NCDESTROY after them.
void DestroyTree(HWND hwnd) {
    State& s = S();
    Window* w = Find(hwnd);
    if (w == nullptr || w->destroying) return;
    w->destroying = true;
    // Owned windows go first, as on Windows.
    std::vector<HWND> owned;
    for (auto& [value, other] : s.windows)
        if (other->owner == hwnd && IsTopLevel(other.get())) owned.push_back(other->handle);
    for (HWND o : owned) DestroyWindow(o);
    if (IsTopLevel(w) && s.attached != nullptr) s.attached->Destroying(hwnd);
    if (s.capture == hwnd) ReleaseCapture();
    if (s.focus == hwnd || (s.focus != nullptr && IsChild(hwnd, s.focus))) {
        // The window keeps the focus while it goes; nothing gets it back.
        s.focus = nullptr;
    }
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    w = Find(hwnd);
    if (w != nullptr) {
        const std::vector<HWND> children = w->children;
        for (HWND c : children) DestroyTree(c);
    }
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    w = Find(hwnd);
    if (w == nullptr) return;
    if (Window* parent = (w->style & WS_CHILD) ? Find(w->parent) : nullptr) {
        auto& c = parent->children;
        c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
    }
    DestroyMenus(hwnd);
    const HWND owner = w->owner;
    const bool was_active = s.active == hwnd;
    auto it = s.windows.find(reinterpret_cast<uintptr_t>(hwnd));
    s.graveyard.push_back(std::move(it->second));
    s.windows.erase(it);
    if (s.capture == hwnd) s.capture = nullptr;
    if (was_active) {
        s.active = nullptr;
        if (Find(owner) != nullptr && owner != s.desktop) Activate(owner);
    }
    CollectGarbage();
}

HWND NextSibling(const Window* w, bool previous) {
    const Window* parent = Find(w->parent);
    if (parent == nullptr) return nullptr;
    const auto& c = parent->children;
    auto it = std::find(c.begin(), c.end(), w->handle);
    if (it == c.end()) return nullptr;
    if (previous) return it == c.begin() ? nullptr : *(it - 1);
    ++it;
    return it == c.end() ? nullptr : *it;
}

void EnumDescendants(HWND hwnd, std::vector<HWND>* out) {
    Window* w = Find(hwnd);
    if (w == nullptr) return;
    for (HWND c : w->children) {
        out->push_back(c);
        EnumDescendants(c, out);
    }
}

}  // namespace

bool IsTopLevel(const Window* w) {
    return (w->style & WS_CHILD) == 0 && w->kind != Kind::Desktop;
}

// Non-client sizes of a window: frame on each side, caption on top.
void NonClient(const Window* w, int* frame, int* caption) {
    *frame = 0;
    *caption = 0;
    if (w->kind == Kind::Desktop) return;
    const bool has_caption = (w->style & WS_CAPTION) == WS_CAPTION;
    if (has_caption || (w->style & WS_DLGFRAME) || (w->ex_style & WS_EX_DLGMODALFRAME) ||
        (w->dialog && (w->style & DS_MODALFRAME) && IsTopLevel(w))) {
        *frame = kDialogFrame;
    } else if (w->style & WS_BORDER) {
        *frame = kBorder;
    }
    if (w->ex_style & WS_EX_CLIENTEDGE) *frame += 2;
    if (w->ex_style & WS_EX_STATICEDGE) *frame += 1;
    if (has_caption) *caption = kCaptionHeight;
}

Window* Find(HWND hwnd) {
    State& s = S();
    if (hwnd == nullptr) return nullptr;
    EnsureDesktop();
    auto it = s.windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == s.windows.end() ? nullptr : it->second.get();
}

Window& DesktopWindow() {
    return *EnsureDesktop();
}

HWND Create(const CreateParams& params) {
    State& s = S();
    EnsureDesktop();
    const ClassEntry* cls = params.dialog ? FindClass("#32770") : FindClass(params.class_name);
    if (cls == nullptr) {
        SetLastError(kErrorCannotFindWndClass);
        return nullptr;
    }
    const bool child = (params.style & WS_CHILD) != 0;
    Window* parent = Find(params.parent);
    if (child && parent == nullptr) {
        SetLastError(kErrorInvalidWindowHandle);
        return nullptr;
    }
    auto w = std::make_unique<Window>();
    w->handle = NewHandle();
    w->kind = cls->kind;
    w->class_name = cls->name;
    w->proc = w->class_proc = cls->proc;
    w->style = params.style;
    w->ex_style = params.ex_style;
    w->id = params.id;
    w->text = params.text;
    w->rect = params.rect;
    w->instance = params.instance;
    if (cls->kind == Kind::Dialog) w->dialog = std::make_unique<DialogData>();
    if (child) {
        w->parent = params.parent;
    } else if (parent != nullptr && parent->kind != Kind::Desktop) {
        w->owner = TopLevelOf(params.parent);
    }
    const HWND hwnd = w->handle;
    s.windows[reinterpret_cast<uintptr_t>(hwnd)] = std::move(w);
    if (child) parent->children.push_back(hwnd);

    CREATESTRUCTA cs = {};
    cs.lpCreateParams = params.param;
    cs.hInstance = params.instance;
    cs.hMenu = reinterpret_cast<HMENU>(params.id);
    cs.hwndParent = params.parent;
    cs.x = params.rect.left;
    cs.y = params.rect.top;
    cs.cx = params.rect.right - params.rect.left;
    cs.cy = params.rect.bottom - params.rect.top;
    cs.style = static_cast<LONG>(params.style);
    cs.lpszName = params.text.c_str();
    cs.lpszClass = cls->name;
    cs.dwExStyle = params.ex_style;
    CreateOrdinal ordinal_scope(params.text_ordinal);
    if (!SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        SetLastError(kErrorCannotFindWndClass);
        return nullptr;
    }
    return hwnd;
}

uint16_t CreateOrdinal::current_ = 0;

HWND TopLevelOf(HWND hwnd) {
    Window* w = Find(hwnd);
    while (w != nullptr && (w->style & WS_CHILD)) {
        Window* p = Find(w->parent);
        if (p == nullptr) break;
        w = p;
    }
    return w == nullptr ? nullptr : w->handle;
}

void Activate(HWND hwnd) {
    State& s = S();
    Window* w = Find(hwnd);
    if (w == nullptr || s.active == hwnd) return;
    if (Window* old = Find(s.active); old != nullptr && old->dialog && s.focus != nullptr &&
                                       (s.focus == old->handle || IsChild(old->handle, s.focus))) {
        old->dialog->focus = s.focus;
    }
    const HWND previous = s.active;
    s.active = hwnd;
    if (Find(previous) != nullptr) SendMessageA(previous, WM_ACTIVATE, 0 /* WA_INACTIVE */, reinterpret_cast<LPARAM>(hwnd));
    SendMessageA(hwnd, WM_ACTIVATE, 1 /* WA_ACTIVE */, reinterpret_cast<LPARAM>(previous));
    w = Find(hwnd);
    if (w != nullptr && w->dialog && s.active == hwnd) {
        HWND f = w->dialog->focus;
        if (Find(f) == nullptr || !IsWindowVisible(f) || !IsWindowEnabled(f)) f = nullptr;
        if (f == nullptr && !(s.focus != nullptr && IsChild(hwnd, s.focus))) f = GetNextDlgTabItem(hwnd, nullptr, FALSE);
        if (f != nullptr) SetFocus(f);
    }
    if (s.attached != nullptr && s.active == hwnd) s.attached->Activated(hwnd);
}

void Changed(HWND hwnd) {
    State& s = S();
    if (s.attached != nullptr && Find(hwnd) != nullptr) s.attached->Changed(TopLevelOf(hwnd));
}

void CollectGarbage() {
    State& s = S();
    if (s.depth == 0) s.graveyard.clear();
}

unsigned HeldModifiers() {
    return S().held_modifiers;
}

void ResetWindows() {
    State& s = S();
    ResetPropertySheets();
    ResetMenus();
    s.windows.clear();
    s.graveyard.clear();
    s.desktop = nullptr;
    s.desktop_width = 1024;
    s.desktop_height = 768;
    s.focus = s.capture = s.active = nullptr;
    s.queue.clear();
    s.held_modifiers = 0;
    s.attached = nullptr;
}

void NotifyParent(HWND control, UINT code) {
    Window* w = Find(control);
    if (w == nullptr) return;
    HWND parent = (w->style & WS_CHILD) ? w->parent : w->owner;
    if (Find(parent) == nullptr) return;
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), code), reinterpret_cast<LPARAM>(control));
}

bool HasMnemonic(const std::string& text, char ch) {
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return lower(text[i + 1]) == lower(ch);
    }
    return false;
}

}  // namespace hostwin::user

using hostwin::user::Find;
using hostwin::user::Kind;
using hostwin::user::S;
using hostwin::user::Window;

namespace hostwin {

Desktop* AttachDesktop(Desktop* desktop) {
    Desktop* previous = user::S().attached;
    user::S().attached = desktop;
    return previous;
}

Desktop* AttachedDesktop() {
    return user::S().attached;
}

void SetDesktopSize(int width, int height) {
    auto& s = user::S();
    s.desktop_width = width;
    s.desktop_height = height;
    user::DesktopWindow().rect = {0, 0, width, height};
}

void PostKeyInput(UINT virtual_key, char ch, unsigned modifiers) {
    auto& s = user::S();
    const bool alt = (modifiers & kModAlt) != 0;
    const LPARAM down = 1 | (static_cast<LPARAM>(static_cast<unsigned char>(ch)) << 16) | (alt ? (1 << 29) : 0);
    const LPARAM up = down | (LPARAM{1} << 30) | (LPARAM{1} << 31);
    s.queue.push_back({{nullptr, static_cast<UINT>(alt ? WM_SYSKEYDOWN : WM_KEYDOWN), virtual_key, down, 0, {}},
                       modifiers,
                       true,
                       true});
    s.queue.push_back(
        {{nullptr, static_cast<UINT>(alt ? WM_SYSKEYUP : WM_KEYUP), virtual_key, up, 0, {}}, modifiers, true, true});
}

void PostClickInput(HWND window, int x, int y) {
    auto& s = user::S();
    if (Find(window) == nullptr) return;
    const LPARAM at = MAKELPARAM(x, y);
    s.queue.push_back({{window, WM_LBUTTONDOWN, 1 /* MK_LBUTTON */, at, 0, {}}, 0, true});
    s.queue.push_back({{window, WM_LBUTTONUP, 0, at, 0, {}}, 0, true});
}

}  // namespace hostwin

// ---- Windows ------------------------------------------------------------------

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
    hostwin::user::CreateParams p;
    p.ex_style = dwExStyle;
    if (lpClassName == nullptr) {
        SetLastError(hostwin::user::kErrorCannotFindWndClass);
        return nullptr;
    }
    p.class_name = IS_INTRESOURCE(lpClassName) ? "" : lpClassName;
    p.text = lpWindowName != nullptr ? lpWindowName : "";
    p.style = dwStyle;
    p.rect = {X, Y, X + nWidth, Y + nHeight};
    p.parent = hWndParent;
    p.id = reinterpret_cast<UINT_PTR>(hMenu);
    p.instance = hInstance;
    p.param = lpParam;
    const HWND hwnd = hostwin::user::Create(p);
    if (hwnd != nullptr && (dwStyle & WS_VISIBLE) && !(dwStyle & WS_CHILD)) hostwin::user::Activate(hwnd);
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    if (Find(hWnd) == nullptr || hWnd == GetDesktopWindow()) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return FALSE;
    }
    hostwin::user::DestroyTree(hWnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    return Find(hWnd) != nullptr;
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    Window* w = Find(hWnd);
    while (w != nullptr && (w->style & WS_CHILD)) {
        if (w->parent == hWndParent) return TRUE;
        w = Find(w->parent);
    }
    return FALSE;
}

HWND WINAPI GetParent(HWND hWnd) {
    Window* w = Find(hWnd);
    if (w == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return nullptr;
    }
    if (w->style & WS_CHILD) return w->parent;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    Window* w = Find(hWnd);
    if (w == nullptr) return nullptr;
    switch (uCmd) {
        case GW_CHILD:
            return w->children.empty() ? nullptr : w->children.front();
        case GW_OWNER:
            return w->owner;
        case GW_HWNDNEXT:
            return hostwin::user::NextSibling(w, false);
        case GW_HWNDPREV:
            return hostwin::user::NextSibling(w, true);
        case GW_HWNDFIRST:
        case GW_HWNDLAST: {
            Window* p = Find(w->parent);
            if (p == nullptr || p->children.empty()) return hWnd;
            return uCmd == GW_HWNDFIRST ? p->children.front() : p->children.back();
        }
        default:
            return nullptr;
    }
}

BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    std::vector<HWND> all;
    hostwin::user::EnumDescendants(hWndParent == nullptr ? GetDesktopWindow() : hWndParent, &all);
    for (HWND h : all) {
        if (Find(h) == nullptr) continue;
        if (!lpEnumFunc(h, lParam)) break;
    }
    return TRUE;
}

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    Window* w = Find(hWnd);
    if (w == nullptr || lpClassName == nullptr || nMaxCount <= 0) return 0;
    const size_t n = std::min(w->class_name.size(), static_cast<size_t>(nMaxCount - 1));
    std::memcpy(lpClassName, w->class_name.data(), n);
    lpClassName[n] = '\0';
    return static_cast<int>(n);
}

HWND WINAPI GetDesktopWindow(void) {
    return hostwin::user::DesktopWindow().handle;
}

// ---- Window data ----------------------------------------------------------------

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    Window* w = Find(hWnd);
    if (w == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return 0;
    }
    switch (nIndex) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
        case GWLP_ID:
            return static_cast<LONG_PTR>(w->id);
        case GWLP_USERDATA:
            return w->user_data;
        case GWL_STYLE:
            return static_cast<LONG>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(w->ex_style);
        default:
            break;
    }
    if (w->dialog && nIndex >= 0 && nIndex % sizeof(LONG_PTR) == 0 && nIndex / sizeof(LONG_PTR) < 3)
        return w->dialog_words[nIndex / sizeof(LONG_PTR)];
    SetLastError(hostwin::user::kErrorInvalidIndex);
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    Window* w = Find(hWnd);
    if (w == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return 0;
    }
    LONG_PTR old = 0;
    switch (nIndex) {
        case GWLP_WNDPROC:
            old = reinterpret_cast<LONG_PTR>(w->proc);
            w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
            return old;
        case GWLP_HINSTANCE:
            old = reinterpret_cast<LONG_PTR>(w->instance);
            w->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
            return old;
        case GWLP_ID:
            old = static_cast<LONG_PTR>(w->id);
            w->id = static_cast<UINT_PTR>(dwNewLong);
            return old;
        case GWLP_USERDATA:
            old = w->user_data;
            w->user_data = dwNewLong;
            return old;
        case GWL_STYLE:
            old = static_cast<LONG>(w->style);
            w->style = static_cast<DWORD>(dwNewLong);
            hostwin::user::Changed(hWnd);
            return old;
        case GWL_EXSTYLE:
            old = static_cast<LONG>(w->ex_style);
            w->ex_style = static_cast<DWORD>(dwNewLong);
            return old;
        default:
            break;
    }
    if (w->dialog && nIndex >= 0 && nIndex % sizeof(LONG_PTR) == 0 && nIndex / sizeof(LONG_PTR) < 3) {
        LONG_PTR& slot = w->dialog_words[nIndex / sizeof(LONG_PTR)];
        old = slot;
        slot = dwNewLong;
        return old;
    }
    SetLastError(hostwin::user::kErrorInvalidIndex);
    return 0;
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex));
}

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, dwNewLong));
}

// ---- Messages ---------------------------------------------------------------------

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(hWnd);
    if (w == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return 0;
    }
    WNDPROC proc = w->proc;
    auto& s = S();
    ++s.depth;
    const LRESULT r = proc != nullptr ? proc(hWnd, Msg, wParam, lParam) : 0;
    --s.depth;
    return r;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd != nullptr && Find(hWnd) == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return FALSE;
    }
    S().queue.push_back({{hWnd, Msg, wParam, lParam, 0, {}}, 0, false});
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
    S().queue.push_back({{nullptr, WM_QUIT, static_cast<WPARAM>(nExitCode), 0, 0, {}}, 0, false});
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (lpPrevWndFunc == nullptr) return 0;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    auto& s = S();
    auto it = s.queue.begin();
    while (it != s.queue.end()) {
        if (it->to_focus) {
            const HWND target = Find(s.focus) != nullptr ? s.focus : s.active;
            if (Find(target) == nullptr) {
                // Nobody to type to: the key is lost.
                it = s.queue.erase(it);
                continue;
            }
            it->msg.hwnd = target;
            it->to_focus = false;
        }
        const MSG& m = it->msg;
        const bool wanted = (hWnd == nullptr || m.hwnd == hWnd || IsChild(hWnd, m.hwnd)) &&
                            ((wMsgFilterMin == 0 && wMsgFilterMax == 0) ||
                             (m.message >= wMsgFilterMin && m.message <= wMsgFilterMax));
        if (!wanted) {
            ++it;
            continue;
        }
        *lpMsg = m;
        if (wRemoveMsg & PM_REMOVE) {
            const bool f1 = it->input && m.message == WM_KEYDOWN && m.wParam == VK_F1;
            if (it->input) s.held_modifiers = it->modifiers;
            it = s.queue.erase(it);
            // The F1 key of the keyboard (never a key message sent by a
            // program) brings the help request behind it.
            if (f1) s.queue.insert(it, {{m.hwnd, WM_KEYF1, 0, 0, 0, {}}, s.held_modifiers, false});
        }
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (lpMsg == nullptr) return FALSE;
    if (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN) return FALSE;
    // The host's keyboard puts the character a key types into the scan code
    // byte of the key's lParam.
    const auto ch = static_cast<unsigned char>((lpMsg->lParam >> 16) & 0xFF);
    if (ch == 0) return FALSE;
    auto& s = S();
    const UINT message = lpMsg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    // Right behind the key, ahead of its release.
    s.queue.push_front({{lpMsg->hwnd, message, ch, lpMsg->lParam, 0, {}}, s.held_modifiers, true});
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
    Window* w = Find(lpMsg->hwnd);
    if (w == nullptr) return 0;
    const UINT m = lpMsg->message;
    if (m >= WM_MOUSEMOVE && m <= WM_LBUTTONDBLCLK) {
        // Mouse input never reaches a disabled window, nor one inside a
        // window a modal dialog has disabled.
        for (Window* x = w; x != nullptr; x = (x->style & WS_CHILD) ? Find(x->parent) : nullptr)
            if (x->style & WS_DISABLED) return 0;
        // In the context help mode of the title bar's "?" a click asks for
        // help instead; its release goes nowhere.
        auto& s = S();
        if (m == WM_LBUTTONDOWN && hostwin::user::ContextHelpClick(lpMsg->hwnd)) {
            s.swallow_button_up = true;
            return 0;
        }
        if (m == WM_LBUTTONUP && s.swallow_button_up) {
            s.swallow_button_up = false;
            return 0;
        }
    }
    return SendMessageA(lpMsg->hwnd, m, lpMsg->wParam, lpMsg->lParam);
}

UINT_PTR WINAPI SetTimer(HWND, UINT_PTR, UINT, TIMERPROC) {
    // The host's modal loops are fed by a desktop, which keeps its own time.
    return 0;
}

BOOL WINAPI KillTimer(HWND, UINT_PTR) {
    return FALSE;
}

// ---- Default processing -----------------------------------------------------------

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(hWnd);
    if (w == nullptr) return 0;
    switch (Msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_SETTEXT:
            w->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
            hostwin::user::Changed(hWnd);
            return TRUE;
        case WM_GETTEXT: {
            if (wParam == 0 || lParam == 0) return 0;
            char* out = reinterpret_cast<char*>(lParam);
            const size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
            std::memcpy(out, w->text.data(), n);
            out[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(w->text.size());
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_SETICON: {
            const int which = wParam == ICON_SMALL ? 0 : 1;
            HICON old = w->icons[which];
            w->icons[which] = reinterpret_cast<HICON>(lParam);
            return reinterpret_cast<LRESULT>(old);
        }
        case WM_GETICON:
            return reinterpret_cast<LRESULT>(w->icons[wParam == ICON_SMALL ? 0 : 1]);
        case WM_KEYF1: {
            // F1 asks for help on the window that has the focus.
            HELPINFO info = {};
            info.cbSize = sizeof info;
            info.iContextType = HELPINFO_WINDOW;
            info.iCtrlId = (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
            info.hItemHandle = hWnd;
            SendMessageA(hWnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
            return 0;
        }
        case WM_SYSKEYDOWN:
            if (lParam & (1 << 29)) {
                if (wParam == VK_SPACE) {
                    SendMessageA(hostwin::user::TopLevelOf(hWnd), WM_SYSCOMMAND, SC_KEYMENU, ' ');
                } else if (wParam == VK_F4) {
                    SendMessageA(hostwin::user::TopLevelOf(hWnd), WM_SYSCOMMAND, SC_CLOSE, 0);
                }
            }
            return 0;
        case WM_SYSCOMMAND:
            switch (wParam & 0xFFF0) {
                case SC_CLOSE:
                    SendMessageA(hWnd, WM_CLOSE, 0, 0);
                    break;
                case SC_KEYMENU:
                    if (lParam == ' ') hostwin::user::TrackSystemMenu(hWnd);
                    break;
                case SC_CONTEXTHELP:
                    hostwin::user::EnterContextHelp(hWnd);
                    break;
                default:
                    break;
            }
            return 0;
        case WM_HELP:
        case WM_CONTEXTMENU:
            // Unhandled, they go up to the parent.
            if ((w->style & WS_CHILD) && Find(w->parent) != nullptr) return SendMessageA(w->parent, Msg, wParam, lParam);
            return Msg == WM_HELP ? TRUE : 0;
        default:
            return 0;
    }
}

// ---- Text --------------------------------------------------------------------------

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (lpString == nullptr || nMaxCount <= 0) return 0;
    lpString[0] = '\0';
    if (Find(hWnd) == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return 0;
    }
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    if (Find(hWnd) == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return FALSE;
    }
    return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0 ? TRUE : FALSE;
}

// ---- State --------------------------------------------------------------------------

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    Window* w = Find(hWnd);
    if (w == nullptr) return FALSE;
    const BOOL was_disabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (bEnable && was_disabled) {
        w->style &= ~WS_DISABLED;
        SendMessageA(hWnd, WM_ENABLE, TRUE, 0);
    } else if (!bEnable && !was_disabled) {
        w->style |= WS_DISABLED;
        auto& s = S();
        if (s.focus == hWnd || IsChild(hWnd, s.focus)) SetFocus(nullptr);
        if (s.capture == hWnd) ReleaseCapture();
        SendMessageA(hWnd, WM_ENABLE, FALSE, 0);
    }
    hostwin::user::Changed(hWnd);
    return was_disabled;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    Window* w = Find(hWnd);
    return w != nullptr && !(w->style & WS_DISABLED);
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    Window* w = Find(hWnd);
    if (w == nullptr) return FALSE;
    const BOOL was_visible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    auto& s = S();
    if (nCmdShow == SW_HIDE) {
        if (!was_visible) return FALSE;
        w->style &= ~WS_VISIBLE;
        SendMessageA(hWnd, WM_SHOWWINDOW, FALSE, 0);
        if (s.focus == hWnd || IsChild(hWnd, s.focus)) {
            Window* x = Find(hWnd);
            const HWND parent = (x != nullptr && (x->style & WS_CHILD)) ? x->parent : nullptr;
            SetFocus(parent);
        }
    } else {
        if (!was_visible) {
            w->style |= WS_VISIBLE;
            SendMessageA(hWnd, WM_SHOWWINDOW, TRUE, 0);
        }
        w = Find(hWnd);
        if (w != nullptr && hostwin::user::IsTopLevel(w) && nCmdShow != SW_SHOWNA && nCmdShow != SW_SHOWNOACTIVATE)
            hostwin::user::Activate(hWnd);
    }
    hostwin::user::Changed(hWnd);
    return was_visible;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
    Window* w = Find(hWnd);
    while (w != nullptr) {
        if (!(w->style & WS_VISIBLE)) return FALSE;
        if (!(w->style & WS_CHILD)) return TRUE;
        w = Find(w->parent);
    }
    return FALSE;
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
    return Find(hWnd) != nullptr;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT*, BOOL) {
    hostwin::user::Changed(hWnd);
    return TRUE;
}

// ---- Positions -----------------------------------------------------------------------

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    Window* w = Find(hWnd);
    if (w == nullptr || lpRect == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return FALSE;
    }
    POINT origin = {0, 0};
    if ((w->style & WS_CHILD) && Find(w->parent) != nullptr) origin = hostwin::user::ClientOrigin(Find(w->parent));
    *lpRect = {origin.x + w->rect.left, origin.y + w->rect.top, origin.x + w->rect.right, origin.y + w->rect.bottom};
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    Window* w = Find(hWnd);
    if (w == nullptr || lpRect == nullptr) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return FALSE;
    }
    int frame, caption;
    hostwin::user::NonClient(w, &frame, &caption);
    const LONG width = w->rect.right - w->rect.left - 2 * frame;
    const LONG height = w->rect.bottom - w->rect.top - 2 * frame - caption;
    *lpRect = {0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL) {
    Window* w = Find(hWnd);
    if (w == nullptr || hWnd == GetDesktopWindow()) {
        SetLastError(hostwin::user::kErrorInvalidWindowHandle);
        return FALSE;
    }
    w->rect = {X, Y, X + nWidth, Y + nHeight};
    SendMessageA(hWnd, WM_WINDOWPOSCHANGED, 0, 0);
    hostwin::user::Changed(hWnd);
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    Window* w = Find(hWnd);
    if (w == nullptr || lpPoint == nullptr) return FALSE;
    const POINT o = hostwin::user::ClientOrigin(w);
    lpPoint->x += o.x;
    lpPoint->y += o.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    Window* w = Find(hWnd);
    if (w == nullptr || lpPoint == nullptr) return FALSE;
    const POINT o = hostwin::user::ClientOrigin(w);
    lpPoint->x -= o.x;
    lpPoint->y -= o.y;
    return TRUE;
}

int WINAPI GetSystemMetrics(int nIndex) {
    auto& s = S();
    switch (nIndex) {
        case SM_CXSCREEN:
            return s.desktop_width;
        case SM_CYSCREEN:
            return s.desktop_height;
        default:
            return 0;
    }
}

// ---- Focus, activation, capture ---------------------------------------------------------

HWND WINAPI SetFocus(HWND hWnd) {
    auto& s = S();
    const HWND previous = s.focus;
    if (hWnd != nullptr) {
        Window* w = Find(hWnd);
        if (w == nullptr) {
            SetLastError(hostwin::user::kErrorInvalidWindowHandle);
            return nullptr;
        }
        if (w->style & WS_DISABLED) return nullptr;
        const HWND top = hostwin::user::TopLevelOf(hWnd);
        if (top != s.active) hostwin::user::Activate(top);
    }
    if (hWnd == s.focus) return previous;
    s.focus = hWnd;
    if (Find(previous) != nullptr) SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (hWnd != nullptr && s.focus == hWnd && Find(hWnd) != nullptr)
        SendMessageA(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    hostwin::user::Changed(hWnd != nullptr ? hWnd : previous);
    return Find(previous) != nullptr ? previous : nullptr;
}

HWND WINAPI GetFocus(void) {
    auto& s = S();
    return Find(s.focus) != nullptr ? s.focus : nullptr;
}

HWND WINAPI GetActiveWindow(void) {
    auto& s = S();
    return Find(s.active) != nullptr ? s.active : nullptr;
}

HWND WINAPI SetActiveWindow(HWND hWnd) {
    const HWND previous = GetActiveWindow();
    Window* w = Find(hWnd);
    if (w == nullptr || !hostwin::user::IsTopLevel(w)) return nullptr;
    hostwin::user::Activate(hWnd);
    return previous;
}

HWND WINAPI GetForegroundWindow(void) {
    return GetActiveWindow();
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    Window* w = Find(hWnd);
    if (w == nullptr) return FALSE;
    hostwin::user::Activate(hostwin::user::TopLevelOf(hWnd));
    return TRUE;
}

HWND WINAPI SetCapture(HWND hWnd) {
    auto& s = S();
    const HWND previous = s.capture;
    if (Find(hWnd) == nullptr) return nullptr;
    s.capture = hWnd;
    if (previous != nullptr && previous != hWnd && Find(previous) != nullptr)
        SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
    return previous;
}

HWND WINAPI GetCapture(void) {
    auto& s = S();
    return Find(s.capture) != nullptr ? s.capture : nullptr;
}

BOOL WINAPI ReleaseCapture(void) {
    auto& s = S();
    const HWND previous = s.capture;
    s.capture = nullptr;
    if (Find(previous) != nullptr) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

SHORT WINAPI GetKeyState(int nVirtKey) {
    const unsigned held = S().held_modifiers;
    bool down = false;
    switch (nVirtKey) {
        case VK_SHIFT:
            down = held & hostwin::kModShift;
            break;
        case VK_CONTROL:
            down = held & hostwin::kModControl;
            break;
        case VK_MENU:
            down = held & hostwin::kModAlt;
            break;
        default:
            break;
    }
    return down ? static_cast<SHORT>(0x8000) : 0;
}
