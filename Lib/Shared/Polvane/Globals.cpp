#include "Globals.h"

namespace Polvane {

MFXRunMode RunMode = MFXRunMode::Unset;
DWORD MainThreadID = 0;
HWND OwnerWindow = nullptr;
HMODULE ModuleHandle = nullptr;
const std::wstring ProjectName = L"Morvalex";

} // namespace Polvane
