#include "FakeSurfaces.h"

#include "TempTree.h"

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace TestHost {

std::wstring FakeSurfaceLibraryPath() { return (BuildFolder() / L"tests" / L"MMFS2.dll").wstring(); }

std::vector<std::string> IconBuildStart(const void* filterManager, std::size_t imageBytes)
{
    char import[64];
    std::snprintf(import, sizeof import, "ImportImage(%08X,#2,0,0)",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(filterManager)));
    return {"GetSurfacePrototype(32,1,3)",
            "#1.Construct",
            "CreateMemoryInputFile",
            "file.OpenMemory(" + std::to_string(imageBytes) + ")",
            "#2.Construct",
            import};
}

std::vector<std::string> EmbeddedIconBuild(const void* filterManager)
{
    std::vector<std::string> log = IconBuildStart(filterManager, EmbeddedIconBytes);
    log.insert(log.end(), {"file.Release", "#2.HasAlpha", "#2.GetWidth", "#2.GetHeight",
                           "#1.Create(32,32,prototype)", "#1.CreateAlpha", "#2.Blit(#1)", "#2.Destroy"});
    return log;
}

int PixelsUnlikeImported(const FakeMmfs2::SurfaceInfo& surface)
{
    int unlike = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            unlike += surface.pixels[y * 32 + x] != FakeMmfs2::ImportedPixel(x, y);
    return unlike;
}

namespace {

void Write(DWORD* entry, DWORD value)
{
    DWORD protection = 0;
    VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection);
    *entry = value;
    VirtualProtect(entry, sizeof *entry, protection, &protection);
}

} // namespace

MissingOrdinal::MissingOrdinal(HMODULE module, WORD ordinal)
{
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    const auto* nt =
        reinterpret_cast<IMAGE_NT_HEADERS32*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    entry = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions) + (ordinal - exports->Base);
    saved = *entry;
    Write(entry, 0);
}

MissingOrdinal::~MissingOrdinal() { Write(entry, saved); }

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
