// The property value classes driven as the host drives them: every operation is called through its
// slot in the object's virtual table with the host's calling convention.
#include "InProcess.h"
#include "PropertyRecords.h"

#include "Lib/Shared/Polvane/PropertyValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using TestHost::CallSlot;
namespace Slot = TestHost::Slot;

void Release(const void* object) { CallSlot<void>(object, Slot::Delete); }
void* Copy(const void* object) { return CallSlot<void*>(object, Slot::CreateCopy); }
std::int32_t Equal(const void* a, const void* b) { return CallSlot<std::int32_t>(a, Slot::IsEqual, b); }
std::uint32_t ClassID(const void* object) { return CallSlot<std::uint32_t>(object, Slot::GetClassID); }

std::uint32_t WordAt(const void* object, std::size_t offset)
{
    std::uint32_t word;
    std::memcpy(&word, static_cast<const std::uint8_t*>(object) + offset, 4);
    return word;
}

const wchar_t* TextOf(const void* wideTextValue)
{
    return reinterpret_cast<const wchar_t*>(WordAt(wideTextValue, 8));
}

// Whether `block` is allocated and not yet freed: how a test sees what was freed.
bool IsAllocated(const void* block) { return InProcess::IsLiveAllocation(block); }

std::uint32_t FloatBits(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// Every class, made by the library as it hands objects to the host.
std::vector<std::pair<std::string, Prop*>> OneOfEach()
{
    return {{"SInt", new Prop_SInt(-7)},
            {"UInt", new Prop_UInt(0xFFFFFFF0u)},
            {"Float", new Prop_Float(2.5f)},
            {"WStr", new Prop_WStr(L"abc")}};
}

} // namespace

TEST(PropertyValues, ClassIdsAreTheirFourCharacters)
{
    const struct {
        Prop* object;
        std::uint32_t id;
        const char* characters;
    } cases[] = {
        {new Prop_SInt(1), 0x494E5420, "INT "},
        {new Prop_UInt(1), 0x44575244, "DWRD"},
        {new Prop_Float(1), 0x464C4F54, "FLOT"},
        {new Prop_WStr(L"x"), 0x53545257, "STRW"},
    };
    for (const auto& c : cases) {
        const std::uint32_t id = ClassID(c.object);
        EXPECT_EQ(id, c.id) << c.characters;
        const char spelled[] = {char(id >> 24), char(id >> 16), char(id >> 8), char(id), 0};
        EXPECT_STREQ(spelled, c.characters);
        Release(c.object);
    }
}

TEST(PropertyValues, ValueFollowsTheTablePointer)
{
    Prop* sint = new Prop_SInt(-2);
    Prop* uint = new Prop_UInt(0x80000001u);
    Prop* real = new Prop_Float(-0.5f);
    Prop* text = new Prop_WStr(L"hi");
    EXPECT_EQ(WordAt(sint, 4), 0xFFFFFFFEu);
    EXPECT_EQ(WordAt(uint, 4), 0x80000001u);
    EXPECT_EQ(WordAt(real, 4), FloatBits(-0.5f));
    EXPECT_EQ(WordAt(text, 4), 0u);
    EXPECT_STREQ(TextOf(text), L"hi");
    EXPECT_EQ(sizeof(Prop_SInt), 8u);
    EXPECT_EQ(sizeof(Prop_WStr), 12u);
    for (Prop* object : {sint, uint, real, text})
        Release(object);
}

TEST(PropertyValues, WideTextKeepsItsOwnCopyAndNullIsEmpty)
{
    wchar_t source[] = L"abc";
    Prop* text = new Prop_WStr(source);
    EXPECT_NE(TextOf(text), source);
    source[0] = L'z';
    EXPECT_STREQ(TextOf(text), L"abc");
    Release(text);

    Prop* empty = new Prop_WStr(nullptr);
    ASSERT_NE(TextOf(empty), nullptr);
    EXPECT_STREQ(TextOf(empty), L"");
    EXPECT_EQ(ClassID(empty), 0x53545257u);
    Release(empty);
}

TEST(PropertyValues, IsEqualByClass)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* label;
        Prop* a;
        Prop* b;
        std::int32_t equal;
    } cases[] = {
        {"same integers", new Prop_SInt(5), new Prop_SInt(5), 1},
        {"different integers", new Prop_SInt(5), new Prop_SInt(-5), 0},
        {"largest unsigned", new Prop_UInt(0xFFFFFFFFu), new Prop_UInt(0xFFFFFFFFu), 1},
        {"different unsigned", new Prop_UInt(1), new Prop_UInt(2), 0},
        {"same floats", new Prop_Float(1.25f), new Prop_Float(1.25f), 1},
        {"different floats", new Prop_Float(1.25f), new Prop_Float(1.5f), 0},
        {"zero and minus zero", new Prop_Float(0.0f), new Prop_Float(-0.0f), 1},
        {"NaN and NaN", new Prop_Float(nan), new Prop_Float(nan), 0},
        {"NaN and zero", new Prop_Float(nan), new Prop_Float(0.0f), 0},
        {"separate copies of abc", new Prop_WStr(L"abc"), new Prop_WStr(L"abc"), 1},
        {"empty and abc", new Prop_WStr(L""), new Prop_WStr(L"abc"), 0},
        {"abc and empty", new Prop_WStr(L"abc"), new Prop_WStr(nullptr), 0},
        {"letter case counts", new Prop_WStr(L"abc"), new Prop_WStr(L"ABC"), 0},
        {"prefix", new Prop_WStr(L"ab"), new Prop_WStr(L"abc"), 0},
        // The host may pass another class; its bits are not read as this class's value.
        {"signed and unsigned of the same bits", new Prop_SInt(5), new Prop_UInt(5), 0},
        {"unsigned and float of the same bits", new Prop_UInt(FloatBits(1.0f)), new Prop_Float(1.0f), 0},
        {"text and integer", new Prop_WStr(L""), new Prop_SInt(0), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Equal(c.a, c.b), c.equal) << c.label;
        EXPECT_EQ(Equal(c.b, c.a), c.equal) << c.label << ", reversed";
        Release(c.a);
        Release(c.b);
    }
}

TEST(PropertyValues, ObjectEqualsItselfExceptNaN)
{
    for (auto& [label, object] : OneOfEach()) {
        EXPECT_EQ(Equal(object, object), 1) << label;
        Release(object);
    }
    Prop* nan = new Prop_Float(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(Equal(nan, nan), 0);
    void* copy = Copy(nan);
    EXPECT_EQ(Equal(nan, copy), 0);
    Release(copy);
    Release(nan);
}

TEST(PropertyValues, TextWithoutPointerEqualsAnyText)
{
    Prop* a = new Prop_WStr(L"abc");
    Prop* b = new Prop_WStr(L"xyz");
    // The host's own objects may carry no text: such a value matches whatever it is compared with.
    wchar_t* kept = reinterpret_cast<wchar_t*>(WordAt(b, 8));
    const std::uint32_t none = 0;
    std::memcpy(reinterpret_cast<std::uint8_t*>(b) + 8, &none, 4);
    EXPECT_EQ(Equal(a, b), 1);
    EXPECT_EQ(Equal(b, a), 1);
    std::memcpy(reinterpret_cast<std::uint8_t*>(b) + 8, &kept, 4);
    EXPECT_EQ(Equal(a, b), 0);
    Release(a);
    Release(b);
}

TEST(PropertyValues, CreateCopyIsIndependent)
{
    for (auto& [label, original] : OneOfEach()) {
        void* copy = Copy(original);
        ASSERT_NE(copy, nullptr) << label;
        EXPECT_NE(copy, original) << label;
        EXPECT_EQ(*static_cast<void**>(copy), *reinterpret_cast<void**>(original)) << label << ": same class";
        EXPECT_EQ(ClassID(copy), ClassID(original)) << label;
        EXPECT_EQ(Equal(copy, original), 1) << label;
        EXPECT_EQ(WordAt(copy, 4), WordAt(original, 4)) << label;
        Release(original);
        EXPECT_TRUE(IsAllocated(copy)) << label;
        Release(copy);
    }
}

TEST(PropertyValues, CopiedTextOutlivesTheOriginal)
{
    Prop* original = new Prop_WStr(L"abc");
    void* copy = Copy(original);
    ASSERT_NE(TextOf(copy), TextOf(original));
    const wchar_t* originalText = TextOf(original);
    Release(original);
    EXPECT_FALSE(IsAllocated(originalText));
    ASSERT_TRUE(IsAllocated(TextOf(copy)));
    EXPECT_STREQ(TextOf(copy), L"abc");
    Release(copy);
}

TEST(PropertyValues, DeleteFreesObjectAndText)
{
    for (auto& [label, object] : OneOfEach()) {
        const wchar_t* text = label == "WStr" ? TextOf(object) : nullptr;
        ASSERT_TRUE(IsAllocated(object)) << label;
        Release(object);
        EXPECT_FALSE(IsAllocated(object)) << label;
        if (text != nullptr) {
            EXPECT_FALSE(IsAllocated(text)) << label;
        }
    }
}

TEST(PropertyValues, DeletingDestructorFreesOnlyWithBitZero)
{
    for (const unsigned flag : {0u, 2u, 1u, 3u}) {
        for (auto& [label, object] : OneOfEach()) {
            const wchar_t* text = label == "WStr" ? TextOf(object) : nullptr;
            EXPECT_EQ(CallSlot<void*>(object, Slot::DeletingDestructor, flag), object)
                << label << " " << flag;
            EXPECT_EQ(IsAllocated(object), (flag & 1) == 0) << label << " " << flag;
            // Only Delete frees the text; the destructor leaves it to its owner.
            if (text != nullptr) {
                EXPECT_TRUE(IsAllocated(text)) << label << " " << flag;
                delete[] text;
            }
            if ((flag & 1) == 0)
                ::operator delete(object);
        }
    }
}

TEST(PropertyValues, CopyToHostValueFillsWordOneAndTheText)
{
    const struct {
        const char* label;
        Prop* object;
        std::uint32_t word;
    } cases[] = {
        {"signed", new Prop_SInt(-2), 0xFFFFFFFE},
        {"unsigned", new Prop_UInt(0xDEADBEEF), 0xDEADBEEF},
        {"float", new Prop_Float(1.5f), 0x3FC00000},
        {"negative zero", new Prop_Float(-0.0f), 0x80000000},
    };
    for (const auto& c : cases) {
        std::uint8_t record[32];
        std::memset(record, 0xCC, sizeof record);
        EXPECT_EQ(CallSlot<std::int32_t>(c.object, Slot::CopyToHostValue, static_cast<void*>(record)), 1)
            << c.label;
        EXPECT_EQ(WordAt(record, 0), 0xCCCCCCCCu) << c.label << ": word 0 is the host's";
        EXPECT_EQ(WordAt(record, 4), c.word) << c.label;
        for (std::size_t i = 8; i < sizeof record; ++i)
            ASSERT_EQ(record[i], 0xCC) << c.label << ": byte " << i;
        Release(c.object);
    }
}

TEST(PropertyValues, CopyToHostValueOfTextPointsIntoTheRecord)
{
    for (const wchar_t* text : {L"h\u00e9llo \U0001F600", L""}) {
        Prop* object = new Prop_WStr(text);
        const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
        std::uint8_t record[64];
        std::memset(record, 0xCC, sizeof record);
        EXPECT_EQ(CallSlot<std::int32_t>(object, Slot::CopyToHostValue, static_cast<void*>(record)), 1);
        EXPECT_EQ(WordAt(record, 0), 0xCCCCCCCCu);
        EXPECT_EQ(WordAt(record, 4), 0u);
        EXPECT_EQ(WordAt(record, 8), reinterpret_cast<std::uintptr_t>(record + 12));
        EXPECT_EQ(std::memcmp(record + 12, text, bytes), 0);
        for (std::size_t i = 12 + bytes; i < sizeof record; ++i)
            ASSERT_EQ(record[i], 0xCC) << "byte " << i << " past the text";
        Release(object);
    }
}

TEST(PropertyValues, SetByteFlagGivesTheObjectBackUnchanged)
{
    Prop* object = new Prop_SInt(42);
    for (const std::uint8_t flag : {0, 1, 0xFF})
        EXPECT_EQ(CallSlot<void*>(object, Slot::SetByteFlag, flag), object) << int(flag);
    EXPECT_EQ(WordAt(object, 4), 42u);
    EXPECT_EQ(ClassID(object), 0x494E5420u);
    Release(object);
}
