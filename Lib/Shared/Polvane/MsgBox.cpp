#include "MsgBox.h"

#include "Format.h"
#include "Globals.h"
#include "Lib/Shared/Host/Seam.h"

#include <cassert>
#include <cstdio>
#include <iterator>
#include <string>

namespace Polvane {

void BreakIfDebuggerAttached()
{
    if (IsDebuggerPresent())
        DebugBreak();
}

namespace MsgBox {
namespace {

const std::wstring& TitleSuffix()
{
    static const std::wstring suffix = L" - " + ProjectName;
    return suffix;
}

} // namespace

int Custom(const wchar_t* titlePrefix, const wchar_t* msgFormat, va_list args, UINT style)
{
    assert(titlePrefix != NULL && msgFormat != NULL);

    // The editor's main window must not be usable behind a box it raised, and the box must not hide
    // behind it; a box from another thread would block the wrong thread's windows, so it stays as asked.
    if (RunMode == MFXRunMode::Editor && GetCurrentThreadId() == MainThreadID &&
        (style & (MB_SYSTEMMODAL | MB_TASKMODAL)) == 0)
        style |= MB_TASKMODAL | MB_SETFOREGROUND;

    const std::wstring title = titlePrefix + TitleSuffix();
    // Cut rather than overflow: a text that does not fit counts as a format failure (-1), and the C
    // library's invalid-parameter handler, which may end the host, is never reached for it.
    wchar_t text[4096];
    if (FormatArgs(text, std::size(text), msgFormat, args) > 0)
        return Host::Seam.MessageBoxW(OwnerWindow, text, title.c_str(), style);

    Host::Seam.MessageBoxW(OwnerWindow, L"Failed to format a message box. Contact extension developer.",
                           title.c_str(), MB_ICONERROR);
    BreakIfDebuggerAttached();
    return IDCANCEL;
}

int Error(const wchar_t* title, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = Custom(title, format, args, MB_ICONERROR);
    va_end(args);
    return result;
}

int Info(const wchar_t* title, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = Custom(title, format, args, MB_ICONINFORMATION);
    va_end(args);
    return result;
}

int WarningOK(const wchar_t* title, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = Custom(title, format, args, MB_ICONWARNING);
    va_end(args);
    return result;
}

int WarningYesNo(const wchar_t* title, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = Custom(title, format, args, MB_ICONWARNING | MB_YESNO);
    va_end(args);
    return result;
}

int WarningYesNoCancel(const wchar_t* title, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = Custom(title, format, args, MB_ICONWARNING | MB_YESNOCANCEL);
    va_end(args);
    return result;
}

std::wstring FitText(std::wstring text, std::size_t room)
{
    if (text.size() <= room)
        return text;
    std::size_t keep = room - 3;
    if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF)
        --keep;
    text.resize(keep);
    return text + L"...";
}

} // namespace MsgBox
} // namespace Polvane
