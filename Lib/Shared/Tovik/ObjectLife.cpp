#include "ObjectLife.h"

#include "Exports.h"
#include "extension/Extension.h"

#include <cstring>

namespace {

// Object flags that make the host put its own records between the header and the extension's data.
constexpr std::uint32_t OEFLAG_MOVEMENTS = 0x10;
constexpr std::uint32_t OEFLAG_ANIMATIONS = 0x20;
constexpr std::uint32_t OEFLAG_SPRITES = 0x100;
constexpr std::uint32_t OEFLAG_VALUES = 0x200;

} // namespace

Extension* GetExtension(RUNDATA* rdPtr)
{
    const std::uint32_t flags = rdPtr->rHo.oeFlags;
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

namespace Tovik {

void SetExtension(RUNDATA* rdPtr, Extension* ext)
{
    std::memcpy(reinterpret_cast<std::uint8_t*>(rdPtr) + (RunDataSize - sizeof ext), &ext, sizeof ext);
}

} // namespace Tovik

HOST_EXPORT std::int32_t HOST_STDCALL CreateRunObject(RUNDATA* rdPtr, EDITDATA* edPtr, void* cobPtr)
{
    auto* ext = new Extension(rdPtr, edPtr, cobPtr);
    Tovik::SetExtension(rdPtr, ext);
    ext->Runtime.ObjectSelection.pExtension = ext;
    return 0;
}

HOST_EXPORT std::int32_t HOST_STDCALL DestroyRunObject(RUNDATA* rdPtr, std::int32_t)
{
    delete GetExtension(rdPtr);
    Tovik::SetExtension(rdPtr, nullptr);
    return 0;
}

HOST_EXPORT std::int32_t HOST_STDCALL HandleRunObject(RUNDATA* rdPtr) { return GetExtension(rdPtr)->Handle(); }
HOST_EXPORT std::int32_t HOST_STDCALL PauseRunObject(RUNDATA* rdPtr) { return GetExtension(rdPtr)->Pause(); }
HOST_EXPORT std::int32_t HOST_STDCALL ContinueRunObject(RUNDATA* rdPtr) { return GetExtension(rdPtr)->Continue(); }
