// The About box: names the applet file, its variant and its version.
#pragma once

#include <cstddef>

#include "platform/win.h"

// The version line is formatted into a buffer of this size.
constexpr size_t kAboutLineSize = 64;

// The dialog procedure of template 1206. WM_INITDIALOG puts the version
// line into static 1005 and leaves the focus to the dialog manager; any
// command (OK, Enter, Escape) ends the box with the command's id.
INT_PTR CALLBACK AboutBoxProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

// Runs the About box modally over `owner`; returns its end code (the
// profile dialog does not look at it), -1 when it cannot be shown.
INT_PTR ShowAboutBox(HINSTANCE module, HWND owner);
