// The test controls of the fake MMFS2.dll: exported by name beside the host library's ordinals, so that
// tests can read what the library drew and make the fake's operations fail.
#pragma once

#include <windows.h>

#include <cstdint>

namespace FakeMmfs2 {

// One surface as the fake keeps it: pixels are 0x00BBGGRR, row by row; alpha is one byte per pixel.
struct SurfaceInfo {
    std::int32_t id; // 1, 2, ... in order of construction; 0 for the prototype and the editor surface
    std::int32_t width;
    std::int32_t height;
    std::int32_t hasAlpha;
    std::int32_t hasTransparentColor;
    std::uint32_t transparentColor;
    const std::uint32_t* pixels;
    const std::uint8_t* alpha;
};

// Switches of SetFailures.
constexpr std::uint32_t FailPrototype = 1;   // GetSurfacePrototype answers 0
constexpr std::uint32_t FailImport = 2;      // ImportImage answers 0
constexpr std::uint32_t FailBlit = 4;        // the whole-surface Blit answers 0 and sets the last error
constexpr std::uint32_t NoEditorSurface = 8; // GetEditorSurface answers null
constexpr std::uint32_t FailLockAlpha = 16;  // LockAlpha answers null even with an alpha channel

// Drawing as the fake does it: Fill paints its rectangle; DrawText marks one pixel per character in the
// text colour, along the rectangle's top row from its left. Both stay inside the surface. LockAlpha hands
// out a copy of the alpha channel followed by guard bytes; UnlockAlpha writes the copy back and logs
// "... past the alpha channel" when a guard byte was changed.

// Pixels that ImportImage gives the image's pixel (x, y).
constexpr std::uint32_t ImportedPixel(int x, int y)
{
    return 0x800000u | (static_cast<std::uint32_t>(y * 8) & 0xFF) << 8 |
           (static_cast<std::uint32_t>(x * 8) & 0xFF);
}

// Clears the log and the failure switches and numbers new surfaces from 1 again.
using ResetFn = void(WINAPI*)();
// One line per call of an MMFS2 operation, each ended by '\n'. Surfaces are named #id, "prototype" or
// "editor"; the image filter manager is written as 8 hexadecimal digits; a font as
// font(height,width,escapement,orientation,weight,italic,underline,strike-out,character set,output
// precision,clipping precision,quality,pitch and family,face), "null" or "not a font".
using LogFn = const char*(WINAPI*)();
// failures: the switches above; lastError: what a failed Blit leaves as the source's last error.
using SetFailuresFn = void(WINAPI*)(std::uint32_t failures, std::int32_t lastError);
// Fills info for a host surface object; false for anything the fake did not construct.
using DescribeFn = BOOL(WINAPI*)(const void* surface, SurfaceInfo* info);
// A host surface object of width by height pixels of one colour, as the host makes its own; deleted
// with DeleteSurface.
using NewSurfaceFn = void*(WINAPI*)(std::int32_t width, std::int32_t height, std::uint32_t colour);
using DeleteSurfaceFn = void(WINAPI*)(void* surface);
// The font of the last DrawText since the last reset, or null.
using LastFontFn = HFONT(WINAPI*)();

} // namespace FakeMmfs2
