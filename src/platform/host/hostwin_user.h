// The user interface functions of the host layer (the platform's winuser.h
// part of user32).
#pragma once

#include "hostwin_types.h"

// Sounds
BOOL WINAPI MessageBeep(UINT uType);
