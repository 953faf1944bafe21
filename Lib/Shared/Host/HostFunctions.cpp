#include "HostFunctions.h"

#include <cstdint>

namespace {

std::int32_t Word(const void* pointer)
{
    return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

} // namespace

void mvInsertProps(::mV* mV, EDITDATA* edPtr, const void* table, std::int32_t place, std::int32_t after)
{
    if (table != nullptr)
        mV->CallFunction(edPtr, HostFunction::SetPropertyTable, Word(table), place, after);
}

void mvCallFunction18(::mV* mV, EDITDATA* edPtr)
{
    mV->CallFunction(edPtr, HostFunction::RefreshProperties, 0, 0, 0);
}

EDITDATA* mvReAllocEditData(::mV* mV, EDITDATA* edPtr, std::uint32_t newSize)
{
    const std::uint32_t resized = mV->CallFunction(edPtr, HostFunction::ReallocEditData, Word(edPtr),
                                                   static_cast<std::int32_t>(newSize), 0);
    return reinterpret_cast<EDITDATA*>(static_cast<std::uintptr_t>(resized));
}

Prop* mvGetPropValue(::mV* mV, EDITDATA* edPtr, std::int32_t id)
{
    const std::uint32_t value = mV->CallFunction(edPtr, HostFunction::GetPropertyValue, id, 0, 0);
    return reinterpret_cast<Prop*>(static_cast<std::uintptr_t>(value));
}
