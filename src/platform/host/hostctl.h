// Controls of the host platform layer that have no Windows counterpart:
// what a test or the command-line tool uses to set up the pretend machine.
// Only host code (tests, tools) includes this; the applet never does.
#pragma once

#include "hostctl_system.h"
#include "hostctl_registry.h"
#include "hostctl_devices.h"
#include "hostctl_user.h"
#include "hostctl_resources.h"
