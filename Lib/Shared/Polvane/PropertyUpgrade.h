// The property upgrade: a complete new EDITDATA for the current definition, built property by property
// from an old record (written by another version or for another property list) or, for a new object,
// from the definition's defaults. Editor only, on the host's main thread.
#pragma once

#include "Lib/Shared/Host/HostRecords.h"

#include <windows.h>

#include <cstdint>

namespace Polvane {

// The new record in fixed global memory, unlocked, owned by the caller; null when the host should keep
// the record it has (after a box where something failed). oldEdPtr is null for a new object.
HGLOBAL DLL_UpdateEditStructure(::mV* mV, EDITDATA* oldEdPtr);

// Fills edPtr, the record the host allocated for a new object, with the definition's defaults; resizes
// it through the host when its size is not the one built. 0, or -1 on failure.
std::int32_t DLL_CreateObject(::mV* mV, std::int32_t unused, EDITDATA* edPtr);

} // namespace Polvane
