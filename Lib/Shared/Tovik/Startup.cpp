#include "Startup.h"

#include "../Polvane/Folders.h"
#include "../Polvane/Globals.h"
#include "../Polvane/MsgBox.h"
#include "../Polvane/Settings.h"
#include "../Polvane/TextConversion.h"
#include "SDK.h"
#include "json/json.h"

#include <windows.h>

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace Tovik {

std::wstring LanguageCode;
bool JSONFromDisk = false;

} // namespace Tovik

Tovik::SDK* SDK = nullptr;

namespace Polvane {

std::wstring CurLangName = L"<default>";

} // namespace Polvane

namespace {

const json_value* rememberedLanguage = &json_value_none;
std::wstring applicationPath;
bool applicationPathKnown = false;

constexpr std::size_t MaxPath = 260;
// The definition is some tens of kilobytes and the icon less than one.
constexpr long MaxSiblingFileBytes = 16 << 20;

Polvane::MFXRunMode DecideRunMode(::mV* mV, bool quiet)
{
    using Polvane::MFXRunMode;
    if (quiet)
        return MFXRunMode::QuietLoad;
    if (mV != nullptr && mV->mainWindow != nullptr)
        return MFXRunMode::Editor;

    // The editor's test run-time lives under the editor's Data\Runtime folder and loads the
    // extensions from the editor's own Extensions folder.
    std::wstring_view folder = Polvane::GetFolder(2);
    Polvane::RemoveSuffix(folder, L"Unicode\\", true);
    if (!Polvane::EndsWith(folder, L"Extensions\\", true))
        return MFXRunMode::BuiltEXE;
    std::wstring_view app = Polvane::GetRunningApplicationPath();
    if (!Polvane::RemoveSuffix(app, L"\\edrt.exe", true) &&
        !Polvane::RemoveSuffix(app, L"\\edrtex.exe", true))
        return MFXRunMode::BuiltEXE;
    Polvane::RemoveSuffix(app, L"\\Unicode", true);
    Polvane::RemoveSuffix(app, L"\\Hwa", true);
    if (!Polvane::RemoveSuffix(app, L"Data\\Runtime", true))
        return MFXRunMode::BuiltEXE;
    std::wstring candidate(app);
    candidate += Tovik::IsUnicodeHost(mV) ? L"mmf2u.exe" : L"mmf2.exe";
    return Polvane::FileExists(candidate) ? MFXRunMode::RunApplication : MFXRunMode::BuiltEXE;
}

// String 720 of the host executable names the host's language.
void ReadLanguageCode()
{
    std::wstring app(Polvane::GetRunningApplicationPath());
    HMODULE host =
        LoadLibraryExW(app.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE);
    if (host == nullptr)
        return;
    wchar_t text[20] = {};
    LoadStringW(host, 720, text, 20);
    long language = 0;
    for (const wchar_t* c = text; *c >= L'0' && *c <= L'9' && language < 100000000; ++c)
        language = language * 10 + (*c - L'0');
    if (language == 1036)
        Tovik::LanguageCode = L"FR";
    else if (language == 1041)
        Tovik::LanguageCode = L"JP";
    FreeLibrary(host);
}

// A module's path as Windows gives it, in MaxPath characters; empty when it does not fit. Sibling files
// are looked for with this form: the long form would cost a walk of every folder of the path each time.
std::wstring ModuleFileName(HMODULE module)
{
    wchar_t buffer[MaxPath];
    const DWORD n = GetModuleFileNameW(module, buffer, MaxPath);
    if (n == 0 || n >= MaxPath)
        return std::wstring();
    return std::wstring(buffer, n);
}

bool IsLanguage(const json_value& value)
{
    return value.type == json_object && value["About"]["Name"].type == json_string;
}

} // namespace

namespace Tovik {

bool IsUnicodeHost(::mV* mV)
{
    return mV != nullptr && mV->CallFunction != nullptr &&
           mV->CallFunction(nullptr, HostFunction::IsUnicode, 0, 0, 0) != 0;
}

std::wstring OwnPathWithEnding(std::wstring_view ending)
{
    std::wstring own = ModuleFileName(Polvane::ModuleHandle);
    const std::size_t dot = own.rfind(L'.');
    if (dot == std::wstring::npos)
        return std::wstring();
    own.replace(dot + 1, std::wstring::npos, ending);
    return own;
}

std::wstring_view FileNameOf(std::wstring_view path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

std::wstring FindSiblingFile(std::wstring_view ending)
{
    const std::wstring own = OwnPathWithEnding(ending);
    if (own.empty())
        return std::wstring();
    std::vector<std::wstring> candidates = {own};
    // Without the host's path there is no host folder: the file is not looked for at a drive's root.
    std::wstring host = ModuleFileName(GetModuleHandleW(nullptr));
    const std::size_t hostSeparator = host.find_last_of(L"\\/");
    if (hostSeparator != std::wstring::npos) {
        host.erase(hostSeparator);
        const std::wstring fileName(FileNameOf(own));
        candidates.push_back(host + L"/" + fileName);
        candidates.push_back(host + L"/Data/Runtime/" + fileName);
    }
    for (const std::wstring& candidate : candidates) {
        // Each candidate is formed in a buffer of MAX_PATH characters: a longer one is not looked for.
        if (candidate.size() < MaxPath && Polvane::FileExists(candidate))
            return candidate;
    }
    return std::wstring();
}

int GetDependency(const std::uint8_t*& data, std::size_t& size, const wchar_t* extension, int resourceId)
{
    data = nullptr;
    size = 0;
    std::wstring path = GetSiblingPath(extension);
    if (!path.empty()) {
        FILE* file = nullptr;
        if (_wfopen_s(&file, path.c_str(), L"rb") != 0 || file == nullptr)
            return NotFound; // the resource is not tried for a file that exists but cannot be opened
        std::fseek(file, 0, SEEK_END);
        const long length = std::ftell(file);
        std::fseek(file, 0, SEEK_SET);
        // A file too large to tell its size, or far larger than any definition or icon, gets no buffer.
        auto* bytes = length < 0 || length > MaxSiblingFileBytes
                          ? nullptr
                          : static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(length) + 1));
        if (bytes == nullptr) {
            std::fclose(file);
            throw std::runtime_error("Out of memory");
        }
        bytes[length] = 0;
        std::size_t read = std::fread(bytes, 1, static_cast<std::size_t>(length), file);
        std::fclose(file);
        if (read != static_cast<std::size_t>(length)) {
            std::free(bytes);
            throw std::runtime_error("Reading opened file resource into RAM failed");
        }
        data = bytes;
        size = static_cast<std::size_t>(length);
        return FromFile;
    }
    if (resourceId == 0)
        return NotFound;
    HRSRC resource = FindResourceW(Polvane::ModuleHandle, MAKEINTRESOURCEW(resourceId), L"TOVIK");
    if (resource == nullptr)
        return NotFound;
    size = SizeofResource(Polvane::ModuleHandle, resource);
    HGLOBAL loaded = LoadResource(Polvane::ModuleHandle, resource);
    if (loaded == nullptr)
        throw std::runtime_error("Could not load resource");
    data = static_cast<const std::uint8_t*>(LockResource(loaded));
    if (data == nullptr)
        throw std::runtime_error("Could not lock resource");
    return FromResource;
}

int Init(::mV* mV, bool quiet)
{
    LanguageCode = L"EN";
    Polvane::MainThreadID = GetCurrentThreadId();
    Polvane::OwnerWindow = mV != nullptr ? static_cast<HWND>(mV->mainWindow) : nullptr;
    Polvane::RunMode = DecideRunMode(mV, quiet);
    ReadLanguageCode();

    const std::uint8_t* found = nullptr;
    std::size_t size = 0;
    int source = GetDependency(found, size, L"json", 102);
    if (source == NotFound) {
        Polvane::MsgBox::Error(L"Couldn't find JSON",
                               L"JSON file for %s not found on disk or in MFX resources",
                               Polvane::ProjectName.c_str());
        return -1;
    }
    JSONFromDisk = source == FromFile;

    auto* text = static_cast<char*>(std::malloc(size + 1));
    if (text == nullptr) {
        if (source == FromFile)
            std::free(const_cast<std::uint8_t*>(found));
        Polvane::MsgBox::Error(L"Out of memory",
                               L"JSON file for %s couldn't allocate %zu bytes while loading",
                               Polvane::ProjectName.c_str(), size + 1);
        return -1;
    }
    std::memcpy(text, found, size);
    text[size] = '\0';
    if (source == FromFile)
        std::free(const_cast<std::uint8_t*>(found));

    json_settings settings = {};
    char error[256] = {};
    json_value* root = json_parse_ex(&settings, text, size, error, sizeof error);
    if (root == nullptr) {
        Polvane::MsgBox::Error(L"Error parsing JSON", L"JSON file for %s couldn't be parsed:\n%s",
                               Polvane::ProjectName.c_str(), Polvane::UTF8ToTString(error).c_str());
        return -1;
    }

    // Built once per process (thread-safe), destroyed when the library is unloaded. A later Initialize
    // keeps the first tree; the one it parsed is not used.
    static Tovik::SDK state(mV, root);
    if (state.Root != root)
        json_value_free(root);
    ::SDK = &state;
    return 0;
}

void InitObject(::mV* mV, EDITDATA* edPtr)
{
    if (::SDK != nullptr)
        ::SDK->mV = mV;
    if (mV == nullptr)
        return;
    Polvane::OwnerWindow = static_cast<HWND>(mV->mainWindow);
    if (Polvane::RunMode == Polvane::MFXRunMode::Editor && mV->CallFunction != nullptr)
        mV->CallFunction(edPtr, HostFunction::RefreshProperties, 0, 0, 0);
}

} // namespace Tovik

std::wstring GetSiblingPath(const wchar_t* extension)
{
    wchar_t withLanguage[32];
    std::wstring path;
    if (_snwprintf_s(withLanguage, 32, _TRUNCATE, L"%s.%s", Tovik::LanguageCode.c_str(), extension) < 0)
        Polvane::MsgBox::Error(L"GetSiblingPath fail", L"Invalid file extension %s", extension);
    else
        path = Tovik::FindSiblingFile(withLanguage);
    if (path.empty())
        path = Tovik::FindSiblingFile(extension);
    return path;
}

const json_value& DefaultLanguageIndex()
{
    if (::SDK == nullptr) {
        Polvane::MsgBox::Error(
            L"Polvane error",
            L"Premature function call!\n  Called DefaultLanguageIndex() before ::SDK was a valid pointer.");
        return json_value_none;
    }
    const json_value& root = *::SDK->Root;
    if (root.type != json_object || root.u.object.length == 0)
        return json_value_none;
    for (std::uint32_t i = 0; i < root.u.object.length; ++i) {
        const json_object_entry& entry = root.u.object.values[i];
        if (IsLanguage(*entry.value)) {
            Polvane::CurLangName = Polvane::UTF8ToTString(entry.name);
            return *entry.value;
        }
    }
    const json_object_entry& last = root.u.object.values[root.u.object.length - 1];
    Polvane::CurLangName = Polvane::UTF8ToTString(last.name);
    return *last.value;
}

namespace Polvane {

const json_value& CurLang()
{
    if (rememberedLanguage->type != json_none)
        return *rememberedLanguage;
    if (RunMode == MFXRunMode::BuiltEXE || RunMode == MFXRunMode::RunApplication) {
        rememberedLanguage = &DefaultLanguageIndex();
        return *rememberedLanguage;
    }
    // Before start-up there is no definition to choose from: the default's premature-call box says so.
    if (::SDK == nullptr)
        return DefaultLanguageIndex();
    std::string list = GetIniSetting("Languages");
    if (list.empty())
        return DefaultLanguageIndex();
    list += '\r';
    const json_value& root = *::SDK->Root;
    std::size_t pos = 0;
    while (true) {
        std::size_t end = list.find_first_of(";\r", pos);
        if (end == std::string::npos)
            break;
        std::string name = list.substr(pos, end - pos);
        if (!name.empty() && name[0] == ' ') {
            name.erase(0, 1);
            ++pos;
        }
        if (root.type == json_object) {
            for (std::uint32_t i = 0; i < root.u.object.length; ++i) {
                const json_object_entry& entry = root.u.object.values[i];
                if (entry.value->type == json_object && _stricmp(entry.name, name.c_str()) == 0) {
                    rememberedLanguage = entry.value;
                    CurLangName = UTF8ToTString(entry.name);
                    return *entry.value;
                }
            }
        }
        pos += name.size() + 1;
        if (list[pos - 1] == '\r')
            break;
    }
    return DefaultLanguageIndex();
}

const wchar_t* GetCurLangName() { return CurLangName.c_str(); }

void ForgetCurrentLanguage() { rememberedLanguage = &json_value_none; }

std::wstring_view GetRunningApplicationPath()
{
    if (!applicationPathKnown) {
        applicationPathKnown = true;
        applicationPath = GetModulePath(nullptr);
        // A self-extracting built application runs from a temporary folder; its real path follows
        // the /SF marker on the command line. Without the marker or its closing quote, the
        // executable's own path stands.
        if (EndsWith(applicationPath, L".tmp\\stdrt.exe", true)) {
            std::wstring_view line = GetCommandLineW();
            constexpr std::wstring_view marker = L" /SF \"";
            std::size_t start = line.find(marker);
            if (start != std::wstring_view::npos) {
                start += marker.size();
                std::size_t end = line.find(L'"', start);
                if (end != std::wstring_view::npos)
                    applicationPath = std::wstring(line.substr(start, end - start));
            }
        }
    }
    return applicationPath;
}

bool EndsWith(std::wstring_view text, std::wstring_view suffix, bool caseInsensitive)
{
    if (text.size() < suffix.size())
        return false;
    const wchar_t* tail = text.data() + text.size() - suffix.size();
    return caseInsensitive ? _wcsnicmp(tail, suffix.data(), suffix.size()) == 0
                           : std::wmemcmp(tail, suffix.data(), suffix.size()) == 0;
}

bool RemoveSuffix(std::wstring_view& text, std::wstring_view suffix, bool caseInsensitive)
{
    assert(suffix.size() != 0 && "suffix.size() != 0");
    if (!EndsWith(text, suffix, caseInsensitive))
        return false;
    text.remove_suffix(suffix.size());
    return true;
}

} // namespace Polvane
