// The card simulator attached to the host layer's device namespace: a
// hostwin::Device whose every DeviceIoControl goes to the card's core. The
// host TestCard and the command-line tool put it behind device objects and
// DOS links (hostctl_devices.h).
#pragma once

#include <stdint.h>

#include <mutex>

#include "hostctl_devices.h"
#include "sim/card_sim.h"
#include "sim/sim_control.h"  // SNKES_SIM_CARD_DEVICE, the card's NT device path

namespace cardsim {

class HostCard : public hostwin::Device {
public:
    HostCard() { sim.Reset(); }

    // A call the core fails fails with ERROR_GEN_FAILURE, as the kernel test
    // driver's STATUS_UNSUCCESSFUL does under Windows.
    bool Control(uint32_t code, const void* in, uint32_t in_size, void* out, uint32_t out_size, uint32_t* returned,
                 uint32_t* error) override;

    // Calls from several threads reach the core one at a time, as they do in
    // the kernel test driver; hold `lock` to look at or change `sim` while
    // calls may be running.
    std::mutex lock;
    CardSimulator sim;
};

}  // namespace cardsim
