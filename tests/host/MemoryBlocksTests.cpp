// Memory blocks through the real library's jump tables: which pointer values are accepted, and that no
// read, write or copy reaches past a block, whatever its size. Blocks hold uninitialised bytes, so every
// case first writes what it later reads.
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>

namespace {

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

// Only the starts of live blocks are accepted. Pointer values are compared as they are, and with a float
// once the pointer is rounded to the nearest float.
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
            session.Action(object, id, {other, id == 5 ? TestHost::Arg(1.0f) : TestHost::Arg(1)});
        Copy(other, p, 4);
        Copy(p, other, 4);
        const int answers[] = {Valid(other), Read(other), session.Expression(object, 5, {other}),
                               session.Condition(object, 5, {other, L""}), other ? Reallocate(other, 16) : 0};
        EXPECT_EQ(std::count(answers, answers + 5, 0), 5) << other;
    }
    EXPECT_TRUE(Valid(p) && Read(p) == INT_MIN && !session.Condition(object, 2, {p}) &&
                session.Condition(object, 2, {0}));
    RUNDATA* maker = session.CreateObject(); // blocks outlive the object that made them
    const int kept = session.Expression(maker, 2, {4});
    session.Action(maker, 3, {kept, 1234});
    session.DestroyObject(maker);
    EXPECT_EQ(Read(kept), 1234);
    const auto same = [&](int pointer, TestHost::Arg other) {
        return session.Condition(object, other.kind == TestHost::Arg::Kind::Float ? 4 : 3, {pointer, other});
    };
    EXPECT_EQ((std::vector<int>{same(p, p), same(-1, -1), same(p, p + 1), same(5, 5.0f), same(0, -0.0f),
                                same(16777217, 16777216.0f), same(INT_MAX, 2147483648.0f),
                                same(16777217, 16777218.0f), same(1, 1.0000001f), same(0, NAN)}),
              (std::vector<int>{1, 1, 0, 1, 1, 1, 1, 0, 0, 0}));
}

// Copies: source size, destination size, count, destination afterwards. Texts: block size, stored bytes,
// text, whether the same: a text must end inside its block. A block reallocated keeps its bytes up to the
// smaller size, and its new size bounds every later access.
TEST_F(MemoryBlocks, NoAccessReachesPastABlockWhateverItsSize)
{
    const int copies[][4] = {
        {4, 4, 4, 0x11223344}, {8, 4, 4, 0x11223344}, {4, 8, 4, 0x11223344},  {4, 4, 2, 0x55663344},
        {4, 4, 1, 0x55667744}, {4, 4, 0, 0x55667788}, {4, 4, -1, 0x55667788}, {4, 4, INT_MIN, 0x55667788},
        {4, 4, 5, 0x55667788}, {8, 4, 8, 0x55667788}, {4, 8, 8, 0x55667788},  {4, 4, INT_MAX, 0x55667788}};
    const std::tuple<int, int, const wchar_t*, int> texts[] = {
        {4, 0x00000061, L"a", 1}, {4, 0x00000061, L"A", 0},  {4, 0x00000061, L"ab", 0},
        {4, 0x00610000, L"", 1},  {4, 0x00620061, L"ab", 0}, {4, 0x00620061, L"a", 0},
        {2, 0x00000061, L"a", 0}, {2, 0x00000000, L"", 1},   {3, 0x00000000, L"", 1},
        {3, 0x00000061, L"a", 0}};
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

} // namespace
