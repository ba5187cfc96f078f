// The property sheet that edits the current profile: its pages by network
// type, titled with the profile's name, opened where the applet's window
// was last left.
#pragma once

#include "platform/win.h"

// Runs the sheet modally over `owner` with the pages of the current
// profile's network type; each page record carries `page_parameter`.
// Returns what PropertySheetA returns: positive after OK (1 under Wine 8),
// 0 after Cancel, -1 when the sheet cannot be shown.
INT_PTR ShowProfileSheet(HWND owner, HINSTANCE module, LPARAM page_parameter);

// The sheet callback: when the sheet is set up (PSCB_INITIALIZED) it titles
// the sheet and places it at the remembered position, read again from the
// registry. The result is always 0.
int CALLBACK ProfileSheetCallback(HWND sheet, UINT message, LPARAM lparam) noexcept;

// Makes the sheet's caption "<caption> [<name of the current profile>]"
// ("Edit Configuration [Default]"). A current profile number outside 1 to
// 4 becomes 1 first (in memory).
void SetSheetTitle(HWND sheet);

// The procedure every page is shown with until the pages have their own:
// it handles no notification (the sheet's defaults hold, so every page may
// be left, applied and reset) and lets the dialog manager give the focus.
INT_PTR CALLBACK InterimPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
