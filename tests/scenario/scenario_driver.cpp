// The scenario driver's core; see scenario_driver.h. Only the Windows API
// subset of the platform seam is used here.
#include "scenario_driver.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "dialog_template.h"
#include "res/resource.h"

namespace scenario {
namespace {

// Dialogs of the applet: a window made from one of them is named by its
// template id when no step expected it.
constexpr int kAppletTemplates[] = {IDD_PROFILE, IDD_BASIC, IDD_ENCRYPTION, IDD_ADVANCED,
                                    IDD_ADMIN,   IDD_ABOUT, IDD_ADAPTER};

// The text of a message box is the static control with this id.
constexpr int kMessageBoxTextId = 0xFFFF;

constexpr size_t kTextSize = 1024;

std::string WindowText(HWND window) {
    char text[kTextSize] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

const char* ActionName(Action action) {
    switch (action) {
        case Action::ExpectDialog:
            return "ExpectDialog";
        case Action::ExpectSheet:
            return "ExpectSheet";
        case Action::ExpectPage:
            return "ExpectPage";
        case Action::ExpectTabs:
            return "ExpectTabs";
        case Action::Type:
            return "Type";
        case Action::PressKey:
            return "PressKey";
        case Action::Click:
            return "Click";
        case Action::Choose:
            return "Choose";
        case Action::ChooseByKeys:
            return "ChooseByKeys";
        case Action::SelectPage:
            return "SelectPage";
        case Action::ClickTab:
            return "ClickTab";
        case Action::PressSheetButton:
            return "PressSheetButton";
        case Action::ExpectMessageBox:
            return "ExpectMessageBox";
        case Action::AnswerMessageBox:
            return "AnswerMessageBox";
        case Action::ExpectText:
            return "ExpectText";
        case Action::ExpectCheck:
            return "ExpectCheck";
        case Action::ExpectEnabled:
            return "ExpectEnabled";
        case Action::ExpectVisible:
            return "ExpectVisible";
        case Action::ExpectHelp:
            return "ExpectHelp";
        case Action::ExpectBeeps:
            return "ExpectBeeps";
        case Action::ExpectExitWindows:
            return "ExpectExitWindows";
        case Action::ExpectTokenCalls:
            return "ExpectTokenCalls";
        case Action::Do:
            return "Do";
    }
    return "?";
}

std::string BaseName(const char* path) {
    std::string p = path;
    const size_t slash = p.find_last_of("/\\");
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

// The ids of the controls, low 16 bits (a plain template holds -1 as 0xFFFF,
// an extended one as 0xFFFFFFFF), sorted.
std::vector<uint32_t> ChildIds(HWND window) {
    std::vector<uint32_t> ids;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        ids.push_back(static_cast<uint32_t>(GetDlgCtrlID(child)) & 0xFFFF);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::string IdList(const std::vector<uint32_t>& ids) {
    std::string list;
    for (uint32_t id : ids) list += (list.empty() ? "" : " ") + std::to_string(id == 0xFFFF ? -1 : int(id));
    return "{" + list + "}";
}

LPARAM KeyData(bool up) {
    return up ? static_cast<LPARAM>(0xC0000001u) : 1;
}

HWND CurrentPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}
HWND TabControl(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
}

}  // namespace

bool KeyForCharacter(char ch, UINT* virtual_key, bool* shift) {
    *shift = false;
    if (ch >= 'a' && ch <= 'z') {
        *virtual_key = static_cast<UINT>(ch - 'a' + 'A');
        return true;
    }
    if (ch >= 'A' && ch <= 'Z') {
        *virtual_key = static_cast<UINT>(ch);
        *shift = true;
        return true;
    }
    if (ch >= '0' && ch <= '9') {
        *virtual_key = static_cast<UINT>(ch);
        return true;
    }
    // The other keys of a US keyboard: the character, its key and Shift.
    // 0xBA to 0xDE are the keys the platform calls VK_OEM_1 ... VK_OEM_7.
    struct Key {
        char ch;
        UINT vk;
        bool shift;
    };
    static const Key kKeys[] = {
        {' ', VK_SPACE, false}, {'\b', VK_BACK, false}, {'\t', VK_TAB, false}, {'\r', VK_RETURN, false},
        {')', '0', true},       {'!', '1', true},       {'@', '2', true},      {'#', '3', true},
        {'$', '4', true},       {'%', '5', true},       {'^', '6', true},      {'&', '7', true},
        {'*', '8', true},       {'(', '9', true},       {';', 0xBA, false},    {':', 0xBA, true},
        {'=', 0xBB, false},     {'+', 0xBB, true},      {',', 0xBC, false},    {'<', 0xBC, true},
        {'-', 0xBD, false},     {'_', 0xBD, true},      {'.', 0xBE, false},    {'>', 0xBE, true},
        {'/', 0xBF, false},     {'?', 0xBF, true},      {'`', 0xC0, false},    {'~', 0xC0, true},
        {'[', 0xDB, false},     {'{', 0xDB, true},      {'\\', 0xDC, false},   {'|', 0xDC, true},
        {']', 0xDD, false},     {'}', 0xDD, true},      {'\'', 0xDE, false},   {'"', 0xDE, true},
    };
    for (const Key& key : kKeys) {
        if (key.ch == ch) {
            *virtual_key = key.vk;
            *shift = key.shift;
            return true;
        }
    }
    return false;
}

char CharacterOfKey(UINT virtual_key) {
    switch (virtual_key) {
        case VK_SPACE:
            return ' ';
        case VK_RETURN:
            return '\r';
        case VK_TAB:
            return '\t';
        case VK_BACK:
            return '\b';
        case VK_ESCAPE:
            return 0x1B;
        default:
            break;
    }
    if (virtual_key >= 'A' && virtual_key <= 'Z') return static_cast<char>(virtual_key - 'A' + 'a');
    if (virtual_key >= '0' && virtual_key <= '9') return static_cast<char>(virtual_key);
    return 0;
}

Driver::Driver(HINSTANCE module, std::vector<Step> steps, const Options& options, Backend& backend)
    : module_(module),
      steps_(std::move(steps)),
      options_(options),
      backend_(backend),
      boxes_seen_(MessageBoxCalls().size()),
      help_seen_(HelpCalls().size()),
      beeps_seen_(Beeps().size()),
      exits_seen_(ExitWindowsCalls().size()),
      tokens_seen_(TokenCalls().size()),
      start_(std::chrono::steady_clock::now()) {
    for (int id : kAppletTemplates) options_.templates.push_back(id);
}

Driver::~Driver() = default;

// ---- Windows as the backend reports them --------------------------------------

void Driver::Created(HWND window) {
    created_.push_back(window);
}

void Driver::Activated(HWND window) {
    if (window == nullptr) return;
    created_.erase(std::remove(created_.begin(), created_.end(), window), created_.end());
    for (const auto& w : windows_) {
        if (w->hwnd == window) return;  // active again after a window it owned went
    }
    auto w = std::make_shared<Window>();
    w->hwnd = window;
    w->title = WindowText(window);
    if (MessageBoxCalls().size() > boxes_seen_) {
        // MessageBoxA was called and this window is its box.
        w->kind = Kind::MessageBox;
        w->box = boxes_seen_++;
    } else if (TabControl(window) != nullptr) {
        w->kind = Kind::Sheet;
        HWND page = CurrentPage(window);
        if (page != nullptr) w->template_id = IdentifyDialog(page);
    } else {
        w->kind = Kind::Dialog;
        w->template_id = IdentifyDialog(window);
    }
    windows_.push_back(std::move(w));
}

void Driver::Destroying(HWND window) {
    created_.erase(std::remove(created_.begin(), created_.end(), window), created_.end());
    for (auto it = windows_.begin(); it != windows_.end(); ++it) {
        if ((*it)->hwnd != window) continue;
        if (!(*it)->claimed && !failed_) Fail("unexpected window, closed before a step saw it: " + Describe(**it));
        windows_.erase(it);
        return;
    }
}

bool Driver::Tick(HWND modal) {
    const bool over_time =
        std::chrono::steady_clock::now() - start_ > std::chrono::milliseconds(options_.time_limit_ms);
    if (windows_.empty()) {
        // A dialog that was made but is never shown.
        if (over_time && !created_.empty()) {
            if (!failed_)
                Fail("time limit of " + std::to_string(options_.time_limit_ms) + " ms passed, a dialog never shown");
            DestroyWindow(created_.back());
        }
        return true;
    }
    const std::shared_ptr<Window> top = windows_.back();  // kept while nested loops change the list
    if (!failed_ && over_time) {
        Fail("time limit of " + std::to_string(options_.time_limit_ms) + " ms passed in " + Describe(*top) +
             (next_ < steps_.size() ? "; next step " + DescribeStep(next_) : ""));
    }
    // A window on its way: wait for it (unless it never comes).
    bool waiting = !created_.empty();
    if (modal != nullptr) {
        waiting = std::none_of(windows_.begin(), windows_.end(), [modal](const auto& w) { return w->hwnd == modal; });
    }
    if (waiting && !over_time) return true;
    if (failed_) return Close(*top);
    if (next_ >= steps_.size()) {
        Fail("no step left for " + Describe(*top));
        return Close(*top);
    }
    const size_t index = next_;
    const Step& step = steps_[index];
    if (!top->claimed && !IsExpectation(step)) {
        Fail("unexpected window " + Describe(*top) + "; the next step is " + DescribeStep(index));
        return Close(*top);
    }
    const bool several_ticks = step.action == Action::Choose || step.action == Action::ChooseByKeys;
    if (!several_ticks) Consume();
    error_.clear();
    const Result result = Execute(step, *top);
    if (result == Result::Again) {
        ++phase_;
    } else if (result == Result::Failed) {
        if (next_ == index) Consume();
        Fail(DescribeStep(index) + ": " + error_ + "; active window: " + Describe(*top));
    }
    return true;
}

void Driver::Consume() {
    ++next_;
    phase_ = 0;
}

::testing::AssertionResult Driver::Finish() {
    // Checks of recorded calls that need no window may follow the last one.
    while (!failed_ && next_ < steps_.size()) {
        const Step& step = steps_[next_];
        if (!RecordedCallStep(step) || step.action == Action::ExpectHelp) break;
        const size_t index = next_;
        Consume();
        error_.clear();
        if (CheckRecorded(step, nullptr) == Result::Failed) Fail(DescribeStep(index) + ": " + error_);
    }
    if (!failed_ && next_ < steps_.size()) {
        Fail("the code returned with " + std::to_string(steps_.size() - next_) + " step(s) left, the first " +
             DescribeStep(next_));
    }
    if (!failed_) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << failures_;
}

bool Driver::Fail(const std::string& why) {
    failed_ = true;
    failures_ += why + "\n";
    return false;
}

// After a failure: close the active window so that the code under test
// returns; a window that will not close is destroyed, and the host's modal
// loop is told to give up on one that still will not go.
bool Driver::Close(Window& top) {
    if (!IsWindow(top.hwnd)) {
        Destroying(top.hwnd);
        return true;
    }
    ++top.close_attempts;
    if (top.close_attempts > 20) return false;
    if (top.close_attempts > 10) {
        DestroyWindow(top.hwnd);
        return true;
    }
    switch (top.kind) {
        case Kind::MessageBox:
            for (int button : {IDCANCEL, IDNO, IDOK, IDABORT, IDIGNORE, IDRETRY, IDYES}) {
                HWND control = GetDlgItem(top.hwnd, button);
                if (control == nullptr) continue;
                SendMessageA(top.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
                break;
            }
            break;
        case Kind::Sheet:
            SendMessageA(top.hwnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            break;
        case Kind::Dialog:
            EndDialog(top.hwnd, IDCANCEL);
            break;
    }
    return true;
}

// ---- Naming windows and steps ---------------------------------------------------

std::string Driver::Describe(const Window& window) const {
    switch (window.kind) {
        case Kind::MessageBox: {
            const auto boxes = MessageBoxCalls();
            const std::string text = window.box < boxes.size() ? boxes[window.box].text : "?";
            return "message box " + Quoted(text) + " captioned " + Quoted(window.title);
        }
        case Kind::Sheet:
            return "property sheet " + Quoted(window.title) +
                   (window.template_id != 0 ? " showing page " + std::to_string(window.template_id) : "");
        case Kind::Dialog:
            break;
    }
    return "dialog " + (window.template_id != 0 ? std::to_string(window.template_id) : std::string("(unknown)")) + " " +
           Quoted(window.title);
}

std::string Driver::DescribeStep(size_t index) const {
    const Step& step = steps_[index];
    std::ostringstream out;
    out << "step " << index + 1 << " (" << ActionName(step.action) << " at " << BaseName(step.where.file_name()) << ":"
        << step.where.line() << ")";
    return out.str();
}

// ---- Templates ------------------------------------------------------------------

const hostwin::DialogTemplate* Driver::Template(int id) {
    auto found = templates_.find(id);
    if (found != templates_.end()) return found->second.get();
    std::unique_ptr<hostwin::DialogTemplate> parsed;
    HRSRC resource = FindResourceA(module_, MAKEINTRESOURCEA(id), RT_DIALOG);
    HGLOBAL loaded = resource != nullptr ? LoadResource(module_, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
        parsed = std::make_unique<hostwin::DialogTemplate>();
        std::string error;
        if (!hostwin::ParseDialogTemplate(bytes, SizeofResource(module_, resource), parsed.get(), &error)) {
            parsed.reset();
        }
    }
    return (templates_[id] = std::move(parsed)).get();
}

bool Driver::MatchesTemplate(HWND window, int id, std::string* why) {
    const hostwin::DialogTemplate* t = Template(id);
    if (t == nullptr) {
        *why = "template " + std::to_string(id) + " is not in the module";
        return false;
    }
    const std::string title = WindowText(window);
    if (title != t->title) {
        *why = "the title is " + Quoted(title) + ", template " + std::to_string(id) + " has " + Quoted(t->title);
        return false;
    }
    std::vector<uint32_t> expected;
    for (const auto& item : t->items) expected.push_back(item.id & 0xFFFF);
    std::sort(expected.begin(), expected.end());
    const std::vector<uint32_t> ids = ChildIds(window);
    if (ids != expected) {
        *why = "the controls are " + IdList(ids) + ", template " + std::to_string(id) + " has " + IdList(expected);
        return false;
    }
    return true;
}

int Driver::IdentifyDialog(HWND window) {
    std::string why;
    for (int id : options_.templates) {
        if (MatchesTemplate(window, id, &why)) return id;
    }
    return 0;
}

// ---- Controls ---------------------------------------------------------------------

HWND Driver::Control(const Window& top, int id, std::string* why) {
    HWND control = nullptr;
    if (top.kind == Kind::Sheet) {
        HWND page = CurrentPage(top.hwnd);
        if (page != nullptr) control = GetDlgItem(page, id);
    }
    if (control == nullptr) control = GetDlgItem(top.hwnd, id);
    if (control == nullptr) *why = "there is no control " + std::to_string(id);
    return control;
}

// A control a person can use: there, enabled and visible.
HWND Driver::UsableControl(const Window& top, int id, std::string* why) {
    HWND control = Control(top, id, why);
    if (control == nullptr) return nullptr;
    if (!IsWindowVisible(control)) {
        *why = "control " + std::to_string(id) + " is hidden";
        return nullptr;
    }
    if (!IsWindowEnabled(control)) {
        *why = "control " + std::to_string(id) + " is disabled";
        return nullptr;
    }
    return control;
}

bool Driver::IsExpectation(const Step& step) const {
    return step.action == Action::ExpectDialog || step.action == Action::ExpectSheet ||
           step.action == Action::ExpectMessageBox || step.action == Action::AnswerMessageBox;
}

bool Driver::RecordedCallStep(const Step& step) const {
    return step.action == Action::ExpectHelp || step.action == Action::ExpectBeeps ||
           step.action == Action::ExpectExitWindows || step.action == Action::ExpectTokenCalls;
}

// ---- One step -----------------------------------------------------------------------

Driver::Result Driver::Execute(const Step& step, Window& top) {
    std::string& why = error_;
    switch (step.action) {
        case Action::ExpectDialog:
            if (top.kind != Kind::Dialog) {
                why = "expected dialog " + std::to_string(step.id);
                return Result::Failed;
            }
            if (!MatchesTemplate(top.hwnd, step.id, &why)) return Result::Failed;
            top.claimed = true;
            top.template_id = step.id;
            return Result::Done;

        case Action::ExpectSheet: {
            if (top.kind != Kind::Sheet) {
                why = "expected the property sheet " + Quoted(step.text);
                return Result::Failed;
            }
            const std::string caption = WindowText(top.hwnd);
            if (caption != step.text) {
                why = "the sheet's caption is " + Quoted(caption) + ", expected " + Quoted(step.text);
                return Result::Failed;
            }
            HWND page = CurrentPage(top.hwnd);
            if (page == nullptr) {
                why = "the sheet shows no page";
                return Result::Failed;
            }
            if (!MatchesTemplate(page, step.number, &why)) return Result::Failed;
            top.claimed = true;
            top.template_id = step.number;
            top.title = caption;
            return Result::Done;
        }

        case Action::ExpectPage: {
            if (top.kind != Kind::Sheet) {
                why = "not a property sheet";
                return Result::Failed;
            }
            const int index = static_cast<int>(SendMessageA(TabControl(top.hwnd), TCM_GETCURSEL, 0, 0));
            if (index != step.id) {
                why = "the sheet shows page " + std::to_string(index) + ", expected " + std::to_string(step.id);
                return Result::Failed;
            }
            HWND page = CurrentPage(top.hwnd);
            if (page == nullptr || !MatchesTemplate(page, step.number, &why)) {
                if (page == nullptr) why = "the sheet shows no page";
                return Result::Failed;
            }
            top.template_id = step.number;
            return Result::Done;
        }

        case Action::ExpectTabs: {
            if (top.kind != Kind::Sheet) {
                why = "not a property sheet";
                return Result::Failed;
            }
            HWND tab = TabControl(top.hwnd);
            std::vector<std::string> titles;
            const int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) {
                char text[256] = "";
                TCITEMA item = {};
                item.mask = TCIF_TEXT;
                item.pszText = text;
                item.cchTextMax = sizeof text;
                SendMessageA(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
                titles.push_back(text);
            }
            if (titles != step.texts) {
                why = "the tabs are";
                for (const auto& t : titles) why += " " + Quoted(t);
                why += ", expected";
                for (const auto& t : step.texts) why += " " + Quoted(t);
                return Result::Failed;
            }
            return Result::Done;
        }

        case Action::Type: {
            HWND control = UsableControl(top, step.id, &why);
            if (control == nullptr) return Result::Failed;
            // The focus as Tab gives it: an edit's text is selected.
            SendMessageA(GetParent(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
            if (step.flag) {
                const LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
                SendMessageA(control, EM_SETSEL, static_cast<WPARAM>(length), length);
            }
            for (char ch : step.text) {
                UINT key = 0;
                bool shift = false;
                if (!KeyForCharacter(ch, &key, &shift)) {
                    why = "no key types the character " + std::to_string(static_cast<unsigned char>(ch));
                    return Result::Failed;
                }
                if (!IsWindow(control)) {
                    why = "control " + std::to_string(step.id) + " went while typing";
                    return Result::Failed;
                }
                if (shift) SendMessageA(control, WM_KEYDOWN, VK_SHIFT, KeyData(false));
                SendMessageA(control, WM_KEYDOWN, key, KeyData(false));
                SendMessageA(control, WM_CHAR, static_cast<unsigned char>(ch), KeyData(false));
                SendMessageA(control, WM_KEYUP, key, KeyData(true));
                if (shift) SendMessageA(control, WM_KEYUP, VK_SHIFT, KeyData(true));
            }
            return Result::Done;
        }

        case Action::PressKey:
            backend_.PressKey(top.hwnd, static_cast<UINT>(step.id));
            return Result::Done;

        case Action::Click: {
            HWND control = UsableControl(top, step.id, &why);
            if (control == nullptr) return Result::Failed;
            SendMessageA(control, BM_CLICK, 0, 0);
            return Result::Done;
        }

        case Action::Choose: {
            HWND control = UsableControl(top, step.id, &why);
            if (control == nullptr) return Result::Failed;
            const int count = static_cast<int>(SendMessageA(control, CB_GETCOUNT, 0, 0));
            if (step.number < 0 || step.number >= count) {
                why = "the list has " + std::to_string(count) + " items, no item " + std::to_string(step.number);
                return Result::Failed;
            }
            if (phase_ == 0) {
                // A click on the closed list opens it.
                RECT face = {};
                GetClientRect(control, &face);
                backend_.Click(control, (face.left + face.right) / 2, (face.top + face.bottom) / 2);
                return Result::Again;
            }
            if (SendMessageA(control, CB_GETDROPPEDSTATE, 0, 0) == 0) {
                why = "a click on list " + std::to_string(step.id) + " did not open it";
                return Result::Failed;
            }
            COMBOBOXINFO info = {};
            info.cbSize = sizeof info;
            if (!GetComboBoxInfo(control, &info) || info.hwndList == nullptr) {
                why = "list " + std::to_string(step.id) + " has no drop-down part";
                return Result::Failed;
            }
            // Scrolled to the item if it is out of sight, as a person would.
            RECT item = {}, shown = {};
            GetClientRect(info.hwndList, &shown);
            SendMessageA(info.hwndList, LB_GETITEMRECT, step.number, reinterpret_cast<LPARAM>(&item));
            if (item.top < shown.top || item.bottom > shown.bottom) {
                SendMessageA(info.hwndList, LB_SETTOPINDEX, step.number, 0);
                SendMessageA(info.hwndList, LB_GETITEMRECT, step.number, reinterpret_cast<LPARAM>(&item));
            }
            Consume();
            backend_.Click(info.hwndList, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
            return Result::Done;
        }

        case Action::ChooseByKeys: {
            HWND control = UsableControl(top, step.id, &why);
            if (control == nullptr) return Result::Failed;
            const int count = static_cast<int>(SendMessageA(control, CB_GETCOUNT, 0, 0));
            if (step.number < 0 || step.number >= count) {
                why = "the list has " + std::to_string(count) + " items, no item " + std::to_string(step.number);
                return Result::Failed;
            }
            if (phase_ == 0) SendMessageA(GetParent(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
            const int current = static_cast<int>(SendMessageA(control, CB_GETCURSEL, 0, 0));
            if (current == step.number) {
                Consume();
                return Result::Done;
            }
            if (phase_ > count + 1) {
                why = "the arrow keys do not reach item " + std::to_string(step.number);
                return Result::Failed;
            }
            backend_.PressKey(top.hwnd, current < step.number ? VK_DOWN : VK_UP);
            return Result::Again;
        }

        case Action::SelectPage:
        case Action::ClickTab:
        case Action::PressSheetButton: {
            if (top.kind != Kind::Sheet) {
                why = "not a property sheet";
                return Result::Failed;
            }
            if (step.action == Action::PressSheetButton) {
                SendMessageA(top.hwnd, PSM_PRESSBUTTON, static_cast<WPARAM>(step.id), 0);
                return Result::Done;
            }
            HWND tab = TabControl(top.hwnd);
            const int count = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
            if (step.id < 0 || step.id >= count) {
                why = "the sheet has " + std::to_string(count) + " pages, no page " + std::to_string(step.id);
                return Result::Failed;
            }
            if (step.action == Action::SelectPage) {
                SendMessageA(top.hwnd, PSM_SETCURSEL, static_cast<WPARAM>(step.id), 0);
                return Result::Done;
            }
            RECT r = {};
            SendMessageA(tab, TCM_GETITEMRECT, static_cast<WPARAM>(step.id), reinterpret_cast<LPARAM>(&r));
            backend_.Click(tab, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
            return Result::Done;
        }

        case Action::ExpectMessageBox:
        case Action::AnswerMessageBox: {
            if (top.kind != Kind::MessageBox) {
                why = "expected a message box " + Quoted(step.text);
                return Result::Failed;
            }
            char text[kTextSize] = "";
            GetDlgItemTextA(top.hwnd, kMessageBoxTextId, text, sizeof text);
            const std::string caption = WindowText(top.hwnd);
            const auto boxes = MessageBoxCalls();
            const UINT style = top.box < boxes.size() ? boxes[top.box].style : 0;
            if (text != step.text || caption != step.caption || style != step.style) {
                char styles[64];
                std::snprintf(styles, sizeof styles, "0x%X, expected 0x%X", style, step.style);
                why = "the box says " + Quoted(text) + " captioned " + Quoted(caption) + " in style " + styles +
                      ", expected " + Quoted(step.text) + " captioned " + Quoted(step.caption);
                return Result::Failed;
            }
            top.claimed = true;
            if (step.action == Action::ExpectMessageBox) return Result::Done;
            HWND button = GetDlgItem(top.hwnd, step.id);
            if (button == nullptr) {
                why = "the box has no button " + std::to_string(step.id);
                return Result::Failed;
            }
            SendMessageA(button, BM_CLICK, 0, 0);
            return Result::Done;
        }

        case Action::ExpectText: {
            HWND control = Control(top, step.id, &why);
            if (control == nullptr) return Result::Failed;
            const std::string text = WindowText(control);
            if (text != step.text) {
                why =
                    "control " + std::to_string(step.id) + " reads " + Quoted(text) + ", expected " + Quoted(step.text);
                return Result::Failed;
            }
            return Result::Done;
        }

        case Action::ExpectCheck: {
            HWND control = Control(top, step.id, &why);
            if (control == nullptr) return Result::Failed;
            const int state = static_cast<int>(SendMessageA(control, BM_GETCHECK, 0, 0));
            if (state != step.number) {
                why = "control " + std::to_string(step.id) + " has check state " + std::to_string(state) +
                      ", expected " + std::to_string(step.number);
                return Result::Failed;
            }
            return Result::Done;
        }

        case Action::ExpectEnabled:
        case Action::ExpectVisible: {
            HWND control = Control(top, step.id, &why);
            if (control == nullptr) return Result::Failed;
            const bool enabled = step.action == Action::ExpectEnabled;
            const bool state = enabled ? IsWindowEnabled(control) != 0 : IsWindowVisible(control) != 0;
            if (state != step.flag) {
                why = "control " + std::to_string(step.id) + " is " +
                      (enabled ? (state ? "enabled" : "disabled") : (state ? "visible" : "hidden"));
                return Result::Failed;
            }
            return Result::Done;
        }

        case Action::ExpectHelp:
            return ExpectHelpCalls(step, top);

        case Action::ExpectBeeps:
        case Action::ExpectExitWindows:
        case Action::ExpectTokenCalls:
            return CheckRecorded(step, &top);

        case Action::Do:
            step.run(top.hwnd);
            return Result::Done;
    }
    why = "unknown step";
    return Result::Failed;
}

// ---- Recorded calls -------------------------------------------------------------------

Driver::Result Driver::ExpectHelpCalls(const Step& step, const Window& top) {
    const auto calls = HelpCalls();
    std::vector<HelpCall> recent(calls.begin() + static_cast<std::ptrdiff_t>(std::min(help_seen_, calls.size())),
                                 calls.end());
    help_seen_ = calls.size();
    if (recent.size() != step.help.size()) {
        error_ = std::to_string(recent.size()) + " help call(s) since the last check, expected " +
                 std::to_string(step.help.size());
        return Result::Failed;
    }
    for (size_t i = 0; i < recent.size(); ++i) {
        const ExpectedHelp& want = step.help[i];
        const HelpCall& got = recent[i];
        HWND window = top.hwnd;
        if (want.window.kind == HelpWindow::Page) window = top.kind == Kind::Sheet ? CurrentPage(top.hwnd) : nullptr;
        if (want.window.kind == HelpWindow::Control) window = Control(top, want.window.control, &error_);
        const std::string which = "help call " + std::to_string(i + 1) + ": ";
        if (got.window != window || window == nullptr) {
            error_ = which + "another window than expected";
            return Result::Failed;
        }
        if (got.file != want.file || got.command != want.command) {
            error_ = which + "file " + Quoted(got.file) + " command " + std::to_string(got.command) + ", expected " +
                     Quoted(want.file) + " command " + std::to_string(want.command);
            return Result::Failed;
        }
        if (want.command == HELP_WM_HELP ? got.table != want.table : got.data != want.data) {
            error_ = which +
                     (want.command == HELP_WM_HELP ? "another help table" : "data " + std::to_string(got.data)) +
                     " than expected";
            return Result::Failed;
        }
    }
    return Result::Done;
}

Driver::Result Driver::CheckRecorded(const Step& step, const Window*) {
    auto recent = [](auto all, size_t* seen) {
        decltype(all) out(all.begin() + static_cast<std::ptrdiff_t>(std::min(*seen, all.size())), all.end());
        *seen = all.size();
        return out;
    };
    switch (step.action) {
        case Action::ExpectBeeps: {
            const auto beeps = recent(Beeps(), &beeps_seen_);
            if (beeps != step.beeps) {
                error_ = std::to_string(beeps.size()) + " beep(s) since the last check, expected " +
                         std::to_string(step.beeps.size()) + " (or other types)";
                return Result::Failed;
            }
            return Result::Done;
        }
        case Action::ExpectExitWindows: {
            const auto exits = recent(ExitWindowsCalls(), &exits_seen_);
            bool same = exits.size() == step.exits.size();
            for (size_t i = 0; same && i < exits.size(); ++i) {
                same = exits[i].flags == step.exits[i].flags && exits[i].reason == step.exits[i].reason;
            }
            if (!same) {
                error_ = std::to_string(exits.size()) + " ExitWindowsEx call(s) since the last check, expected " +
                         std::to_string(step.exits.size()) + " (or other flags)";
                return Result::Failed;
            }
            return Result::Done;
        }
        case Action::ExpectTokenCalls: {
            const auto tokens = recent(TokenCalls(), &tokens_seen_);
            if (tokens != step.texts) {
                error_ = "privilege calls since the last check:";
                for (const auto& t : tokens) error_ += " " + t;
                return Result::Failed;
            }
            return Result::Done;
        }
        default:
            break;
    }
    error_ = "not a check of recorded calls";
    return Result::Failed;
}

}  // namespace scenario
