// Where an object's Extension pointer lives in the host's RUNDATA.
#pragma once

#include "../Host/HostRecords.h"

Extension* GetExtension(RUNDATA* rdPtr);

namespace Tovik {

// The size of RUNDATA reported to the host: its object header and then the Extension pointer.
constexpr std::uint16_t RunDataSize = 188;

void SetExtension(RUNDATA* rdPtr, Extension* ext);

} // namespace Tovik
