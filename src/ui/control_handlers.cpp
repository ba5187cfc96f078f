#include "ui/control_handlers.h"

void InstallHandlers(HWND dialog, ControlHandler* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        ControlHandler& h = table[i];
        h.previous = nullptr;
        const HWND control = GetDlgItem(dialog, h.control_id);
        if (control == nullptr) continue;
        h.previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(h.handler)));
    }
}

void RemoveHandlers(HWND dialog, ControlHandler* table, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        ControlHandler& h = table[i];
        const HWND control = GetDlgItem(dialog, h.control_id);
        if (control != nullptr && h.previous != nullptr)
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(h.previous));
        h.previous = nullptr;
    }
}

LRESULT CallPrevious(const ControlHandler* table, size_t count, HWND control, UINT message, WPARAM wparam,
                     LPARAM lparam) {
    const int id = GetDlgCtrlID(control);
    for (size_t i = 0; i < count; ++i) {
        if (table[i].control_id == id && table[i].previous != nullptr)
            return CallWindowProcA(table[i].previous, control, message, wparam, lparam);
    }
    return 0;
}
