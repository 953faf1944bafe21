// The definition reader, built natively (sanitizers) and into the cross-built test program.
#include "../../json/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The parser takes over a malloc'd text that holds a NUL just past the bytes to parse.
char* MallocText(const std::string& text)
{
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

struct FreeTree {
    void operator()(json_value* value) const { json_value_free(value); }
};
using Tree = std::unique_ptr<json_value, FreeTree>;

Tree Parse(const std::string& text)
{
    json_settings settings{};
    char error[256] = "";
    Tree tree(json_parse_ex(&settings, MallocText(text), text.size(), error, sizeof error));
    EXPECT_TRUE(tree) << "text: " << text << "\nerror: " << error;
    return tree;
}

std::string ParseError(const std::string& text)
{
    json_settings settings{};
    char error[256];
    std::memset(error, '#', sizeof error);
    json_value* root = json_parse_ex(&settings, MallocText(text), text.size(), error, sizeof error);
    EXPECT_EQ(root, nullptr) << "text: " << text;
    json_value_free(root);
    return std::string(error, std::find(error, error + sizeof error, '\0'));
}

std::string Bytes(const json_value& value)
{
    return std::string(value.u.string.ptr, value.u.string.length);
}

const std::string bom = "\xEF\xBB\xBF";

struct FailureCase {
    std::string text;
    std::string message;
};

TEST(JsonFailures, EachMessageWithItsPosition)
{
    const std::string unrecognised =
        "Line 1, char 0: Unrecognised start; not a UTF-8 BOM or brace. Is the JSON not in UTF-8 encoding?";
    const FailureCase cases[] = {
        {"[1]", unrecognised},
        {"", unrecognised},
        {"1", unrecognised},
        {"\xEF\xBB{}", unrecognised},
        {"{} // note", "Line 1, char 3: Opened // comment but no newline encountered."},
        {"{\n  \"a\": 1 // note", "Line 2, char 10: Opened // comment but no newline encountered."},
        {"{}\n//", "Line 2, char 1: Opened // comment but no newline encountered."},
        {"{ /* open\n}", "Line 1, char 2: Opened /* */ comment without closing it."},
        {"{\n /* a */ /* b\n}", "Line 2, char 10: Opened /* */ comment without closing it."},
        {"{} x", "Line 1, char 3: Trailing garbage: `x`"},
        {"{}\n\n  }", "Line 3, char 3: Trailing garbage: `}`"},
        {"{\"a\":\"abc", "Unexpected EOF in string (at line 1, char 9)"},
        {"{\"a\":\"\\u12G4\"}", "Invalid character value `u` (at line 1, char 7)"},
        {"{\"a\":\"\\u12", "Invalid character value `u` (at line 1, char 7)"},
        {" ]", "Line 1, char 1: Unexpected ]"},
        {"{\"a\":]}", "Line 1, char 5: Unexpected ]"},
        {" [1 2]", "Line 1, char 4: Expected , before 2"},
        {" [1", "Line 1, char 3: Expected , before "},
        {" [1-2]", "Line 1, char 3: Expected , before -"},
        {" [1.5.3]", "Line 1, char 5: Expected , before ."},
        {" [1e2e3]", "Line 1, char 5: Expected , before e"},
        {" [truex]", "Line 1, char 6: Expected , before x"},
        {"{\"a\" 1}", "Line 1, char 5: Expected : before 1"},
        {"{\"a\",", "Line 1, char 4: Expected : before ,"},
        {"{\"a\":1 \"b\":2}", "Line 1, char 7: Expected , before \""},
        {" [x]", "Line 1, char 2: Unexpected x when seeking value"},
        {" [.5]", "Line 1, char 2: Unexpected . when seeking value"},
        {" [,]", "Line 1, char 2: Unexpected , when seeking value"},
        {"{\"a\":}", "Line 1, char 5: Unexpected } when seeking value"},
        {" [", "Line 1, char 2: Unexpected "},
        {bom, "Line 1, char 0: Unexpected "},
        {"\v{}", "Line 1, char 0: Unexpected \v when seeking value"},
        {"{1}", "Line 1, char 1: Unexpected `1` in object"},
        {"{,}", "Line 1, char 1: Unexpected `,` in object"},
        {"{\"a\":1,,}", "Line 1, char 7: Unexpected `,` in object"},
        {"{\"a\":1 / 2}", "Line 1, char 7: Unexpected `/` in object"},
        {"{", "Line 1, char 1: Unexpected `\\0` in object"},
        {"{\"a\":1", "Line 1, char 6: Unexpected `\\0` in object"},
        {" [0123]", "Line 1, char 3: Unexpected `0` before `1`"},
        {" [-00]", "Line 1, char 4: Unexpected `0` before `0`"},
        {" [-.5]", "Line 1, char 3: Expected digit before `.`"},
        {" [1.]", "Line 1, char 4: Expected digit after `.`"},
        {" [1.e5]", "Line 1, char 4: Expected digit after `.`"},
        {" [1e]", "Line 1, char 4: Expected digit after `e`"},
        {" [1e+]", "Line 1, char 5: Expected digit after `e`"},
        {" [1e+-2]", "Line 1, char 5: Expected digit after `e`"},
        {" [tru]", "Line 1, char 2: Unknown value"},
        {" [falsy]", "Line 1, char 2: Unknown value"},
        {" [nul", "Line 1, char 2: Unknown value"},
    };
    for (const FailureCase& c : cases) {
        EXPECT_EQ(ParseError(c.text), c.message) << c.text;
    }
}

TEST(JsonFailures, PositionsCountLinesFromOneAndCharsFromTheLineFeed)
{
    const FailureCase cases[] = {
        // The first byte of line 3 is char 1; the third byte of line 1 is char 2.
        {"{\n\"a\": 1,\nx}", "Line 3, char 1: Unexpected `x` in object"},
        {"{ x}", "Line 1, char 2: Unexpected `x` in object"},
        // A carriage return is no line; a raw line feed inside a string is not counted either.
        {"{\r\n x}", "Line 2, char 2: Unexpected `x` in object"},
        {"{\"a\":\"x\ny\" x}", "Line 1, char 11: Unexpected `x` in object"},
        // Comments keep their line feeds: a line comment becomes CR LF, a block comment keeps its lines.
        {"{ // c\n x}", "Line 2, char 2: Unexpected `x` in object"},
        {"{ /* a\n b */ x}", "Line 2, char 2: Unexpected `x` in object"},
        // Inside a block comment a line feed counts a line but does not move the line start.
        {"/*\n*/ // c", "Line 2, char 6: Opened // comment but no newline encountered."},
        // After a byte-order mark, chars count from the first byte past it.
        {bom + "{ x}", "Line 1, char 2: Unexpected `x` in object"},
        {bom + "{ /**/ x}", "Line 1, char 3: Unexpected `x` in object"},
    };
    for (const FailureCase& c : cases) {
        EXPECT_EQ(ParseError(c.text), c.message) << c.text;
    }
}

TEST(JsonFailures, DeepUnclosedArraysFailAndRelease)
{
    const int depth = 100000;
    EXPECT_EQ(ParseError(" " + std::string(depth, '[')),
              "Line 1, char " + std::to_string(depth + 1) + ": Unexpected ");
}

TEST(JsonFailures, MessageIsCutToTheBuffer)
{
    json_settings settings{};
    char error[16];
    std::memset(error, '#', sizeof error);
    EXPECT_EQ(json_parse_ex(&settings, MallocText("{"), 1, error, 10), nullptr);
    EXPECT_STREQ(error, "Line 1, c");
    EXPECT_EQ(error[10], '#');

    std::memset(error, '#', sizeof error);
    EXPECT_EQ(json_parse_ex(&settings, MallocText("{"), 1, error, 1), nullptr);
    EXPECT_EQ(error[0], '\0');
    EXPECT_EQ(error[1], '#');

    EXPECT_EQ(json_parse_ex(&settings, MallocText("{"), 1, nullptr, 256), nullptr);
}

// A quote closes a string only after an even run of backslashes, so slashes after a string that ends in
// an escaped backslash are still string content, and comments after it are still comments.
TEST(JsonComments, StringsEndingInAnEscapedBackslash)
{
    const Tree paths = Parse("{\"path\":\"C:\\\\\",\"url\":\"http://example.com/\"}");
    ASSERT_TRUE(paths);
    EXPECT_EQ(Bytes((*paths)["path"]), "C:\\");
    EXPECT_EQ(Bytes((*paths)["url"]), "http://example.com/");

    const Tree marks = Parse("{\"a\":\"x\\\\\",\"b\":\"/*\",\"c\":\"*/\"}");
    ASSERT_TRUE(marks);
    EXPECT_EQ(marks->u.object.length, 3u);
    EXPECT_EQ(Bytes((*marks)["b"]), "/*");
    EXPECT_EQ(Bytes((*marks)["c"]), "*/");

    const Tree comments = Parse(R"({"c":"\
", // c
"a":"x\\\\", "b":"\\\"//" /* " */})");
    ASSERT_TRUE(comments);
    EXPECT_EQ(Bytes((*comments)["a"]), "x\\\\");
    EXPECT_EQ(Bytes((*comments)["b"]), "\\\"//");
    EXPECT_EQ(Bytes((*comments)["c"]), "\n");
}

TEST(JsonComments, AreRemovedOutsideStrings)
{
    struct Case {
        const char* text;
        const char* value; // the member "a" as a string
    };
    const Case cases[] = {
        {"/*/{\"a\":\"x\"}", "x"},
        {"/* c */{\"a\":\"x\"}", "x"},
        {"// head\n{\"a\": /* x */ \"x\", // tail\n}", "x"},
        {"{\"a\":\"x\"} /* multi\nline */\n", "x"},
        {"{\"a\":\"x\"}//\n", "x"},
        {"{\"a\":\"http://x/*y*/\"}", "http://x/*y*/"},
        {"{\"a\":\"say \\\"//\\\" ok\"} // c\n", "say \"//\" ok"},
        {"{\"a\":\"/\"}", "/"},
    };
    for (const Case& c : cases) {
        const Tree tree = Parse(c.text);
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->type, json_object) << c.text;
        EXPECT_EQ(Bytes((*tree)["a"]), c.value) << c.text;
    }
}

TEST(JsonStart, BraceSlashWhiteSpaceOrByteOrderMark)
{
    struct Case {
        std::string text;
        json_type root;
    };
    const Case cases[] = {
        {"{}", json_object},
        {" [1]", json_array},
        {"\n[1]", json_array},
        {"\t\"s\"", json_string},
        {" 42 ", json_integer},
        {" -", json_integer},
        {"/**/[1]", json_array},
        {bom + "{\"a\":1}", json_object},
        {bom + "{\"a\":1} // c\n", json_object},
        {bom + "/* c */{\"a\":\"/\"}", json_object},
        {bom + "[1]", json_array},
        {"{}\n\t \r\n", json_object},
    };
    for (const Case& c : cases) {
        const Tree tree = Parse(c.text);
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->type, c.root) << c.text;
        EXPECT_EQ(tree->parent, nullptr) << c.text;
    }
}

TEST(JsonStructure, TrailingCommasAreAccepted)
{
    const Tree accepted = Parse("{\"list\":[1,2,], \"nested\":[[],], \"obj\":{\"a\":{},},}");
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->u.object.length, 3u);
    EXPECT_EQ((*accepted)["list"].u.array.length, 2u);
    EXPECT_EQ((*accepted)["nested"].u.array.length, 1u);
    EXPECT_EQ((*accepted)["obj"].u.object.length, 1u);
}

TEST(JsonStructure, TreeKeepsDocumentOrderParentsAndDuplicates)
{
    const Tree tree = Parse("{\"a\":1, \"list\":[\"x\", {\"k\":null}], \"b\":true, \"a\":3}");
    ASSERT_TRUE(tree);
    const json_value& root = *tree;
    ASSERT_EQ(root.u.object.length, 4u);
    const char* names[] = {"a", "list", "b", "a"};
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_STREQ(root.u.object.values[i].name, names[i]);
        EXPECT_EQ(root.u.object.values[i].value->parent, &root);
    }
    // The first of duplicate names wins; the later one stays in the entries.
    EXPECT_EQ(static_cast<json_int_t>(root["a"]), 1);
    EXPECT_EQ(root.u.object.values[3].value->u.integer, 3);

    const json_value& list = root["list"];
    ASSERT_EQ(list.type, json_array);
    ASSERT_EQ(list.u.array.length, 2u);
    EXPECT_EQ(list.u.array.values[0]->parent, &list);
    EXPECT_EQ(list.u.array.values[1]->parent, &list);
    EXPECT_EQ(list[1]["k"].type, json_null);
    EXPECT_EQ(list[1]["k"].parent, &list[1]);
    EXPECT_EQ(root["b"].type, json_boolean);
    EXPECT_EQ(root["b"].u.boolean, 1);
}

TEST(JsonStructure, DeepNestingParsesAndFreesWithoutRecursion)
{
    const int depth = 100000;
    const Tree arrays = Parse(" " + std::string(depth, '[') + std::string(depth, ']'));
    ASSERT_TRUE(arrays);
    const json_value* node = arrays.get();
    int levels = 1;
    while (node->u.array.length == 1) {
        node = &(*node)[0];
        ASSERT_EQ(node->type, json_array);
        ++levels;
    }
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(node->u.array.length, 0u);
    for (int i = 1; i < depth; ++i)
        node = node->parent;
    EXPECT_EQ(node, arrays.get());

    std::string objects;
    for (int i = 0; i < depth; ++i)
        objects += "{\"a\":";
    objects += "7" + std::string(depth, '}');
    const Tree tree = Parse(objects);
    ASSERT_TRUE(tree);
    node = tree.get();
    for (int i = 0; i < depth; ++i)
        node = &(*node)["a"];
    EXPECT_EQ(node->type, json_integer);
    EXPECT_EQ(node->u.integer, 7);
}

TEST(JsonNumbers, IntegersAndDoubles)
{
    const double inf = HUGE_VAL;
    struct Case {
        const char* text; // the first element of an array
        json_type type;
        json_int_t integer;
        double dbl;
    };
    const Case cases[] = {
        {" [0]", json_integer, 0, 0},
        {" [7]", json_integer, 7, 0},
        {" [-0]", json_integer, 0, 0},
        {" [-12]", json_integer, -12, 0},
        {" [-,1]", json_integer, 0, 0},
        {" [9223372036854775807]", json_integer, INT64_MAX, 0},
        {" [9223372036854775808]", json_integer, INT64_MIN, 0},
        {" [-9223372036854775808]", json_integer, INT64_MIN, 0},
        {" [18446744073709551617]", json_integer, 1, 0},
        {" [1.5e2]", json_double, 0, 150.0},
        {" [1e2]", json_double, 0, 100.0},
        {" [1E+2]", json_double, 0, 100.0},
        {" [25e-1]", json_double, 0, 2.5},
        {" [1e05]", json_double, 0, 1e5},
        {" [0.5]", json_double, 0, 0.5},
        {" [-1.25]", json_double, 0, -1.25},
        {" [0.0625]", json_double, 0, 0.0625},
        {" [-2.5E-1]", json_double, 0, -0.25},
        {" [1e999]", json_double, 0, inf},
    };
    for (const Case& c : cases) {
        const Tree tree = Parse(c.text);
        ASSERT_TRUE(tree);
        const json_value& number = (*tree)[0];
        ASSERT_EQ(number.type, c.type) << c.text;
        if (c.type == json_integer)
            EXPECT_EQ(number.u.integer, c.integer) << c.text;
        else
            EXPECT_DOUBLE_EQ(number.u.dbl, c.dbl) << c.text;
    }
}

std::uint64_t Bits(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Doubles are correctly rounded: each expected value is the compiler's own reading of the literal, and the
// standard library's reading agrees wherever it has one. Under x87 precision its fast path rounds twice
// (the last two cases), so it is a reference only where doubles are evaluated as doubles.
TEST(JsonNumbers, DoublesAreCorrectlyRounded)
{
    const double inf = HUGE_VAL;
    const struct {
        std::string text;
        double value;
    } cases[] = {
        {"0.91750143939043063971", 0.91750143939043063971},
        {"0.12345678901234567890123456789", 0.12345678901234567890123456789},
        {"18446744073709551617.5", 18446744073709551617.5},
        {"123456789012345678901234567890e0", 123456789012345678901234567890e0},
        {"1e23", 1e23},
        {"8.98846567431158e307", 8.98846567431158e307},
        {"9007199254740993.0000000000000001", 9007199254740994.0},
        {"1.00000000000000011102230246251565404236316680908203125", 1.0}, // halfway: to even
        {"1.000000000000000111022302462515654042363166809082031251", 1.0000000000000002},
        {"1.7976931348623157e308", 1.7976931348623157e308},
        {"2.2250738585072011e-308", 2.2250738585072011e-308}, // the largest subnormal
        {"4.9406564584124654e-324", 4.9406564584124654e-324},
        {"2.4703282292062328e-324", 4.9406564584124654e-324}, // just past half the smallest
        {"0.000000000000000000000000000001e330", 1e300},
        {"1" + std::string(400, '0') + ".5e-400", 1.0},
        {"0." + std::string(400, '0') + "1e401", 1.0},
        {"1E+2", 100.0},
        {"25e-1", 2.5},
        {"-2.5E-1", -0.25},
        {"-0.0", -0.0},
        {"0E400", 0.0},
        {"2.4703282292062327e-324", 0.0}, // beyond the range: infinity or zero by magnitude
        {"-1e-999", -0.0},
        {"0.22e4294967297", inf},
        {"-0.0483081e309", -0.0483081e309},
        {"1.7976931348623159e308", inf},
        {"-1e999", -inf},
        {"1e2147483648", inf},
        {"1" + std::string(400, '0') + "e-5", inf},
        {"0.00001e-2147483649", 0.0},
        {"-e5", -0.0}, // no digit before the exponent
        {"1.437840042570207e+37", 1.437840042570207e+37},
        {"5862281229094887e10", 5862281229094887e10},
    };
    for (const auto& c : cases) {
        const Tree tree = Parse(" [" + c.text + "]");
        ASSERT_TRUE(tree);
        ASSERT_EQ((*tree)[0].type, json_double) << c.text;
        EXPECT_EQ(Bits((*tree)[0].u.dbl), Bits(c.value)) << c.text << " reads " << (*tree)[0].u.dbl;
        const char* digits = c.text.c_str() + (c.text[0] == '-');
        double standard = 0;
        if (FLT_EVAL_METHOD == 0 &&
            std::from_chars(digits, c.text.c_str() + c.text.size(), standard).ec == std::errc()) {
            EXPECT_EQ(Bits(c.text[0] == '-' ? -standard : standard), Bits(c.value)) << c.text;
        }
    }
}

// Every double written in its shortest form reads back to itself.
TEST(JsonNumbers, ShortestFormsReadBackExactly)
{
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    int wrong = 0;
    for (int i = 0; i < 20000; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        double value;
        const std::uint64_t bits = state & 0x7FEFFFFFFFFFFFFFu; // finite and positive
        std::memcpy(&value, &bits, sizeof value);
        char text[64] = " [";
        *std::to_chars(text + 2, text + sizeof text - 2, value, std::chars_format::scientific).ptr = ']';
        const Tree tree = Parse(text);
        ASSERT_TRUE(tree);
        if (Bits((*tree)[0].u.dbl) != bits && ++wrong <= 5)
            ADD_FAILURE() << text << " reads " << (*tree)[0].u.dbl;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(JsonStrings, EscapesAndRawBytes)
{
    struct Case {
        std::string body; // between the quotes
        std::string bytes;
    };
    const Case cases[] = {
        {"\\u00e9", "\xC3\xA9"},
        {"\\ud83d\\ude00", "\xED\xA0\xBD\xED\xB8\x80"},
        {"\\u0041", "A"},
        {"\\u007F", "\x7F"},
        {"\\u0080", "\xC2\x80"},
        {"\\u07FF", "\xDF\xBF"},
        {"\\u0800", "\xE0\xA0\x80"},
        {"\\uFFFF", "\xEF\xBF\xBF"},
        {"a\\u0000b", std::string("a\0b", 3)},
        {"\\b\\f\\n\\r\\t", "\b\f\n\r\t"},
        {"\\\"\\\\\\/\\q", "\"\\/q"},
        {"\x01\ttab\nline", "\x01\ttab\nline"},
        {"", ""},
    };
    for (const Case& c : cases) {
        const Tree tree = Parse("{\"s\":\"" + c.body + "\", \"" + c.body + "\":1}");
        ASSERT_TRUE(tree);
        const json_value& value = (*tree)["s"];
        ASSERT_EQ(value.type, json_string) << c.body;
        EXPECT_EQ(Bytes(value), c.bytes) << c.body;
        EXPECT_EQ(value.u.string.ptr[value.u.string.length], '\0') << c.body;
        // Member names are read the same way.
        EXPECT_EQ(std::string(tree->u.object.values[1].name), c.bytes.substr(0, c.bytes.find('\0')))
            << c.body;
    }
}

TEST(JsonAccess, ConversionsByType)
{
    const Tree tree = Parse(
        "{\"Name\":\"x\", \"Count\":3, \"One\":1, \"Ratio\":2.9, \"Neg\":-2.9, \"Big\":4.5e15, \"Half\":-0.5,"
        " \"Huge\":1e999, \"Low\":-1e999, \"Flag\":true, \"Off\":false, \"Nothing\":null,"
        " \"List\":[1], \"Obj\":{\"k\":1}}");
    ASSERT_TRUE(tree);
    struct Case {
        const char* name;
        const char* text;
        json_int_t integer;
        bool flag;
    };
    const Case cases[] = {
        {"Name", "x", 0, false},
        {"Count", "", 3, false},
        {"One", "", 1, false},
        {"Ratio", "", 2, false},
        {"Neg", "", -2, false},
        {"Big", "", 4500000000000000, false},
        {"Half", "", 0, false},
        // Beyond the 64-bit range a double reads as the smallest integer, as the x86 conversion gives.
        {"Huge", "", INT64_MIN, false},
        {"Low", "", INT64_MIN, false},
        {"Flag", "", 0, true},
        {"Off", "", 0, false},
        {"Nothing", "", 0, false},
        {"List", "", 0, false},
        {"Obj", "", 0, false},
        {"Missing", "", 0, false},
    };
    for (const Case& c : cases) {
        const json_value& value = (*tree)[c.name];
        const char* text = value;
        ASSERT_NE(text, nullptr) << c.name;
        EXPECT_STREQ(text, c.text) << c.name;
        EXPECT_EQ(static_cast<json_int_t>(value), c.integer) << c.name;
        EXPECT_EQ(static_cast<bool>(value), c.flag) << c.name;
    }
}

TEST(JsonAccess, FailedLookupsGiveTheSharedEmptyNode)
{
    const Tree tree = Parse("{\"About\":\"text\", \"List\":[10, \"a\", [1]], \"Obj\":{\"k\":\"v\"}}");
    ASSERT_TRUE(tree);
    const json_value& root = *tree;
    const json_value& list = root["List"];
    EXPECT_EQ(static_cast<json_int_t>(list[0]), 10);
    EXPECT_EQ(static_cast<json_int_t>(list[2][0]), 1);
    EXPECT_STREQ(root["Obj"]["k"], "v");

    const json_value* misses[] = {
        &root["about"], // names are case-sensitive
        &root["Missing"],
        &root[0], // an object is not indexed
        &list[-1],
        &list[3],
        &list[INT_MAX],
        &list[INT_MIN],
        &list["About"], // an array has no members
        &root["About"][0],
        &root["About"]["x"],
        &list[0][0],
        &list[0]["x"],
        &root["Missing"][3]["x"][0],
    };
    for (const json_value* miss : misses)
        EXPECT_EQ(miss, &json_value_none);
}

TEST(JsonAccess, SharedEmptyNodeReadsNeutral)
{
    EXPECT_EQ(json_value_none.type, json_none);
    EXPECT_EQ(json_value_none.parent, nullptr);
    EXPECT_EQ(json_value_none.u.integer, 0);
    EXPECT_EQ(&json_value_none[0], &json_value_none);
    EXPECT_EQ(&json_value_none["x"], &json_value_none);
    const char* text = json_value_none;
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(static_cast<json_int_t>(json_value_none), 0);
    EXPECT_FALSE(static_cast<bool>(json_value_none));
}

// Other modules read the tree's fields directly: on the 32-bit target they sit where the host layout has
// them.
TEST(JsonStructure, FieldLayoutOn32Bit)
{
    EXPECT_EQ(sizeof(json_type), 4u);
    if (sizeof(void*) != 4)
        GTEST_SKIP() << "pointer-sized fields differ natively";
    EXPECT_EQ(offsetof(json_value, parent), 0u);
    EXPECT_EQ(offsetof(json_value, type), 4u);
    EXPECT_EQ(offsetof(json_value, u), 8u);
    EXPECT_EQ(sizeof(json_value::u), 8u);
    EXPECT_EQ(offsetof(json_value, u.string.ptr), 12u);
    EXPECT_EQ(offsetof(json_value, _reserved), 16u);
    EXPECT_EQ(sizeof(json_object_entry), 8u);
    EXPECT_EQ(offsetof(json_settings, mem_alloc), 8u);
    EXPECT_EQ(sizeof(json_settings), 20u);
}

// An allocator that can fail on a chosen call and counts what is still allocated.
struct CountingAllocator {
    int calls = 0;
    int fail_at = -1;
    int live = 0;
    int frees = 0;
    std::vector<std::size_t> sizes;

    static void* Alloc(std::size_t size, int zero, void* user)
    {
        auto* self = static_cast<CountingAllocator*>(user);
        if (self->calls++ == self->fail_at)
            return nullptr;
        self->sizes.push_back(size);
        ++self->live;
        return zero ? std::calloc(size, 1) : std::malloc(size);
    }
    static void Free(void* ptr, void* user)
    {
        auto* self = static_cast<CountingAllocator*>(user);
        --self->live;
        ++self->frees;
        std::free(ptr);
    }
    json_settings Settings() { return json_settings{0, 0, Alloc, Free, this}; }
};

json_value* ParseWith(json_settings& settings, const std::string& text, std::string& error)
{
    char buffer[256] = "";
    json_value* root = json_parse_ex(&settings, MallocText(text), text.size(), buffer, sizeof buffer);
    error = buffer;
    return root;
}

// Every table, block and string is allocated once at its final size, after the nodes of the first pass.
TEST(JsonMemory, StorageIsAllocatedOnceAtItsSize)
{
    const std::size_t node = sizeof(json_value);
    const std::size_t entry = sizeof(json_object_entry);
    const std::size_t pointer = sizeof(json_value*);
    const std::vector<std::size_t> tree_sizes = {node, node, node, node, node, 2 * entry + 5, 4, 2 * pointer};
    struct Case {
        std::string text;
        std::size_t prepass; // the pre-pass buffer (bytes past the mark), 0 when the text holds no '/'
    };
    const std::string with_comment = "{\"ab\":\"xyz\", /* c */ \"n\":[1,2]}";
    const std::string slash_in_string = "{\"ab\":\"xy/\", \"n\":[1,2]}";
    const Case cases[] = {
        {"{\"ab\":\"xyz\", \"n\":[1,2]}", 0},
        {slash_in_string, slash_in_string.size()}, // made, then dropped: nothing was removed
        {with_comment, with_comment.size()},
        {bom + with_comment, with_comment.size()},
    };
    for (const Case& c : cases) {
        CountingAllocator allocator;
        json_settings settings = allocator.Settings();
        std::string error;
        json_value* root = ParseWith(settings, c.text, error);
        ASSERT_NE(root, nullptr) << c.text << ": " << error;
        std::vector<std::size_t> expected = tree_sizes;
        if (c.prepass)
            expected.insert(expected.begin(), c.prepass);
        EXPECT_EQ(allocator.sizes, expected) << c.text;
        EXPECT_EQ(allocator.live, 8) << c.text;
        json_value_free_ex(&settings, root);
        EXPECT_EQ(allocator.live, 0) << c.text;
    }
}

TEST(JsonMemory, FreeingNothingCallsNothing)
{
    CountingAllocator allocator;
    json_settings settings = allocator.Settings();
    json_value_free_ex(&settings, nullptr);
    json_value_free(nullptr);
    EXPECT_EQ(allocator.frees, 0);
}

TEST(JsonMemory, LimitCountsEveryAllocatedByte)
{
    const std::string text = "{\"ab\":\"xyz\", \"n\":[1,2]}";
    CountingAllocator measure;
    json_settings settings = measure.Settings();
    std::string error;
    json_value_free_ex(&settings, ParseWith(settings, text, error));
    std::uint32_t total = 0;
    for (std::size_t size : measure.sizes)
        total += static_cast<std::uint32_t>(size);

    json_settings limited{};
    limited.max_memory = total;
    json_value* root = ParseWith(limited, text, error);
    EXPECT_NE(root, nullptr) << error;
    json_value_free(root);

    limited.max_memory = total - 1;
    EXPECT_EQ(ParseWith(limited, text, error), nullptr);
    EXPECT_EQ(error, "Memory allocation failure");
}

// Whichever allocation fails, in the pre-pass or either scan, the result is the message and nothing leaks.
TEST(JsonMemory, FailedAllocationAnywhereReleasesEverything)
{
    const std::string text =
        bom + "{\"a\": [1, \"x\", {\"b\": null, \"c\": []}], // c\n \"d\": {}, \"e\": \"yz\"}";
    int failures = 0;
    for (int fail_at = 0;; ++fail_at) {
        CountingAllocator allocator;
        allocator.fail_at = fail_at;
        json_settings settings = allocator.Settings();
        std::string error;
        json_value* root = ParseWith(settings, text, error);
        if (root) {
            EXPECT_EQ(static_cast<std::size_t>(fail_at), allocator.sizes.size());
            json_value_free_ex(&settings, root);
            EXPECT_EQ(allocator.live, 0);
            break;
        }
        EXPECT_EQ(error, "Memory allocation failure") << "failing allocation " << fail_at;
        EXPECT_EQ(allocator.live, 0) << "failing allocation " << fail_at;
        ++failures;
    }
    EXPECT_EQ(failures, 1 + 9 + 5); // the copy, nine nodes, five tables and strings (empty ones need none)
}

TEST(JsonMemory, FailureDeepInTheSecondPassReleasesOpenValues)
{
    const int depth = 100000;
    CountingAllocator allocator;
    allocator.fail_at = depth + depth / 2; // half way down the nested tables
    json_settings settings = allocator.Settings();
    std::string error;
    EXPECT_EQ(ParseWith(settings, " " + std::string(depth, '[') + std::string(depth, ']'), error), nullptr);
    EXPECT_EQ(error, "Memory allocation failure");
    EXPECT_EQ(allocator.live, 0);
}

} // namespace
