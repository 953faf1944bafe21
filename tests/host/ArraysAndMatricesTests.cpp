// Named arrays and matrices through the real library's jump tables. The six stores share one lookup, so
// bounds, names and components are tried once, on the integer stores; what differs by element type
// (defaults, values as the host passes them, the kind words, the overwrite actions) runs over all three.
#include "HeapLimit.h"
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using TestHost::Arg;

namespace {

struct ElementType {
    const char* label;
    int createArray, removeArray, changeArray, readArray, createMatrix, removeMatrix, changeMatrix,
        readMatrix;
    int overwrite[4]; // the actions taking 1 to 4 values
    const wchar_t* word;
    Arg samples[4];
};

const ElementType types[] = {
    {"integer",
     27,
     28,
     29,
     32,
     14,
     15,
     16,
     6,
     {6, 7, 8, 9},
     L"int",
     {Arg(11), Arg(-22), Arg(INT_MIN), Arg(44)}},
    {"float",
     30,
     31,
     32,
     33,
     17,
     18,
     19,
     7,
     {10, 11, 12, 13},
     L"float",
     {Arg(1.25f), Arg(-0.0f), Arg(3e38f), Arg(-4.5f)}},
    {"text",
     33,
     34,
     35,
     34,
     20,
     21,
     22,
     31,
     {23, 24, 25, 26},
     L"text",
     {Arg(L"one"), Arg(L"Two "), Arg(L"3"), Arg(L"\u00e9")}},
};
const ElementType& integers = types[0];
const wchar_t* const components[] = {L"X", L"Y", L"Z", L"W"};

class NamedStores : public TestHost::SessionWithObject<testing::Test> {
protected:
    // A value as the host receives it: integers and float bits as numbers, texts as they are.
    std::wstring Read(const ElementType& type, int id, const std::vector<Arg>& args, RUNDATA* on = nullptr)
    {
        if (type.word == std::wstring(L"text"))
            return session.ExpressionText(on ? on : object, id, args);
        return std::to_wstring(session.Expression(on ? on : object, id, args));
    }
    std::wstring Shown(const ElementType& type, const Arg& value)
    {
        return type.word == std::wstring(L"text") ? value.text
                                                  : std::to_wstring(static_cast<int>(value.bits));
    }
    // The components that keep a value: the matrix's size as the host sees it. Leaves samples in them.
    int Components(const ElementType& type, const wchar_t* name)
    {
        int count = 0;
        for (int i = 0; i < 4; ++i) {
            session.Action(object, type.changeMatrix, {name, components[i], type.samples[i]});
            count += Read(type, type.readMatrix, {name, components[i]}) == Shown(type, type.samples[i]);
        }
        return count;
    }
};

TEST_F(NamedStores, EachElementTypeHasItsDefaultsValuesKindWordsAndOverwrites)
{
    for (const ElementType& type : types) {
        const std::wstring none = Shown(type, type.word == std::wstring(L"text") ? Arg(L"") : Arg(0));
        const std::wstring word = type.word;
        session.Action(object, type.createArray, {L"a", 3});
        session.Action(object, type.changeArray, {L"a", 1, type.samples[1]});
        for (int pos : {0, 1, 2, 3})
            EXPECT_EQ(Read(type, type.readArray, {L"a", pos}), pos == 1 ? Shown(type, type.samples[1]) : none)
                << type.label << " array, position " << pos;
        session.Action(object, type.createArray, {L"a", 0});
        EXPECT_EQ(Read(type, type.readArray, {L"a", 0}), none) << type.label << " array of size 0";
        const std::pair<std::wstring, int> kinds[] = {
            {word + L"2", 2},
            {word + L"3", 3},
            {word + L"4", 4},
            {word, 1},
            {word + L"5", 1},
            {static_cast<wchar_t>(word[0] - 32) + word.substr(1) + L"3", 1},
            {word + L"3 ", 1},
            {L"", 1},
            {L"float3", word == L"float" ? 3 : 1}};
        for (const auto& [kind, size] : kinds) {
            session.Action(object, type.createMatrix, {L"m", kind.c_str()});
            EXPECT_EQ(Read(type, type.readMatrix, {L"m", L"X"}), none) << type.label << " matrix " << kind;
            EXPECT_EQ(Components(type, L"m"), size) << type.label << " matrix of kind \"" << kind << "\"";
        }
        for (int count = 1; count <= 4; ++count) {
            session.Action(object, type.overwrite[3],
                           {L"m", type.samples[3], type.samples[2], type.samples[1], type.samples[0]});
            std::vector<Arg> args{L"m"};
            args.insert(args.end(), type.samples, type.samples + count);
            session.Action(object, type.overwrite[count - 1], args);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(Read(type, type.readMatrix, {L"m", components[i]}),
                          i < count ? Shown(type, type.samples[i]) : none)
                    << type.label << " overwrite of " << count << ", component " << i;
        }
        session.Action(object, type.createArray, {L"a", 1});
        session.Action(object, type.removeArray, {L"a"});
        session.Action(object, type.removeMatrix, {L"m"});
        session.Action(object, type.changeArray, {L"a", 0, type.samples[0]});
        session.Action(object, type.changeMatrix, {L"m", L"X", type.samples[0]});
        EXPECT_EQ(Read(type, type.readArray, {L"a", 0}) + Read(type, type.readMatrix, {L"m", L"X"}),
                  none + none)
            << type.label << ": removed, and not made again by a change";
    }
}

TEST_F(NamedStores, PositionsNamesComponentsAndSizesOutsideTheStoreChangeNothing)
{
    const ElementType& t = integers;
    session.Action(object, t.createArray, {L"Name", 3});
    for (int pos : {0, 1, 2})
        session.Action(object, t.changeArray, {L"Name", pos, 5});
    for (int pos : {-1, 3, INT_MIN, INT_MAX}) {
        session.Action(object, t.changeArray, {L"Name", pos, 6});
        EXPECT_EQ(Read(t, t.readArray, {L"Name", pos}), L"0") << pos;
    }
    for (int size : {-1, INT_MIN, INT_MAX, 536870000}) // refused, or beyond memory: the old array stays
        session.Action(object, t.createArray, {L"Name", size});
    for (const wchar_t* name : {L"name", L"Name ", L" Name", L"Nam", L""}) {
        session.Action(object, t.changeArray, {name, 0, 6});
        EXPECT_EQ(Read(t, t.readArray, {name, 0}), L"0") << testing::PrintToString(std::wstring(name));
    }
    for (int pos : {0, 1, 2})
        EXPECT_EQ(Read(t, t.readArray, {L"Name", pos}), L"5") << pos;
    session.Action(object, t.createArray, {L"fresh", INT_MAX});
    session.Action(object, t.changeArray, {L"fresh", 0, 6});
    EXPECT_EQ(Read(t, t.readArray, {L"fresh", 0}), L"0") << "nothing made by a size beyond memory";
    session.Action(object, t.overwrite[3], {L"m", 1, 2, 3, 4});
    for (const wchar_t* component : {L"x", L"w", L"X ", L" X", L"XY", L"", L"0"}) {
        session.Action(object, t.changeMatrix, {L"m", component, 9});
        EXPECT_EQ(Read(t, t.readMatrix, {L"m", component}), L"0")
            << testing::PrintToString(std::wstring(component));
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Read(t, t.readMatrix, {L"m", components[i]}), std::to_wstring(i + 1)) << i;
    session.Action(object, t.overwrite[2], {L"m", 1, 2, 3});
    EXPECT_EQ(Components(t, L"m"), 3) << "W beyond a matrix of three";
    EXPECT_EQ(Components(t, L"missing"), 0) << "a change makes no matrix";
}

TEST_F(NamedStores, StoresAreSeparateSharedByObjectsAndOutliveThem)
{
    RUNDATA* creator = session.CreateObject();
    session.Action(creator, 27, {L"n", 1});
    session.Action(creator, 29, {L"n", 0, 5});
    session.Action(creator, 6, {L"n", 9});
    session.Action(creator, 10, {L"n", 1.5f});
    session.Action(creator, 23, {L"n", L"t"});
    session.DestroyObject(creator);
    session.Action(object, 15, {L"n"}); // the integer matrix goes, the array of the same name stays
    EXPECT_EQ(session.Expression(object, 32, {L"n", 0}), 5);
    EXPECT_EQ(session.Expression(object, 6, {L"n", L"X"}), 0);
    EXPECT_EQ(session.ExpressionFloat(object, 7, {L"n", L"X"}), 1.5f);
    EXPECT_EQ(session.ExpressionFloat(object, 33, {L"n", 0}), 0.0f);
    // Text reads are copies in the host's string space: the text and its NUL.
    const auto& requests = session.TheHost().StringSpaceRequests();
    const auto before = requests.size();
    EXPECT_EQ(session.ExpressionText(object, 31, {L"n", L"X"}), L"t");
    EXPECT_EQ(session.ExpressionText(object, 34, {L"n", 0}), L"");
    EXPECT_EQ(std::vector<std::int32_t>(requests.begin() + before, requests.end()),
              (std::vector<std::int32_t>{4, 2}));
}

TEST_F(NamedStores, ATextTooLongForTheMemoryLeftEndsInABoxAndChangesNothing)
{
    session.Action(object, 26, {L"m", L"a", L"b", L"c", L"d"});
    session.Action(object, 33, {L"t", 1});
    session.Action(object, 35, {L"t", 0, L"e"});
    const std::wstring huge(1 << 20, L'h'); // 2 MiB, refused by the library's heap below
    const std::pair<int, std::vector<Arg>> calls[] = {{23, {L"m", huge.c_str()}},
                                                      {26, {L"m", L"p", L"q", L"r", huge.c_str()}},
                                                      {22, {L"m", L"Y", huge.c_str()}},
                                                      {35, {L"t", 0, huge.c_str()}}};
    for (const auto& [action, args] : calls) {
        session.Boxes().Clear();
        {
            const TestHost::HeapLimit full(session.Lib().Module(), 1 << 20);
            ASSERT_TRUE(full.Installed());
            session.Action(object, action, args);
        }
        ASSERT_EQ(session.Boxes().Boxes().size(), 1u) << action;
        EXPECT_EQ(session.Boxes().Boxes()[0].title, L"Polvane SDK error - Morvalex");
        EXPECT_EQ(session.Boxes().Boxes()[0].text, L"Action stopped on an unexpected error: std::bad_alloc");
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(session.ExpressionText(object, 31, {L"m", components[c]}), std::wstring(1, L"abcd"[c]))
                << action;
        EXPECT_EQ(session.ExpressionText(object, 34, {L"t", 0}), L"e") << action;
    }
}

} // namespace
