#include "Runtime.h"

#include "../Polvane/Log.h"
#include "extension/Extension.h"

#include <cassert>

std::int32_t Polvane::ObjectSelection::oiListItemSize = -1;

std::uint8_t* RunHeader::GetOIListByIndex(std::uint32_t index)
{
    if (index < static_cast<std::uint32_t>(NumberOi)) {
        assert((Polvane::ObjectSelection::oiListItemSize != 0 || index == 0) &&
               "Polvane::ObjectSelection::oiListItemSize != 0 || index == 0");
        assert(static_cast<std::size_t>(NumberOi) > index && "(std::size_t)NumberOi > index");
        return OiList + Polvane::ObjectSelection::oiListItemSize * static_cast<std::int32_t>(index);
    }
    Polvane::Log(6,
                 L"RunHeader::GetOIListByIndex() was passed invalid OIList index %zu, are you passing a OI "
                 L"instead?\n",
                 static_cast<std::size_t>(index));
    return nullptr;
}

std::uint8_t* RunHeader::GetQualToOiList(std::int32_t offset) { return QualToOiList + (offset & 0x7FFF); }

namespace Polvane {

ObjectSelection::ObjectSelection(RunHeader* rhPtr)
    : pExtension(nullptr), rhPtr(rhPtr), ObjectList(rhPtr->GetObjectList()),
      OiList(rhPtr->GetOIListByIndex(0)), QualToOiList(rhPtr->GetQualToOiList(0))
{
    // Settled once per process: the host's OiList entries are 4 bytes shorter without hardware
    // acceleration.
    if (oiListItemSize == -1) {
        oiListItemSize = 146;
        if (rhPtr->mvPtr->CallFunction(nullptr, HostFunction::IsHardwareAccelerated, 0, 0, 0) == 0)
            oiListItemSize = 146 - 4;
    }
}

} // namespace Polvane

namespace Tovik {

Runtime::Runtime(Extension* ext)
    : rdPtr(ext->rdPtr), param1(0), param2(0), savedCurrentParam(nullptr),
      ObjectSelection(ext->rdPtr->GetRunHeader())
{
}

std::uint32_t Runtime::Callback(int index, std::int32_t w, std::int32_t l)
{
    return CallHost(rdPtr, index, w, l);
}

std::uint32_t Runtime::EditInteger(HostEditRecord* record)
{
    return Callback(HostCallback::EditInteger, 0,
                    static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(record)));
}

std::uint32_t Runtime::EditText(HostEditRecord* record)
{
    return Callback(HostCallback::EditText, 0,
                    static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(record)));
}

std::uint16_t Runtime::GetOIListIndexFromObjectParam(std::uint32_t i)
{
    const EventParam* param = savedCurrentParam;
    for (std::uint32_t step = 0; step < i; ++step)
        param =
            reinterpret_cast<const EventParam*>(reinterpret_cast<const std::uint8_t*>(param) + param->size);
    if (param->code != 1)
        Polvane::Log(
            6, L"GetOIListIndexFromObjectParam: Returning a OiList index for a non-Object parameter.\n");
    Polvane::Log(4, L"GetOIListIndexFromObjectParam: Returning OiList %hi, oi is %hi.\n",
                 static_cast<int>(param->value16[0]), static_cast<int>(param->value16[1]));
    return static_cast<std::uint16_t>(param->value16[0]);
}

} // namespace Tovik
