// Our own declarations of the Windows API subset the applet calls, for the
// host build. Written from the documented behaviour; constants carry their
// documented values. Split by API family as the platform's own headers are.
#pragma once

#include "hostwin_types.h"
#include "hostwin_registry.h"
#include "hostwin_system.h"
#include "hostwin_devices.h"
#include "hostwin_user.h"
#include "hostwin_resources.h"
#include "hostwin_commctrl.h"
