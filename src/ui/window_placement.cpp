// Placing a window at the remembered position and remembering where it is
// (the window calls and the registry around WindowPosition).
#include "adapter/adapter_location.h"
#include "store/registry_access.h"
#include "ui/window_position.h"

void RestoreWindowPosition(HWND window, int reread) {
    if (reread != 0) {
        ReadNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "X_POS", &WindowPosition.X);
        ReadNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "Y_POS", &WindowPosition.Y);
    }
    RECT desktop = {}, rect = {};
    if (!GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(window, &rect)) return;
    const int32_t width = rect.right - rect.left;
    const int32_t height = rect.bottom - rect.top;
    const WindowPlacement place =
        PlaceWindow(WindowPosition.X, WindowPosition.Y, width, height, desktop.right, desktop.bottom);
    if (place.centred) {
        WindowPosition.X = static_cast<uint32_t>(place.x);
        WindowPosition.Y = static_cast<uint32_t>(place.y);
    }
    MoveWindow(window, place.x, place.y, width, height, FALSE);
}

void SaveWindowPosition(HWND window) {
    RECT rect = {};
    // A window that is gone has no position to keep.
    if (!GetWindowRect(window, &rect)) return;
    WindowPosition.X = static_cast<uint32_t>(rect.left);
    WindowPosition.Y = static_cast<uint32_t>(rect.top);
    WriteNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "X_POS", WindowPosition.X);
    WriteNumberValue(HKEY_LOCAL_MACHINE, DriverKeyPath, "Y_POS", WindowPosition.Y);
}
