// The one door through which tests replace what they cannot observe or control: message boxes,
// debugger output, clocks, COM creation for the audio devices and the freeing of what they hand out,
// the host's surface library, the update check's name lookup and connection, and the shell's opening
// of the update page.
// Every entry defaults to the real call.
#pragma once

#include <winsock2.h>

#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

namespace Host {

struct SeamTable {
    int(WINAPI* MessageBoxW)(HWND owner, LPCWSTR text, LPCWSTR title, UINT style);
    void(WINAPI* OutputDebugStringW)(LPCWSTR text);
    ULONGLONG(WINAPI* GetTickCount64)();
    void(WINAPI* GetLocalTime)(LPSYSTEMTIME time);
    HRESULT(WINAPI* CoInitialize)(LPVOID reserved);
    void(WINAPI* CoUninitialize)();
    HRESULT(WINAPI* CoCreateInstance)
    (REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out);
    // The update check's debugger output, its name lookup and its connection: tests answer the lookup
    // and lead the connection to a server of their own on the loopback address.
    void(WINAPI* OutputDebugStringA)(LPCSTR text);
    hostent*(WINAPI* gethostbyname)(const char* name);
    int(WINAPI* connect)(SOCKET socket, const sockaddr* address, int length);
    // The host's surface library, MMFS2.dll, or null when it cannot be found. The module is kept for the
    // rest of the process: surfaces made with it are released as late as this library's unload.
    HMODULE(WINAPI* FindSurfaceLibrary)();
    // Opens the update page in the user's browser: tests see the address, and nothing is opened.
    HINSTANCE(WINAPI* ShellExecuteW)
    (HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show);
    // Gives back what the audio devices handed out (mix formats, endpoint ids): tests see it given back.
    void(WINAPI* CoTaskMemFree)(LPVOID block);
};

extern SeamTable Seam;

} // namespace Host
