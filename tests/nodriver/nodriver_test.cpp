// With no card driver started: none of the names a card driver makes opens,
// and a device call on no handle fails. This program never uses TestCard, so
// under wine64 no test driver runs in it; on the host nothing is attached to
// the device namespace.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/win.h"
#ifndef _WIN32
#include "hostctl.h"
#endif

namespace {

TEST(NoDriver, NoCardNameOpens) {
#ifndef _WIN32
    hostwin::ResetSystem();
#endif
    const char* names[] = {
        "\\\\.\\SUKES41.VXD",
        "\\\\.\\SUKES48.VXD",
        "\\\\.\\SLKES521",
        "\\\\.\\SLKES522",
        "\\\\.\\{5A0C1D2E-3F40-4152-A6B7-C8D9E0F1A2B3}",
        "\\\\.\\SnkesSimControl",  // the test driver's control device
    };
    for (const char* name : names) {
        SetLastError(0);
        HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND}) << name;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
}

TEST(NoDriver, ADeviceCallOnNoHandleFails) {
    uint8_t oid[4] = {0x01, 0x04, 0x02, 0xFF};
    uint8_t block[8204] = {};
    DWORD returned = 0;
    SetLastError(0);
    EXPECT_FALSE(
        DeviceIoControl(INVALID_HANDLE_VALUE, 0x00170002u, oid, sizeof oid, block, sizeof block, &returned, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    for (uint8_t b : block) ASSERT_EQ(b, 0) << "nothing was answered";
}

}  // namespace
