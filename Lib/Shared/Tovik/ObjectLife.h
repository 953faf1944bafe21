// Where an object's Extension pointer lives in the host's RUNDATA.
#pragma once

#include "../Host/HostRecords.h"

#include <cstring>

// Object flags that make the host put records of its own between the header and the extension's data.
constexpr std::uint32_t OEFLAG_MOVEMENTS = 0x10;
constexpr std::uint32_t OEFLAG_ANIMATIONS = 0x20;
constexpr std::uint32_t OEFLAG_SPRITES = 0x100;
constexpr std::uint32_t OEFLAG_VALUES = 0x200;

// Inline: every action, condition and expression call starts here.
inline Extension* GetExtension(RUNDATA* rdPtr)
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

// The size of RUNDATA reported to the host: its object header and then the Extension pointer.
constexpr std::uint16_t RunDataSize = 188;

void SetExtension(RUNDATA* rdPtr, Extension* ext);

} // namespace Tovik
