// The scenario driver's core: what one step does, with the Windows API
// subset alone, so the same code runs on both backends. The backends feed
// it windows as they are activated and destroyed and call Tick once per
// timer tick (Windows) or idle modal loop (host).
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scenario.h"

namespace hostwin {
struct DialogTemplate;
}

namespace scenario {

// What differs between the backends: input that goes through the system's
// input processing rather than straight to a window.
class Backend {
public:
    virtual ~Backend() = default;
    // A key pressed and released where the focus is, in the dialog manager
    // of `top` (a dialog, a sheet or a message box).
    virtual void PressKey(HWND top, UINT virtual_key) = 0;
    // A click of the left button at client point (x, y) of `window`.
    virtual void Click(HWND window, int x, int y) = 0;
};

class Driver {
public:
    Driver(HINSTANCE module, std::vector<Step> steps, const Options& options, Backend& backend);
    ~Driver();

    // A top-level dialog window was created; it is shown and activated when
    // its modal loop first finds its queue empty, and until then no step runs
    // (the steps after the action that opens it are meant for it).
    void Created(HWND window);
    // `window` became the active top-level window.
    void Activated(HWND window);
    // A window is about to be destroyed.
    void Destroying(HWND window);
    // Runs the next step, or closes the active window after a failure.
    // `modal` is the window whose modal loop asks, when the backend knows it:
    // a loop whose window has not been activated yet waits for it. False
    // when the modal loop should give up (a window that would not close).
    bool Tick(HWND modal);
    // After the code under test returned.
    ::testing::AssertionResult Finish();

private:
    enum class Kind { Dialog, Sheet, MessageBox };
    struct Window {
        HWND hwnd = nullptr;
        Kind kind = Kind::Dialog;
        bool claimed = false;  // a step expected it
        int template_id = 0;   // the dialog's, or the sheet's page's at activation; 0 unknown
        std::string title;
        size_t box = 0;  // the message box's recorded call
        int close_attempts = 0;
    };
    enum class Result { Done, Again, Failed };

    Result Execute(const Step& step, Window& top);
    void Consume();  // the step at hand is done: a window its action opens runs the steps after it
    bool Fail(const std::string& why);
    bool Close(Window& top);
    std::string Describe(const Window& window) const;
    std::string DescribeStep(size_t index) const;

    const hostwin::DialogTemplate* Template(int id);
    int IdentifyDialog(HWND window);
    bool MatchesTemplate(HWND window, int id, std::string* why);
    HWND Control(const Window& top, int id, std::string* why);
    HWND UsableControl(const Window& top, int id, std::string* why);
    bool IsExpectation(const Step& step) const;
    bool RecordedCallStep(const Step& step) const;
    Result CheckRecorded(const Step& step, const Window* top);
    Result ExpectHelpCalls(const Step& step, const Window& top);

    HINSTANCE module_;
    std::vector<Step> steps_;
    Options options_;
    Backend& backend_;
    // Open windows the scenario saw, the active one last. Shared, so a step
    // keeps its window while nested modal loops open and close others.
    std::vector<std::shared_ptr<Window>> windows_;
    std::vector<HWND> created_;  // created, not yet activated
    size_t next_ = 0;            // the next step
    int phase_ = 0;              // of a step that takes several ticks
    bool failed_ = false;
    std::string failures_;
    std::string error_;  // the reason the step at hand gives
    size_t boxes_seen_ = 0;
    size_t help_seen_ = 0, beeps_seen_ = 0, exits_seen_ = 0, tokens_seen_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::map<int, std::unique_ptr<hostwin::DialogTemplate>> templates_;
};

// The key a US keyboard types `ch` with, and whether Shift is held.
bool KeyForCharacter(char ch, UINT* virtual_key, bool* shift);
// The character a key types when nothing else takes it (0 for none).
char CharacterOfKey(UINT virtual_key);

}  // namespace scenario
