#include "ObjectLife.h"

#include "Exports.h"
#include "extension/Extension.h"

#include <cstring>

namespace Tovik {

void SetExtension(RUNDATA* rdPtr, Extension* ext)
{
    std::memcpy(reinterpret_cast<std::uint8_t*>(rdPtr) + (RunDataSize - sizeof ext), &ext, sizeof ext);
}

} // namespace Tovik

HOST_EXPORT std::int32_t HOST_STDCALL CreateRunObject(RUNDATA* rdPtr, EDITDATA* edPtr, void* cobPtr)
{
    auto* ext = new Extension(rdPtr, edPtr, cobPtr);
    Tovik::SetExtension(rdPtr, ext);
    ext->Runtime.ObjectSelection.pExtension = ext;
    return 0;
}

HOST_EXPORT std::int32_t HOST_STDCALL DestroyRunObject(RUNDATA* rdPtr, std::int32_t)
{
    delete GetExtension(rdPtr);
    Tovik::SetExtension(rdPtr, nullptr);
    return 0;
}

HOST_EXPORT std::int32_t HOST_STDCALL HandleRunObject(RUNDATA* rdPtr) { return GetExtension(rdPtr)->Handle(); }
HOST_EXPORT std::int32_t HOST_STDCALL PauseRunObject(RUNDATA* rdPtr) { return GetExtension(rdPtr)->Pause(); }
HOST_EXPORT std::int32_t HOST_STDCALL ContinueRunObject(RUNDATA* rdPtr) { return GetExtension(rdPtr)->Continue(); }
