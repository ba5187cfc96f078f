#include "sim/host_card.h"

namespace cardsim {

namespace {
constexpr uint32_t kErrorGenFailure = 31;
}

bool HostCard::Control(uint32_t code, const void* in, uint32_t in_size, void* out, uint32_t out_size,
                       uint32_t* returned, uint32_t* error) {
    std::lock_guard guard(lock);
    if (sim.Handle(code, in, in_size, out, out_size, returned)) return true;
    *error = kErrorGenFailure;
    return false;
}

}  // namespace cardsim
