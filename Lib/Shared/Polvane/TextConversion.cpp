#include "TextConversion.h"

#include <windows.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>

namespace Polvane {
namespace {

// No flags: bad input bytes become U+FFFD instead of failing the conversion.
std::wstring ToWide(UINT codePage, std::string_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    assert(length > 0 && "Failed to convert between string encodings, input string is broken.");
    std::wstring result(std::max(length, 0), L'\0');
    [[maybe_unused]] const int written =
        MultiByteToWideChar(codePage, 0, text.data(), size, result.data(), length);
    assert(written > 0 && "Failed to convert between string encodings.");
    assert(text.back() != '\0' && "Input ends with null.");
    assert(result.back() != L'\0' && "Output ends with null.");
    return result;
}

char LowerLetter(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

std::wstring UTF8ToWide(std::string_view text) { return ToWide(CP_UTF8, text); }

std::wstring UTF8ToTString(std::string_view text, bool* valid)
{
    if (valid != nullptr)
        *valid = true;
    return UTF8ToWide(text);
}

std::string WideToUTF8(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    assert(length > 0 && "Failed to convert between string encodings, input string is broken.");
    std::string result(std::max(length, 0), '\0');
    [[maybe_unused]] const int written =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), length, nullptr, nullptr);
    assert(written > 0 && "Failed to convert between string encodings.");
    assert(text.back() != L'\0' && "Input ends with null.");
    assert(result.back() != '\0' && "Output ends with null.");
    return result;
}

std::string TStringToUTF8(std::wstring_view text) { return WideToUTF8(text); }

std::wstring ANSIToWide(std::string_view text) { return ToWide(CP_ACP, text); }

std::string ANSIToUTF8(std::string_view text) { return WideToUTF8(ANSIToWide(text)); }

std::string LowerASCII(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerLetter);
    return lower;
}

std::string UpperASCII(std::string_view text)
{
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), UpperLetter);
    return upper;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerLetter(x) == LowerLetter(y);
           });
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

} // namespace Polvane

namespace Tovik {

wchar_t* UTF8ToWideBuffer(wchar_t* buffer, const char* text, std::size_t max)
{
    if (max == 0)
        return buffer;
    const std::wstring whole = Polvane::UTF8ToWide(text);
    std::size_t keep = std::min(whole.size(), max - 1);
    // Half a surrogate pair is not a character; drop the whole pair instead.
    if (keep > 0 && keep < whole.size() && IS_SURROGATE_PAIR(whole[keep - 1], whole[keep]))
        --keep;
    whole.copy(buffer, keep);
    buffer[keep] = L'\0';
    return buffer;
}

wchar_t* UTF8ToWideAlloc(const char* text)
{
    // The count includes the terminator; an empty text still gets its terminator.
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    auto* result = static_cast<wchar_t*>(std::calloc(std::max(length, 1), sizeof(wchar_t)));
    MultiByteToWideChar(CP_UTF8, 0, text, -1, result, length);
    return result;
}

void FreeWideAlloc(wchar_t* text) { std::free(text); }

} // namespace Tovik
