#include "ImportPatch.h"
#include "MessageBoxRecorder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace TestHost {

namespace {

// The import address table slot of dll!function in module, found through the import names
// (OriginalFirstThunk); null when the module does not import it by name.
void** FindImportSlot(HMODULE module, const char* dll, const char* function)
{
    auto base = reinterpret_cast<std::uint8_t*>(module);
    if (base == nullptr)
        return nullptr;
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress != 0 && descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0 ||
            descriptor->OriginalFirstThunk == 0)
            continue;
        auto names = reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + descriptor->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            auto byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (!IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal) &&
                std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

// The table is usually read-only once the loader has filled it.
bool WriteSlot(void** slot, void* value)
{
    DWORD protection;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection))
        return false;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return true;
}

std::vector<MessageBoxRecorder*> recorders;

} // namespace

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement)
    : slot(FindImportSlot(module, dll, function)), original(slot != nullptr ? *slot : nullptr)
{
    if (slot != nullptr && !WriteSlot(slot, replacement))
        throw std::runtime_error("could not make the import table writable");
}

ImportPatch::~ImportPatch()
{
    if (slot != nullptr)
        WriteSlot(slot, original);
}

MessageBoxRecorder::MessageBoxRecorder(HMODULE module)
    : ImportPatch(module, "user32.dll", "MessageBoxW", reinterpret_cast<void*>(&Record))
{
    recorders.push_back(this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    recorders.erase(std::find(recorders.begin(), recorders.end(), this));
}

int WINAPI MessageBoxRecorder::Record(HWND owner, LPCWSTR text, LPCWSTR title, UINT style)
{
    recorders.back()->boxes.push_back(
        {title != nullptr ? title : L"", text != nullptr ? text : L"", style, owner});
    return IDOK;
}

} // namespace TestHost
