// The debug log, written to the debugger output. The level has no effect.
#pragma once

#include <cstdarg>

namespace Polvane {

void Log(int level, const wchar_t* format, ...);
void LogArgs(int level, const wchar_t* format, va_list args);
// The property code's detailed trace: writes nothing.
void LogVerbose(const wchar_t* format, ...);

} // namespace Polvane
