// Names of C++ types for the linking messages, as the compiler spells them, without allocating: a name
// is a view into the compiler's own text of the function's signature, which lives for the whole process.
#pragma once

#include <cstddef>
#include <cstdint>

// A read-only view of static characters; it need not end at a NUL, so use the pointer with the length.
class static_string {
public:
    // A string literal, less its terminating NUL.
    template <std::size_t N>
    constexpr static_string(const char (&text)[N]) : pointer(text), length(static_cast<std::uint32_t>(N - 1))
    {
    }
    constexpr static_string(const char* pointer, std::uint32_t length) : pointer(pointer), length(length) {}

    constexpr const char* begin() const { return pointer; }
    constexpr const char* data() const { return pointer; }
    constexpr const char* end() const { return pointer + length; }
    constexpr std::uint32_t size() const { return length; }

private:
    const char* pointer;
    std::uint32_t length;
};

// The name of T, cut out of this function's signature text. The text around the name is fixed by the
// compiler: "class static_string __cdecl type_name<int>(void)" with MSVC,
// "static_string type_name() [with T = int]" with GCC.
template <typename T> static_string type_name()
{
#if defined(_MSC_VER)
    const static_string signature = __FUNCSIG__;
    constexpr std::uint32_t prefix = sizeof("class static_string __cdecl type_name<") - 1;
    constexpr std::uint32_t suffix = sizeof(">(void)") - 1;
#else
    const static_string signature = __PRETTY_FUNCTION__;
    constexpr std::uint32_t prefix = sizeof("static_string type_name() [with T = ") - 1;
    constexpr std::uint32_t suffix = sizeof("]") - 1;
#endif
    return static_string(signature.begin() + prefix, signature.size() - prefix - suffix);
}
