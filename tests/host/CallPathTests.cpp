// The call path of the built library as the host sees it: which parameters it asks for and how, the
// marks it leaves on results, its refusals, and its answers to a stale definition or a missing object.
#include "Session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Requests = std::vector<std::vector<std::int32_t>>;
using Seen = std::tuple<std::int32_t, Requests, std::uint16_t>; // answer, callbacks asked, result flags

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
        Requests requests;
        for (const auto& c : host.callbackLog)
            requests.push_back({c.index, c.w, c.l});
        EXPECT_EQ((Seen{answer, requests, object->rHo.resultFlags}), seen) << id;
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
    std::string definition;
    {
        TestHost::Library library(TestHost::BuiltLibraryPath());
        HRSRC found = FindResourceW(library.Module(), MAKEINTRESOURCEW(102), L"TOVIK");
        definition.assign(static_cast<const char*>(LockResource(LoadResource(library.Module(), found))),
                          SizeofResource(library.Module(), found));
    }
    std::string sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen += R"([ "Text", "X" ], )";
    // Action 23 gets 17 parameters, condition 5 and expression 27 their first only (the first of each found).
    const std::string replacements[][2] = {{R"([ "Text", "X" ] ])", sixteen + R"([ "Text", "X" ] ])"},
                                           {R"(, [ "Text", "Text" ])", ""},
                                           {R"(, [ "Text", "Text if true" ])", ""}};
    for (const auto& [from, to] : replacements) {
        const std::size_t at = definition.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        definition.replace(at, from.size(), to);
    }
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

} // namespace
