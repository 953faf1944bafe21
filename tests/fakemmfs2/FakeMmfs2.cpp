// A stand-in for the host's surface library, for tests only: the operations the library imports by
// ordinal, with surfaces kept as plain pixel buffers and every call written to a log. Free functions are
// stdcall, surface and input-file operations thiscall, as the library calls them.
#include "FakeMmfs2.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define FAKE_THISCALL __attribute__((thiscall))

namespace {

struct Surface {
    std::int32_t id = 0;
    std::string name;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint8_t> alpha;  // empty: no alpha channel
    std::vector<std::uint8_t> locked; // while the alpha channel is locked: its copy and the guard bytes
    bool hasTransparentColor = false;
    std::uint32_t transparentColor = 0;
    std::int32_t lastError = 0;
};

// The host's 16-byte surface object: the fake keeps its own record behind the first word.
struct SurfaceObject {
    Surface* surface;
    std::uint32_t unused[3];
};
static_assert(sizeof(SurfaceObject) == 16);

// Written after a locked alpha channel's copy, so that a write past its end shows at the unlock.
constexpr std::size_t GuardSize = 4096;
constexpr std::uint8_t GuardByte = 0xA5;

std::string log;
std::uint32_t failures = 0;
std::int32_t failedBlitError = 0;
std::int32_t nextId = 1;
HFONT lastFont = nullptr;
SurfaceObject prototype = {};
SurfaceObject editor = {};

void Log(const char* format, ...)
{
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log += line;
    log += '\n';
}

const char* NameOf(const SurfaceObject* object)
{
    return object != nullptr && object->surface != nullptr ? object->surface->name.c_str() : "null";
}

Surface* NewRecord(const std::string& name, std::int32_t id)
{
    auto* surface = new Surface;
    surface->id = id;
    surface->name = name;
    return surface;
}

// The library's memory input file: a vtable whose second slot releases it.
class InputFile final {
public:
    virtual void Close() {}
    virtual void Release()
    {
        Log("file.Release");
        delete this;
    }

    const std::uint8_t* bytes = nullptr;
    std::uint32_t size = 0;
};

std::uint32_t BigEndian32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

void CopyPixels(const Surface& source, Surface& destination, std::int32_t x, std::int32_t y)
{
    for (std::int32_t row = 0; row < source.height; ++row)
        for (std::int32_t column = 0; column < source.width; ++column) {
            std::int32_t dx = x + column, dy = y + row;
            if (dx < 0 || dy < 0 || dx >= destination.width || dy >= destination.height)
                continue;
            destination.pixels[dy * destination.width + dx] = source.pixels[row * source.width + column];
            if (!destination.alpha.empty())
                destination.alpha[dy * destination.width + dx] =
                    source.alpha.empty() ? 0xFF : source.alpha[row * source.width + column];
        }
}

void Paint(Surface& surface, std::int32_t x, std::int32_t y, std::uint32_t colour)
{
    if (x >= 0 && y >= 0 && x < surface.width && y < surface.height)
        surface.pixels[y * surface.width + x] = colour;
}

std::string DescribeFont(HFONT font)
{
    if (font == nullptr)
        return "null";
    LOGFONTA f;
    if (GetObjectA(font, sizeof f, &f) != sizeof f)
        return "not a font";
    char text[128];
    std::snprintf(text, sizeof text, "font(%ld,%ld,%ld,%ld,%ld,%u,%u,%u,%u,%u,%u,%u,%u,%s)", f.lfHeight,
                  f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight, f.lfItalic, f.lfUnderline,
                  f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision, f.lfQuality,
                  f.lfPitchAndFamily, f.lfFaceName);
    return text;
}

} // namespace

extern "C" {

BOOL WINAPI GetSurfacePrototype(SurfaceObject** slot, std::int32_t depth, std::int32_t type,
                                std::int32_t driver)
{
    Log("GetSurfacePrototype(%d,%d,%d)", depth, type, driver);
    if (failures & FakeMmfs2::FailPrototype)
        return FALSE;
    if (prototype.surface == nullptr)
        prototype.surface = NewRecord("prototype", 0);
    *slot = &prototype;
    return TRUE;
}

void FAKE_THISCALL SurfaceConstruct(SurfaceObject* self)
{
    std::int32_t id = nextId++;
    *self = {NewRecord("#" + std::to_string(id), id), {}};
    Log("%s.Construct", NameOf(self));
}

void FAKE_THISCALL SurfaceDestroy(SurfaceObject* self)
{
    Log("%s.Destroy", NameOf(self));
    delete self->surface;
    self->surface = nullptr;
}

InputFile* WINAPI CreateMemoryInputFile()
{
    Log("CreateMemoryInputFile");
    return new InputFile;
}

std::int32_t FAKE_THISCALL InputFileOpenMemory(InputFile* self, const void* bytes, std::uint32_t size)
{
    Log("file.OpenMemory(%u)", size);
    self->bytes = static_cast<const std::uint8_t*>(bytes);
    self->size = size;
    return 0;
}

const std::uint8_t* FAKE_THISCALL InputFileGetBuffer(InputFile* self)
{
    Log("file.GetBuffer");
    return self->bytes;
}

// Enough of PNG for tests: the signature, and the IHDR's size, bit depth and colour type. Depths below 8
// are refused, as a host whose importer cannot read them would.
BOOL WINAPI ImportImage(void* filterManager, InputFile* file, SurfaceObject* target, std::int32_t a,
                        std::int32_t b)
{
    Log("ImportImage(%08X,%s,%d,%d)", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(filterManager)),
        NameOf(target), a, b);
    static const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const std::uint8_t* bytes = file->bytes;
    if ((failures & FakeMmfs2::FailImport) || filterManager == nullptr || file->size < 33 ||
        std::memcmp(bytes, signature, sizeof signature) != 0 || std::memcmp(bytes + 12, "IHDR", 4) != 0)
        return FALSE;
    std::uint32_t width = BigEndian32(bytes + 16), height = BigEndian32(bytes + 20);
    std::uint8_t depth = bytes[24], colourType = bytes[25];
    if (depth < 8 || width == 0 || height == 0 || width > 1024 || height > 1024)
        return FALSE;
    Surface& surface = *target->surface;
    surface.width = static_cast<std::int32_t>(width);
    surface.height = static_cast<std::int32_t>(height);
    surface.pixels.resize(width * height);
    for (std::int32_t y = 0; y < surface.height; ++y)
        for (std::int32_t x = 0; x < surface.width; ++x)
            surface.pixels[y * surface.width + x] = FakeMmfs2::ImportedPixel(x, y);
    // Grey with alpha (4) and colour with alpha (6) have an alpha channel.
    surface.alpha.assign(colourType == 4 || colourType == 6 ? width * height : 0, 0xFF);
    return TRUE;
}

BOOL FAKE_THISCALL SurfaceHasAlpha(SurfaceObject* self)
{
    Log("%s.HasAlpha", NameOf(self));
    return !self->surface->alpha.empty();
}

void FAKE_THISCALL SurfaceSetTransparentColor(SurfaceObject* self, std::uint32_t colour)
{
    Log("%s.SetTransparentColor(%06X)", NameOf(self), colour);
    self->surface->hasTransparentColor = true;
    self->surface->transparentColor = colour;
}

std::int32_t FAKE_THISCALL SurfaceGetWidth(SurfaceObject* self)
{
    Log("%s.GetWidth", NameOf(self));
    return self->surface->width;
}

std::int32_t FAKE_THISCALL SurfaceGetHeight(SurfaceObject* self)
{
    Log("%s.GetHeight", NameOf(self));
    return self->surface->height;
}

void FAKE_THISCALL SurfaceCreate(SurfaceObject* self, std::int32_t width, std::int32_t height,
                                 SurfaceObject* proto)
{
    Log("%s.Create(%d,%d,%s)", NameOf(self), width, height, NameOf(proto));
    Surface& surface = *self->surface;
    surface.width = width > 0 ? width : 0;
    surface.height = height > 0 ? height : 0;
    surface.pixels.assign(static_cast<std::size_t>(surface.width) * surface.height, 0);
    surface.alpha.clear();
}

void FAKE_THISCALL SurfaceCreateAlpha(SurfaceObject* self)
{
    Log("%s.CreateAlpha", NameOf(self));
    self->surface->alpha.assign(self->surface->pixels.size(), 0);
}

BOOL FAKE_THISCALL SurfaceBlit(SurfaceObject* self, SurfaceObject* destination)
{
    Log("%s.Blit(%s)", NameOf(self), NameOf(destination));
    if (failures & FakeMmfs2::FailBlit) {
        self->surface->lastError = failedBlitError;
        return FALSE;
    }
    CopyPixels(*self->surface, *destination->surface, 0, 0);
    return TRUE;
}

std::int32_t FAKE_THISCALL SurfaceGetLastError(SurfaceObject* self)
{
    Log("%s.GetSurfaceLastError", NameOf(self));
    return self->surface->lastError;
}

SurfaceObject* WINAPI GetEditorSurface(std::uint32_t windowId, std::int32_t a)
{
    Log("GetEditorSurface(%u,%d)", windowId, a);
    if (failures & FakeMmfs2::NoEditorSurface)
        return nullptr;
    if (editor.surface == nullptr) {
        editor.surface = NewRecord("editor", 0);
        editor.surface->width = 640;
        editor.surface->height = 480;
        editor.surface->pixels.assign(640 * 480, 0);
    }
    return &editor;
}

BOOL FAKE_THISCALL SurfaceBlitAt(SurfaceObject* self, SurfaceObject* destination, std::int32_t x,
                                 std::int32_t y, std::int32_t a, std::int32_t b, std::int32_t c,
                                 std::int32_t d)
{
    Log("%s.Blit(%s,%d,%d,%d,%d,%d,%d)", NameOf(self), NameOf(destination), x, y, a, b, c, d);
    CopyPixels(*self->surface, *destination->surface, x, y);
    return TRUE;
}

void FAKE_THISCALL SurfaceReset(SurfaceObject* self)
{
    Log("%s.Reset", NameOf(self));
    Surface& surface = *self->surface;
    Surface empty;
    empty.id = surface.id;
    empty.name = surface.name;
    surface = empty;
}

void FAKE_THISCALL SurfaceClone(SurfaceObject* self, SurfaceObject* source, std::int32_t width,
                                std::int32_t height)
{
    Log("%s.Clone(%s,%d,%d)", NameOf(self), NameOf(source), width, height);
    Surface& surface = *self->surface;
    const std::int32_t id = surface.id;
    const std::string name = surface.name;
    surface = *source->surface;
    surface.id = id;
    surface.name = name;
}

std::uint8_t* FAKE_THISCALL SurfaceLockAlpha(SurfaceObject* self)
{
    Log("%s.LockAlpha", NameOf(self));
    Surface& surface = *self->surface;
    if ((failures & FakeMmfs2::FailLockAlpha) || surface.alpha.empty())
        return nullptr;
    surface.locked = surface.alpha;
    surface.locked.resize(surface.alpha.size() + GuardSize, GuardByte);
    return surface.locked.data();
}

void FAKE_THISCALL SurfaceUnlockAlpha(SurfaceObject* self)
{
    Surface& surface = *self->surface;
    if (surface.locked.empty()) {
        Log("%s.UnlockAlpha without a lock", NameOf(self));
        return;
    }
    bool overrun = false;
    for (std::size_t i = surface.alpha.size(); i < surface.locked.size(); ++i)
        overrun = overrun || surface.locked[i] != GuardByte;
    Log(overrun ? "%s.UnlockAlpha after a write past the alpha channel" : "%s.UnlockAlpha", NameOf(self));
    std::copy(surface.locked.begin(), surface.locked.begin() + surface.alpha.size(), surface.alpha.begin());
    surface.locked.clear();
}

BOOL FAKE_THISCALL SurfaceFill(SurfaceObject* self, std::int32_t x, std::int32_t y, std::int32_t width,
                               std::int32_t height, std::uint32_t colour)
{
    Log("%s.Fill(%d,%d,%d,%d,%06X)", NameOf(self), x, y, width, height, colour);
    for (std::int32_t row = y; row < y + height; ++row)
        for (std::int32_t column = x; column < x + width; ++column)
            Paint(*self->surface, column, row, colour);
    return TRUE;
}

std::int32_t FAKE_THISCALL SurfaceDrawText(SurfaceObject* self, const char* text, std::uint32_t length,
                                           RECT* rectangle, std::uint32_t format, std::uint32_t colour,
                                           HFONT font, std::int32_t a, std::int32_t b, std::int32_t c,
                                           std::int32_t d, std::int32_t e, std::int32_t f, std::int32_t g)
{
    Log("%s.DrawText(\"%.*s\",%u,{%ld,%ld,%ld,%ld},%X,%06X,%s,%d,%d,%d,%d,%d,%d,%d)", NameOf(self),
        static_cast<int>(length), text, length, rectangle->left, rectangle->top, rectangle->right,
        rectangle->bottom, format, colour, DescribeFont(font).c_str(), a, b, c, d, e, f, g);
    lastFont = font;
    if (rectangle->top < rectangle->bottom)
        for (std::uint32_t i = 0; i < length && rectangle->left + static_cast<LONG>(i) < rectangle->right;
             ++i)
            Paint(*self->surface, rectangle->left + static_cast<std::int32_t>(i), rectangle->top, colour);
    return 1;
}

// The test controls.

void WINAPI FakeMmfs2_Reset()
{
    log.clear();
    failures = 0;
    failedBlitError = 0;
    nextId = 1;
    lastFont = nullptr;
}

const char* WINAPI FakeMmfs2_Log() { return log.c_str(); }

void WINAPI FakeMmfs2_SetFailures(std::uint32_t which, std::int32_t lastError)
{
    failures = which;
    failedBlitError = lastError;
}

BOOL WINAPI FakeMmfs2_Describe(const SurfaceObject* object, FakeMmfs2::SurfaceInfo* info)
{
    if (object == nullptr || object->surface == nullptr)
        return FALSE;
    const Surface& surface = *object->surface;
    *info = {surface.id,
             surface.width,
             surface.height,
             !surface.alpha.empty(),
             surface.hasTransparentColor,
             surface.transparentColor,
             surface.pixels.data(),
             surface.alpha.empty() ? nullptr : surface.alpha.data()};
    return TRUE;
}

void* WINAPI FakeMmfs2_NewSurface(std::int32_t width, std::int32_t height, std::uint32_t colour)
{
    auto* object = new SurfaceObject{NewRecord("host", 0), {}};
    object->surface->width = width;
    object->surface->height = height;
    object->surface->pixels.assign(static_cast<std::size_t>(width) * height, colour);
    return object;
}

void WINAPI FakeMmfs2_DeleteSurface(SurfaceObject* object)
{
    delete object->surface;
    delete object;
}

HFONT WINAPI FakeMmfs2_LastFont() { return lastFont; }

} // extern "C"
