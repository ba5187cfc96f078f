// Stand-in for src/platform/host/dialog_template.h until the host layer's
// own template reader lands: the same interface, so the scenario driver
// switches to that one by deleting this folder. CMake uses this copy only
// while src/platform/host/dialog_template.h does not exist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostwin {

struct DialogItemTemplate {
    uint32_t help_id = 0;
    uint32_t ex_style = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;             // a WORD in a plain template, a DWORD in an extended one
    uint16_t class_ordinal = 0;  // 0x80 button ... 0x85 combo box; 0 when named
    std::string class_name;      // when named
    uint16_t title_ordinal = 0;  // e.g. the icon of an SS_ICON static; 0 when the title is text
    std::string title;           // 8-bit code page
    std::vector<uint8_t> creation_data;
};

struct DialogTemplate {
    bool extended = false;
    uint32_t help_id = 0, ex_style = 0, style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t menu_ordinal = 0;
    std::string menu;
    uint16_t class_ordinal = 0;
    std::string class_name;
    std::string title;
    uint16_t point_size = 0, weight = 0;  // when DS_SETFONT (0x40)
    uint8_t italic = 0, charset = 0;
    std::string face;
    std::vector<DialogItemTemplate> items;
};

// Reads a DLGTEMPLATE or DLGTEMPLATEEX; false (with a reason) when the bytes
// end early or are malformed. Never reads past `size`.
bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out, std::string* error);

// UTF-16 to the 8-bit code page (Windows-1252, "?" for what it lacks).
std::string NarrowText(const char16_t* text, size_t length);

}  // namespace hostwin
