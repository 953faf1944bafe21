#include "Settings.h"

#include "Folders.h"
#include "Globals.h"
#include "MsgBox.h"

#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <share.h>

namespace Polvane {
namespace {

// The file framed by one LF before and one after, so that every line, the first included, starts
// after an LF and ends at a CR or LF. Written only by the load; empty after a failed one.
std::string settings;
bool loaded = false;
// The update thread may read a setting while the main thread does: the load takes this lock.
std::atomic<bool> loadLock{false};

// "key = value" becomes "key=value": one blank on each side of every '=' goes.
void RemoveBlanksAroundEquals(std::string& text)
{
    // text starts and ends with LF, so there is a byte before and after every '='.
    std::size_t at = text.find('=');
    while (at != std::string::npos) {
        if (text[at - 1] == ' ') {
            text.erase(at - 1, 1);
            --at;
        }
        bool erasedAfter = false;
        if (text[at + 1] == ' ') {
            text.erase(at + 1, 1);
            erasedAfter = true;
        }
        at = text.find('=', at + (erasedAfter ? 2 : 1));
    }
}

// What went wrong while loading, shown once the lock is released: a box waits for its owner, the
// editor's main window, whose thread may itself be waiting for this lock.
struct LoadFailure {
    const wchar_t* format = nullptr;
    unsigned long value = 0;
};

LoadFailure Load()
{
    const std::wstring path = std::wstring(GetFolder(1)) + L"Polvane.ini";
    if (!FileExists(path)) {
        // Having no settings file is normal; anything else in the way is worth telling the author.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            return {L"Error %u opening Extensions\\Polvane.ini.", error};
        return {};
    }

    FILE* file = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
    if (file == nullptr)
        return {L"Couldn't open Extensions\\Polvane.ini, error %d.", static_cast<unsigned long>(errno)};
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    const wchar_t* const unreadable = L"Couldn't read Extensions\\Polvane.ini file, error %i.";
    if (size < 0) {
        const auto error = static_cast<unsigned long>(errno);
        std::fclose(file);
        return {unreadable, error};
    }
    const std::size_t length = static_cast<std::size_t>(size);
    settings.assign(length + 2, '\n');
    if (std::fread(&settings[1], 1, length, file) < length) {
        const auto error = static_cast<unsigned long>(errno);
        std::fclose(file);
        settings.clear();
        return {unreadable, error};
    }
    RemoveBlanksAroundEquals(settings);
    std::fclose(file);
    return {};
}

} // namespace

std::string GetIniSetting(std::string_view key)
{
    assert(RunMode != MFXRunMode::BuiltEXE && RunMode != MFXRunMode::RunApplication &&
           "The settings file belongs to the editor; callers check the run mode first.");

    while (loadLock.exchange(true))
        ;
    LoadFailure failure;
    if (!loaded) {
        // Once, whatever the outcome: a broken file reports one box per process, not one per key.
        loaded = true;
        failure = Load();
    }
    loadLock.store(false);
    if (failure.format != nullptr)
        MsgBox::Error(L"Polvane SDK error", failure.format, failure.value);

    const std::string needle = "\n" + std::string(key) + "=";
    const std::size_t found = settings.find(needle);
    if (found == std::string::npos)
        return {};
    const std::size_t start = found + needle.size();
    return settings.substr(start, settings.find_first_of("\r\n", start) - start);
}

} // namespace Polvane
