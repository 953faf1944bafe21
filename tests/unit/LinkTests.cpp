// The linking checks: what a member's signature disagrees with in the definition, in the report's exact
// words, and the boxes and stores of a link.
#include "InProcess.h"

#include "extension/Extension.h"
#include "link/LinkAction.h"
#include "link/LinkExpression.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using Finder = Tovik::LinkFindings (*)(const json_value& root, std::uint32_t ID);
template <auto Check, typename Sig> Tovik::LinkFindings Run(const json_value& r, std::uint32_t id)
{
    return Check(r, id, Linking::SignatureOf<Sig>);
}
template <typename Sig> constexpr Finder A = Run<Linking::CheckAction, Sig>;
template <typename Sig> constexpr Finder C = Run<Linking::CheckCondition, Sig>;
template <typename Sig> constexpr Finder E = Run<Linking::CheckExpression, Sig>;

// The report of a check against a document; a document without braces is one language's members.
Tovik::LinkFindings Find(Finder find, const std::string& document)
{
    const std::string text = document[0] == '{' ? document
                                                : R"({"Identifier": "MVLX", "UK English": {)"
                                                  R"("About": {"Name": "M"}, )" +
                                                      document + "}}";
    json_value* root = InProcess::ParseDefinition(text, document);
    Tovik::LinkFindings findings = find(root != nullptr ? *root : json_value_none, 0);
    json_value_free(root);
    return findings;
}

const std::string Head = "UK English: error in linking ";
std::string Mismatch(const std::string& name, const std::string& type, const char* expected,
                     const char* actual)
{
    return "Has JSON parameter " + name + ", JSON type " + type + "; expected C++ type " + expected +
           ", but actual C++ type is " + actual + ".";
}

TEST(Link, ParameterTypesTheDefinitionCallsFor)
{
    const struct {
        char kind;
        Finder find;
        const char* type;
        const char* expected; // null: the member's type is accepted
        const char* actual;
    } cases[] = {
        {'A', A<void(unsigned)>, "Integer", "int", "unsigned int"},
        {'A', A<void(float)>, "Time", "int", "float"},
        {'A', A<void(int)>, "FLOAT", "float", "int"},
        {'A', A<void(wchar_t*)>, "Text", "const TCHAR *", "wchar_t*"},
        {'A', A<void(float)>, "Filename", "const TCHAR *", "float"},
        {'A', A<void(int)>, "unsigned INTEGER", "unsigned int", "int"},
        {'A', A<void(int)>, "Colour", "unsigned int", "int"},
        {'A', A<void(int)>, "NewDirection", "unsigned int", "int"},
        {'A', A<void(unsigned)>, "JoyDirection", nullptr, nullptr},
        {'A', A<void(RunObject*)>, "Object", nullptr, nullptr},
        {'A', A<void(int)>, "Object", "RunObject *", "int"},
        {'C', C<bool(int)>, "Object", nullptr, nullptr},
        {'C', C<bool(RunObject*)>, "Object", "int", "RunObject*"},
        {'C', C<bool(float)>, "Float", nullptr, nullptr},
        {'E', E<int(float)>, "Integer", "int", "float"},
        {'E', E<int(int)>, "float", "float", "int"},
        {'E', E<int(const wchar_t*)>, "String", nullptr, nullptr},
        {'E', E<int(int)>, "Text", "const TCHAR *", "int"},
        {'E', E<int(unsigned)>, "Unsigned Integer", nullptr, nullptr},
        {'E', E<int(int)>, "UNSIGNED integer", "unsigned int", "int"},
    };
    for (const auto& c : cases) { // the message after the header; expressions quote the name and the type
        const std::string item = R"([{"Title": "T(", "Returns": "Integer", "Parameters": [[")" +
                                 std::string(c.type) + R"(", "P"]]}])";
        const std::string report = Find(c.find, R"("Actions": )" + item + R"(, "Conditions": )" + item +
                                                    R"(, "Expressions": )" + item)
                                       .report;
        const std::string q = c.kind == 'E' ? "\"" : "";
        EXPECT_EQ(report.substr(report.find('\n') + 1),
                  c.expected == nullptr ? "" : Mismatch(q + "P" + q, q + c.type + q, c.expected, c.actual))
            << c.type;
    }
}

// Every other message once, the order of messages and the counts that decide whether parameters are tested.
// A header is put in front of everything the report holds, its last line end dropped; an action walks every
// language unless its result is wrong, a condition stops at the first language with findings.
TEST(Link, Reports)
{
    const auto two = [](const std::string& array, const std::string& first, const std::string& second) {
        return R"({"Identifier": "MVLX", "UK English": {"About": {"Name": "M"}, ")" + array + R"(": [)" +
               first + R"(]}, "Plain": {"Actions": []}, "Deutsch": {"About": {"Name": "M"}, ")" + array +
               R"(": [)" + second + "]}}";
    };
    const std::string floatA = R"({"Title": "Act", "Parameters": [["Float", "A"]]})";
    const std::string act = R"("Actions": [{"Title": "Act", "Parameters": )",
                      cond = R"("Conditions": [{"Title": "Cond", "Parameters": )";
    const std::string expr = R"("Expressions": [{"Title": "Sum((", "Returns": ")",
                      three = R"([["Integer", "A"], ["Integer", "B"], ["Text", "C"]])";
    const std::string cpp = " parameters in the C++ function definition.";
    const std::string twoComparisons =
        "Condition Cond has two comparison JSON parameters. Only one comparison parameter can be used.";
    const struct {
        Finder find;
        std::string members;
        std::string report;
    } cases[] = {
        {A<void(int, int)>, act + R"([["Float", "A"], ["StringComparison", "B"]]}])",
         Head +
             "action ID 0, Act:\r\nAction Act uses a comparison JSON parameter, but comparison "
             "parameters can only be used in conditions.\r\n" +
             Mismatch("B", "StringComparison", "const TCHAR *", "int") + "\r\n" +
             Mismatch("A", "Float", "float", "int")},
        {A<int()>, act + "[]}]",
         Head + "action ID 0, Act; it has return type int instead of void in the C++ function definition."},
        {A<void(int, int)>, act + three + R"(, "NumAutoProps": 2}])", ""},
        {A<void(int, int)>, act + three + R"(, "NumAutoProps": "2"}])",
         Head + "action ID 0, Act; it has 3 parameters in the Actions JSON item, but 2" + cpp},
        {A<void()>, R"("Actions": {"0": {}})", Head + "action ID 0; it has no Actions JSON item.\r\n"},
        {C<bool(int)>, cond + R"([["Integer", "A"], ["Integer", "B"]], "NumAutoProps": 1}])",
         Head + "condition ID 0, Cond; it has 2 parameters in the Conditions JSON item, but 1" + cpp +
             "\r\n"},
        {C<float()>, cond + "[]}]", ""},
        {C<int(int)>, cond + R"([["Integer", "A"]]}])",
         Head + "condition ID 0, Cond\r\nCondition has return type int instead of the expected type bool "
                "in the C++ function definition."},
        {C<bool(int, int)>, cond + R"([["Comparison", "A"], ["Comparison", "B"]]}])",
         Head + "condition ID 0, Cond\r\n" + twoComparisons +
             "\r\nCondition has a integer/time comparison parameter, but has return type bool instead of the "
             "expected type int in the C++ function definition."},
        {C<int(int, const wchar_t*)>, cond + R"([["Comparison", "A"], ["StringComparison", "B"]]}])",
         Head + "condition ID 0, Cond\r\n" + twoComparisons +
             "\r\nCondition has a string-comparison parameter, but has return type int instead of the "
             "expected type const TCHAR * in the C++ function definition."},
        {C<bool()>, R"("Conditions": [])", Head + "condition ID 0; it has no Conditions JSON item.\r\n"},
        {E<void()>, expr + R"(Unsigned INTEGER"}])",
         Head + "expression ID 0, Sum(; it has return type Unsigned INTEGER in the JSON (C++ type unsigned "
                "int), but void in the C++ function definition."},
        {E<int()>, R"("Expressions": [{"Returns": "Integer", "Parameters": [[]]}])",
         Head + "expression ID 0, ; it has 1 parameters in the Expressions JSON item, but 0" + cpp},
        {E<int(int, int)>, expr + R"(Integer", "Parameters": [["Float", "A"], ["Text", "B"]]}])",
         Head + "expression ID 0, Sum(:\r\n" + Mismatch("\"B\"", "\"Text\"", "const TCHAR *", "int") +
             "\r\n" + Mismatch("\"A\"", "\"Float\"", "float", "int")},
        {E<int()>, R"("Expressions": "Sum")", Head + "expression ID 0; it has no Expressions JSON item.\r\n"},
        {E<float()>, R"("Expressions": [{"Title": "S("}])", // after the reader's box
         Head + "expression ID 0, S; it has return type  in the JSON (C++ type int), but float in the C++ "
                "function definition."},
        {A<void(int)>, two("Actions", "", R"({"Title": "Tun", "Parameters": [["Text", "B"]]})"),
         "Deutsch: error in linking action ID 0, Tun:\r\n" + Head +
             "action ID 0; it has no Actions JSON item.\r\n" + Mismatch("B", "Text", "const TCHAR *", "int")},
        {A<bool()>, two("Actions", floatA, ""),
         Head + "action ID 0, Act; it has return type bool instead of void in the C++ function definition."},
        {E<float()>, two("Expressions", R"({"Title": "V(", "Returns": "Integer"})", ""),
         Head + "expression ID 0, V; it has return type Integer in the JSON (C++ type int), but float in the "
                "C++ function definition."},
        {C<bool(int)>, two("Conditions", floatA, floatA),
         Head + "condition ID 0, Act\r\n" + Mismatch("A", "Float", "float", "int")},
        {C<bool(int)>, two("Conditions", "", R"({"Title": "C", "Parameters": [["Integer", "A"]]})"),
         "Deutsch: error in linking condition ID 0, C\r\n" + Head +
             "condition ID 0; it has no Conditions JSON item."},
        {A<void(int)>, act + R"(["Integer"]}])", // not an array
         Head + "action ID 0, Act:\r\nHas JSON parameter , JSON type ; C++ type is int, but Polvane SDK does "
                "not test that type yet. Please report it to Vaskor."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Find(c.find, c.members).report, c.report) << c.members;
}

// A link shows what it finds in boxes, the same at every link, and stores the member whatever it found.
TEST(Link, ShowsItsFindingsAndStoresTheMember)
{
    InProcess::RunningAs builtApplication{Polvane::MFXRunMode::BuiltEXE};
    InProcess::BoxRecorder boxes;
    Tovik::SDK* const saved = std::exchange(::SDK, nullptr);
    {
        Tovik::SDK sdk(nullptr, InProcess::ParseDefinition(
                                    R"({"UK English": {"About": {"Name": "M"}, "Actions": [{"Title": ")" +
                                    std::string(5000, 'T') + R"(", "Parameters": [["Bogus", "A"]]}]}})"));
        boxes.boxes.clear(); // the record's own box for the type name
        for (int link = 0; link < 2; ++link) {
            LinkAction<&Extension::FreeMemoryBlock>(0);
            LinkCondition<&Extension::AreEqual>(0); // beyond the table: shown, nothing stored
            ASSERT_EQ(boxes.boxes.size(), 3u * (link + 1)) << link;
            const auto* box = &boxes.boxes[3 * link];
            const std::wstring report =
                box[1].text.substr(0, 52) + box[1].text.substr(4090); // cut to what a box holds
            EXPECT_EQ(
                box[0].title + box[0].text + L"|" + box[1].title + L"|" +
                    std::to_wstring(box[1].text.size()) + report + L"|" + box[2].title + box[2].text,
                L"Polvane Params error - MorvalexError reading parameter type \"Bogus\", couldn't match "
                L"it to a Params value.|Action linking error - Morvalex|4095UK English: error in linking "
                L"action ID 0, TTTTTTTTTTTT...|Condition linking error - MorvalexUK English: error in "
                L"linking condition ID 0; it has no Conditions JSON item.\r\n")
                << link;
        }
        EXPECT_EQ(sdk.ActionFunctions, std::vector<Tovik::MemberCall>{
                                           Tovik::MemberFunctionToPointer<&Extension::FreeMemoryBlock>()});
        EXPECT_TRUE(sdk.ConditionFunctions.empty() && sdk.ConditionFindings.empty());
    }
    ::SDK = saved;
}

} // namespace
