// Process-wide state that start-up sets and the shared services consult.
#pragma once

#include <windows.h>

#include <string>

namespace Polvane {

enum class MFXRunMode : int {
    Unset = -1,
    BuiltEXE = 0,
    QuietLoad = 1,
    Editor = 2,
    RunApplication = 3,
};

extern MFXRunMode RunMode;   // decided again by every Initialize
extern DWORD MainThreadID;   // the thread that called Initialize
extern HWND OwnerWindow;     // owner of every message box: the host's main window
extern HMODULE ModuleHandle; // kept by DllMain
extern const std::wstring ProjectName;

} // namespace Polvane
