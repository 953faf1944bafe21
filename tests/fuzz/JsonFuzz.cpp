// The definition reader on arbitrary bytes (libFuzzer with address and undefined-behaviour sanitizers):
// no input may crash it, hang it or leak, and every tree it builds must hold together.
#include "../../json/json.h"

#include <cstdlib>
#include <cstring>
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
    std::vector<const json_value*> pending(root ? 1 : 0, root);
    while (!pending.empty()) { // every node once, without recursion however deep
        const json_value& node = *pending.back();
        pending.pop_back();
        const char* textual = node;
        (void)static_cast<json_int_t>(node); // a double out of the 64-bit range must not be undefined
        if ((node.type == json_string ? textual[node.u.string.length] : *textual) != '\0' ||
            static_cast<bool>(node) != (node.type == json_boolean && node.u.boolean))
            std::abort();
        const bool array = node.type == json_array;
        const std::uint32_t length = array                      ? node.u.array.length
                                     : node.type == json_object ? node.u.object.length
                                                                : 0;
        for (std::uint32_t i = 0; i < length; ++i) {
            const json_value* child = array ? node.u.array.values[i] : node.u.object.values[i].value;
            if (child->parent != &node || (array && &node[static_cast<int>(i)] != child) ||
                (!array && node[const_cast<const char*>(node.u.object.values[i].name)].type == json_none))
                std::abort();
            pending.push_back(child);
        }
    }
    json_value_free(root);
    return 0;
}
