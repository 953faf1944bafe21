#include "Seam.h"

#include <objbase.h>

namespace Host {

SeamTable Seam = {
    ::MessageBoxW, ::OutputDebugStringW, ::GetTickCount64, ::GetLocalTime,
    ::CoInitialize, ::CoUninitialize,     ::CoCreateInstance,
};

} // namespace Host
