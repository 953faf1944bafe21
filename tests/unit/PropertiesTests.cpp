// The stored property block: its byte layout and accessors, the type ids and their compatibility, and the
// size a new object's record needs.
#include "InProcess.h"
#include "PropertyRecords.h"

#include "Lib/Shared/Polvane/Properties.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace std::string_literals;
using namespace TestHost;
using Polvane::Properties;

namespace {

struct PropertiesTest : testing::Test {
    std::wstring Boxes() { return Shown(std::exchange(recorder.boxes, {})); }
    void Use(const std::string& properties)
    {
        sdk.reset(), sdk.reset(InProcess::BuildState(PropertyDefinition(properties)));
        recorder.boxes.clear();
    }
    InProcess::BoxRecorder recorder;
    std::unique_ptr<Tovik::SDK> sdk;
};

} // namespace

TEST_F(PropertiesTest, BlockLayoutAndEntriesByPosition)
{
    Use(R"([{"Type": "Text"}, {"Type": "Editbox String"}, {"Type": "Checkbox"}, {"Type": "Folder"},
        {"Type": "Edit spin"}, {"Type": "FolderEnd"}, {"Type": "Edit button"}, {"Type": "Group"},
        {"Type": "Combo Box"}])");
    const auto E = EntryBytes;
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
    EXPECT_EQ(
        Boxes(),
        L"E Polvane property error: Can't read property checkbox for property ID -1, the valid ID range "
        L"is 0 to 9.");
    Use(R"({"Type": "Editbox Number"})");
    EXPECT_EQ(props->Internal_DataAt(1), nullptr);
    EXPECT_EQ(Boxes(),
              L"E Premature function call: Internal_DataAt() called for prop ID 1 without Polvane_Props for "
              L"language UK English being valid.");
}

TEST_F(PropertiesTest, BlockFoundThroughTheOffsetWord)
{
    const std::wstring
        old = L"W Old Polvane props: No offset found. Falling back to default. Resetting properties "
              L"recommended.",
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

TEST_F(PropertiesTest, TypeIdsHostIdsAndCompatibility)
{
    // Ids are stored in every block: a name that moved would change what old records mean.
    std::string names;
    for (const Polvane::PropTypeInfo& type : Polvane::PropTypes)
        names += type.name + "|"s;
    EXPECT_EQ(
        names,
        "!Start item|Text|Folder|FolderEnd|Edit button|Editbox String|Editbox Number|Combo Box|Size|Color|"
        "Checkbox|Edit slider|Edit spin|Edit direction|Group|!List button|Editbox File|Font|Custom|Editbox "
        "Image File|Combo Box Button|Editbox Float|Editbox String Multiline|Image List|Combo Box Icons|URL "
        "button|Editbox Folder|Edit spin float|");
    const std::pair<std::uint32_t, std::uint32_t> ids[] = {
        {0x80000, 0}, {0x8FFFF, 0xFFFF}, {0x7FFFF, ~0u}, {0, ~0u}};
    for (const auto& [host, index] : ids)
        EXPECT_EQ(Polvane::PropIndexFromHostID(host), index) << host;
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

TEST_F(PropertiesTest, SizeOfANewObjectsRecord)
{
    const auto one = [](const std::string& type, const std::string& more = "") {
        return R"([{"Type": ")" + type + R"(", "Title": "Name")" + (more.empty() ? "" : ", " + more) + "}]";
    };
    const auto text = [&](std::size_t size) {
        return one("Editbox String", R"("DefaultState": ")" + std::string(size, 'x') + "\"");
    };
    // clang-format off
    const struct { std::string properties; std::uint16_t size; std::wstring boxes; } cases[] = {
        {"[]", 40, L""}, {R"({"Type": "Text"})", 40, L""}, {one("Text"), 48, L""}, {text(3), 55, L""},
        {one("Editbox String", R"("DefaultState": 12)"), 52, L""}, {one("editbox number"), 56, L""},
        {one("Checkbox", R"("DefaultState": true)"), 52, L""}, {one("Size"), 60, L""},
        {one("Image List"), 54, L""},
        {one("Combo Box Icons", R"("DefaultState": "Second")"), 58, L""},
        {R"([{"Type": "Edit spin float", "Title": ")" + std::string(300, 't') + "\"}]", 40 + 1 + 7 + 254 + 4,
         L""},
        {R"([{"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"},
            {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Group"}])", 40 + 2 + 9 * 7, L""},
        // A refused type stands as a Text: it counts what the upgrade stores for it, 7 bytes.
        {one("Editbox Stringy", R"("DefaultState": "abc")"), 48, L""},
        {one("Font"), 52, L"E GetEDITDATASizeFromJSON failed: Calculation of edittime property size can't "
                          L"understand property type \"Font\". (UK English)"},
        {text(65535 - 52), 65535, L""},
        {text(65536 - 52), 0, L"E EDITDATA too large!: The JSON extension properties use more than 65535 "
                              L"bytes to store, and are too large for Fusion. (UK English)"}};
    // clang-format on
    for (const auto& c : cases) {
        Use(c.properties);
        const std::uint16_t size = GetEDITDATASizeFromJSON();
        EXPECT_EQ(std::pair(size, Boxes()), std::pair(c.size, c.boxes)) << c.properties.substr(0, 80);
    }
}
