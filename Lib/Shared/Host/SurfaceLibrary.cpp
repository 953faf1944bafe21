#include "SurfaceLibrary.h"

#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Polvane/MsgBox.h"
#include "Seam.h"

namespace Host {
namespace {

template <typename Function> bool FindOrdinal(HMODULE module, Function& slot, WORD ordinal)
{
    slot = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    return slot != nullptr;
}

// Fills one slot; a missing ordinal is named in the box, so the host version at fault can be found.
template <typename Function> bool BindOrdinal(HMODULE module, Function& slot, WORD ordinal)
{
    if (FindOrdinal(module, slot, ordinal))
        return true;
    Polvane::MsgBox::Error(L"Polvane error",
                           L"MMFS2.dll has no function of ordinal %u, so %s's icon cannot be shown.",
                           static_cast<unsigned>(ordinal), Polvane::ProjectName.c_str());
    return false;
}

} // namespace

SurfaceFunctions Surfaces = {};

bool BindSurfaceLibrary()
{
    HMODULE module = Seam.FindSurfaceLibrary();
    if (module == nullptr) {
        Polvane::MsgBox::Error(L"Polvane error",
                               L"MMFS2.dll could not be found, so %s's icon cannot be shown.",
                               Polvane::ProjectName.c_str());
        return false;
    }
    // Bound into a copy first: a table is replaced whole or not at all.
    SurfaceFunctions bound = {};
    const bool complete =
        BindOrdinal(module, bound.GetSurfacePrototype, 172) && BindOrdinal(module, bound.Construct, 264) &&
        BindOrdinal(module, bound.Destroy, 286) && BindOrdinal(module, bound.CreateMemoryInputFile, 638) &&
        BindOrdinal(module, bound.OpenMemory, 366) && BindOrdinal(module, bound.ImportImage, 137) &&
        BindOrdinal(module, bound.GetBuffer, 792) && BindOrdinal(module, bound.HasAlpha, 587) &&
        BindOrdinal(module, bound.SetTransparentColor, 753) && BindOrdinal(module, bound.GetWidth, 585) &&
        BindOrdinal(module, bound.GetHeight, 520) && BindOrdinal(module, bound.Create, 372) &&
        BindOrdinal(module, bound.CreateAlpha, 375) && BindOrdinal(module, bound.Blit, 342) &&
        BindOrdinal(module, bound.GetSurfaceLastError, 523) &&
        BindOrdinal(module, bound.GetEditorSurface, 34) && BindOrdinal(module, bound.BlitAt, 344) &&
        BindOrdinal(module, bound.Reset, 401) && BindOrdinal(module, bound.Clone, 355);
    if (!complete)
        return false;
    // A host library without the badge's operations still shows the icon, only never badged.
    SurfaceFunctions::BadgeFunctions& badge = bound.Badge;
    if (!(FindOrdinal(module, badge.Fill, 436) && FindOrdinal(module, badge.DrawText, 470) &&
          FindOrdinal(module, badge.LockAlpha, 612) && FindOrdinal(module, badge.UnlockAlpha, 613)))
        badge = {};
    Surfaces = bound;
    return true;
}

// Bound all or none.
bool CanDrawBadge() { return Surfaces.Badge.Fill != nullptr; }

} // namespace Host

HostSurface::HostSurface() : storage() { Host::Surfaces.Construct(this); }

HostSurface::~HostSurface() { Host::Surfaces.Destroy(this); }

bool HostSurface::HasAlpha() { return Host::Surfaces.HasAlpha(this) != 0; }

void HostSurface::SetTransparentColor(std::uint32_t colour)
{
    Host::Surfaces.SetTransparentColor(this, colour);
}

std::int32_t HostSurface::GetWidth() { return Host::Surfaces.GetWidth(this); }

std::int32_t HostSurface::GetHeight() { return Host::Surfaces.GetHeight(this); }

void HostSurface::Create(std::int32_t width, std::int32_t height, HostSurface* prototype)
{
    Host::Surfaces.Create(this, width, height, prototype);
}

void HostSurface::CreateAlpha() { Host::Surfaces.CreateAlpha(this); }

bool HostSurface::Blit(HostSurface& destination) { return Host::Surfaces.Blit(this, &destination) != 0; }

std::int32_t HostSurface::GetSurfaceLastError() { return Host::Surfaces.GetSurfaceLastError(this); }

bool HostSurface::Blit(HostSurface& destination, std::int32_t x, std::int32_t y, std::int32_t option1,
                       std::int32_t option2, std::int32_t option3, std::int32_t option4)
{
    return Host::Surfaces.BlitAt(this, &destination, x, y, option1, option2, option3, option4) != 0;
}

void HostSurface::Reset() { Host::Surfaces.Reset(this); }

void HostSurface::Clone(const HostSurface& source, std::int32_t width, std::int32_t height)
{
    Host::Surfaces.Clone(this, &source, width, height);
}

std::uint8_t* HostSurface::LockAlpha() { return Host::Surfaces.Badge.LockAlpha(this); }

void HostSurface::UnlockAlpha() { Host::Surfaces.Badge.UnlockAlpha(this); }

void HostSurface::Fill(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                       std::uint32_t colour)
{
    Host::Surfaces.Badge.Fill(this, x, y, width, height, colour);
}

void HostSurface::DrawText(const char* text, std::uint32_t length, RECT& rectangle, std::uint32_t format,
                           std::uint32_t colour, HFONT font, std::int32_t option1, std::int32_t option2,
                           std::int32_t option3, std::int32_t option4, std::int32_t option5,
                           std::int32_t option6, std::int32_t option7)
{
    Host::Surfaces.Badge.DrawText(this, text, length, &rectangle, format, colour, font, option1, option2,
                                  option3, option4, option5, option6, option7);
}

void HostInputFile::OpenMemory(const void* bytes, std::uint32_t size)
{
    Host::Surfaces.OpenMemory(this, bytes, size);
}

const std::uint8_t* HostInputFile::GetBuffer() { return Host::Surfaces.GetBuffer(this); }

void HostInputFile::Release()
{
    using ReleaseFunction = void(HOST_THISCALL*)(HostInputFile * self);
    ReleaseFunction* vtable = *reinterpret_cast<ReleaseFunction**>(this);
    vtable[1](this);
}
