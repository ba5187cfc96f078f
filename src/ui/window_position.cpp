#include "ui/window_position.h"

WindowPositionType WindowPosition = {};

void ResetWindowPosition() {
    WindowPosition = WindowPositionType{};
}

WindowPlacement PlaceWindow(uint32_t x, uint32_t y, int32_t width, int32_t height, int32_t desktop_right,
                            int32_t desktop_bottom) {
    const uint32_t right = x + static_cast<uint32_t>(width);
    const uint32_t bottom = y + static_cast<uint32_t>(height);
    if (right <= static_cast<uint32_t>(desktop_right) && bottom <= static_cast<uint32_t>(desktop_bottom)) {
        return {static_cast<int32_t>(x), static_cast<int32_t>(y), false};
    }
    // 64-bit, so no edge or size can overflow the difference.
    const int64_t cx = (static_cast<int64_t>(desktop_right) - width) / 2;
    const int64_t cy = (static_cast<int64_t>(desktop_bottom) - height) / 2;
    return {static_cast<int32_t>(cx), static_cast<int32_t>(cy), true};
}
