// The scenario driver on the host: a scripted desktop. The host's modal
// loops tell it which window became active and ask it for input whenever
// their queue is empty; each such call runs one step.
#include "hostctl.h"
#include "scenario_driver.h"

namespace scenario {
namespace {

class HostBackend : public Backend {
public:
    void PressKey(HWND, UINT virtual_key) override { hostwin::PostKeyInput(virtual_key, CharacterOfKey(virtual_key)); }
    void Click(HWND window, int x, int y) override { hostwin::PostClickInput(window, x, y); }
};

class ScriptedDesktop : public hostwin::Desktop {
public:
    explicit ScriptedDesktop(Driver& driver) : driver_(driver) {}
    void Activated(HWND window) override { driver_.Activated(window); }
    bool Idle(HWND modal) override { return driver_.Tick(modal); }
    void Destroying(HWND window) override { driver_.Destroying(window); }

private:
    Driver& driver_;
};

}  // namespace

::testing::AssertionResult Play(HINSTANCE module, std::vector<Step> steps, const std::function<void()>& code,
                                const Options& options) {
    HostBackend backend;
    Driver driver(module, std::move(steps), options, backend);
    ScriptedDesktop desktop(driver);
    hostwin::Desktop* previous = hostwin::AttachDesktop(&desktop);
    code();
    hostwin::AttachDesktop(previous);
    return driver.Finish();
}

}  // namespace scenario
