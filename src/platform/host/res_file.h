// Reading a compiled resource file (.res, as windres writes it with
// "-O res"): a row of entries, each a header (data size, header size, type,
// name, data version, memory flags, language, version, characteristics)
// followed by its data, both padded to DWORD boundaries. The first entry of
// a 32-bit .res is an empty one (type 0) that marks the format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostwin::resfile {

// A resource type or name: a 16-bit ordinal, or a name (upper case, as the
// resource compiler stores it).
struct ResourceId {
    bool is_ordinal = true;
    uint16_t ordinal = 0;
    std::u16string name;
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    const uint8_t* data = nullptr;  // inside the bytes that were read
    uint32_t size = 0;
};

// One image of an icon group (RT_GROUP_ICON): its size, colours and the
// ordinal of its RT_ICON resource. A width or height of 0 stands for 256.
struct IconGroupEntry {
    int width = 0;
    int height = 0;
    int bits = 0;
    uint16_t icon_id = 0;
};

// Reads every entry of `size` bytes at `data`, which must stay in place as
// long as the entries are used. False, with a reason, when the file is
// malformed or ends early; never reads past `size`.
bool ReadResFile(const void* data, size_t size, std::vector<ResourceEntry>* out, std::string* error);

// The images an icon group lists; false when the group is malformed.
bool ReadIconGroup(const uint8_t* data, size_t size, std::vector<IconGroupEntry>* out);

// Which image of a group an icon of `want` x `want` pixels takes: the one of
// that size with the most bits per pixel, else the nearest in size (the
// larger on a tie) with the most bits. -1 for an empty group.
int ChooseIconImage(const std::vector<IconGroupEntry>& group, int want);

// An RT_ICON image (a device-independent bitmap of twice the icon's height:
// the colours, then the transparency mask; 1, 4, 8, 24 or 32 bits per pixel,
// uncompressed) as 0xAARRGGBB pixels, top row first. A 32-bit image with
// any alpha keeps its alpha; otherwise the mask decides (transparent:
// alpha 0, else 255). False when the image is malformed or of a kind not
// read here (a PNG image, a compressed bitmap).
bool DecodeIconImage(const uint8_t* data, size_t size, int* width, int* height, int* bits,
                     std::vector<uint32_t>* pixels, std::string* error);

}  // namespace hostwin::resfile
