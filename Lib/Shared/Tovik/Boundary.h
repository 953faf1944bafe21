// The one door between the host's frames and the library's. This toolchain's unwinding cannot pass
// the host's frames, so an exception that left the library would end the host's process: every export
// and jump-table routine runs its body through Guard, which shows such an exception in one box and
// answers the entry's neutral value instead.
#pragma once

#include <type_traits>
#include <utility>

namespace Tovik {

inline constexpr const wchar_t* SDKErrorTitle = L"Polvane SDK error";

// Called from a handler only: shows the exception being handled, naming the entry it stopped. Never
// throws; when even the box cannot be shown (no memory left), nothing is shown.
[[gnu::cold, gnu::noinline]] void ReportEscapedException(const char* entry, const wchar_t* title) noexcept;

// Runs body and answers its result, or `neutral` when it threw.
template <typename Body, typename R = decltype(std::declval<Body&>()())>
inline R Guard(const char* entry, std::common_type_t<R> neutral, Body&& body,
               const wchar_t* title = SDKErrorTitle) noexcept
{
    try {
        return body();
    } catch (...) {
        ReportEscapedException(entry, title);
        return neutral;
    }
}

// The same for entries that answer nothing.
template <typename Body>
inline void GuardVoid(const char* entry, Body&& body, const wchar_t* title = SDKErrorTitle) noexcept
{
    static_assert(std::is_void_v<decltype(body())>, "an entry with a result names its neutral value");
    try {
        body();
    } catch (...) {
        ReportEscapedException(entry, title);
    }
}

} // namespace Tovik
