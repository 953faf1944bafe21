#include "Log.h"

#include "Format.h"
#include "Lib/Shared/Host/Seam.h"

#include <cstdio>
#include <cwchar>
#include <iterator>

namespace Polvane {
namespace {

// Holds the last line only: each line is written out before the next one is formatted.
wchar_t logBuffer[2048];

} // namespace

void Log(int level, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    LogArgs(level, format, args);
    va_end(args);
}

void LogArgs(int /*level*/, const wchar_t* format, va_list args)
{
    if (FormatArgs(logBuffer, std::size(logBuffer), format, args) < 0) {
        // A cut line says so, and keeps the line end its format asked for so the next line starts
        // on its own line in the debugger output.
        static constexpr wchar_t marker[] = L"... [truncated]";
        constexpr std::size_t markerAt = 2030;
        static_assert(markerAt + std::size(marker) + 2 <= std::size(logBuffer), "marker and CR LF must fit");
        wchar_t* end = std::wcscpy(logBuffer + markerAt, marker) + std::size(marker) - 1;
        const std::size_t formatLength = std::wcslen(format);
        if (formatLength >= 2 && format[formatLength - 2] == L'\r' && format[formatLength - 1] == L'\n')
            std::wcscpy(end, L"\r\n");
        else if (formatLength >= 1 && format[formatLength - 1] == L'\n')
            std::wcscpy(end, L"\n");
    }
    Host::Seam.OutputDebugStringW(logBuffer);
}

void LogVerbose(const wchar_t* /*format*/, ...) {}

} // namespace Polvane
