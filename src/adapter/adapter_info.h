// What the running driver says about itself at the start of a run: whether it
// answers, belongs to a supported family, and has the supported version.
#pragma once

#include <cstdint>

struct AdapterInfoType {
    uint32_t DriverOnline;  // connected, in range and of the supported version
    uint16_t ReportedVariant;
    uint16_t ReportedMajor;
    uint16_t ReportedMinor;
};

extern AdapterInfoType AdapterInfo;

// The applet's own version, which a compatible driver reports exactly.
constexpr uint16_t kAppletVariant = 1;
constexpr uint16_t kAppletMajor = 6;
constexpr uint16_t kAppletMinor = 41;

bool IsSupportedDriverVersion(uint32_t variant, uint32_t major, uint32_t minor);

// Opens the channel, reads the driver's identity, closes the channel.
void ReadAdapterInfo();
