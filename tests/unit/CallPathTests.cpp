// The generic routines of the jump tables, in-process, for what the built library's own definition
// cannot show: small definitions, and members that record what reached them.
#include "InProcess.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/CallPath.h"
#include "Lib/Shared/Tovik/Exports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::uint32_t> seen; // what the member received
std::uint32_t memberResult = 0;

std::uint32_t IN_REGISTERS Recorder(Extension*, const std::uint32_t* args, int count)
{
    seen.assign(args, args + count);
    return memberResult;
}
std::uint32_t IN_REGISTERS Throws(Extension*, const std::uint32_t*, int)
{
    throw std::runtime_error("no room");
}
std::uint32_t IN_REGISTERS ThrowsAnything(Extension*, const std::uint32_t*, int) { throw 7; }
std::wstring debugLines;
void WINAPI RecordDebugLine(LPCWSTR text) { debugLines += text; }

std::string Item(const std::string& title, const std::vector<std::string>& types,
                 const std::string& returns = "")
{
    std::string params;
    for (const std::string& type : types)
        params += (params.empty() ? "[\"" : ", [\"") + type + "\", \"p\"]";
    return R"({"Title": ")" + title + R"(", "Returns": ")" + returns + R"(", "Parameters": [)" + params +
           "]}";
}

class CallPath : public testing::Test {
protected:
    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    RUNDATA* rd = host.NewObject();
    EventParam record = {8, 1, {-7, 3}}; // the current parameter's record

    void Build(const std::string& actions, const std::string& conditions, const std::string& expressions)
    {
        delete ::SDK; // a test may build several: the current language goes with its state object
        InProcess::BuildState(R"({"Identifier": "ZOBU", "L": {"About": {"Name": "n"}, "Actions": [)" +
                              actions + R"(], "Conditions": [)" + conditions + R"(], "Expressions": [)" +
                              expressions + "]}}");
        CreateRunObject(rd, nullptr, nullptr);
        boxes.boxes.clear(); // the extension's members disagree with these small definitions
        for (auto* functions :
             {&::SDK->ActionFunctions, &::SDK->ConditionFunctions, &::SDK->ExpressionFunctions})
            for (Tovik::MemberCall& function : *functions)
                function = Recorder;
    }
    std::wstring Call(bool condition, int id, std::int32_t p1 = 0, std::int32_t p2 = 0)
    {
        rd->rHo.eventNumber = static_cast<std::uint32_t>(id);
        rd->rHo.currentParam = &record;
        return std::to_wstring(condition ? Tovik::Condition(rd, p1, p2) : Tovik::Action(rd, p1, p2));
    }
    // An expression's answer (a text as it reads) and its result flags.
    std::wstring Expression(int id)
    {
        rd->rHo.eventNumber = static_cast<std::uint32_t>(id);
        rd->rHo.resultFlags = 0;
        const std::int32_t answer = Tovik::Expression(rd, 0x5EED);
        const auto* text = reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(answer));
        return (rd->rHo.resultFlags != ResultFlagText ? std::to_wstring(answer)
                : text                                ? L'"' + std::wstring(text) + L'"'
                                                      : L"null") +
               L" " + std::to_wstring(rd->rHo.resultFlags);
    }
};

TEST_F(CallPath, NewDirectionMasksAndConditionResults)
{
    Build(Item("dir", {"Integer", "Integer", "NewDirection"}), "", "");
    const auto saved = std::exchange(Host::Seam.OutputDebugStringW, RecordDebugLine);
    const std::pair<int, std::uint32_t> masks[] = {{-1, 0},           {0, 1},  {5, 32},
                                                   {31, 0x80000000u}, {32, 0}, {-2, 0}};
    for (const auto& [value, mask] : masks) {
        host.QueueActionParams({0, 0, value});
        Call(false, 0);
        EXPECT_EQ(seen[2], mask) << value;
    }
    Host::Seam.OutputDebugStringW = saved;
    EXPECT_EQ(debugLines, L"Invalid New Direction value 32 passed by user, going with none.\n"
                          L"Invalid New Direction value -2 passed by user, going with none.\n");
    record.code = 29; // a direction stored in the parameter's own record is taken as it is, not asked for
    host.QueueActionParams({3, 4, 5});
    Call(false, 0);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{3, 4, 0x0003FFF9u}));
    EXPECT_EQ(host.PendingActionParams(), 1u);
    Build("",
          Item("%o : p", {"Integer"}) + ", " + Item("%o : c", {"Comparison"}) + ", " +
              Item("%o : s", {"StringComparison"}) + ", " + Item("%o : o", {"Object"}),
          "");
    // id, member's result, answer: a condition answers the low byte unless it compares
    const std::uint32_t results[][3] = {
        {0, 0x100, 0}, {0, 0x1FF, 0xFF}, {1, 0x100, 0x100}, {2, 0x1FF, 0x1FF}};
    for (const auto& c : results) {
        memberResult = c[1];
        EXPECT_EQ(Call(true, static_cast<int>(c[0]), 0x7000), std::to_wstring(c[2])) << c[0];
    }
    // An object: its record's OiList index.
    EXPECT_EQ((Call(true, 3, 0x7000), seen), (std::vector<std::uint32_t>{0xFFFFFFF9u}));
}

// Slot i of a reader's table, called as any holder of an ACEParamReader calls it; every slot's answer as
// its 32 bits.
template <typename R, typename... A> std::uint32_t CallSlot(ACEParamReader& reader, int i, A... args)
{
    using Slot = R(HOST_THISCALL*)(void*, A...);
    const R answer = (*reinterpret_cast<Slot* const*>(&reader))[i](&reader, args...);
    std::uint32_t bits = 0;
    std::memcpy(&bits, &answer, sizeof answer);
    return bits;
}

// The readers' slots in their order (float, string, integer, object) and what each asks of the host: an
// action's reader callback 17, or the direct arguments when it has at most two parameters; an expression's
// callback 4 for the first parameter and 5 for the others, or the first value it was given.
TEST_F(CallPath, TheReadersSlotsInTheirOrder)
{
    Build(Item("three", {"Integer", "Integer", "Integer"}) + ", " + Item("one", {"Integer"}), "", "");
    using Asked = std::vector<std::vector<std::int32_t>>;
    const auto asked = [&] {
        Asked calls;
        for (const auto& c : host.callbackLog)
            calls.push_back({c.index, c.w, c.l});
        host.ResetCounts();
        return calls;
    };
    const auto slots = [](ACEParamReader& reader) {
        return std::vector<std::uint32_t>{
            CallSlot<float>(reader, 0, 0), CallSlot<std::uint32_t>(reader, 1, 1),
            CallSlot<std::int32_t>(reader, 2, 1, std::uint16_t(22)), CallSlot<std::int32_t>(reader, 3, 0)};
    };
    rd->rHo.eventNumber = 0; // three parameters: each asked of the host
    host.QueueActionParams({1.5f, 0x1234, 7, 0x5678});
    ConditionOrActionManager_Windows action(false, rd, 11, 12);
    EXPECT_EQ(slots(action), (std::vector<std::uint32_t>{TestHost::Arg(1.5f).bits, 0x1234, 7, 0x5678}));
    EXPECT_EQ(asked(), (Asked{{17, 2, 0}, {17, -1, 0}, {17, 0, 0}, {17, -1, 0}}));
    rd->rHo.eventNumber = 1; // one: the direct arguments, param2 for every parameter after the first
    ConditionOrActionManager_Windows direct(false, rd, 11, 12);
    EXPECT_EQ((std::vector<std::uint32_t>{CallSlot<std::uint32_t>(direct, 1, 1),
                                          CallSlot<std::int32_t>(direct, 2, 1, std::uint16_t(22)),
                                          CallSlot<std::int32_t>(direct, 3, 0)}),
              (std::vector<std::uint32_t>{12, 12, 11}));
    EXPECT_EQ(asked(), Asked{});

    host.QueueExpressionParams({2.5f, 0x4321, 9});
    ExpressionManager_Windows expression(rd);
    EXPECT_EQ(slots(expression), (std::vector<std::uint32_t>{TestHost::Arg(2.5f).bits, 0x4321, 9, 0}));
    EXPECT_EQ(asked(), (Asked{{4, 2, 0}, {5, 1, 1}, {5, 0, 1}}));
    expression.SetFirstValue(0x99);
    EXPECT_EQ((std::vector<std::uint32_t>{
                  CallSlot<float>(expression, 0, 0), CallSlot<std::uint32_t>(expression, 1, 0),
                  CallSlot<std::int32_t>(expression, 2, 0, std::uint16_t(0)), expression.SetValue(5)}),
              (std::vector<std::uint32_t>{0x99, 0x99, 0x99, 5}));
    EXPECT_EQ(asked(), Asked{});
    // Return types mark the result, float 2 and text 1; a mark is only ever added.
    std::vector<int> flags;
    rd->rHo.resultFlags = 0;
    for (std::uint16_t type : {0, 2, 0, 1, 3}) {
        expression.SetReturnType(type);
        flags.push_back(rd->rHo.resultFlags);
    }
    EXPECT_EQ(flags, (std::vector<int>{0, 0x4000, 0x4000, 0xC000, 0xC000}));
}

// A call that cannot be made answers 0, or an empty host text when the expression returns text, marked as
// its record says: after a box for a member that throws, an id without a member, or a code no reader knows.
TEST_F(CallPath, CallsThatCannotBeMadeAnswerNeutrally)
{
    Build(Item("a", {}) + ", " + Item("b", {}), Item("%o : a", {}) + ", " + Item("%o : b", {}),
          Item("Odd(", {"Object"}, "Text") + ", " + Item("t(", {}, "Text") + ", " + Item("f(", {}, "Float") +
              ", " + Item("u(", {}, "Text"));
    ::SDK->ActionFunctions[0] = ::SDK->ConditionFunctions[0] = ::SDK->ExpressionFunctions[1] =
        ::SDK->ExpressionFunctions[2] = Throws;
    ::SDK->ActionFunctions[1] = ::SDK->ConditionFunctions[1] = ::SDK->ExpressionFunctions[3] = nullptr;
    seen = {1};
    using Answers = std::vector<std::wstring>; // a braced list is evaluated in order
    EXPECT_EQ(
        (Answers{Call(false, 0), Call(false, 1), Call(false, 2), Call(true, 0), Call(true, 1), Call(true, 2),
                 Expression(0), Expression(1), Expression(2), Expression(3), Expression(4)}),
        (Answers{L"0", L"0", L"0", L"0", L"0", L"0", L"\"\" 32768", L"\"\" 32768", L"0 16384", L"\"\" 32768",
                 L"0 0"}));
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{1})); // no member was called
    const auto fallback = [](const std::wstring& kind, const std::wstring& Kind, int id) {
        return L"Extension::Unlinked" + Kind + L"() called - Morvalex: Running a fallback for " + kind +
               L" ID " + std::to_wstring(id) + L". Make sure you ran Link" + Kind + L"().|";
    };
    const std::wstring stopped = L" stopped on an unexpected error: no room|",
                       sdk = L"Polvane SDK error - Morvalex: ";
    const std::wstring missing = L"Condition linking error - Morvalex: Missing condition ID ";
    EXPECT_EQ(
        TestHost::Joined(boxes.boxes),
        sdk + L"Action" + stopped + fallback(L"action", L"Action", 1) + fallback(L"action", L"Action", 2) +
            sdk + L"Condition" + stopped + missing +
            L"1 in extension Morvalex. Condition existed in vector, but was NULL. Might not be linked.|" +
            fallback(L"condition", L"Condition", 1) + missing +
            L"2 in extension Morvalex. This ID was not linked in Extension ctor with LinkCondition().|" +
            fallback(L"condition", L"Condition", 2) +
            L"Tovik::Expression() error - Morvalex: Error calling expression \"Odd(\" (ID 0); parameter "
            L"index 0 has unrecognised ExpParams 0.|" +
            sdk + L"Expression" + stopped + sdk + L"Expression" + stopped +
            fallback(L"expression", L"Expression", 3) + fallback(L"expression", L"Expression", 4));
    // What is thrown need not be a standard exception: the box cannot name it.
    boxes.boxes.clear();
    ::SDK->ActionFunctions[0] = ThrowsAnything;
    EXPECT_EQ(Call(false, 0), L"0");
    EXPECT_EQ(TestHost::Joined(boxes.boxes),
              sdk + L"Action stopped on an unexpected error: unknown exception|");
}

} // namespace
