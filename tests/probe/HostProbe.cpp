// A host program that tests copy into folder trees: `host_probe <library> [words the host ignores]` runs
// start-up for that library's file and folder with a real host path, command line, folder layout and language
// string, and prints what it saw.
#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "TestHost.h"

#include <cstdio>

static int WINAPI PrintBox(HWND, LPCWSTR text, LPCWSTR title, UINT)
{
    std::printf("box=%ls|%ls\n", title, text);
    return IDOK;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2 || (Polvane::ModuleHandle = LoadLibraryW(argv[1])) == nullptr)
        return 2;
    Host::Seam.MessageBoxW = PrintBox;
    TestHost::Host host;
    const int result = Tovik::Init(host.MV(), false);
    std::printf("initialize=%d\nrunmode=%d\n", result, static_cast<int>(Polvane::RunMode));
    HostRunInfo info{};
    if (result == 0 && GetRunObjectInfos(host.MV(), &info) == 1)
        std::printf("identifier=%.4s\ncounts=%u %u %u\n", info.identifier, info.numOfActions,
                    info.numOfConditions, info.numOfExpressions);
    for (const wchar_t** name = GetDependencies(); *name != nullptr; ++name)
        std::printf("dependency=%ls\n", *name);
    return 0;
}
