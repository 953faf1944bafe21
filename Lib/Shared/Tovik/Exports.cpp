// The library's exports: thin forwards to start-up, the state object and the extension object.
#include "../Host/HostRecords.h"
#include "../Polvane/Globals.h"

#include <windows.h>

#include <cstdint>

HOST_EXPORT BOOL HOST_STDCALL DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH && Polvane::ModuleHandle == nullptr)
        Polvane::ModuleHandle = module;
    return TRUE;
}

HOST_EXPORT std::uint32_t HOST_STDCALL GetInfos(std::int32_t info)
{
    switch (info) {
    case 0: return 0x300; // version of the extension interface
    case 2: return 0x100; // build type
    case 6: return 2;     // Unicode
    case 7: return 254;   // minimum build of the host
    case 8: return 1;
    default: return 0;
    }
}
