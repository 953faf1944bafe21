// Named arrays and matrices through the real library's jump tables. The six stores share one lookup, so
// bounds, names and components are tried once, on the integer stores; what differs by element type
// (defaults, values as the host passes them, kind words, overwrites) runs over all three.
#include "HeapLimit.h"
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <climits>

using TestHost::Arg;

namespace {

// Actions create, remove and change, then the read expression, of the arrays and of the matrices; the
// overwrite actions taking 1 to 4 values; the kind word; four values unlike the default.
struct ElementType {
    int array[4], matrix[4], overwrite[4];
    const wchar_t* word;
    Arg samples[4];
};
const ElementType types[] = {
    {{27, 28, 29, 32}, {14, 15, 16, 6}, {6, 7, 8, 9}, L"int", {11, -22, INT_MIN, 44}},
    {{30, 31, 32, 33}, {17, 18, 19, 7}, {10, 11, 12, 13}, L"float", {1.25f, -0.0f, 3e38f, -4.5f}},
    {{33, 34, 35, 34}, {20, 21, 22, 31}, {23, 24, 25, 26}, L"text", {L"one", L"Two ", L"3", L"\u00e9"}}};
const wchar_t* const components[] = {L"X", L"Y", L"Z", L"W"};

class NamedStores : public TestHost::SessionWithObject<testing::Test> {
protected:
    // A value as the host receives it: integers and float bits as numbers, texts as they are.
    std::wstring Read(const ElementType& type, int id, const std::vector<Arg>& args)
    {
        if (type.samples[0].kind == Arg::Kind::Text)
            return session.ExpressionText(object, id, args);
        return std::to_wstring(session.Expression(object, id, args));
    }
    std::wstring Shown(const Arg& value)
    {
        return value.kind == Arg::Kind::Text ? value.text : std::to_wstring(static_cast<int>(value.bits));
    }
    // The components that keep a value: the matrix's size as the host sees it. Leaves samples in them.
    int Components(const ElementType& type, const wchar_t* name)
    {
        int count = 0;
        for (int i = 0; i < 4; ++i) {
            session.Action(object, type.matrix[2], {name, components[i], type.samples[i]});
            count += Read(type, type.matrix[3], {name, components[i]}) == Shown(type.samples[i]);
        }
        return count;
    }
};

TEST_F(NamedStores, EachElementTypeHasItsDefaultsValuesKindWordsAndOverwrites)
{
    for (const ElementType& type : types) {
        const std::wstring none = type.samples[0].kind == Arg::Kind::Text ? L"" : L"0", word = type.word;
        session.Action(object, type.array[0], {L"a", 3});
        session.Action(object, type.array[2], {L"a", 1, type.samples[1]});
        for (int pos : {0, 1, 2})
            EXPECT_EQ(Read(type, type.array[3], {L"a", pos}), pos == 1 ? Shown(type.samples[1]) : none)
                << word << " array, position " << pos;
        session.Action(object, type.array[1], {L"a"});
        EXPECT_EQ(Read(type, type.array[3], {L"a", 1}), none) << word << " array removed";
        const std::pair<std::wstring, int> kinds[] = {{word + L"2", 2}, {word + L"3", 3},  {word + L"4", 4},
                                                      {word, 1},        {word + L"3 ", 1}, {L"Int3", 1}};
        for (const auto& [kind, size] : kinds) {
            session.Action(object, type.matrix[0], {L"m", kind.c_str()});
            EXPECT_EQ(Read(type, type.matrix[3], {L"m", L"X"}), none) << word << " matrix " << kind;
            EXPECT_EQ(Components(type, L"m"), size) << word << " matrix of kind \"" << kind << "\"";
        }
        for (int count = 1; count <= 4; ++count) {
            std::vector<Arg> args{L"m"};
            args.insert(args.end(), type.samples, type.samples + count);
            session.Action(object, type.overwrite[count - 1], args);
            EXPECT_EQ(Components(type, L"m"), count) << word << " overwrite of " << count;
        }
        session.Action(object, type.overwrite[1], {L"m", type.samples[3], type.samples[2]});
        EXPECT_EQ(Read(type, type.matrix[3], {L"m", L"Y"}), Shown(type.samples[2])) << word;
        EXPECT_EQ(Components(type, L"m"), 2) << word << ": an overwrite leaves exactly its values";
        session.Action(object, type.matrix[1], {L"m"});
        EXPECT_EQ(Components(type, L"m"), 0) << word << ": removed, and not made again by a change";
    }
}

TEST_F(NamedStores, PositionsNamesComponentsAndSizesOutsideTheStoreChangeNothing)
{
    const ElementType& t = types[0];
    session.Action(object, t.array[0], {L"Name", 3});
    for (int pos : {0, 1, 2, -1, 3, INT_MIN, INT_MAX})
        session.Action(object, t.array[2], {L"Name", pos, pos >= 0 && pos < 3 ? 5 : 6});
    for (int size : {-1, INT_MIN, INT_MAX, 536870000}) // refused, or beyond memory: the old array stays
        session.Action(object, t.array[0], {L"Name", size});
    for (const wchar_t* name : {L"name", L"Name ", L"Nam", L""})
        session.Action(object, t.array[2], {name, 0, 6});
    session.Action(object, t.array[0], {L"Zero", 0});
    session.Action(object, t.array[2], {L"Zero", 0, 6});
    const std::pair<const wchar_t*, int> reads[] = {{L"Name", -1}, {L"Name", 0}, {L"Name", 2}, {L"Name", 3},
                                                    {L"name", 0},  {L"", 0},     {L"Zero", 0}};
    std::wstring read;
    for (const auto& [name, pos] : reads)
        read += Read(t, t.array[3], {name, pos});
    EXPECT_EQ(read, L"0550000");
    session.Action(object, t.overwrite[2], {L"m", 1, 2, 3});
    for (const wchar_t* component : {L"x", L"W", L"X ", L"XY", L""})
        session.Action(object, t.matrix[2], {L"m", component, 9});
    EXPECT_EQ(Read(t, t.matrix[3], {L"m", L"x"}) + Read(t, t.matrix[3], {L"m", L"W"}) +
                  Read(t, t.matrix[3], {L"m", L"X"}),
              L"001");
    // Every store is separate, shared by every object, and outlives the object that made the entry.
    RUNDATA* creator = session.CreateObject();
    session.Action(creator, 10, {L"Name", 1.5f});
    session.DestroyObject(creator);
    EXPECT_EQ(session.ExpressionFloat(object, 7, {L"Name", L"X"}), 1.5f);
    EXPECT_EQ(session.Expression(object, 6, {L"Name", L"X"}) + session.Expression(object, 32, {L"m", 0}), 0);
}

// The text actions of the stores and of the microphone: a text too long for the memory left ends the
// action in a box, and leaves what was kept unchanged.
TEST_F(NamedStores, ATextTooLongForTheMemoryLeftEndsInABoxAndChangesNothing)
{
    session.Action(object, 26, {L"m", L"a", L"b", L"c", L"d"});
    session.Action(object, 33, {L"t", 1});
    session.Action(object, 41, {L"{old}"});
    const std::wstring huge(1 << 20, L'h'); // 2 MiB: refused by the library's heap below
    const std::pair<int, std::vector<Arg>> calls[] = {{23, {L"m", huge.c_str()}},
                                                      {26, {L"m", L"p", L"q", L"r", huge.c_str()}},
                                                      {22, {L"m", L"Y", huge.c_str()}},
                                                      {35, {L"t", 0, huge.c_str()}},
                                                      {41, {huge.c_str()}}};
    for (const auto& [action, args] : calls) {
        session.Boxes().Clear();
        {
            const TestHost::HeapLimit full(session.Lib().Module(), 1 << 20);
            ASSERT_TRUE(full.Installed());
            session.Action(object, action, args);
        }
        ASSERT_EQ(session.Boxes().Boxes().size(), 1u) << action;
        EXPECT_EQ(session.Boxes().Boxes()[0].title + L": " + session.Boxes().Boxes()[0].text,
                  L"Polvane SDK error - Morvalex: Action stopped on an unexpected error: std::bad_alloc");
        std::wstring kept = session.ExpressionText(object, 34, {L"t", 0}) + L"|";
        for (const wchar_t* component : components)
            kept += session.ExpressionText(object, 31, {L"m", component});
        EXPECT_EQ(kept + L"|" + session.ExpressionText(object, 69), L"|abcd|{old}") << action;
    }
}

} // namespace
