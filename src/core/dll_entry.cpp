// Entry of the loaded module: SNKES48.CPL on Windows, libsnkes on the host.
#include "platform/win.h"

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
#endif
