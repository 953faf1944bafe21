// The call path of the built library as the host sees it: which parameters it asks for and how, object
// parameters, the marks it leaves on results, its refusals, and its answers to a stale definition, an id
// past its tables or a missing object.
#include "Session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Requests = std::vector<std::vector<std::int32_t>>;
using Seen = std::tuple<std::int32_t, Requests, std::uint16_t>; // answer, callbacks asked, result flags

// The run-time callbacks the host was asked, as {index, w, l}.
Requests Asked(const TestHost::Host& host)
{
    Requests requests;
    for (const auto& c : host.callbackLog)
        requests.push_back({c.index, c.w, c.l});
    return requests;
}

// The definition embedded in the built library, with the first occurrence of each text replaced.
std::string EditedDefinition(const std::vector<std::pair<std::string, std::string>>& replacements)
{
    std::string definition = TestHost::EmbeddedDefinition();
    for (const auto& [from, to] : replacements) {
        const std::size_t at = definition.find(from);
        if (at == std::string::npos)
            ADD_FAILURE() << "not in the definition: " << from;
        else
            definition.replace(at, from.size(), to);
    }
    return definition;
}

int allocations = 0;
void* CountingMalloc(std::size_t n) { return ++allocations, std::malloc(n); }
void* CountingCalloc(std::size_t n, std::size_t size) { return ++allocations, std::calloc(n, size); }
void* CountingRealloc(void* p, std::size_t n) { return ++allocations, std::realloc(p, n); }

// At most two parameters, neither a float, come as the direct arguments; otherwise callback 17 is asked
// for each (w 0 integer, 2 float). Expressions ask callback 4, then 5, by index. No call allocates.
TEST(BuiltCallPath, AsksForParametersAndMarksResultsAsTheHostExpects)
{
    TestHost::Session session;
    RUNDATA* object = session.CreateObject();
    TestHost::Host& host = session.TheHost();
    const std::int32_t block = session.Expression(object, 2, {8}); // PtrAllocateMemory
    const HMODULE module = session.Lib().Module();
    TestHost::ImportPatch malloc(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&CountingMalloc));
    TestHost::ImportPatch calloc(module, "msvcrt.dll", "calloc", reinterpret_cast<void*>(&CountingCalloc));
    TestHost::ImportPatch realloc(module, "msvcrt.dll", "realloc", reinterpret_cast<void*>(&CountingRealloc));
    ASSERT_TRUE(malloc.Installed() && calloc.Installed() && realloc.Installed());
    using Call = std::int32_t (TestHost::Session::*)(RUNDATA*, int, const std::vector<TestHost::Arg>&);
    const Call action = &TestHost::Session::Action, condition = &TestHost::Session::Condition,
               expression = &TestHost::Session::Expression;
    const auto half = std::int32_t(TestHost::BitsOf(0.5f));
    const std::tuple<Call, int, std::vector<TestHost::Arg>, Seen> cases[] = {
        {condition, 0, {7, 7}, {1, {}, 0}},  // AreEqual
        {action, 15, {L"none"}, {0, {}, 0}}, // RemoveIntegerMatrix
        {condition, 4, {block, 5.5f}, {0, {{17, 0, 0}, {17, 2, 0}}, 0}},
        {action, 4, {block, block, 4}, {0, {{17, 0, 0}, {17, 0, 0}, {17, 0, 0}}, 0}},   // CopyBytes
        {expression, 0, {2147483647, 1}, {-2147483647 - 1, {{4, 0, 0}, {5, 0, 1}}, 0}}, // Add
        {expression, 20, {0, 1.0f, 0.5f}, {half, {{4, 0, 0}, {5, 2, 1}, {5, 2, 2}}, ResultFlagFloat}}};
    for (const auto& [call, id, args, seen] : cases) {
        host.ResetCounts();
        const std::int32_t answer = (session.*call)(object, id, args);
        EXPECT_EQ((Seen{answer, Asked(host), object->rHo.resultFlags}), seen) << id;
    }
    EXPECT_EQ(session.ExpressionText(object, 1), L"Hello world!");
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);
    EXPECT_EQ(host.stringRequests, (std::vector<std::int32_t>{13 * 2}));
    EXPECT_EQ(allocations, 0);
    // A null text is refused with a box; an object destroyed is answered neutrally: 0, or an empty text.
    EXPECT_EQ(session.Action(object, 15, {static_cast<const wchar_t*>(nullptr)}), 0);
    EXPECT_EQ(session.ExpressionText(object, 27, {1, static_cast<const wchar_t*>(nullptr)}), L""); // If$
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);
    session.DestroyObject(object);
    EXPECT_EQ(session.Action(object, 3, {8, 1}) + session.Condition(object, 0, {1, 1}) +
                  session.Expression(object, 0, {2, 3}),
              0);
    EXPECT_EQ(session.ExpressionText(object, 1), L"");
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);
    const std::wstring end = L" was given a null string pointer.\nWas the parameter type different when the ";
    EXPECT_EQ(
        TestHost::Joined(session.Boxes().Boxes()),
        L"ActionOrCondition() error - Morvalex: Error calling action \"Remove Integer Matrix %0\" (ID 15); "
        L"text parameter index 0" +
            end +
            L"action was created in the MFA?|Tovik::Expression() error - Morvalex: Error calling expression "
            L"\"If$(\" (ID 27); parameter index 1" +
            end + L"expression was created in the MFA?|");
}

// A stale sibling definition gives items fewer parameters than their members take: what the call does
// not read reaches the member as 0, or as an empty text, never as a null text.
TEST(BuiltCallPath, UnreadParametersArriveAsZeroOrEmptyText)
{
    std::string sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen += R"([ "Text", "X" ], )";
    // Action 23 gets 17 parameters, condition 5 and expression 27 their first only (the first of each found).
    const std::string definition =
        EditedDefinition({{R"([ "Text", "X" ] ])", sixteen + R"([ "Text", "X" ] ])"},
                          {R"(, [ "Text", "Text" ])", ""},
                          {R"(, [ "Text", "Text if true" ])", ""}});
    TestHost::TempTree tree;
    const auto library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Morvalex.mfx");
    tree.Write(L"Extensions\\Morvalex.json", definition);
    TestHost::Session session(library.wstring());
    RUNDATA* object = session.CreateObject();
    // The record builder's box for the 17 parameters, and the linking checks' for the three items.
    EXPECT_EQ(session.Boxes().Boxes().size(), 4u);
    session.Boxes().Clear();
    EXPECT_EQ(session.Action(object, 23, {L"M", L"x"}), 0); // the refused item reads nothing
    const std::int32_t block = session.Expression(object, 2, {8});
    session.Action(object, 3, {block, 0}); // the block holds an empty text
    EXPECT_EQ(session.Condition(object, 5, {block, L"x"}), 1);
    session.TheHost().ResetCounts();
    EXPECT_EQ(session.ExpressionText(object, 27, {1, L"x"}), L"");
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);
    EXPECT_EQ(session.TheHost().callbackLog.size(),
              2u); // callback 4 for the one parameter, 3 for the answer
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

// Object parameters, once the definition names them. An action takes the value the host answers as it is; a
// condition takes the OiList index (signed) of the event's parameter record: the one the host answers, or,
// among the direct arguments, the record as many steps on from the current one as the parameter's place.
TEST(BuiltCallPath, ObjectParametersAreAskedOfTheHostOrFoundInTheEventsRecords)
{
    const std::string definition = EditedDefinition(
        {{R"(float %1 to pointer %0", "Parameters": [ [ "Integer")",
          R"(float %1 to pointer %0", "Parameters": [ [ "Object")"},
         {R"(equals float %1", "Triggered": false, "Parameters": [ [ "Integer")",
          R"(equals float %1", "Triggered": false, "Parameters": [ [ "Object")"},
         {R"(equals integer %1", "Triggered": false, "Parameters": [ [ "Integer", "Pointer" ], [ "Integer")",
          R"(equals integer %1", "Triggered": false, "Parameters": [ [ "Integer", "Pointer" ], [ "Object")"}});
    TestHost::TempTree tree;
    const auto library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Morvalex.mfx");
    tree.Write(L"Extensions\\Morvalex.json", definition);
    TestHost::Session session(library.wstring());
    RUNDATA* object = session.CreateObject();
    TestHost::Host& host = session.TheHost();
    TestHost::DebugOutputRecorder log(session.Lib().Module());
    // An action's object is the host's object, which WriteFloatToPointer's int does not take: linking says
    // so.
    EXPECT_EQ(
        TestHost::Joined(session.Boxes().Boxes()),
        L"Action linking error - Morvalex: UK English: error in linking action ID 5, Write float %1 to "
        L"pointer %0:\r\nHas JSON parameter Pointer, JSON type Object; expected C++ type RunObject *, but "
        L"actual C++ type is int.|");
    session.Boxes().Clear();

    const std::int32_t block = session.Expression(object, 2, {4});
    host.ResetCounts();
    session.Action(object, 5, {TestHost::Arg::Raw(std::uint32_t(block)), 2.5f}); // WriteFloatToPointer
    EXPECT_EQ(Asked(host), (Requests{{17, -1, 0}, {17, 2, 0}}));
    EXPECT_EQ(session.ExpressionFloat(object, 5, {block}), 2.5f); // PtrReadFloat

    // Records as the host lays them out: size, code, then the OiList index and the oi.
    using Records = std::vector<std::int16_t>;
    const std::wstring returning = L"GetOIListIndexFromObjectParam: Returning OiList ";
    const struct {
        int id; // 4: the record answered by the host, then a float; 3: a direct value, then the record
        Records records;
        TestHost::Arg value;
        std::int32_t answer;
        std::wstring log;
    } cases[] = {
        {4, {8, 1, 7, 99}, 7.0f, 1, L""},
        {4, {8, 1, 7, 99}, 8.0f, 0, L""},
        {4, {8, 1, -7, 0}, -7.0f, 1, L""},
        {4,
         {8, 22, 5, 0},
         5.0f,
         1,
         L"GetOIFromExtParam: Returning a OiList index for a non-Object parameter.\n|"},
        {3, {12, 22, 0, 0, 0, 0, 8, 1, 7, 99}, 7, 1, returning + L"7, oi is 99.\n|"},
        {3, {12, 22, 0, 0, 0, 0, 8, 1, 7, 99}, 99, 0, returning + L"7, oi is 99.\n|"},
        {3, {8, 22, 7, 0, 8, 1, -7, -2}, -7, 1, returning + L"-7, oi is -2.\n|"},
        {3,
         {8, 1, 3, 0, 8, 22, 3, 0},
         3,
         1,
         L"GetOIListIndexFromObjectParam: Returning a OiList index for a non-Object parameter.\n|" +
             returning + L"3, oi is 0.\n|"},
    };
    for (const auto& c : cases) {
        const auto label = &c - cases;
        Records records = c.records;
        object->rHo.currentParam = c.id == 3 ? reinterpret_cast<EventParam*>(records.data()) : nullptr;
        host.ResetCounts();
        log.Clear();
        const std::int32_t answer =
            c.id == 3 ? session.Condition(object, 3, {c.value})
                      : session.Condition(object, 4,
                                          {TestHost::Arg::Raw(TestHost::Address(records.data())), c.value});
        std::wstring lines;
        for (const std::wstring& line : log.Lines())
            lines += line + L"|";
        EXPECT_EQ(std::tuple(answer, Asked(host), lines),
                  std::tuple(c.answer, c.id == 3 ? Requests{} : Requests{{17, -1, 0}, {17, 2, 0}}, c.log))
            << label;
    }
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

// An id at or past the end of a table has no member: the fallback's box (for a condition, the linking box
// first) and the neutral answer, 0 without a result mark; nothing is asked of the host.
TEST(BuiltCallPath, IdsPastTheTablesTakeTheFallbacks)
{
    TestHost::Session session;
    RUNDATA* object = session.CreateObject();
    const HostRunInfo& info = session.RunInfo();
    const auto fallback = [](const std::wstring& kind, const std::wstring& Kind, const std::wstring& id) {
        return L"Extension::Unlinked" + Kind + L"() called - Morvalex: Running a fallback for " + kind +
               L" ID " + id + L". Make sure you ran Link" + Kind + L"().|";
    };
    const std::wstring missing = L"Condition linking error - Morvalex: Missing condition ID ",
                       notLinked = L" in extension Morvalex. This ID was not linked in Extension ctor with "
                                   L"LinkCondition().|";
    const std::tuple<void*, std::uint32_t, std::wstring> cases[] = {
        {info.actions, 42, fallback(L"action", L"Action", L"42")},
        {info.actions, 0x7FFFFFFF, fallback(L"action", L"Action", L"2147483647")},
        {info.conditions, 6, missing + L"6" + notLinked + fallback(L"condition", L"Condition", L"6")},
        {info.conditions, 65536,
         missing + L"65536" + notLinked + fallback(L"condition", L"Condition", L"65536")},
        {info.expressions, 76, fallback(L"expression", L"Expression", L"76")},
        {info.expressions, 65536, fallback(L"expression", L"Expression", L"65536")}, // not Add, id 0
    };
    for (const auto& [table, id, boxes] : cases) {
        object->rHo.eventNumber = id;
        object->rHo.resultFlags = 0;
        session.TheHost().ResetCounts();
        session.Boxes().Clear();
        // Every entry of a table is the same routine: the host calls the one at the id, here the first.
        const std::int32_t answer = table == info.expressions
                                        ? static_cast<ExpressionRoutine*>(table)[0](object, 2)
                                        : static_cast<ActionRoutine*>(table)[0](object, 2, 2);
        EXPECT_EQ(std::tuple(answer, object->rHo.resultFlags, session.TheHost().callbackLog.size()),
                  std::tuple(0, std::uint16_t{0}, std::size_t{0}))
            << id;
        EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()), boxes) << id;
    }
}

} // namespace
