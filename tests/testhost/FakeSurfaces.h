// The fake MMFS2.dll, built for tests only, and how tests see it: loaded from the build's tests folder, its
// test controls (declared below for their types, exported by name) looked up with GetProcAddress, so that
// a program that merely may load the fake does not need it to start.
#pragma once

#include "TempTree.h"

#include <windows.h>

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace FakeMmfs2 {

// One surface as the fake keeps it: pixels are 0x00BBGGRR, row by row; alpha is one byte per pixel.
struct SurfaceInfo {
    std::int32_t width;
    std::int32_t height;
    std::int32_t hasAlpha;
    const std::uint32_t* pixels;
    const std::uint8_t* alpha;
};

// Switches of FakeMmfs2_SetFailures.
constexpr std::uint32_t FailPrototype = 1;   // GetSurfacePrototype answers 0
constexpr std::uint32_t FailImport = 2;      // ImportImage answers 0
constexpr std::uint32_t FailBlit = 4;        // the whole-surface Blit answers 0 and sets the last error
constexpr std::uint32_t NoEditorSurface = 8; // GetEditorSurface answers null
constexpr std::uint32_t FailLockAlpha = 16;  // LockAlpha answers null even with an alpha channel

// The pixel (x, y) of every image ImportImage decodes.
constexpr std::uint32_t ImportedPixel(int x, int y)
{
    return 0x800000u | std::uint32_t(y * 8 & 0xFF) << 8 | (x * 8 & 0xFF);
}

} // namespace FakeMmfs2

extern "C" {
// Clears the log and the failure switches, and numbers new surfaces from #1 again.
void FakeMmfs2_Reset();
// One line per call of a host operation, each ended by '\n'. Surfaces are named #n, "prototype", "editor"
// or "host"; the filter manager is 8 hexadecimal digits; a font is font(its LOGFONT fields and face).
const char* FakeMmfs2_Log();
// lastError: what a failed Blit leaves as the source's last error.
void FakeMmfs2_SetFailures(std::uint32_t failures, std::int32_t lastError);
BOOL FakeMmfs2_Describe(const void* surface, FakeMmfs2::SurfaceInfo* info);
// A surface of the host's own ("host"), as the host hands one to MakeIconEx; kept until the process ends.
void* FakeMmfs2_NewSurface(std::int32_t width, std::int32_t height, std::uint32_t colour);
// The font of the last DrawText since the last reset, or null.
HFONT FakeMmfs2_LastFont();
}

namespace TestHost {

inline std::wstring FakeSurfaceLibraryPath() { return (BuildFolder() / L"tests" / L"MMFS2.dll").wstring(); }

// While it lives, the module's export of that ordinal reads as missing (its entry blanked in memory), as in
// a host library that lacks the operation.
class MissingOrdinal {
public:
    MissingOrdinal(HMODULE module, WORD ordinal)
    {
        auto* base = reinterpret_cast<std::uint8_t*>(module);
        const auto* nt =
            reinterpret_cast<IMAGE_NT_HEADERS32*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(
            base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
        entry = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions) + (ordinal - exports->Base);
        saved = *entry;
        DWORD protection = 0;
        VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection);
        *entry = 0;
    }
    ~MissingOrdinal() { *entry = saved; }
    MissingOrdinal(const MissingOrdinal&) = delete;
    MissingOrdinal& operator=(const MissingOrdinal&) = delete;

private:
    DWORD* entry;
    DWORD saved;
};

class FakeSurfaces {
public:
    // Loads the fake (or takes another reference to it) and resets it; throws when it cannot be loaded.
    FakeSurfaces() : module(LoadLibraryW(FakeSurfaceLibraryPath().c_str()))
    {
        if (module == nullptr)
            throw std::runtime_error("the fake MMFS2.dll could not be loaded");
        Reset();
    }
    ~FakeSurfaces() { FreeLibrary(module); }
    FakeSurfaces(const FakeSurfaces&) = delete;
    FakeSurfaces& operator=(const FakeSurfaces&) = delete;

    HMODULE Module() const { return module; }
    void Reset() const { Control<decltype(&FakeMmfs2_Reset)>("FakeMmfs2_Reset")(); }
    // The calls of host operations since the last reset, one per line.
    std::vector<std::string> Log() const
    {
        std::vector<std::string> lines;
        std::istringstream log(Control<decltype(&FakeMmfs2_Log)>("FakeMmfs2_Log")());
        for (std::string line; std::getline(log, line);)
            lines.push_back(line);
        return lines;
    }
    void SetFailures(std::uint32_t failures, std::int32_t lastError = 0) const
    {
        Control<decltype(&FakeMmfs2_SetFailures)>("FakeMmfs2_SetFailures")(failures, lastError);
    }
    // Throws for anything that is not a surface of the fake.
    FakeMmfs2::SurfaceInfo Describe(const void* surface) const
    {
        FakeMmfs2::SurfaceInfo info{};
        if (!Control<decltype(&FakeMmfs2_Describe)>("FakeMmfs2_Describe")(surface, &info))
            throw std::runtime_error("not a surface of the fake MMFS2.dll");
        return info;
    }
    void* NewSurface(std::int32_t width, std::int32_t height, std::uint32_t colour) const
    {
        return Control<decltype(&FakeMmfs2_NewSurface)>("FakeMmfs2_NewSurface")(width, height, colour);
    }
    HFONT LastFont() const { return Control<decltype(&FakeMmfs2_LastFont)>("FakeMmfs2_LastFont")(); }

private:
    template <typename F> F Control(const char* name) const
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }

    HMODULE module;
};

} // namespace TestHost
