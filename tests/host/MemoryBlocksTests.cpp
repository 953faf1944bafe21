// Memory blocks through the real library's jump tables: which pointer values are accepted, the bytes a
// read, write or copy touches, resizing, freeing, and the registry outliving the objects. Blocks hold
// uninitialised bytes, so every case first writes what it later reads.
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using TestHost::Arg;
using TestHost::BitsOf;

namespace {

class MemoryBlocks : public TestHost::SessionWithObject<testing::Test> {
protected:
    int Allocate(int size, RUNDATA* on = nullptr) { return session.Expression(on ? on : object, 2, {size}); }
    int Reallocate(int pointer, int size) { return session.Expression(object, 4, {pointer, size}); }
    void Free(int pointer) { session.Action(object, 2, {pointer}); }
    void WriteInt(int pointer, int value, RUNDATA* on = nullptr)
    {
        session.Action(on ? on : object, 3, {pointer, value});
    }
    void WriteFloat(int pointer, float value) { session.Action(object, 5, {pointer, value}); }
    void Copy(int source, int destination, int count)
    {
        session.Action(object, 4, {source, destination, count});
    }
    int ReadInt(int pointer, RUNDATA* on = nullptr)
    {
        return session.Expression(on ? on : object, 3, {pointer});
    }
    std::uint32_t ReadFloatBits(int pointer) { return BitsOf(session.ExpressionFloat(object, 5, {pointer})); }
    int IsValid(int pointer, RUNDATA* on = nullptr)
    {
        return session.Condition(on ? on : object, 1, {pointer});
    }
    int IsNull(int pointer) { return session.Condition(object, 2, {pointer}); }
    int IsInteger(int pointer, int value) { return session.Condition(object, 3, {pointer, value}); }
    int IsFloat(int pointer, float value) { return session.Condition(object, 4, {pointer, value}); }
    int IsText(int pointer, const wchar_t* text) { return session.Condition(object, 5, {pointer, text}); }

    // A block of size bytes that starts with value.
    int BlockHolding(int size, int value)
    {
        const int pointer = Allocate(size);
        EXPECT_NE(pointer, 0) << size;
        WriteInt(pointer, value);
        return pointer;
    }
    // A block of 2 bytes holding the low half of value (written through a copy: nothing else reaches it).
    int TwoBytesHolding(int value)
    {
        const int pointer = Allocate(2);
        EXPECT_NE(pointer, 0);
        Copy(BlockHolding(4, value), pointer, 2);
        return pointer;
    }
};

TEST_F(MemoryBlocks, SizesBelowOneAllocateNothing)
{
    for (int size : {0, -1, -5, INT_MIN})
        EXPECT_EQ(Allocate(size), 0) << size;
    EXPECT_EQ(IsValid(0), 0);
    EXPECT_EQ(IsNull(0), 1);
}

TEST_F(MemoryBlocks, AllocationRegistersTheBlock)
{
    const int a = Allocate(1);
    const int b = Allocate(16);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(IsValid(a), 1);
    EXPECT_EQ(IsValid(b), 1);
    EXPECT_EQ(IsNull(b), 0);
}

TEST_F(MemoryBlocks, AllocationBeyondMemoryGivesZero) { EXPECT_EQ(Allocate(INT_MAX), 0); }

TEST_F(MemoryBlocks, IntegersAndFloatsShareTheBlocksFirstFourBytesInNativeOrder)
{
    const int p = Allocate(8);
    WriteInt(p, 0x12345678);
    EXPECT_EQ(ReadInt(p), 0x12345678);
    WriteFloat(p, 1.5f);
    EXPECT_EQ(ReadFloatBits(p), BitsOf(1.5f));
    EXPECT_EQ(ReadInt(p), 0x3FC00000);
    WriteFloat(p, -0.0f);
    EXPECT_EQ(ReadInt(p), INT_MIN);
    WriteInt(p, 0x3F800000);
    EXPECT_EQ(ReadFloatBits(p), BitsOf(1.0f));
    // Little-endian: the first byte is the lowest one.
    WriteInt(p, 0x04030201);
    const int q = BlockHolding(4, 0);
    Copy(p, q, 1);
    EXPECT_EQ(ReadInt(q), 1);
}

TEST_F(MemoryBlocks, UnregisteredPointersAreRefused)
{
    const int p = BlockHolding(8, 77);
    for (int other : {0, p + 1, p + 4, p - 8, 12345, -1}) {
        EXPECT_EQ(IsValid(other), 0) << other;
        EXPECT_EQ(ReadInt(other), 0) << other;
        EXPECT_EQ(ReadFloatBits(other), 0u) << other;
        WriteInt(other, 1);
        WriteFloat(other, 1.0f);
        EXPECT_EQ(IsText(other, L""), 0) << other;
        Free(other);
    }
    EXPECT_EQ(IsValid(p), 1);
    EXPECT_EQ(ReadInt(p), 77);
}

TEST_F(MemoryBlocks, BlocksSmallerThanFourBytesRefuseReadsAndWrites)
{
    const int small = TwoBytesHolding(0x12345678);
    EXPECT_EQ(IsValid(small), 1);
    EXPECT_EQ(ReadInt(small), 0);
    EXPECT_EQ(ReadFloatBits(small), 0u);
    WriteInt(small, 0);
    WriteFloat(small, 0.0f);
    // Its two bytes are still those copied in.
    const int probe = BlockHolding(4, 0);
    Copy(small, probe, 2);
    EXPECT_EQ(ReadInt(probe), 0x5678);
}

TEST_F(MemoryBlocks, CopyBytesCopiesOnlyCountsThatFitBothBlocks)
{
    const struct {
        int sourceSize, destinationSize, count, expected;
    } cases[] = {
        {4, 4, 4, 0x11223344}, {8, 4, 4, 0x11223344}, {4, 8, 4, 0x11223344},  {4, 4, 2, 0x55663344},
        {4, 4, 1, 0x55667744}, {4, 4, 0, 0x55667788}, {4, 4, -1, 0x55667788}, {4, 4, INT_MIN, 0x55667788},
        {4, 4, 5, 0x55667788}, {8, 4, 8, 0x55667788}, {4, 8, 8, 0x55667788},  {4, 4, INT_MAX, 0x55667788},
    };
    for (const auto& c : cases) {
        const int source = BlockHolding(c.sourceSize, 0x11223344);
        const int destination = BlockHolding(c.destinationSize, 0x55667788);
        Copy(source, destination, c.count);
        EXPECT_EQ(ReadInt(destination), c.expected)
            << c.sourceSize << " to " << c.destinationSize << ", count " << c.count;
        EXPECT_EQ(ReadInt(source), 0x11223344);
    }
}

TEST_F(MemoryBlocks, CopyBytesNeedsBothPointersRegistered)
{
    const int source = BlockHolding(8, 0x11223344);
    const int destination = BlockHolding(8, 0x55667788);
    for (int other : {0, source + 4, destination + 4, 12345}) {
        Copy(source, other, 4);
        Copy(other, destination, 4);
    }
    EXPECT_EQ(ReadInt(destination), 0x55667788);
    const int freed = BlockHolding(4, 1);
    Free(freed);
    Copy(freed, destination, 4);
    EXPECT_EQ(ReadInt(destination), 0x55667788);
    Copy(source, source, 4);
    EXPECT_EQ(ReadInt(source), 0x11223344);
}

TEST_F(MemoryBlocks, FreeUnregistersOnce)
{
    const int p = BlockHolding(4, 5);
    const int kept = BlockHolding(4, 6);
    Free(p);
    EXPECT_EQ(IsValid(p), 0);
    EXPECT_EQ(ReadInt(p), 0);
    Free(p);
    Free(0);
    EXPECT_EQ(IsValid(kept), 1);
    EXPECT_EQ(ReadInt(kept), 6);
}

TEST_F(MemoryBlocks, ReallocationRefusesSizesBelowOneAndKeepsTheBlock)
{
    const int p = BlockHolding(8, 42);
    for (int size : {0, -1, INT_MIN}) {
        EXPECT_EQ(Reallocate(p, size), 0) << size;
        EXPECT_EQ(IsValid(p), 1) << size;
        EXPECT_EQ(ReadInt(p), 42) << size;
    }
}

TEST_F(MemoryBlocks, ReallocationOfUnregisteredPointersGivesZero)
{
    const int p = BlockHolding(8, 42);
    const int freed = BlockHolding(8, 1);
    Free(freed);
    for (int other : {p + 4, 12345, freed})
        EXPECT_EQ(Reallocate(other, 16), 0) << other;
    EXPECT_EQ(IsValid(p), 1);
    EXPECT_EQ(IsValid(p + 4), 0);
}

TEST_F(MemoryBlocks, ReallocationOfZeroAllocatesANewBlock)
{
    const int p = Reallocate(0, 16);
    ASSERT_NE(p, 0);
    EXPECT_EQ(IsValid(p), 1);
    WriteInt(p, -3);
    EXPECT_EQ(ReadInt(p), -3);
}

TEST_F(MemoryBlocks, ReallocationMovesTheRegistrationAndKeepsTheContents)
{
    const int p = BlockHolding(4, 0x0BADF00D);
    const int moved = Reallocate(p, 1 << 20);
    ASSERT_NE(moved, 0);
    // A mebibyte never fits where four bytes were: the heap hands out a new address.
    ASSERT_NE(moved, p);
    EXPECT_EQ(IsValid(moved), 1);
    EXPECT_EQ(IsValid(p), 0);
    EXPECT_EQ(ReadInt(p), 0);
    EXPECT_EQ(ReadInt(moved), 0x0BADF00D);
}

TEST_F(MemoryBlocks, ReallocationUpdatesTheSizeThatReadsAndWritesCheck)
{
    const int p = BlockHolding(8, 0x00010005);
    const int shrunk = Reallocate(p, 2);
    ASSERT_NE(shrunk, 0);
    EXPECT_EQ(IsValid(shrunk), 1);
    EXPECT_EQ(ReadInt(shrunk), 0);
    const int grown = Reallocate(shrunk, 4);
    ASSERT_NE(grown, 0);
    EXPECT_EQ(ReadInt(grown) & 0xFFFF, 5); // the two bytes kept by the shrink
    WriteInt(grown, 9);
    EXPECT_EQ(ReadInt(grown), 9);
}

TEST_F(MemoryBlocks, ReallocationBeyondMemoryKeepsTheOldBlock)
{
    const int p = BlockHolding(8, 42);
    EXPECT_EQ(Reallocate(p, INT_MAX), 0);
    EXPECT_EQ(IsValid(p), 1);
    EXPECT_EQ(ReadInt(p), 42);
}

TEST_F(MemoryBlocks, PointerValueTests)
{
    const int p = Allocate(4);
    EXPECT_EQ(IsNull(p), 0);
    for (int value : {1, -1, INT_MIN})
        EXPECT_EQ(IsNull(value), 0) << value;

    const struct {
        int pointer, value, expected;
    } integers[] = {{p, p, 1}, {12345, 12345, 1}, {0, 0, 1}, {-1, -1, 1}, {p, p + 1, 0}, {1, -1, 0}};
    for (const auto& c : integers)
        EXPECT_EQ(IsInteger(c.pointer, c.value), c.expected) << c.pointer << " " << c.value;

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int pointer;
        float value;
        int expected;
    } floats[] = {
        {5, 5.0f, 1},
        {-3, -3.0f, 1},
        {0, -0.0f, 1},
        {16777217, 16777216.0f, 1}, // the integer rounds to the nearest float first
        {16777217, 16777218.0f, 0},
        {INT_MAX, 2147483648.0f, 1},
        {INT_MIN, -2147483648.0f, 1},
        {1, 1.0000001f, 0},
        {0, nan, 0},
        {p, static_cast<float>(p), 1},
    };
    for (const auto& c : floats)
        EXPECT_EQ(IsFloat(c.pointer, c.value), c.expected) << c.pointer << " " << c.value;
}

TEST_F(MemoryBlocks, IsPointerTextNeedsATerminatorInsideTheBlock)
{
    const int a = BlockHolding(4, 0x00000061); // "a" and its NUL
    EXPECT_EQ(IsText(a, L"a"), 1);
    for (const wchar_t* other : {L"A", L"", L"ab", L"a "})
        EXPECT_EQ(IsText(a, other), 0) << testing::PrintToString(std::wstring(other));

    const int empty = BlockHolding(4, 0x00610000); // a NUL first
    EXPECT_EQ(IsText(empty, L""), 1);
    EXPECT_EQ(IsText(empty, L"a"), 0);

    const int unterminated = BlockHolding(4, 0x00620061); // "ab", no room left for a NUL
    EXPECT_EQ(IsText(unterminated, L"ab"), 0);
    EXPECT_EQ(IsText(unterminated, L"a"), 0);

    EXPECT_EQ(IsText(TwoBytesHolding(0x00000061), L"a"), 0);
    EXPECT_EQ(IsText(TwoBytesHolding(0x00610000), L""), 1);

    const int odd = Allocate(3); // one whole character and a stray byte
    Copy(BlockHolding(4, 0x00000000), odd, 3);
    EXPECT_EQ(IsText(odd, L""), 1);
    Copy(BlockHolding(4, 0x00000061), odd, 3);
    EXPECT_EQ(IsText(odd, L"a"), 0);
}

TEST_F(MemoryBlocks, SharedByObjectsAndKeptWhenTheAllocatorIsDestroyed)
{
    RUNDATA* allocator = session.CreateObject();
    const int p = Allocate(4, allocator);
    ASSERT_NE(p, 0);
    WriteInt(p, 1234, allocator);
    EXPECT_EQ(ReadInt(p), 1234);
    session.DestroyObject(allocator);
    EXPECT_EQ(IsValid(p), 1);
    EXPECT_EQ(ReadInt(p), 1234);
    RUNDATA* later = session.CreateObject();
    EXPECT_EQ(IsValid(p, later), 1);
    EXPECT_EQ(ReadInt(p, later), 1234);
}

} // namespace
