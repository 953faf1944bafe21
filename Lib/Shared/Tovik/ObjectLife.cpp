#include "ObjectLife.h"

#include "Boundary.h"
#include "Exports.h"
#include "extension/Extension.h"

#include <cstring>

namespace Tovik {

[[gnu::noinline, gnu::cold]] Extension* ExtensionAfterHostRecords(RUNDATA* rdPtr, std::uint32_t flags)
{
    std::size_t offset = sizeof(ObjectHeader);
    if (flags & (OEFLAG_ANIMATIONS | OEFLAG_MOVEMENTS | OEFLAG_VALUES))
        offset += 120;
    if (flags & OEFLAG_ANIMATIONS)
        offset += 80;
    if (flags & OEFLAG_MOVEMENTS)
        offset += 158;
    if (flags & OEFLAG_VALUES)
        offset += 36;
    if (flags & OEFLAG_SPRITES)
        offset += 174;
    Extension* ext;
    std::memcpy(&ext, reinterpret_cast<const std::uint8_t*>(rdPtr) + offset, sizeof ext);
    return ext;
}

void SetExtension(RUNDATA* rdPtr, Extension* ext)
{
    std::memcpy(reinterpret_cast<std::uint8_t*>(rdPtr) + (RunDataSize - sizeof ext), &ext, sizeof ext);
}

} // namespace Tovik

HOST_EXPORT std::int32_t HOST_STDCALL CreateRunObject(RUNDATA* rdPtr, EDITDATA* edPtr, void* cobPtr)
{
    return Tovik::Guard("CreateRunObject", 0, [&] {
        // An object whose construction fails is left without one, which every later call answers neutrally.
        Tovik::SetExtension(rdPtr, nullptr);
        auto* ext = new Extension(rdPtr, edPtr, cobPtr);
        Tovik::SetExtension(rdPtr, ext);
        ext->Runtime.ObjectSelection.pExtension = ext;
        return 0;
    });
}

HOST_EXPORT std::int32_t HOST_STDCALL DestroyRunObject(RUNDATA* rdPtr, std::int32_t)
{
    return Tovik::Guard("DestroyRunObject", 0, [&] {
        delete GetExtension(rdPtr);
        Tovik::SetExtension(rdPtr, nullptr);
        return 0;
    });
}

// An object that was never built, or is already destroyed, has nothing to handle (1: no further calls).
HOST_EXPORT std::int32_t HOST_STDCALL HandleRunObject(RUNDATA* rdPtr)
{
    Extension* ext = GetExtension(rdPtr);
    return ext != nullptr ? ext->Handle() : 1;
}

HOST_EXPORT std::int32_t HOST_STDCALL PauseRunObject(RUNDATA* rdPtr)
{
    Extension* ext = GetExtension(rdPtr);
    return ext != nullptr ? ext->Pause() : 0;
}

HOST_EXPORT std::int32_t HOST_STDCALL ContinueRunObject(RUNDATA* rdPtr)
{
    Extension* ext = GetExtension(rdPtr);
    return ext != nullptr ? ext->Continue() : 0;
}
