// The host property table and the two hashes as the state object builds them from a definition, the stored
// block's layout and accessors, the type ids and their compatibility, and the size of a new object's record.
#include "InProcess.h"
#include "PropertyRecords.h"

#include "Lib/Shared/Polvane/Properties.h"
#include "Lib/Shared/Polvane/PropertyDefinitions.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>

using namespace std::string_literals;
using namespace TestHost;
using Polvane::Properties;

namespace {

struct Definitions : testing::Test {
    std::wstring Boxes() { return Shown(std::exchange(recorder.boxes, {})); }
    std::wstring Use(const std::string& properties) // the boxes of the build
    {
        sdk.reset(), sdk.reset(InProcess::BuildState(PropertyDefinition(properties)));
        return Boxes();
    }
    InProcess::BoxRecorder recorder;
    std::unique_ptr<Tovik::SDK> sdk;
};

} // namespace

TEST_F(Definitions, EachKindOfPropertyAsTheHostReadsIt)
{
    const std::wstring boxes =
        Use(R"([{"Title": "Version", "Info": "The version.", "Type": "Text", "DefaultState": "1"},
        {"Title": "Gr\u00f6\u00dfe", "Type": "FOLDER"}, {"Title": "S", "Type": "Editbox String",
        "Password": true, "Case": "upper", "MaxLength": 4294967301, "Bold": true}, {"Title": "M",
        "Type": "editbox string multiline", "Case": "lower", "Password": false, "MaxLength": 80},
        {"Title": "N", "Info": 5, "Type": "Editbox Number", "CheckboxDefaultState": null, "Removable": true,
        "Renameable": true, "Moveable": true, "List": true, "SingleSelect": true, "Bold": "true",
        "Case": "Upper"}, {"Title": "R", "Type": "Edit spin", "Minimum": 2.9, "Maximum": -4294967297},
        {"Title": "L", "Type": "Edit slider", "Minimum": "3"}, {"Title": "B", "Type": "Edit button",
        "DefaultState": "Press"}, {"Title": "B2", "Type": "Edit Button", "DefaultState": 3}, {"Title": "C",
        "Type": "Combo Box", "Items": ["One", "\u00e9", ""]}, {"Title": "Pick", "Type": "Combo Box Button"},
        {"Title": "CI", "Type": "Combo Box Icons", "Items": ["A"]}, {"Title": "On", "Type": "checkbox",
        "Bold": true}, {"Title": "E", "Type": "FolderEnd", "Bold": true}, {"Type": "folderend"},
        {"Title": "Mine", "Info": "x", "Type": "custom thing", "Bold": true}, "Loose", {"Title": "Res",
        "Type": "!List button"}, {"Title": "Typo", "Type": "Editbox Nmber"}, {"Title": "Nul",
        "Type": "Text\u0000"}, {"Title": "Open", "Type": "Folder"}])");
    // "id title/info type xoptions = create parameter": texts "-" when null, the parameter by type.
    std::wostringstream table;
    for (const HostPropertyDescriptor& d : sdk->EdittimeProperties) {
        const auto* integers = static_cast<const std::int32_t*>(d.CreateParam);
        const auto* texts = static_cast<const wchar_t* const*>(d.CreateParam);
        table << std::hex << d.ID << L' ' << (d.Title ? d.Title : L"-") << L'/' << (d.Info ? d.Info : L"-")
              << L' ' << std::dec << d.Type << L" x" << std::hex << d.Options << std::dec
              << (integers ? L" = " : L"");
        if (d.Type == 1004 && texts)
            table << reinterpret_cast<const wchar_t*>(d.CreateParam);
        else if ((d.Type == 1011 || d.Type == 1012) && integers)
            table << integers[0] << L',' << integers[1];
        else if ((d.Type == 1007 || d.Type == 1020) && texts) { // a null, the items, a null
            table << (texts[0] ? L"![" : L"[");
            for (int i = 1; texts[i] != nullptr; ++i)
                table << texts[i] << L',';
            table << L']';
        } else if (integers)
            table << integers[0];
        table << L"; ";
    }
    // Refused elements keep their place as Text labels, so later ids stay at their positions.
    EXPECT_EQ(table.str(),
              L"80000 Version/The version. 1001 x0; 80001 Gr\u00f6\u00dfe/ 1002 x0; 80002 S/ 1005 "
              L"x50006 = 5; 80003 M/ 1022 x4 = 80; 80004 N/ 1006 xf9; 80005 R/ 1012 x4 = 2,-1; 80006 L/ "
              L"1011 x4 = 0,0; 80007 B/ 1004 x4 = Press; 80008 B2/ 1004 x0; 80009 C/ 1007 x4 = [One,\u00e9,"
              L",]; 8000a Pick/ 1020 x4 = []; 8000b CI/ 1024 x0; 8000c On/ 1010 x3; 7ffff -/- 3 x0; 7ffff "
              L"-/- 3 x0; 8000f -/- 42 x0; 80010 / 1001 x0; 80011 Res/ 1001 x0; 80012 Typo/ 1001 x0; "
              L"80013 Nul/ 1001 x0; 80014 Open/ 1002 x0; 0 -/- 0 x0; ");
    // The NUL is part of the type: none is named so.
    EXPECT_EQ(
        boxes,
        L"W Polvane JSON property: Property \"M\" is set to \"Case\"=\"lower\", but that won't work "
        L"with property type Editbox String Multiline. ## W Polvane JSON property: Property \"M\" is set "
        L"to password mask, but that won't work with property type Editbox String Multiline. ## E Polvane "
        L"JSON property: No Items detected in combobox property Pick. ## E Polvane JSON property parser: "
        L"Too many FolderEnd properties! Extra one found at index 14. ## I Polvane JSON property parser: "
        L"Detected a custom property. ## E Polvane JSON property parser: Properties contains a string "
        L"\"Loose\" instead of an object. Multiple categories of properties not currently implemented. "
        L"(UK English) ## E Polvane JSON property parser: You have specified an invalid Parameter type "
        L"\"!List button\". These types are reserved. (UK English) ## E Polvane JSON property parser: "
        L"Property index 18 \"Typo\" has an unrecognised property type \"Editbox Nmber\" in the JSON (under "
        L"UK English language).\nCheck your spelling of the \"Type\" Parameter. ## E Polvane JSON property "
        L"parser: Property index 19 \"Nul\" has an unrecognised property type \"Text\" in the JSON (under "
        L"UK English language).\nCheck your spelling of the \"Type\" Parameter. ## E JSON verification "
        L"error: There was a Folder [Open] that does not have a FolderEnd property.");
}

TEST_F(Definitions, HashesOverTheTitlesAndTypesOfPropertiesWithAValue)
{
    EXPECT_EQ(std::tuple(FNV1a32(""), FNV1a32("a"), FNV1a32("name|5 | ")),
              std::tuple(0x811C9DC5u, 0xE40C292Cu, 0x93DA7347u));
    // Labels, folders and buttons store nothing and stay out of both hashes; ASCII folds.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"[]", "", ""},
        {R"({"Title": "x"})", "", ""},
        {R"([{"Title": "V", "Type": "Text"}, {"Title": "F", "Type": "Folderish"}, {"Title": "G", "Type":
            "Group"}, {"Title": "NAME", "Type": "Editbox String", "Info": "changes nothing"}, {"Title": "B",
            "Type": "Edit button"}, {"Type": "FolderEnd"}])",
         "name|5 | ", "5|"},
        {R"([{"Title": "On", "Type": "Checkbox"}, {"Title": "Big", "Type": "Size"}])", "on|10 | big|8 | ",
         "10|8|"},
        {R"([{"Title": "\u00c9T\u00c9", "Type": "Editbox Float"}])", "\xC3\x89t\xC3\x89|21 | ", "21|"},
        {R"([{"Title": "a", "Type": "Text"}, {"Title": "b", "Type": "Custom"}])", "b|28 | ", "28|"},
        {R"([{"Title": "X", "Type": "Editbox Stringy"}])", "x|1 | ", "1|"}};
    for (const auto& [properties, titles, types] : cases) {
        Use(properties);
        EXPECT_EQ(std::pair(sdk->PropertyTitlesHash, sdk->PropertyTypesHash),
                  std::pair(FNV1a32(titles), FNV1a32(types)))
            << properties;
    }
}

TEST_F(Definitions, BlockLayoutAndEntriesByPosition)
{
    Use(R"([{"Type": "Text"}, {"Type": "Editbox String"}, {"Type": "Checkbox"}, {"Type": "Folder"},
        {"Type": "Edit spin"}, {"Type": "FolderEnd"}, {"Type": "Edit button"}, {"Type": "Group"},
        {"Type": "Combo Box"}])");
    const std::string bytes = BlockBytes(9, 0x01020304, 0x05060708) + "\x81\x01" + E(1, "", "") +
                              E(5, "Nam", "e and") + E(10, "On", "") + E(2, "", "") + E(6, "N", "*\0\0\0"s) +
                              E(3, "", "") + E(4, "", "") + E(14, "", "") + E(7, "M", "Fast");
    Bytes block(bytes.begin(), bytes.end());
    auto* props = reinterpret_cast<Properties*>(Put(block, 16, 0xA1B2C3D4).data());
    EXPECT_EQ(std::tuple(std::string(bytes, 0, 4), props->magic, props->hashTitles, props->hashTypes,
                         props->numProps, props->sizeBytes,
                         reinterpret_cast<std::uint8_t*>(props->Internal_FirstData()) - block.data()),
              std::tuple("1NVP"s, 0x50564E31u, 0x01020304u, 0x05060708u, std::uint16_t(9), 0xA1B2C3D4u, 22));
    // Found by position, never by title or type; properties without a value give none. The checkbox bits.
    std::string found;
    for (std::uint32_t i = 0; i < 11; ++i) {
        const Properties::Data* data = props->Internal_DataAt(i);
        const auto* value = data ? reinterpret_cast<const char*>(data->ReadPropValue()) : "";
        found += (data ? std::to_string(reinterpret_cast<const std::uint8_t*>(data) - block.data()) + ":" +
                             data->ReadPropName() + ":" + std::string(value, data->ReadPropValueSize())
                       : "-") +
                 (i < 9 && props->IsPropChecked(i) ? "+|" : "|");
    }
    EXPECT_EQ(found, "-+|29:Nam:e and|-|-|60:N:*\0\0\0|-|-|-+|93:M:Fast+|-|-|"s);
    EXPECT_EQ(Boxes(), L"");
    EXPECT_FALSE(props->IsPropChecked(0xFFFFFFFF));
    EXPECT_EQ(Boxes(),
              L"E Polvane property error: Can't read property checkbox for property ID -1, the valid "
              L"ID range is 0 to 9.");
    Use(R"({"Type": "Editbox Number"})");
    EXPECT_EQ(props->Internal_DataAt(1), nullptr);
    EXPECT_EQ(Boxes(), L"E Premature function call: Internal_DataAt() called for prop ID 1 without "
                       L"Polvane_Props for language UK English being valid.");
}

TEST_F(Definitions, BlockFoundThroughTheOffsetWord)
{
    const std::wstring old = L"W Old Polvane props: No offset found. Falling back to default. Resetting "
                             L"properties recommended.",
                       high = L"W Polvane offset invalid: Offset is too high!";
    const std::tuple<std::uint32_t, std::uint32_t, int, std::wstring> cases[] = {
        {100, 0, 20, old},
        {100, 19, 20, old},
        {40, 20, 20, L""},
        {100, 80, 80, L""},
        {100, 81, 20, high},
        {100, ~0u, 20, high},
        {39, 0, 20, old + L" ## " + high}};
    for (const auto& [total, offset, found, boxes] : cases) {
        Bytes record(100);
        Put(Put(record, 0, total), 16, offset);
        const auto* block =
            reinterpret_cast<std::uint8_t*>(Polvane::GetPropertiesFromEditData(AsRecord(record)));
        EXPECT_EQ(std::pair(block - record.data(), Boxes()), std::pair(found, boxes)) << offset;
    }
}

TEST_F(Definitions, TypeIdsAndCompatibility)
{
    // Ids are stored in every block: a name that moved would change what old records mean.
    std::string names;
    for (const Polvane::PropTypeInfo& type : Polvane::PropTypes)
        names += type.name + "|"s;
    EXPECT_EQ(names,
              "!Start item|Text|Folder|FolderEnd|Edit button|Editbox String|Editbox Number|Combo Box|"
              "Size|Color|Checkbox|Edit slider|Edit spin|Edit direction|Group|!List button|Editbox File|"
              "Font|Custom|Editbox Image File|Combo Box Button|Editbox Float|Editbox String Multiline|"
              "Image List|Combo Box Icons|URL button|Editbox Folder|Edit spin float|");
    // Every pair that may take over a stored value, besides a type with itself.
    const std::set<std::pair<int, int>> compatible = {
        {5, 16},  {5, 19},  {5, 22},  {5, 26},  {16, 5},  {16, 19}, {16, 22}, {16, 26}, {19, 5},
        {19, 16}, {19, 22}, {19, 26}, {26, 5},  {26, 16}, {26, 19}, {26, 22}, {7, 20},  {7, 24},
        {20, 7},  {20, 24}, {24, 7},  {24, 20}, {6, 11},  {6, 12},  {11, 6},  {11, 12}, {12, 6},
        {12, 11}, {6, 21},  {6, 27},  {11, 21}, {11, 27}, {12, 21}, {12, 27}, {21, 27}, {27, 21}};
    for (int from = 0; from < 29; ++from)
        for (int to = 0; to < 28; ++to)
            EXPECT_EQ(Properties::IsPropTypeCompatible(from, to), from == to || compatible.count({from, to}))
                << from << to;
}

// The record sizes of most types are checked against the records the upgrade builds.
TEST_F(Definitions, SizeOfANewObjectsRecord)
{
    const std::tuple<std::string, std::uint16_t, std::wstring> cases[] = {
        {"[]", 40, L""},
        {R"({"Type": "Text"})", 40, L""},
        {R"([{"Type": "Combo Box Icons", "Title": "Name", "DefaultState": "Second"}])", 58, L""},
        {R"([{"Type": "Font", "Title": "Name"}])", 52,
         L"E GetEDITDATASizeFromJSON failed: Calculation of edittime property size can't understand property "
         L"type \"Font\". (UK English)"}};
    for (const auto& [properties, size, boxes] : cases) {
        Use(properties);
        EXPECT_EQ((std::pair{GetEDITDATASizeFromJSON(), Boxes()}), std::pair(size, boxes)) << properties;
    }
}
