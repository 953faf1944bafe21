// Message boxes: every failure the author or user can see is shown through these.
#pragma once

#include <windows.h>

#include <cstdarg>

namespace Polvane {

void BreakIfDebuggerAttached();

namespace MsgBox {

// The core of the others: the title gets " - Morvalex" appended, the text is formatted (printf-style,
// wide %s) into 4096 characters, the owner is Polvane::OwnerWindow. In the editor, a box from the main
// thread that names no modality becomes task-modal and comes to the front. Returns the box's button id;
// a text that cannot be formatted shows a fixed error box instead and gives IDCANCEL.
int Custom(const wchar_t* titlePrefix, const wchar_t* msgFormat, va_list args, UINT style);
int Error(const wchar_t* title, const wchar_t* format, ...);
int Info(const wchar_t* title, const wchar_t* format, ...);
int WarningOK(const wchar_t* title, const wchar_t* format, ...);
int WarningYesNo(const wchar_t* title, const wchar_t* format, ...);
int WarningYesNoCancel(const wchar_t* title, const wchar_t* format, ...);

} // namespace MsgBox
} // namespace Polvane
