// Folders and files that start-up and the settings file use.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace Polvane {

// 2: the folder holding the library, with its trailing backslash; 1: that folder less a trailing
// "Unicode\" (the host's Extensions folder). The library's path is read once per process.
std::wstring_view GetFolder(int kind);
// The module's full path in long form; null for the process's executable; empty when Windows gives none.
std::wstring GetModulePath(HMODULE module);
// The path names an existing file that is not a folder. When false, GetLastError says why: a folder
// gives ERROR_ACCESS_DENIED, as opening it as a file would.
bool FileExists(std::wstring_view path);

} // namespace Polvane
