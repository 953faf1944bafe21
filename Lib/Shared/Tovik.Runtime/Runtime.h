// Per-object gateway to the host's run-time services: string space, value editing, the state the call
// path keeps while it reads an action's or condition's parameters, and the frame's object tables.
#pragma once

#include "../Host/HostRecords.h"

#include <cstdint>

class Extension;

namespace Polvane {

// A small record of the frame's object tables.
class ObjectSelection {
public:
    Extension* pExtension;
    RunHeader* rhPtr;
    void* ObjectList;
    std::uint8_t* OiList;
    std::uint8_t* QualToOiList;

    // Size in bytes of one OiList entry: -1 until the first selection is built, then 146 or 142.
    static std::int32_t oiListItemSize;

    explicit ObjectSelection(RunHeader* rhPtr);
};

} // namespace Polvane

namespace Tovik {

class Runtime {
public:
    RUNDATA* rdPtr;
    std::int32_t param1;
    std::int32_t param2;
    EventParam* savedCurrentParam;
    Polvane::ObjectSelection ObjectSelection;

    explicit Runtime(Extension* ext);
    ~Runtime() = default;

    // n wide characters of the host's string space, owned by the host.
    wchar_t* GetStringSpace(std::uint32_t n);
    // A copy of text, with its NUL, in the host's string space.
    wchar_t* CopyString(const wchar_t* text);
    std::uint32_t EditInteger(HostEditRecord* record);
    std::uint32_t EditText(HostEditRecord* record);
    // The OiList index held by the object parameter i steps after the saved current parameter.
    std::uint16_t GetOIListIndexFromObjectParam(std::uint32_t i);

private:
    std::uint32_t Callback(int index, std::int32_t w, std::int32_t l);
};

} // namespace Tovik
