// The applet's icon as we keep it: a text file with a colour per pixel
// character and one pixel map per size, and the .ico file made from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace icon_source {

struct Colour {
    char symbol = 0;
    uint8_t r = 0, g = 0, b = 0, a = 0;
};

struct PixelMap {
    int size = 0;                   // width and height in pixels
    std::vector<std::string> rows;  // top row first, one character per pixel
};

struct IconSource {
    std::vector<Colour> colours;  // in the order the file declares them
    std::vector<PixelMap> maps;   // in the order the file gives them
};

// Reads the text form; false with a reason (and its line) when it is not
// well formed: an unknown pixel character, a row of the wrong length, a
// missing row, a colour declared twice, more than 255 opaque colours.
bool ParseIconSource(const std::string& text, IconSource* out, std::string* error);

// A colour's alpha at or above this is opaque in the palette images.
constexpr uint8_t kOpaqueAlpha = 0x80;

// The .ico file: for each map, largest first, an 8-bit palette image with
// its transparency mask; then the same sizes again as 32-bit images with
// alpha. Every byte follows from the source, so the same source always gives
// the same file.
std::vector<uint8_t> EncodeIcon(const IconSource& source);

// The colour of one pixel as 0xAARRGGBB.
uint32_t PixelArgb(const IconSource& source, const PixelMap& map, int x, int y);

}  // namespace icon_source
