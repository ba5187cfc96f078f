// Finding the adapter's driver key: the card's plug-and-play identities are
// looked up where the running Windows records its devices (USB first, PC Card
// second), followed to the driver key, and accepted only when the driver key
// describes a supported card. On Windows NT 4.0 the driver key is a fixed
// service key whose instance digit is searched.
#pragma once

#include <cstddef>

constexpr size_t kDriverKeyPathSize = 128;  // at most 127 characters

// Registry path of the adapter's driver key below HKEY_LOCAL_MACHINE.
extern char DriverKeyPath[kDriverKeyPathSize];

// The card identities in the order they are tried; ends with nullptr.
extern const char* const CardIdentities[];
// The three letters from which service, device and VxD names are built.
extern const char OemCode[];

extern const char LanCardDescription[];
extern const char UsbAdapterDescription[];

// 1 when an adapter was found (DriverKeyPath then names its driver key).
int LocateAdapter();
// 1 when the identity leads to a driver key with an accepted description.
int MatchAdapter(const char* identity);
// 1 when a driver key path for the identity was built into DriverKeyPath.
int FindDriverKey(const char* identity);
