// The property upgrade in the editor: new records from the definition's defaults, old records of other
// versions, property lists and layouts, damaged ones, and the boxes that tell the author what happened.
// The settings file is read once per process, so every case (each instance of a table too) runs in a
// process of its own, as ctest runs them.
#include "InProcess.h"
#include "RecordBytes.h"
#include "TestHost.h"

#include "Lib/Shared/Polvane/Properties.h"
#include "Lib/Shared/Polvane/PropertyUpgrade.h"
#include "Lib/Shared/Polvane/TextConversion.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace std::string_literals;
using TestHost::RecordBytes;
using TestHost::ValueBytes;

namespace {

constexpr UINT ErrorStyle = MB_ICONERROR;
constexpr UINT InfoStyle = MB_ICONINFORMATION;
constexpr UINT WarningStyle = MB_ICONWARNING;
const std::wstring Bullet = L"\u2022 ";

std::string Definition(const std::string& properties)
{
    return R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {"Properties": )" + properties + "}}";
}

struct Box {
    std::wstring title; // without the product suffix
    std::wstring text;
    UINT icon;
};

// The box of an upgrade that copied one property and gave Count its default.
const Box CountResetBox = {
    L"Upgraded properties",
    L"Successfully copied 1 of Morvalex object properties from ext version 0 to 1.\n\nAlso "
    L"set 1 property to their default settings, namely:\n" +
        Bullet + L"Count",
    InfoStyle};

class Upgrade : public testing::Test {
protected:
    // Before the first upgrade: the settings are read once.
    void Settings(const std::string& text) const { tree.Write(L"Extensions\\Polvane.ini", text); }

    void Use(const std::string& properties)
    {
        sdk.reset();
        sdk.reset(InProcess::BuildState(Definition(properties)));
        Polvane::RunMode = Polvane::MFXRunMode::Editor;
        boxes.clear();
    }

    // The new record, copied out of the global memory it came in (then freed); empty for null.
    std::vector<std::uint8_t> Run(EDITDATA* oldEdPtr)
    {
        HGLOBAL memory = Polvane::DLL_UpdateEditStructure(host.MV(), oldEdPtr);
        if (memory == nullptr)
            return {};
        // Fixed memory: the handle is the address, and it is not left locked.
        const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(memory));
        EXPECT_EQ(static_cast<const void*>(bytes), memory);
        std::vector<std::uint8_t> record(bytes, bytes + GlobalSize(memory));
        GlobalUnlock(memory);
        EXPECT_EQ(GlobalFree(memory), nullptr);
        return record;
    }

    // A record as the upgrade writes it for the current definition: the header (its maximum size the
    // larger of its own and oldMaximum), the block's fixed fields and the checkbox bytes; the caller
    // adds the entries and calls Done.
    RecordBytes Expected(std::uint32_t identifier, std::uint16_t numProps,
                         const std::vector<std::uint8_t>& checkboxes)
    {
        RecordBytes record;
        record.Header(0, 1, identifier, 20)
            .Block(numProps, ~sdk->PropertyTitlesHash, ~sdk->PropertyTypesHash);
        for (std::uint8_t byte : checkboxes)
            record.U8(byte);
        return record;
    }
    static std::vector<std::uint8_t> Done(RecordBytes& record, std::uint32_t oldMaximum = 0)
    {
        record.End();
        record.Put(4, std::max(static_cast<std::uint32_t>(record.bytes.size()), oldMaximum));
        return record.bytes;
    }

    // An old record with a smart block at offset 20 for another property list.
    static RecordBytes OldSmart(std::uint16_t numProps, const std::vector<std::uint8_t>& checkboxes,
                                std::uint32_t version = 0)
    {
        RecordBytes record;
        record.Header(500, version, 0xCAFE, 20).Block(numProps, 0x1111, 0x2222);
        for (std::uint8_t byte : checkboxes)
            record.U8(byte);
        return record;
    }

    void ExpectBoxes(const std::vector<Box>& expected, const std::string& label = {})
    {
        ASSERT_EQ(boxes.size(), expected.size()) << label << FirstText();
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(boxes[i].title, expected[i].title + L" - Morvalex") << label << ", box " << i;
            EXPECT_EQ(boxes[i].text, expected[i].text) << label << ", box " << i;
            EXPECT_EQ(boxes[i].style & MB_ICONMASK, expected[i].icon) << label << ", box " << i;
        }
    }
    std::string FirstText() const
    {
        return boxes.empty() ? std::string() : ", first box: " + testing::PrintToString(boxes[0].text);
    }

    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Morvalex.mfx"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder recorder;
    std::vector<TestHost::RecordedBox>& boxes = recorder.boxes;
    TestHost::Host host;
    std::unique_ptr<Tovik::SDK> sdk;
};

const char* const TextVersion = R"([{"Title": "Version", "Type": "Text", "DefaultState": "1"}])";

} // namespace

TEST_F(Upgrade, ANewObjectWithOneTextProperty)
{
    Use(TextVersion);
    const std::vector<std::uint8_t> record = Run(nullptr);
    const std::vector<std::uint8_t> expected = {
        48,   0,    0,    0,    48,   0,    0,    0,    1,    0,    0,    0,
        0,    0,    0,    0,    20,   0,    0,    0,                            // header
        0x31, 0x4E, 0x56, 0x50, 0x3A, 0x62, 0xE3, 0x7E, 0x3A, 0x62, 0xE3, 0x7E, // magic, ~0x811C9DC5 twice
        1,    0,    0,    0,    48,   0,    0,    0,                            // count, 0, size
        0,                                                                      // checkbox byte
        7,    0,    0,    0,    1,    0,    0};                                 // the Text entry
    EXPECT_EQ(record, expected);
    EXPECT_EQ(GetEDITDATASizeFromJSON(), 48);
    EXPECT_TRUE(boxes.empty()) << FirstText();
    EXPECT_EQ(host.FunctionCount(HostFunction::GetPropertyValue), 0);
}

TEST_F(Upgrade, ANewObjectTakesEveryDefault)
{
    const std::string longTitle(300, 'L');
    Use(R"([{"Type": "Folder", "Title": "Group"},
            {"Type": "Editbox String", "Title": "Name", "DefaultState": "Bob", "Case": "Upper"},
            {"Type": "Checkbox", "Title": "On", "DefaultState": true},
            {"Type": "Editbox Number", "Title": "Count", "DefaultState": -2, "CheckboxDefaultState": true},
            {"Type": "Combo Box", "Title": "Pick", "Items": ["a", "bc"], "DefaultState": "bc"},
            {"Type": "Size", "Title": ")" +
        longTitle + R"(", "DefaultState": [3, 4]},
            {"Type": "Editbox Float", "Title": "F", "DefaultState": 0.5, "CheckboxDefaultState": false},
            {"Type": "Image List", "Title": "Pics"},
            {"Type": "FolderEnd"},
            {"Type": "Edit button", "Title": "Go", "DefaultState": "Press"}])");
    RecordBytes expected = Expected(0, 10, {0x0C, 0x00});
    expected.Entry(2, "", "")
        .Entry(5, "Name", "BOB")
        .Entry(10, "On", "")
        .Entry(6, "Count", ValueBytes(-2))
        .Entry(7, "Pick", "bc")
        .Entry(8, longTitle.substr(0, 254), ValueBytes(3) + ValueBytes(4))
        .Entry(21, "F", ValueBytes(0.5f))
        .Entry(23, "Pics", "\0\0"s)
        .Entry(3, "", "")
        .Entry(4, "", "");
    const std::vector<std::uint8_t> record = Run(nullptr);
    EXPECT_EQ(record, Done(expected));
    EXPECT_EQ(record.size(), GetEDITDATASizeFromJSON());
    EXPECT_TRUE(boxes.empty()) << FirstText();
}

namespace {

// n Editbox String properties titled T whose defaults add up to textBytes, in pieces the JSON reader
// takes (below 4096 bytes).
std::string TextProperties(int n, std::size_t textBytes)
{
    std::string list = "[";
    for (int i = 0; i < n; ++i) {
        const std::size_t piece = std::min<std::size_t>(textBytes, 4000);
        textBytes -= piece;
        list += std::string(i == 0 ? "" : ", ") +
                R"({"Type": "Editbox String", "Title": "T", "DefaultState": ")" + std::string(piece, 'x') +
                R"("})";
    }
    return list + "]";
}

} // namespace

TEST_F(Upgrade, ANewObjectOf65535BytesIsBuilt)
{
    // 40 + 3 checkbox bytes + 17 entries of 8 bytes + the texts.
    Use(TextProperties(17, 65535 - 40 - 3 - 17 * 8));
    const std::vector<std::uint8_t> record = Run(nullptr);
    ASSERT_EQ(record.size(), 65535u);
    EXPECT_EQ(record[0] | record[1] << 8 | record[2] << 16, 65535);
    EXPECT_TRUE(boxes.empty()) << FirstText();
}

TEST_F(Upgrade, ANewObjectOf65536BytesIsRefused)
{
    Use(TextProperties(17, 65536 - 40 - 3 - 17 * 8));
    EXPECT_TRUE(Run(nullptr).empty());
    ExpectBoxes(
        {{L"Properties too big",
          L"New EDITDATA was too big to store all the initial properties; needed 65536 bytes, but 65535 is "
          L"the maximum possible.",
          ErrorStyle}});
    boxes.clear();
    std::vector<std::uint8_t> edPtr(64);
    EXPECT_EQ(Polvane::DLL_CreateObject(host.MV(), 0, reinterpret_cast<EDITDATA*>(edPtr.data())), -1);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(edPtr, std::vector<std::uint8_t>(64));
}

TEST_F(Upgrade, ARecordOfTheCurrentVersionIsKept)
{
    Use(TextVersion);
    // Whatever its contents: even a record too short for a block.
    RecordBytes old;
    old.Header(24, 1, 0, 0).U32(0xFFFFFFFF).End();
    const std::vector<std::uint8_t> before = old.bytes;
    EXPECT_TRUE(Run(old.Record()).empty());
    EXPECT_EQ(old.bytes, before);
    EXPECT_TRUE(boxes.empty()) << FirstText();
    EXPECT_EQ(host.FunctionCount(HostFunction::GetPropertyValue), 0);
}

TEST_F(Upgrade, ANewerVersionAsksWhatToDo)
{
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"}])");
    const Box question = {
        L"Property update warning",
        L"UpdateEditStructure has current version 1 and MFA has a version of 2. Select an action "
        L"to take:\nYes = run updater.\nNo = set the EDITDATA's version number to earlier version "
        L"1.\nCancel = make no changes and ignore the difference.",
        WarningStyle};
    const struct {
        int answer;
        std::uint32_t versionAfter;
        bool upgraded;
    } cases[] = {{IDNO, 1, false}, {IDCANCEL, 2, false}, {IDYES, 2, true}};
    for (const auto& c : cases) {
        const std::string label = "answer " + std::to_string(c.answer);
        RecordBytes old = OldSmart(1, {0x00}, 2);
        old.Entry(5, "Name", "kept").End();
        recorder.answer = c.answer;
        boxes.clear();
        const std::vector<std::uint8_t> record = Run(old.Record());
        ASSERT_FALSE(boxes.empty()) << label;
        EXPECT_EQ(boxes[0].title, question.title + L" - Morvalex") << label;
        EXPECT_EQ(boxes[0].text, question.text) << label;
        EXPECT_EQ(boxes[0].style,
                  static_cast<UINT>(MB_ICONWARNING | MB_YESNOCANCEL | MB_TASKMODAL | MB_SETFOREGROUND))
            << label;
        EXPECT_EQ(old.Record()->eHeader.extVersion, c.versionAfter) << label;
        EXPECT_EQ(record.empty(), !c.upgraded) << label;
        if (c.upgraded) {
            RecordBytes expected = Expected(0xCAFE, 1, {0x00});
            expected.Entry(5, "Name", "kept");
            EXPECT_EQ(record, Done(expected, 500)) << label;
        }
    }
}

TEST_F(Upgrade, AStoredTitlesHashOfTheSameListKeepsTheRecord)
{
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"}])");
    RecordBytes old;
    old.Header(60, 0, 7, 20).Block(1, ~sdk->PropertyTitlesHash, 0x2222).U8(0).Entry(5, "Name", "old").End();
    const std::vector<std::uint8_t> before = old.bytes;
    EXPECT_TRUE(Run(old.Record()).empty());
    EXPECT_EQ(old.Record()->eHeader.extVersion, 1u);
    old.Record()->eHeader.extVersion = 0;
    EXPECT_EQ(old.bytes, before); // nothing else changed
    EXPECT_TRUE(boxes.empty()) << FirstText();
}

TEST_F(Upgrade, AnotherTitlesHashWithTheSameTypesHashRunsTheReaders)
{
    Settings("SmartPropertiesUpgradeBox=never\r\n");
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"}])");
    RecordBytes old;
    old.Header(0, 0, 7, 20).Block(1, 0x1111, ~sdk->PropertyTypesHash).U8(0x01).Entry(5, "name", "old").End();
    RecordBytes expected = Expected(7, 1, {0x01});
    expected.Entry(5, "Name", "old");
    EXPECT_EQ(Run(old.Record()), Done(expected));
    EXPECT_EQ(old.Record()->eHeader.extVersion, 0u);
    EXPECT_TRUE(boxes.empty()) << FirstText();
}

TEST_F(Upgrade, ABlockOfTheSameListAtAnotherOffsetIsMovedTo20)
{
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"}])");
    RecordBytes old;
    old.Header(900, 0, 7, 28).Text("12345678").Block(1, ~sdk->PropertyTitlesHash, 5).U8(0x01);
    old.Entry(5, "Name", "old").End();
    RecordBytes expected;
    expected.Header(900, 1, 7, 20).Block(1, ~sdk->PropertyTitlesHash, 5).U8(0x01).Entry(5, "Name", "old");
    EXPECT_EQ(Run(old.Record()), Done(expected, 900));
    EXPECT_TRUE(boxes.empty()) << FirstText();
}

TEST_F(Upgrade, ARenamedPropertyIsCopiedWithItsValueAndCheckbox)
{
    Settings("SmartPropertiesUpgradeBox=always\r\n");
    Use(R"([{"Type": "Editbox Number", "Title": "Velocity", "OldTitle": "speed", "DefaultState": 1,
             "CheckboxDefaultState": false},
            {"Type": "Checkbox", "Title": "On", "DefaultState": false},
            {"Type": "Text", "Title": "About"}])");
    RecordBytes old = OldSmart(3, {0x03});
    old.Entry(10, "On", "").Entry(6, "Speed", ValueBytes(30)).Entry(1, "", "").End();
    RecordBytes expected = Expected(0xCAFE, 3, {0x03});
    expected.Entry(6, "Velocity", ValueBytes(30)).Entry(10, "On", "").Entry(1, "", "");
    EXPECT_EQ(Run(old.Record()), Done(expected, 500));
    ExpectBoxes(
        {{L"Upgraded properties",
          L"Successfully upgraded all 3 of Morvalex object properties from ext version 0 to version 1.",
          InfoStyle}});
}

TEST_F(Upgrade, APropertyMissingFromTheOldRecordTakesItsDefault)
{
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"},
            {"Type": "Editbox Number", "Title": "Count", "DefaultState": 3}])");
    RecordBytes old = OldSmart(1, {0x01});
    old.Entry(5, "Name", "old").End();
    RecordBytes expected = Expected(0xCAFE, 2, {0x01});
    expected.Entry(5, "Name", "old").Entry(6, "Count", ValueBytes(3));
    EXPECT_EQ(Run(old.Record()), Done(expected, 500));
    ExpectBoxes({CountResetBox});
}

TEST_F(Upgrade, PropertiesResetTogetherAreListedInOrder)
{
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"},
            {"Type": "Editbox Number", "Title": "Count", "DefaultState": 3, "CheckboxDefaultState": true},
            {"Type": "Checkbox", "Title": "Grand\u00e9", "DefaultState": true}])");
    RecordBytes old = OldSmart(1, {0x00}, 0);
    old.Entry(5, "Name", "old").End();
    RecordBytes expected = Expected(0xCAFE, 3, {0x06});
    expected.Entry(5, "Name", "old").Entry(6, "Count", ValueBytes(3)).Entry(10, "Grand\xC3\xA9", "");
    EXPECT_EQ(Run(old.Record()), Done(expected, 500));
    // Count's value and its checkbox both come from the definition: it is one property reset.
    ExpectBoxes(
        {{L"Upgraded properties",
          L"Successfully copied 1 of Morvalex object properties from ext version 0 to 1.\n\nAlso set 2 "
          L"properties to their default settings, namely:\n" +
              Bullet + L"Count\n" + Bullet + L"Grand\u00e9",
          InfoStyle}});
}

TEST_F(Upgrade, TheObjectsNameComesFromTheHost)
{
    Settings("SmartPropertiesUpgradeBox=always\r\n");
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"}])");
    const struct {
        const wchar_t* hostName;
        const wchar_t* shown;
    } cases[] = {{L"", L"Morvalex"}, {L"Gadget", L"Gadget (Morvalex)"}, {L"Morvalex", L"Morvalex"}};
    int word34 = 0;
    for (const auto& c : cases) {
        host.objectName = c.hostName;
        host.MV()->word34 = ++word34;
        RecordBytes old = OldSmart(1, {0x00});
        old.Entry(5, "Name", "old").End();
        boxes.clear();
        const int released = host.ReleasedValues();
        const int asked = host.FunctionCount(HostFunction::GetPropertyValue);
        ASSERT_FALSE(Run(old.Record()).empty());
        ExpectBoxes({{L"Upgraded properties",
                      L"Successfully upgraded all 1 of " + std::wstring(c.shown) +
                          L" object properties from ext version 0 to version 1.",
                      InfoStyle}});
        EXPECT_EQ(host.FunctionCount(HostFunction::GetPropertyValue), asked + 1);
        // The host's value object is released once it has been read.
        EXPECT_EQ(host.ReleasedValues(), released + (*c.hostName != L'\0' ? 1 : 0));
    }
}

TEST_F(Upgrade, APreSmartRecordIsRebuiltAsABlock)
{
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"},
            {"Type": "Combo Box", "Title": "Pick", "Items": ["a", "bc"], "DefaultState": "a"},
            {"Type": "Editbox Number", "Title": "Count", "DefaultState": 3},
            {"Type": "Checkbox", "Title": "On", "DefaultState": false}])");
    RecordBytes old;
    old.Header(4000, 0, 0xBEEF, 0).U32(24 + 1 + 4 + 4 + 4).U8(0x09).Text("abc\0"s).U32(1).U32(77).End();
    RecordBytes expected = Expected(0xBEEF, 4, {0x09});
    expected.Entry(5, "Name", "abc")
        .Entry(7, "Pick", "bc")
        .Entry(6, "Count", ValueBytes(77))
        .Entry(10, "On", "");
    EXPECT_EQ(Run(old.Record()), Done(expected, 4000));
    // No block offset: no warning about it, and nothing was reset, so no box.
    EXPECT_TRUE(boxes.empty()) << FirstText();
}

TEST_F(Upgrade, APreSmartRecordCutShortIsCompletedFromTheDefinition)
{
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"},
            {"Type": "Editbox Number", "Title": "Count", "DefaultState": 3, "CheckboxDefaultState": true}])");
    RecordBytes old;
    old.Header(0, 0, 0, 0).U32(24 + 1 + 4 + 2).U8(0x01).Text("abc\0\x05\x06"s).End().Text("\x07\x08");
    RecordBytes expected = Expected(0, 2, {0x03});
    expected.Entry(5, "Name", "abc").Entry(6, "Count", ValueBytes(3));
    EXPECT_EQ(Run(old.Record()), Done(expected));
    ExpectBoxes({CountResetBox});
}

TEST_F(Upgrade, WithoutAnyReaderNothingIsBuilt)
{
    Use(R"({"Type": "Editbox String", "Title": "Name"})");
    EXPECT_TRUE(Run(nullptr).empty());
    ExpectBoxes(
        {{L"Property error", L"JSONPropertyReader: Properties is the wrong type, expected an array.\n",
          ErrorStyle},
         {L"Property conversion error",
          L"All Morvalex property readers have failed. Your property data is corrupt beyond recovery or "
          L"reset. Please re-add the object to frame.",
          ErrorStyle}});

    Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    boxes.clear();
    EXPECT_TRUE(Run(nullptr).empty());
    ExpectBoxes({{L"Property error",
                  L"JSONPropertyReader: Properties is the wrong type, expected an array.\n", ErrorStyle},
                 {L"Property reading error", L"Setting up Morvalex object properties from JSON failed.",
                  ErrorStyle}});
}

TEST_F(Upgrade, APropertyNoReaderCanGiveGetsAZeroValue)
{
    Use(R"([{"Type": "Editbox Number", "Title": "A"}, {"Type": "Editbox String", "Title": "B", "DefaultState": "b"},
            {"Type": "Size", "Title": "C", "DefaultState": 4}])");
    RecordBytes expected = Expected(0, 3, {0x00});
    expected.Entry(6, "A", ValueBytes(0)).Entry(5, "B", "b").Entry(8, "C", std::string(8, '\0'));
    const std::vector<std::uint8_t> record = Run(nullptr);
    EXPECT_EQ(record, Done(expected));
    EXPECT_EQ(record.size(), GetEDITDATASizeFromJSON());
    ExpectBoxes(
        {{L"Property conversion error",
          L"JSONPropertyReader converter encountered a failure: JSONPropertyReader: JSON item A, ID 0, "
          L"language UK English has no default value.. Delegating.",
          WarningStyle},
         {L"Property conversion error",
          L"All converters have failed for property 0 (A). Your property data is corrupt beyond recovery or "
          L"reset. Please re-add the object to frame.",
          ErrorStyle},
         {L"Property conversion error",
          L"JSONPropertyReader converter encountered a failure: JSONPropertyReader: Couldn't read default "
          L"state for JSON item C, ID 2, language UK English. Erroring.. Delegating.",
          WarningStyle},
         {L"Property conversion error",
          L"All converters have failed for property 2 (C). Your property data is corrupt beyond recovery or "
          L"reset. Please re-add the object to frame.",
          ErrorStyle}});

    // Loading quietly, only the readers' own failures are shown.
    Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    boxes.clear();
    EXPECT_EQ(Run(nullptr), Done(expected));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].style & MB_ICONMASK, WarningStyle);
    EXPECT_EQ(boxes[1].style & MB_ICONMASK, WarningStyle);
}

TEST_F(Upgrade, WhenTheLastReaderLeavesTheUpgradeStops)
{
    Use(R"([{"Type": "Editbox String", "Title": "A", "DefaultState": ")" + std::string(4096, 'a') + R"("},
            {"Type": "Editbox String", "Title": "B"}])");
    EXPECT_TRUE(Run(nullptr).empty());
    ExpectBoxes(
        {{L"Property conversion error",
          L"All converters have failed for property 0 (A). Your property data is corrupt beyond recovery or "
          L"reset. Please re-add the object to frame.",
          ErrorStyle}});
}

TEST_F(Upgrade, ACheckboxNoReaderCanGiveIsReportedAndLeftClear)
{
    Use(R"([{"Type": "Editbox String", "Title": "A", "CheckboxDefaultState": 1},
            {"Type": "Editbox String", "Title": "B", "CheckboxDefaultState": true}])");
    RecordBytes expected = Expected(0, 2, {0x02});
    expected.Entry(5, "A", "").Entry(5, "B", "");
    EXPECT_EQ(Run(nullptr), Done(expected));
    ExpectBoxes({{L"Property conversion error", L"Couldn't read check box of some properties. Delegating.",
                  ErrorStyle}});
}

TEST_F(Upgrade, ReadersThatLeftForValuesStillGiveCheckboxes)
{
    Settings("SmartPropertiesUpgradeBox=never\r\n");
    Use(R"([{"Type": "Text", "Title": "A", "CheckboxDefaultState": false},
            {"Type": "Editbox Number", "Title": "B", "DefaultState": 2}])");
    // The pre-smart reader passes A on, then finds B cut short and leaves the chain; A's checkbox bit is
    // still read from it, not taken from the definition.
    RecordBytes old;
    old.Header(0, 0, 0, 0).U32(24 + 1 + 2).U8(0x01).Text("\x01\x02").End();
    RecordBytes expected = Expected(0, 2, {0x01});
    expected.Entry(1, "", "").Entry(6, "B", ValueBytes(2));
    EXPECT_EQ(Run(old.Record()), Done(expected));
    EXPECT_TRUE(boxes.empty()) << FirstText();
}

// Damaged smart records: whatever their words say, nothing outside the record is read, and what cannot
// be read takes its default. The bytes after each record's end would make a stray read visible.
TEST_F(Upgrade, DamagedBlocksAreReadOnlyInsideTheRecord)
{
    Settings("SmartPropertiesUpgradeBox=never\r\n");
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"}])");
    const std::string entry = "\x0E\0\0\0\x05\0\x04Nameold"s;
    const Box offsetTooHigh = {L"Polvane offset invalid", L"Offset is too high!", WarningStyle};
    const struct {
        const char* label;
        RecordBytes old;
        std::string outside;
        std::uint8_t checkbox; // the new record's: the old bit when the old block could be read
        std::vector<Box> boxes;
    } cases[] = {
        {"entry size past the end", OldSmart(1, {0x01}).U32(400).U16(5).U8(4).Text("Nameold"), "xyz", 0, {}},
        {"title longer than the entry", OldSmart(1, {0x01}).U32(7).U16(5).U8(4), "Nameold", 0, {}},
        {"count past the entries", OldSmart(2, {0x01}).Entry(5, "Other", "x"), entry, 0, {}},
        {"entry header cut", OldSmart(1, {0x01}).U32(14).U16(5), "\x04Nameold", 0, {}},
        {"checkbox bytes cut", OldSmart(40, {}), "\x01\x01\x01\x01\x01" + entry, 0, {}},
        {"block cut", RecordBytes().Header(0, 0, 0, 20).Text("1NVP"), "xyz", 0, {offsetTooHigh}},
        {"offset past the end", RecordBytes().Header(0, 0, 0, 300).Text("1NVP"), "xyz", 0, {offsetTooHigh}},
    };
    for (const auto& c : cases) {
        RecordBytes old = c.old;
        old.End().Text(c.outside);
        boxes.clear();
        RecordBytes expected = Expected(old.Record()->eHeader.identifier, 1, {c.checkbox});
        expected.Entry(5, "Name", "new");
        EXPECT_EQ(Run(old.Record()), Done(expected, old.Record()->eHeader.maximumSize)) << c.label;
        ExpectBoxes(c.boxes, c.label);
    }
}

// The box after an upgrade, by setting. Each upgrade of the script either resets a property or copies
// them all, under the mV word that the once-only settings remember.
namespace {

enum Shown { None, AllCopied, SomeReset };

struct SettingCase {
    const char* name;
    const char* setting; // null: no such line
    bool misunderstood;  // shows the settings error box before each upgrade
    std::vector<Shown> shown;
};

struct Step {
    bool reset;
    std::uint32_t key;
};

const Step Script[] = {{true, 0}, {true, 0}, {false, 0}, {false, 5}, {true, 9}};

class UpgradeBox : public Upgrade, public testing::WithParamInterface<SettingCase> {};

} // namespace

TEST_P(UpgradeBox, ShownAsTheSettingSays)
{
    const SettingCase& c = GetParam();
    if (c.setting != nullptr)
        Settings("Other=1\r\nSmartPropertiesUpgradeBox=" + std::string(c.setting) + "\r\n");
    Use(R"([{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"},
            {"Type": "Editbox Number", "Title": "Count", "DefaultState": 3}])");
    const Box all = {
        L"Upgraded properties",
        L"Successfully upgraded all 2 of Morvalex object properties from ext version 0 to version 1.",
        InfoStyle};
    const Box misunderstood = {
        L"Polvane INI error",
        L"Couldn't understand \"SmartPropertiesUpgradeBox\" setting of \"" +
            Polvane::UTF8ToTString(c.setting != nullptr ? c.setting : "") +
            L"\". Valid values are \"always\", \"always, once\", \"for reset only\", \"for reset "
            L"only, once\", and \"never\".",
        ErrorStyle};
    for (std::size_t s = 0; s < std::size(Script); ++s) {
        RecordBytes old = OldSmart(Script[s].reset ? 1 : 2, {0x00});
        old.Entry(5, "Name", "old");
        if (!Script[s].reset)
            old.Entry(6, "Count", ValueBytes(8));
        old.End();
        host.MV()->word34 = Script[s].key;
        boxes.clear();
        ASSERT_FALSE(Run(old.Record()).empty());
        std::vector<Box> expected;
        if (c.misunderstood)
            expected.push_back(misunderstood);
        if (c.shown[s] != None)
            expected.push_back(c.shown[s] == AllCopied ? all : CountResetBox);
        ExpectBoxes(expected, "upgrade " + std::to_string(s));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, UpgradeBox,
    testing::Values(
        SettingCase{"Absent", nullptr, false, {SomeReset, None, None, None, SomeReset}},
        SettingCase{"Empty", "", false, {SomeReset, None, None, None, SomeReset}},
        SettingCase{"Always", "always", false, {SomeReset, SomeReset, AllCopied, AllCopied, SomeReset}},
        SettingCase{"AlwaysOnce", "always, once", false, {SomeReset, None, None, AllCopied, SomeReset}},
        SettingCase{"ForResetOnly", "for reset only", false, {SomeReset, SomeReset, None, None, SomeReset}},
        SettingCase{
            "ForResetOnlyOnce", "for reset only, once", false, {SomeReset, None, None, None, SomeReset}},
        SettingCase{"Never", "never", false, {None, None, None, None, None}},
        SettingCase{"Misspelt", "for resets only", true, {SomeReset, None, None, None, SomeReset}},
        SettingCase{"NeverOnce", "never, once", true, {SomeReset, None, None, None, SomeReset}},
        SettingCase{"OnlyOnce", ", once", true, {SomeReset, None, None, None, SomeReset}},
        SettingCase{"CaseMatters", "Always", true, {SomeReset, None, None, None, SomeReset}}),
    [](const testing::TestParamInfo<SettingCase>& info) { return std::string(info.param.name); });
