// The records, jump tables and template check of the state object, built from small definitions.
#include "InProcess.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/CallPath.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const About = R"("About": {"Name": "Records", "Author": "A", "Copyright": "C", "Comment": "c", "Help": "h"})";

std::string Definition(const std::string& actions, const std::string& conditions = "",
                       const std::string& expressions = "")
{
    return std::string(R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {)") + About +
           R"(, "Actions": [)" + actions + R"(], "Conditions": [)" + conditions + R"(], "Expressions": [)" +
           expressions + "]}}";
}

std::string Parameters(const std::vector<std::string>& types)
{
    std::string list;
    for (const std::string& type : types)
        list += (list.empty() ? "" : ", ") + std::string("[\"") + type + "\", \"p\"]";
    return R"({"Title": "t", "Parameters": [)" + list + "]}";
}

std::vector<std::uint16_t> Words(const ACEInfo* info)
{
    const auto* words = reinterpret_cast<const std::uint16_t*>(info);
    return std::vector<std::uint16_t>(words, words + 4 + 2 * info->NumOfParams);
}

} // namespace

TEST(Records, ActionRecordBytesWithFloatFlags)
{
    InProcess::BoxRecorder boxes;
    Tovik::SDK* sdk = InProcess::BuildState(Definition(
        R"({"Title": "none"}, )" + Parameters({"Integer", "Float", "Text", "float", "TEXT", "Unsigned Integer"})));
    ASSERT_EQ(sdk->Actions.size(), 2u);
    EXPECT_EQ(Words(sdk->Actions[0].Info.get()), (std::vector<std::uint16_t>{0, 0, 0, 0}));
    EXPECT_EQ(Words(sdk->Actions[1].Info.get()),
              (std::vector<std::uint16_t>{0x0A, 1, 0, 6, 22, 22, 45, 22, 45, 22, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Records, SixteenParametersBuildAndSeventeenAreRefused)
{
    InProcess::BoxRecorder boxes;
    std::vector<std::string> sixteen(16, "Integer"), seventeen(17, "Integer");
    Tovik::SDK* sdk = InProcess::BuildState(
        Definition(Parameters(sixteen) + ", " + Parameters(seventeen) + ", " + Parameters({"Text"})));
    ASSERT_EQ(sdk->Actions.size(), 3u);
    EXPECT_EQ(sdk->Actions[0].Info->NumOfParams, 16);
    // The refused item keeps its place, so the next item keeps its own id.
    EXPECT_EQ(sdk->Actions[1].Info->ID, 1);
    EXPECT_EQ(sdk->Actions[1].Info->NumOfParams, 0);
    EXPECT_EQ(sdk->Actions[2].Info->ID, 2);
    EXPECT_EQ(sdk->Actions[2].Info->Parameter[0], 45);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"Error reading action JSON - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"Too many parameters in action ID 1.");
}

TEST(Records, ItemThatIsNotAnObjectKeepsItsPlace)
{
    InProcess::BoxRecorder boxes;
    Tovik::SDK* sdk = InProcess::BuildState(Definition("", R"(3, {"Title": "c", "Parameters": []})",
                                                       R"({"Title": "e(", "Returns": "Integer"}, "x")"));
    ASSERT_EQ(sdk->Conditions.size(), 2u);
    EXPECT_EQ(sdk->Conditions[1].Info->ID, 1);
    ASSERT_EQ(sdk->Expressions.size(), 2u);
    EXPECT_EQ(sdk->Expressions[1].Info->ID, 1);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].title, L"Error reading condition JSON - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"Invalid JSON reference for condition ID 0, expected a JSON object.");
    EXPECT_EQ(boxes.boxes[1].title, L"Error reading expression JSON - Morvalex");
    EXPECT_EQ(boxes.boxes[1].text, L"Invalid JSON reference for expression ID 1, expected a JSON object.");
}

TEST(Records, ParameterTypeCodes)
{
    struct Case {
        const char* name;
        std::uint16_t code;
        bool isFloat;
    };
    const Case cases[] = {
        {"Text", 45, false},       {"string", 45, false},     {"Filename", 40, false},    {"FILE", 40, false},
        {"FLOAT", 22, true},       {"integer", 22, false},    {"Unsigned Integer", 22, false},
        {"Object", 1, false},      {"Time", 2, false},        {"Position", 8, false},     {"Create", 9, false},
        {"SysCreate", 20, false},  {"Animation", 10, false},  {"Nop", 11, false},         {"Player", 12, false},
        {"Every", 13, false},      {"Key", 14, false},        {"Speed", 15, false},       {"JoyDirection", 17, false},
        {"Shoot", 18, false},      {"Zone", 19, false},       {"Comparison", 23, false},
        {"StringComparison", 46, false}, {"Colour", 24, false}, {"Color", 24, false},    {"Frame", 26, false},
        {"SampleLoop", 27, false}, {"MusicLoop", 28, false},  {"NewDirection", 29, false}, {"TextNumber", 30, false},
        {"Click", 31, false},      {"Program", 33, false},    {"Custom", 1000, false},    {"custom5", 1005, false},
        {"Custom12", 1012, false}, {"Custom-3", 997, false},  {"CustomX", 1000, false},   {"Custom 7", 1007, false},
    };
    InProcess::BoxRecorder boxes;
    for (const Case& c : cases) {
        bool isFloat = false;
        EXPECT_EQ(Tovik::ReadParameterType(c.name, &isFloat), c.code) << c.name;
        EXPECT_EQ(isFloat, c.isFloat) << c.name;
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Records, UnknownTypeNamesAreReportedAndGiveZero)
{
    InProcess::BoxRecorder boxes;
    bool isFloat = true;
    EXPECT_EQ(Tovik::ReadParameterType("Texts", &isFloat), 0);
    EXPECT_TRUE(isFloat); // never cleared by the reader
    EXPECT_EQ(Tovik::ReadExpressionParameterType("Object", &isFloat), 0);
    EXPECT_EQ(Tovik::ReadExpressionReturnType(""), 0);
    ASSERT_EQ(boxes.boxes.size(), 3u);
    EXPECT_EQ(boxes.boxes[0].title, L"Polvane Params error - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"Error reading parameter type \"Texts\", couldn't match it to a Params value.");
    EXPECT_EQ(boxes.boxes[1].title, L"Polvane ExpParams error - Morvalex");
    EXPECT_EQ(boxes.boxes[1].text,
              L"Error reading expression parameter type \"Object\", couldn't match it to a ExpParams value.");
    EXPECT_EQ(boxes.boxes[2].title, L"Polvane ExpReturnType error - Morvalex");
    EXPECT_EQ(boxes.boxes[2].text,
              L"Error reading expression return type \"\", couldn't match it to a ExpReturnType value.");
    for (const auto& box : boxes.boxes)
        EXPECT_EQ(box.style, 0x10u);
}

TEST(Records, ConditionFlagsAndExpressionReturnTypes)
{
    InProcess::BoxRecorder boxes;
    Tovik::SDK* sdk = InProcess::BuildState(Definition(
        "",
        R"({"Title": "a", "Triggered": true}, {"Title": "b", "Triggered": false}, {"Title": "c", "Triggered": 1},
           {"Title": "d", "Triggered": "true"}, {"Title": "e"})",
        R"({"Title": "a(", "Returns": "Integer"}, {"Title": "b(", "Returns": "float"}, {"Title": "c(", "Returns": "Text"},
           {"Title": "d(", "Returns": "String"}, {"Title": "e(", "Returns": "Short"},
           {"Title": "f(", "Returns": "Unsigned Integer"},
           {"Title": "g(", "Returns": "Float", "Parameters": [["Float", "x"], ["Text", "t"], ["Integer", "i"]]})"));
    const std::uint16_t flags[] = {0, 0x0220, 0x0220, 0x0220, 0x0220};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(sdk->Conditions[i].Info->FlagsOrReturnType, flags[i]) << i;
    const std::uint16_t returns[] = {0, 2, 1, 1, 0, 0, 2};
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(sdk->Expressions[i].Info->FlagsOrReturnType, returns[i]) << i;
    EXPECT_EQ(Words(sdk->Expressions[6].Info.get()), (std::vector<std::uint16_t>{1, 6, 2, 3, 1, 3, 1, 0, 0, 0}));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Records, JumpTablesEndWithNull)
{
    InProcess::BoxRecorder boxes;
    Tovik::SDK* sdk = InProcess::BuildState(Definition(R"({"Title": "a"}, {"Title": "b"})", R"({"Title": "c"})",
                                                       R"({"Title": "d(", "Returns": "Integer"})"));
    EXPECT_EQ(sdk->ActionJumpTable[0], &Tovik::Action);
    EXPECT_EQ(sdk->ActionJumpTable[1], &Tovik::Action);
    EXPECT_EQ(sdk->ActionJumpTable[2], nullptr);
    EXPECT_EQ(sdk->ConditionJumpTable[0], &Tovik::Condition);
    EXPECT_EQ(sdk->ConditionJumpTable[1], nullptr);
    EXPECT_EQ(sdk->ExpressionJumpTable[0], &Tovik::Expression);
    EXPECT_EQ(sdk->ExpressionJumpTable[1], nullptr);
    ASSERT_EQ(sdk->Actions.size(), 2u);
    EXPECT_EQ(sdk->Actions[0].Function, nullptr);
    EXPECT_EQ(sdk->Actions[1].Function, nullptr);
    EXPECT_EQ(sdk->Conditions.size(), 1u);
    EXPECT_EQ(sdk->Expressions.size(), 1u);
}

TEST(Records, ArgumentCountsFollowNumAutoPropsWithinTheRecord)
{
    InProcess::BoxRecorder boxes;
    const std::string three = R"("Parameters": [["Integer", "a"], ["Integer", "b"], ["Integer", "c"]])";
    Tovik::SDK* sdk = InProcess::BuildState(Definition(
        R"({"Title": "a", "NumAutoProps": 1, )" + three + R"(}, {"Title": "b", "NumAutoProps": 5, )" + three +
        R"(}, {"Title": "c", "NumAutoProps": -1, )" + three + R"(}, {"Title": "d", "NumAutoProps": "2", )" + three +
        R"(}, {"Title": "e", "NumAutoProps": 2.0, )" + three + "}"));
    std::vector<int> counts;
    for (const auto& item : sdk->Actions)
        counts.push_back(item.Plan.count);
    EXPECT_EQ(counts, (std::vector<int>{1, 3, 0, 3, 3}));
}

TEST(Records, NoLanguageObjectStopsTheBuild)
{
    InProcess::BoxRecorder boxes;
    Tovik::SDK* sdk = InProcess::BuildState(R"({"Identifier": "ZOBU", "Dependencies": ""})");
    EXPECT_EQ(sdk->ActionJumpTable, nullptr);
    EXPECT_TRUE(sdk->Actions.empty());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"Internal JSON error - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"The JSON parser could not find a JSON object to use for current language.");
}

struct TemplateCase {
    const char* about;
    bool warns;
};

class TemplateCheck : public testing::TestWithParam<TemplateCase> {};

// One state object per process: each case runs in its own test.
TEST_P(TemplateCheck, PlaceholdersRaiseOneWarning)
{
    InProcess::BoxRecorder boxes;
    InProcess::BuildState(std::string(R"({"L": {"About": )") + GetParam().about + "}}");
    if (!GetParam().warns) {
        EXPECT_TRUE(boxes.boxes.empty());
        return;
    }
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"Polvane SDK warning - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text,
              L"Template properties are unedited in Morvalex's JSON file. Please amend them.\n\nYou need to "
              L"update the About section of your JSON file. Make sure to do it for all languages in the JSON.");
    EXPECT_EQ(boxes.boxes[0].style, 0x30u);
}

INSTANTIATE_TEST_SUITE_P(
    Records, TemplateCheck,
    testing::Values(TemplateCase{R"({"Name": "Mine", "Author": "yOuR nAmE"})", true},
                    TemplateCase{R"({"Name": "POLVANE TEMPLATE"})", true},
                    TemplateCase{R"({"Name": "Mine", "Comment": "A sentence or two to describe your extension"})", true},
                    TemplateCase{R"({"Name": "Mine", "Help": "help/example.chm"})", true},
                    TemplateCase{R"({"Name": "Mine", "Copyright": "(C) 2026 BY YOUR NAME Ltd"})", true},
                    TemplateCase{R"({"Name": "Mine", "Author": "Your Name Here", "Copyright": "by you"})", false}),
    [](const testing::TestParamInfo<TemplateCase>& info) { return "Case" + std::to_string(info.index); });

namespace {

HMODULE WINAPI FailingSurfaceLibrary() { throw std::runtime_error("surface library failed"); }

} // namespace

// The exception leaves the constructor, and no half-built state object stays reachable.
TEST(Records, AStateObjectThatFailsToBuildIsNotLeftReachable)
{
    InProcess::BoxRecorder boxes;
    Host::Seam.FindSurfaceLibrary = FailingSurfaceLibrary;
    EXPECT_THROW(InProcess::BuildState(Definition(R"({"Title": "a"})")), std::runtime_error);
    EXPECT_EQ(::SDK, nullptr);
}
