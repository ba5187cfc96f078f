// The test card of both backends. See test_card.h.
//
// Host: a HostCard (the core as a hostwin::Device) behind the device object
// \Device\SnkesSimCard of the host layer; LinkDosName makes a driver-style
// DOS link to it, AddNtDevice a second device object \Device\<name> served by
// the same card.
//
// Windows (wine64): the kernel-mode test driver snkes_simcard.sys, hosted by
// Wine's service manager. The first Instance() installs and starts it; the
// program's exit stops and deletes it. Everything else goes through the
// driver's control device and its private control code (sim_control.h).
#include "test_card.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/win.h"
#include "sim/sim_control.h"

#ifndef _WIN32
// ---------------------------------------------------------------------------
// Host
// ---------------------------------------------------------------------------
#include "hostctl.h"
#include "sim/host_card.h"

namespace {

struct HostState {
    cardsim::HostCard card;
    std::vector<std::string> links;    // DOS names this card made
    std::vector<std::string> devices;  // NT device paths this card made, besides its own
};

// Built on first use and never destroyed: the host device table may still
// point at the card while other objects are torn down at exit.
HostState& H() {
    alignas(HostState) static unsigned char storage[sizeof(HostState)];
    static HostState* h = new (storage) HostState;
    return *h;
}

// The card's own device object. ResetSystem and ResetDevices remove every
// device object, so each use puts it back; it is there already otherwise.
void Attach() {
    hostwin::CreateDeviceObject(SNKES_SIM_CARD_DEVICE, &H().card);
}

}  // namespace

TestCard& TestCard::Instance() {
    static TestCard card;
    Attach();
    return card;
}

void TestCard::Reset() {
    HostState& h = H();
    for (const std::string& name : h.links) hostwin::DeleteDosLink(name);
    for (const std::string& path : h.devices) hostwin::DeleteDeviceObject(path);
    h.links.clear();
    h.devices.clear();
    {
        std::lock_guard guard(h.card.lock);
        h.card.sim.Reset();
    }
    Attach();
}

void TestCard::LinkDosName(const char* dos_name) {
    Attach();
    EXPECT_TRUE(hostwin::CreateDosLink(dos_name, SNKES_SIM_CARD_DEVICE)) << "linking " << dos_name;
    H().links.push_back(dos_name);
}

void TestCard::AddNtDevice(const char* name) {
    Attach();
    const std::string path = std::string("\\Device\\") + name;
    EXPECT_TRUE(hostwin::CreateDeviceObject(path, &H().card)) << "creating " << path;
    H().devices.push_back(path);
}

void TestCard::SetFaults(const cardsim::Faults& faults) {
    std::lock_guard guard(H().card.lock);
    H().card.sim.state.faults = faults;
}

void TestCard::SetIdentity(const cardsim::Identity& identity) {
    std::lock_guard guard(H().card.lock);
    H().card.sim.state.identity = identity;
}

cardsim::CardState TestCard::State() {
    std::lock_guard guard(H().card.lock);
    return H().card.sim.state;
}

#else
// ---------------------------------------------------------------------------
// Windows: the kernel-mode test driver
// ---------------------------------------------------------------------------
#include <cstdio>
#include <cstdlib>

namespace {

using cardsim::SimControlRequest;

struct Driver {
    bool tried = false;
    std::string failure;  // why the driver is not running; empty when it is
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    HANDLE control = INVALID_HANDLE_VALUE;
};

Driver& D() {
    static Driver d;
    return d;
}

std::string LastError(const char* what) {
    return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The driver image: next to the test program, else where the build made it
// (the build tree is visible to Wine under Z:).
std::string DriverImage() {
    char exe[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string path(exe, n < sizeof exe ? n : 0);
    path = path.substr(0, path.find_last_of("\\/") + 1) + SNKES_SIM_DRIVER_FILE;
    if (Exists(path)) return path;
#ifdef SNKES_SIM_DRIVER_BUILD_PATH
    std::string built = std::string("Z:") + SNKES_SIM_DRIVER_BUILD_PATH;
    for (char& c : built) {
        if (c == '/') c = '\\';
    }
    if (Exists(built)) return built;
#endif
    return path;
}

bool WaitForState(SC_HANDLE service, DWORD wanted, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        SERVICE_STATUS status;
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == wanted) return true;
        if (GetTickCount() - start > ms) return false;
        Sleep(10);
    }
}

void StopAndDelete(SC_HANDLE service) {
    SERVICE_STATUS status;
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) WaitForState(service, SERVICE_STOPPED, 5000);
    DeleteService(service);
    CloseServiceHandle(service);
}

// At the program's end: the driver unloads (removing every name it made) and
// its service goes, so the next program in the shared prefix starts clean.
void StopDriver() {
    Driver& d = D();
    if (d.control != INVALID_HANDLE_VALUE) CloseHandle(d.control);
    d.control = INVALID_HANDLE_VALUE;
    if (d.service != nullptr) StopAndDelete(d.service);
    d.service = nullptr;
    if (d.manager != nullptr) CloseServiceHandle(d.manager);
    d.manager = nullptr;
}

std::string StartDriver() {
    Driver& d = D();
    const std::string image = DriverImage();
    if (!Exists(image)) return "no driver image at " + image;
    d.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (d.manager == nullptr) return LastError("OpenSCManagerA");

    // A run that crashed may have left its service behind.
    if (SC_HANDLE old = OpenServiceA(d.manager, SNKES_SIM_SERVICE_NAME, SERVICE_ALL_ACCESS)) StopAndDelete(old);
    for (int attempt = 0; attempt < 100 && d.service == nullptr; ++attempt) {
        d.service = CreateServiceA(d.manager, SNKES_SIM_SERVICE_NAME, SNKES_SIM_SERVICE_NAME, SERVICE_ALL_ACCESS,
                                   SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(),
                                   nullptr, nullptr, nullptr, nullptr, nullptr);
        if (d.service != nullptr) break;
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_MARKED_FOR_DELETE && error != ERROR_SERVICE_EXISTS)
            return LastError("CreateServiceA");
        Sleep(20);
    }
    if (d.service == nullptr) return "the old service " SNKES_SIM_SERVICE_NAME " does not go away";
    atexit(StopDriver);
    if (!StartServiceA(d.service, 0, nullptr)) return LastError("StartServiceA");

    const DWORD start = GetTickCount();
    while (d.control == INVALID_HANDLE_VALUE) {
        d.control =
            CreateFileA(SNKES_SIM_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (d.control == INVALID_HANDLE_VALUE) {
            if (GetTickCount() - start > 5000) return LastError("opening " SNKES_SIM_CONTROL_PATH);
            Sleep(10);
        }
    }
    return "";
}

bool Running() {
    Driver& d = D();
    if (!d.tried) {
        d.tried = true;
        d.failure = StartDriver();
    }
    if (!d.failure.empty()) ADD_FAILURE() << "the card driver is not running: " << d.failure;
    return d.failure.empty();
}

bool Send(SimControlRequest& request, void* out = nullptr, DWORD out_size = 0) {
    if (!Running()) return false;
    DWORD returned = 0;
    if (DeviceIoControl(D().control, cardsim::kSimControlIoctl, &request, sizeof request, out, out_size, &returned,
                        nullptr)) {
        return true;
    }
    ADD_FAILURE() << "card control command " << request.command << " failed, error " << GetLastError();
    return false;
}

void SendName(uint32_t command, const char* name) {
    SimControlRequest request = {};
    request.command = command;
    if (std::strlen(name) >= sizeof request.name) {
        ADD_FAILURE() << "name too long for the card driver: " << name;
        return;
    }
    std::strcpy(request.name, name);
    if (!Send(request)) ADD_FAILURE() << "the card driver refused the name " << name;
}

}  // namespace

TestCard& TestCard::Instance() {
    static TestCard card;
    Running();
    return card;
}

void TestCard::Reset() {
    SimControlRequest request = {};
    request.command = cardsim::SimRemoveNames;
    Send(request);
    request.command = cardsim::SimReset;
    Send(request);
}

void TestCard::LinkDosName(const char* dos_name) {
    SendName(cardsim::SimLinkDosName, dos_name);
}

void TestCard::AddNtDevice(const char* name) {
    SendName(cardsim::SimAddNtDevice, name);
}

void TestCard::SetFaults(const cardsim::Faults& faults) {
    SimControlRequest request = {};
    request.command = cardsim::SimSetFaults;
    request.faults = faults;
    Send(request);
}

void TestCard::SetIdentity(const cardsim::Identity& identity) {
    SimControlRequest request = {};
    request.command = cardsim::SimSetIdentity;
    request.identity = identity;
    Send(request);
}

cardsim::CardState TestCard::State() {
    cardsim::CardState state = {};
    SimControlRequest request = {};
    request.command = cardsim::SimReadState;
    Send(request, &state, sizeof state);
    return state;
}

#endif
