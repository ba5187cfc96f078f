// The .res reader.
#include "res_file.h"

#include <cstdlib>

namespace hostwin::resfile {
namespace {

uint16_t Word(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Dword(const uint8_t* p) {
    return static_cast<uint32_t>(Word(p)) | static_cast<uint32_t>(Word(p + 2)) << 16;
}

// A type or name field of a header: 0xFFFF and an ordinal, or a
// zero-terminated UTF-16 string. `end` is the end of the header.
bool ReadId(const uint8_t*& p, const uint8_t* end, ResourceId* id) {
    if (end - p < 2) return false;
    if (Word(p) == 0xFFFF) {
        if (end - p < 4) return false;
        id->is_ordinal = true;
        id->ordinal = Word(p + 2);
        p += 4;
        return true;
    }
    id->is_ordinal = false;
    id->name.clear();
    for (;;) {
        if (end - p < 2) return false;
        const uint16_t c = Word(p);
        p += 2;
        if (c == 0) return true;
        id->name += static_cast<char16_t>(c);
    }
}

bool Fail(std::string* error, const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
}

}  // namespace

bool ReadResFile(const void* data, size_t size, std::vector<ResourceEntry>* out, std::string* error) {
    const uint8_t* const base = static_cast<const uint8_t*>(data);
    std::vector<ResourceEntry> entries;
    size_t pos = 0;
    while (pos < size) {
        const std::string where = "entry at offset " + std::to_string(pos) + ": ";
        if (size - pos < 8) return Fail(error, where + "the header ends early");
        const uint32_t data_size = Dword(base + pos);
        const uint32_t header_size = Dword(base + pos + 4);
        // The fixed part: two sizes, two shortest ids, five numbers.
        if (header_size < 32 || header_size % 4 != 0 || header_size > size - pos) {
            return Fail(error, where + "a header of " + std::to_string(header_size) + " bytes");
        }
        if (data_size > size - pos - header_size) return Fail(error, where + "the data ends early");
        const uint8_t* p = base + pos + 8;
        const uint8_t* const header_end = base + pos + header_size;
        ResourceEntry entry;
        if (!ReadId(p, header_end, &entry.type) || !ReadId(p, header_end, &entry.name)) {
            return Fail(error, where + "its type or name runs past the header");
        }
        p = base + ((p - base + 3) & ~std::ptrdiff_t{3});
        // Data version (4), memory flags (2), language (2), version (4),
        // characteristics (4).
        if (header_end - p < 16) return Fail(error, where + "the header ends early");
        entry.language = Word(p + 6);
        entry.data = base + pos + header_size;
        entry.size = data_size;
        // The empty entry that opens the file carries type 0; it is no
        // resource.
        if (!(entry.type.is_ordinal && entry.type.ordinal == 0)) entries.push_back(std::move(entry));
        const size_t next = pos + header_size + ((static_cast<size_t>(data_size) + 3) & ~size_t{3});
        if (next > size) {
            // The last entry's padding may be missing.
            if (pos + header_size + data_size == size) break;
            return Fail(error, where + "the padding ends early");
        }
        pos = next;
    }
    *out = std::move(entries);
    return true;
}

bool ReadIconGroup(const uint8_t* data, size_t size, std::vector<IconGroupEntry>* out) {
    // reserved (0), type (1 for icons), count; then 14 bytes per image:
    // width, height, colour count, reserved, planes, bits, bytes, ordinal.
    if (data == nullptr || size < 6 || Word(data) != 0 || Word(data + 2) != 1) return false;
    const size_t count = Word(data + 4);
    if (count > (size - 6) / 14) return false;
    std::vector<IconGroupEntry> group;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = data + 6 + 14 * i;
        IconGroupEntry entry;
        entry.width = e[0] == 0 ? 256 : e[0];
        entry.height = e[1] == 0 ? 256 : e[1];
        entry.bits = Word(e + 6);
        if (entry.bits == 0) {
            // Old groups give only the colour count.
            const int colours = e[2];
            entry.bits = colours == 0 ? 8 : colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
        }
        entry.icon_id = Word(e + 12);
        group.push_back(entry);
    }
    *out = std::move(group);
    return true;
}

int ChooseIconImage(const std::vector<IconGroupEntry>& group, int want) {
    int best = -1;
    long best_distance = 0;
    for (size_t i = 0; i < group.size(); ++i) {
        const IconGroupEntry& e = group[i];
        const long distance =
            std::labs(static_cast<long>(e.width) - want) + std::labs(static_cast<long>(e.height) - want);
        if (best < 0) {
            best = static_cast<int>(i);
            best_distance = distance;
            continue;
        }
        const IconGroupEntry& b = group[static_cast<size_t>(best)];
        const bool nearer = distance < best_distance;
        const bool same_distance = distance == best_distance;
        const bool larger = e.width * e.height > b.width * b.height;
        const bool same_size = e.width == b.width && e.height == b.height;
        if (nearer || (same_distance && larger) || (same_size && e.bits > b.bits)) {
            best = static_cast<int>(i);
            best_distance = distance;
        }
    }
    return best;
}

bool DecodeIconImage(const uint8_t* data, size_t size, int* width, int* height, int* bits,
                     std::vector<uint32_t>* pixels, std::string* error) {
    if (data == nullptr || size < 40) return Fail(error, "no bitmap header");
    if (size >= 8 && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G') {
        return Fail(error, "a PNG image");
    }
    const uint32_t header_size = Dword(data);
    const int32_t w = static_cast<int32_t>(Dword(data + 4));
    const int32_t h2 = static_cast<int32_t>(Dword(data + 8));
    const uint16_t bit_count = Word(data + 14);
    const uint32_t compression = Dword(data + 16);
    const uint32_t colours_used = Dword(data + 32);
    if (header_size < 40 || header_size > size)
        return Fail(error, "a bitmap header of " + std::to_string(header_size) + " bytes");
    if (w < 1 || w > 256 || h2 < 2 || h2 > 512 || h2 % 2 != 0) return Fail(error, "an image of impossible size");
    if (compression != 0) return Fail(error, "a compressed bitmap");
    if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32) {
        return Fail(error, std::to_string(bit_count) + " bits per pixel");
    }
    const int h = h2 / 2;
    size_t palette_entries = 0;
    if (bit_count <= 8) {
        palette_entries = colours_used != 0 ? colours_used : (size_t{1} << bit_count);
        if (palette_entries > (size_t{1} << bit_count)) return Fail(error, "a palette too large for the bits");
    }
    const size_t colour_stride = (static_cast<size_t>(w) * bit_count + 31) / 32 * 4;
    const size_t mask_stride = (static_cast<size_t>(w) + 31) / 32 * 4;
    const size_t palette_at = header_size;
    const size_t colours_at = palette_at + 4 * palette_entries;
    const size_t mask_at = colours_at + colour_stride * static_cast<size_t>(h);
    const size_t end = mask_at + mask_stride * static_cast<size_t>(h);
    if (end > size) return Fail(error, "the image ends early");

    std::vector<uint32_t> out(static_cast<size_t>(w) * static_cast<size_t>(h));
    bool any_alpha = false;
    for (int y = 0; y < h; ++y) {
        // Rows are stored bottom row first.
        const uint8_t* row = data + colours_at + colour_stride * static_cast<size_t>(h - 1 - y);
        for (int x = 0; x < w; ++x) {
            uint32_t argb = 0;
            if (bit_count <= 8) {
                const size_t bit = static_cast<size_t>(x) * bit_count;
                const unsigned index = (row[bit / 8] >> (8 - bit_count - bit % 8)) & ((1u << bit_count) - 1);
                if (index < palette_entries) {
                    const uint8_t* q = data + palette_at + 4 * index;
                    argb = 0xFF000000u | static_cast<uint32_t>(q[2]) << 16 | static_cast<uint32_t>(q[1]) << 8 | q[0];
                }
            } else {
                const uint8_t* q = row + static_cast<size_t>(x) * (bit_count / 8);
                const uint32_t alpha = bit_count == 32 ? q[3] : 0xFF;
                if (bit_count == 32 && alpha != 0) any_alpha = true;
                argb = alpha << 24 | static_cast<uint32_t>(q[2]) << 16 | static_cast<uint32_t>(q[1]) << 8 | q[0];
            }
            out[static_cast<size_t>(y) * w + x] = argb;
        }
    }
    // The mask decides unless a 32-bit image carries its own alpha.
    if (!(bit_count == 32 && any_alpha)) {
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = data + mask_at + mask_stride * static_cast<size_t>(h - 1 - y);
            for (int x = 0; x < w; ++x) {
                const bool transparent = (row[x / 8] >> (7 - x % 8)) & 1;
                uint32_t& p = out[static_cast<size_t>(y) * w + x];
                p = (p & 0x00FFFFFFu) | (transparent ? 0u : 0xFF000000u);
            }
        }
    }
    *width = w;
    *height = h;
    *bits = bit_count;
    *pixels = std::move(out);
    return true;
}

}  // namespace hostwin::resfile
