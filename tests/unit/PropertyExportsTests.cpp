// The property sheet's exports on records built by hand: values read and written by type and value
// class, the record rebuilt and resized by the host, check boxes, the image editors' records, and every
// box these show. Stored records are damaged on purpose to show that nothing is read or written
// outside them.
#include "InProcess.h"
#include "PropertyRecords.h"
#include "TestHost.h"

#include "Lib/Shared/Polvane/PropertyValues.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using TestHost::BytesOf;
using TestHost::HostValue;
using TestHost::StoredProperty;
using TestHost::U16Bytes;
using TestHost::U32At;
using TestHost::ValueBytes;

constexpr std::uint32_t FirstID = 0x80000;
constexpr UINT ErrorStyle = MB_ICONERROR;
constexpr UINT WarningStyle = MB_ICONWARNING;

std::string Definition(const std::string& properties)
{
    return R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {"Properties": [)" + properties +
           "]}}";
}

// One property of each kind the exports treat apart, and the record that stores them.
const char* const SheetProperties = R"(
    {"Title": "Version", "Type": "Text", "DefaultState": "1.0 \u00e9"},
    {"Title": "Name", "Type": "Editbox String"},
    {"Title": "Count", "Type": "Editbox Number"},
    {"Title": "Speed", "Type": "Editbox Float"},
    {"Title": "Mode", "Type": "Combo Box", "Items": ["a", "b"]},
    {"Title": "Flag", "Type": "Checkbox"},
    {"Title": "Area", "Type": "Size"},
    {"Title": "Pictures", "Type": "Image List", "MaxNumImages": 3},
    {"Title": "Go", "Type": "Edit button", "DefaultState": "Press"},
    {"Title": "Notes", "Type": "Text"},
    {"Title": "Box", "Type": "Folder"},
    {"Type": "FolderEnd"})";

enum Sheet : std::uint32_t {
    Version,
    Name,
    Count,
    Speed,
    Mode,
    Flag,
    Area,
    Pictures,
    Go,
    Notes,
    Box,
    BoxEnd
};

// Where Name's entry and value lie: after the header, the block's fixed part, two checkbox bytes and
// the seven bytes of the Text entry; the value after the entry's header and the title.
constexpr std::size_t NameEntry = 20 + 20 + 2 + 7;
constexpr std::size_t NameValue = NameEntry + 7 + 4;

std::vector<StoredProperty> SheetEntries()
{
    return {{1, "", ""},
            {5, "Name", "abc"},
            {6, "Count", ValueBytes(42)},
            {21, "Speed", ValueBytes(2.5f)},
            {7, "Mode", "b"},
            {10, "Flag", ""},
            {8, "Area", ValueBytes(3) + ValueBytes(4)},
            {23, "Pictures", U16Bytes({2, 11, 12})},
            {4, "", ""},
            {1, "", ""},
            {2, "", ""},
            {3, "", ""}};
}

std::uint32_t Word(const void* pointer)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// A value object described as "class id:value", "null" for none; the object is released.
std::wstring Describe(Prop* value)
{
    if (value == nullptr)
        return L"null";
    std::wostringstream out;
    const std::uint32_t id = value->GetClassID();
    out << static_cast<wchar_t>(id >> 24) << static_cast<wchar_t>((id >> 16) & 0xFF)
        << static_cast<wchar_t>((id >> 8) & 0xFF) << static_cast<wchar_t>(id & 0xFF) << L':';
    switch (id) {
    case Prop_SInt::ClassID:
        out << static_cast<Prop_SInt*>(value)->Value;
        break;
    case Prop_UInt::ClassID:
        out << static_cast<Prop_UInt*>(value)->Value;
        break;
    case Prop_Float::ClassID:
        out << static_cast<Prop_Float*>(value)->Value;
        break;
    case Prop_WStr::ClassID:
        out << static_cast<Prop_WStr*>(value)->Text;
        break;
    }
    value->Delete();
    return out.str();
}

class PropertyExportsTest : public testing::Test {
protected:
    void SetUp() override { Build(SheetProperties); }

    // The state object for those properties; the boxes of building it are not this test's.
    void Build(const std::string& properties)
    {
        state.reset();
        state.reset(InProcess::BuildState(Definition(properties)));
        boxes.clear();
    }

    ::mV* MV() { return host.MV(); }

    void ExpectBox(const wchar_t* title, const std::wstring& text, UINT style, const std::string& label = {})
    {
        ASSERT_EQ(boxes.size(), 1u) << label;
        EXPECT_EQ(boxes[0].title, std::wstring(title) + L" - Morvalex") << label;
        EXPECT_EQ(boxes[0].text, text) << label;
        EXPECT_EQ(boxes[0].style & (MB_ICONMASK | MB_TYPEMASK), style) << label;
    }

    // Sets a property from a host value object, as the host hands it over.
    void Set(std::uint32_t index, HostValue& value)
    {
        resizesBefore = host.ReallocRequests().size();
        SetPropValue(MV(), TestHost::AsEditData(record), FirstID + index, reinterpret_cast<Prop*>(&value));
    }

    bool Resized() const { return host.ReallocRequests().size() > resizesBefore; }

    // The object's record after the last Set: the host's resized one, or the same one changed in place.
    std::vector<std::uint8_t> Current() { return Resized() ? BytesOf(host.LastReallocated()) : record; }

    // What the host holds after entries were changed: the block rebuilt for them, and the maximum
    // size word that the host kept from the first record.
    std::vector<std::uint8_t> Expected(const std::vector<StoredProperty>& entries)
    {
        return TestHost::StoredEditData(entries, {}, U32At(record, 4));
    }

    InProcess::RunningAs builtApplication{Polvane::MFXRunMode::BuiltEXE};
    InProcess::BoxRecorder recorder;
    std::vector<TestHost::RecordedBox>& boxes = recorder.boxes;
    TestHost::Host host{GetDesktopWindow()};
    std::unique_ptr<Tovik::SDK> state;
    std::vector<std::uint8_t> record = TestHost::StoredEditData(SheetEntries());
    std::size_t resizesBefore = 0;
};

TEST_F(PropertyExportsTest, GetPropValueGivesEachTypesValue)
{
    const struct {
        std::uint32_t id;
        const wchar_t* expected;
    } cases[] = {
        {FirstID + Version, L"STRW:1.0 \u00e9"}, // the default: a Text stores nothing
        {FirstID + Name, L"STRW:abc"},
        {FirstID + Count, L"INT :42"},
        {FirstID + Speed, L"FLOT:2.5"},
        {FirstID + Mode, L"DWRD:1"}, // the position of the stored item
        {FirstID + Flag, L"null"},
        {FirstID + Go, L"STRW:Press"},
        {FirstID + Notes, L"STRW:"},
        {FirstID + Box, L"null"},
        {FirstID + BoxEnd, L"null"},
        {FirstID + BoxEnd + 1, L"null"},
        {FirstID - 1, L"null"},
        {0, L"null"},
        {0xFFFFFFFF, L"null"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Describe(GetPropValue(MV(), TestHost::AsEditData(record), c.id)), c.expected)
            << std::hex << c.id;
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PropertyExportsTest, StoredTextIsReadAsUTF8)
{
    auto entries = SheetEntries();
    entries[Name].value = "n\xC3\xA9\xE2\x82\xAC";
    record = TestHost::StoredEditData(entries);
    EXPECT_EQ(Describe(GetPropValue(MV(), TestHost::AsEditData(record), FirstID + Name)),
              L"STRW:n\u00e9\u20ac");
}

TEST_F(PropertyExportsTest, GetPropValueRefusesRecordsItCannotRead)
{
    const struct {
        std::uint32_t extVersion;
        std::uint32_t offset;
        std::uint32_t sizeWord;
        const wchar_t* title;
        const wchar_t* text;
    } cases[] = {
        {2, 20, 1, L"Version upgrade failure",
         L"Extension version mismatch (MFA is 2, real ext is 1). You should update the Morvalex extension "
         L"immediately, WITHOUT saving the MFA first."},
        {0xFFFFFFFF, 20, 1, L"Version upgrade failure",
         L"Extension version mismatch (MFA is 4294967295, real ext is 1). You should update the Morvalex "
         L"extension immediately, WITHOUT saving the MFA first."},
        {0, 20, 1, L"Version upgrade failure",
         L"Extension version mismatch (MFA is 0, real ext is 1). Fusion should have called "
         L"UpdateEditStructure, "
         L"but didn't."},
        {1, 0, 1, L"No smart properties",
         L"MFA ext version 1 was saved WITHOUT smart properties, but current extension has same version 1 "
         L"WITH "
         L"smart properties.\n\nDid the extension developer upgrade the extension to smart properties "
         L"without "
         L"incrementing Extension::Version?"},
        {1, 20, 0, L"Premature function call",
         L"GetProperty() called without edPtr->Polvane::Properties being valid."},
    };
    for (const auto& c : cases) {
        boxes.clear();
        record = TestHost::StoredEditData(SheetEntries());
        std::memcpy(record.data() + 8, &c.extVersion, 4);
        std::memcpy(record.data() + 16, &c.offset, 4);
        if (c.sizeWord == 0)
            std::memset(record.data() + 36, 0, 4);
        EXPECT_EQ(Describe(GetPropValue(MV(), TestHost::AsEditData(record), FirstID + Name)), L"null");
        ExpectBox(c.title, c.text, ErrorStyle, testing::PrintToString(c.extVersion));
    }
    // An id that names no property is refused before the block is looked at.
    boxes.clear();
    EXPECT_EQ(GetPropValue(MV(), TestHost::AsEditData(record), FirstID + 40), nullptr);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PropertyExportsTest, ComboBoxValueIsThePositionOfTheStoredItem)
{
    auto entries = SheetEntries();
    entries[Mode].value = "B"; // items are matched byte for byte
    record = TestHost::StoredEditData(entries);
    EXPECT_EQ(GetPropValue(MV(), TestHost::AsEditData(record), FirstID + Mode), nullptr);
    ExpectBox(L"Property error",
              L"GetProperty error: JSON Items does not contain given value B (Combo Box property \"Mode\", "
              L"ID 4, JSON "
              L"language UK English).",
              ErrorStyle);

    Build(R"({"Title": "Mode", "Type": "Combo Box Button", "Items": "a"})");
    record = TestHost::StoredEditData({{20, "Mode", "a"}});
    EXPECT_EQ(GetPropValue(MV(), TestHost::AsEditData(record), FirstID), nullptr);
    ExpectBox(
        L"Property error",
        L"GetProperty error: JSON Items not valid in Combo Box property \"Mode\", ID 0, language UK English.",
        ErrorStyle);
}

TEST_F(PropertyExportsTest, TypesWithoutAValueObjectAreReported)
{
    for (const auto& [index, type] : {std::pair{Area, L"Size"}, std::pair{Pictures, L"Image List"}}) {
        boxes.clear();
        EXPECT_EQ(GetPropValue(MV(), TestHost::AsEditData(record), FirstID + index), nullptr);
        ExpectBox(L"Property error",
                  std::wstring(L"GetProperty error: JSON property type \"") + type + L"\" is unexpected.",
                  ErrorStyle);
    }
}

// Entries are found by walking sizes read from the project: a walk that would leave the record, or an
// entry too small for its own title or value, is damage, never read.
TEST_F(PropertyExportsTest, DamagedEntriesAreReportedNotRead)
{
    const struct {
        const char* label;
        std::uint32_t nameEntrySize; // 0 to keep it
        std::uint32_t cutTo;         // the record's total size, 0 to keep it
        std::string countValue;      // empty to keep it
        Sheet read;
    } cases[] = {
        {"entry size past the record", 0xFFFFFFF0, 0, "", Count},
        {"entry size below its title", 8, 0, "", Count},
        {"record ends inside an entry", 0, 70, "", Count},
        {"record ends inside an entry's header", 0, 58, "", Name},
        {"record too small for the block", 0, 38, "", Name},
        {"value too short for its type", 0, 0, "\x01\x02", Count},
    };
    for (const auto& c : cases) {
        boxes.clear();
        auto entries = SheetEntries();
        if (!c.countValue.empty())
            entries[Count].value = c.countValue;
        record = TestHost::StoredEditData(entries);
        if (c.nameEntrySize != 0)
            std::memcpy(record.data() + NameEntry, &c.nameEntrySize, 4);
        if (c.cutTo != 0) {
            record.resize(c.cutTo);
            std::memcpy(record.data(), &c.cutTo, 4);
        }
        EXPECT_EQ(GetPropValue(MV(), TestHost::AsEditData(record), FirstID + c.read), nullptr) << c.label;
        if (c.cutTo == 38)
            ExpectBox(L"Premature function call",
                      L"GetProperty() called without edPtr->Polvane::Properties being valid.", ErrorStyle,
                      c.label);
        else
            ExpectBox(L"Polvane property error",
                      L"Warning: Returned null Data. Properties are corrupt; replace the existing Morvalex, "
                      L"by creating "
                      L"a new one and using \"Replace by another object\" in event editor.",
                      WarningStyle, c.label);
    }
    // Entries before the damage are still read.
    EXPECT_EQ(Describe(GetPropValue(MV(), TestHost::AsEditData(record), FirstID + Name)), L"STRW:abc");
}

TEST_F(PropertyExportsTest, SetPropValueTakesEachValueClassAsTheHostLaysItOut)
{
    const double half = 0.5;
    std::uint32_t halfWords[2];
    std::memcpy(halfWords, &half, 8);
    const std::string halfBytes(reinterpret_cast<const char*>(&half), 8);
    const struct {
        const char* label;
        std::uint32_t classID;
        std::uint32_t words[3];
        Sheet index;
        std::string stored;
    } cases[] = {
        {"INT ", 0x494E5420, {0xFFFFFFF9, 1, 1}, Count, ValueBytes(-7)},
        {"DWRD", 0x44575244, {0xDEADBEEF, 1, 1}, Count, "\xEF\xBE\xAD\xDE"},
        {"FLOT on an integer", 0x464C4F54, {0x3FC00000, 1, 1}, Count, ValueBytes(1.5f)},
        {"FLOT", 0x464C4F54, {0x3FC00000, 1, 1}, Speed, ValueBytes(1.5f)},
        {"SIZE from byte 4", 0x53495A45, {5, 6, 1}, Area, ValueBytes(5) + ValueBytes(6)},
        {"INT2 from byte 8", 0x494E5432, {99, 7, 8}, Area, ValueBytes(7) + ValueBytes(8)},
        {"DBLE from byte 8", 0x44424C45, {99, halfWords[0], halfWords[1]}, Area, halfBytes},
        {"DBLE on an integer", 0x44424C45, {99, halfWords[0], halfWords[1]}, Count, halfBytes},
    };
    for (const auto& c : cases) {
        record = TestHost::StoredEditData(SheetEntries());
        HostValue value(c.classID, {c.words[0], c.words[1], c.words[2]});
        Set(c.index, value);
        auto entries = SheetEntries();
        // Only a value of another size makes a new record.
        EXPECT_EQ(Resized(), entries[c.index].value.size() != c.stored.size()) << c.label;
        entries[c.index].value = c.stored;
        EXPECT_EQ(Current(), Expected(entries)) << c.label;
        EXPECT_TRUE(boxes.empty()) << c.label;
    }
}

TEST_F(PropertyExportsTest, TextsAreStoredAsUTF8)
{
    const struct {
        const char* label;
        std::uint32_t classID;
        std::wstring wide;
        std::string ansi;
        Sheet index;
        std::string stored;
    } cases[] = {
        {"STRW", 0x53545257, L"n\u00e9\u20ac", "", Name, "n\xC3\xA9\xE2\x82\xAC"},
        {"STRA", 0x53545241, L"", "xyz", Name, "xyz"},
        {"DATA", 0x44415441, L"abcd", "", Name, "abcd"},
        {"empty", 0x53545257, L"", "", Name, ""},
    };
    for (const auto& c : cases) {
        record = TestHost::StoredEditData(SheetEntries());
        std::unique_ptr<HostValue> value = c.ansi.empty() ? std::make_unique<HostValue>(c.classID, c.wide)
                                                          : std::make_unique<HostValue>(c.classID, c.ansi);
        Set(c.index, *value);
        auto entries = SheetEntries();
        entries[c.index].value = c.stored;
        EXPECT_EQ(Current(), Expected(entries)) << c.label;
        EXPECT_TRUE(boxes.empty()) << c.label;
    }
    // A text value without a text is the empty text.
    record = TestHost::StoredEditData(SheetEntries());
    HostValue noText(0x53545257, {0u, 0u, 0u});
    Set(Name, noText);
    auto entries = SheetEntries();
    entries[Name].value = "";
    EXPECT_EQ(Current(), Expected(entries));
}

// From a three-letter text to a four-letter one: one byte more in the entry, the block and the record.
TEST_F(PropertyExportsTest, LongerTextAsksTheHostForALargerRecord)
{
    EDITDATA* edPtr = TestHost::AsEditData(record);
    HostValue value(0x53545257, std::wstring(L"abcd"));
    Set(Name, value);
    ASSERT_EQ(host.FunctionLog().size(), 1u);
    const TestHost::Host::FunctionCall& call = host.FunctionLog()[0];
    EXPECT_EQ(call.edPtr, edPtr);
    EXPECT_EQ(call.id, 5);
    EXPECT_EQ(static_cast<std::uint32_t>(call.p1), Word(edPtr));
    EXPECT_EQ(call.p2, static_cast<std::int32_t>(record.size() + 1));
    EXPECT_EQ(call.p3, 0);

    const std::vector<std::uint8_t> now = BytesOf(host.LastReallocated());
    EXPECT_EQ(U32At(now, 36), record.size() + 1); // the block's size word
    EXPECT_EQ(U32At(now, NameEntry), 7u + 4 + 4); // the entry's size word
    EXPECT_EQ(U32At(record, 36), record.size());  // the host's old record is left alone
    auto entries = SheetEntries();
    entries[Name].value = "abcd";
    EXPECT_EQ(now, Expected(entries));
}

TEST_F(PropertyExportsTest, ValuesThatCannotBeStoredAreReportedAndNothingChanges)
{
    const std::vector<std::uint8_t> original = record;
    const struct {
        const char* label;
        std::uint32_t classID;
        std::wstring text;
        Sheet index;
        const wchar_t* title;
        const wchar_t* box;
        UINT style;
    } cases[] = {
        {"DATA on a number", 0x44415441, L"12", Count, L"Polvane property error",
         L"Got Buff type for non-string property \"Count\".", ErrorStyle},
        {"custom class", 0x41424344, L"", Count, L"Custom property",
         L"Assuming class ID 1094861636 is custom - but no custom code yet written.", MB_ICONINFORMATION},
        {"no bytes for a number", 0x53545257, L"", Count, L"Polvane property error",
         L"Property size of property Count (JSON type Editbox Number) is 0!", ErrorStyle},
        {"a Text stores nothing", 0x53545257, L"2.0", Version, L"Polvane property error",
         L"Couldn't find property Version (JSON type Text), failed to edit it.", ErrorStyle},
        {"not an item", 0x53545257, L"A", Mode, L"Polvane property error",
         L"Combo Box property \"Mode\" has no item \"A\"; the value was not stored.", ErrorStyle},
    };
    for (const auto& c : cases) {
        boxes.clear();
        HostValue value(c.classID, c.text);
        Set(c.index, value);
        ExpectBox(c.title, c.box, c.style, c.label);
        EXPECT_EQ(record, original) << c.label;
    }
    EXPECT_TRUE(host.ReallocRequests().empty());
}

TEST_F(PropertyExportsTest, ClassIsReadFirstButInvalidIdsChangeNothing)
{
    const std::vector<std::uint8_t> original = record;
    for (std::uint32_t id : {FirstID - 1, FirstID + BoxEnd + 1, 0u}) {
        HostValue value(0x41424344, {1u, 2u, 3u});
        SetPropValue(MV(), TestHost::AsEditData(record), id, reinterpret_cast<Prop*>(&value));
        EXPECT_EQ(value.ClassIDReads(), 1) << id;
    }
    SetPropValue(MV(), TestHost::AsEditData(record), FirstID + Count, nullptr);
    EXPECT_EQ(record, original);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(host.FunctionLog().empty());
}

TEST_F(PropertyExportsTest, ComboBoxStoresTheTextOfTheChosenItem)
{
    const struct {
        const char* label;
        std::unique_ptr<HostValue> value;
        std::string stored;
        bool resized;
    } cases[] = {
        // Both items have one byte: the record keeps its size and is written in place.
        {"index 0", std::make_unique<HostValue>(0x44575244, std::initializer_list<std::uint32_t>{0}), "a",
         false},
        {"index 1", std::make_unique<HostValue>(0x494E5420, std::initializer_list<std::uint32_t>{1}), "b",
         false},
        {"no such index", std::make_unique<HostValue>(0x44575244, std::initializer_list<std::uint32_t>{2}),
         "", true},
        {"an item's text", std::make_unique<HostValue>(0x53545257, std::wstring(L"a")), "a", false},
    };
    for (const auto& c : cases) {
        record = TestHost::StoredEditData(SheetEntries());
        Set(Mode, *c.value);
        EXPECT_EQ(Resized(), c.resized) << c.label;
        auto entries = SheetEntries();
        entries[Mode].value = c.stored;
        EXPECT_EQ(Current(), Expected(entries)) << c.label;
        EXPECT_TRUE(boxes.empty()) << c.label;
    }
}

TEST_F(PropertyExportsTest, HostRefusingToResizeLosesNothing)
{
    const std::vector<std::uint8_t> original = record;
    host.reallocRefused = true;
    HostValue value(0x53545257, std::wstring(L"abcd"));
    Set(Name, value);
    ExpectBox(L"Property Error", L"NULL returned from EDITDATA reallocation. Property changed cancelled.",
              ErrorStyle);
    EXPECT_EQ(host.ReallocRequests(),
              std::vector<std::uint32_t>{static_cast<std::uint32_t>(record.size() + 1)});
    EXPECT_EQ(record, original);
}

// The host cannot keep a record above 65535 bytes: a change that needs more is refused whole.
TEST_F(PropertyExportsTest, RecordGrowsTo65535BytesAndNoFurther)
{
    const std::size_t room = 65535 - (record.size() - 3);
    HostValue fits(0x53545257, std::wstring(room, L'x'));
    Set(Name, fits);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(host.ReallocRequests(), std::vector<std::uint32_t>{65535});
    ASSERT_NE(host.LastReallocated(), nullptr);
    EXPECT_EQ(U32At(BytesOf(host.LastReallocated()), 36), 65535u);

    const std::vector<std::uint8_t> original = record;
    HostValue tooLong(0x53545257, std::wstring(room + 1, L'x'));
    Set(Name, tooLong);
    ExpectBox(L"Polvane property error", L"Need 65536 bytes, but EDITDATA can only store 65535 bytes!",
              ErrorStyle);
    EXPECT_EQ(host.ReallocRequests().size(), 1u);
    EXPECT_EQ(record, original);
}

TEST_F(PropertyExportsTest, BlockSizeDifferentFromTheRecordsAsksFirst)
{
    const std::uint32_t wrong = static_cast<std::uint32_t>(record.size() + 3);
    const std::wstring question =
        L"Change to property \"Name\" (JSON type \"Editbox String\") caused reserved size to be different to "
        L"actual size. Press Yes to set it to Fusion's size (may corrupt properties).\nPress No to cancel "
        L"property "
        L"change.";
    std::memcpy(record.data() + 36, &wrong, 4);
    const std::vector<std::uint8_t> original = record;

    recorder.answer = IDNO;
    HostValue value(0x53545257, std::wstring(L"abcd"));
    Set(Name, value);
    ExpectBox(L"Polvane property warning", question, MB_ICONWARNING | MB_YESNO);
    EXPECT_EQ(record, original);
    EXPECT_TRUE(host.ReallocRequests().empty());

    boxes.clear();
    recorder.answer = IDYES;
    Set(Name, value);
    ExpectBox(L"Polvane property warning", question, MB_ICONWARNING | MB_YESNO);
    EXPECT_EQ(U32At(record, 36), record.size()); // the record's own size now stands
    auto entries = SheetEntries();
    entries[Name].value = "abcd";
    EXPECT_EQ(BytesOf(host.LastReallocated()), Expected(entries));

    // A value of the same size is written in place, without the question.
    boxes.clear();
    record = original;
    HostValue same(0x53545257, std::wstring(L"xyz"));
    Set(Name, same);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(record[NameValue], 'x');
}

// A record from before property blocks names no block offset; the rebuilt block still goes to 20.
TEST_F(PropertyExportsTest, RecordWithoutBlockOffsetIsRebuiltAtTwenty)
{
    std::memset(record.data() + 16, 0, 4);
    HostValue value(0x53545257, std::wstring(L"abcd"));
    Set(Name, value);
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.title, L"Old Polvane props - Morvalex");
        EXPECT_EQ(box.text, L"No offset found. Falling back to default. Resetting properties recommended.");
    }
    auto entries = SheetEntries();
    entries[Name].value = "abcd";
    auto expected = Expected(entries);
    std::memset(expected.data() + 16, 0, 4);
    EXPECT_EQ(BytesOf(host.LastReallocated()), expected);
}

// Where the old and the resized record's offset words lead to different places, the copy stays inside
// both.
std::vector<std::uint8_t> guardedRecord;
constexpr std::size_t GuardBytes = 256;

std::uint32_t HOST_STDCALL ResizeInsideGuard(EDITDATA*, std::int32_t id, std::int32_t p1, std::int32_t p2,
                                             std::int32_t)
{
    if (id != 5)
        return 0;
    const auto* old = reinterpret_cast<const EDITDATA*>(static_cast<std::uintptr_t>(p1));
    guardedRecord.assign(p2 + GuardBytes, 0xCD);
    std::memcpy(guardedRecord.data(), old, std::min<std::uint32_t>(old->eHeader.totalSize, p2));
    std::memcpy(guardedRecord.data(), &p2, 4);
    return Word(guardedRecord.data());
}

TEST_F(PropertyExportsTest, BlockCopyStaysInsideTheResizedRecord)
{
    // An offset word that is too high for the old record but not for the grown one.
    const std::uint32_t offset = static_cast<std::uint32_t>(record.size() - 10);
    std::memcpy(record.data() + 16, &offset, 4);
    ::mV mv{};
    mv.CallFunction = ResizeInsideGuard;
    HostValue value(0x53545257, std::wstring(L"abc") + std::wstring(20, L'x'));
    SetPropValue(&mv, TestHost::AsEditData(record), FirstID + Name, reinterpret_cast<Prop*>(&value));
    ASSERT_EQ(guardedRecord.size(), record.size() + 20 + GuardBytes);
    EXPECT_EQ(std::vector<std::uint8_t>(guardedRecord.end() - GuardBytes, guardedRecord.end()),
              std::vector<std::uint8_t>(GuardBytes, 0xCD));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"Offset is too high!");
}

TEST_F(PropertyExportsTest, CheckBoxesAreBitsOfTheBlock)
{
    EDITDATA* edPtr = TestHost::AsEditData(record);
    const std::size_t firstByte = 40;
    for (std::uint32_t index : {0u, 5u, 7u, 8u, 11u}) {
        EXPECT_EQ(GetPropCheck(MV(), edPtr, FirstID + index), FALSE) << index;
        SetPropCheck(MV(), edPtr, FirstID + index, 2); // any non-zero checks
        EXPECT_EQ(GetPropCheck(MV(), edPtr, FirstID + index), TRUE) << index;
    }
    EXPECT_EQ(record[firstByte], 0xA1);
    EXPECT_EQ(record[firstByte + 1], 0x09);
    SetPropCheck(MV(), edPtr, FirstID + 5, FALSE);
    EXPECT_EQ(record[firstByte], 0x81);
    EXPECT_EQ(GetPropCheck(MV(), edPtr, FirstID + 5), FALSE);
    EXPECT_TRUE(host.FunctionLog().empty());
    EXPECT_TRUE(boxes.empty());

    const std::vector<std::uint8_t> before = record;
    for (std::uint32_t id : {FirstID - 1, 0u, FirstID + BoxEnd + 1, 0xFFFFFFFF}) {
        SetPropCheck(MV(), edPtr, id, TRUE);
        EXPECT_EQ(GetPropCheck(MV(), edPtr, id), FALSE) << id;
    }
    EXPECT_EQ(record, before);
    EXPECT_TRUE(boxes.empty());
}

// A block stored for fewer properties than the definition has holds no bit for the others: the bytes
// where that bit would be belong to an entry.
TEST_F(PropertyExportsTest, CheckBoxPastTheStoredCountIsNeitherReadNorWritten)
{
    auto entries = SheetEntries();
    entries.resize(8);
    record = TestHost::StoredEditData(entries);
    const std::vector<std::uint8_t> original = record;
    SetPropCheck(MV(), TestHost::AsEditData(record), FirstID + 8, TRUE);
    EXPECT_EQ(record, original);
    EXPECT_EQ(GetPropCheck(MV(), TestHost::AsEditData(record), FirstID + 8), FALSE);
    ExpectBox(L"Polvane property error",
              L"Can't read property checkbox for property ID 8, the valid ID range is 0 to 8.", ErrorStyle);

    // A record cut short of its checkbox bytes.
    boxes.clear();
    const std::uint32_t cut = 40;
    std::memcpy(record.data(), &cut, 4);
    SetPropCheck(MV(), TestHost::AsEditData(record), FirstID, TRUE);
    EXPECT_EQ(GetPropCheck(MV(), TestHost::AsEditData(record), FirstID), FALSE);
    EXPECT_EQ(record[40], 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PropertyExportsTest, EveryPropertyIsEnabled)
{
    for (std::uint32_t id : {0u, FirstID - 1, FirstID, FirstID + BoxEnd + 1, 0xFFFFFFFF})
        EXPECT_EQ(IsPropEnabled(MV(), TestHost::AsEditData(record), id), TRUE) << id;
}

TEST_F(PropertyExportsTest, GetPropertiesHandsOverTheTableThenRefreshes)
{
    EDITDATA* edPtr = TestHost::AsEditData(record);
    EXPECT_EQ(GetProperties(MV(), edPtr, FALSE), TRUE);
    ASSERT_EQ(host.FunctionLog().size(), 2u);
    const auto& insert = host.FunctionLog()[0];
    EXPECT_EQ(insert.edPtr, edPtr);
    EXPECT_EQ(insert.id, 1);
    EXPECT_EQ(static_cast<std::uint32_t>(insert.p1), Word(state->EdittimeProperties.data()));
    EXPECT_EQ(insert.p2, 1);
    EXPECT_EQ(insert.p3, 1);
    const auto& refresh = host.FunctionLog()[1];
    EXPECT_EQ(refresh.edPtr, edPtr);
    EXPECT_EQ(refresh.id, 18);
    EXPECT_EQ(refresh.p1 | refresh.p2 | refresh.p3, 0);
    EXPECT_TRUE(boxes.empty());

    host.ResetCounts();
    ReleaseProperties(MV(), edPtr, TRUE);
    EXPECT_TRUE(host.FunctionLog().empty());

    // Without a property table nothing is inserted, but the sheet is still refreshed.
    state.reset();
    EXPECT_EQ(GetProperties(MV(), edPtr, TRUE), TRUE);
    ExpectBox(L"Property error", L"Call to DLL_GetProperties without valid EdittimeProperties.", ErrorStyle);
    ASSERT_EQ(host.FunctionLog().size(), 1u);
    EXPECT_EQ(host.FunctionLog()[0].id, 18);
}

// Image lists: a property with one image, one with several, and a text beside them.
const char* const ImageProperties = R"(
    {"Title": "Icon", "Type": "Image List", "ImageSize": [32, 16]},
    {"Title": "Frames", "Type": "image list", "MaxNumImages": 3, "WindowTitle": "Frames of the walk",
     "ImageTitles": ["Left", "Right \u00e9", 5], "FixedImageSize": true},
    {"Title": "Name", "Type": "Editbox String"})";

std::vector<StoredProperty> ImageEntries()
{
    return {{23, "Icon", U16Bytes({0})}, {23, "Frames", U16Bytes({2, 11, 12})}, {5, "Name", "abc"}};
}

class ImageListTest : public PropertyExportsTest {
protected:
    void SetUp() override
    {
        Build(ImageProperties);
        record = TestHost::StoredEditData(ImageEntries());
        MV()->word14 = 0x1234;
    }

    BOOL Edit(std::uint32_t index) { return EditProp(MV(), TestHost::AsEditData(record), FirstID + index); }
};

// The record's words as the host reads them, pointers left out.
std::vector<std::uint32_t> Words(const std::vector<std::uint8_t>& bytes,
                                 std::initializer_list<std::size_t> offsets)
{
    std::vector<std::uint32_t> words;
    for (std::size_t at : offsets)
        words.push_back(U32At(bytes, at));
    return words;
}

TEST_F(ImageListTest, OneImageGoesToTheSingleImageEditor)
{
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {77};
    EXPECT_EQ(Edit(0), 1);
    ASSERT_EQ(host.ImageEditorCalls().size(), 1u);
    const auto& call = host.ImageEditorCalls()[0];
    EXPECT_FALSE(call.several);
    EXPECT_EQ(call.edPtr, TestHost::AsEditData(record));
    EXPECT_EQ(call.word14, 0x1234u);
    ASSERT_EQ(call.record.size(), 24u);
    // size, image id (empty list) with its zero word, options (one image: a fixed count), width, height
    EXPECT_EQ(Words(call.record, {0, 8, 12, 16, 20}), (std::vector<std::uint32_t>{24, 0, 0x10, 32, 16}));
    EXPECT_FALSE(call.hasWindowTitle);

    auto entries = ImageEntries();
    entries[0].value = U16Bytes({1, 77});
    EXPECT_EQ(BytesOf(host.LastReallocated()), Expected(entries));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ImageListTest, SingleImageEditorStartsFromTheFirstStoredImage)
{
    auto entries = ImageEntries();
    entries[0].value = U16Bytes({2, 55, 56});
    record = TestHost::StoredEditData(entries);
    const std::vector<std::uint8_t> original = record;
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {9};
    EXPECT_EQ(Edit(0), 1);
    ASSERT_EQ(host.ImageEditorCalls().size(), 1u);
    EXPECT_EQ(U32At(host.ImageEditorCalls()[0].record, 8), 55u);
    entries[0].value = U16Bytes({1, 9});
    EXPECT_EQ(BytesOf(host.LastReallocated()), Expected(entries));

    // Cancelled or failed: the editor's answer, and nothing stored.
    for (std::int32_t answer : {0, 2}) {
        record = original;
        host.imageEditorAnswer = answer;
        const std::size_t before = host.ReallocRequests().size();
        EXPECT_EQ(Edit(0), answer);
        EXPECT_EQ(record, original);
        EXPECT_EQ(host.ReallocRequests().size(), before);
    }
}

TEST_F(ImageListTest, SeveralImagesGoToTheImageListEditor)
{
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {5, 6, 7};
    EXPECT_EQ(Edit(1), 1);
    ASSERT_EQ(host.ImageEditorCalls().size(), 1u);
    const auto& call = host.ImageEditorCalls()[0];
    EXPECT_TRUE(call.several);
    EXPECT_EQ(call.word14, 0x1234u);
    ASSERT_EQ(call.record.size(), 40u);
    // size, count, maximum, zero, options, width, height
    EXPECT_EQ(Words(call.record, {0, 8, 12, 16, 28, 32, 36}),
              (std::vector<std::uint32_t>{40, 2, 3, 0, 0x1, 1, 1}));
    EXPECT_EQ(call.windowTitle, L"Frames of the walk");
    EXPECT_EQ(call.imageIDs, (std::vector<std::uint16_t>{11, 12, 0}));
    ASSERT_TRUE(call.hasImageTitles);
    EXPECT_EQ(call.imageTitles, (std::vector<std::wstring>{L"Left", L"Right \u00e9", L""}));

    auto entries = ImageEntries();
    entries[1].value = U16Bytes({3, 5, 6, 7});
    EXPECT_EQ(BytesOf(host.LastReallocated()), Expected(entries));
}

TEST_F(ImageListTest, ImageCountsOutsideTheMaximum)
{
    // The editor claims more images than the array has room for: only the maximum is stored.
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {5, 6, 7, 8, 9};
    EXPECT_EQ(Edit(1), 1);
    auto entries = ImageEntries();
    entries[1].value = U16Bytes({3, 5, 6, 7});
    EXPECT_EQ(BytesOf(host.LastReallocated()), Expected(entries));

    // More images stored than the definition now allows: the editor is not opened.
    entries = ImageEntries();
    entries[1].value = U16Bytes({4, 1, 2, 3, 4});
    record = TestHost::StoredEditData(entries);
    EXPECT_EQ(Edit(1), FALSE);
    EXPECT_EQ(host.ImageEditorCalls().size(), 1u);

    // A count that claims more ids than the entry holds is believed as far as the entry goes.
    entries[1].value = U16Bytes({3, 21});
    record = TestHost::StoredEditData(entries);
    host.imageEditorAnswer = 0;
    EXPECT_EQ(Edit(1), 0);
    ASSERT_EQ(host.ImageEditorCalls().size(), 2u);
    EXPECT_EQ(U32At(host.ImageEditorCalls().back().record, 8), 1u);
    EXPECT_EQ(host.ImageEditorCalls().back().imageIDs, (std::vector<std::uint16_t>{21, 0, 0}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ImageListTest, EditorOptionsFollowTheDefinitionsKeys)
{
    const struct {
        const char* keys;
        std::uint32_t options;
    } cases[] = {
        {"", 0},
        {R"("FixedImageSize": true)", 0x1},
        {R"("HotSpotAndActionPoint": true)", 0x6},
        {R"("16Colors": true)", 0x8},
        {R"("FixedNumOfImages": true)", 0x10},
        {R"("NoTransparentColor": true)", 0x20},
        {R"("NoAlphaChannel": true)", 0x40},
        {R"("AllowEmpty": true)", 0x80},
        {R"("AllowEmpty": 1, "NoAlphaChannel": "true", "16Colors": false)", 0},
        {R"("FixedImageSize": true, "16Colors": true, "AllowEmpty": true)", 0x89},
    };
    std::size_t calls = 0;
    for (const auto& c : cases) {
        Build(std::string(R"({"Title": "P", "Type": "Image List", "MaxNumImages": 2)") +
              (*c.keys != '\0' ? ", " : "") + c.keys + "}");
        record = TestHost::StoredEditData({{23, "P", U16Bytes({0})}});
        EXPECT_EQ(Edit(0), 0) << c.keys;
        ASSERT_EQ(host.ImageEditorCalls().size(), ++calls) << c.keys;
        EXPECT_EQ(U32At(host.ImageEditorCalls().back().record, 28), c.options) << c.keys;
    }
}

TEST_F(ImageListTest, MaximumAndSizeAreAtLeastOne)
{
    const struct {
        const char* keys;
        bool several;
        std::uint32_t maximum;
        std::uint32_t width;
        std::uint32_t height;
    } cases[] = {
        {R"("MaxNumImages": 0)", false, 1, 1, 1},
        {R"("MaxNumImages": 1, "ImageSize": [-1, 0])", false, 1, 0xFFFFFFFF, 1},
        {R"("MaxNumImages": 2, "ImageSize": "32x32")", true, 2, 1, 1},
        {R"("MaxNumImages": 4294967298)", true, 2, 1, 1}, // its low 32 bits
        {R"("MaxNumImages": 65535, "ImageSize": [64])", true, 65535, 64, 1},
        // The stored count is 16 bits: no list holds more.
        {R"("MaxNumImages": -1)", true, 65535, 1, 1},
    };
    std::size_t calls = 0;
    for (const auto& c : cases) {
        Build(std::string(R"({"Title": "P", "Type": "Image List", )") + c.keys + "}");
        record = TestHost::StoredEditData({{23, "P", U16Bytes({0})}});
        EXPECT_EQ(Edit(0), 0) << c.keys;
        ASSERT_EQ(host.ImageEditorCalls().size(), ++calls) << c.keys;
        const auto& call = host.ImageEditorCalls().back();
        EXPECT_EQ(call.several, c.several) << c.keys;
        if (c.several) {
            EXPECT_EQ(Words(call.record, {12, 32, 36}),
                      (std::vector<std::uint32_t>{c.maximum, c.width, c.height}))
                << c.keys;
            EXPECT_EQ(call.imageIDs.size(), c.maximum) << c.keys;
        } else {
            EXPECT_EQ(U32At(call.record, 12), 0x10u) << c.keys;
            EXPECT_EQ(Words(call.record, {16, 20}), (std::vector<std::uint32_t>{c.width, c.height}))
                << c.keys;
        }
    }
}

TEST_F(ImageListTest, OnlyImageListsAreEdited)
{
    const std::vector<std::uint8_t> original = record;
    host.imageEditorAnswer = 1;
    EXPECT_EQ(Edit(2), FALSE); // a text
    EXPECT_EQ(Edit(3), FALSE); // past the count
    EXPECT_EQ(EditProp(MV(), TestHost::AsEditData(record), FirstID - 1), FALSE);
    EXPECT_TRUE(host.ImageEditorCalls().empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(record, original);

    // A host without image editors cannot edit image lists.
    MV()->imageEditor = nullptr;
    MV()->imageListEditor = nullptr;
    EXPECT_EQ(Edit(0), FALSE);
    EXPECT_EQ(Edit(1), FALSE);
    EXPECT_EQ(record, original);

    // A property that is not an object is named by its stored title.
    Build(R"({"Title": "Icon", "Type": "Image List"}, "Frames")");
    EXPECT_EQ(Edit(1), FALSE);
    ExpectBox(L"Property error", L"Property ID 1 (Frames) is not correctly formatted.", ErrorStyle);
    EXPECT_TRUE(host.ImageEditorCalls().empty());
}

TEST_F(ImageListTest, DamagedImageListIsReported)
{
    const std::uint32_t huge = 0xFFFFFF00;
    std::memcpy(record.data() + 20 + 20 + 1, &huge, 4); // the first entry's size
    EXPECT_EQ(Edit(1), FALSE);
    ExpectBox(L"Polvane property error",
              L"Warning: Returned null Data. Properties are corrupt; replace the existing Morvalex, by "
              L"creating a new "
              L"one and using \"Replace by another object\" in event editor.",
              WarningStyle);
    EXPECT_TRUE(host.ImageEditorCalls().empty());
}

} // namespace
