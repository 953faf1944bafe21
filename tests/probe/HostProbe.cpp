// A host program that start-up tests copy into folder trees and run there, so that start-up sees a real
// host executable path, folder layout and language string: `host_probe <library>` runs start-up in this
// process for that library's file and folder, and prints what it saw as key=value lines.
#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "TestHost.h"

#include <cstdio>
#include <string>

namespace {

// The texts here are ASCII; a line feed is written as \n so that each value stays on its line.
std::string Narrow(std::wstring_view text)
{
    std::string result;
    for (wchar_t c : text)
        result += c == L'\n' ? std::string("\\n") : std::string(1, static_cast<char>(c));
    return result;
}

int WINAPI PrintBox(HWND, LPCWSTR text, LPCWSTR title, UINT)
{
    std::printf("box=%s|%s\n", Narrow(title).c_str(), Narrow(text).c_str());
    return IDOK;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 || (Polvane::ModuleHandle = LoadLibraryW(argv[1])) == nullptr)
        return 2;
    Host::Seam.MessageBoxW = PrintBox;
    TestHost::Host host;
    const int result = Tovik::Init(host.MV(), false);
    std::printf("initialize=%d\nrunmode=%d\n", result, static_cast<int>(Polvane::RunMode));
    HostRunInfo info{};
    if (result != 0 || !GetRunObjectInfos(host.MV(), &info))
        return 0;
    std::printf("identifier=%.4s\ncounts=%u %u %u\ndependencies=", info.identifier, info.numOfActions,
                info.numOfConditions, info.numOfExpressions);
    for (const wchar_t** name = GetDependencies(); *name != nullptr; ++name)
        std::printf("%s|", Narrow(*name).c_str());
    return 0;
}
