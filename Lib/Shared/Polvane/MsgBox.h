// Message boxes: every failure the author or user can see is shown through these.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <string>

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

// The most characters a box's text holds; a longer one fails to format.
constexpr std::size_t TextCapacity = 4095;
// A long text cut to at most `room` characters, ending in "..." when cut, never between the halves of
// a surrogate pair: the box shows the start of it rather than a formatting error.
std::wstring FitText(std::wstring text, std::size_t room = TextCapacity);

} // namespace MsgBox
} // namespace Polvane
