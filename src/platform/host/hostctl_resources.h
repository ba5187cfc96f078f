// Host controls of the modules and their resources: how embedded resources
// become a module, and what a test or the terminal front end reads of an
// icon.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hostwin.h"

namespace hostwin {

// Makes the `size` bytes of a compiled .res at `res` (which stay in place for
// the life of the program) resources of the module `file_name`, or of the
// program's main module when `file_name` is null. A module registered twice
// holds both sets, the first found first. A registered module counts one use
// (the program loaded it); LoadLibraryA adds one, FreeLibrary takes one, and
// at none it is unloaded until the next LoadLibraryA. The main module is
// never unloaded. False when the bytes are no .res (the module is still
// registered, without those resources) or the name is too long.
// snkes_embed_resources (CMake) makes the calls.
bool RegisterModule(const char* file_name, const void* res, size_t size) noexcept;

// The uses of `module` now: 0 when it is unloaded or no module.
unsigned ModuleUseCount(HMODULE module);

// Every module back to its one use. ResetSystem does this too.
void ResetModules();

// An icon's image as LoadIconA chose it, top row first, each pixel
// 0xAARRGGBB (a pixel the mask makes transparent has alpha 0).
struct IconImage {
    int width = 0;
    int height = 0;
    int bits = 0;  // bits per pixel of the image in the resource
    std::vector<uint32_t> pixels;
};
bool GetIconImage(HICON icon, IconImage* out);

}  // namespace hostwin
