#include "InProcess.h"
#include "RecordBytes.h"

#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Polvane/Properties.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

constexpr UINT ErrorStyle = MB_ICONERROR;
constexpr UINT WarningStyle = MB_ICONWARNING;

// Every test sees its own message boxes and shows none on screen.
class PropertiesTest : public testing::Test {
protected:
    // The label names the case of a table, for the failure messages.
    void ExpectOneBox(const wchar_t* title, const std::wstring& text, UINT style,
                      const std::string& label = {})
    {
        ASSERT_EQ(boxes.size(), 1u) << label;
        EXPECT_EQ(boxes[0].title, std::wstring(title) + L" - Morvalex") << label;
        EXPECT_EQ(boxes[0].text, text) << label;
        EXPECT_EQ(boxes[0].style & MB_ICONMASK, style) << label;
    }

    InProcess::RunningAs builtApplication{Polvane::MFXRunMode::BuiltEXE};
    InProcess::BoxRecorder recorder;
    std::vector<TestHost::RecordedBox>& boxes = recorder.boxes;
};

// Little-endian bytes of a record, or of a block on its own, read where they lie.
class Bytes : public TestHost::RecordBytes {
public:
    // The fixed 20 bytes of a block.
    Bytes& BlockHeader(std::uint16_t numProps, std::uint32_t recordSize)
    {
        Block(numProps, ~0x1234u, ~0x5678u).Put(16, recordSize);
        return *this;
    }

    Polvane::Properties* Props() { return reinterpret_cast<Polvane::Properties*>(bytes.data()); }
    std::size_t OffsetOf(const void* p) const { return static_cast<const std::uint8_t*>(p) - bytes.data(); }
};

std::string ValueText(const Polvane::Properties::Data* data)
{
    return std::string(reinterpret_cast<const char*>(data->ReadPropValue()), data->ReadPropValueSize());
}

TEST_F(PropertiesTest, BlockFieldsReadFromStoredBytes)
{
    Bytes block;
    block.BlockHeader(2, 0xA1B2C3D4).U8(0x02).Entry(5, "Name", "abc").Entry(6, "Count", "\x2A\0\0\0"s);
    Polvane::Properties* props = block.Props();
    EXPECT_EQ(props->magic, Polvane::Properties::Magic);
    EXPECT_EQ(props->hashTitles, ~0x1234u);
    EXPECT_EQ(props->hashTypes, ~0x5678u);
    EXPECT_EQ(props->numProps, 2);
    EXPECT_EQ(props->sizeBytes, 0xA1B2C3D4u);

    Polvane::Properties::Data* first = props->Internal_FirstData();
    EXPECT_EQ(block.OffsetOf(first), 21u);
    EXPECT_EQ(first->sizeBytes, 14u);
    EXPECT_EQ(first->propTypeID, 5);
    EXPECT_EQ(first->ReadPropName(), "Name");
    EXPECT_EQ(first->ReadPropValueSize(), 3u);
    EXPECT_EQ(ValueText(first), "abc");

    Polvane::Properties::Data* second = first->Next();
    EXPECT_EQ(block.OffsetOf(second), 35u);
    EXPECT_EQ(second->propTypeID, 6);
    EXPECT_EQ(second->ReadPropName(), "Count");
    ASSERT_EQ(second->ReadPropValueSize(), 4u);
    std::int32_t count;
    std::memcpy(&count, second->ReadPropValue(), 4);
    EXPECT_EQ(count, 42);
    EXPECT_EQ(block.OffsetOf(second->Next()), block.bytes.size());
}

TEST_F(PropertiesTest, MagicIsStoredAsBytes1NVP)
{
    const std::uint32_t magic = Polvane::Properties::Magic;
    EXPECT_EQ(std::memcmp(&magic, "1NVP", 4), 0);
}

TEST_F(PropertiesTest, TextEntryIsSevenBytesWithoutTitleOrValue)
{
    Bytes block;
    block.BlockHeader(1, 48).U8(0).U8(0x07).U8(0).U8(0).U8(0).U8(0x01).U8(0).U8(0);
    Polvane::Properties::Data* text = block.Props()->Internal_FirstData();
    EXPECT_EQ(text->sizeBytes, 7u);
    EXPECT_EQ(text->propTypeID, Polvane::PropTypeID::Text);
    EXPECT_EQ(text->ReadPropName(), "");
    EXPECT_EQ(text->ReadPropValueSize(), 0u);
    EXPECT_EQ(block.OffsetOf(text->ReadPropValue()), block.bytes.size());
    EXPECT_EQ(block.OffsetOf(text->Next()), block.bytes.size());
}

TEST_F(PropertiesTest, WritableValueChangesTheStoredBytes)
{
    Bytes block;
    block.BlockHeader(1, 0).U8(0).Entry(21, "Speed", "\0\0\0\0"s);
    Polvane::Properties::Data* entry = block.Props()->Internal_FirstData();
    const float speed = 2.5f;
    std::memcpy(entry->ReadPropValue(), &speed, sizeof(speed));
    std::uint32_t stored;
    std::memcpy(&stored, block.bytes.data() + 20 + 1 + 7 + 5, 4);
    EXPECT_EQ(stored, 0x40200000u);
    const Polvane::Properties::Data* readOnly = entry;
    EXPECT_EQ(readOnly->ReadPropValue(), entry->ReadPropValue());
}

TEST_F(PropertiesTest, TitleIsCopiedToExactlyItsLength)
{
    // Titles are not terminated: the byte after the title is the value's first.
    Bytes block;
    block.BlockHeader(1, 0).U8(0).Entry(5, "Nam", "e and more");
    EXPECT_EQ(block.Props()->Internal_FirstData()->ReadPropName(), "Nam");
}

struct CheckboxCase {
    std::uint16_t numProps;
    std::vector<std::uint8_t> checkboxBytes;
    std::vector<bool> expected;
};

TEST_F(PropertiesTest, CheckboxBitsAndFirstEntry)
{
    const CheckboxCase cases[] = {
        {0, {}, {}},
        {8, {0x81}, {true, false, false, false, false, false, false, true}},
        {9, {0x00, 0x01}, {false, false, false, false, false, false, false, false, true}},
        {9, {0xFF, 0x00}, {true, true, true, true, true, true, true, true, false}},
    };
    for (const CheckboxCase& c : cases) {
        const std::string label = (testing::Message() << "N = " << c.numProps << ", first byte "
                                                      << (c.checkboxBytes.empty() ? -1 : c.checkboxBytes[0]))
                                      .GetString();
        Bytes block;
        block.BlockHeader(c.numProps, 0);
        for (std::uint8_t b : c.checkboxBytes)
            block.U8(b);
        for (std::uint16_t i = 0; i < c.numProps; ++i)
            block.Entry(1, "", "");
        EXPECT_EQ(block.OffsetOf(block.Props()->Internal_FirstData()), 20u + c.checkboxBytes.size()) << label;
        for (std::uint16_t i = 0; i < c.numProps; ++i)
            EXPECT_EQ(block.Props()->IsPropChecked(i), c.expected[i]) << label << ", property " << i;
        EXPECT_TRUE(boxes.empty()) << label;
    }
}

TEST_F(PropertiesTest, CheckboxOutOfRangeShowsErrorAndIsUnchecked)
{
    const struct {
        std::uint16_t numProps;
        std::uint32_t index;
        const wchar_t* text;
    } cases[] = {
        {3, 3, L"Can't read property checkbox for property ID 3, the valid ID range is 0 to 3."},
        {0, 0, L"Can't read property checkbox for property ID 0, the valid ID range is 0 to 0."},
        {3, 0xFFFFFFFF, L"Can't read property checkbox for property ID -1, the valid ID range is 0 to 3."},
        {65535, 65535,
         L"Can't read property checkbox for property ID 65535, the valid ID range is 0 to 65535."},
    };
    for (const auto& c : cases) {
        const std::string label = "index " + std::to_string(c.index);
        boxes.clear();
        Bytes block;
        // Every following byte set: a read past the checkbox bytes would answer true.
        block.BlockHeader(c.numProps, 0);
        for (int i = 0; i < 16; ++i)
            block.U8(0xFF);
        EXPECT_FALSE(block.Props()->IsPropChecked(c.index)) << label;
        ExpectOneBox(L"Polvane property error", c.text, ErrorStyle, label);
    }
}

struct OffsetCase {
    const char* name;
    std::uint32_t totalSize;
    std::uint32_t offset;
    std::size_t expectedOffset;
    std::vector<std::pair<const wchar_t*, const wchar_t*>> expectedBoxes;
};

TEST_F(PropertiesTest, BlockFoundThroughOffsetWord)
{
    const auto* oldProps = L"Old Polvane props";
    const auto* oldText = L"No offset found. Falling back to default. Resetting properties recommended.";
    const auto* invalid = L"Polvane offset invalid";
    const auto* tooHigh = L"Offset is too high!";
    const OffsetCase cases[] = {
        {"offset 0", 100, 0, 20, {{oldProps, oldText}}},
        {"offset 19", 100, 19, 20, {{oldProps, oldText}}},
        {"offset 20", 40, 20, 20, {}},
        {"offset 48", 100, 48, 48, {}},
        {"offset at total - 20", 100, 80, 80, {}},
        {"offset at total - 19", 100, 81, 20, {{invalid, tooHigh}}},
        {"offset past the end", 100, 0xFFFFFFFF, 20, {{invalid, tooHigh}}},
        {"offset 0 in a short record", 39, 0, 20, {{oldProps, oldText}, {invalid, tooHigh}}},
    };
    for (const OffsetCase& c : cases) {
        boxes.clear();
        Bytes record;
        record.U32(c.totalSize).U32(c.totalSize).U32(1).U32(0).U32(c.offset);
        EDITDATA* edPtr = record.Record();
        EXPECT_EQ(record.OffsetOf(Polvane::GetPropertiesFromEditData(edPtr)), c.expectedOffset) << c.name;
        ASSERT_EQ(boxes.size(), c.expectedBoxes.size()) << c.name;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(boxes[i].title, std::wstring(c.expectedBoxes[i].first) + L" - Morvalex")
                << c.name << ", box " << i;
            EXPECT_EQ(boxes[i].text, c.expectedBoxes[i].second) << c.name << ", box " << i;
            EXPECT_EQ(boxes[i].style & MB_ICONMASK, WarningStyle) << c.name << ", box " << i;
        }
    }
}

TEST_F(PropertiesTest, HostIDToIndex)
{
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0x80000, 0},   {0x80001, 1},        {0x8FFFF, 0xFFFF}, {0x7FFFF, 0xFFFFFFFF},
        {0, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFF7FFFF},
    };
    for (const auto& [hostID, index] : cases)
        EXPECT_EQ(Polvane::PropIndexFromHostID(hostID), index) << std::hex << hostID;
}

struct ClassCase {
    const char* type;
    bool noValue;
    bool checkboxOrNoValue;
    bool text;
    bool textOrComboBox;
    bool integer;
    bool floatingPoint;
    bool size;
    bool imageList;
};

TEST_F(PropertiesTest, TypeClassesByName)
{
    // Columns: no value, checkbox or no value, text, text or combo box, integer, float, size, image list.
    const ClassCase cases[] = {
        {"!Start item", false, false, false, false, false, false, false, false},
        {"Text", true, true, false, false, false, false, false, false},
        {"tEXT", true, true, false, false, false, false, false, false},
        {"Text ", false, false, false, false, false, false, false, false},
        {"Folder", true, true, false, false, false, false, false, false},
        {"FolderEnd", true, true, false, false, false, false, false, false},
        {"FOLDER of things", true, true, false, false, false, false, false, false},
        {"Folde", false, false, false, false, false, false, false, false},
        {"Edit button", true, true, false, false, false, false, false, false},
        {"Edit buttons", false, false, false, false, false, false, false, false},
        {"Group", true, true, false, false, false, false, false, false},
        {"Editbox String", false, false, true, true, false, false, false, false},
        {"Editbox String Multiline", false, false, true, true, false, false, false, false},
        {"editbox stringy", false, false, true, true, false, false, false, false},
        {"Editbox Strin", false, false, false, false, false, false, false, false},
        {"Editbox Number", false, false, false, false, true, false, false, false},
        {"editbox number", false, false, false, false, true, false, false, false},
        {"Combo Box", false, false, false, true, false, false, false, false},
        {"Combo Box Button", false, false, false, true, false, false, false, false},
        {"combo box icons", false, false, false, true, false, false, false, false},
        {"COMBO BOXES", false, false, false, true, false, false, false, false},
        {"Combo Bo", false, false, false, false, false, false, false, false},
        {"Size", false, false, false, false, false, false, true, false},
        {"Sizes", false, false, false, false, false, false, false, false},
        {"Color", false, false, false, false, true, false, false, false},
        {"Checkbox", false, true, false, false, false, false, false, false},
        {"CHECKBOX", false, true, false, false, false, false, false, false},
        {"Checkboxes", false, false, false, false, false, false, false, false},
        {"Edit slider", false, false, false, false, true, false, false, false},
        {"Edit spin", false, false, false, false, true, false, false, false},
        {"Edit direction", false, false, false, false, true, false, false, false},
        {"!List button", false, false, false, false, false, false, false, false},
        {"Editbox File", false, false, true, true, false, false, false, false},
        {"Font", false, false, false, false, false, false, false, false},
        {"Custom", false, false, false, false, false, false, false, false},
        {"Editbox Image File", false, false, true, true, false, false, false, false},
        {"Editbox Float", false, false, false, false, false, true, false, false},
        {"Image List", false, false, false, false, false, false, false, true},
        {"image list", false, false, false, false, false, false, false, true},
        {"URL button", false, false, true, true, false, false, false, false},
        {"Editbox Folder", false, false, true, true, false, false, false, false},
        {"Edit spin float", false, false, false, false, false, true, false, false},
        {"", false, false, false, false, false, false, false, false},
    };
    for (const ClassCase& c : cases) {
        EXPECT_EQ(Polvane::IsNoValuePropType(c.type), c.noValue) << c.type;
    }
}

TEST_F(PropertiesTest, TypeIDsAreTheTablePositions)
{
    // Ids are stored in every block: a name that moves changes what old records mean.
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0, "!Start item"},     {1, "Text"},
        {2, "Folder"},          {3, "FolderEnd"},
        {4, "Edit button"},     {5, "Editbox String"},
        {6, "Editbox Number"},  {7, "Combo Box"},
        {8, "Size"},            {9, "Color"},
        {10, "Checkbox"},       {11, "Edit slider"},
        {12, "Edit spin"},      {13, "Edit direction"},
        {14, "Group"},          {15, "!List button"},
        {16, "Editbox File"},   {17, "Font"},
        {18, "Custom"},         {19, "Editbox Image File"},
        {20, "Combo Box Button"}, {21, "Editbox Float"},
        {22, "Editbox String Multiline"}, {23, "Image List"},
        {24, "Combo Box Icons"}, {25, "URL button"},
        {26, "Editbox Folder"}, {27, "Edit spin float"},
    };
    ASSERT_EQ(std::size(cases), std::size(Polvane::PropTypes));
    for (const auto& [id, name] : cases)
        EXPECT_STREQ(Polvane::PropTypes[id].name, name) << "id " << id;
}

TEST_F(PropertiesTest, TypeCompatibility)
{
    // Every pair that may take over a stored value, besides a type with itself.
    const std::set<std::pair<int, int>> compatible = {
        // Single-line texts to any text; 22 (multiline) feeds only itself.
        {5, 16}, {5, 19}, {5, 22}, {5, 26}, {16, 5}, {16, 19}, {16, 22}, {16, 26},
        {19, 5}, {19, 16}, {19, 22}, {19, 26}, {26, 5}, {26, 16}, {26, 19}, {26, 22},
        // Combo boxes among themselves.
        {7, 20}, {7, 24}, {20, 7}, {20, 24}, {24, 7}, {24, 20},
        // Integer editors among themselves.
        {6, 11}, {6, 12}, {11, 6}, {11, 12}, {12, 6}, {12, 11},
        // Integers and floats into floats.
        {6, 21}, {6, 27}, {11, 21}, {11, 27}, {12, 21}, {12, 27}, {21, 27}, {27, 21},
    };
    for (int oldID = 0; oldID < 28; ++oldID) {
        for (int newID = 0; newID < 28; ++newID) {
            const bool expected = oldID == newID || compatible.count({oldID, newID}) != 0;
            EXPECT_EQ(Polvane::Properties::IsPropTypeCompatible(oldID, newID), expected)
                << "old " << oldID << ", new " << newID;
        }
    }
    EXPECT_FALSE(Polvane::Properties::IsPropTypeCompatible(28, 5));
}

// Tests that read the definition: the state object is built from a small definition of one language
// (named "English" unless a test names it). The current language is chosen once per process, so each
// such test runs in its own process (as ctest runs every case).
class PropertiesDefinitionTest : public PropertiesTest {
protected:
    void UseDefinition(const std::string& properties, const std::string& language = "English")
    {
        const std::string text = "{\"" + language + R"(": {"About": {"Name": "Property tests", )" +
                                 R"("Author": "Morvalex tests", "Copyright": "Morvalex tests"}, )" +
                                 R"("Properties": )" + properties + "}}";
        json_value* root = InProcess::ParseDefinition(text);
        ASSERT_NE(root, nullptr);
        ::SDK = nullptr;
        new Tovik::SDK(nullptr, root); // lives for the rest of the process, as in the host
        ASSERT_EQ(&Polvane::CurLang(), &(*root)[language.c_str()])
            << "the current language was chosen earlier in this process; run this case on its own";
        boxes.clear(); // only the boxes of the call under test count
    }
};

TEST_F(PropertiesDefinitionTest, EntryOfPropertyIsFoundByPosition)
{
    UseDefinition(R"([
        {"Type": "Text", "Title": "Heading"},
        {"Type": "Editbox String", "Title": "Name"},
        {"Type": "Checkbox", "Title": "Enabled"},
        {"Type": "Folder", "Title": "More"},
        {"Type": "Editbox Number", "Title": "Count"},
        {"Type": "FolderEnd"},
        {"Type": "Edit button", "Title": "Edit"},
        {"Type": "Group", "Title": "Box"},
        {"Type": "Combo Box", "Title": "Mode"}
    ])");
    // Stored titles differ from the definition's: entries are found by position alone.
    Bytes block;
    block.BlockHeader(9, 0)
        .U8(0)
        .U8(0)
        .Entry(1, "", "")
        .Entry(5, "Old name", "abc")
        .Entry(10, "Enabled", "")
        .Entry(2, "", "")
        .Entry(6, "Old count", "\x07\0\0\0"s)
        .Entry(3, "", "")
        .Entry(4, "", "")
        .Entry(14, "", "")
        .Entry(7, "Old mode", "Fast");
    Polvane::Properties* props = block.Props();

    const struct {
        std::uint32_t index;
        const char* storedTitle; // null: no entry answered
    } cases[] = {
        {0, nullptr}, {1, "Old name"}, {2, nullptr}, {3, nullptr},      {4, "Old count"},  {5, nullptr},
        {6, nullptr}, {7, nullptr},    {8, "Old mode"}, {9, nullptr}, {0xFFFFFFFF, nullptr},
    };
    for (const auto& c : cases) {
        Polvane::Properties::Data* data = props->Internal_DataAt(c.index);
        if (c.storedTitle == nullptr) {
            EXPECT_EQ(data, nullptr) << "index " << c.index;
            continue;
        }
        ASSERT_NE(data, nullptr) << "index " << c.index;
        EXPECT_EQ(data->ReadPropName(), c.storedTitle) << "index " << c.index;
    }
    EXPECT_EQ(ValueText(props->Internal_DataAt(8)), "Fast");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PropertiesDefinitionTest, EntryWithoutPropertiesArrayShowsError)
{
    UseDefinition(R"({"Type": "Editbox Number", "Title": "Count"})", "Deutsch");
    Bytes block;
    block.BlockHeader(1, 0).U8(0).Entry(6, "Count", "\0\0\0\0"s);
    EXPECT_EQ(block.Props()->Internal_DataAt(0), nullptr);
    ExpectOneBox(L"Premature function call",
                 L"Internal_DataAt() called for prop ID 0 without Polvane_Props for language Deutsch being "
                 L"valid.",
                 ErrorStyle);
    // Past the block's count there is nothing to look up, and so nothing to report.
    boxes.clear();
    EXPECT_EQ(block.Props()->Internal_DataAt(1), nullptr);
    EXPECT_TRUE(boxes.empty());
}

struct SizeCase {
    const char* name;
    std::string properties;
    std::uint16_t expected;
};

// Test names show the case's name rather than its bytes.
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

std::string TextOfLength(std::size_t length) { return std::string(length, 'x'); }

// A Properties array of one property; more holds further members, already in JSON.
std::string OneProperty(const std::string& type, const std::string& title, const std::string& more = "")
{
    const std::string members = R"("Type": ")" + type + R"(", "Title": ")" + title + "\"";
    return "[{" + members + (more.empty() ? "" : ", " + more) + "}]";
}

// An Editbox String titled Name whose default has that many bytes.
std::string NamedText(std::size_t defaultLength)
{
    return OneProperty("Editbox String", "Name", R"("DefaultState": ")" + TextOfLength(defaultLength) + "\"");
}

class EditDataSize : public PropertiesDefinitionTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(EditDataSize, CountsHeaderCheckboxesAndEntries)
{
    UseDefinition(GetParam().properties);
    EXPECT_EQ(GetEDITDATASizeFromJSON(), GetParam().expected);
    EXPECT_TRUE(boxes.empty());
}

const SizeCase sizeCases[] = {
    {"NoProperties", "[]", 40},
    {"PropertiesNotAnArray", R"({"Type": "Text"})", 40},
    {"OneText", OneProperty("Text", "Heading"), 48},
    {"EditboxStringWithDefault", NamedText(3), 55},
    {"EditboxStringWithoutDefault", OneProperty("Editbox String", "Name"), 52},
    {"EditboxStringWithNumberDefault", OneProperty("Editbox String", "Name", R"("DefaultState": 12)"), 52},
    {"MultibyteDefault", OneProperty("Editbox String", "Name", R"("DefaultState": "\u00e9t\u00e9")"), 57},
    {"Checkbox", OneProperty("Checkbox", "On", R"("DefaultState": true)"), 50},
    {"LowerCaseNumber", OneProperty("editbox number", "N"), 53},
    {"FolderPrefix", OneProperty("FOLDER of things", "Settings"), 48},
    // A type the parser refused is stored as the Text that stands in for it.
    {"RefusedComboBoxPrefix", OneProperty("combo box list", "C", R"("DefaultState": "Two")"), 48},
    {"ComboBoxIcons", OneProperty("Combo Box Icons", "C", R"("DefaultState": "Second")"), 55},
    {"Float", OneProperty("Edit spin float", "F"), 53},
    {"Color", OneProperty("Color", "C"), 53},
    {"Size", OneProperty("Size", "S"), 57},
    {"ImageList", OneProperty("Image List", "I"), 51},
    {"UntitledNumber", R"([{"Type": "Edit slider"}])", 52},
    {"Title254", OneProperty("Editbox Number", TextOfLength(254)), 40 + 1 + 7 + 254 + 4},
    {"Title300", OneProperty("Editbox Number", TextOfLength(300)), 40 + 1 + 7 + 254 + 4},
    {"EightTexts", R"([{"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"},
        {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}])",
     40 + 1 + 8 * 7},
    {"NineTexts", R"([{"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"},
        {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Group"}])",
     40 + 2 + 9 * 7},
    {"Exactly65535", NamedText(65535 - 52), 65535},
};

INSTANTIATE_TEST_SUITE_P(Properties, EditDataSize, testing::ValuesIn(sizeCases),
                         [](const testing::TestParamInfo<SizeCase>& info) { return info.param.name; });

TEST_F(PropertiesDefinitionTest, SizeReportsUnknownTypesAndGoesOn)
{
    UseDefinition(R"([
        {"Type": "Font", "Title": "F"},
        {"Type": "Editbox Number", "Title": "N"},
        {"Type": "F\u00f6nt", "Title": "G"}
    ])");
    // Font counts its entry header and title; the refused type is stored as a Text.
    EXPECT_EQ(GetEDITDATASizeFromJSON(), 40 + 1 + 8 + 12 + 7);
    ASSERT_EQ(boxes.size(), 1u);
    for (const TestHost::RecordedBox& box : boxes) {
        EXPECT_EQ(box.title, L"GetEDITDATASizeFromJSON failed - Morvalex");
        EXPECT_EQ(box.style & MB_ICONMASK, ErrorStyle);
    }
    const std::wstring unknown = L"Calculation of edittime property size can't understand property type ";
    EXPECT_EQ(boxes[0].text, unknown + L"\"Font\". (English)");
}

TEST_F(PropertiesDefinitionTest, SizeAbove65535ShowsErrorAndWraps)
{
    UseDefinition(NamedText(65536 - 52));
    EXPECT_EQ(GetEDITDATASizeFromJSON(), 0);
    ExpectOneBox(L"EDITDATA too large!",
                 L"The JSON extension properties use more than 65535 bytes to store, and are too large for "
                 L"Fusion. (English)",
                 ErrorStyle);
}

} // namespace
