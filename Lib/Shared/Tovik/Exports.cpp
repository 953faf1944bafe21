// The library's exports: thin forwards to start-up, the state object and the extension object.
#include "Exports.h"
#include "../Host/HostRecords.h"
#include "../Polvane/Globals.h"
#include "../Polvane/JSONValues.h"
#include "../Polvane/Properties.h"
#include "../Polvane/TextConversion.h"
#include "../Polvane/UpdateCheck.h"
#include "Boundary.h"
#include "ObjectLife.h"
#include "SDK.h"
#include "Startup.h"
#include "extension/Extension.h"
#include "json/json.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

// The dependency list handed to the host: up to 31 names and a null end, the names kept in one pool.
constexpr std::size_t DependencySlots = 32;
constexpr std::size_t DependencyPoolSize = 1024;
const wchar_t* dependencyList[DependencySlots];
wchar_t dependencyPool[DependencyPoolSize];
bool dependenciesBuilt = false;
// What a host that asks before a successful Initialize, or a list that could not be built, is answered.
const wchar_t* noDependencies[] = {nullptr};

std::uint16_t editDataSize = 0;

void BuildDependencyList()
{
    std::size_t count = 0;
    std::size_t used = 0;
    // Whole names only: a name that does not fit in the list or the pool is left out.
    auto add = [&](const std::wstring& name) {
        if (count + 1 >= DependencySlots || used + name.size() + 1 > DependencyPoolSize)
            return;
        std::wmemcpy(dependencyPool + used, name.c_str(), name.size() + 1);
        dependencyList[count++] = dependencyPool + used;
        used += name.size() + 1;
    };
    if (Tovik::JSONFromDisk)
        add(std::wstring(Tovik::FileNameOf(Tovik::OwnPathWithEnding(L"json"))));
    const json_value& dependencies = (*::SDK->Root)["Dependencies"];
    if (dependencies.type == json_array)
        for (std::uint32_t i = 0; i < dependencies.u.array.length; ++i)
            add(Polvane::UTF8ToTString(static_cast<const char*>(dependencies[static_cast<int>(i)])));
    dependencyList[count] = nullptr;
}

// The host takes the low 16 bits of an array's length.
std::uint16_t ArrayLength(const json_value& value)
{
    return static_cast<std::uint16_t>(Polvane::ArrayLength(value));
}

} // namespace

HOST_EXPORT BOOL HOST_STDCALL DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH && Polvane::ModuleHandle == nullptr)
        Polvane::ModuleHandle = module;
    return TRUE;
}

HOST_EXPORT std::uint32_t HOST_STDCALL GetInfos(std::int32_t info)
{
    switch (info) {
    case 0:
        return 0x300; // version of the extension interface
    case 2:
        return 0x100; // build type
    case 6:
        return 2; // Unicode
    case 7:
        return 254; // minimum build of the host
    case 8:
        return 1;
    default:
        return 0;
    }
}

HOST_EXPORT std::int32_t HOST_STDCALL Initialize(::mV* mV, std::int32_t quiet)
{
    return Tovik::Guard("Initialize", -1, [&] { return Tovik::Init(mV, quiet != 0); });
}

// The update worker must be gone before the library's code is.
HOST_EXPORT std::int32_t HOST_STDCALL Free(::mV*)
{
    return Tovik::Guard("Free", 0, [&] {
        Polvane::EndUpdateCheck();
        return 0;
    });
}

HOST_EXPORT const wchar_t** HOST_STDCALL GetDependencies()
{
    return Tovik::Guard("GetDependencies", noDependencies, [&] {
        if (::SDK == nullptr)
            return noDependencies;
        if (!dependenciesBuilt) {
            BuildDependencyList();
            dependenciesBuilt = true;
        }
        return dependencyList;
    });
}

HOST_EXPORT std::int32_t HOST_STDCALL GetRunObjectInfos(::mV*, HostRunInfo* info)
{
    return Tovik::Guard("GetRunObjectInfos", 0, [&] {
        // Before a successful Initialize there is nothing to describe; asking for the current language
        // shows its premature-call box.
        const json_value& lang = Polvane::CurLang();
        if (::SDK == nullptr)
            return 0;
        info->conditions = ::SDK->ConditionJumpTable;
        info->actions = ::SDK->ActionJumpTable;
        info->expressions = ::SDK->ExpressionJumpTable;
        info->numOfConditions = ArrayLength(lang["Conditions"]);
        info->numOfActions = ArrayLength(lang["Actions"]);
        info->numOfExpressions = ArrayLength(lang["Expressions"]);
        if (editDataSize == 0)
            editDataSize = GetEDITDATASizeFromJSON();
        info->editDataSize = editDataSize;
        info->objectFlags = 0;
        info->windowProcPriority = 100;
        info->objectFlags2 = 0;
        // An identifier shorter than four bytes is padded with NULs.
        const char* identifier = (*::SDK->Root)["Identifier"];
        std::memset(info->identifier, 0, sizeof info->identifier);
        std::memcpy(info->identifier, identifier, strnlen(identifier, sizeof info->identifier));
        info->version = Extension::Version;
        return 1;
    });
}

HOST_EXPORT std::uint32_t HOST_STDCALL GetRunObjectDataSize(std::int32_t, std::int32_t)
{
    return Tovik::RunDataSize;
}

HOST_EXPORT std::int32_t HOST_STDCALL LoadObject(::mV* mV, std::int32_t, EDITDATA* edPtr, std::int32_t)
{
    return Tovik::Guard("LoadObject", 0, [&] {
        Tovik::InitObject(mV, edPtr);
        return 0;
    });
}

HOST_EXPORT void HOST_STDCALL UnloadObject(std::int32_t, std::int32_t, std::int32_t) {}
