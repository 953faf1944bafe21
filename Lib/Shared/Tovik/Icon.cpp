#include "Icon.h"

#include "../Host/SurfaceLibrary.h"
#include "../Polvane/Globals.h"
#include "../Polvane/MsgBox.h"
#include "../Polvane/UpdateNotice.h"
#include "Boundary.h"
#include "Exports.h"
#include "SDK.h"
#include "Startup.h"

#include <cstdlib>
#include <memory>

namespace {

// Byte 24 of a PNG file is its header's bit depth; a file too short to hold it gets the plain message.
void ReportImportFailure(HostInputFile& file, std::size_t size)
{
    if (size > 24) {
        const std::uint8_t depth = file.GetBuffer()[24];
        if (depth <= 4) {
            Polvane::MsgBox::Error(L"Failed to load ext icon",
                                   L"%s's Icon.png uses a bit depth of %hhu, which is too small.",
                                   Polvane::ProjectName.c_str(), depth);
            return;
        }
    }
    Polvane::MsgBox::Error(L"Failed to load ext icon", L"%s's Icon.png failed to load.",
                           Polvane::ProjectName.c_str());
}

// Gives the icon the image's size and, when the image could be decoded, its pixels.
void FillIcon(HostSurface& icon, HostSurface* prototype, void* filterManager, const std::uint8_t* image,
              std::size_t size)
{
    HostInputFile* file = Host::Surfaces.CreateMemoryInputFile();
    file->OpenMemory(image, static_cast<std::uint32_t>(size));
    HostSurface decoded;
    const bool imported = Host::Surfaces.ImportImage(filterManager, file, &decoded, 0, 0) != 0;
    if (!imported)
        ReportImportFailure(*file, size);
    file->Release();

    const bool hasAlpha = decoded.HasAlpha();
    if (!hasAlpha)
        decoded.SetTransparentColor(Tovik::IconTransparentColor);
    // The host library makes pixels only after a prototype: without one the icon stays empty.
    if (prototype == nullptr)
        return;
    const std::int32_t width = decoded.GetWidth();
    const std::int32_t height = decoded.GetHeight();
    icon.Create(width, height, prototype);
    if (!hasAlpha)
        icon.SetTransparentColor(Tovik::IconTransparentColor);
    else
        icon.CreateAlpha();
    if (imported && !decoded.Blit(icon))
        Polvane::MsgBox::Error(L"Polvane error", L"Blitting to ext icon surface failed. Last error: %i.",
                               decoded.GetSurfaceLastError());
}

} // namespace

namespace Tovik {

HostSurface* BuildIcon(::mV* mV)
{
    if (!Host::BindSurfaceLibrary())
        return nullptr;
    HostSurface* prototype = nullptr;
    if (Host::Surfaces.GetSurfacePrototype(&prototype, 32, 1, 3) == 0) {
        Polvane::MsgBox::Error(L"Polvane error", L"Getting surface prototype failed.");
        prototype = nullptr;
    }
    auto icon = std::make_unique<HostSurface>();
    if (mV == nullptr || mV->imageFilterManager == nullptr)
        return icon.release();
    const std::uint8_t* image = nullptr;
    std::size_t size = 0;
    const int source = GetDependency(image, size, L"png", 101);
    if (source == NotFound)
        return icon.release();
    FillIcon(*icon, prototype, mV->imageFilterManager, image, size);
    // A file's bytes are ours; a resource's belong to the module.
    if (source == FromFile)
        std::free(const_cast<std::uint8_t*>(image));
    return icon.release();
}

} // namespace Tovik

HOST_EXPORT void HOST_STDCALL EditorDisplay(::mV* mV, std::int32_t, std::int32_t, EDITDATA*, RECT* rc)
{
    Tovik::GuardVoid("EditorDisplay", [&] {
        // Without the host's surface library there is neither an icon nor anything to draw it with; before
        // Initialize there is not even a state object.
        if (::SDK == nullptr || ::SDK->Icon == nullptr || mV == nullptr || rc == nullptr)
            return;
        HostSurface* editor = Host::Surfaces.GetEditorSurface(mV->editorWindowId, 0);
        if (editor == nullptr)
            return;
        // Before the icon is drawn: the notice may paint its badge on the icon.
        Polvane::ShowUpdateNotice();
        ::SDK->Icon->Blit(*editor, rc->left, rc->top, 1, 0, 0, 0);
    });
}

HOST_EXPORT std::int32_t HOST_STDCALL MakeIconEx(::mV*, HostSurface* icon, std::int32_t, std::int32_t,
                                                 std::int32_t)
{
    return Tovik::Guard("MakeIconEx", 0, [&] {
        if (icon != nullptr && ::SDK != nullptr && ::SDK->Icon != nullptr) {
            icon->Reset();
            icon->Clone(*::SDK->Icon, -1, -1);
            icon->SetTransparentColor(Tovik::IconTransparentColor);
        }
        return 0;
    });
}
