// What the tests of the applet's dialogs share: the module that carries the
// applet's resources, a registry with the adapter's driver key, and the
// recorded calls cleared.
#pragma once

#include <string>

#include "platform/reg_fixture.h"
#include "platform/win.h"

class AppletUiTest : public RegistryTest {
protected:
    void SetUp() override;

    // The module the dialogs, strings and icon are loaded from: the test
    // program, which carries the applet's resources (and its own test dialogs).
    static HINSTANCE Module();

    // The driver key the window position is stored in; DriverKeyPath names it.
    static const std::string kDriverKey;

    // The desktop: on the host as the test sets it, under Wine as it is.
    static RECT Desktop();
};
