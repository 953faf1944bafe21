// The property upgrade in the editor: new records from the definition's defaults, old records of other
// versions, property lists and layouts, damaged ones, and the boxes that tell the author what happened. The
// settings file is read once per process: each setting is a case of its own, run in a process of its own.
#include "InProcess.h"
#include "PropertyRecords.h"
#include "TestHost.h"

#include "Lib/Shared/Polvane/Properties.h"
#include "Lib/Shared/Polvane/PropertyUpgrade.h"
#include "Lib/Shared/Polvane/TextConversion.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <memory>

using namespace std::string_literals;
using namespace TestHost;

namespace {

const auto E = EntryBytes;
std::string N(int value) { return ValueBytes(value); }
const std::string Name = R"({"Type": "Editbox String", "Title": "Name", "DefaultState": "new"})";
const std::string Count =
    R"({"Type": "Editbox Number", "Title": "Count", "DefaultState": 3)"; // more may follow

// A record as the upgrade writes it, its hashes 0 (Run blanks the built record's), its maximum size the
// larger of its own and the old record's.
Bytes New(std::uint32_t identifier, std::uint16_t count, const std::string& body,
          std::uint32_t oldMaximum = 0)
{
    Bytes record = Ended(HeaderBytes(0, 1, identifier, 20) + BlockBytes(count, 0, 0) + body);
    return Put(record, 4, std::max<std::uint32_t>(record.size(), oldMaximum));
}

// An old record with a block at offset 20 for another property list.
Bytes Old(std::uint16_t count, const std::string& body, std::uint32_t version = 0)
{
    return Ended(HeaderBytes(500, version, 0xCAFE, 20) + BlockBytes(count, 0x1111, 0x2222) + body);
}

std::wstring Reset(const std::wstring& copied, const std::wstring& what)
{
    return L"I Upgraded properties: Successfully copied " + copied +
           L" of Morvalex object properties from ext "
           L"version 0 to 1.\n\nAlso set 1 property to their default settings, namely:\n\u2022 " +
           what;
}

struct Upgrade : testing::Test {
    void Use(const std::string& properties)
    {
        sdk.reset(), sdk.reset(InProcess::BuildState(PropertyDefinition(properties)));
        Polvane::RunMode = Polvane::MFXRunMode::Editor;
        recorder.boxes.clear();
    }
    // The new record out of the fixed global memory it came in (then freed), its hashes checked against
    // the definition's and blanked; empty for null.
    Bytes Run(Bytes* old)
    {
        HGLOBAL memory = Polvane::DLL_UpdateEditStructure(host.MV(), old ? AsRecord(*old) : nullptr);
        const auto* bytes = static_cast<const std::uint8_t*>(memory ? GlobalLock(memory) : nullptr);
        EXPECT_EQ(static_cast<const void*>(bytes), memory); // fixed memory
        Bytes record = bytes ? Bytes(bytes, bytes + GlobalSize(memory)) : Bytes();
        if (memory) {
            GlobalUnlock(memory);
            EXPECT_EQ(GlobalFree(memory), nullptr);
        }
        if (record.size() >= 32 && U32At(record, 24) == ~sdk->PropertyTitlesHash &&
            U32At(record, 28) == ~sdk->PropertyTypesHash)
            Put(Put(record, 24, 0), 28, 0);
        return record;
    }
    std::wstring Boxes() { return Shown(std::exchange(recorder.boxes, {})); }

    TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Morvalex.mfx"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder recorder;
    Host host;
    std::unique_ptr<Tovik::SDK> sdk;
};

} // namespace

TEST_F(Upgrade, RecordsBuiltByTheReaders)
{
    const std::wstring
        failed = L"E Property conversion error: All converters have failed for property ",
        corrupt = L". Your property data is corrupt beyond recovery or reset. Please re-add the "
                  L"object to frame.",
        reader = L"W Property conversion error: JSONPropertyReader converter encountered a failure: "
                 L"JSONPropertyReader: ",
        high = L"W Polvane offset invalid: Offset is too high! ## ", named = Reset(L"0", L"Name");
    const std::string title(300, 'L'), kept = "\x01" + E(5, "Name", "old"),
                                       fresh = "\0"s + E(5, "Name", "new");
    const Bytes newName = New(0xCAFE, 1, fresh, 500);
    // clang-format off
    const struct { std::string properties; Bytes old, expected; std::wstring boxes; } cases[] = {
        // A new object takes every default; a refused type is stored as the Text that stands in for it.
        {R"([{"Type": "Folder", "Title": "Group"},
             {"Type": "Editbox String", "Title": "Name", "DefaultState": "Bob", "Case": "Upper"},
             {"Type": "Checkbox", "Title": "On", "DefaultState": true},
             {"Type": "Editbox Number", "Title": "Count", "DefaultState": -2, "CheckboxDefaultState": true},
             {"Type": "Combo Box", "Title": "Pick", "Items": ["a", "bc"], "DefaultState": "bc"},
             {"Type": "Size", "Title": ")" + title + R"(", "DefaultState": [3, 4]},
             {"Type": "Editbox Float", "Title": "F", "DefaultState": 0.5, "CheckboxDefaultState": false},
             {"Type": "Image List", "Title": "Pics"}, {"Type": "FolderEnd"},
             {"Type": "Edit button", "Title": "Go", "DefaultState": "Press"},
             {"Type": "Editbox Stringy", "Title": "Typo", "DefaultState": "abc"}])", {},
         New(0, 11, "\x0C\0"s + E(2, "", "") + E(5, "Name", "BOB") + E(10, "On", "") + E(6, "Count", N(-2)) +
             E(7, "Pick", "bc") + E(8, title.substr(0, 254), N(3) + N(4)) + E(21, "F", ValueBytes(0.5f)) +
             E(23, "Pics", "\0\0"s) + E(3, "", "") + E(4, "", "") + E(1, "", "")), L""},
        // No reader can give A or C a value: each gets a zero value, after the readers' and the upgrade's
        // boxes.
        {R"([{"Type": "Editbox Number", "Title": "A"}, {"Type": "Editbox String", "Title": "B",
             "DefaultState": "b"}, {"Type": "Size", "Title": "C", "DefaultState": 4}])", {},
         New(0, 3, "\0"s + E(6, "A", N(0)) + E(5, "B", "b") + E(8, "C", std::string(8, '\0'))),
         reader + L"JSON item A, ID 0, language UK English has no default value.. Delegating. ## " + failed +
         L"0 (A)" + corrupt + L" ## " + reader + L"Couldn't read default state for JSON item C, ID 2, "
         L"language UK English. Erroring.. Delegating. ## " + failed + L"2 (C)" + corrupt},
        // When the last reader leaves the chain, nothing is built.
        {R"([{"Type": "Editbox String", "Title": "A", "DefaultState": ")" + std::string(4096, 'a') +
         R"("}, )" + Name + "]", {}, {}, failed + L"0 (A)" + corrupt},
        {R"([{"Type": "Editbox String", "Title": "A", "CheckboxDefaultState": 1},
             {"Type": "Editbox String", "Title": "B", "CheckboxDefaultState": true}])", {},
         New(0, 2, "\x02" + E(5, "A", "") + E(5, "B", "")),
         L"E Property conversion error: Couldn't read check box of some properties. Delegating."},
        {R"({"Type": "Editbox String"})", {}, {}, L"E Property error: JSONPropertyReader: Properties is "
         L"the wrong type, expected an array.\n ## E Property conversion error: All Morvalex property "
         L"readers have failed. Your property data is corrupt beyond recovery or reset. Please re-add the "
         L"object to frame."},
        {"[" + Name + ", " + Count + "}]", Old(1, kept), New(0xCAFE, 2, kept + E(6, "Count", N(3)), 500),
         Reset(L"1", L"Count")},
        {"[" + Name + ", " + Count + R"(, "CheckboxDefaultState": true},
             {"Type": "Checkbox", "Title": "Grand\u00e9", "DefaultState": true}])",
         Old(1, "\0"s + E(5, "Name", "old")),
         New(0xCAFE, 3, "\x06" + E(5, "Name", "old") + E(6, "Count", N(3)) + E(10, "Grand\xC3\xA9", ""), 500),
         L"I Upgraded properties: Successfully copied 1 of Morvalex object properties from ext version 0 to "
         L"1.\n\nAlso set 2 properties to their default settings, namely:\n\u2022 Count\n\u2022 Grand\u00e9"},
        // A pre-smart record: values packed in definition order, an item by its index.
        {"[" + Name + R"(, {"Type": "Combo Box", "Title": "Pick", "Items": ["a", "bc"],
             "DefaultState": "a"},)" +
         Count + R"(}, {"Type": "Checkbox", "Title": "On", "DefaultState": false}])",
         Ended(HeaderBytes(4000, 0, 0xBEEF, 0) + N(37) + "\x09" + "abc\0"s + N(1) + N(77)),
         New(0xBEEF, 4, "\x09" + E(5, "Name", "abc") + E(7, "Pick", "bc") + E(6, "Count", N(77)) +
             E(10, "On", ""), 4000), L""},
        // Cut short: what is missing takes its default; a reader that left the chain still gives checkboxes.
        {R"([{"Type": "Text", "Title": "A", "CheckboxDefaultState": false}, )" + Count + "}]",
         Ended(HeaderBytes(0, 0, 0, 0) + N(27) + "\x01\x01\x02"),
         New(0, 2, "\x01" + E(1, "", "") + E(6, "Count", N(3))), Reset(L"1", L"Count")},
        // Damaged blocks: nothing outside the record is read, and what cannot be read takes its default.
        {"[" + Name + "]", Old(1, "\x01" + N(400) + "\x05\0\x04Nameold"s), newName, named}, // past the end
        {"[" + Name + "]", Old(2, kept), newName, named},   // fewer entries than counted
        {"[" + Name + "]", Old(40, ""), newName, named},    // no room for the checkbox bytes
        {"[" + Name + "]", Ended(HeaderBytes(0, 0, 0, 300) + "1NVP"), New(0, 1, fresh), high + named}};
    // clang-format on
    std::uint32_t key = 0;
    for (const auto& c : cases) {
        Use(c.properties);
        host.MV()->word34 = ++key; // the box of a once-only setting shows again
        Bytes old = c.old;
        const std::string past = E(5, "Name", "old"); // after the record's end
        old.insert(old.end(), past.begin(), past.end());
        const Bytes record = Run(c.old.empty() ? nullptr : &old);
        EXPECT_EQ(record, c.expected) << c.properties.substr(0, 100);
        EXPECT_EQ(Boxes(), c.boxes) << c.properties.substr(0, 100);
        EXPECT_TRUE(!c.old.empty() || record.empty() || record.size() == GetEDITDATASizeFromJSON());
    }
    // Loading quietly, the upgrade's own failures are told apart and no property's failure is shown.
    Use(R"({"Type": "Editbox String"})"), Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    EXPECT_TRUE(Run(nullptr).empty());
    EXPECT_EQ(Boxes(),
              L"E Property error: JSONPropertyReader: Properties is the wrong type, expected an array.\n "
              L"## E Property reading error: Setting up Morvalex object properties from JSON failed.");
    Use(R"([{"Type": "Editbox Number", "Title": "A"}])"), Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    EXPECT_EQ(Run(nullptr), New(0, 1, "\0"s + E(6, "A", N(0))));
    EXPECT_EQ(Boxes(), reader + L"JSON item A, ID 0, language UK English has no default value.. Delegating.");
}

TEST_F(Upgrade, NewObjectsUpTo65535Bytes)
{
    // 40 + 3 checkbox bytes + 17 entries of 8 bytes + texts in pieces the JSON reader takes.
    for (std::size_t total : {65535u, 65536u}) {
        std::string list = "[";
        for (std::size_t i = 0, left = total - 40 - 3 - 17 * 8, piece = 0; i < 17; ++i, left -= piece)
            list += (i ? ", " : "") + R"({"Type": "Editbox String", "Title": "T", "DefaultState": ")"s +
                    std::string(piece = std::min<std::size_t>(left, 4000), 'x') + "\"}";
        Use(list + "]");
        EXPECT_EQ(Run(nullptr).size(), total == 65535 ? total : 0);
    }
    Bytes edPtr(64);
    EXPECT_EQ(Polvane::DLL_CreateObject(host.MV(), 0, AsRecord(edPtr)), -1);
    const std::wstring big =
        L"E Properties too big: New EDITDATA was too big to store all the initial properties; "
        L"needed 65536 bytes, but 65535 is the maximum possible.";
    EXPECT_EQ(std::pair(edPtr, Boxes()), std::pair(Bytes(64), big + L" ## " + big));
}

TEST_F(Upgrade, VersionsRecordsOfTheSameListAndTheObjectsName)
{
    Use("[" + Name + "]");
    const std::string entry = "\0"s + E(5, "Name", "kept");
    Bytes current = Ended(HeaderBytes(24, 1, 0, 0) + N(-1)), before = current; // kept whatever it holds
    EXPECT_TRUE(Run(&current).empty());
    EXPECT_EQ(current, before);
    const std::wstring question =
        L"W Property update warning: UpdateEditStructure has current version 1 and MFA "
        L"has a version of 2. Select an action to take:\nYes = run updater.\nNo = set the "
        L"EDITDATA's version number to earlier version 1.\nCancel = make no changes and "
        L"ignore the difference.";
    const std::tuple<int, std::uint32_t, Bytes> answers[] = {
        {IDNO, 1, Bytes()}, {IDCANCEL, 2, Bytes()}, {IDYES, 2, New(0xCAFE, 1, entry, 500)}};
    for (const auto& [answer, version, upgraded] : answers) {
        Bytes old = Old(1, entry, 2);
        recorder.answer = answer;
        EXPECT_EQ(Run(&old), upgraded) << answer;
        EXPECT_EQ(recorder.boxes.at(0).style,
                  UINT(MB_ICONWARNING | MB_YESNOCANCEL | MB_TASKMODAL | MB_SETFOREGROUND));
        EXPECT_EQ(std::pair(Boxes(), AsRecord(old)->eHeader.extVersion), std::pair(question, version))
            << answer;
    }
    // A block for the same list, entry for entry, is kept; at another offset it is moved to 20.
    const std::string block = BlockBytes(1, ~sdk->PropertyTitlesHash, 5) + entry;
    Bytes same = Ended(HeaderBytes(60, 0, 7, 20) + block),
          moved = Ended(HeaderBytes(900, 0, 7, 28) + "12345678" + block);
    EXPECT_TRUE(Run(&same).empty());
    EXPECT_EQ(same[8], 1);
    EXPECT_EQ(Run(&moved), Ended(HeaderBytes(900, 1, 7, 20) + block));
    EXPECT_EQ(Boxes(), L"");
    // The box names the object as the host does, whose value object is released once read.
    const std::pair<const wchar_t*, const wchar_t*> names[] = {{L"", L"Morvalex"},
                                                               {L"Gadget", L"Gadget (Morvalex)"}};
    for (const auto& [hostName, shown] : names) {
        host.objectName = hostName, host.MV()->word34 += 1;
        Bytes old = Old(0, "");
        ASSERT_FALSE(Run(&old).empty());
        EXPECT_EQ(
            Boxes(),
            L"I Upgraded properties: Successfully copied 0 of " + std::wstring(shown) +
                L" object "
                L"properties from ext version 0 to 1.\n\nAlso set 1 property to their default settings, "
                L"namely:\n\u2022 Name");
    }
    EXPECT_EQ(host.ReleasedValues(), 1);
}

// The box after each upgrade of a script, by setting: each upgrade resets a property (R) or copies them all
// (A), under the mV word that the once-only settings remember.
struct SettingCase {
    const char *name, *setting; // setting null: no such line
    bool misunderstood;         // the settings error box before each upgrade
    const char* shown;          // per upgrade: R the reset box, A the all-copied box, - none
};

struct UpgradeBox : Upgrade, testing::WithParamInterface<SettingCase> {};

TEST_P(UpgradeBox, ShownAsTheSettingSays)
{
    const SettingCase& c = GetParam();
    if (c.setting != nullptr)
        tree.Write(L"Extensions\\Polvane.ini",
                   "Other=1\r\nSmartPropertiesUpgradeBox=" + std::string(c.setting) + "\r\n");
    Use("[" + Name + ", " + Count + "}]");
    const std::wstring setting = !c.misunderstood ? L""
                                                  : L"E Polvane INI error: Couldn't understand "
                                                    L"\"SmartPropertiesUpgradeBox\" setting of \"" +
                                                        Polvane::UTF8ToTString(c.setting) +
                                                        L"\". Valid values are "
                                                        L"\"always\", \"always, once\", \"for reset only\", "
                                                        L"\"for reset only, once\", and \"never\".";
    const std::pair<bool, std::uint32_t> script[] = {{true, 0}, {true, 0}, {false, 0}, {false, 5}, {true, 9}};
    for (int s = 0; s < 5; ++s) {
        Bytes old = Old(script[s].first ? 1 : 2,
                        "\0"s + E(5, "Name", "old") + (script[s].first ? "" : E(6, "Count", N(8))));
        host.MV()->word34 = script[s].second;
        ASSERT_FALSE(Run(&old).empty());
        const std::wstring box = c.shown[s] == 'R'   ? Reset(L"1", L"Count")
                                 : c.shown[s] == '-' ? L""
                                                     : L"I Upgraded properties: Successfully upgraded all 2 "
                                                       L"of Morvalex object properties from ext version 0 "
                                                       L"to version 1.";
        EXPECT_EQ(Boxes(), setting + (setting.empty() || box.empty() ? L"" : L" ## ") + box)
            << "upgrade " << s;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Settings, UpgradeBox, testing::Values(
    SettingCase{"Absent", nullptr, false, "R---R"}, SettingCase{"Empty", "", false, "R---R"},
    SettingCase{"Always", "always", false, "RRAAR"},
    SettingCase{"AlwaysOnce", "always, once", false, "R--AR"},
    SettingCase{"ForResetOnly", "for reset only", false, "RR--R"},
    SettingCase{"ForResetOnlyOnce", "for reset only, once", false, "R---R"},
    SettingCase{"Never", "never", false, "-----"}, SettingCase{"Misspelt", "for resets only", true, "R---R"},
    SettingCase{"NeverOnce", "never, once", true, "R---R"}, SettingCase{"OnlyOnce", ", once", true, "R---R"},
    SettingCase{"CaseMatters", "Always", true, "R---R"}),
    [](const testing::TestParamInfo<SettingCase>& info) { return std::string(info.param.name); });
// clang-format on
