// What the rest of the host layer uses of the modules' resources: the bytes
// of a resource (a dialog template, a menu) and the image behind an icon
// handle.
#pragma once

#include <cstddef>

#include "hostctl_resources.h"
#include "hostwin.h"

namespace hostwin {

// The bytes of resource `name` of `type` in `module` (null: the main
// module), as FindResourceA and LoadResource find them; false with the
// thread's last error set as FindResourceA sets it.
bool FindResourceBytes(HINSTANCE module, LPCSTR type, LPCSTR name, const void** data, size_t* size);

// The image of an icon that LoadIconA returned; null for any other handle.
const IconImage* FindIconImage(HICON icon);

}  // namespace hostwin
