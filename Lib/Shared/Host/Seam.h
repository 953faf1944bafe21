// The one door through which tests replace what they cannot observe or control: message boxes,
// debugger output, clocks, COM creation for the audio devices, and the host's surface library.
// Every entry defaults to the real call.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace Host {

struct SeamTable {
    int(WINAPI* MessageBoxW)(HWND owner, LPCWSTR text, LPCWSTR title, UINT style);
    void(WINAPI* OutputDebugStringW)(LPCWSTR text);
    ULONGLONG(WINAPI* GetTickCount64)();
    void(WINAPI* GetLocalTime)(LPSYSTEMTIME time);
    HRESULT(WINAPI* CoInitialize)(LPVOID reserved);
    void(WINAPI* CoUninitialize)();
    HRESULT(WINAPI* CoCreateInstance)(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out);
};

extern SeamTable Seam;

} // namespace Host
