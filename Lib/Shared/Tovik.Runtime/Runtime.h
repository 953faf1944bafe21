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

// Run-time callback `index` of the object's run header.
inline std::uint32_t CallHost(RUNDATA* rdPtr, int index, std::int32_t w, std::int32_t l)
{
    return rdPtr->GetRunHeader()->RuntimeCallbacks[index](rdPtr, w, l);
}

// n wide characters of the object's string space, owned by the host.
inline wchar_t* StringSpace(RUNDATA* rdPtr, std::uint32_t n)
{
    const auto bytes = static_cast<std::int32_t>(n * sizeof(wchar_t));
    return reinterpret_cast<wchar_t*>(
        static_cast<std::uintptr_t>(CallHost(rdPtr, HostCallback::GetStringSpace, 0, bytes)));
}

// A copy of the length characters of text, and a NUL, in the host's string space of the object; null
// when the host gives none. Inline, with a plain loop: expression results are short, and a call into the
// C runtime would cost more than the copy, while a length known when compiling makes it a few moves.
inline wchar_t* CopyToStringSpace(RUNDATA* rdPtr, const wchar_t* text, std::uint32_t length)
{
    wchar_t* copy = StringSpace(rdPtr, length + 1);
    if (copy != nullptr) {
        for (std::uint32_t i = 0; i < length; ++i)
            copy[i] = text[i];
        copy[length] = L'\0';
    }
    return copy;
}

// The same for a NUL-terminated text. The scan looks at four characters a step, none past the end.
inline wchar_t* CopyToStringSpace(RUNDATA* rdPtr, const wchar_t* text)
{
    const wchar_t* end = text;
    while (end[0] != L'\0' && end[1] != L'\0' && end[2] != L'\0' && end[3] != L'\0')
        end += 4;
    while (*end != L'\0')
        ++end;
    return CopyToStringSpace(rdPtr, text, static_cast<std::uint32_t>(end - text));
}

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
    wchar_t* GetStringSpace(std::uint32_t n) { return StringSpace(rdPtr, n); }

    // A copy of text, with its NUL, in the host's string space.
    wchar_t* CopyString(const wchar_t* text) { return CopyToStringSpace(rdPtr, text); }
    // The same for the length characters of text (a literal's length is known when compiling).
    wchar_t* CopyString(const wchar_t* text, std::uint32_t length)
    {
        return CopyToStringSpace(rdPtr, text, length);
    }
    std::uint32_t EditInteger(HostEditRecord* record);
    std::uint32_t EditText(HostEditRecord* record);
    // The OiList index held by the object parameter i steps after the saved current parameter.
    std::uint16_t GetOIListIndexFromObjectParam(std::uint32_t i);

private:
    std::uint32_t Callback(int index, std::int32_t w, std::int32_t l);
};

} // namespace Tovik
