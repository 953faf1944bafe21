#include "Boundary.h"

#include "../Polvane/MsgBox.h"

#include <exception>

namespace Tovik {

void ReportEscapedException(const char* entry) noexcept
{
    // The handler that called us keeps the exception, and so the text, alive.
    const char* what = "unknown exception";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    try {
        Polvane::MsgBox::Error(L"Polvane SDK error", L"%hs stopped on an unexpected error: %hs", entry, what);
    } catch (...) {
    }
}

} // namespace Tovik
