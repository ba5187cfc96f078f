#include "scenario/applet_ui_fixture.h"

#include "adapter/adapter_location.h"
#include "core/fixed_text.h"
#include "scenario/recorder.h"
#ifndef _WIN32
#include "hostctl.h"
#endif

const std::string AppletUiTest::kDriverKey =
    "System\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0917";

void AppletUiTest::SetUp() {
    RegistryTest::SetUp();
    scenario::ResetRecorder();
#ifndef _WIN32
    // Not the default size, so that nothing relies on it.
    hostwin::SetDesktopSize(800, 600);
#endif
    SeedKey(kDriverKey);
    CopyText(DriverKeyPath, kDriverKey.c_str());
}

HINSTANCE AppletUiTest::Module() {
    return GetModuleHandleA(nullptr);
}

RECT AppletUiTest::Desktop() {
    RECT desktop = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    return desktop;
}
