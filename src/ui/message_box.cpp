#include "ui/message_box.h"

int ShowMessage(HINSTANCE module, UINT text_id, HWND owner, UINT caption_id, UINT style) {
    char caption[kMessageCaptionSize] = "";
    LoadStringA(module, caption_id, caption, sizeof caption);
    char text[kMessageTextSize] = "";
    LoadStringA(module, text_id, text, sizeof text);
    return MessageBoxA(owner, text, caption, style);
}
