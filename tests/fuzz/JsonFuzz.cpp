// The definition reader on arbitrary bytes (libFuzzer with address and undefined-behaviour sanitizers):
// no input may crash it, hang it or leak, and every tree it builds must hold together.
#include "../../json/json.h"

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    char* text = static_cast<char*>(std::malloc(size + 1));
    std::memcpy(text, data, size);
    text[size] = '\0';
    char error[256] = "";
    json_value* root = json_parse_ex(nullptr, text, size, error, sizeof error);
    if (!root && (error[0] == '\0' || std::strlen(error) > 127))
        std::abort();
    // Every node once with the parent it must link to, without recursion however deep.
    std::vector<std::pair<const json_value*, const json_value*>> pending;
    if (root)
        pending.emplace_back(root, nullptr);
    while (!pending.empty()) {
        const auto [node, parent] = pending.back();
        pending.pop_back();
        if (node->parent != parent ||
            (node->type == json_string && node->u.string.ptr[node->u.string.length]))
            std::abort();
        (void)static_cast<json_int_t>(*node); // a double out of the 64-bit range must not be undefined
        for (std::uint32_t i = 0; node->type == json_array && i < node->u.array.length; ++i)
            pending.emplace_back(node->u.array.values[i], node);
        for (std::uint32_t i = 0; node->type == json_object && i < node->u.object.length; ++i)
            pending.emplace_back(node->u.object.values[i].value, node);
    }
    json_value_free(root);
    return 0;
}
