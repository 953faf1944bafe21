#include "FakeSurfaces.h"

#include "TempTree.h"

#include <sstream>
#include <stdexcept>

namespace TestHost {

std::wstring FakeSurfaceLibraryPath() { return (BuildFolder() / L"tests" / L"MMFS2.dll").wstring(); }

FakeSurfaces::FakeSurfaces() : module(LoadLibraryW(FakeSurfaceLibraryPath().c_str()))
{
    if (module == nullptr)
        throw std::runtime_error("the fake MMFS2.dll could not be loaded, error " +
                                 std::to_string(GetLastError()));
    Reset();
}

FakeSurfaces::~FakeSurfaces() { FreeLibrary(module); }

template <typename F> F FakeSurfaces::Control(const char* name) const
{
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr)
        throw std::runtime_error(std::string("the fake MMFS2.dll lacks ") + name);
    return reinterpret_cast<F>(reinterpret_cast<void*>(address));
}

void FakeSurfaces::Reset() { Control<FakeMmfs2::ResetFn>("FakeMmfs2_Reset")(); }

std::vector<std::string> FakeSurfaces::Log() const
{
    std::vector<std::string> lines;
    std::istringstream log(Control<FakeMmfs2::LogFn>("FakeMmfs2_Log")());
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}

void FakeSurfaces::SetFailures(std::uint32_t failures, std::int32_t lastError)
{
    Control<FakeMmfs2::SetFailuresFn>("FakeMmfs2_SetFailures")(failures, lastError);
}

FakeMmfs2::SurfaceInfo FakeSurfaces::Describe(const void* surface) const
{
    FakeMmfs2::SurfaceInfo info{};
    if (!Control<FakeMmfs2::DescribeFn>("FakeMmfs2_Describe")(surface, &info))
        throw std::runtime_error("not a surface of the fake MMFS2.dll");
    return info;
}

void* FakeSurfaces::NewSurface(std::int32_t width, std::int32_t height, std::uint32_t colour)
{
    return Control<FakeMmfs2::NewSurfaceFn>("FakeMmfs2_NewSurface")(width, height, colour);
}

void FakeSurfaces::DeleteSurface(void* surface)
{
    Control<FakeMmfs2::DeleteSurfaceFn>("FakeMmfs2_DeleteSurface")(surface);
}

HFONT FakeSurfaces::LastFont() const { return Control<FakeMmfs2::LastFontFn>("FakeMmfs2_LastFont")(); }

} // namespace TestHost
