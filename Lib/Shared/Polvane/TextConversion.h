// Conversions between the UTF-8 of the definition and settings, the UTF-16 of Windows and the host, and
// the ANSI code page. The UI string type (TString) is the wide string. Also the letter case of names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Polvane {

std::wstring UTF8ToWide(std::string_view text);
// valid, when given, is set to true: the conversion does not fail (bad bytes become U+FFFD).
std::wstring UTF8ToTString(std::string_view text, bool* valid = nullptr);
std::string WideToUTF8(std::wstring_view text);
std::string TStringToUTF8(std::wstring_view text);
std::wstring ANSIToWide(std::string_view text);
std::string ANSIToUTF8(std::string_view text);

// Names in the definition, in stored records and in the update server's replies change and compare
// their case by ASCII letters only, whatever the C library's locale; other bytes stay as they are.
std::string LowerASCII(std::string_view text);
std::string UpperASCII(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);

} // namespace Polvane

namespace Tovik {

// Converts text into the caller's buffer of max characters; a text too long is cut to fit (never
// inside a surrogate pair) and the buffer is always terminated. Returns buffer.
wchar_t* UTF8ToWideBuffer(wchar_t* buffer, const char* text, std::size_t max);
// A new wide text from calloc; the caller frees it with free (or FreeWideAlloc, which is the same).
wchar_t* UTF8ToWideAlloc(const char* text);
void FreeWideAlloc(wchar_t* text);

} // namespace Tovik
