// The host simulator: loads the library as Fusion would and prints what it reports.
#include "Lib/Shared/Host/Platform.h"
#include "Library.h"

#include <cstdint>
#include <cstdio>
#include <string>

using GetInfosFn = std::uint32_t(HOST_STDCALL*)(std::int32_t);

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: hostsim <library> [script]\n");
        return 2;
    }
    try {
        TestHost::Library library(argv[1]);
        auto getInfos = library.Export<GetInfosFn>("GetInfos");
        for (int id : {0, 2, 6, 7, 8})
            std::printf("GetInfos(%d) = 0x%x\n", id, static_cast<unsigned>(getInfos(id)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hostsim: %s\n", e.what());
        return 1;
    }
    return 0;
}
