// Start-up: the body of Initialize, the run mode, the host's language, finding and parsing the
// definition, and the choice of the current language object through which the definition is read.
#pragma once

#include "../Host/HostRecords.h"

#include <cstddef>
#include <string>
#include <string_view>

struct json_value;

namespace Tovik {

extern std::wstring LanguageCode; // "EN", "FR" or "JP"
extern bool JSONFromDisk;         // the definition came from a file beside the library

int Init(::mV* mV, bool quiet);
void InitObject(::mV* mV, EDITDATA* edPtr);

enum DependencySource { NotFound = 0, FromFile = 1, FromResource = 2 };
// Finds a sibling file with that extension, else resource `resourceId` of type TOVIK. A file's bytes
// come from malloc (NUL-terminated, the caller frees them); a resource's are read-only and never freed.
int GetDependency(const std::uint8_t*& data, std::size_t& size, const wchar_t* extension, int resourceId);
// The library's own path with what follows its last '.' replaced by ending; empty without a dot.
std::wstring OwnPathWithEnding(std::wstring_view ending);
// What follows the path's last backslash or slash.
std::wstring_view FileNameOf(std::wstring_view path);
// The first existing of: beside the library, beside the host executable, in its Data/Runtime folder.
std::wstring FindSiblingFile(std::wstring_view ending);
bool IsUnicodeHost(::mV* mV);

} // namespace Tovik

// The sibling file for an extension, with the language code first; empty when there is none.
std::wstring GetSiblingPath(const wchar_t* extension);
const json_value& DefaultLanguageIndex();

namespace Polvane {

extern std::wstring CurLangName;
const json_value& CurLang();
const wchar_t* GetCurLangName();
// The state object's tree is going away: the language chosen from it is chosen again next time.
void ForgetCurrentLanguage();
std::wstring_view GetRunningApplicationPath();
bool EndsWith(std::wstring_view text, std::wstring_view suffix, bool caseInsensitive);
bool RemoveSuffix(std::wstring_view& text, std::wstring_view suffix, bool caseInsensitive);

} // namespace Polvane
