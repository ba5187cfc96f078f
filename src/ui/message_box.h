// The one routine through which the applet shows its message boxes: the
// message and its caption come from the string table by id.
#pragma once

#include <cstddef>

#include "core/fixed_text.h"
#include "platform/win.h"

// Texts as the string table gives them, at most 255 characters of caption
// and 511 of message, and the message at most 1023 characters once its
// arguments are put in.
constexpr size_t kMessageCaptionSize = 256;
constexpr size_t kMessageTextSize = 512;
constexpr size_t kMessageFormattedSize = 1024;

// Shows the message box (owner may be nullptr) and returns the button that
// closed it (IDOK, IDYES, IDNO), 0 when it could not be shown. Every caption
// id in use holds no text, so the boxes have an empty title.
int ShowMessage(HINSTANCE module, UINT text_id, HWND owner, UINT caption_id, UINT style);

// The same with arguments for the message text, put in as the formats of
// the text ask (%s, %d, %u, %x, %c), cut to 1023 characters. Without
// arguments the text is shown as it stands, so a "%" in it reads nothing.
template <typename... Args>
int ShowMessage(HINSTANCE module, UINT text_id, HWND owner, UINT caption_id, UINT style, Args... args) {
    char caption[kMessageCaptionSize] = "";
    LoadStringA(module, caption_id, caption, sizeof caption);
    char text[kMessageTextSize] = "";
    LoadStringA(module, text_id, text, sizeof text);
    char formatted[kMessageFormattedSize] = "";
    FormatText(formatted, text, args...);
    return MessageBoxA(owner, formatted, caption, style);
}
