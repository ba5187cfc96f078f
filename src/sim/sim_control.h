// The kernel-mode test driver's names and its private control code, shared by
// the driver and the test programs that drive it. Freestanding, like the core.
//
// The driver makes two device objects:
//   \Device\SnkesSimCard     the card (FILE_DEVICE_PHYSICAL_NETCARD). Every
//                            DeviceIoControl on it goes to the card's core; it
//                            has no DOS name until a test links one.
//   \Device\SnkesSimControl  the control device (FILE_DEVICE_UNKNOWN), opened
//                            as \\.\SnkesSimControl. It answers only
//                            kSimControlIoctl and never reaches the card, so
//                            no request the applet makes touches it.
#pragma once

#include <stdint.h>

#include "sim/card_sim.h"

namespace cardsim {

// The service that hosts the driver, and the file the build makes.
#define SNKES_SIM_SERVICE_NAME "SnkesSimCard"
#define SNKES_SIM_DRIVER_FILE "snkes_simcard.sys"
#define SNKES_SIM_CARD_DEVICE "\\Device\\SnkesSimCard"
#define SNKES_SIM_CONTROL_DEVICE "\\Device\\SnkesSimControl"
#define SNKES_SIM_CONTROL_LINK "\\DosDevices\\SnkesSimControl"
#define SNKES_SIM_CONTROL_PATH "\\\\.\\SnkesSimControl"

// CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr uint32_t kSimControlIoctl = (0x22u << 16) | (0x800u << 2);

enum : uint32_t {
    SimReset = 1,        // the core back to power-on state; names stay
    SimLinkDosName = 2,  // name: \DosDevices\<name> -> the card
    SimAddNtDevice = 3,  // name: \Device\<name> -> the card
    SimRemoveNames = 4,  // every name the two commands above made
    SimSetFaults = 5,    // faults
    SimSetIdentity = 6,  // identity
    SimReadState = 7,    // answers the whole CardState
};

constexpr uint32_t kSimNameMax = 64;   // characters of a name, terminator included
constexpr uint32_t kSimMaxNames = 16;  // names the driver holds at once

// The input of kSimControlIoctl. The output is empty, except for
// SimReadState: a CardState. The call fails (ERROR_INVALID_PARAMETER) for an
// unknown command, a too short input or output, a name that is empty, too
// long or not plain printable ASCII without '\', and when all kSimMaxNames
// are in use; a name the object namespace refuses (one that exists already)
// fails with the kernel's own status.
struct SimControlRequest {
    uint32_t command;
    uint32_t reserved;
    union {
        Faults faults;
        Identity identity;
        char name[kSimNameMax];
    };
};

}  // namespace cardsim
