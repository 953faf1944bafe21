// A stand-in for the host's surface library, for tests only: the operations the library imports by
// ordinal, surfaces kept as plain pixel buffers and every call written to a log, and the test controls
// declared in FakeSurfaces.h. Free functions are stdcall, surface and file operations thiscall.
#include "../testhost/FakeSurfaces.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#define THISCALL __attribute__((thiscall))
#define CONTROL __declspec(dllexport)

namespace {

using i32 = std::int32_t;
using u32 = std::uint32_t;

struct Surface {
    explicit Surface(const std::string& name, i32 width = 0, i32 height = 0, u32 colour = 0)
        : name(name), width(width), height(height), pixels(std::size_t(width) * height, colour)
    {
    }

    std::string name;
    i32 width;
    i32 height;
    std::vector<u32> pixels;
    std::vector<std::uint8_t> alpha;  // empty: no alpha channel
    std::vector<std::uint8_t> locked; // while locked: a copy of the alpha channel, then guard bytes
    i32 lastError = 0;
};

// The host's 16-byte surface object: the fake keeps its record behind the first word.
struct Obj {
    Surface* surface;
    u32 unused[3];
};

// A write past a locked alpha channel lands in these and shows at the unlock.
constexpr std::ptrdiff_t GuardSize = 4096;
constexpr std::uint8_t GuardByte = 0xA5;

std::string log;
u32 failures = 0;
i32 failedBlitError = 0;
int nextId = 1;
HFONT lastFont = nullptr;
Obj prototype = {new Surface("prototype"), {}};
Obj editor = {new Surface("editor", 640, 480), {}};

void Log(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    (log += line) += '\n';
}

const char* NameOf(const Obj* object) { return object ? object->surface->name.c_str() : "null"; }

// Logs "name.operation" and gives the surface.
Surface& Logged(Obj* self, const char* operation)
{
    Log("%s.%s", NameOf(self), operation);
    return *self->surface;
}

void Paint(Surface& to, i32 x, i32 y, u32 colour)
{
    if (x >= 0 && y >= 0 && x < to.width && y < to.height)
        to.pixels[y * to.width + x] = colour;
}

void Copy(const Surface& from, Surface& to, i32 x, i32 y)
{
    for (i32 i = 0; i < from.width * from.height; ++i)
        Paint(to, x + i % from.width, y + i / from.width, from.pixels[i]);
}

// The library's memory input file: a vtable whose second slot releases it.
struct InputFile final {
    virtual void Close() {}
    virtual void Release()
    {
        Log("file.Release");
        delete this;
    }
    const std::uint8_t* bytes = nullptr;
    u32 size = 0;
};

std::string FontOf(HFONT font)
{
    LOGFONTA f;
    if (font == nullptr || GetObjectA(font, sizeof f, &f) != sizeof f)
        return font ? "not a font" : "null";
    char text[128];
    std::snprintf(text, sizeof text, "font(%ld,%ld,%ld,%ld,%ld,%u,%u,%u,%u,%u,%u,%u,%u,%s)", f.lfHeight,
                  f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight, f.lfItalic, f.lfUnderline,
                  f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision, f.lfQuality,
                  f.lfPitchAndFamily, f.lfFaceName);
    return text;
}

} // namespace

extern "C" {

BOOL WINAPI GetSurfacePrototype(Obj** slot, i32 depth, i32 type, i32 driver)
{
    Log("GetSurfacePrototype(%d,%d,%d)", depth, type, driver);
    if (failures & FakeMmfs2::FailPrototype)
        return FALSE;
    *slot = &prototype;
    return TRUE;
}

InputFile* WINAPI CreateMemoryInputFile()
{
    Log("CreateMemoryInputFile");
    return new InputFile;
}

i32 THISCALL InputFileOpenMemory(InputFile* self, const void* bytes, u32 size)
{
    Log("file.OpenMemory(%u)", size);
    self->bytes = static_cast<const std::uint8_t*>(bytes);
    self->size = size;
    return 0;
}

const std::uint8_t* THISCALL InputFileGetBuffer(InputFile* self)
{
    Log("file.GetBuffer");
    return self->bytes;
}

// Enough of PNG for tests: IHDR's size, bit depth and colour type. Depths below 8 are refused, as by a
// host whose importer cannot read them; colour types 4 and 6 have an alpha channel.
BOOL WINAPI ImportImage(void* filterManager, InputFile* file, Obj* target, i32 a, i32 b)
{
    Log("ImportImage(%08X,%s,%d,%d)", unsigned(std::uintptr_t(filterManager)), NameOf(target), a, b);
    const std::uint8_t* png = file->bytes;
    const auto word = [png](int at) {
        return i32(u32{png[at]} << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]);
    };
    if ((failures & FakeMmfs2::FailImport) || file->size < 33 || std::memcmp(png, "\x89PNG", 4) != 0 ||
        png[24] < 8 || word(16) <= 0 || word(20) <= 0 || word(16) > 1024 || word(20) > 1024)
        return FALSE;
    Surface& s = *target->surface;
    s = Surface(s.name, word(16), word(20));
    for (i32 i = 0; i < s.width * s.height; ++i)
        s.pixels[i] = FakeMmfs2::ImportedPixel(i % s.width, i / s.width);
    s.alpha.assign(png[25] == 4 || png[25] == 6 ? s.pixels.size() : 0, 0xFF);
    return TRUE;
}

void THISCALL SurfaceConstruct(Obj* self)
{
    *self = {new Surface("#" + std::to_string(nextId++)), {}};
    Logged(self, "Construct");
}

void THISCALL SurfaceDestroy(Obj* self)
{
    delete &Logged(self, "Destroy");
    self->surface = nullptr;
}

BOOL THISCALL SurfaceHasAlpha(Obj* self) { return !Logged(self, "HasAlpha").alpha.empty(); }
i32 THISCALL SurfaceGetWidth(Obj* self) { return Logged(self, "GetWidth").width; }
i32 THISCALL SurfaceGetHeight(Obj* self) { return Logged(self, "GetHeight").height; }
i32 THISCALL SurfaceGetLastError(Obj* self) { return Logged(self, "GetSurfaceLastError").lastError; }
void THISCALL SurfaceReset(Obj* self) { Logged(self, "Reset") = Surface(self->surface->name); }

void THISCALL SurfaceCreateAlpha(Obj* self)
{
    Logged(self, "CreateAlpha").alpha.assign(self->surface->pixels.size(), 0);
}

void THISCALL SurfaceSetTransparentColor(Obj* self, u32 colour)
{
    Log("%s.SetTransparentColor(%06X)", NameOf(self), colour);
}

void THISCALL SurfaceCreate(Obj* self, i32 width, i32 height, Obj* proto)
{
    Log("%s.Create(%d,%d,%s)", NameOf(self), width, height, NameOf(proto));
    *self->surface = Surface(self->surface->name, width, height);
}

BOOL THISCALL SurfaceBlit(Obj* self, Obj* destination)
{
    Log("%s.Blit(%s)", NameOf(self), NameOf(destination));
    if (failures & FakeMmfs2::FailBlit) {
        self->surface->lastError = failedBlitError;
        return FALSE;
    }
    Copy(*self->surface, *destination->surface, 0, 0);
    return TRUE;
}

Obj* WINAPI GetEditorSurface(u32 windowId, i32 a)
{
    Log("GetEditorSurface(%u,%d)", windowId, a);
    return failures & FakeMmfs2::NoEditorSurface ? nullptr : &editor;
}

BOOL THISCALL SurfaceBlitAt(Obj* self, Obj* destination, i32 x, i32 y, i32 a, i32 b, i32 c, i32 d)
{
    Log("%s.Blit(%s,%d,%d,%d,%d,%d,%d)", NameOf(self), NameOf(destination), x, y, a, b, c, d);
    Copy(*self->surface, *destination->surface, x, y);
    return TRUE;
}

void THISCALL SurfaceClone(Obj* self, Obj* source, i32 width, i32 height)
{
    Log("%s.Clone(%s,%d,%d)", NameOf(self), NameOf(source), width, height);
    const std::string name = self->surface->name;
    *self->surface = *source->surface;
    self->surface->name = name;
}

std::uint8_t* THISCALL SurfaceLockAlpha(Obj* self)
{
    Surface& s = Logged(self, "LockAlpha");
    if ((failures & FakeMmfs2::FailLockAlpha) || s.alpha.empty())
        return nullptr;
    s.locked = s.alpha;
    s.locked.resize(s.alpha.size() + GuardSize, GuardByte);
    return s.locked.data();
}

void THISCALL SurfaceUnlockAlpha(Obj* self)
{
    Surface& s = *self->surface;
    const auto end = s.locked.begin() + std::ptrdiff_t(std::min(s.alpha.size(), s.locked.size()));
    const bool overrun = !s.locked.empty() && std::count(end, s.locked.end(), GuardByte) != GuardSize;
    Log(overrun ? "%s.UnlockAlpha after a write past the alpha channel" : "%s.UnlockAlpha", NameOf(self));
    if (!s.locked.empty())
        s.alpha.assign(s.locked.begin(), end);
    s.locked.clear();
}

BOOL THISCALL SurfaceFill(Obj* self, i32 x, i32 y, i32 width, i32 height, u32 colour)
{
    Log("%s.Fill(%d,%d,%d,%d,%06X)", NameOf(self), x, y, width, height, colour);
    for (i32 i = 0; i < width * height; ++i)
        Paint(*self->surface, x + i % width, y + i / width, colour);
    return TRUE;
}

// Marks one pixel per character in the text colour, along the rectangle's top row from its left.
i32 THISCALL SurfaceDrawText(Obj* self, const char* text, u32 length, RECT* at, u32 format, u32 colour,
                             HFONT font, i32 a, i32 b, i32 c, i32 d, i32 e, i32 f, i32 g)
{
    Log("%s.DrawText(\"%.*s\",%u,{%ld,%ld,%ld,%ld},%X,%06X,%s,%d,%d,%d,%d,%d,%d,%d)", NameOf(self),
        int(length), text, length, at->left, at->top, at->right, at->bottom, format, colour,
        FontOf(font).c_str(), a, b, c, d, e, f, g);
    lastFont = font;
    for (i32 i = 0; at->top < at->bottom && i < i32(length) && at->left + i < at->right; ++i)
        Paint(*self->surface, at->left + i, at->top, colour);
    return 1;
}

CONTROL void FakeMmfs2_Reset()
{
    log.clear();
    failures = 0;
    failedBlitError = 0;
    nextId = 1;
    lastFont = nullptr;
}

CONTROL void FakeMmfs2_SetFailures(u32 which, i32 lastError)
{
    failures = which;
    failedBlitError = lastError;
}

CONTROL const char* FakeMmfs2_Log() { return log.c_str(); }
CONTROL HFONT FakeMmfs2_LastFont() { return lastFont; }
CONTROL void* FakeMmfs2_NewSurface(i32 width, i32 height, u32 colour)
{
    return new Obj{new Surface("host", width, height, colour), {}};
}

CONTROL BOOL FakeMmfs2_Describe(const void* surface, FakeMmfs2::SurfaceInfo* info)
{
    const Surface* s = surface ? static_cast<const Obj*>(surface)->surface : nullptr;
    if (s != nullptr)
        *info = {s->width, s->height, !s->alpha.empty(), s->pixels.data(), s->alpha.data()};
    return s != nullptr;
}

} // extern "C"
