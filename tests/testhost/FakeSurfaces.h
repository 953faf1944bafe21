// The fake MMFS2.dll as tests see it: loaded from the build's tests folder, its test controls looked up
// by name.
#pragma once

#include "tests/fakemmfs2/FakeMmfs2.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace TestHost {

// build\tests\MMFS2.dll
std::wstring FakeSurfaceLibraryPath();

// The size of the icon image embedded in the library and in the test programs.
constexpr std::size_t EmbeddedIconBytes = 161;

// The fake's log as the library starts building its icon from an image of imageBytes bytes: the
// prototype, the icon surface (#1), the image in a memory file and its import into #2 through the host's
// filterManager.
std::vector<std::string> IconBuildStart(const void* filterManager, std::size_t imageBytes);
// The fake's whole log of the icon built from the embedded image, 32 by 32 with alpha.
std::vector<std::string> EmbeddedIconBuild(const void* filterManager);
// How many pixels of a 32 by 32 surface differ from the image the fake imports.
int PixelsUnlikeImported(const FakeMmfs2::SurfaceInfo& surface);

// While it lives, the module's export of that ordinal reads as missing (its entry blanked in memory),
// as in a host library that lacks the operation.
class MissingOrdinal {
public:
    MissingOrdinal(HMODULE module, WORD ordinal);
    ~MissingOrdinal();
    MissingOrdinal(const MissingOrdinal&) = delete;
    MissingOrdinal& operator=(const MissingOrdinal&) = delete;

private:
    DWORD* entry;
    DWORD saved;
};

class FakeSurfaces {
public:
    // Loads the fake (or takes another reference to it) and resets it; throws when it cannot be loaded.
    FakeSurfaces();
    ~FakeSurfaces();
    FakeSurfaces(const FakeSurfaces&) = delete;
    FakeSurfaces& operator=(const FakeSurfaces&) = delete;

    HMODULE Module() const { return module; }
    // Clears the log and the failure switches; new surfaces are numbered from #1 again.
    void Reset();
    // The calls of MMFS2 operations since the last reset, one per line.
    std::vector<std::string> Log() const;
    void SetFailures(std::uint32_t failures, std::int32_t lastError = 0);
    // Throws for a surface the fake did not make.
    FakeMmfs2::SurfaceInfo Describe(const void* surface) const;
    // A surface of the host's own, as the host hands one to MakeIconEx.
    void* NewSurface(std::int32_t width, std::int32_t height, std::uint32_t colour);
    void DeleteSurface(void* surface);
    // The font handed to the last DrawText since the last reset, or null.
    HFONT LastFont() const;

private:
    template <typename F> F Control(const char* name) const;

    HMODULE module;
};

} // namespace TestHost
