// Reading the icon's text source and encoding the .ico file.
#include "icon_source.h"

#include <cstdio>
#include <sstream>

namespace icon_source {
namespace {

const Colour* FindColour(const IconSource& source, char symbol) {
    for (const Colour& c : source.colours) {
        if (c.symbol == symbol) return &c;
    }
    return nullptr;
}

bool ParseHexByte(const std::string& text, size_t at, uint8_t* out) {
    unsigned value = 0;
    for (size_t i = at; i < at + 2; ++i) {
        const char c = text[i];
        value <<= 4;
        if (c >= '0' && c <= '9') {
            value |= static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value |= static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            value |= static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
    }
    *out = static_cast<uint8_t>(value);
    return true;
}

void PutWord(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutDword(std::vector<uint8_t>& out, uint32_t v) {
    PutWord(out, static_cast<uint16_t>(v));
    PutWord(out, static_cast<uint16_t>(v >> 16));
}

// Palette index of each opaque colour: 1, 2, ... in declaration order.
// Index 0 is black, the colour of the transparent pixels.
int PaletteIndex(const IconSource& source, char symbol) {
    int index = 0;
    for (const Colour& c : source.colours) {
        if (c.a >= kOpaqueAlpha) ++index;
        if (c.symbol == symbol) return c.a >= kOpaqueAlpha ? index : 0;
    }
    return 0;
}

// One image of the icon resource: a BITMAPINFOHEADER with twice the height
// (colour bitmap and mask), the palette, the colour rows and the mask rows,
// bottom row first, each row padded to four bytes.
std::vector<uint8_t> EncodeImage(const IconSource& source, const PixelMap& map, int bits) {
    const int n = map.size;
    const uint32_t colour_row = static_cast<uint32_t>((n * bits / 8 + 3) / 4 * 4);
    const uint32_t mask_row = static_cast<uint32_t>((n + 31) / 32 * 4);
    const uint32_t image_size = colour_row * n + mask_row * n;
    std::vector<uint8_t> out;
    PutDword(out, 40);  // header size
    PutDword(out, static_cast<uint32_t>(n));
    PutDword(out, static_cast<uint32_t>(2 * n));
    PutWord(out, 1);  // planes
    PutWord(out, static_cast<uint16_t>(bits));
    PutDword(out, 0);  // uncompressed
    PutDword(out, image_size);
    PutDword(out, 0);  // pixels per metre, x and y
    PutDword(out, 0);
    PutDword(out, 0);  // colours used: all of the palette
    PutDword(out, 0);  // colours important
    if (bits == 8) {
        for (int i = 0; i < 256; ++i) {
            uint8_t r = 0, g = 0, b = 0;
            int index = 0;
            for (const Colour& c : source.colours) {
                if (c.a < kOpaqueAlpha) continue;
                if (++index == i) {
                    r = c.r;
                    g = c.g;
                    b = c.b;
                }
            }
            out.push_back(b);
            out.push_back(g);
            out.push_back(r);
            out.push_back(0);
        }
    }
    for (int y = n - 1; y >= 0; --y) {
        const size_t start = out.size();
        for (int x = 0; x < n; ++x) {
            const char symbol = map.rows[y][x];
            if (bits == 8) {
                out.push_back(static_cast<uint8_t>(PaletteIndex(source, symbol)));
            } else {
                const Colour* c = FindColour(source, symbol);
                out.push_back(c->b);
                out.push_back(c->g);
                out.push_back(c->r);
                out.push_back(c->a);
            }
        }
        out.resize(start + colour_row, 0);
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<uint8_t> row(mask_row, 0);
        for (int x = 0; x < n; ++x) {
            if (FindColour(source, map.rows[y][x])->a < kOpaqueAlpha)
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

bool ParseIconSource(const std::string& text, IconSource* out, std::string* error) {
    IconSource source;
    std::istringstream in(text);
    std::string line;
    int line_number = 0;
    PixelMap* map = nullptr;
    auto fail = [&](const std::string& why) {
        if (error != nullptr) *error = "line " + std::to_string(line_number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++line_number;
        if (map != nullptr && static_cast<int>(map->rows.size()) < map->size) {
            if (static_cast<int>(line.size()) != map->size)
                return fail("a row of " + std::to_string(map->size) + " pixels expected");
            for (char c : line) {
                if (FindColour(source, c) == nullptr) return fail(std::string("no colour for pixel '") + c + "'");
            }
            map->rows.push_back(line);
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("colour ", 0) == 0) {
            // colour C RRGGBBAA [description]
            if (line.size() < 17 || line[8] != ' ' || (line.size() > 17 && line[17] != ' ')) {
                return fail("colour C RRGGBBAA expected");
            }
            Colour c;
            c.symbol = line[7];
            if (!ParseHexByte(line, 9, &c.r) || !ParseHexByte(line, 11, &c.g) || !ParseHexByte(line, 13, &c.b) ||
                !ParseHexByte(line, 15, &c.a)) {
                return fail("colour C RRGGBBAA expected");
            }
            if (FindColour(source, c.symbol) != nullptr)
                return fail(std::string("colour '") + c.symbol + "' given twice");
            source.colours.push_back(c);
            continue;
        }
        if (line.rfind("size ", 0) == 0) {
            const int size = std::atoi(line.c_str() + 5);
            if (size < 1 || size > 255) return fail("size 1 to 255 expected");
            source.maps.push_back(PixelMap{size, {}});
            map = &source.maps.back();
            continue;
        }
        return fail("colour, size or a comment expected");
    }
    if (map != nullptr && static_cast<int>(map->rows.size()) < map->size) return fail("the last map ends early");
    if (source.maps.empty()) return fail("no pixel map");
    int opaque = 0;
    for (const Colour& c : source.colours) opaque += c.a >= kOpaqueAlpha ? 1 : 0;
    if (opaque > 255) return fail("more than 255 opaque colours");
    *out = std::move(source);
    return true;
}

std::vector<uint8_t> EncodeIcon(const IconSource& source) {
    // Largest first; 8-bit images, then 32-bit ones.
    std::vector<const PixelMap*> order;
    for (const PixelMap& m : source.maps) order.push_back(&m);
    for (size_t i = 1; i < order.size(); ++i) {
        for (size_t j = i; j > 0 && order[j - 1]->size < order[j]->size; --j) std::swap(order[j - 1], order[j]);
    }
    struct Image {
        int size;
        int bits;
        std::vector<uint8_t> bytes;
    };
    std::vector<Image> images;
    for (int bits : {8, 32}) {
        for (const PixelMap* m : order) images.push_back(Image{m->size, bits, EncodeImage(source, *m, bits)});
    }
    std::vector<uint8_t> out;
    PutWord(out, 0);  // reserved
    PutWord(out, 1);  // an icon
    PutWord(out, static_cast<uint16_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (const Image& image : images) {
        out.push_back(static_cast<uint8_t>(image.size));
        out.push_back(static_cast<uint8_t>(image.size));
        out.push_back(0);  // colour count: 0 for 256 colours and more
        out.push_back(0);
        PutWord(out, 1);  // planes
        PutWord(out, static_cast<uint16_t>(image.bits));
        PutDword(out, static_cast<uint32_t>(image.bytes.size()));
        PutDword(out, offset);
        offset += static_cast<uint32_t>(image.bytes.size());
    }
    for (const Image& image : images) out.insert(out.end(), image.bytes.begin(), image.bytes.end());
    return out;
}

uint32_t PixelArgb(const IconSource& source, const PixelMap& map, int x, int y) {
    const Colour* c = FindColour(source, map.rows[y][x]);
    if (c == nullptr) return 0;
    return static_cast<uint32_t>(c->a) << 24 | static_cast<uint32_t>(c->r) << 16 | static_cast<uint32_t>(c->g) << 8 |
           c->b;
}

}  // namespace icon_source
