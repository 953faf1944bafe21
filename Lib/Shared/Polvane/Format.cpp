#include "Format.h"

#include <cstdio>
#include <cwchar>

namespace Polvane {

std::wstring ForSystemRuntime(const wchar_t* format)
{
    std::wstring result;
    for (const wchar_t* c = format; *c != L'\0'; ++c) {
        result += *c;
        if (*c != L'%')
            continue;
        if (c[1] == L'%') {
            result += *++c;
            continue;
        }
        // Flags, width and precision stay as they are; only the length modifier is respelled.
        while (c[1] != L'\0' && std::wcschr(L"-+ #0123456789.*", c[1]) != nullptr)
            result += *++c;
        if (c[1] == L'z') {
            result += L'I';
            ++c;
        } else if (c[1] == L'h' && c[2] == L'h') {
            result += L'h';
            c += 2;
        } else if (c[1] == L'l' && c[2] == L'l') {
            result += L"I64";
            c += 2;
        }
    }
    return result;
}

int FormatArgs(wchar_t* buffer, std::size_t size, const wchar_t* format, va_list args)
{
    return _vsnwprintf_s(buffer, size, _TRUNCATE, ForSystemRuntime(format).c_str(), args);
}

} // namespace Polvane
