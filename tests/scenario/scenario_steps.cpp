// The step table's helper functions: each fills one Step record.
#include <utility>

#include "scenario.h"

namespace scenario {
namespace {

Step Make(Action action, Here where) {
    Step step;
    step.action = action;
    step.where = where;
    return step;
}

}  // namespace

Step ExpectDialog(int id, Here where) {
    Step step = Make(Action::ExpectDialog, where);
    step.id = id;
    return step;
}

Step ExpectSheet(const std::string& caption, int page, Here where) {
    Step step = Make(Action::ExpectSheet, where);
    step.text = caption;
    step.number = page;
    return step;
}

Step ExpectPage(int index, int page, Here where) {
    Step step = Make(Action::ExpectPage, where);
    step.id = index;
    step.number = page;
    return step;
}

Step ExpectTabs(std::vector<std::string> titles, Here where) {
    Step step = Make(Action::ExpectTabs, where);
    step.texts = std::move(titles);
    return step;
}

Step Type(int control, const std::string& text, Here where) {
    Step step = Make(Action::Type, where);
    step.id = control;
    step.text = text;
    return step;
}

Step TypeMore(int control, const std::string& text, Here where) {
    Step step = Type(control, text, where);
    step.flag = true;
    return step;
}

Step PressKey(UINT virtual_key, Here where) {
    Step step = Make(Action::PressKey, where);
    step.id = static_cast<int>(virtual_key);
    return step;
}

Step Click(int control, Here where) {
    Step step = Make(Action::Click, where);
    step.id = control;
    return step;
}

Step Choose(int control, int index, Here where) {
    Step step = Make(Action::Choose, where);
    step.id = control;
    step.number = index;
    return step;
}

Step ChooseByKeys(int control, int index, Here where) {
    Step step = Make(Action::ChooseByKeys, where);
    step.id = control;
    step.number = index;
    return step;
}

Step SelectPage(int index, Here where) {
    Step step = Make(Action::SelectPage, where);
    step.id = index;
    return step;
}

Step ClickTab(int index, Here where) {
    Step step = Make(Action::ClickTab, where);
    step.id = index;
    return step;
}

Step PressSheetButton(int button, Here where) {
    Step step = Make(Action::PressSheetButton, where);
    step.id = button;
    return step;
}

Step ExpectMessageBox(const std::string& text, const std::string& caption, UINT style, Here where) {
    Step step = Make(Action::ExpectMessageBox, where);
    step.text = text;
    step.caption = caption;
    step.style = style;
    return step;
}

Step AnswerMessageBox(int button, const std::string& text, const std::string& caption, UINT style, Here where) {
    Step step = Make(Action::AnswerMessageBox, where);
    step.id = button;
    step.text = text;
    step.caption = caption;
    step.style = style;
    return step;
}

Step ExpectText(int control, const std::string& text, Here where) {
    Step step = Make(Action::ExpectText, where);
    step.id = control;
    step.text = text;
    return step;
}

Step ExpectCheck(int control, int state, Here where) {
    Step step = Make(Action::ExpectCheck, where);
    step.id = control;
    step.number = state;
    return step;
}

Step ExpectEnabled(int control, bool enabled, Here where) {
    Step step = Make(Action::ExpectEnabled, where);
    step.id = control;
    step.flag = enabled;
    return step;
}

Step ExpectVisible(int control, bool visible, Here where) {
    Step step = Make(Action::ExpectVisible, where);
    step.id = control;
    step.flag = visible;
    return step;
}

Step ExpectHelp(std::vector<ExpectedHelp> calls, Here where) {
    Step step = Make(Action::ExpectHelp, where);
    step.help = std::move(calls);
    return step;
}

Step ExpectBeeps(std::vector<UINT> types, Here where) {
    Step step = Make(Action::ExpectBeeps, where);
    step.beeps = std::move(types);
    return step;
}

Step ExpectExitWindows(std::vector<ExitWindowsCall> calls, Here where) {
    Step step = Make(Action::ExpectExitWindows, where);
    step.exits = std::move(calls);
    return step;
}

Step ExpectTokenCalls(std::vector<std::string> calls, Here where) {
    Step step = Make(Action::ExpectTokenCalls, where);
    step.texts = std::move(calls);
    return step;
}

Step Do(std::function<void(HWND)> code, Here where) {
    Step step = Make(Action::Do, where);
    step.run = std::move(code);
    return step;
}

}  // namespace scenario
