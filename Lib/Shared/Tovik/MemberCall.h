// Calling an Extension member with the call path's list of 32-bit values: one trampoline is generated
// for each member's exact signature, so no member pointer is ever cast to a code address.
#pragma once

#include "SDK.h"

#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

namespace Tovik {

template <typename MemberPointer> struct MemberPointerTraits;

template <typename R, typename... P> struct MemberPointerTraits<R (Extension::*)(P...)> {
    using Result = R;
    using Params = std::tuple<P...>;
    using Function = R(P...);
    static constexpr int Count = static_cast<int>(sizeof...(P));
};

// A value as the member's parameter type: integers as they are, a float from its bits, a text from its
// pointer.
template <typename T> T As(std::uint32_t value)
{
    if constexpr (std::is_same_v<T, float>) {
        float f;
        std::memcpy(&f, &value, sizeof f);
        return f;
    } else if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(static_cast<std::uintptr_t>(value));
    } else {
        return static_cast<T>(value);
    }
}

// Argument i as the member's parameter type. One the call did not read (the definition gives the item
// fewer parameters than the member takes) is 0, and a text an empty one: a member is never handed a null
// text it did not ask for.
template <typename T> T Argument(const std::uint32_t* args, int count, int i)
{
    if (i >= count) {
        if constexpr (std::is_same_v<T, const wchar_t*>)
            return L"";
        else
            return T{};
    }
    return As<T>(args[i]);
}

// A member's result as the 32 bits the host receives.
template <typename R> std::uint32_t ToResult(R result)
{
    if constexpr (std::is_same_v<R, float>) {
        std::uint32_t bits;
        std::memcpy(&bits, &result, sizeof bits);
        return bits;
    } else if constexpr (std::is_pointer_v<R>) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(result));
    } else {
        return static_cast<std::uint32_t>(result);
    }
}

// Calls the member with the values read; with every one read, each is taken as it is.
template <auto Member, bool AllRead, std::size_t... I>
std::uint32_t CallMember(Extension* ext, const std::uint32_t* args, int count, std::index_sequence<I...>)
{
    using Traits = MemberPointerTraits<decltype(Member)>;
    using Params = typename Traits::Params;
    const auto argument = [args, count](auto index) {
        using T = std::tuple_element_t<decltype(index)::value, Params>;
        if constexpr (AllRead)
            return As<T>(args[decltype(index)::value]);
        else
            return Argument<T>(args, count, static_cast<int>(decltype(index)::value));
    };
    if constexpr (std::is_void_v<typename Traits::Result>) {
        (ext->*Member)(argument(std::integral_constant<std::size_t, I>())...);
        return 0;
    } else {
        return ToResult((ext->*Member)(argument(std::integral_constant<std::size_t, I>())...));
    }
}

// A definition that gives the item another number of parameters than the member takes: rare, so out of
// the trampoline's way.
template <auto Member>
[[gnu::noinline, gnu::cold]] std::uint32_t CallWithOtherCount(Extension* ext, const std::uint32_t* args,
                                                              int count)
{
    using Traits = MemberPointerTraits<decltype(Member)>;
    return CallMember<Member, false>(ext, args, count, std::make_index_sequence<Traits::Count>());
}

template <auto Member>
INLINE_CALLEES std::uint32_t IN_REGISTERS Trampoline(Extension* ext, const std::uint32_t* args, int count)
{
    using Traits = MemberPointerTraits<decltype(Member)>;
    static_assert(Traits::Count <= static_cast<int>(MaxParams), "a member takes at most 16 parameters");
    if (count == Traits::Count)
        return CallMember<Member, true>(ext, args, count, std::make_index_sequence<Traits::Count>());
    return CallWithOtherCount<Member>(ext, args, count);
}

// The entry a function table holds for a member.
template <auto Member> MemberCall MemberFunctionToPointer() { return &Trampoline<Member>; }

} // namespace Tovik
