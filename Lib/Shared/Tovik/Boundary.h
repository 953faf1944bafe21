// The one door between the host's frames and the library's. This toolchain's unwinding cannot pass
// the host's frames, so an exception that left the library would end the host's process: every export
// and jump-table routine runs its body through Guard, which shows such an exception in one box and
// answers the entry's neutral value instead.
#pragma once

#include <type_traits>
#include <utility>

namespace Tovik {

// Called from a handler only: shows the exception being handled in one "Polvane SDK error" box naming
// the entry it stopped. Never throws; when even the box cannot be shown (no memory left), nothing is.
[[gnu::cold, gnu::noinline]] void ReportEscapedException(const char* entry) noexcept;

// Runs body and answers its result or, when it threw, what neutral() answers after the box. neutral must
// not throw: an expression's neutral answer depends on its record.
template <typename Body, typename Neutral>
inline auto GuardWith(const char* entry, Body&& body, Neutral&& neutral) noexcept -> decltype(body())
{
    try {
        return body();
    } catch (...) {
        ReportEscapedException(entry);
        return neutral();
    }
}

// The same with a fixed neutral answer.
template <typename Body, typename R = decltype(std::declval<Body&>()())>
inline R Guard(const char* entry, std::common_type_t<R> neutral, Body&& body) noexcept
{
    return GuardWith(entry, body, [&neutral] { return neutral; });
}

// The same for entries that answer nothing.
template <typename Body> inline void GuardVoid(const char* entry, Body&& body) noexcept
{
    GuardWith(entry, body, [] {});
}

} // namespace Tovik
