// Commands of the Client Manager: switch the current profile, enable or
// disable the driver, without any window. A command arrives as the argument
// of the exported entry or from the registry value Cpl_cmd; the outcome is
// left in Cpl_Status, and Cpl_cmd holds the busy marker while a run is busy.
#pragma once

#include <cstdint>

// Command sources.
enum : uint32_t {
    CommandSourceNone = 0,      // no command: the installer's entry
    CommandSourceRegistry = 1,  // read the command from Cpl_cmd
};

// Command classes (the value masked with 0xFF00); the argument is the low byte.
enum : uint32_t {
    CommandNone = 0x0000,
    CommandShowDialogs = 0x0100,
    CommandSwitchProfile = 0x0200,
    CommandDriverEnable = 0x0300,
    CommandBusyMarker = 0xFF00,
};

// Outcomes in Cpl_Status and for the caller.
enum : uint32_t {
    CommandStatusOk = 0,
    CommandStatusUnknown = 0x8001,
    CommandStatusNoAdapter = 0x8002,  // returned by the exported entry only, never stored
    CommandStatusNoCommand = 0x8003,
    CommandStatusBadProfile = 0x8004,
};

// Carries out one command. Returns 1 when it was handled and no dialog is
// to be shown, 0 when the profile dialog is wanted; `status` is always set.
int ExecuteCommand(uint32_t source, uint32_t* status);
