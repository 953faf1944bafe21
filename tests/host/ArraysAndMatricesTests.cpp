// Named arrays and matrices through the real library's jump tables: sizes, bounds, component letters,
// replacement and removal, and the stores being shared by every object and outliving them. Each kind of
// store runs the same cases; values are compared as they reach the host (floats by their bits).
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

using TestHost::Arg;

namespace {

// A value as the host sees it, so that integers, floats (by bits) and texts compare alike.
std::wstring Shown(const Arg& value)
{
    switch (value.kind) {
    case Arg::Kind::Integer:
        return L"integer " + std::to_wstring(static_cast<int>(value.bits));
    case Arg::Kind::Float:
        return L"float bits " + std::to_wstring(value.bits);
    default:
        return L"text \"" + value.text + L"\"";
    }
}

enum class Kind { Integer, Float, Text };

Arg DefaultOf(Kind kind)
{
    switch (kind) {
    case Kind::Integer:
        return Arg(0);
    case Kind::Float:
        return Arg(0.0f);
    default:
        return Arg(L"");
    }
}

std::wstring ReadShown(TestHost::Session& session, RUNDATA* object, Kind kind, int id,
                       const std::vector<Arg>& args)
{
    switch (kind) {
    case Kind::Integer:
        return Shown(Arg(session.Expression(object, id, args)));
    case Kind::Float:
        return Shown(Arg(session.ExpressionFloat(object, id, args)));
    default: {
        const std::wstring text = session.ExpressionText(object, id, args);
        return Shown(Arg(text.c_str()));
    }
    }
}

// --- Arrays ---

struct ArrayStore {
    const char* label;
    Kind kind;
    int create, remove, change, read; // action, action, action, expression
    std::vector<Arg> samples;         // distinct non-default values
    int beyondMemory; // a size allowed by the vector, but nearly 2 GiB: never free in one piece
};

const ArrayStore arrayStores[] = {
    {"Integer", Kind::Integer, 27, 28, 29, 32, {Arg(-7), Arg(INT_MAX)}, 536870000},
    {"Float", Kind::Float, 30, 31, 32, 33, {Arg(2.5f), Arg(-0.0f)}, 536870000},
    {"Text", Kind::Text, 33, 34, 35, 34, {Arg(L"seven"), Arg(L"Zw\u00f6lf ")}, 89000000},
};

void PrintTo(const ArrayStore& store, std::ostream* out) { *out << store.label; }

class NamedArrays : public TestHost::SessionWithObject<testing::TestWithParam<ArrayStore>> {
protected:
    const Arg& Sample(int i) const { return GetParam().samples[i]; }
    std::wstring Default() const { return Shown(DefaultOf(GetParam().kind)); }
    void Create(const wchar_t* name, int size, RUNDATA* on = nullptr)
    {
        session.Action(on ? on : object, GetParam().create, {name, size});
    }
    void Remove(const wchar_t* name) { session.Action(object, GetParam().remove, {name}); }
    void Change(const wchar_t* name, int pos, const Arg& value, RUNDATA* on = nullptr)
    {
        session.Action(on ? on : object, GetParam().change, {name, pos, value});
    }
    std::wstring Read(const wchar_t* name, int pos, RUNDATA* on = nullptr)
    {
        return ReadShown(session, on ? on : object, GetParam().kind, GetParam().read, {name, pos});
    }
};

TEST_P(NamedArrays, CreateFillsWithDefaultsAndChangeSetsOneElement)
{
    Create(L"a", 3);
    for (int pos = 0; pos < 3; ++pos)
        EXPECT_EQ(Read(L"a", pos), Default()) << pos;
    Change(L"a", 1, Sample(0));
    EXPECT_EQ(Read(L"a", 0), Default());
    EXPECT_EQ(Read(L"a", 1), Shown(Sample(0)));
    EXPECT_EQ(Read(L"a", 2), Default());
    Change(L"a", 2, Sample(1));
    EXPECT_EQ(Read(L"a", 2), Shown(Sample(1)));
}

TEST_P(NamedArrays, PositionsOutsideTheArrayChangeAndReadNothing)
{
    Create(L"a", 3);
    for (int pos = 0; pos < 3; ++pos)
        Change(L"a", pos, Sample(0));
    for (int pos : {-1, 3, 4, INT_MIN, INT_MAX}) {
        Change(L"a", pos, Sample(1));
        EXPECT_EQ(Read(L"a", pos), Default()) << pos;
    }
    for (int pos = 0; pos < 3; ++pos)
        EXPECT_EQ(Read(L"a", pos), Shown(Sample(0))) << pos;
}

TEST_P(NamedArrays, MissingNamesReadDefaultsAndChangeCreatesNothing)
{
    EXPECT_EQ(Read(L"missing", 0), Default());
    Change(L"missing", 0, Sample(0));
    EXPECT_EQ(Read(L"missing", 0), Default());
}

TEST_P(NamedArrays, SizeZeroReplacesWithAnEmptyArray)
{
    Create(L"a", 2);
    Change(L"a", 0, Sample(0));
    Create(L"a", 0);
    EXPECT_EQ(Read(L"a", 0), Default());
    Change(L"a", 0, Sample(0));
    EXPECT_EQ(Read(L"a", 0), Default());
}

TEST_P(NamedArrays, NegativeSizeLeavesTheArrayUntouched)
{
    Create(L"a", 2);
    Change(L"a", 1, Sample(0));
    Create(L"a", -1);
    Create(L"a", INT_MIN);
    EXPECT_EQ(Read(L"a", 1), Shown(Sample(0)));
    Change(L"a", 0, Sample(1));
    EXPECT_EQ(Read(L"a", 0), Shown(Sample(1)));
}

TEST_P(NamedArrays, CreateReplacesAndResizes)
{
    Create(L"a", 2);
    Change(L"a", 1, Sample(0));
    Create(L"a", 5);
    EXPECT_EQ(Read(L"a", 1), Default());
    Change(L"a", 4, Sample(1));
    EXPECT_EQ(Read(L"a", 4), Shown(Sample(1)));
    Create(L"a", 1);
    EXPECT_EQ(Read(L"a", 4), Default());
}

TEST_P(NamedArrays, SizesBeyondMemoryLeaveTheOldArray)
{
    Create(L"a", 2);
    Change(L"a", 1, Sample(0));
    for (int size : {INT_MAX, GetParam().beyondMemory}) {
        Create(L"a", size);
        EXPECT_EQ(Read(L"a", 1), Shown(Sample(0))) << size;
        EXPECT_EQ(Read(L"a", 2), Default()) << size;
    }
    Create(L"fresh", INT_MAX);
    Change(L"fresh", 0, Sample(0));
    EXPECT_EQ(Read(L"fresh", 0), Default());
}

TEST_P(NamedArrays, RemoveErasesTheName)
{
    Create(L"a", 2);
    Change(L"a", 0, Sample(0));
    Remove(L"a");
    EXPECT_EQ(Read(L"a", 0), Default());
    Change(L"a", 0, Sample(0));
    EXPECT_EQ(Read(L"a", 0), Default());
    Remove(L"a");
    Remove(L"never made");
    Create(L"a", 1);
    EXPECT_EQ(Read(L"a", 0), Default());
}

TEST_P(NamedArrays, NamesCompareExactly)
{
    Create(L"Name", 1);
    Change(L"Name", 0, Sample(0));
    for (const wchar_t* other : {L"name", L"NAME", L"Name ", L" Name", L"Nam", L""})
        EXPECT_EQ(Read(other, 0), Default()) << testing::PrintToString(std::wstring(other));
    EXPECT_EQ(Read(L"Name", 0), Shown(Sample(0)));
    Create(L"", 1);
    Change(L"", 0, Sample(1));
    EXPECT_EQ(Read(L"", 0), Shown(Sample(1)));
    EXPECT_EQ(Read(L"Name", 0), Shown(Sample(0)));
}

TEST_P(NamedArrays, SharedByObjectsAndKeptWhenTheCreatorIsDestroyed)
{
    RUNDATA* other = session.CreateObject();
    Create(L"shared", 2, other);
    Change(L"shared", 1, Sample(0), other);
    EXPECT_EQ(Read(L"shared", 1), Shown(Sample(0)));
    session.DestroyObject(other);
    EXPECT_EQ(Read(L"shared", 1), Shown(Sample(0)));
    RUNDATA* later = session.CreateObject();
    EXPECT_EQ(Read(L"shared", 1, later), Shown(Sample(0)));
}

INSTANTIATE_TEST_SUITE_P(Stores, NamedArrays, testing::ValuesIn(arrayStores),
                         [](const testing::TestParamInfo<ArrayStore>& info) { return info.param.label; });

// --- Matrices ---

struct MatrixStore {
    const char* label;
    Kind kind;
    int create, remove, change, read; // action, action, action, expression
    int overwrite[4];                 // actions taking 1, 2, 3 and 4 values
    std::wstring base;                // the kind word: "int", "float", "text"
    std::wstring otherBase;           // another store's kind word
    std::vector<Arg> samples;         // four distinct non-default values
};

const MatrixStore matrixStores[] = {
    {"Integer",
     Kind::Integer,
     14,
     15,
     16,
     6,
     {6, 7, 8, 9},
     L"int",
     L"float",
     {Arg(11), Arg(-22), Arg(INT_MIN), Arg(44)}},
    {"Float",
     Kind::Float,
     17,
     18,
     19,
     7,
     {10, 11, 12, 13},
     L"float",
     L"text",
     {Arg(1.25f), Arg(-0.0f), Arg(3e38f), Arg(-4.5f)}},
    {"Text",
     Kind::Text,
     20,
     21,
     22,
     31,
     {23, 24, 25, 26},
     L"text",
     L"int",
     {Arg(L"first"), Arg(L"Second one"), Arg(L"third"), Arg(L"\u00e9")}},
};

void PrintTo(const MatrixStore& store, std::ostream* out) { *out << store.label; }

const wchar_t* const components[] = {L"X", L"Y", L"Z", L"W"};

class NamedMatrices : public TestHost::SessionWithObject<testing::TestWithParam<MatrixStore>> {
protected:
    const Arg& Sample(int i) const { return GetParam().samples[i]; }
    std::wstring Default() const { return Shown(DefaultOf(GetParam().kind)); }
    void Create(const wchar_t* name, const std::wstring& kind, RUNDATA* on = nullptr)
    {
        session.Action(on ? on : object, GetParam().create, {name, kind.c_str()});
    }
    void Remove(const wchar_t* name) { session.Action(object, GetParam().remove, {name}); }
    void Change(const wchar_t* name, const wchar_t* component, const Arg& value)
    {
        session.Action(object, GetParam().change, {name, component, value});
    }
    std::wstring Read(const wchar_t* name, const wchar_t* component, RUNDATA* on = nullptr)
    {
        return ReadShown(session, on ? on : object, GetParam().kind, GetParam().read, {name, component});
    }
    // Overwrites name with the first count samples.
    void Overwrite(const wchar_t* name, int count, RUNDATA* on = nullptr)
    {
        std::vector<Arg> args{name};
        for (int i = 0; i < count; ++i)
            args.push_back(Sample(i));
        session.Action(on ? on : object, GetParam().overwrite[count - 1], args);
    }
    // The components that take a value: the matrix's size, seen from outside. Leaves samples in them.
    int ComponentCount(const wchar_t* name)
    {
        int count = 0;
        for (int i = 0; i < 4; ++i) {
            Change(name, components[i], Sample(i));
            if (Read(name, components[i]) == Shown(Sample(i)))
                ++count;
        }
        return count;
    }
};

TEST_P(NamedMatrices, KindTextSetsTheComponentCount)
{
    const std::wstring& base = GetParam().base;
    std::wstring capitalised = base;
    capitalised[0] = static_cast<wchar_t>(capitalised[0] - L'a' + L'A');
    const struct {
        std::wstring kind;
        int count;
    } cases[] = {
        {base + L"2", 2},
        {base + L"3", 3},
        {base + L"4", 4},
        {base, 1},
        {base + L"1", 1},
        {base + L"5", 1},
        {capitalised + L"3", 1},
        {base + L"3 ", 1},
        {L" " + base + L"3", 1},
        {L"", 1},
        {L"3", 1},
        {GetParam().otherBase + L"3", 1},
    };
    for (const auto& c : cases) {
        Create(L"m", c.kind);
        EXPECT_EQ(ComponentCount(L"m"), c.count) << "kind \"" << testing::PrintToString(c.kind) << "\"";
    }
}

TEST_P(NamedMatrices, CreateFillsWithDefaultsAndReplacesTheMatrix)
{
    Overwrite(L"m", 4);
    Create(L"m", GetParam().base + L"3");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Read(L"m", components[i]), Default()) << i;
    EXPECT_EQ(ComponentCount(L"m"), 3);
}

TEST_P(NamedMatrices, OverwriteLeavesExactlyTheGivenValues)
{
    for (int count = 1; count <= 4; ++count) {
        Overwrite(L"m", 4);
        Overwrite(L"m", count);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(Read(L"m", components[i]), i < count ? Shown(Sample(i)) : Default())
                << count << " values, component " << i;
        EXPECT_EQ(ComponentCount(L"m"), count);
    }
}

TEST_P(NamedMatrices, OverwriteCreatesAMissingMatrix)
{
    Overwrite(L"new", 3);
    EXPECT_EQ(Read(L"new", L"Z"), Shown(Sample(2)));
}

TEST_P(NamedMatrices, ComponentTextsCompareExactly)
{
    Overwrite(L"m", 4);
    for (const wchar_t* component : {L"x", L"y", L"z", L"w", L"X ", L" X", L"XY", L"", L"V", L"0"}) {
        EXPECT_EQ(Read(L"m", component), Default()) << testing::PrintToString(std::wstring(component));
        Change(L"m", component, Sample(3));
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Read(L"m", components[i]), Shown(Sample(i))) << i;
}

TEST_P(NamedMatrices, ComponentsBeyondTheSizeChangeNothing)
{
    Overwrite(L"m", 3);
    Change(L"m", L"W", Sample(3));
    EXPECT_EQ(Read(L"m", L"W"), Default());
    EXPECT_EQ(Read(L"m", L"Z"), Shown(Sample(2)));
    EXPECT_EQ(ComponentCount(L"m"), 3);
}

TEST_P(NamedMatrices, ChangeOnAMissingNameCreatesNothing)
{
    Change(L"missing", L"X", Sample(0));
    EXPECT_EQ(Read(L"missing", L"X"), Default());
    EXPECT_EQ(ComponentCount(L"missing"), 0);
}

TEST_P(NamedMatrices, RemoveErasesTheName)
{
    Overwrite(L"m", 2);
    Remove(L"m");
    EXPECT_EQ(Read(L"m", L"X"), Default());
    EXPECT_EQ(ComponentCount(L"m"), 0);
    Remove(L"m");
    Remove(L"never made");
}

TEST_P(NamedMatrices, SharedByObjectsAndKeptWhenTheCreatorIsDestroyed)
{
    RUNDATA* creator = session.CreateObject();
    Overwrite(L"shared", 2, creator);
    EXPECT_EQ(Read(L"shared", L"Y"), Shown(Sample(1)));
    session.DestroyObject(creator);
    EXPECT_EQ(Read(L"shared", L"Y"), Shown(Sample(1)));
}

INSTANTIATE_TEST_SUITE_P(Stores, NamedMatrices, testing::ValuesIn(matrixStores),
                         [](const testing::TestParamInfo<MatrixStore>& info) { return info.param.label; });

// --- Across stores ---

class NamedStores : public TestHost::SessionWithObject<testing::Test> {};

TEST_F(NamedStores, OneNameInEveryStoreMakesSeparateEntries)
{
    session.Action(object, 27, {L"n", 1}); // integer array
    session.Action(object, 29, {L"n", 0, 5});
    session.Action(object, 30, {L"n", 1});    // float array
    session.Action(object, 33, {L"n", 1});    // text array
    session.Action(object, 6, {L"n", 9});     // integer matrix
    session.Action(object, 10, {L"n", 1.5f}); // float matrix
    session.Action(object, 23, {L"n", L"m"}); // text matrix
    EXPECT_EQ(session.Expression(object, 32, {L"n", 0}), 5);
    EXPECT_EQ(session.ExpressionFloat(object, 33, {L"n", 0}), 0.0f);
    EXPECT_EQ(session.ExpressionText(object, 34, {L"n", 0}), L"");
    EXPECT_EQ(session.Expression(object, 6, {L"n", L"X"}), 9);
    EXPECT_EQ(session.ExpressionFloat(object, 7, {L"n", L"X"}), 1.5f);
    EXPECT_EQ(session.ExpressionText(object, 31, {L"n", L"X"}), L"m");
    session.Action(object, 15, {L"n"}); // removing the integer matrix keeps the integer array
    EXPECT_EQ(session.Expression(object, 32, {L"n", 0}), 5);
    EXPECT_EQ(session.Expression(object, 6, {L"n", L"X"}), 0);
}

TEST_F(NamedStores, TextReadsAreCopiesInTheHostsStringSpace)
{
    session.Action(object, 33, {L"t", 1});
    session.Action(object, 35, {L"t", 0, L"abc"});
    session.Action(object, 25, {L"m", L"x", L"yy", L"zzz"});
    const auto before = session.TheHost().StringSpaceRequests().size();
    EXPECT_EQ(session.ExpressionText(object, 34, {L"t", 0}), L"abc");
    EXPECT_EQ(session.ExpressionText(object, 34, {L"t", 1}), L"");
    EXPECT_EQ(session.ExpressionText(object, 31, {L"m", L"Z"}), L"zzz");
    EXPECT_EQ(session.ExpressionText(object, 31, {L"m", L"W"}), L"");
    const std::vector<std::int32_t> requests(session.TheHost().StringSpaceRequests().begin() + before,
                                             session.TheHost().StringSpaceRequests().end());
    EXPECT_EQ(requests, (std::vector<std::int32_t>{8, 2, 8, 2}));
}

} // namespace
