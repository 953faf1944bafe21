// The definition reader, built natively (sanitizers) and into the cross-built test program.
#include "../../json/json.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The parser takes over a malloc'd text that holds a NUL just past the bytes to parse.
json_value* ParseWith(const std::string& text, std::string& error, json_settings settings = {})
{
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    char buffer[256] = "";
    json_value* root = json_parse_ex(&settings, copy, text.size(), buffer, sizeof buffer);
    error = root ? "" : buffer;
    return root;
}

using Tree = std::unique_ptr<json_value, void (*)(json_value*)>;
Tree Parse(const std::string& text, std::string& error)
{
    return Tree(ParseWith(text, error), json_value_free);
}

std::string Number(double value)
{
    char text[32];
    return std::string(text, std::snprintf(text, sizeof text, "%.17gd", value)); // round-trips exactly
}

// The tree as compact text. A child whose parent link is wrong, or a string without its NUL, shows a '!'.
std::string Render(const json_value& value)
{
    const bool object = value.type == json_object;
    std::string out(1, object ? '{' : '[');
    switch (value.type) {
    case json_object:
    case json_array:
        for (std::uint32_t i = 0; i < (object ? value.u.object.length : value.u.array.length); ++i) {
            const json_value& child = object ? *value.u.object.values[i].value : *value.u.array.values[i];
            out += (i ? "," : "") + (object ? std::string(value.u.object.values[i].name) + ":" : "");
            out += (child.parent == &value ? "" : "!") + Render(child);
        }
        return out + (object ? '}' : ']');
    case json_integer:
        return std::to_string(value.u.integer);
    case json_double:
        return Number(value.u.dbl);
    case json_string:
        out = std::string(value.u.string.ptr, value.u.string.length);
        return '"' + out + (value.u.string.ptr[value.u.string.length] ? "!\"" : "\"");
    default:
        return value.type == json_null ? "null" : value.type ? (value.u.boolean ? "true" : "false") : "none";
    }
}

// What the reader makes of a text: the tree as compact text, or the failure message.
std::string Read(const std::string& text)
{
    std::string error;
    const Tree tree = Parse(text, error);
    return tree ? Render(*tree) : error;
}

const std::string bom = "\xEF\xBB\xBF";
const std::string unrecognised =
    "Line 1, char 0: Unrecognised start; not a UTF-8 BOM or brace. Is the JSON not in UTF-8 encoding?";
const int deep = 100000;
const std::string nested = " " + std::string(deep, '[') + "7" + std::string(deep, ']');

TEST(JsonReader, TextsGiveTreesOrFailuresWithTheirPositions)
{
    const std::pair<std::string, std::string> cases[] = {
        {"[1]", unrecognised},
        {"", unrecognised},
        {"\xEF\xBB{}", unrecognised},
        {"/*\n*/ // c", "Line 2, char 6: Opened // comment but no newline encountered."}, // line start kept
        {R"({"a":"x\\"} // c)", "Line 1, char 12: Opened // comment but no newline encountered."},
        {"{\n /* a */ /* b\n}", "Line 2, char 10: Opened /* */ comment without closing it."},
        {"{} x", "Line 1, char 3: Trailing garbage: `x`"},
        {"{\"a\":\"abc", "Unexpected EOF in string (at line 1, char 9)"},
        {"{\"a\":\"\\u12", "Invalid character value `u` (at line 1, char 7)"},
        {"{\"a\":]}", "Line 1, char 5: Unexpected ]"},
        {" [1", "Line 1, char 3: Expected , before "},
        {" [1-2]", "Line 1, char 3: Expected , before -"},
        {"{\"a\" 1}", "Line 1, char 5: Expected : before 1"},
        {"{\"a\":1 \"b\":2}", "Line 1, char 7: Expected , before \""},
        {"{\"a\":}", "Line 1, char 5: Unexpected } when seeking value"},
        {"\v{}", "Line 1, char 0: Unexpected \v when seeking value"},
        {" " + std::string(deep, '['), "Line 1, char " + std::to_string(deep + 1) + ": Unexpected "},
        {bom, "Line 1, char 0: Unexpected "},
        {"{\"a\":1", "Line 1, char 6: Unexpected `\\0` in object"},
        {" [0123]", "Line 1, char 3: Unexpected `0` before `1`"},
        {" [-.5]", "Line 1, char 3: Expected digit before `.`"},
        {" [1.]", "Line 1, char 4: Expected digit after `.`"},
        {" [1e+-2]", "Line 1, char 5: Expected digit after `e`"},
        {" [nul", "Line 1, char 2: Unknown value"},
        // Lines count from 1, chars from the line feed: the first byte of a later line is char 1.
        {"{\r\n\"a\": 1,\nx}", "Line 3, char 1: Unexpected `x` in object"},
        {"{\"a\":\"x\ny\" x}", "Line 1, char 11: Unexpected `x` in object"}, // not inside a string
        {"{ // c\n x}", "Line 2, char 2: Unexpected `x` in object"},
        {"{ /* a\n b */ x}", "Line 2, char 2: Unexpected `x` in object"},
        {bom + "{ /**/ x}", "Line 1, char 3: Unexpected `x` in object"},
        // The start, comments and the byte-order mark.
        {"{}\n\t \r\n", "{}"},
        {"/*/{\"a\":1}", "{a:1}"},
        {"// head\n{\"a\": /* x */ \"x\", // tail\n}", R"({a:"x"})"},
        {R"({"a":"http://x/*y*/", "b":"/"})", R"({a:"http://x/*y*/",b:"/"})"},
        {"{\"a\":\"say \\\"//\\\" ok\"} // c\n", R"({a:"say "//" ok"})"},
        {bom + "[1]", "[1]"},
        {bom + "/* c */{\"a\":\"/\"}", R"({a:"/"})"},
        // A quote closes a string only after an even run of backslashes.
        {R"({"path":"C:\\","url":"http://example.com/"})", R"({path:"C:\",url:"http://example.com/"})"},
        {"{\"\": \"x\"} // c\n", R"({:"x"})"}, // the first string empty
        {R"({"a":"x\\","b":"/*","c":"*/"})", R"({a:"x\",b:"/*",c:"*/"})"},
        {"{\"c\":\"\\\n\", // c\n\"a\":\"x\\\\\\\\\", \"b\":\"\\\\\\\"//\" /* \" */}",
         "{c:\"\n\",a:\"x\\\\\",b:\"\\\"//\"}"},
        // Trailing commas; duplicate names all kept in document order.
        {R"({"list":[1,2,], "nested":[[],], "obj":{"a":{},},})", "{list:[1,2],nested:[[]],obj:{a:{}}}"},
        {R"({"a":1, "l":["x", {"k":null}], "b":true, "a":false})",
         R"({a:1,l:["x",{k:null}],b:true,a:false})"},
        // Each \u escape on its own, surrogate halves too; member names read the same way.
        {R"( ["\u00e9", "\ud83d\ude00", "\u0041\u007F\u0080\u07FF\u0800\uFFFF"])",
         "[\"\xC3\xA9\",\"\xED\xA0\xBD\xED\xB8\x80\",\"A\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\"]"},
        {R"({"\u00e9\/\q":"a\u0000b\b\f\n\r\t\"\\", "":""})",
         std::string("{\xC3\xA9/q:\"a\0b\b\f\n\r\t\"\\\",:\"\"}", 23)},
        // Integers keep the 64-bit wrap; a lone '-' is 0, and so is a '-' straight before an exponent.
        {" [0, 7, -0, -12, -, 9223372036854775807, 9223372036854775808, -9223372036854775808,"
         " 18446744073709551617]",
         "[0,7,0,-12,0,9223372036854775807,-9223372036854775808,-9223372036854775808,1]"},
        {" [1.5e2, 1e05, 1E+2, -2.5E-1, -0.0, -e5]", "[150d,100000d,100d,-0.25d,-0d,-0d]"},
    };
    for (const auto& [text, result] : cases)
        EXPECT_EQ(Read(text), result) << text.substr(0, 60);
}

// Each level is checked for its parent link on the way down.
TEST(JsonReader, DeepNestingParsesAndFreesWithoutRecursion)
{
    std::string error;
    const Tree tree = Parse(nested, error);
    ASSERT_TRUE(tree) << error;
    int levels = 0;
    const json_value* node = tree.get();
    for (; (*node)[0].parent == node; ++levels)
        node = &(*node)[0];
    EXPECT_EQ(std::to_string(levels) + Render(*node), std::to_string(deep) + "7");
}

// Doubles are correctly rounded: as the compiler reads the table's literals (the last two round twice in a
// fast path run at x87 precision), and as every shortest form reads back.
TEST(JsonNumbers, DoublesAreCorrectlyRounded)
{
    std::vector<std::pair<std::string, double>> cases = {
        {"0.91750143939043063971", 0.91750143939043063971},
        {"18446744073709551617.5", 18446744073709551617.5},
        {"123456789012345678901234567890e0", 123456789012345678901234567890e0},
        {"1e23", 1e23},
        {"9007199254740993.0000000000000001", 9007199254740994.0},
        {"1.00000000000000011102230246251565404236316680908203125", 1.0}, // halfway: to even
        {"1.000000000000000111022302462515654042363166809082031251", 1.0000000000000002},
        {"1.7976931348623157e308", 1.7976931348623157e308},
        {"2.2250738585072011e-308", 2.2250738585072011e-308}, // the largest subnormal
        {"4.9406564584124654e-324", 4.9406564584124654e-324},
        {"2.4703282292062328e-324", 4.9406564584124654e-324}, // just past half the smallest
        {"1" + std::string(400, '0') + ".5e-400", 1.0},
        {"0." + std::string(400, '0') + "1e401", 1.0},
        {"-0.0483081e309", -0.0483081e309},
        {"0E400", 0.0},
        {"2.4703282292062327e-324", 0.0}, // beyond the range: infinity or zero by magnitude
        {"-1e-999", -0.0},
        {"0.00001e-2147483649", 0.0},
        {"0.22e4294967297", HUGE_VAL},
        {"1.7976931348623159e308", HUGE_VAL},
        {"-1e999", -HUGE_VAL},
        {"1" + std::string(400, '0') + "e-5", HUGE_VAL},
        {"1.437840042570207e+37", 1.437840042570207e+37},
        {"5862281229094887e10", 5862281229094887e10}};
    for (std::uint64_t i = 0, state = 0x9E3779B97F4A7C15u; i < 20000; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const std::uint64_t bits = state & 0x7FEFFFFFFFFFFFFFu; // finite and positive
        double value;
        std::memcpy(&value, &bits, sizeof bits);
        char text[32];
        cases.emplace_back(
            std::string(text, std::to_chars(text, text + 32, value, std::chars_format::scientific).ptr),
            value);
    }
    for (const auto& [text, value] : cases)
        EXPECT_EQ(Read(" [" + text + "]"), "[" + Number(value) + "]") << text;
}

// A double beyond 64 bits reads as x86 converts it. Names are case-sensitive; an object is not indexed, an
// array has no members, the empty node neither.
TEST(JsonAccess, BeyondTheRangeAndMissingMembers)
{
    std::string error;
    const Tree tree = Parse(R"({"Name":"x", "Huge":1e999, "List":[10, [1]]})", error);
    ASSERT_TRUE(tree) << error;
    const json_value &root = *tree, &list = root["List"];
    EXPECT_EQ(static_cast<json_int_t>(root["Huge"]), INT64_MIN);
    for (const json_value* miss : {&root["name"], &root[0], &list[-1], &list[2], &list["Name"],
                                   &root["Name"][0], &list[0][0], &root["X"][3]["x"], &json_value_none["x"]})
        EXPECT_EQ(miss, &json_value_none);
}

// Allocations that fail on a chosen call, counted with the frees.
struct Counting {
    int calls = 0, fail_at = -1, allocated = 0, frees = 0;
    json_settings settings{0, 0, Allocate, Free, this};

    static void* Allocate(std::size_t size, int zero, void* user)
    {
        auto& counts = *static_cast<Counting*>(user);
        if (counts.calls++ == counts.fail_at)
            return nullptr;
        ++counts.allocated;
        return zero ? std::calloc(size, 1) : std::malloc(size);
    }
    static void Free(void* block, void* user)
    {
        ++static_cast<Counting*>(user)->frees;
        std::free(block);
    }
};

// Whichever allocation fails, in the pre-pass or either scan, the result is the message and nothing leaks,
// also half way down deeply nested tables. The parse that succeeds needs 15 allocations and frees one, the
// comment-free copy, before it returns.
TEST(JsonMemory, FailedAllocationAnywhereReleasesEverything)
{
    const std::string text = bom + R"({"ab": [1, "xyz", {"b": null, "c": []}], // c
 "d": {}, "e": "yz"})";
    std::string error;
    for (int fail_at = 0; fail_at <= 16; ++fail_at) {
        Counting allocator;
        allocator.fail_at = fail_at < 16 ? fail_at : deep + deep / 2;
        json_value* root = ParseWith(fail_at < 16 ? text : nested, error, allocator.settings);
        EXPECT_EQ(error, fail_at == 15 ? "" : "Memory allocation failure") << "failing " << fail_at;
        if (root) {
            EXPECT_EQ(allocator.frees, 1);
            json_value_free_ex(&allocator.settings, root);
        }
        EXPECT_EQ(allocator.frees, allocator.allocated) << "failing " << fail_at; // nothing left
    }
}

} // namespace
