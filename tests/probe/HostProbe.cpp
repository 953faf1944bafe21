// A host program that start-up tests copy into folder trees and run there, so that the library sees
// a real host executable path, folder layout and language string. It prints what it observed.
//   host_probe load <library>     the built library loaded and initialised as a built application
//   host_probe runmode <library>  start-up run in this process, with that library's folder
#include "Lib/Shared/Host/Platform.h"
#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "Library.h"
#include "MessageBoxRecorder.h"
#include "TestHost.h"

#include <cstdio>
#include <string>

namespace {

using InitializeFn = std::int32_t(HOST_STDCALL*)(::mV*, std::int32_t);
using GetRunObjectInfosFn = std::int32_t(HOST_STDCALL*)(::mV*, HostRunInfo*);
using GetDependenciesFn = const wchar_t**(HOST_STDCALL*)();

// One line per value: line feeds inside a text are written as \n.
std::string Narrow(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    std::string escaped;
    for (char c : result)
        escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    return escaped;
}

int Load(const std::wstring& path)
{
    TestHost::Library library(path);
    TestHost::MessageBoxRecorder boxes(library.Module());
    TestHost::Host host;
    std::int32_t result = library.Export<InitializeFn>("Initialize")(host.MV(), 0);
    std::printf("initialize=%d\n", static_cast<int>(result));
    if (result == 0) {
        HostRunInfo info{};
        library.Export<GetRunObjectInfosFn>("GetRunObjectInfos")(host.MV(), &info);
        std::printf("identifier=%.4s\n", info.identifier);
        std::printf("counts=%u %u %u\n", info.numOfActions, info.numOfConditions, info.numOfExpressions);
        std::string names;
        for (const wchar_t** name = library.Export<GetDependenciesFn>("GetDependencies")(); *name != nullptr; ++name)
            names += (names.empty() ? "" : "|") + Narrow(*name);
        std::printf("dependencies=%s\n", names.c_str());
    }
    for (const auto& box : boxes.Boxes())
        std::printf("box=%s|%s\n", Narrow(box.title).c_str(), Narrow(box.text).c_str());
    return 0;
}

int RunMode(const std::wstring& path)
{
    Polvane::ModuleHandle = LoadLibraryW(path.c_str());
    if (Polvane::ModuleHandle == nullptr)
        return 3;
    TestHost::Host host;
    int result = Tovik::Init(host.MV(), false);
    std::printf("initialize=%d\n", result);
    std::printf("runmode=%d\n", static_cast<int>(Polvane::RunMode));
    std::printf("application=%s\n", Narrow(std::wstring(Polvane::GetRunningApplicationPath())).c_str());
    std::printf("language=%s\n", Narrow(Tovik::LanguageCode).c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    const std::wstring mode = argv[1];
    try {
        if (mode == L"load")
            return Load(argv[2]);
        if (mode == L"runmode")
            return RunMode(argv[2]);
    } catch (const std::exception& e) {
        std::printf("exception=%s\n", e.what());
        return 1;
    }
    return 2;
}
