// The recorded calls on the host: the host layer records them itself.
#include "hostctl.h"
#include "recorder.h"

namespace scenario {

std::vector<HelpCall> HelpCalls() {
    std::vector<HelpCall> calls;
    for (const hostwin::HelpCall& c : hostwin::HelpCalls()) {
        HelpCall call;
        call.window = c.window;
        call.file = c.file;
        call.command = c.command;
        call.data = c.data;
        call.table.assign(c.table.begin(), c.table.end());
        calls.push_back(std::move(call));
    }
    return calls;
}

std::vector<UINT> Beeps() {
    return hostwin::BeepCalls();
}

std::vector<ExitWindowsCall> ExitWindowsCalls() {
    std::vector<ExitWindowsCall> calls;
    for (const hostwin::ExitWindowsCall& c : hostwin::ExitWindowsCalls()) calls.push_back({c.flags, c.reason});
    return calls;
}

std::vector<std::string> TokenCalls() {
    return hostwin::TokenCalls();
}

std::vector<MessageBoxCall> MessageBoxCalls() {
    std::vector<MessageBoxCall> calls;
    for (const hostwin::MessageBoxCall& c : hostwin::MessageBoxCalls()) {
        calls.push_back({c.owner, c.text, c.caption, c.style});
    }
    return calls;
}

void SetOpenProcessTokenFails(bool fails) {
    hostwin::SetOpenProcessTokenFails(fails);
}

// The host forgets its recorded calls with the rest of its user interface
// state; the fixture's ResetUser (or ResetSystem) does that.
void ResetRecorder() {
    hostwin::SetOpenProcessTokenFails(false);
    hostwin::ClearRecordedCalls();
}

}  // namespace scenario
