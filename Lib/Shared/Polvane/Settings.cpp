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

// A handful of short key=value lines; anything larger is not a settings file and is refused unread.
constexpr long MaxSettingsBytes = 1 << 20;

// "key = value" becomes "key=value": one blank on each side of every '=' goes. After a blank that
// followed an '=' was erased, the byte that moved into its place is not looked at as an '='. One pass,
// compacting in place: the text is text[0, kept) followed by the unread text[next, end).
void RemoveBlanksAroundEquals(std::string& text)
{
    // text starts and ends with LF, so there is a byte before and after every '='.
    std::size_t kept = 0;
    std::size_t next = 0;
    while (next < text.size()) {
        const char c = text[next++];
        if (c != '=') {
            text[kept++] = c;
            continue;
        }
        if (text[kept - 1] == ' ')
            --kept;
        text[kept++] = '=';
        if (text[next] == ' ') {
            ++next;
            if (next < text.size())
                text[kept++] = text[next++];
        }
    }
    text.resize(kept);
}

// Released on every way out, an exception's included: a lock left taken would hold every later
// caller, the update thread's too, for ever.
class LoadLockHold {
public:
    LoadLockHold()
    {
        while (loadLock.exchange(true))
            ;
    }
    ~LoadLockHold() { loadLock.store(false); }
    LoadLockHold(const LoadLockHold&) = delete;
    LoadLockHold& operator=(const LoadLockHold&) = delete;
};

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
    if (size < 0 || size > MaxSettingsBytes) {
        const auto error = static_cast<unsigned long>(size < 0 ? errno : EFBIG);
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

    LoadFailure failure;
    {
        LoadLockHold hold;
        if (!loaded) {
            // Once, whatever the outcome: a broken file reports one box per process, not one per key.
            loaded = true;
            failure = Load();
        }
    }
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
