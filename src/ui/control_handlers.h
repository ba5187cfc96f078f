// Control handlers: a procedure put in front of a control's own window
// procedure when a dialog or page is created, and the control's previous
// procedure put back when it is destroyed. Each dialog keeps one table of
// control id, handler and saved procedure; the handlers see every message
// the control receives (BM_SETCHECK sent by the applet itself included) and
// pass it on through the table.
#pragma once

#include <cstddef>

#include "platform/win.h"

struct ControlHandler {
    int control_id;
    WNDPROC handler;
    WNDPROC previous;  // the control's own procedure while the handler is in front of it
};

// Puts every handler of the table in front of its control, in table order,
// remembering each control's procedure. A control that does not exist is
// left out (its entry keeps no procedure).
void InstallHandlers(HWND dialog, ControlHandler* table, size_t count);
// Puts each remembered procedure back, in table order, and forgets it.
void RemoveHandlers(HWND dialog, ControlHandler* table, size_t count);
// Passes a message on to the remembered procedure of `control`; 0 when the
// table holds none for it.
LRESULT CallPrevious(const ControlHandler* table, size_t count, HWND control, UINT message, WPARAM wparam,
                     LPARAM lparam);

template <size_t N>
void InstallHandlers(HWND dialog, ControlHandler (&table)[N]) {
    InstallHandlers(dialog, table, N);
}
template <size_t N>
void RemoveHandlers(HWND dialog, ControlHandler (&table)[N]) {
    RemoveHandlers(dialog, table, N);
}
template <size_t N>
LRESULT CallPrevious(const ControlHandler (&table)[N], HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
    return CallPrevious(table, N, control, message, wparam, lparam);
}
