#include "ImportPatch.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace TestHost {

namespace {

// The import address table slot of dll!function in module, found through the import names
// (OriginalFirstThunk); null when the module does not import it by name.
void** FindImportSlot(HMODULE module, const char* dll, const char* function)
{
    if (module == nullptr)
        return nullptr;
    auto base = reinterpret_cast<std::uint8_t*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return nullptr;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;
    for (auto descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0 ||
            descriptor->OriginalFirstThunk == 0)
            continue;
        auto names = reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + descriptor->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal))
                continue;
            auto byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
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

} // namespace

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement)
    : slot(FindImportSlot(module, dll, function)), original(nullptr)
{
    if (slot == nullptr)
        return;
    original = *slot;
    if (!WriteSlot(slot, replacement))
        throw std::runtime_error("could not make the import table writable");
}

ImportPatch::~ImportPatch()
{
    if (slot != nullptr)
        WriteSlot(slot, original);
}

} // namespace TestHost
