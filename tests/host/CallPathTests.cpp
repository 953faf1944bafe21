// The call path of the built library, seen from the host: which parameters it asks for and how, the
// result marks it leaves, and the fallbacks of ids that have no member.
#include "SessionFixture.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using BuiltCallPath = TestHost::SessionWithObject<testing::Test>;

std::vector<std::vector<std::int32_t>> ParameterRequests(const TestHost::Host& host)
{
    std::vector<std::vector<std::int32_t>> requests;
    for (const auto& call : host.CallbackLog())
        if (call.index == 4 || call.index == 5 || call.index == 17)
            requests.push_back({call.index, call.w, call.l});
    return requests;
}

} // namespace

TEST_F(BuiltCallPath, TwoIntegerParametersComeAsTheDirectArguments)
{
    session.TheHost().ResetCounts();
    EXPECT_EQ(session.Condition(object, 0, {7, 7}), 1); // AreEqual
    EXPECT_EQ(session.Condition(object, 0, {7, -7}), 0);
    EXPECT_EQ(session.TheHost().CallbackCount(17), 0);
}

TEST_F(BuiltCallPath, AFloatParameterMakesTheHostAnswerEveryParameter)
{
    session.TheHost().ResetCounts();
    EXPECT_EQ(session.Condition(object, 4, {5, 5.0f}), 1); // IsPointerFloat
    EXPECT_EQ(ParameterRequests(session.TheHost()), (std::vector<std::vector<std::int32_t>>{{17, 0, 0}, {17, 2, 0}}));
    EXPECT_EQ(session.Condition(object, 4, {5, 5.5f}), 0);
}

TEST_F(BuiltCallPath, ThreeParametersAreAskedOfTheHostInTurn)
{
    const std::int32_t block = session.Expression(object, 2, {8}); // PtrAllocateMemory
    const std::int32_t other = session.Expression(object, 2, {8});
    session.Action(object, 3, {block, 0x01020304});                // WriteIntegerToPointer
    session.TheHost().ResetCounts();
    session.Action(object, 4, {block, other, 4}); // CopyBytes
    EXPECT_EQ(ParameterRequests(session.TheHost()),
              (std::vector<std::vector<std::int32_t>>{{17, 0, 0}, {17, 0, 0}, {17, 0, 0}}));
    EXPECT_EQ(session.Expression(object, 3, {other}), 0x01020304);
}

TEST_F(BuiltCallPath, ExpressionsReadFirstThenNextAndMarkTheirResult)
{
    session.TheHost().ResetCounts();
    EXPECT_EQ(session.Expression(object, 0, {2147483647, 1}), -2147483647 - 1); // Add wraps
    EXPECT_EQ(object->rHo.resultFlags, 0);
    EXPECT_EQ(ParameterRequests(session.TheHost()), (std::vector<std::vector<std::int32_t>>{{4, 0, 0}, {5, 0, 1}}));

    const float half = session.ExpressionFloat(object, 20, {0, 1.0f, 0.5f}); // IfElse
    EXPECT_EQ(half, 0.5f);
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagFloat);

    session.TheHost().ResetCounts();
    EXPECT_EQ(session.ExpressionText(object, 1), L"Hello world!");
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);
    EXPECT_EQ(session.TheHost().StringSpaceRequests(), (std::vector<std::int32_t>{13 * 2}));
}

TEST_F(BuiltCallPath, FloatComparisonsFollowIeee)
{
    const float nan = std::nanf("");
    EXPECT_EQ(session.Expression(object, 21, {nan, nan}), 0); // CheckEq
    EXPECT_EQ(session.Expression(object, 22, {nan, nan}), 1); // CheckEqN
    EXPECT_EQ(session.Expression(object, 23, {nan, 1.0f}), 0); // CheckL
    EXPECT_EQ(session.Expression(object, 21, {0.0f, -0.0f}), 1);
}

TEST_F(BuiltCallPath, ANullTextParameterIsRefusedWithABox)
{
    EXPECT_EQ(session.ExpressionText(object, 27, {1, static_cast<const wchar_t*>(nullptr)}), L""); // IfStr
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);
    ASSERT_EQ(session.Boxes().Boxes().size(), 1u);
    EXPECT_EQ(session.Boxes().Boxes()[0].title, L"Tovik::Expression() error - Morvalex");
    EXPECT_EQ(session.Boxes().Boxes()[0].text,
              L"Error calling expression \"If$(\" (ID 27); parameter index 1 was given a null string pointer.\nWas "
              L"the parameter type different when the expression was created in the MFA?");
}

// A definition with one item more of each kind than the extension has members: those ids are unlinked.
TEST(CallPathFallbacks, IdsWithoutAMemberTakeTheirFallbacks)
{
    TestHost::TempTree tree;
    auto library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Morvalex.mfx");
    std::string actions, conditions, expressions;
    for (int i = 0; i < 43; ++i)
        actions += std::string(i ? ", " : "") + R"({"Title": "a"})";
    for (int i = 0; i < 7; ++i)
        conditions += std::string(i ? ", " : "") + R"({"Title": "%o : c"})";
    for (int i = 0; i < 77; ++i)
        expressions += std::string(i ? ", " : "") + R"({"Title": "e(", "Returns": "Text"})";
    tree.Write(L"Extensions\\Morvalex.json", R"({"Identifier": "ZOBU", "L": {"About": {"Name": "Fallbacks"}, )"
                                             R"("Actions": [)" + actions + R"(], "Conditions": [)" + conditions +
                                                 R"(], "Expressions": [)" + expressions + "]}}");
    TestHost::Session session(library.wstring());
    ASSERT_EQ(session.InitializeResult(), 0);
    RUNDATA* object = session.CreateObject();
    session.Boxes().Clear(); // the members disagree with this definition: the link reports are not tested here

    EXPECT_EQ(session.Action(object, 42), 0);
    EXPECT_EQ(session.Condition(object, 6), 0);
    EXPECT_EQ(session.ExpressionText(object, 76), L"");
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);

    std::vector<std::wstring> seen;
    for (const auto& box : session.Boxes().Boxes())
        seen.push_back(box.title + L"|" + box.text);
    EXPECT_EQ(seen, (std::vector<std::wstring>{
                        L"Extension::UnlinkedAction() called - Morvalex|Running a fallback for action ID 42. Make "
                        L"sure you ran LinkAction().",
                        L"Condition linking error - Morvalex|Missing condition ID 6 in extension Morvalex. Condition "
                        L"existed in vector, but was NULL. Might not be linked.",
                        L"Extension::UnlinkedCondition() called - Morvalex|Running a fallback for condition ID 6. "
                        L"Make sure you ran LinkCondition().",
                        L"Extension::UnlinkedExpression() called - Morvalex|Running a fallback for expression ID 76. "
                        L"Make sure you ran LinkExpression().",
                    }));
}

namespace {

std::string EmbeddedDefinition()
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    HRSRC found = FindResourceW(library.Module(), MAKEINTRESOURCEW(102), L"TOVIK");
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(library.Module(), found)));
    return std::string(bytes, SizeofResource(library.Module(), found));
}

void Replace(std::string& text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

int allocations = 0;
void* CountingMalloc(std::size_t n) { return ++allocations, std::malloc(n); }
void* CountingCalloc(std::size_t n, std::size_t size) { return ++allocations, std::calloc(n, size); }
void* CountingRealloc(void* p, std::size_t n) { return ++allocations, std::realloc(p, n); }

} // namespace

// A stale sibling definition gives items fewer parameters than their members take: what the call does
// not read reaches the member as 0, or as an empty text, never as a null text.
TEST(CallPathStaleDefinition, UnreadParametersArriveAsZeroOrEmptyText)
{
    std::string definition = EmbeddedDefinition();
    std::string seventeen = R"([ "Text", "X" ])";
    for (int i = 1; i < 17; ++i)
        seventeen += R"(, [ "Text", "X" ])";
    Replace(definition, R"j("Set Text Matrix %0 to (%1)", "Parameters": [ [ "Text", "Matrix name" ], [ "Text", "X" ] ])j",
            R"j("Set Text Matrix %0 to (%1)", "Parameters": [ )j" + seventeen + " ]");
    Replace(definition, R"("%o : Text at pointer %0 is %1", "Triggered": false, "Parameters": [ [ "Integer", "Pointer" ], [ "Text", "Text" ] ])",
            R"("%o : Text at pointer %0 is %1", "Triggered": false, "Parameters": [ [ "Integer", "Pointer" ] ])");
    Replace(definition, R"j("If$(", "Returns": "Text", "Parameters": [ [ "Integer", "Condition" ], [ "Text", "Text if true" ] ])j",
            R"j("If$(", "Returns": "Text", "Parameters": [ [ "Integer", "Condition" ] ])j");
    TestHost::TempTree tree;
    const auto library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Morvalex.mfx");
    tree.Write(L"Extensions\\Morvalex.json", definition);
    TestHost::Session session(library.wstring());
    ASSERT_EQ(session.InitializeResult(), 0);
    RUNDATA* object = session.CreateObject();
    std::vector<std::wstring> boxes;
    for (const auto& box : session.Boxes().Boxes())
        boxes.push_back(box.title + L"|" + box.text);
    EXPECT_EQ(boxes, (std::vector<std::wstring>{
                         L"Error reading action JSON - Morvalex|Too many parameters in action ID 23.",
                         L"Action linking error - Morvalex|UK English: error in linking action ID 23, Set Text Matrix "
                         L"%0 to (%1); it has 17 parameters in the Actions JSON item, but 2 parameters in the C++ "
                         L"function definition.",
                         L"Condition linking error - Morvalex|UK English: error in linking condition ID 5, %o : Text "
                         L"at pointer %0 is %1; it has 1 parameters in the Conditions JSON item, but 2 parameters in "
                         L"the C++ function definition.\r\n",
                         L"Expression linking error - Morvalex|UK English: error in linking expression ID 27, If$; it "
                         L"has 1 parameters in the Expressions JSON item, but 2 parameters in the C++ function "
                         L"definition.",
                     }));
    session.Boxes().Clear();

    EXPECT_EQ(session.Action(object, 23, {L"M", L"x"}), 0); // the refused item reads nothing
    const std::int32_t block = session.Expression(object, 2, {8});
    session.Action(object, 3, {block, 0}); // the block holds an empty text
    session.TheHost().ResetCounts();
    EXPECT_EQ(session.Condition(object, 5, {block, L"x"}), 1);
    EXPECT_EQ(session.ExpressionText(object, 27, {1, L"x"}), L"");
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);
    EXPECT_EQ(session.TheHost().CallbackCount(HostCallback::GetFirstExpressionParam), 1);
    EXPECT_EQ(session.TheHost().CallbackCount(HostCallback::GetNextExpressionParam), 0);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

// Actions, conditions and expressions called for an object already destroyed, or never built, answer
// neutrally: 0, or an empty text when the expression returns one.
TEST_F(BuiltCallPath, CallsWithoutAnObjectAnswerNeutrally)
{
    session.DestroyObject(object);
    EXPECT_EQ(session.Action(object, 3, {8, 1}), 0);
    EXPECT_EQ(session.Condition(object, 0, {1, 1}), 0);
    EXPECT_EQ(session.Expression(object, 0, {2, 3}), 0);
    EXPECT_EQ(session.ExpressionText(object, 1), L"");
    EXPECT_EQ(object->rHo.resultFlags, ResultFlagText);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

TEST_F(BuiltCallPath, CallsAllocateNothing)
{
    const HMODULE module = session.Lib().Module();
    TestHost::ImportPatch malloc(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&CountingMalloc));
    TestHost::ImportPatch calloc(module, "msvcrt.dll", "calloc", reinterpret_cast<void*>(&CountingCalloc));
    TestHost::ImportPatch realloc(module, "msvcrt.dll", "realloc", reinterpret_cast<void*>(&CountingRealloc));
    ASSERT_TRUE(malloc.Installed() && calloc.Installed() && realloc.Installed());
    allocations = 0;
    session.Expression(object, 0, {2, 3});            // Add
    session.ExpressionText(object, 27, {1, L"text"}); // If$
    session.ExpressionFloat(object, 20, {1, 1.0f, 2.0f}); // IfElse
    session.Condition(object, 0, {1, 1});             // AreEqual
    session.Condition(object, 4, {0, 1.0f});          // IsPointerFloat
    session.Action(object, 4, {0, 0, -1});            // CopyBytes
    EXPECT_EQ(allocations, 0);
}
