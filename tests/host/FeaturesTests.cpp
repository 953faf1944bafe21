// The extension's features through the real library's jump tables: named arrays and matrices, memory
// blocks, math and logic expressions, and the microphone: Wine's, which offers no capture device, and
// scripted devices put in the library's imports.
#include "FakeAudio.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>
#include <map>
#include <regex>
#include <tuple>

using TestHost::Arg;
using TestHost::BitsOf;
namespace Audio = TestHost::Audio;

namespace {

// The stores share one lookup, tried once on the integer stores; what differs by element type runs over
// all three. Per type: the arrays' and matrices' create, remove and change actions and read expression;
// the overwrite actions of 1 to 4 values; the kind word; four values unlike the default.
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
// A value as the host receives it: integers and float bits as numbers, texts as they are.
std::wstring Shown(const Arg& v) { return v.kind == Arg::Kind::Text ? v.text : std::to_wstring(int(v.bits)); }

class NamedStores : public TestHost::SessionWithObject<testing::Test> {
protected:
    std::wstring Read(const ElementType& type, int id, const std::vector<Arg>& args)
    {
        if (type.samples[0].kind == Arg::Kind::Text)
            return session.ExpressionText(object, id, args);
        return std::to_wstring(session.Expression(object, id, args));
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
    session.Action(object, 27, {L"Name", 3});
    for (int pos : {0, 1, 2, -1, 3, INT_MIN, INT_MAX})
        session.Action(object, 29, {L"Name", pos, pos >= 0 && pos < 3 ? 5 : 6});
    for (int size : {-1, INT_MIN, INT_MAX, 536870000}) // refused, or beyond memory: the old array stays
        session.Action(object, 27, {L"Name", size});
    for (const wchar_t* name : {L"name", L"Name ", L"Nam", L""})
        session.Action(object, 29, {name, 0, 6});
    session.Action(object, 27, {L"Zero", 0});
    session.Action(object, 29, {L"Zero", 0, 6});
    session.Action(object, 8, {L"m", 1, 2, 3});
    for (const wchar_t* component : {L"x", L"W", L"X ", L"XY", L""})
        session.Action(object, 16, {L"m", component, 9});
    session.Action(object, 10, {L"Name", 1.5f}); // every store is separate
    const std::tuple<int, const wchar_t*, Arg> reads[] = {
        {32, L"Name", -1}, {32, L"Name", 0}, {32, L"Name", 2},   {32, L"Name", 3},
        {32, L"name", 0},  {32, L"", 0},     {32, L"Zero", 0},   {6, L"m", L"x"},
        {6, L"m", L"W"},   {6, L"m", L"X"},  {6, L"Name", L"X"}, {32, L"m", 0}};
    std::wstring read;
    for (const auto& [id, name, at] : reads)
        read += std::to_wstring(session.Expression(object, id, {name, at}));
    EXPECT_EQ(read, L"055000000100");
}

// A host nearly out of memory, made without taking memory away from the test: while it is patched in, the
// library's C heap refuses every block of 1 MiB or more, so that its large copies fail as in a full process.
void* __cdecl LimitedMalloc(std::size_t size)
{
    // The C runtime's own allocator, not the library's import of it, which is this very routine.
    static const auto allocate = reinterpret_cast<void*(__cdecl*)(std::size_t)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "malloc")));
    return size >= (1 << 20) ? nullptr : allocate(size);
}

// The text actions of the stores and of the microphone: a text too long for the memory left ends the
// action in a box, and leaves what was kept unchanged.
TEST_F(NamedStores, ATextTooLongForTheMemoryLeftEndsInABoxAndChangesNothing)
{
    session.Action(object, 26, {L"m", L"a", L"b", L"c", L"d"});
    session.Action(object, 33, {L"t", 1});
    session.Action(object, 41, {L"{old}"});
    const std::wstring huge(1 << 20, L'h'); // 2 MiB: refused by the library's heap below
    const wchar_t* h = huge.c_str();        // below, each call is an action followed by its arguments
    const std::vector<Arg> calls[] = {
        {23, L"m", h}, {22, L"m", L"Y", h}, {35, L"t", 0, h}, {26, L"m", L"p", L"q", L"r", h}, {41, h}};
    for (const auto& call : calls) {
        const int action = static_cast<int>(call[0].bits);
        session.Boxes().Clear();
        {
            const TestHost::ImportPatch full(session.Lib().Module(), "msvcrt.dll", "malloc",
                                             reinterpret_cast<void*>(LimitedMalloc));
            session.Action(object, action, {call.begin() + 1, call.end()});
        }
        EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()),
                  L"Polvane SDK error - Morvalex: Action stopped on an unexpected error: std::bad_alloc|")
            << action;
        std::wstring kept = session.ExpressionText(object, 34, {L"t", 0}) + L"|";
        for (const wchar_t* component : components)
            kept += session.ExpressionText(object, 31, {L"m", component});
        EXPECT_EQ(kept + L"|" + session.ExpressionText(object, 69), L"|abcd|{old}") << action;
    }
}

// Every store is the process's: what one object keeps, another reads, also once the first is destroyed.
TEST_F(NamedStores, WhatOneObjectKeepsAnotherReadsOnceItIsGone)
{
    RUNDATA* other = session.CreateObject();
    session.Action(object, 26, {L"m", L"a", L"b", L"c", L"d"});
    session.Action(object, 27, {L"n", 2});
    session.Action(object, 29, {L"n", 1, 7});
    const int block = session.Expression(object, 2, {4});
    session.Action(object, 3, {block, 42});
    session.Action(object, 37, {5});
    session.Action(object, 36); // Wine has no capture device: the last error says so
    session.DestroyObject(object);
    const std::wstring error = session.ExpressionText(other, 75), stamp = L"[YYYY-MM-DD HH:MM:SS] ";
    EXPECT_EQ(session.ExpressionText(other, 31, {L"m", L"W"}) + L" " +
                  std::to_wstring(session.Expression(other, 32, {L"n", 1})) + L" " +
                  std::to_wstring(session.Expression(other, 3, {block})) + L" " +
                  std::to_wstring(session.Expression(other, 59)) + L" " +
                  error.substr(std::min(error.size(), stamp.size())),
              L"d 7 42 5 (-203) - Failed to get default microphone.");
}

// Memory blocks: which pointer values are accepted, and that no read, write or copy reaches past a
// block, whatever its size. Blocks hold uninitialised bytes, so every case first writes what it reads.
class MemoryBlocks : public TestHost::SessionWithObject<testing::Test> {
protected:
    int Allocate(int size) { return session.Expression(object, 2, {size}); }
    int Reallocate(int pointer, int size) { return session.Expression(object, 4, {pointer, size}); }
    int Read(int pointer) { return session.Expression(object, 3, {pointer}); }
    int Valid(int pointer) { return session.Condition(object, 1, {pointer}); }
    void Copy(int from, int to, int count) { session.Action(object, 4, {from, to, count}); }
    // A block of size bytes that starts with value, or with its low bytes when it holds fewer than four.
    int Holding(int size, int value)
    {
        const int four = Allocate(4), block = size == 4 ? four : Allocate(size);
        session.Action(object, 3, {four, value});
        Copy(four, block, std::min(size, 4));
        return block;
    }
};

TEST_F(MemoryBlocks, OnlyTheStartsOfLiveBlocksAreAccepted)
{
    for (int size : {0, -5, INT_MIN, INT_MAX}) // below one byte, or beyond memory
        EXPECT_EQ(Allocate(size), 0) << size;
    const int p = Holding(8, 0x3FC00000), low = Holding(4, 0), freed = Holding(4, 3);
    EXPECT_EQ(session.ExpressionFloat(object, 5, {p}), 1.5f); // the same four bytes, in native order
    session.Action(object, 5, {p, -0.0f});
    Copy(Holding(4, 0x04030201), low, 1);
    EXPECT_TRUE(Read(p) == INT_MIN && Read(low) == 1) << "the first byte is the lowest";
    session.Action(object, 2, {freed});
    for (int other : {0, p + 1, p + 4, p - 8, 12345, -1, freed}) {
        for (int id : {3, 5, 2}) // writes and a free
            session.Action(object, id, {other, id == 5 ? Arg(1.0f) : Arg(1)});
        Copy(other, p, 4);
        Copy(p, other, 4);
        const int answers[] = {Valid(other), Read(other), session.Expression(object, 5, {other}),
                               session.Condition(object, 5, {other, L""}), other ? Reallocate(other, 16) : 0};
        EXPECT_EQ(std::count(answers, answers + 5, 0), 5) << other;
    }
    EXPECT_TRUE(Valid(p) && Read(p) == INT_MIN && !session.Condition(object, 2, {p}) &&
                session.Condition(object, 2, {0}));
    // The pointer's own value, registered or not: nothing is read.
    const int values[][3] = {{p, p, 1},   {freed, freed, 1}, {0, 0, 1},
                             {-1, -1, 1}, {p, p + 1, 0},     {p + 1, p, 0}};
    for (const auto& c : values)
        EXPECT_EQ(session.Condition(object, 3, {c[0], c[1]}), c[2]) << c[0] << " " << c[1];
    // Compared as floats, without the x87 unit's extra precision: 16777217 becomes 16777216.0.
    EXPECT_TRUE(session.Condition(object, 4, {16777217, 16777216.0f}) &&
                !session.Condition(object, 4, {16777216, 16777218.0f}));
}

// Copies: source size, destination size, count, destination afterwards. Texts: block size, stored bytes,
// text, whether the same: a text must end inside its block. A block reallocated keeps its bytes up to the
// smaller size, and its new size bounds every later access.
// The heap refuses the second block asked for, and only that one.
int blocksAsked = 0;
void* __cdecl SecondBlockRefused(std::size_t size)
{
    static const auto allocate = reinterpret_cast<void*(__cdecl*)(std::size_t)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "malloc")));
    return ++blocksAsked == 2 ? nullptr : allocate(size);
}

// A block that the library cannot also register is not handed out: it could never be freed, read or
// written through its pointer.
TEST_F(MemoryBlocks, ABlockThatCannotBeRegisteredIsNotHandedOut)
{
    const int kept = Holding(4, 21);
    for (int size : {1, 64, 1 << 16}) {
        blocksAsked = 0; // the block itself, then no room for its entry in the registry
        const TestHost::ImportPatch full(session.Lib().Module(), "msvcrt.dll", "malloc",
                                         reinterpret_cast<void*>(SecondBlockRefused));
        EXPECT_EQ(Allocate(size), 0) << size;
    }
    EXPECT_TRUE(Read(kept) == 21 && Valid(Allocate(8))) << "the registry is as it was, and grows again";
}

TEST_F(MemoryBlocks, NoAccessReachesPastABlockWhateverItsSize)
{
    const int copies[][4] = {
        {4, 4, 4, 0x11223344}, {8, 4, 4, 0x11223344}, {4, 8, 4, 0x11223344},  {4, 4, 2, 0x55663344},
        {4, 4, 1, 0x55667744}, {4, 4, 0, 0x55667788}, {4, 4, -1, 0x55667788}, {4, 4, INT_MIN, 0x55667788},
        {4, 4, 5, 0x55667788}, {8, 4, 8, 0x55667788}, {4, 8, 8, 0x55667788},  {4, 4, INT_MAX, 0x55667788}};
    const std::tuple<int, int, const wchar_t*, int> texts[] = {
        {4, 0x61, L"a", 1},      {4, 0x61, L"A", 0},     {4, 0x61, L"ab", 0}, {4, 0x610000, L"", 1},
        {4, 0x620061, L"ab", 0}, {4, 0x620061, L"a", 0}, {2, 0x61, L"a", 0},  {2, 0, L"", 1},
        {3, 0, L"", 1},          {3, 0x61, L"a", 0}};
    for (const auto& c : copies) {
        const int source = Holding(c[0], 0x11223344), destination = Holding(c[1], 0x55667788);
        Copy(source, destination, c[2]);
        EXPECT_EQ(Read(destination), c[3]) << c[0] << " to " << c[1] << ", count " << c[2];
    }
    for (const auto& [size, bytes, text, same] : texts)
        EXPECT_EQ(session.Condition(object, 5, {Holding(size, bytes), text}), same) << size << " " << bytes;
    const int small = Holding(2, 0x5678), probe = Holding(4, 0); // four bytes do not fit in two
    session.Action(object, 3, {small, 0});
    Copy(small, probe, 2);
    EXPECT_TRUE(Valid(small) && Read(small) == 0 && session.ExpressionFloat(object, 5, {small}) == 0.0f);
    EXPECT_EQ(Read(probe), 0x5678);

    const int p = Holding(4, 0x0BADF00D), target = Holding(4, 0x55667788);
    for (int size : {0, -1, INT_MIN, INT_MAX}) // refused, or beyond memory: the block stays as it was
        EXPECT_EQ(Reallocate(p, size), 0) << size;
    const int moved = Reallocate(p, 1 << 20); // a size that never fits where four bytes were
    EXPECT_TRUE(moved && moved != p && !Valid(p) && Read(moved) == 0x0BADF00D);
    const int shrunk = Reallocate(moved, 2);
    Copy(shrunk, target, 4); // beyond the new size
    EXPECT_TRUE(Valid(shrunk) && Read(shrunk) == 0 && Read(target) == 0x55667788);
    Copy(shrunk, target, 2);
    EXPECT_EQ(Read(target), 0x5566F00D);
    EXPECT_EQ(Read(Reallocate(shrunk, 4)) & 0xFFFF, 0xF00D) << "the two bytes the shrink kept";
    const int fresh = Reallocate(0, 16);
    session.Action(object, 3, {fresh, -3});
    EXPECT_TRUE(Valid(fresh) && Read(fresh) == -3);
}

using MathExpressions = TestHost::SessionWithObject<testing::Test>;

TEST_F(MathExpressions, IntegerOperations)
{
    const int a = 0b1100, b = 0b1010, p = 0x12345678, q = static_cast<int>(0x81234567), min = INT_MIN,
              max = INT_MAX;
    // id, a, b, result
    const int cases[][4] = {
        {0, max, 1, min},        {0, 5, -7, -2},      {8, a, b, 0b1000},   {9, a, b, 0b1110},
        {10, a, b, 0b0110},      {11, max, 0, min},   {12, a, b, ~0b1000}, {13, a, b, ~0b1110},
        {14, a, b, ~0b0110},     {35, a, b, ~0b0100}, {35, 0, 0, -1},      {36, a, b, 0b0100},
        {37, a, b, ~0b0010},     {38, a, b, 0b0010},  {15, 1, 33, 2},      {15, 1, -1, min},
        {16, -8, 1, -4},         {16, -1, 31, -1},    {16, 16, 32, 16},    {17, min | 1, 1, 3},
        {17, p, 36, 0x23456781}, {17, p, 0, p},       {17, p, 32, p},      {17, 1, -1, min},
        {18, 1, 1, min},         {18, p, 4, q},       {18, p, 32, p},      {18, 1, -1, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(session.Expression(object, c[0], {c[1], c[2]}), c[3])
            << c[0] << "(" << c[1] << ", " << c[2] << ")";
}

// Bit for bit, against patterns worked out elsewhere: the circular and plain hyperbolic functions in double,
// rounded once to float; the inverse hyperbolic ones in single precision; the reciprocals of the rounded
// float in double; the conversions in double with pi taken as 3.14159265359 (not the full value, nor in
// float). The last rows: zero divisors, overflow and the ends of the domains, as IEEE gives them.
TEST_F(MathExpressions, FloatFunctionsFollowTheirPrecisionRules)
{
    // id, argument, result
    const std::uint32_t cases[][3] = {
        {39, 0x3F000000, 0x3EF57744}, {40, 0x3F000000, 0x3F60A940}, {41, 0x40000000, 0xC00BD7B1},
        {42, 0xC00A0256, 0xBF999746}, {42, 0xBC16A6D6, 0xC2D982EA}, {43, 0xC00A0256, 0xBFE79785},
        {44, 0xBC16A6D6, 0xC2D98090}, {45, 0x3F000000, 0x3F060A92}, {46, 0xBF400000, 0x401ACE93},
        {47, 0x41200000, 0x3FBC4DE9}, {48, 0x41200000, 0x462C14EE}, {49, 0x41200000, 0x462C14EF},
        {50, 0xBF400000, 0xBF22991F}, {51, 0x41200000, 0x403FE2E3}, {52, 0x40000000, 0x3FA89214},
        {53, 0x3F000000, 0x3F0C9F54}, {54, 0x43340000, 0x40490FDB}, {54, 0x42D4FEDF, 0x3FEDEB1A},
        {54, 0xC3F2A0DE, 0xC107825F}, {55, 0xC13248BF, 0xC41F9BB8}, {55, 0x3F800000, 0x42652EE1},
        {42, 0x00000000, 0x7F800000}, {42, 0x80000000, 0xFF800000}, {44, 0x00000000, 0x7F800000},
        {53, 0x3F800000, 0x7F800000}, {48, 0x42C80000, 0x7F800000}, {45, 0x40000000, 0x7FC00000},
        {46, 0xBFC00000, 0x7FC00000}, {52, 0x3F000000, 0x7FC00000}, {53, 0x40000000, 0x7FC00000}};
    for (const auto& c : cases) {
        const std::uint32_t result =
            BitsOf(session.ExpressionFloat(object, static_cast<int>(c[0]), {TestHost::FromBits(c[1])}));
        EXPECT_EQ(c[2] == 0x7FC00000 ? result & 0x7FC00000 : result, c[2])
            << c[0] << std::hex << "(" << c[1] << ")";
    }
}

const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();

// The six relations, by expression 21 to 26 and by the operator text of expression 56, at equality and on
// either side of it: integers (given as floats by the host), floats one step apart, signed zeros,
// infinities and NaN. The order of a and b ('<', '=', '>', or '?' when unordered) decides the answers to
// ==, !=, <, <=, >, >=. Integer equality is condition 0; any other operator text answers 0.
TEST_F(MathExpressions, ComparisonsAtEqualityAndOnEitherSide)
{
    const std::map<char, std::string> answers = {
        {'<', "011100"}, {'=', "100101"}, {'>', "010011"}, {'?', "010000"}};
    const float above = TestHost::FromBits(0x3FC00001); // the float after 1.5
    const std::tuple<Arg, Arg, char> pairs[] = {
        {2, 2, '='},         {2, 3, '<'},         {3, 2, '>'},        {INT_MIN, INT_MIN, '='},
        {1.5f, 1.5f, '='},   {1.5f, above, '<'},  {above, 1.5f, '>'}, {-0.0f, 0.0f, '='},
        {0.0f, 1e-45f, '<'}, {1e-45f, 0.0f, '>'}, {inf, inf, '='},    {-inf, -3e38f, '<'},
        {inf, 3e38f, '>'},   {nan, nan, '?'},     {nan, 1.0f, '?'},   {1.0f, nan, '?'}};
    const wchar_t* const relations[] = {L"==", L"!=", L"<", L"<=", L">", L">="};
    for (const auto& [a, b, order] : pairs) {
        std::string byMember, byText, byOther;
        for (int i = 0; i < 6; ++i) {
            byMember += char('0' + session.Expression(object, 21 + i, {a, b}));
            byText += char('0' + session.Expression(object, 56, {a, relations[i], b}));
        }
        for (const wchar_t* op : {L" ==", L"== ", L"=", L"<>", L"", L"=<", L"!", L"==="})
            byOther += char('0' + session.Expression(object, 56, {a, op, b}));
        EXPECT_EQ(byMember + " " + byText + " " + byOther,
                  answers.at(order) + " " + answers.at(order) + " 00000000")
            << Shown(a) << " " << order << " " << Shown(b);
    }
    const int integers[][3] = {{5, 5, 1}, {5, 6, 0}, {6, 5, 0}, {INT_MIN, INT_MIN, 1}, {INT_MIN, INT_MAX, 0}};
    for (const auto& c : integers)
        EXPECT_EQ(session.Condition(object, 0, {c[0], c[1]}), c[2]) << c[0] << " " << c[1];
}

// Texts compare code unit by code unit, case, spaces and length included: by expressions 29 and 30, and by
// expression 57 with "==" and "!="; any other operator answers 0, ordered texts included.
TEST_F(MathExpressions, TextComparisons)
{
    const std::tuple<const wchar_t*, const wchar_t*, bool> pairs[] = {{L"a", L"a", true},
                                                                      {L"a", L"b", false},
                                                                      {L"b", L"a", false},
                                                                      {L"a", L"A", false},
                                                                      {L"a", L"a ", false},
                                                                      {L" a", L"a", false},
                                                                      {L"", L"", true},
                                                                      {L"ab", L"abc", false},
                                                                      {L"abc", L"ab", false},
                                                                      {L"\u00e9", L"\u00e9", true},
                                                                      {L"\u00e9", L"e\u0301", false}};
    for (const auto& [a, b, same] : pairs) {
        std::wstring seen;
        for (const auto& [id, op] : {std::pair{29, L""},
                                     {30, L""},
                                     {57, L"=="},
                                     {57, L"!="},
                                     {57, L"<"},
                                     {57, L">"},
                                     {57, L" =="},
                                     {57, L""}})
            seen += std::to_wstring(id == 57 ? session.Expression(object, 57, {a, op, b})
                                             : session.Expression(object, id, {a, b}));
        EXPECT_EQ(seen, same ? L"10100000" : L"01010000") << a << "|" << b;
    }
}

// id, then the arguments, and the float answered: the value when the condition is not 0, else 0 or the other.
TEST_F(MathExpressions, SelectionAndTheExampleActions)
{
    const std::tuple<int, std::vector<Arg>, float> cases[] = {
        {19, {0, 5.5f}, 0.0f},       {19, {1, 5.5f}, 5.5f},         {19, {-1, -0.0f}, -0.0f},
        {19, {INT_MIN, 2.0f}, 2.0f}, {19, {0, nan}, 0.0f},          {20, {-1, 1.0f, 2.0f}, 1.0f},
        {20, {0, 1.0f, 2.0f}, 2.0f}, {20, {7, -0.0f, 2.0f}, -0.0f}, {20, {0, 1.0f, -inf}, -inf}};
    for (const auto& [id, args, value] : cases)
        EXPECT_EQ(BitsOf(session.ExpressionFloat(object, id, args)), BitsOf(value))
            << id << " " << Shown(args[0]);
    // The example actions do nothing: no answer, nothing asked of the host, no box.
    session.TheHost().ResetCounts();
    EXPECT_EQ(session.Action(object, 0, {12345}) + session.Action(object, 1), 0);
    EXPECT_TRUE(session.TheHost().callbackLog.empty() && session.Boxes().Boxes().empty());
}

// A text handed back is a copy in the host's string space that holds the text and its NUL, nothing more:
// the space asked for is read whole. Each text given is followed, past its NUL, by more characters that a
// copy must not take; lengths 0 to 13 cross the steps of four characters in which texts are measured.
TEST_F(MathExpressions, TextResultsAreExactCopiesInTheHostsStringSpace)
{
    TestHost::Host& host = session.TheHost();
    const auto handedBack = [&](const std::pair<int, std::vector<Arg>>& call) {
        host.ResetCounts();
        const auto address = static_cast<std::uint32_t>(session.Expression(object, call.first, call.second));
        const auto* text = reinterpret_cast<const wchar_t*>(std::uintptr_t(address));
        const auto& asked = host.stringRequests;
        if (asked.size() != 1 || asked[0] < 2 || asked[0] % 2 != 0 || text == nullptr)
            return L"(" + std::to_wstring(asked.size()) + L" requests, " + std::to_wstring(address) + L")";
        return std::wstring(text, static_cast<std::size_t>(asked[0] / 2));
    };
    session.Action(object, 33, {L"t", 1});
    for (std::size_t n = 0; n <= 13; ++n) {
        const std::wstring text = std::wstring(L"0123456789abcd").substr(0, n),
                           given = text + L'\0' + L"PAST THE END";
        const Arg past = Arg::Raw(TestHost::Address(given.c_str()));
        session.Action(object, 35, {L"t", 0, text.c_str()});
        session.Action(object, 23, {L"m", text.c_str()});
        const std::pair<int, std::vector<Arg>> calls[] = {{27, {1, past}},
                                                          {28, {1, past, L"x"}},
                                                          {28, {0, L"x", past}},
                                                          {34, {L"t", 0}},
                                                          {31, {L"m", L"X"}}};
        for (const auto& call : calls)
            EXPECT_EQ(handedBack(call), text + L'\0') << call.first << ", length " << n;
    }
    EXPECT_EQ(handedBack({27, {0, L"x"}}), std::wstring(1, L'\0'));
    EXPECT_EQ(handedBack({1, {}}), std::wstring(L"Hello world!") + L'\0');
}

// A window below one sample is one sample; one beyond 1048576 samples is refused and stays as it was.
// Failures are recorded in the last-error text, stamped "[YYYY-MM-DD HH:MM:SS] " locally, never shown.
using BuiltMicrophone = TestHost::SessionWithObject<testing::Test>;

TEST_F(BuiltMicrophone, FailuresAreRecordedAndNeverShown)
{
    const auto lastError = [&] {
        const std::wregex stamp(LR"(^\[\d{4}(-\d\d){2} \d\d(:\d\d){2}\] )");
        return std::regex_replace(session.ExpressionText(object, 75), stamp, L"[time] ");
    };
    const std::wstring refused = L"[time] (-210) - Failed to set the sample window: at most 1048576 samples.";
    const std::pair<int, int> sizes[] = {{0, 1},      {-7, 1},      {INT_MIN, 1},   {1048576, 1048576},
                                         {3, 3},      {1048577, 3}, {507560658, 3}, {1073741823, 3},
                                         {INT_MAX, 3}};
    for (auto [requested, kept] : sizes) {
        session.Action(object, 38, {requested});
        EXPECT_EQ(session.Expression(object, 62), kept) << requested;
        EXPECT_EQ(lastError(), requested <= 1048576 ? L"" : refused) << requested;
    }
    session.Action(object, 37, {0}); // no delay
    for (int attempt : {1, 2}) {     // a failed opening is tried again from the start
        EXPECT_EQ(session.Action(object, 36), 0) << attempt;
        EXPECT_EQ(session.Expression(object, 74), 0) << attempt; // not active
        EXPECT_EQ(session.ExpressionFloat(object, 58), 0.0f) << attempt;
        EXPECT_EQ(lastError(), L"[time] (-203) - Failed to get default microphone.") << attempt;
    }
    session.Action(object, 39); // closing what is not open: nothing
    session.Action(object, 40); // Wine lists no active capture device
    EXPECT_EQ(session.Expression(object, 66), 0);
    EXPECT_EQ(session.ExpressionText(object, 67, {0}) + session.ExpressionText(object, 68, {0}), L"");
    // Each use of COM was ended: this thread starts a new one.
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    EXPECT_TRUE(session.Boxes().Installed() && session.Boxes().Boxes().empty());
}

// The built library with scripted audio devices in place of Windows' own: its imports of COM, the clock
// and the local time lead to the test host's fakes. The desk's microphone is the default device.
class BuiltMicrophoneDevices : public TestHost::SessionWithObject<testing::Test> {
protected:
    BuiltMicrophoneDevices() { Audio::Enumerator.devices = {&Audio::DeskMic, &Audio::HeadsetMic}; }

    template <typename F> TestHost::ImportPatch Patch(const char* dll, const char* function, F* fake)
    {
        return TestHost::ImportPatch(session.Lib().Module(), dll, function, reinterpret_cast<void*>(fake));
    }
    float Float(int id) { return session.ExpressionFloat(object, id); }
    std::wstring Text(int id, const std::vector<Arg>& args = {})
    {
        return session.ExpressionText(object, id, args);
    }
    // "active, level: last error", as the author reads them.
    std::wstring Seen()
    {
        return std::to_wstring(session.Expression(object, 74)) + L", " + std::to_wstring(Float(58)) + L": " +
               Text(75);
    }
    // Whether every fake was given back, and every use of COM ended.
    static bool NothingHeld()
    {
        for (const Audio::Fake* fake : {&Audio::Com, &Audio::Enumerator, &Audio::Collection, &Audio::Store,
                                        &Audio::Client, &Audio::Meter, &Audio::DeskMic, &Audio::HeadsetMic})
            if (fake->references != 0)
                return false;
        return true;
    }

    const TestHost::ImportPatch patches[6] = {
        Patch("ole32.dll", "CoInitialize", &Audio::CoInitialize),
        Patch("ole32.dll", "CoUninitialize", &Audio::CoUninitialize),
        Patch("ole32.dll", "CoCreateInstance", &Audio::CoCreateInstance),
        Patch("ole32.dll", "CoTaskMemFree", &Audio::CoTaskMemFree),
        Patch("kernel32.dll", "GetTickCount64", &Audio::GetTickCount64),
        Patch("kernel32.dll", "GetLocalTime", &Audio::GetLocalTime)};
};

// Whichever step of the opening fails, the author sees it: the capture is not active, no sample is taken,
// and the last error names the step. The next capture starts again and opens.
TEST_F(BuiltMicrophoneDevices, AFailedOpeningIsSeenAndTheNextCaptureOpens)
{
    for (const auto& patch : patches)
        ASSERT_TRUE(patch.Installed());
    const std::pair<const char*, const wchar_t*> steps[] = {
        {"Co Initialize", L"(-201) - COM: Failed to initialize."},
        {"Co CreateInstance", L"(-202) - Failed to create MMDeviceEnumerator instance."},
        {"enumerator GetDefaultAudioEndpoint", L"(-203) - Failed to get default microphone."},
        {"desk Activate client", L"(-204) - Failed to activate IAudioClient."},
        {"client GetMixFormat", L"(-205) - Failed to get audio mixing format."},
        {"client Initialize", L"(-206) - Failed to initialize iAudioClient."},
        {"client Start", L"(-207) - Failed to launch audio client."},
        {"desk Activate meter", L"(-208) - Failed to activate IAudioMeterInformation for volume reading."}};
    session.Action(object, 37, {0}); // an opening capture samples at once
    float level = 0.0f;
    for (const auto& [step, text] : steps) {
        Audio::Results = {{step, E_FAIL}};
        Audio::Meter.peak = 1.0f;
        EXPECT_EQ(session.Action(object, 36), 0) << step;
        const std::wstring error = Audio::Stamp + text;
        EXPECT_EQ(Seen(), L"0, " + std::to_wstring(level) + L": " + error) << step;
        EXPECT_TRUE(NothingHeld()) << step;
        Audio::Results.clear();
        Audio::Meter.peak = level += 0.0625f;
        session.Action(object, 36);
        EXPECT_EQ(Seen(), L"1, " + std::to_wstring(level) + L": " + error) << step << ": never cleared";
        session.Action(object, 39);
        EXPECT_TRUE(session.Expression(object, 74) == 0 && NothingHeld()) << step;
    }
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

// The level, and the window's measures once one of them was read, as the expressions give them: the
// window of 3 samples holds 0.1, 0.01 and 1, whose mean is 0.37; -8.635965 dB is 20 log10(0.37f) in float.
TEST_F(BuiltMicrophoneDevices, SamplesOncePerDelayAndMeasuresTheWindow)
{
    session.Action(object, 37, {0});
    session.Action(object, 38, {3});
    EXPECT_EQ(std::pair(session.Expression(object, 59), session.Expression(object, 62)), std::pair(0, 3));
    for (float peak : {0.5f, 0.1f, 0.01f}) {
        Audio::Meter.peak = peak;
        session.Action(object, 36);
    }
    EXPECT_TRUE(Float(58) == 0.01f && Float(60) == -40.0f && session.Expression(object, 73) == 0)
        << "the level is no window measure";
    EXPECT_EQ(Float(63), 0.0f) << "a window completed before a measure was read is not measured";
    EXPECT_EQ(session.Expression(object, 73), 1);
    for (float peak : {0.1f, 0.01f, 1.0f}) {
        Audio::Meter.peak = peak;
        session.Action(object, 36);
    }
    // id, value
    const std::pair<int, float> measures[] = {{58, 1.0f},  {60, 0.0f}, {63, 1.0f},   {64, 0.01f},
                                              {61, 0.37f}, {71, 0.0f}, {70, -40.0f}, {72, -8.635965f}};
    for (const auto& [id, value] : measures)
        EXPECT_EQ(BitsOf(Float(id)), BitsOf(value)) << id;
    // Within the delay no sample is taken; a failed read is a level of -209, in decibels too.
    session.Action(object, 37, {100});
    Audio::Results = {{"meter GetPeakValue", E_FAIL}};
    Audio::Now += 99;
    session.Action(object, 36);
    EXPECT_EQ(Float(58), 1.0f);
    Audio::Now += 1;
    session.Action(object, 36);
    EXPECT_TRUE(Float(58) == -209.0f && Float(60) == -209.0f && session.Expression(object, 59) == 100);
    EXPECT_EQ(Text(75), Audio::Stamp + L"(-209) - Failed to retrieve peak value from microphone.");
    EXPECT_EQ(Text(65) + L"|" + Text(69), L"Desk Microphone|") << "the default device's name, no id chosen";
    session.Action(object, 39); // closing keeps the measures
    EXPECT_TRUE(session.Expression(object, 74) == 0 && NothingHeld() && Float(63) == 1.0f);
    EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()), L"")
        << "every measure is its member's, none a fallback's";
}

// The list holds the active capture devices whose id can be read, in order, with their names when they
// can be read; any failure of COM lists nothing, and nothing is reported.
TEST_F(BuiltMicrophoneDevices, ListsTheCaptureDevicesThatCanBeReadAndOpensTheOneChosen)
{
    const auto listed = [&] {
        std::wstring entries = std::to_wstring(session.Expression(object, 66)) + L":";
        for (int i : {INT_MIN, -1, 0, 1, 2, 3, INT_MAX})
            entries += L" " + Text(67, {i}) + L"=" + Text(68, {i});
        return entries;
    };
    Audio::Fake lost{"lost", L"{lost}", L"Lost"}, anonymous{"anonymous", L"{anonymous}", L"A"},
        blank{"blank", L"", L"Blank"}, unnamed{"unnamed", L"{unnamed}", L"U"};
    Audio::Enumerator.devices = {&Audio::DeskMic, &lost, &anonymous, &blank, &unnamed, &Audio::HeadsetMic};
    Audio::Results = {
        {"collection Item 1", E_FAIL}, {"anonymous GetId", E_FAIL}, {"unnamed OpenPropertyStore", E_FAIL}};
    session.Action(object, 40);
    EXPECT_EQ(listed(), L"3: = = {desk}=Desk Microphone {unnamed}= {headset}=Headset = =");
    EXPECT_TRUE(NothingHeld() && lost.references + anonymous.references + blank.references == 0);

    // Names and ids too long for the memory left: a device is listed without its name, or not at all.
    const std::wstring huge(1 << 20, L'h');
    Audio::Fake wordy{"wordy", L"{wordy}", huge}, longId{"long", huge, L"Long"};
    Audio::Enumerator.devices = {&wordy, &longId, &Audio::HeadsetMic};
    {
        const TestHost::ImportPatch full(session.Lib().Module(), "msvcrt.dll", "malloc",
                                         reinterpret_cast<void*>(LimitedMalloc));
        session.Action(object, 40);
    }
    EXPECT_EQ(listed(), L"2: = = {wordy}= {headset}=Headset = = =");

    for (const char* step :
         {"Co Initialize", "Co CreateInstance", "enumerator EnumAudioEndpoints", "collection GetCount"}) {
        Audio::Results = {{step, E_FAIL}};
        session.Action(object, 40);
        EXPECT_EQ(listed(), L"0: = = = = = = =") << step;
        EXPECT_TRUE(NothingHeld()) << step;
    }
    EXPECT_TRUE(Text(75).empty() && session.Boxes().Boxes().empty());

    // A device chosen by id is opened by it; one that is gone fails as the default device would.
    Audio::Results.clear();
    Audio::Enumerator.devices = {&Audio::DeskMic, &Audio::HeadsetMic};
    const std::pair<const wchar_t*, const wchar_t*> choices[] = {
        {L"{headset}", L"1 Headset"}, {L"{gone}", L"0 Headset"}, {L"", L"1 Desk Microphone"}};
    for (const auto& [id, seen] : choices) {
        session.Action(object, 41, {id});
        EXPECT_EQ(session.Expression(object, 74), 0) << "choosing closes";
        session.Action(object, 36);
        EXPECT_EQ(Text(69), id);
        EXPECT_EQ(std::to_wstring(session.Expression(object, 74)) + L" " + Text(65), seen) << id;
    }
    EXPECT_EQ(Text(75), Audio::Stamp + L"(-203) - Failed to get default microphone.");
}

} // namespace
