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
void WINAPI RealOutputDebugStringA(LPCSTR text) { ::OutputDebugStringA(text); }
hostent* WINAPI RealGetHostByName(const char* name) { return ::gethostbyname(name); }
int WINAPI RealConnect(SOCKET socket, const sockaddr* address, int length)
{
    return ::connect(socket, address, length);
}
// The host has MMFS2.dll loaded already; pinning it keeps it alive until our icon is released. Outside
// the host it is loaded by name, and that reference is never given back either.
HMODULE WINAPI RealFindSurfaceLibrary()
{
    HMODULE module = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"mmfs2.dll", &module))
        return module;
    return LoadLibraryW(L"mmfs2.dll");
}
HINSTANCE WINAPI RealShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                                   LPCWSTR directory, INT show)
{
    return ::ShellExecuteW(owner, operation, file, parameters, directory, show);
}

void WINAPI RealCoTaskMemFree(LPVOID block) { ::CoTaskMemFree(block); }

} // namespace

SeamTable Seam = {
    RealMessageBoxW,      RealOutputDebugStringW, RealGetTickCount64,
    RealGetLocalTime,     RealCoInitialize,       RealCoUninitialize,
    RealCoCreateInstance, RealOutputDebugStringA, RealGetHostByName,
    RealConnect,          RealFindSurfaceLibrary, RealShellExecuteW,
    RealCoTaskMemFree,
};

} // namespace Host
