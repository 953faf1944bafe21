#include "Seam.h"

namespace Host {
namespace {

// The defaults call through the import table at call time, so that a host that rewrites the table
// after loading the library (as the test host does for message boxes) is honoured.
int WINAPI RealMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR title, UINT style)
{
    return ::MessageBoxW(owner, text, title, style);
}
void WINAPI RealOutputDebugStringW(LPCWSTR text) { ::OutputDebugStringW(text); }
ULONGLONG WINAPI RealGetTickCount64() { return ::GetTickCount64(); }
void WINAPI RealGetLocalTime(LPSYSTEMTIME time) { ::GetLocalTime(time); }
HRESULT WINAPI RealCoInitialize(LPVOID reserved) { return ::CoInitialize(reserved); }
void WINAPI RealCoUninitialize() { ::CoUninitialize(); }
HRESULT WINAPI RealCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out)
{
    return ::CoCreateInstance(clsid, outer, context, iid, out);
}

} // namespace

SeamTable Seam = {
    RealMessageBoxW,  RealOutputDebugStringW, RealGetTickCount64,   RealGetLocalTime,
    RealCoInitialize, RealCoUninitialize,     RealCoCreateInstance,
};

} // namespace Host
