// Host controls of the device namespace, the DOS device table and the clock:
// what a test or the command-line tool uses to attach simulated devices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostwin {

// A device object's behaviour: it answers every DeviceIoControl made on a
// handle opened on it.
class Device {
public:
    virtual ~Device() = default;
    // Returns false to fail the call; the caller's GetLastError then gives
    // `*error` (set it; ERROR_GEN_FAILURE 31 is a good default).
    virtual bool Control(uint32_t code, const void* in, uint32_t in_size, void* out, uint32_t out_size,
                         uint32_t* returned, uint32_t* error) = 0;
};

// The NT device object `nt_path` (for example "\\Device\\SLKES521") served by
// `device`, which is not owned and must outlive the object.
bool CreateDeviceObject(const std::string& nt_path, Device* device);
void DeleteDeviceObject(const std::string& nt_path);

// A symbolic link in the DOS device namespace, as a driver makes one for its
// device: "\\\\.\\<dos_name>" then opens `nt_target`. Not removable through
// DefineDosDeviceA's exact-match removal of another target.
bool CreateDosLink(const std::string& dos_name, const std::string& nt_target);
void DeleteDosLink(const std::string& dos_name);

// Faults of the DOS device table: QueryDosDeviceA of `name` fails with
// `error` (0 restores normal answers); DefineDosDeviceA definitions fail.
void SetDosDeviceQueryError(const std::string& name, uint32_t error);
void SetDefineDosDeviceFails(bool fails);

// Every DOS device name defined now, driver links and DefineDosDeviceA
// definitions alike.
std::vector<std::string> DosDeviceNames();
size_t OpenDeviceHandleCount();

// The clock behind Sleep. Virtual: Sleep returns at once and advances the
// virtual time. Every Sleep call is recorded either way.
void UseVirtualClock(bool virtual_clock);
uint64_t VirtualTimeMs();
std::vector<uint32_t> SleepCalls();

// No device objects, links, definitions or faults; an empty Sleep record;
// the clock real. ResetSystem does this too.
void ResetDevices();

}  // namespace hostwin
