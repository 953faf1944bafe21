// The generic routines of the jump tables, driven in-process with small definitions and members that
// record what reached them.
#include "InProcess.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/CallPath.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::uint32_t> seen;
int memberCalls = 0;
std::uint32_t memberResult = 0;
RUNDATA* calledObject = nullptr;
EventParam* currentParamAtCall = nullptr;

std::uint32_t Recorder(Extension*, const std::uint32_t* args, int count)
{
    seen.assign(Tovik::MaxParams, 0);
    std::copy(args, args + count, seen.begin());
    ++memberCalls;
    currentParamAtCall = calledObject->rHo.currentParam;
    return memberResult;
}

std::uint32_t Bits(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

std::vector<std::string> debugLines;
void WINAPI RecordDebugLine(LPCWSTR text)
{
    std::wstring line(text);
    debugLines.emplace_back(line.begin(), line.end());
}

std::string Item(const std::string& title, const std::vector<std::string>& types, const std::string& extra = "")
{
    std::string params;
    for (const std::string& type : types)
        params += (params.empty() ? "" : ", ") + std::string("[\"") + type + "\", \"p\"]";
    return R"({"Title": ")" + title + R"(", "Parameters": [)" + params + "]" + extra + "}";
}

class CallPath : public testing::Test {
protected:
    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    RUNDATA* rd = nullptr;

    void Build(const std::string& actions, const std::string& conditions, const std::string& expressions)
    {
        InProcess::BuildState(
            R"({"Identifier": "ZOBU", "L": {"About": {"Name": "n", "Author": "a"}, "Actions": [)" + actions +
            R"(], "Conditions": [)" + conditions + R"(], "Expressions": [)" + expressions + "]}}");
        rd = host.NewObject();
        CreateRunObject(rd, nullptr, nullptr);
        calledObject = rd;
        // The members of the extension disagree with these small definitions: those reports are not
        // what is tested here.
        boxes.boxes.clear();
        for (auto* items : {&::SDK->Actions, &::SDK->Conditions, &::SDK->Expressions})
            for (auto& item : *items)
                item.Function = Recorder;
        host.ResetCounts();
    }

    std::int32_t CallAction(int id, std::int32_t p1 = 0, std::int32_t p2 = 0)
    {
        rd->rHo.eventNumber = static_cast<std::uint32_t>(id);
        return Tovik::Action(rd, p1, p2);
    }
    std::int32_t CallCondition(int id, std::int32_t p1 = 0, std::int32_t p2 = 0)
    {
        rd->rHo.eventNumber = static_cast<std::uint32_t>(id);
        return Tovik::Condition(rd, p1, p2);
    }
    std::int32_t CallExpression(int id)
    {
        rd->rHo.eventNumber = static_cast<std::uint32_t>(id);
        rd->rHo.resultFlags = 0;
        return Tovik::Expression(rd, 0x5EED);
    }
    std::vector<std::int32_t> ActionParamRequests() const
    {
        std::vector<std::int32_t> ws;
        for (const auto& call : host.CallbackLog())
            if (call.index == 17)
                ws.push_back(call.w);
        return ws;
    }
};

} // namespace

TEST_F(CallPath, TwoIntegersComeFromTheDirectArguments)
{
    Build("", Item("%o : two", {"Integer", "Integer"}), "");
    memberResult = 1;
    EXPECT_EQ(CallCondition(0, 7, -9), 1);
    EXPECT_EQ(seen[0], 7u);
    EXPECT_EQ(seen[1], static_cast<std::uint32_t>(-9));
    EXPECT_EQ(host.CallbackCount(17), 0);
}

TEST_F(CallPath, AFloatAmongTheFirstTwoReadsEveryValueFromTheHost)
{
    Build("", Item("%o : mixed", {"Integer", "Float"}), "");
    host.QueueActionParams({5, 2.5f});
    CallCondition(0, 111, 222);
    EXPECT_EQ(seen[0], 5u);
    EXPECT_EQ(seen[1], Bits(2.5f));
    EXPECT_EQ(ActionParamRequests(), (std::vector<std::int32_t>{0, 2}));
}

TEST_F(CallPath, ThreeParametersReadEveryValueFromTheHost)
{
    Build(Item("three", {"Integer", "Text", "Float"}), "", "");
    host.QueueActionParams({4, L"abc", -1.5f});
    EXPECT_EQ(CallAction(0, 111, 222), 0);
    EXPECT_EQ(seen[0], 4u);
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(seen[1])), L"abc");
    EXPECT_EQ(seen[2], Bits(-1.5f));
    EXPECT_EQ(ActionParamRequests(), (std::vector<std::int32_t>{0, -1, 2}));
    // The member may walk its parameters again from the first one.
    EXPECT_EQ(currentParamAtCall, rd->rHo.currentParam);
}

TEST_F(CallPath, ConditionResultIsItsLowByteUnlessItCompares)
{
    Build("",
          Item("%o : plain", {"Integer"}) + ", " + Item("%o : compares", {"Comparison"}) + ", " +
              Item("%o : compares text", {"StringComparison"}),
          "");
    memberResult = 0x100;
    EXPECT_EQ(CallCondition(0, 1), 0);
    memberResult = 0x1FF;
    EXPECT_EQ(CallCondition(0, 1), 0xFF);
    memberResult = 0x100;
    EXPECT_EQ(CallCondition(1, 1), 0x100);
    EXPECT_EQ(CallCondition(2, reinterpret_cast<std::intptr_t>(L"t")), 0x100);
}

TEST_F(CallPath, NullTextParameterShowsABoxAndSkipsTheMember)
{
    Build("", Item("%o : texts", {"Integer", "Integer", "StringComparison"}), "");
    host.QueueActionParams({1, 2, static_cast<const wchar_t*>(nullptr)});
    memberResult = 1;
    EXPECT_EQ(CallCondition(0), 0);
    EXPECT_EQ(memberCalls, 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"ActionOrCondition() error - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"Error calling condition \"%o : texts\" (ID 0); text parameter index 2 was given a "
                                   L"null string pointer.\nWas the parameter type different when the condition was "
                                   L"created in the MFA?");
}

TEST_F(CallPath, NewDirectionFromTheHostBecomesADirectionMask)
{
    Build(Item("dir", {"Integer", "Integer", "NewDirection"}), "", "");
    debugLines.clear();
    auto saved = Host::Seam.OutputDebugStringW;
    Host::Seam.OutputDebugStringW = RecordDebugLine;
    const std::pair<int, std::uint32_t> cases[] = {{-1, 0}, {0, 1}, {5, 32}, {31, 0x80000000u}, {32, 0}, {-2, 0}};
    for (const auto& [value, mask] : cases) {
        host.QueueActionParams({0, 0, value});
        CallAction(0);
        EXPECT_EQ(seen[2], mask) << value;
    }
    Host::Seam.OutputDebugStringW = saved;
    EXPECT_EQ(debugLines, (std::vector<std::string>{"Invalid New Direction value 32 passed by user, going with none.\n",
                                                    "Invalid New Direction value -2 passed by user, going with none.\n"}));
}

TEST_F(CallPath, NewDirectionStoredInTheParameterRecordIsReadWithoutTheHost)
{
    Build(Item("dir", {"Integer", "Integer", "NewDirection"}), "", "");
    host.SetParamChain(rd, {{29, {0x0020, 0x0001}}});
    host.QueueActionParams({3, 4});
    CallAction(0);
    EXPECT_EQ(seen[0], 3u);
    EXPECT_EQ(seen[1], 4u);
    EXPECT_EQ(seen[2], 0x00010020u);
    EXPECT_EQ(ActionParamRequests(), (std::vector<std::int32_t>{0, 0}));
}

TEST_F(CallPath, NumAutoPropsLimitsWhatIsReadAndPassed)
{
    Build(Item("auto", {"Integer", "Integer", "Integer"}, R"(, "NumAutoProps": 1)"), "", "");
    host.QueueActionParams({8, 9, 10});
    CallAction(0);
    EXPECT_EQ(seen[0], 8u);
    EXPECT_EQ(seen[1], 0u);
    EXPECT_EQ(seen[2], 0u);
    EXPECT_EQ(host.CallbackCount(17), 1);
}

TEST_F(CallPath, ObjectParameters)
{
    Build(Item("object", {"Object"}) + ", " + Item("objects", {"Integer", "Integer", "Object"}),
          Item("%o : object", {"Object"}) + ", " + Item("%o : objects", {"Integer", "Integer", "Object"}), "");
    // An action gets the host's value itself.
    CallAction(0, 0x1234);
    EXPECT_EQ(seen[0], 0x1234u);
    // A condition gets the OiList index held by its parameter record.
    host.SetParamChain(rd, {{1, {-7, 3}}});
    CallCondition(0, 0x1234);
    EXPECT_EQ(seen[0], static_cast<std::uint32_t>(-7));
    // Read through the host, the answer points at the parameter record.
    EventParam record = {8, 1, {12, 5}};
    host.QueueActionParams({0, 0, TestHost::Arg::Raw(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&record)))});
    CallCondition(1);
    EXPECT_EQ(seen[2], 12u);
    host.QueueActionParams({0, 0, TestHost::Arg::Raw(0xABCD)});
    CallAction(1);
    EXPECT_EQ(seen[2], 0xABCDu);
}

TEST_F(CallPath, ExpressionsReadThroughTheFirstAndNextCallbacksAndMarkTheirResult)
{
    Build("", "",
          Item("i(", {"Integer", "Float", "Text"}, R"(, "Returns": "Integer")") + ", " +
              Item("f(", {}, R"(, "Returns": "Float")") + ", " + Item("t(", {}, R"(, "Returns": "Text")"));
    host.QueueExpressionParams({6, 0.5f, L"x"});
    memberResult = 42;
    EXPECT_EQ(CallExpression(0), 42);
    EXPECT_EQ(rd->rHo.resultFlags, 0);
    EXPECT_EQ(seen[0], 6u);
    EXPECT_EQ(seen[1], Bits(0.5f));
    std::vector<std::vector<std::int32_t>> calls;
    for (const auto& call : host.CallbackLog())
        calls.push_back({call.index, call.w, call.l});
    EXPECT_EQ(calls, (std::vector<std::vector<std::int32_t>>{{4, 0, 0}, {5, 2, 1}, {5, 1, 2}}));
    memberResult = Bits(1.25f);
    EXPECT_EQ(static_cast<std::uint32_t>(CallExpression(1)), Bits(1.25f));
    EXPECT_EQ(rd->rHo.resultFlags, ResultFlagFloat);
    memberResult = 0x1000;
    EXPECT_EQ(CallExpression(2), 0x1000);
    EXPECT_EQ(rd->rHo.resultFlags, ResultFlagText);
}

TEST_F(CallPath, ExpressionWithANullTextGivesAnEmptyHostText)
{
    Build("", "", Item("Join(", {"Text"}, R"(, "Returns": "Text")") + ", " + Item("Odd(", {"Object"}, R"(, "Returns": "Integer")"));
    host.QueueExpressionParams({static_cast<const wchar_t*>(nullptr)});
    auto result = reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(CallExpression(0)));
    ASSERT_NE(result, nullptr);
    EXPECT_STREQ(result, L"");
    EXPECT_EQ(rd->rHo.resultFlags, ResultFlagText);
    EXPECT_EQ(memberCalls, 0);
    EXPECT_EQ(host.StringSpaceRequests(), (std::vector<std::int32_t>{2}));
    // A parameter type no expression reader knows (the record holds code 0 after the definition's box).
    EXPECT_EQ(CallExpression(1), 0);
    EXPECT_EQ(memberCalls, 0);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].title, L"Tovik::Expression() error - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"Error calling expression \"Join(\" (ID 0); parameter index 0 was given a null "
                                   L"string pointer.\nWas the parameter type different when the expression was "
                                   L"created in the MFA?");
    EXPECT_EQ(boxes.boxes[1].text, L"Error calling expression \"Odd(\" (ID 1); parameter index 0 has unrecognised "
                                   L"ExpParams 0.");
}

TEST_F(CallPath, UnlinkedIdsTakeTheirFallbacks)
{
    Build(Item("a", {}), Item("%o : c", {}), Item("t(", {}, R"(, "Returns": "Text")"));
    ::SDK->Actions[0].Function = nullptr;
    ::SDK->Conditions[0].Function = nullptr;
    ::SDK->Expressions[0].Function = nullptr;
    EXPECT_EQ(CallAction(0), 0);
    EXPECT_EQ(CallAction(1), 0);
    EXPECT_EQ(CallCondition(0), 0);
    EXPECT_EQ(CallCondition(1), 0);
    auto text = reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(CallExpression(0)));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, L"");
    EXPECT_EQ(rd->rHo.resultFlags, ResultFlagText);
    EXPECT_EQ(CallExpression(1), 0);
    EXPECT_EQ(rd->rHo.resultFlags, 0);
    EXPECT_EQ(memberCalls, 0);
    std::vector<std::wstring> texts;
    for (const auto& box : boxes.boxes)
        texts.push_back(box.title + L": " + box.text);
    EXPECT_EQ(texts,
              (std::vector<std::wstring>{
                  L"Extension::UnlinkedAction() called - Morvalex: Running a fallback for action ID 0. Make sure you ran LinkAction().",
                  L"Extension::UnlinkedAction() called - Morvalex: Running a fallback for action ID 1. Make sure you ran LinkAction().",
                  L"Condition linking error - Morvalex: Missing condition ID 0 in extension Morvalex. Condition existed in vector, but was NULL. Might not be linked.",
                  L"Extension::UnlinkedCondition() called - Morvalex: Running a fallback for condition ID 0. Make sure you ran LinkCondition().",
                  L"Condition linking error - Morvalex: Missing condition ID 1 in extension Morvalex. This ID was not linked in Extension ctor with LinkCondition().",
                  L"Extension::UnlinkedCondition() called - Morvalex: Running a fallback for condition ID 1. Make sure you ran LinkCondition().",
                  L"Extension::UnlinkedExpression() called - Morvalex: Running a fallback for expression ID 0. Make sure you ran LinkExpression().",
                  L"Extension::UnlinkedExpression() called - Morvalex: Running a fallback for expression ID 1. Make sure you ran LinkExpression().",
              }));
}

namespace {

std::uint32_t Throws(Extension*, const std::uint32_t*, int) { throw std::runtime_error("no room"); }

} // namespace

// A member that throws: one box naming the routine, and the neutral answer of the item's result type.
TEST_F(CallPath, AThrowingMemberAnswersNeutrally)
{
    Build(Item("a", {}), Item("%o : c", {}),
          Item("t(", {}, R"(, "Returns": "Text")") + ", " + Item("f(", {}, R"(, "Returns": "Float")"));
    for (auto* items : {&::SDK->Actions, &::SDK->Conditions, &::SDK->Expressions})
        (*items)[0].Function = Throws;
    ::SDK->Expressions[1].Function = Throws;
    EXPECT_EQ(CallAction(0), 0);
    EXPECT_EQ(CallCondition(0), 0);
    auto text = reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(CallExpression(0)));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, L"");
    EXPECT_EQ(rd->rHo.resultFlags, ResultFlagText);
    EXPECT_EQ(CallExpression(1), 0);
    EXPECT_EQ(rd->rHo.resultFlags, ResultFlagFloat);
    std::vector<std::wstring> texts;
    for (const auto& box : boxes.boxes)
        texts.push_back(box.title + L": " + box.text);
    const std::wstring title = L"Polvane SDK error - Morvalex: ";
    EXPECT_EQ(texts, (std::vector<std::wstring>{title + L"Action stopped on an unexpected error: no room",
                                                title + L"Condition stopped on an unexpected error: no room",
                                                title + L"Expression stopped on an unexpected error: no room",
                                                title + L"Expression stopped on an unexpected error: no room"}));
}
