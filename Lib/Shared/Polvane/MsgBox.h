// Message boxes: every failure the author or user can see is shown through these.
#pragma once

#include <windows.h>

#include <cstdarg>

namespace Polvane {

void BreakIfDebuggerAttached();

namespace MsgBox {

// The core of the others: title gets " - Morvalex" appended, the text is formatted (printf-style, wide
// %s) into 4096 characters, the owner is Polvane::OwnerWindow. Returns the box's button id.
int Custom(const wchar_t* title, const wchar_t* format, va_list args, UINT style);
int Error(const wchar_t* title, const wchar_t* format, ...);
int Info(const wchar_t* title, const wchar_t* format, ...);
int WarningOK(const wchar_t* title, const wchar_t* format, ...);
int WarningYesNo(const wchar_t* title, const wchar_t* format, ...);
int WarningYesNoCancel(const wchar_t* title, const wchar_t* format, ...);

} // namespace MsgBox
} // namespace Polvane
