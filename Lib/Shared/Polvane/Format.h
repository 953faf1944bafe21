// printf-style formatting of wide texts through the system C runtime (msvcrt.dll), whose wide %s is a
// wide text. Older msvcrt.dll versions do not know the C99 length modifiers z, hh and ll: formats
// are written with them and given to the runtime in its own spelling (I, h, I64).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace Polvane {

// The format in the system runtime's spelling.
std::wstring ForSystemRuntime(const wchar_t* format);

// Formats into buffer, cut to its size and always terminated; -1 when the text was cut or the format
// failed, else the length.
int FormatArgs(wchar_t* buffer, std::size_t size, const wchar_t* format, va_list args);

} // namespace Polvane
