// The generic routines of the three jump tables: find the item's member, read its parameters from
// the host as the item's plan says, call it, and hand its result back as the host expects.
#pragma once

#include "../Host/HostRecords.h"
#include "SDK.h"

#include <cstdint>

namespace Tovik {

std::int32_t HOST_STDCALL Action(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2);
std::int32_t HOST_STDCALL Condition(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2);
std::int32_t HOST_STDCALL Expression(RUNDATA* rdPtr, std::int32_t param);

// How a call reads the parameters of an item, worked out from its record and the number of
// parameters read (count, at most the record's). An action or condition of at most two parameters,
// neither of the first two a float, takes them from the host's direct arguments.
CallPlan PlanActionOrCondition(const ACEInfo& info, std::uint8_t count, bool isCondition);
CallPlan PlanExpression(const ACEInfo& info, std::uint8_t count);

void RestoreCurrentParam(Extension* ext);
std::uint32_t GetEventNumber(RUNDATA* rdPtr);

} // namespace Tovik
