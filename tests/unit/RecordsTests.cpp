// The records and jump tables of the state object, built from small definitions.
#include "InProcess.h"

#include "Lib/Shared/Tovik/CallPath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Item(int n, const std::string& type, const std::string& extra = "")
{
    std::string list;
    for (int i = 0; i < n; ++i)
        list += (i == 0 ? "[\"" : ", [\"") + type + "\", \"p\"]";
    return R"({"Title": "t", "Parameters": [)" + list + "]" + extra + "}";
}
// The record's words as the framework keeps them: float flags, then what the host reads from ID on.
std::vector<std::uint16_t> Words(const ACEInfo* info)
{
    const auto* words = reinterpret_cast<const std::uint16_t*>(info);
    return std::vector<std::uint16_t>(words, words + 4 + 2 * info->NumOfParams);
}

TEST(Records, RecordsOfEachKind)
{
    InProcess::BoxRecorder boxes;
    Tovik::SDK* sdk = InProcess::BuildState(
        R"({"Identifier": "ZOBU", "UK English": {"About": {"Name": "Records"}, "Actions": [{"Title": "t", "Parameters": [
           ["Integer", "p"], ["Float", "p"], ["Text", "p"], ["float", "p"], ["TEXT", "p"], ["Unsigned Integer", "p"]]}, )" +
        Item(16, "Time", R"(, "NumAutoProps": 2)") + ", " + Item(17, "Text") + ", " +
        Item(3, "Time", R"(, "NumAutoProps": -1)") +
        R"(, {"Title": "t", "NumAutoProps": "2", "Parameters": [["custom12", "p"], ["Custom-3", "p"], ["CustomX", "p"], ["Texts", "p"]]}],
           "Conditions": [{"Title": "a", "Triggered": true}, {"Title": "b", "Triggered": 1}, {"Title": "c", "Triggered": "true"}, 3],
           "Expressions": [{"Title": "a(", "Returns": "float", "Parameters": [["Float", "x"], ["Text", "t"], ["Integer", "i"]]},
           {"Title": "b(", "Returns": "String", "Parameters": [["Object", "o"]]}, {"Title": "c(", "Returns": "Short"},
           {"Title": "d(", "Returns": "Unsigned Integer"}, "x", {"Title": "f("}]}})");
    EXPECT_EQ(Words(sdk->ActionInfos[0]),
              (std::vector<std::uint16_t>{0x0A, 0, 0, 6, 22, 22, 45, 22, 45, 22, 0, 0, 0, 0, 0, 0}));
    // A refused item keeps its place with a record of no parameters, so later items keep their ids.
    EXPECT_EQ(Words(sdk->ActionInfos[2]), (std::vector<std::uint16_t>{0, 2, 0, 0}));
    EXPECT_EQ(Words(sdk->ActionInfos[4]),
              (std::vector<std::uint16_t>{0, 4, 0, 4, 1012, 997, 1000, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Words(sdk->ConditionInfos[3]), (std::vector<std::uint16_t>{0, 3, 0, 0}));
    EXPECT_EQ(Words(sdk->ExpressionInfos[0]), (std::vector<std::uint16_t>{1, 0, 2, 3, 1, 3, 1, 0, 0, 0}));
    std::vector<int> counts, flags;
    for (const Tovik::CallPlan& plan : sdk->ActionPlans)
        counts.push_back(plan.count);
    for (const auto* infos : {&sdk->ConditionInfos, &sdk->ExpressionInfos})
        for (const ACEInfo* info : *infos)
            flags.push_back(info->FlagsOrReturnType);
    // "NumAutoProps" as an integer, within the record's count (16 builds).
    EXPECT_EQ(counts, (std::vector<int>{6, 2, 0, 0, 4}));
    EXPECT_EQ(flags, (std::vector<int>{0, 0x0220, 0x0220, 0, 2, 1, 0, 0, 0, 0}));
    EXPECT_EQ(
        TestHost::Joined(boxes.boxes),
        L"Error reading action JSON - Morvalex: Too many parameters in action ID 2.|Polvane Params error "
        L"- Morvalex: Error reading parameter type \"Texts\", couldn't match it to a Params value.|Error "
        L"reading condition JSON - Morvalex: Invalid JSON reference for condition ID 3, expected a JSON "
        L"object.|Polvane ExpParams error - Morvalex: Error reading expression parameter type \"Object\", "
        L"couldn't match it to a ExpParams value.|Error reading expression JSON - Morvalex: Invalid JSON "
        L"reference for expression ID 4, expected a JSON object.|Polvane ExpReturnType error - Morvalex: "
        L"Error reading expression return type \"\", couldn't match it to a ExpReturnType value.|");
    // One routine per item, then a null entry; no member is linked yet.
    EXPECT_EQ(std::vector<ConditionRoutine>(sdk->ConditionJumpTable + 3, sdk->ConditionJumpTable + 5),
              (std::vector<ConditionRoutine>{Tovik::Condition, nullptr}));
    // One function table entry per item, each waiting for its member.
    EXPECT_EQ(sdk->ActionFunctions, std::vector<Tovik::MemberCall>(5, nullptr));
    EXPECT_TRUE(sdk->ConditionFunctions.size() == 4 && sdk->ExpressionFunctions.size() == 6);
    // A definition without a language: one box, and nothing is built.
    boxes.boxes.clear();
    delete sdk; // and the language it chose
    sdk = InProcess::BuildState(R"({"Identifier": "ZOBU"})");
    EXPECT_TRUE(sdk->ActionJumpTable == nullptr && sdk->ActionInfos.empty() && sdk->ActionFunctions.empty());
    EXPECT_EQ(TestHost::Joined(boxes.boxes),
              L"Internal JSON error - Morvalex: The JSON parser could not find "
              L"a JSON object to use for current language.|");
}

} // namespace
