// The host's surface library, MMFS2.dll: bound at run time by ordinal into one table of function
// pointers, and the two host classes reached through it. Free functions are stdcall; member functions
// are thiscall, the object first.
#pragma once

#include "Platform.h"

#include <windows.h>

#include <cstdint>

// The library never calls the Windows DrawText; the host's surface operation of that name is meant.
#undef DrawText

class HostSurface;
class HostInputFile;

namespace Host {

struct SurfaceFunctions {
    std::int32_t(HOST_STDCALL* GetSurfacePrototype)(HostSurface** prototype, std::int32_t depth,
                                                    std::int32_t type, std::int32_t driver);
    void(HOST_THISCALL* Construct)(HostSurface* self);
    void(HOST_THISCALL* Destroy)(HostSurface* self);
    HostInputFile*(HOST_STDCALL* CreateMemoryInputFile)();
    std::int32_t(HOST_THISCALL* OpenMemory)(HostInputFile* self, const void* bytes, std::uint32_t size);
    std::int32_t(HOST_STDCALL* ImportImage)(void* filterManager, HostInputFile* file, HostSurface* surface,
                                            std::int32_t, std::int32_t);
    const std::uint8_t*(HOST_THISCALL* GetBuffer)(HostInputFile* self);
    std::int32_t(HOST_THISCALL* HasAlpha)(HostSurface* self);
    void(HOST_THISCALL* SetTransparentColor)(HostSurface* self, std::uint32_t colour);
    std::int32_t(HOST_THISCALL* GetWidth)(HostSurface* self);
    std::int32_t(HOST_THISCALL* GetHeight)(HostSurface* self);
    void(HOST_THISCALL* Create)(HostSurface* self, std::int32_t width, std::int32_t height,
                                HostSurface* prototype);
    void(HOST_THISCALL* CreateAlpha)(HostSurface* self);
    std::int32_t(HOST_THISCALL* Blit)(HostSurface* self, HostSurface* destination);
    std::int32_t(HOST_THISCALL* GetSurfaceLastError)(HostSurface* self);
    HostSurface*(HOST_STDCALL* GetEditorSurface)(std::uint32_t editorWindowId, std::int32_t);
    std::int32_t(HOST_THISCALL* BlitAt)(HostSurface* self, HostSurface* destination, std::int32_t x,
                                        std::int32_t y, std::int32_t option1, std::int32_t option2,
                                        std::int32_t option3, std::int32_t option4);
    void(HOST_THISCALL* Reset)(HostSurface* self);
    void(HOST_THISCALL* Clone)(HostSurface* self, const HostSurface* source, std::int32_t width,
                               std::int32_t height);
    // The update badge's operations, whose ordinals are assumed rather than documented: all bound or
    // all null, and the icon does not depend on them.
    struct BadgeFunctions {
        std::uint8_t*(HOST_THISCALL* LockAlpha)(HostSurface* self);
        void(HOST_THISCALL* UnlockAlpha)(HostSurface* self);
        std::int32_t(HOST_THISCALL* Fill)(HostSurface* self, std::int32_t x, std::int32_t y,
                                          std::int32_t width, std::int32_t height, std::uint32_t colour);
        std::int32_t(HOST_THISCALL* DrawText)(HostSurface* self, const char* text, std::uint32_t length,
                                              RECT* rectangle, std::uint32_t format, std::uint32_t colour,
                                              HFONT font, std::int32_t option1, std::int32_t option2,
                                              std::int32_t option3, std::int32_t option4,
                                              std::int32_t option5, std::int32_t option6,
                                              std::int32_t option7);
    } Badge;
};

// The functions of the last successful binding.
extern SurfaceFunctions Surfaces;

// Binds every function by its ordinal from the module the seam finds. A missing module or icon ordinal
// shows one error box and answers false, leaving the table as it was: no surface may then be made. A
// missing badge ordinal leaves the badge's functions null, without a word.
bool BindSurfaceLibrary();
// Whether the badge's functions are bound: the surface operations below them may be called.
bool CanDrawBadge();

} // namespace Host

// The host's surface: 16 bytes that only the host library reads and writes. Made only after
// Host::BindSurfaceLibrary succeeded.
class HostSurface {
public:
    HostSurface();
    ~HostSurface();
    HostSurface(const HostSurface&) = delete;
    HostSurface& operator=(const HostSurface&) = delete;

    bool HasAlpha();
    void SetTransparentColor(std::uint32_t colour);
    std::int32_t GetWidth();
    std::int32_t GetHeight();
    void Create(std::int32_t width, std::int32_t height, HostSurface* prototype);
    void CreateAlpha();
    // The whole surface onto the destination; false on failure, see GetSurfaceLastError.
    bool Blit(HostSurface& destination);
    std::int32_t GetSurfaceLastError();
    // Drawn at (x, y); the four options are the host's drawing options.
    bool Blit(HostSurface& destination, std::int32_t x, std::int32_t y, std::int32_t option1,
              std::int32_t option2, std::int32_t option3, std::int32_t option4);
    void Reset();
    // This surface becomes a copy of the source; -1, -1 keeps the source's size.
    void Clone(const HostSurface& source, std::int32_t width, std::int32_t height);
    // The badge's operations: only when Host::CanDrawBadge().
    // The alpha channel, one byte per pixel, writable until UnlockAlpha; null when there is none.
    std::uint8_t* LockAlpha();
    void UnlockAlpha();
    void Fill(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height, std::uint32_t colour);
    // Narrow text of length characters, laid out in the rectangle with the Windows text format flags;
    // the seven options are the host's drawing options.
    void DrawText(const char* text, std::uint32_t length, RECT& rectangle, std::uint32_t format,
                  std::uint32_t colour, HFONT font, std::int32_t option1, std::int32_t option2,
                  std::int32_t option3, std::int32_t option4, std::int32_t option5, std::int32_t option6,
                  std::int32_t option7);

private:
    std::uint8_t storage[16];
};
static_assert(sizeof(HostSurface) == 16, "the host library constructs its surface in 16 bytes");

// A memory file of the host library, made by Host::Surfaces.CreateMemoryInputFile, never by us.
class HostInputFile {
public:
    HostInputFile() = delete;

    void OpenMemory(const void* bytes, std::uint32_t size);
    const std::uint8_t* GetBuffer();
    // Its second virtual operation releases the file.
    void Release();
};
