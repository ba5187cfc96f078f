// The remembered top-left corner of the applet's window, which the profile
// dialog stores when it closes and the property sheet opens at, and the
// rule that decides where a window goes.
#pragma once

#include <cstdint>

#include "platform/win.h"

// Screen pixels; a negative coordinate is kept (and stored) as its 32-bit
// two's complement.
struct WindowPositionType {
    uint32_t X;
    uint32_t Y;
};

extern WindowPositionType WindowPosition;

// (0, 0), as when the module has just been loaded.
void ResetWindowPosition();

struct WindowPlacement {
    int32_t x;
    int32_t y;
    bool centred;  // the window did not fit at the remembered position
};

// Where a window of `width` x `height` goes on a desktop whose right and
// bottom edges are given: at (x, y) when x + width and y + height, summed
// and compared as unsigned 32-bit numbers, stay within the edges (so x -10
// passes with any width of 10 or more); otherwise centred, (right - width)
// / 2 and (bottom - height) / 2 truncated toward zero.
WindowPlacement PlaceWindow(uint32_t x, uint32_t y, int32_t width, int32_t height, int32_t desktop_right,
                            int32_t desktop_bottom);

// Moves `window` (its size unchanged, without repainting) to the remembered
// position, or centres it when it does not fit there; a centred position
// becomes the remembered one but is not stored. With `reread` the position
// is first read from X_POS and Y_POS in the driver key; a missing value
// leaves its coordinate as it was.
void RestoreWindowPosition(HWND window, int reread);

// The window's top-left corner becomes the remembered position and is
// written as X_POS and Y_POS into the driver key; write failures are
// ignored.
void SaveWindowPosition(HWND window);
