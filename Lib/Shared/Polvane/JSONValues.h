// Reads of definition nodes that never fail: a node of another type reads as empty.
#pragma once

#include "json/json.h"

#include <cstdint>
#include <string_view>

namespace Polvane {

// The element count of an array; 0 for any other node.
inline std::uint32_t ArrayLength(const json_value& value)
{
    return value.type == json_array ? value.u.array.length : 0;
}

// The bytes of a text (which may hold NULs); empty for any other node.
inline std::string_view TextOf(const json_value& value)
{
    return value.type == json_string ? std::string_view(value.u.string.ptr, value.u.string.length)
                                     : std::string_view();
}

} // namespace Polvane
