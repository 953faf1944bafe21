// The property value classes driven as the host drives them: every operation through its slot in the
// object's virtual table, with the host's calling convention.
#include "InProcess.h"
#include "PropertyRecords.h"

#include "Lib/Shared/Polvane/PropertyValues.h"

#include <gtest/gtest.h>

#include <limits>

using namespace TestHost;

namespace {

std::int32_t Equal(const void* a, const void* b) { return CallSlot<std::int32_t>(a, Slot::IsEqual, b); }
void Release(const void* object) { CallSlot<void>(object, Slot::Delete); }
std::uint32_t WordAt(const void* object, std::size_t at)
{
    return static_cast<const std::uint32_t*>(object)[at / 4];
}
const wchar_t* TextOf(const void* object) { return reinterpret_cast<const wchar_t*>(WordAt(object, 8)); }

// Whether block is allocated and not yet freed: how a test sees what was freed.
bool IsAllocated(const void* block) { return InProcess::IsLiveAllocation(block); }

} // namespace

TEST(PropertyValues, EachClassThroughItsSlots)
{
    const wchar_t* const text = L"h\u00e9 \U0001F600"; // 6 characters with its NUL
    const struct {
        Prop* object;
        std::uint32_t classID, word;
    } cases[] = {{new Prop_SInt(-2), 0x494E5420, 0xFFFFFFFE},
                 {new Prop_UInt(0xDEADBEEF), 0x44575244, 0xDEADBEEF},
                 {new Prop_Float(-0.0f), 0x464C4F54, 0x80000000},
                 {new Prop_WStr(text), 0x53545257, 0}};
    for (const auto& [object, classID, word] : cases) {
        const bool isText = classID == 0x53545257;
        std::uint32_t record[8] = {0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC};
        EXPECT_EQ(
            std::tuple(CallSlot<std::uint32_t>(object, Slot::GetClassID), WordAt(object, 4),
                       CallSlot<std::int32_t>(object, Slot::CopyToHostValue, static_cast<void*>(record))),
            std::tuple(classID, word, 1));
        // Word 0 is the host's; a text goes into the record's own buffer, from byte 12.
        EXPECT_EQ(std::tuple(record[0], record[1], record[2], record[6], record[7]),
                  std::tuple(0xCCCCCCCCu, word,
                             isText ? std::uint32_t(std::uintptr_t(record + 3)) : 0xCCCCCCCCu, 0u, 0u));
        EXPECT_TRUE(isText ? std::wcscmp(TextOf(record), text) == 0 : record[3] == 0xCCCCCCCC) << classID;

        // A copy is its own object, text included, and outlives the original.
        void* copy = CallSlot<void*>(object, Slot::CreateCopy);
        EXPECT_EQ(*static_cast<void**>(copy), *reinterpret_cast<void**>(object)) << "same class";
        EXPECT_EQ(std::pair(Equal(copy, object), WordAt(copy, 4)), std::pair(1, word));
        const wchar_t* originalText = isText ? TextOf(object) : nullptr;
        Release(object);
        EXPECT_FALSE(IsAllocated(object) || (originalText && IsAllocated(originalText))) << classID;
        EXPECT_TRUE(!isText || (TextOf(copy) != originalText && std::wcscmp(TextOf(copy), text) == 0));
        // The deleting destructor frees the object only with bit 0 of its flag, and never the text.
        const wchar_t* copyText = isText ? TextOf(copy) : nullptr;
        EXPECT_EQ(CallSlot<void*>(copy, Slot::DeletingDestructor, 2u), copy);
        EXPECT_TRUE(IsAllocated(copy));
        EXPECT_EQ(CallSlot<void*>(copy, Slot::DeletingDestructor, 1u), copy);
        EXPECT_TRUE(!IsAllocated(copy) && (!copyText || IsAllocated(copyText))) << classID;
        delete[] copyText;
    }
    Prop* empty = new Prop_WStr(nullptr);
    Prop* number = new Prop_SInt(42);
    EXPECT_EQ(std::tuple(std::wstring(TextOf(empty)),
                         CallSlot<void*>(number, Slot::SetByteFlag, std::uint8_t(0xFF))),
              std::tuple(std::wstring(), static_cast<void*>(number)));
    EXPECT_EQ(WordAt(number, 4), 42u);
    Release(empty), Release(number);
}

TEST(PropertyValues, IsEqualByClass)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Prop* noText = new Prop_WStr(L"xyz"); // the host's own text objects may carry no text: it matches any
    const std::uint32_t kept = WordAt(noText, 8);
    static_cast<std::uint32_t*>(static_cast<void*>(noText))[2] = 0;
    // clang-format off
    const struct { Prop *a, *b; std::int32_t equal; } cases[] = {
        {new Prop_SInt(5), new Prop_SInt(5), 1}, {new Prop_SInt(5), new Prop_SInt(-5), 0},
        {new Prop_UInt(~0u), new Prop_UInt(~0u), 1}, {new Prop_UInt(1), new Prop_UInt(2), 0},
        {new Prop_Float(0.0f), new Prop_Float(-0.0f), 1}, {new Prop_Float(nan), new Prop_Float(nan), 0},
        {new Prop_Float(nan), new Prop_Float(0.0f), 0}, {new Prop_WStr(L"abc"), new Prop_WStr(L"abc"), 1},
        {new Prop_WStr(L""), new Prop_WStr(L"abc"), 0}, {new Prop_WStr(L"abc"), new Prop_WStr(L"ABC"), 0},
        {new Prop_WStr(L"ab"), new Prop_WStr(L"abc"), 0}, {new Prop_WStr(L"abc"), noText, 1},
        // Another class's bits are not read as this class's value.
        {new Prop_SInt(5), new Prop_UInt(5), 0}, {new Prop_WStr(L""), new Prop_SInt(0), 0}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(std::pair(Equal(c.a, c.b), Equal(c.b, c.a)), std::pair(c.equal, c.equal)) << &c - cases;
    EXPECT_EQ(Equal(cases[5].a, cases[5].a), 0); // NaN equals nothing, itself included
    static_cast<std::uint32_t*>(static_cast<void*>(noText))[2] = kept;
    for (const auto& c : cases)
        Release(c.a), Release(c.b);
}
