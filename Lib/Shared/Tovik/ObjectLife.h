// Where an object's Extension pointer lives in the host's RUNDATA.
#pragma once

#include "../Host/HostRecords.h"

#include <cstdint>

// Object flags that make the host put records of its own between the header and the extension's data.
constexpr std::uint32_t OEFLAG_MOVEMENTS = 0x10;
constexpr std::uint32_t OEFLAG_ANIMATIONS = 0x20;
constexpr std::uint32_t OEFLAG_SPRITES = 0x100;
constexpr std::uint32_t OEFLAG_VALUES = 0x200;

namespace Tovik {

// The size of RUNDATA reported to the host: its object header and then the Extension pointer.
constexpr std::uint16_t RunDataSize = 188;

void SetExtension(RUNDATA* rdPtr, Extension* ext);

// Where the pointer is when the host has put records of its own before it; the object flags the
// library declares (none) keep it right after the header. It only reads the record, so a caller that
// asks twice is answered once.
[[gnu::pure]] Extension* ExtensionAfterHostRecords(RUNDATA* rdPtr, std::uint32_t flags);

} // namespace Tovik

// Inline: every action, condition and expression call starts here.
inline Extension* GetExtension(RUNDATA* rdPtr)
{
    const std::uint32_t flags = rdPtr->rHo.oeFlags;
    if ((flags & (OEFLAG_ANIMATIONS | OEFLAG_MOVEMENTS | OEFLAG_VALUES | OEFLAG_SPRITES)) != 0)
        return Tovik::ExtensionAfterHostRecords(rdPtr, flags);
    return rdPtr->pExtension;
}
