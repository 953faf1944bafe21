#include "Folders.h"

#include "Globals.h"

#include <cwchar>

namespace Polvane {
namespace {

// The library's own path, read on first use. Start-up fills it on the main thread before any other
// thread exists, or the settings load fills it under its lock.
std::wstring modulePath;

} // namespace

std::wstring_view GetFolder(int kind)
{
    if (modulePath.empty())
        modulePath = GetModulePath(ModuleHandle);

    std::wstring_view folder = modulePath;
    const std::size_t lastSlash = folder.rfind(L'\\');
    folder = lastSlash == std::wstring_view::npos ? std::wstring_view() : folder.substr(0, lastSlash + 1);

    // The host keeps Unicode extensions in Extensions\Unicode\; its own files are one level up.
    constexpr std::wstring_view unicode = L"Unicode\\";
    if (kind != 2 && folder.size() >= unicode.size() &&
        _wcsnicmp(folder.data() + folder.size() - unicode.size(), unicode.data(), unicode.size()) == 0)
        folder.remove_suffix(unicode.size());
    return folder;
}

std::wstring GetModulePath(HMODULE module)
{
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(module, path.data(), MAX_PATH);
    if (length == 0)
        return {};
    if (length != MAX_PATH) {
        // In place: the long form of a path that fits is what the user would recognise.
        const DWORD longLength = GetLongPathNameW(path.c_str(), path.data(), MAX_PATH);
        if (longLength > 0 && longLength < MAX_PATH) {
            path.resize(longLength);
            return path;
        }
    }

    // Too long for MAX_PATH, or no long form that fits: take the path as Windows gives it.
    constexpr DWORD largest = 65536;
    path.assign(largest, L'\0');
    const DWORD fullLength = GetModuleFileNameW(module, path.data(), largest);
    if (fullLength == 0 || fullLength == largest)
        return {};
    path.resize(fullLength);
    return path;
}

bool FileExists(std::wstring_view path)
{
    const std::wstring terminated(path);
    const DWORD attributes = GetFileAttributesW(terminated.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // Callers report GetLastError after a false answer; a folder would otherwise leave a stale code.
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

} // namespace Polvane
