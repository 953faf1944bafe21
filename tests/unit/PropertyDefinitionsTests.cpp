// The host property table and the two property hashes, as the state object builds them from a definition:
// each descriptor as the host reads it, the boxes for bad definitions, and the hashes.
#include "InProcess.h"
#include "PropertyRecords.h"

#include "Lib/Shared/Polvane/PropertyDefinitions.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

namespace {

struct Built {
    explicit Built(const std::string& properties)
        : sdk(InProcess::BuildState(TestHost::PropertyDefinition(properties)))
    {
    }
    InProcess::BoxRecorder recorder;
    std::unique_ptr<Tovik::SDK> sdk;
};

std::uint32_t ReferenceFNV1a(const std::string& bytes)
{
    std::uint64_t hash = 2166136261u;
    for (unsigned char byte : bytes)
        hash = ((hash ^ byte) * 16777619u) % 4294967296u;
    return std::uint32_t(hash);
}

} // namespace

TEST(PropertyDefinitions, EachKindOfPropertyAsTheHostReadsIt)
{
    Built built(R"([{"Title": "Version", "Info": "The version.", "Type": "Text", "DefaultState": "1"},
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
    for (const HostPropertyDescriptor& d : built.sdk->EdittimeProperties) {
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
    const std::wstring parser = L" ## E Polvane JSON property parser: ",
                       unknown = L"\" in the JSON (under UK "
                                 L"English language).\nCheck your spelling of the \"Type\" Parameter.";
    EXPECT_EQ(
        TestHost::Shown(built.recorder.boxes),
        L"W Polvane JSON property: Property \"M\" is set to \"Case\"=\"lower\", but that won't work with "
        L"property type Editbox String Multiline. ## W Polvane JSON property: Property \"M\" is set to "
        L"password "
        L"mask, but that won't work with property type Editbox String Multiline. ## E Polvane JSON property: "
        L"No "
        L"Items detected in combobox property Pick." +
            parser +
            L"Too many FolderEnd properties! Extra one found "
            L"at index 14. ## I Polvane JSON property parser: Detected a custom property." +
            parser +
            L"Properties "
            L"contains a string \"Loose\" instead of an object. Multiple categories of properties not "
            L"currently "
            L"implemented. (UK English)" +
            parser +
            L"You have specified an invalid Parameter type \"!List "
            L"button\". These types are reserved. (UK English)" +
            parser +
            L"Property index 18 \"Typo\" has an "
            L"unrecognised property type \"Editbox Nmber" +
            unknown + parser +
            L"Property index 19 \"Nul\" has an "
            L"unrecognised property type \"Text" +
            unknown + // the NUL is part of the type: none is named so
            L" ## E JSON verification error: There was a Folder [Open] that does not have a FolderEnd "
            L"property.");
}

TEST(PropertyDefinitions, HashesOverTheTitlesAndTypesOfPropertiesWithAValue)
{
    EXPECT_EQ(std::pair(FNV1a32(""), FNV1a32("a")), std::pair(0x811C9DC5u, 0xE40C292Cu));
    const struct {
        const char* properties;
        std::string titles, types;
    } cases[] = {
        {"[]", "", ""},
        {R"({"Title": "x"})", "", ""},
        {R"([{"Title": "NAME", "Type": "editbox string", "Info": "changes nothing"}])", "name|5 | ", "5|"},
        // Labels, folders and buttons store nothing and stay out of both hashes.
        {R"([{"Title": "V", "Type": "Text"}, {"Title": "F", "Type": "Folderish"},
            {"Title": "Name", "Type": "Editbox String"},
            {"Title": "G", "Type": "Group"}, {"Title": "B", "Type": "Edit button"}, {"Type": "FolderEnd"}])",
         "name|5 | ", "5|"},
        {R"([{"Title": "On", "Type": "Checkbox"}, {"Title": "Big", "Type": "Size"}])", "on|10 | big|8 | ",
         "10|8|"},
        {R"([{"Title": "\u00c9T\u00c9", "Type": "Editbox Float"}])", "\xC3\x89t\xC3\x89|21 | ",
         "21|"}, // ASCII folds
        {R"([{"Title": "a", "Type": "Text"}, {"Title": "b", "Type": "Custom"}])", "b|28 | ", "28|"},
        {R"([{"Title": "X", "Type": "Editbox Stringy"}])", "x|1 | ", "1|"}};
    for (const auto& c : cases) {
        Built built(c.properties);
        EXPECT_EQ(std::pair(built.sdk->PropertyTitlesHash, built.sdk->PropertyTypesHash),
                  std::pair(ReferenceFNV1a(c.titles), ReferenceFNV1a(c.types)))
            << c.properties;
    }
    Built name(R"([{"Title": "Name", "Type": "Editbox String"}])");
    EXPECT_EQ(std::pair(name.sdk->PropertyTitlesHash, name.sdk->PropertyTypesHash),
              std::pair(0x93DA7347u, 0x4FE0EEC4u));
}
