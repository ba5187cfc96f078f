// The kernel-mode test driver: the card's protocol core behind a device
// object, so the Windows test programs reach it through the real
// CreateFileA and DeviceIoControl. See sim_control.h for its names and its
// private control code.

// mingw-w64's wdm.h defines two interlocked helpers that its intrin.h has
// defined already; with these two names marked as defined, intrin.h leaves
// them to wdm.h.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>  // mingw-w64's DDK (its ddk/ folder is on the include path)

#include "sim/card_sim.h"
#include "sim/sim_control.h"

namespace {

using cardsim::SimControlRequest;

constexpr uint32_t kNameChars = 96;  // "\DosDevices\" + a name, terminator included

struct LinkName {
    bool used;
    WCHAR text[kNameChars];
    UNICODE_STRING string;
};

// Everything the driver holds lives here, in the image's zero-initialised data.
cardsim::CardSimulator g_card;
PDEVICE_OBJECT g_card_device;
PDEVICE_OBJECT g_control_device;
bool g_control_link;
LinkName g_names[cardsim::kSimMaxNames];
KMUTEX g_lock;  // one request at a time reaches the core or the name table

void MakeName(LinkName& link, const WCHAR* prefix, const char* name) {
    uint32_t n = 0;
    for (const WCHAR* p = prefix; *p != 0 && n + 1 < kNameChars; ++p) link.text[n++] = *p;
    for (const char* p = name; *p != 0 && n + 1 < kNameChars; ++p) link.text[n++] = static_cast<WCHAR>(*p);
    link.text[n] = 0;
    link.string.Buffer = link.text;
    link.string.Length = static_cast<USHORT>(n * sizeof(WCHAR));
    link.string.MaximumLength = static_cast<USHORT>(kNameChars * sizeof(WCHAR));
}

// A name a test may ask for: printable ASCII, no path separator, terminated
// within the request.
bool ValidName(const char* name) {
    uint32_t n = 0;
    for (; n < cardsim::kSimNameMax && name[n] != 0; ++n) {
        const unsigned char c = static_cast<unsigned char>(name[n]);
        if (c <= ' ' || c > '~' || c == '\\') return false;
    }
    return n > 0 && n < cardsim::kSimNameMax;
}

NTSTATUS AddName(const WCHAR* prefix, const char* name) {
    if (!ValidName(name)) return STATUS_INVALID_PARAMETER;
    for (LinkName& link : g_names) {
        if (link.used) continue;
        MakeName(link, prefix, name);
        UNICODE_STRING target;
        RtlInitUnicodeString(&target, L"" SNKES_SIM_CARD_DEVICE);
        const NTSTATUS status = IoCreateSymbolicLink(&link.string, &target);
        if (NT_SUCCESS(status)) link.used = true;
        return status;
    }
    return STATUS_INVALID_PARAMETER;
}

void RemoveNames() {
    for (LinkName& link : g_names) {
        if (link.used) IoDeleteSymbolicLink(&link.string);
        link.used = false;
    }
}

NTSTATUS Control(const SimControlRequest* request, ULONG in_size, void* out, ULONG out_size, ULONG_PTR* info) {
    if (in_size < sizeof(uint32_t) * 2) return STATUS_INVALID_PARAMETER;
    switch (request->command) {
        case cardsim::SimReset:
            g_card.Reset();
            return STATUS_SUCCESS;
        case cardsim::SimLinkDosName:
            if (in_size < sizeof *request) return STATUS_INVALID_PARAMETER;
            return AddName(L"\\DosDevices\\", request->name);
        case cardsim::SimAddNtDevice:
            if (in_size < sizeof *request) return STATUS_INVALID_PARAMETER;
            return AddName(L"\\Device\\", request->name);
        case cardsim::SimRemoveNames:
            RemoveNames();
            return STATUS_SUCCESS;
        case cardsim::SimSetFaults:
            if (in_size < sizeof *request) return STATUS_INVALID_PARAMETER;
            g_card.state.faults = request->faults;
            return STATUS_SUCCESS;
        case cardsim::SimSetIdentity:
            if (in_size < sizeof *request) return STATUS_INVALID_PARAMETER;
            g_card.state.identity = request->identity;
            return STATUS_SUCCESS;
        case cardsim::SimReadState:
            if (out_size < sizeof g_card.state) return STATUS_INVALID_PARAMETER;
            memcpy(out, &g_card.state, sizeof g_card.state);
            *info = sizeof g_card.state;
            return STATUS_SUCCESS;
        default:
            return STATUS_INVALID_PARAMETER;
    }
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR info) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? info : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS DispatchOpenClose(PDEVICE_OBJECT, PIRP irp) {
    return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
    ULONG_PTR info = 0;

    KeWaitForSingleObject(&g_lock, Executive, KernelMode, FALSE, nullptr);
    if (device == g_card_device) {
        // The card takes every code; the core fails what it does not answer.
        // The input of a METHOD_*_DIRECT or METHOD_BUFFERED code is in the
        // system buffer; the request block comes through the MDL of a direct
        // code (METHOD_BUFFERED: the system buffer again).
        const void* in = irp->AssociatedIrp.SystemBuffer;
        void* out = nullptr;
        if (out_size != 0) {
            const ULONG method = code & 3;
            if (method == METHOD_IN_DIRECT || method == METHOD_OUT_DIRECT) {
                if (irp->MdlAddress != nullptr) out = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
            } else if (method == METHOD_BUFFERED) {
                out = irp->AssociatedIrp.SystemBuffer;
            }
        }
        uint32_t returned = 0;
        if (g_card.Handle(code, in, in == nullptr ? 0 : in_size, out, out == nullptr ? 0 : out_size, &returned)) {
            status = STATUS_SUCCESS;
            info = returned;
        } else {
            status = STATUS_UNSUCCESSFUL;
        }
    } else if (device == g_control_device && code == cardsim::kSimControlIoctl &&
               irp->AssociatedIrp.SystemBuffer != nullptr) {
        status = Control(static_cast<const SimControlRequest*>(irp->AssociatedIrp.SystemBuffer), in_size,
                         irp->AssociatedIrp.SystemBuffer, out_size, &info);
    }
    KeReleaseMutex(&g_lock, FALSE);
    return Complete(irp, status, info);
}

void Unload(PDRIVER_OBJECT) {
    RemoveNames();
    if (g_control_link) {
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, L"" SNKES_SIM_CONTROL_LINK);
        IoDeleteSymbolicLink(&link);
        g_control_link = false;
    }
    if (g_control_device != nullptr) IoDeleteDevice(g_control_device);
    if (g_card_device != nullptr) IoDeleteDevice(g_card_device);
    g_control_device = nullptr;
    g_card_device = nullptr;
}

NTSTATUS MakeDevice(PDRIVER_OBJECT driver, const WCHAR* name, DEVICE_TYPE type, PDEVICE_OBJECT* device) {
    UNICODE_STRING string;
    RtlInitUnicodeString(&string, name);
    const NTSTATUS status = IoCreateDevice(driver, 0, &string, type, 0, FALSE, device);
    if (NT_SUCCESS(status)) (*device)->Flags &= ~DO_DEVICE_INITIALIZING;
    return status;
}

}  // namespace

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    KeInitializeMutex(&g_lock, 0);
    g_card.Reset();
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = Unload;

    NTSTATUS status = MakeDevice(driver, L"" SNKES_SIM_CARD_DEVICE, FILE_DEVICE_PHYSICAL_NETCARD, &g_card_device);
    if (NT_SUCCESS(status)) {
        status = MakeDevice(driver, L"" SNKES_SIM_CONTROL_DEVICE, FILE_DEVICE_UNKNOWN, &g_control_device);
    }
    if (NT_SUCCESS(status)) {
        UNICODE_STRING link;
        UNICODE_STRING target;
        RtlInitUnicodeString(&link, L"" SNKES_SIM_CONTROL_LINK);
        RtlInitUnicodeString(&target, L"" SNKES_SIM_CONTROL_DEVICE);
        status = IoCreateSymbolicLink(&link, &target);
        g_control_link = NT_SUCCESS(status);
    }
    if (!NT_SUCCESS(status)) Unload(driver);
    return status;
}
