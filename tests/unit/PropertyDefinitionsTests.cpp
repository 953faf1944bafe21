// The host property table and the two property hashes, built by the state object from small
// definitions: descriptor words as the host reads them, the boxes for bad definitions, and the hashes.
#include "InProcess.h"

#include "Lib/Shared/Polvane/PropertyDefinitions.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string Definition(const std::string& properties)
{
    return R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {"Properties": [)" + properties +
           "]}}";
}

// The state object for a list of properties, with every box it showed.
struct Built {
    explicit Built(const std::string& properties) : sdk(InProcess::BuildState(Definition(properties))) {}

    const std::vector<HostPropertyDescriptor>& Table() const { return sdk->EdittimeProperties; }

    InProcess::BoxRecorder recorder;
    std::unique_ptr<Tovik::SDK> sdk;
};

// The hash as its description reads, kept apart from the library's: XOR the byte in, then multiply.
std::uint32_t ReferenceFNV1a(const std::string& bytes)
{
    std::uint64_t hash = 2166136261u;
    for (unsigned char byte : bytes)
        hash = ((hash ^ byte) * 16777619u) % 4294967296u;
    return static_cast<std::uint32_t>(hash);
}

std::optional<std::wstring> Text(const wchar_t* text)
{
    return text == nullptr ? std::nullopt : std::optional<std::wstring>(text);
}

struct Expected {
    std::uint32_t id;
    std::optional<std::wstring> title;
    std::optional<std::wstring> info;
    std::uint32_t type;
    std::uint32_t options;
};

void ExpectDescriptor(const HostPropertyDescriptor& actual, const Expected& expected,
                      const std::string& label)
{
    EXPECT_EQ(actual.ID, expected.id) << label;
    EXPECT_EQ(Text(actual.Title), expected.title) << label;
    EXPECT_EQ(Text(actual.Info), expected.info) << label;
    EXPECT_EQ(actual.Type, expected.type) << label;
    EXPECT_EQ(actual.Options, expected.options) << label;
}

void ExpectBox(const TestHost::RecordedBox& box, const std::wstring& title, const std::wstring& text,
               unsigned icon)
{
    EXPECT_EQ(box.title, title + L" - Morvalex");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.style & MB_ICONMASK, icon) << "box: " << testing::PrintToString(text);
}

// The six words of table entry i as the host reads them from the table's address.
std::vector<std::uint32_t> HostWords(const std::vector<HostPropertyDescriptor>& table, std::size_t i)
{
    std::vector<std::uint32_t> words(6);
    std::memcpy(words.data(), reinterpret_cast<const std::uint8_t*>(table.data()) + 24 * i, 24);
    return words;
}

const std::int32_t* Integers(const HostPropertyDescriptor& descriptor)
{
    return static_cast<const std::int32_t*>(descriptor.CreateParam);
}

} // namespace

TEST(PropertyDefinitions, LoneTextPropertyGivesOneDescriptorAndEmptyHashes)
{
    Built built(R"({"Title": "Version", "Type": "Text", "Info": "The version.", "DefaultState": "1"})");
    ASSERT_EQ(built.Table().size(), 2u);
    ExpectDescriptor(built.Table()[0], {0x80000, L"Version", L"The version.", 1001, 0}, "text");
    EXPECT_EQ(built.Table()[0].CreateParam, nullptr);
    EXPECT_EQ(HostWords(built.Table(), 1), std::vector<std::uint32_t>(6, 0)) << "closing descriptor";
    EXPECT_EQ(built.sdk->PropertyTitlesHash, 0x811C9DC5u);
    EXPECT_EQ(built.sdk->PropertyTypesHash, 0x811C9DC5u);
    EXPECT_TRUE(built.recorder.boxes.empty());
}

TEST(PropertyDefinitions, HostReadsSixWordsPerDescriptorInOrder)
{
    Built built(R"({"Title": "A", "Type": "Editbox Number"}, {"Title": "B", "Type": "Edit spin",
                   "Minimum": 1, "Maximum": 9, "Bold": true})");
    ASSERT_EQ(built.Table().size(), 3u);
    const HostPropertyDescriptor& spin = built.Table()[1];
    const std::vector<std::uint32_t> words = HostWords(built.Table(), 1);
    EXPECT_EQ(words[0], 0x80001u);
    EXPECT_EQ(words[1], reinterpret_cast<std::uintptr_t>(spin.Title));
    EXPECT_EQ(words[2], reinterpret_cast<std::uintptr_t>(spin.Info));
    EXPECT_EQ(words[3], 1012u);
    EXPECT_EQ(words[4], 0x6u) << "bold and the create parameter";
    EXPECT_EQ(words[5], reinterpret_cast<std::uintptr_t>(spin.CreateParam));
    EXPECT_EQ(HostWords(built.Table(), 0)[0], 0x80000u);
    EXPECT_EQ(HostWords(built.Table(), 2), std::vector<std::uint32_t>(6, 0));
}

TEST(PropertyDefinitions, EveryNamedTypeGetsItsTypeWordWhateverTheLetterCase)
{
    // Type ids 1 to 27 less the ones handled apart (FolderEnd, the reserved list button, Custom).
    const std::vector<std::pair<std::string, std::uint32_t>> types = {
        {"Text", 1001},
        {"FOLDER", 1002},
        {"folderend", 3},
        {"Edit Button", 1004},
        {"Editbox String", 1005},
        {"editbox number", 1006},
        {"Combo Box", 1007},
        {"Size", 1008},
        {"COLOR", 1009},
        {"Checkbox", 1010},
        {"Edit slider", 1011},
        {"Edit spin", 1012},
        {"Edit direction", 1013},
        {"Group", 1014},
        {"Editbox File", 1016},
        {"Font", 1017},
        {"Editbox Image File", 1019},
        {"Combo Box Button", 1020},
        {"Editbox Float", 1021},
        {"Editbox String Multiline", 1022},
        {"Image List", 1023},
        {"Combo Box Icons", 1024},
        {"URL button", 1025},
        {"Editbox Folder", 1026},
        {"eDiT sPiN fLoAt", 1027},
    };
    std::string properties;
    for (std::size_t i = 0; i < types.size(); ++i)
        properties += std::string(i == 0 ? "" : ", ") + R"({"Title": "P)" + std::to_string(i) +
                      R"(", "Info": "I)" + std::to_string(i) + R"(", "Type": ")" + types[i].first +
                      R"(", "Items": ["x"]})";
    Built built(properties);
    ASSERT_EQ(built.Table().size(), types.size() + 1);
    for (std::size_t i = 0; i < types.size(); ++i) {
        const HostPropertyDescriptor& descriptor = built.Table()[i];
        const std::string& label = types[i].first;
        EXPECT_EQ(descriptor.Type, types[i].second) << label;
        if (types[i].second == 3) {
            ExpectDescriptor(descriptor, {0x7FFFF, std::nullopt, std::nullopt, 3, 0}, label);
            EXPECT_EQ(descriptor.CreateParam, nullptr) << label;
        } else {
            EXPECT_EQ(descriptor.ID, 0x80000 + i) << label;
            EXPECT_EQ(Text(descriptor.Title), L"P" + std::to_wstring(i)) << label;
            EXPECT_EQ(Text(descriptor.Info), L"I" + std::to_wstring(i)) << label;
        }
    }
    EXPECT_TRUE(built.recorder.boxes.empty());
}

TEST(PropertyDefinitions, AbsentTitleAndInfoAreEmptyTexts)
{
    Built built(R"({"Type": "Editbox Number"}, {"Type": "Color", "Title": 5, "Info": null})");
    ExpectDescriptor(built.Table()[0], {0x80000, L"", L"", 1006, 0}, "absent");
    ExpectDescriptor(built.Table()[1], {0x80001, L"", L"", 1009, 0}, "not texts");
}

TEST(PropertyDefinitions, TitlesAndItemsAreConvertedFromUTF8)
{
    Built built("{\"Title\": \"Gr\xC3\xB6\xC3\x9F"
                "e \xF0\x9F\x98\x80\", \"Type\": \"Combo Box\", "
                "\"Items\": [\"\\u00e9t\\u00e9\"]}");
    EXPECT_EQ(Text(built.Table()[0].Title), L"Gr\u00f6\u00dfe \U0001F600");
    const auto* items = static_cast<const wchar_t* const*>(built.Table()[0].CreateParam);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(Text(items[1]), L"\u00e9t\u00e9");
}

TEST(PropertyDefinitions, OptionBitsFromTheirKeys)
{
    const struct {
        const char* keys;
        std::uint32_t options;
    } cases[] = {
        {R"("CheckboxDefaultState": true)", 0x1},
        {R"("CheckboxDefaultState": false)", 0x1},
        {R"("CheckboxDefaultState": null)", 0x1},
        {R"("CheckboxDefaultState": "x")", 0x1},
        {R"("Bold": true)", 0x2},
        {R"("Removable": true)", 0x8},
        {R"("Renameable": true)", 0x10},
        {R"("Moveable": true)", 0x20},
        {R"("List": true)", 0x40},
        {R"("SingleSelect": true)", 0x80},
        {R"("Bold": "true", "List": 1, "Moveable": false, "SingleSelect": null)", 0},
        {R"("Bold": true, "Removable": true, "Renameable": true, "Moveable": true, "List": true,
            "SingleSelect": true, "CheckboxDefaultState": 0)",
         0xFB},
        // Editor options of the single-line text only.
        {R"("Password": true, "Case": "Lower")", 0},
    };
    for (const auto& c : cases) {
        Built built(R"({"Title": "N", "Type": "Editbox Number", )" + std::string(c.keys) + "}");
        EXPECT_EQ(built.Table()[0].Options, c.options) << c.keys;
        EXPECT_EQ(built.Table()[0].CreateParam, nullptr) << c.keys;
        EXPECT_TRUE(built.recorder.boxes.empty()) << c.keys;
    }
}

TEST(PropertyDefinitions, CheckboxAlwaysAsksForItsBox)
{
    Built built(R"({"Title": "On", "Type": "Checkbox"}, {"Title": "Off", "Type": "checkbox", "Bold": true})");
    EXPECT_EQ(built.Table()[0].Options, 0x1u);
    EXPECT_EQ(built.Table()[1].Options, 0x3u);
    EXPECT_EQ(built.Table()[0].CreateParam, nullptr);
}

TEST(PropertyDefinitions, EditboxStringMaskCaseAndMaximumLength)
{
    const struct {
        const char* keys;
        std::uint32_t options;
        std::optional<std::int32_t> maxLength;
    } cases[] = {
        {R"("Password": true)", 0x10000, std::nullopt},
        {R"("Password": 1)", 0, std::nullopt},
        {R"("Case": "lower")", 0x20000, std::nullopt},
        {R"("Case": "Lower")", 0x20000, std::nullopt},
        {R"("Case": "UPPER")", 0x40000, std::nullopt},
        {R"("Case": "Title")", 0, std::nullopt},
        {R"("Case": "Lowercase")", 0, std::nullopt},
        {R"("MaxLength": 12)", 0x4, 12},
        {R"("MaxLength": -1)", 0x4, -1},
        {R"("MaxLength": 4294967301)", 0x4, 5},
        {R"("MaxLength": 12.0)", 0, std::nullopt},
        {R"("MaxLength": "12")", 0, std::nullopt},
        {R"("Password": true, "Case": "Upper", "MaxLength": 3, "Bold": true)", 0x50006, 3},
    };
    for (const auto& c : cases) {
        Built built(R"({"Title": "S", "Type": "Editbox String", )" + std::string(c.keys) + "}");
        const HostPropertyDescriptor& descriptor = built.Table()[0];
        EXPECT_EQ(descriptor.Options, c.options) << c.keys;
        if (c.maxLength) {
            ASSERT_NE(descriptor.CreateParam, nullptr) << c.keys;
            EXPECT_EQ(*Integers(descriptor), *c.maxLength) << c.keys;
        } else {
            EXPECT_EQ(descriptor.CreateParam, nullptr) << c.keys;
        }
        EXPECT_TRUE(built.recorder.boxes.empty()) << c.keys;
    }
}

TEST(PropertyDefinitions, CaseAndPasswordOnOtherTextEditorsWarnAndSetNothing)
{
    const struct {
        const char* type;
        const wchar_t* typeName;
    } types[] = {{"Editbox String Multiline", L"Editbox String Multiline"},
                 {"editbox folder", L"Editbox Folder"}};
    for (const auto& t : types) {
        Built built(R"({"Title": "Notes", "Type": ")" + std::string(t.type) +
                    R"(", "Case": "lower", "Password": false, "MaxLength": 80})");
        const HostPropertyDescriptor& descriptor = built.Table()[0];
        EXPECT_EQ(descriptor.Options, 0x4u) << t.type;
        ASSERT_NE(descriptor.CreateParam, nullptr) << t.type;
        EXPECT_EQ(*Integers(descriptor), 80) << t.type;
        ASSERT_EQ(built.recorder.boxes.size(), 2u) << t.type;
        ExpectBox(
            built.recorder.boxes[0], L"Polvane JSON property",
            L"Property \"Notes\" is set to \"Case\"=\"lower\", but that won't work with property type " +
                std::wstring(t.typeName) + L".",
            MB_ICONWARNING);
        ExpectBox(built.recorder.boxes[1], L"Polvane JSON property",
                  L"Property \"Notes\" is set to password mask, but that won't work with property type " +
                      std::wstring(t.typeName) + L".",
                  MB_ICONWARNING);
    }

    // Without either key there is nothing to warn about; a MaxLength alone is fine.
    Built quiet(R"({"Title": "Notes", "Type": "Editbox Folder"})");
    EXPECT_TRUE(quiet.recorder.boxes.empty());
    EXPECT_EQ(quiet.Table()[0].CreateParam, nullptr);
}

TEST(PropertyDefinitions, SliderAndSpinRangeIsLow32BitsOfTruncatedIntegers)
{
    const struct {
        const char* keys;
        std::int32_t minimum, maximum;
    } cases[] = {
        {R"("Minimum": -5, "Maximum": 10)", -5, 10},
        {R"("Minimum": 2.9, "Maximum": -2.9)", 2, -2},
        {R"("Maximum": 7)", 0, 7},
        {R"("Minimum": "3", "Maximum": true)", 0, 0},
        {R"("Minimum": 4294967297, "Maximum": -4294967297)", 1, -1},
        {R"("Minimum": 2147483648)", INT32_MIN, 0},
    };
    for (const char* type : {"Edit slider", "Edit spin"}) {
        for (const auto& c : cases) {
            const std::string label = std::string(type) + ": " + c.keys;
            Built built(R"({"Title": "R", "Type": ")" + std::string(type) + R"(", )" + c.keys + "}");
            const HostPropertyDescriptor& descriptor = built.Table()[0];
            EXPECT_EQ(descriptor.Options, 0x4u) << label;
            ASSERT_NE(descriptor.CreateParam, nullptr) << label;
            EXPECT_EQ(Integers(descriptor)[0], c.minimum) << label;
            EXPECT_EQ(Integers(descriptor)[1], c.maximum) << label;
        }
    }
}

TEST(PropertyDefinitions, EditButtonTextFromDefaultState)
{
    Built built(R"({"Title": "B", "Type": "Edit button", "DefaultState": "Press me"},
                   {"Title": "C", "Type": "Edit button", "DefaultState": 3},
                   {"Title": "D", "Type": "Edit button"})");
    ASSERT_EQ(built.Table().size(), 4u);
    EXPECT_EQ(built.Table()[0].Options, 0x4u);
    EXPECT_EQ(Text(static_cast<const wchar_t*>(built.Table()[0].CreateParam)), L"Press me");
    for (int i : {1, 2}) {
        EXPECT_EQ(built.Table()[i].Options, 0u) << i;
        EXPECT_EQ(built.Table()[i].CreateParam, nullptr) << i;
    }
}

TEST(PropertyDefinitions, ComboBoxItemListIsNullItemsNull)
{
    const struct {
        const char* property;
        std::vector<std::wstring> items;
        bool box;
    } cases[] = {
        {R"({"Title": "Pick", "Type": "Combo Box", "Items": ["One", "Two", ""]})",
         {L"One", L"Two", L""},
         false},
        {R"({"Title": "Pick", "Type": "Combo Box Button", "Items": ["A"]})", {L"A"}, false},
        {R"({"Title": "Pick", "Type": "Combo Box"})", {}, true},
        {R"({"Title": "Pick", "Type": "Combo Box", "Items": []})", {}, true},
        {R"({"Title": "Pick", "Type": "Combo Box Button", "Items": "One"})", {}, true},
    };
    for (const auto& c : cases) {
        Built built(c.property);
        const HostPropertyDescriptor& descriptor = built.Table()[0];
        EXPECT_EQ(descriptor.Options, 0x4u) << c.property;
        const auto* list = static_cast<const wchar_t* const*>(descriptor.CreateParam);
        ASSERT_NE(list, nullptr) << c.property;
        EXPECT_EQ(list[0], nullptr) << c.property;
        for (std::size_t i = 0; i < c.items.size(); ++i)
            EXPECT_EQ(Text(list[i + 1]), c.items[i]) << c.property << " item " << i;
        EXPECT_EQ(list[c.items.size() + 1], nullptr) << c.property;
        if (c.box) {
            ASSERT_EQ(built.recorder.boxes.size(), 1u) << c.property;
            ExpectBox(built.recorder.boxes[0], L"Polvane JSON property",
                      L"No Items detected in combobox property Pick.", MB_ICONERROR);
        } else {
            EXPECT_TRUE(built.recorder.boxes.empty()) << c.property;
        }
    }
}

TEST(PropertyDefinitions, ComboBoxIconsGetsNoItemList)
{
    Built built(R"({"Title": "Pick", "Type": "Combo Box Icons", "Items": ["A"]})");
    EXPECT_EQ(built.Table()[0].CreateParam, nullptr);
    EXPECT_EQ(built.Table()[0].Options, 0u);
    EXPECT_TRUE(built.recorder.boxes.empty());
}

TEST(PropertyDefinitions, FoldersOpenAndClose)
{
    Built built(R"({"Title": "F", "Info": "i", "Type": "Folder"}, {"Title": "T", "Type": "Text"},
                   {"Title": "E", "Info": "i", "Type": "FolderEnd", "Bold": true},
                   {"Title": "E2", "Type": "FolderEnd"}, {"Title": "N", "Type": "Editbox Number"})");
    ASSERT_EQ(built.Table().size(), 6u);
    ExpectDescriptor(built.Table()[0], {0x80000, L"F", L"i", 1002, 0}, "folder");
    ExpectDescriptor(built.Table()[1], {0x80001, L"T", L"", 1001, 0}, "text");
    ExpectDescriptor(built.Table()[2], {0x7FFFF, std::nullopt, std::nullopt, 3, 0}, "folder end");
    ExpectDescriptor(built.Table()[3], {0x7FFFF, std::nullopt, std::nullopt, 3, 0}, "extra folder end");
    // A FolderEnd still takes a place in the table, so the next property keeps its position's id.
    ExpectDescriptor(built.Table()[4], {0x80004, L"N", L"", 1006, 0}, "after the folder ends");
    ASSERT_EQ(built.recorder.boxes.size(), 1u);
    ExpectBox(built.recorder.boxes[0], L"Polvane JSON property parser",
              L"Too many FolderEnd properties! Extra one found at index 3.", MB_ICONERROR);
}

TEST(PropertyDefinitions, UnclosedFolderNamesTheInnermostOnce)
{
    Built built(R"({"Title": "Outer", "Type": "Folder"}, {"Title": "Done", "Type": "Folder"},
                   {"Type": "FolderEnd"}, {"Title": "Inner", "Type": "Folder"})");
    EXPECT_EQ(built.Table().size(), 5u);
    ASSERT_EQ(built.recorder.boxes.size(), 1u);
    ExpectBox(built.recorder.boxes[0], L"JSON verification error",
              L"There was a Folder [Inner] that does not have a FolderEnd property.", MB_ICONERROR);
}

TEST(PropertyDefinitions, CustomPropertyTakesItsPositionInTheTypeWord)
{
    Built built(
        R"({"Title": "a", "Type": "Text"}, {"Title": "b", "Type": "Text"}, {"Title": "c", "Type": "Text"},
                   {"Title": "Mine", "Info": "x", "Type": "custom thing", "Bold": true, "Items": ["a"]})");
    ASSERT_EQ(built.Table().size(), 5u);
    ExpectDescriptor(built.Table()[3], {0x80003, std::nullopt, std::nullopt, 30, 0}, "custom");
    EXPECT_EQ(built.Table()[3].CreateParam, nullptr);
    ASSERT_EQ(built.recorder.boxes.size(), 1u);
    ExpectBox(built.recorder.boxes[0], L"Polvane JSON property parser", L"Detected a custom property.",
              MB_ICONINFORMATION);
}

TEST(PropertyDefinitions, RefusedElementsShowTheirBoxAndKeepLaterIdsAtTheirPositions)
{
    Built built(
        R"("Loose", {"Title": "R", "Type": "!List button"}, {"Title": "Typo", "Type": "Editbox Nmber"},
                   {"Title": "NoType"}, 12, {"Title": "Kept", "Type": "Editbox Number"})");
    ASSERT_EQ(built.Table().size(), 7u);
    ExpectDescriptor(built.Table()[5], {0x80005, L"Kept", L"", 1006, 0}, "kept");
    // The refused ones stand as plain texts, so the host shows a label where each was.
    ExpectDescriptor(built.Table()[0], {0x80000, L"", L"", 1001, 0}, "string element");
    ExpectDescriptor(built.Table()[1], {0x80001, L"R", L"", 1001, 0}, "reserved type");
    ExpectDescriptor(built.Table()[2], {0x80002, L"Typo", L"", 1001, 0}, "unknown type");
    const std::wstring unknown = L"\" in the JSON (under UK English language).\nCheck your spelling of the "
                                 L"\"Type\" Parameter.";
    ASSERT_EQ(built.recorder.boxes.size(), 5u);
    ExpectBox(
        built.recorder.boxes[0], L"Polvane JSON property parser",
        L"Properties contains a string \"Loose\" instead of an object. Multiple categories of properties "
        L"not currently implemented. (UK English)",
        MB_ICONERROR);
    ExpectBox(built.recorder.boxes[1], L"Polvane JSON property parser",
              L"You have specified an invalid Parameter type \"!List button\". These types are reserved. (UK "
              L"English)",
              MB_ICONERROR);
    ExpectBox(built.recorder.boxes[2], L"Polvane JSON property parser",
              L"Property index 2 \"Typo\" has an unrecognised property type \"Editbox Nmber" + unknown,
              MB_ICONERROR);
    ExpectBox(built.recorder.boxes[3], L"Polvane JSON property parser",
              L"Property index 3 \"NoType\" has an unrecognised property type \"" + unknown, MB_ICONERROR);
    ExpectBox(built.recorder.boxes[4], L"Polvane JSON property parser",
              L"Property index 4 \"\" has an unrecognised property type \"" + unknown, MB_ICONERROR);
}

TEST(PropertyDefinitions, NoPropertiesGiveOnlyTheClosingDescriptor)
{
    for (const char* definition :
         {R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {}})",
          R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {"Properties": {"Title": "x"}}})"}) {
        InProcess::BoxRecorder recorder;
        std::unique_ptr<Tovik::SDK> sdk(InProcess::BuildState(definition));
        ASSERT_EQ(sdk->EdittimeProperties.size(), 1u) << definition;
        EXPECT_EQ(HostWords(sdk->EdittimeProperties, 0), std::vector<std::uint32_t>(6, 0)) << definition;
        EXPECT_EQ(sdk->PropertyTitlesHash, 0x811C9DC5u) << definition;
        EXPECT_EQ(sdk->PropertyTypesHash, 0x811C9DC5u) << definition;
    }
}

TEST(PropertyDefinitions, FNV1a32KnownValues)
{
    EXPECT_EQ(FNV1a32(""), 0x811C9DC5u);
    EXPECT_EQ(FNV1a32("a"), 0xE40C292Cu);
    EXPECT_EQ(FNV1a32("name|5 | "), 0x93DA7347u);
    // Every byte value, high bit included, goes in unsigned.
    for (const std::string& bytes : {std::string("5|"), std::string("\xFF\x80\x01", 3), std::string(1, '\0'),
                                     std::string("edit spin|12 | on|10 | ")})
        EXPECT_EQ(FNV1a32(bytes), ReferenceFNV1a(bytes)) << testing::PrintToString(bytes);
}

TEST(PropertyDefinitions, HashesOverTitlesAndTypesOfValueProperties)
{
    const struct {
        const char* properties;
        std::string titles, types;
    } cases[] = {
        {R"({"Title": "Name", "Type": "Editbox String"})", "name|5 | ", "5|"},
        {R"({"Title": "NAME", "Type": "editbox string", "Info": "changes nothing"})", "name|5 | ", "5|"},
        // Labels, folders and buttons store nothing and stay out of both hashes.
        {R"({"Title": "V", "Type": "Text"}, {"Title": "F", "Type": "Folder"}, {"Title": "Name", "Type": "Editbox String"},
            {"Title": "G", "Type": "Group"}, {"Title": "B", "Type": "Edit button"}, {"Type": "FolderEnd"})",
         "name|5 | ", "5|"},
        {R"({"Title": "On", "Type": "Checkbox"}, {"Title": "Big Size", "Type": "Size"})",
         "on|10 | big size|8 | ", "10|8|"},
        // Only ASCII letters fold; other bytes are hashed as they are.
        {R"({"Title": "\u00c9T\u00c9", "Type": "Editbox Float"})", "\xC3\x89t\xC3\x89|21 | ", "21|"},
        {R"({"Title": "a", "Type": "Text"}, {"Title": "b", "Type": "Custom"})", "b|28 | ", "28|"},
    };
    for (const auto& c : cases) {
        Built built(c.properties);
        EXPECT_EQ(built.sdk->PropertyTitlesHash, ReferenceFNV1a(c.titles)) << c.properties;
        EXPECT_EQ(built.sdk->PropertyTypesHash, ReferenceFNV1a(c.types)) << c.properties;
    }
}

TEST(PropertyDefinitions, OneEditboxStringHashesPinned)
{
    Built built(R"({"Title": "Name", "Type": "Editbox String"})");
    EXPECT_EQ(built.sdk->PropertyTitlesHash, 0x93DA7347u);
    EXPECT_EQ(built.sdk->PropertyTypesHash, 0x4FE0EEC4u);
}
