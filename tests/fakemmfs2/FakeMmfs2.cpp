// A stand-in for the host's surface library, for tests only: the operations imported by ordinal, each call
// logged, surfaces kept as their size and alpha channel. Free functions are stdcall, surface and file
// operations thiscall; the host's 16-byte surface object holds the fake's surface in its first word.
#include "../testhost/FakeSurfaces.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#define THISCALL __attribute__((thiscall))
#define CONTROL __declspec(dllexport)

using FakeMmfs2::Surface;
using Obj = Surface*;
using i32 = std::int32_t;
using u32 = std::uint32_t;

namespace {
FakeMmfs2::State state;
Obj prototype = new Surface{"prototype"}, editor = new Surface{"editor"};
// A write past a locked alpha channel lands in these and shows at the unlock.
constexpr int GuardSize = 4096, GuardByte = 0xA5;

// Logs one call, after the surface's name when made on one, and answers the result.
template <typename R> R Log(R result, const Obj* self, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    state.log.push_back(self ? (*self)->name + "." + line : line);
    return result;
}
const char* Name(const Obj* surface) { return (*surface)->name.c_str(); }

// The library's memory input file: its second virtual operation releases it. It keeps a copy of the bytes,
// whose terminating zero is what a read one byte past them finds.
struct InputFile final {
    virtual void Close() {}
    virtual void Release() { delete Log(this, nullptr, "file.Release"); }
    std::string bytes;
};

} // namespace

extern "C" {

BOOL WINAPI GetSurfacePrototype(Obj** slot, i32 depth, i32 type, i32 driver)
{
    *slot = &prototype;
    return Log(TRUE, nullptr, "GetSurfacePrototype(%d,%d,%d)", depth, type, driver);
}
Obj* WINAPI GetEditorSurface(u32 id, i32 a)
{
    return Log(&editor, nullptr, "GetEditorSurface(%u,%d)", id, a);
}
InputFile* WINAPI CreateMemoryInputFile() { return Log(new InputFile, nullptr, "CreateMemoryInputFile"); }
const char* THISCALL InputFileGetBuffer(InputFile* file)
{
    return Log(file->bytes.c_str(), nullptr, "file.GetBuffer");
}
i32 THISCALL InputFileOpenMemory(InputFile* file, const char* bytes, u32 size)
{
    file->bytes.assign(bytes, size);
    return Log(0, nullptr, "file.OpenMemory(%u)", size);
}

// Every image imports as the library's own icon, 32 by 32 with alpha, but for a file that the host's importer
// refuses: one shorter than a PNG header, or of a bit depth (byte 24) below 8.
BOOL WINAPI ImportImage(void* filterManager, InputFile* file, Obj* target, i32 a, i32 b)
{
    const bool refused = file->bytes.size() < 33 || std::uint8_t(file->bytes[24]) < 8;
    if (!refused)
        **target = {(*target)->name, 32, 32, std::vector<std::uint8_t>(32 * 32)};
    return Log<BOOL>(!refused, nullptr, "ImportImage(%08X,%s,%d,%d)", unsigned(std::uintptr_t(filterManager)),
                     Name(target), a, b);
}
void THISCALL SurfaceConstruct(Obj* self)
{
    *self = new Surface{"#" + std::to_string(state.nextId++)};
    Log(0, self, "Construct");
}
void THISCALL SurfaceDestroy(Obj* self) { delete Log(*self, self, "Destroy"); }
BOOL THISCALL SurfaceHasAlpha(Obj* self) { return Log(!(*self)->alpha.empty(), self, "HasAlpha"); }
i32 THISCALL SurfaceGetWidth(Obj* self) { return Log((*self)->width, self, "GetWidth"); }
i32 THISCALL SurfaceGetHeight(Obj* self) { return Log((*self)->height, self, "GetHeight"); }
i32 THISCALL SurfaceGetLastError(Obj* self) { return Log(0, self, "GetSurfaceLastError"); }
void THISCALL SurfaceReset(Obj* self) { **Log(self, self, "Reset") = {(*self)->name}; }
void THISCALL SurfaceSetTransparentColor(Obj* self, u32 c) { Log(0, self, "SetTransparentColor(%06X)", c); }
void THISCALL SurfaceClone(Obj* s, Obj* from, i32 w, i32 h)
{
    Log(0, s, "Clone(%s,%d,%d)", Name(from), w, h);
}
void THISCALL SurfaceCreate(Obj* self, i32 width, i32 height, Obj* prototype)
{
    **Log(self, self, "Create(%d,%d,%s)", width, height, Name(prototype)) = {(*self)->name, width, height};
}
void THISCALL SurfaceCreateAlpha(Obj* self)
{
    (*Log(self, self, "CreateAlpha"))->alpha.assign(std::size_t((*self)->width) * (*self)->height, 0);
}
BOOL THISCALL SurfaceBlit(Obj* self, Obj* to) { return Log(TRUE, self, "Blit(%s)", Name(to)); }
BOOL THISCALL SurfaceBlitAt(Obj* self, Obj* to, i32 x, i32 y, i32 a, i32 b, i32 c, i32 d)
{
    return Log(TRUE, self, "Blit(%s,%d,%d,%d,%d,%d,%d)", Name(to), x, y, a, b, c, d);
}
BOOL THISCALL SurfaceFill(Obj* self, i32 x, i32 y, i32 width, i32 height, u32 colour)
{
    return Log(TRUE, self, "Fill(%d,%d,%d,%d,%06X)", x, y, width, height, colour);
}
i32 THISCALL SurfaceDrawText(Obj* self, const char* text, u32 length, RECT* at, u32 format, u32 colour,
                             HFONT font, i32 a, i32 b, i32 c, i32 d, i32 e, i32 g, i32 h)
{
    LOGFONTA f = {};
    GetObjectA(state.lastFont = font, sizeof f, &f);
    return Log(
        1, self,
        "DrawText(\"%.*s\",%u,{%ld,%ld,%ld,%ld},%X,%06X,font(%ld,%ld,%ld,%ld,%ld,%u,%u,%u,%u,%u,%u,%u,%u,%s),"
        "%d,%d,%d,%d,%d,%d,%d)",
        int(length), text, length, at->left, at->top, at->right, at->bottom, format, colour, f.lfHeight,
        f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight, f.lfItalic, f.lfUnderline, f.lfStrikeOut,
        f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision, f.lfQuality, f.lfPitchAndFamily, f.lfFaceName, a, b,
        c, d, e, g, h);
}
std::uint8_t* THISCALL SurfaceLockAlpha(Obj* self)
{
    Surface& s = **Log(self, self, "LockAlpha");
    if (s.alpha.empty())
        return nullptr;
    s.locked = s.alpha;
    s.locked.resize(s.alpha.size() + GuardSize, GuardByte);
    return s.locked.data();
}
void THISCALL SurfaceUnlockAlpha(Obj* self)
{
    Surface& s = **self;
    const auto end = s.locked.begin() + std::ptrdiff_t(std::min(s.alpha.size(), s.locked.size()));
    const bool overrun = std::count(end, s.locked.end(), GuardByte) != GuardSize;
    Log(0, self, overrun ? "UnlockAlpha (written past the alpha channel, or not locked)" : "UnlockAlpha");
    s.alpha.assign(s.locked.begin(), end);
    s.locked.clear();
}

CONTROL void FakeMmfs2_Reset() { state = {}; }
CONTROL FakeMmfs2::State* FakeMmfs2_State() { return &state; }
CONTROL void* FakeMmfs2_NewSurface() { return new Obj[4]{new Surface{"host"}}; }

} // extern "C"
