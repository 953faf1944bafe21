// The property upgrade in the editor: new objects from the definition's defaults, old records of other
// versions, lists and layouts read by the pre-smart and smart readers, damaged ones included, and the boxes
// that tell the author what happened. Records are fenced: a read past one's end crashes the test.
#include "InProcess.h"
#include "PropertyRecords.h"
#include "TestHost.h"

#include "Lib/Shared/Polvane/Properties.h"
#include "Lib/Shared/Polvane/PropertyReaders.h"
#include "Lib/Shared/Polvane/PropertyUpgrade.h"
#include "Lib/Shared/Polvane/TextConversion.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace std::string_literals;
using namespace TestHost;
using Polvane::Properties;
using Return = Properties::ConverterReturn;

namespace {

// Properties given by type, separated by |, titled P0, P1..., "=value" giving the default; an element
// beginning with { is as written.
std::string List(const std::string& types)
{
    std::string list = "[";
    for (std::size_t from = 0, i = 0; from <= types.size(); ++i) {
        const std::string type = types.substr(from, types.find('|', from) - from),
                          name = type.substr(0, type.find('='));
        list += (i ? ", " : "") +
                (type[0] == '{'
                     ? type
                     : R"({"Type": ")" + name + R"(", "Title": "P)" + std::to_string(i) +
                           (name == type ? "\"}"
                                         : "\", \"DefaultState\": " + type.substr(name.size() + 1) + "}"));
        from += type.size() + 1;
    }
    return list + "]";
}

// Bytes as they are when all are plain text, else in hex.
std::string Printed(const std::string& bytes, bool hex = false)
{
    if (!hex && std::all_of(bytes.begin(), bytes.end(), [](unsigned char c) { return c >= 32 && c < 127; }))
        return bytes;
    std::string out;
    for (unsigned char c : bytes)
        out += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    return out;
}

// A built record's checkbox bytes in hex, then each entry's value, joined by |; "none" for no record.
std::string Values(const Bytes& record)
{
    if (record.empty())
        return "none";
    const std::size_t count = record[32] | record[33] << 8, start = 40 + (count + 7) / 8;
    std::string out = Printed(std::string(record.begin() + 40, record.begin() + start), true);
    for (std::size_t i = 0, at = start; i < count; ++i, at += U32At(record, at))
        out += "|" + Printed(std::string(record.begin() + at + 7 + record[at + 6],
                                         record.begin() + at + U32At(record, at)));
    return out;
}

const std::wstring
    CheckboxFailed = L"E Property conversion error: Couldn't read check box of some properties. Delegating.",
    NotArray = L"E Property error: JSONPropertyReader: Properties is the wrong type, expected an array.\n";
const std::string Name = R"({"Type": "Editbox String", "Title": "Name", "DefaultState": "new"})",
                  Count =
                      R"({"Type": "Editbox Number", "Title": "Count", "DefaultState": 3)"; // more may follow

// A record as the upgrade writes it, its hashes 0 (Run blanks the built record's), its maximum size the
// larger of its own and the old record's.
Bytes New(std::uint32_t identifier, std::uint16_t count, const std::string& body,
          std::uint32_t oldMaximum = 0)
{
    Bytes record = Ended(HeaderBytes(0, 1, identifier, 20) + BlockBytes(count, 0, 0) + body);
    return Put(record, 4, std::max<std::uint32_t>(record.size(), oldMaximum));
}

// An old record with a block at offset 20 for another property list; a record from before blocks.
Bytes Old(std::uint16_t count, const std::string& body, std::uint32_t version = 0)
{
    return Ended(HeaderBytes(500, version, 0xCAFE, 20) + BlockBytes(count, 0x1111, 0x2222) + body);
}
Bytes PreSmart(const std::string& body, std::int32_t sizeWord = 0)
{
    return Ended(HeaderBytes(0, 0, 0, 0) + N(sizeWord ? sizeWord : std::int32_t(24 + body.size())) + body);
}

std::wstring Reset(const std::wstring& copied, const std::wstring& what,
                   const std::wstring& object = L"Morvalex")
{
    return L"I Upgraded properties: Successfully copied " + copied + L" of " + object +
           L" object properties from ext version 0 to 1.\n\nAlso set 1 property to their default settings, "
           L"namely:\n\u2022 " +
           what;
}

// The boxes of a reader's failure for property i, and of the upgrade that then gives it a zero value.
std::wstring Failed(int i, const std::wstring& title, const std::wstring& reader = L"",
                    const std::wstring& text = L"")
{
    return (reader.empty()
                ? L""
                : L"W Property conversion error: " + reader + L" converter encountered a failure: " + reader +
                      L": " + text + L". Delegating. ## ") +
           L"E Property conversion error: All converters have failed for property " + std::to_wstring(i) +
           L" (" + title +
           L"). Your property data is corrupt beyond recovery or reset. Please re-add the object to frame.";
}

struct Upgrade : testing::Test {
    void Use(const std::string& properties)
    {
        sdk.reset(), sdk.reset(InProcess::BuildState(PropertyDefinition(properties)));
        Polvane::RunMode = Polvane::MFXRunMode::Editor;
        recorder.boxes.clear();
    }
    // The new record out of the fixed global memory it came in (then freed), its hashes checked against
    // the definition's and blanked; empty for null. What the upgrade wrote into the old record is kept.
    Bytes Run(Bytes* old)
    {
        Fenced fenced(old ? *old : Bytes());
        HGLOBAL memory = Polvane::DLL_UpdateEditStructure(host.MV(), old ? fenced.Record() : nullptr);
        if (old)
            std::copy(fenced.data, fenced.data + old->size(), old->begin());
        const auto* bytes = static_cast<const std::uint8_t*>(memory ? GlobalLock(memory) : nullptr);
        EXPECT_EQ(static_cast<const void*>(bytes), memory); // fixed memory
        Bytes record = bytes ? Bytes(bytes, bytes + GlobalSize(memory)) : Bytes();
        EXPECT_EQ(memory ? (GlobalUnlock(memory), GlobalFree(memory)) : nullptr, nullptr);
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

// A new object takes every default the definition gives; a refused type is stored as the Text that stands in
// for it. A property no reader gives a value gets a zero one, after the readers' and the upgrade's boxes.
TEST_F(Upgrade, NewObjectsFromTheDefaults)
{
    const std::string title(300, 'L'), a4095(4095, 'a');
    Use(R"([{"Type": "Folder", "Title": "Group"}, {"Type": "Editbox String", "Title": "Name", "DefaultState": "Bob",
        "Case": "Upper"}, {"Type": "Checkbox", "Title": "On", "DefaultState": true}, {"Type": "Editbox Number",
        "Title": "Count", "DefaultState": -2, "CheckboxDefaultState": true}, {"Type": "Combo Box", "Title": "Pick",
        "Items": ["a", "bc"], "DefaultState": "bc"}, {"Type": "Size", "Title": ")" +
        title + R"(", "DefaultState":
        [4294967299, -1]}, {"Type": "Editbox Float", "Title": "F", "DefaultState": 0.5, "CheckboxDefaultState":
        false}, {"Type": "Image List", "Title": "Pics"}, {"Type": "FolderEnd"}, {"Type": "Edit button", "Title":
        "Go", "DefaultState": "Press"}, {"Type": "Editbox Stringy", "Title": "Typo", "DefaultState": "abc"},
        {"Type": "Editbox String", "Title": "L", "DefaultState": "aBc1", "Case": "LOWER"}, {"Type": "Editbox File",
        "Title": "None"}, {"Type": "URL button", "Title": "Num", "DefaultState": 5}, {"Type":
        "Editbox String Multiline", "Title": "M", "DefaultState": "x\ny", "Case": "Upper"}, {"Type": "Editbox Folder",
        "Title": "A", "DefaultState": ")" +
        a4095 + R"("}, {"Type": "Combo Box Icons", "Title": "D", "Items": []},
        {"Type": "Edit spin", "Title": "Min", "DefaultState": -2147483648}, {"Type": "Color", "Title": "Over",
        "DefaultState": 2147483648}, {"Type": "Edit slider", "Title": "Under", "DefaultState": -2147483649},
        {"Type": "Edit direction", "Title": "Fraction", "DefaultState": 1.5}, {"Type": "Editbox Number",
        "DefaultState": "5"}, {"Type": "Edit spin float", "Title": "Exp", "DefaultState": 25e-1}, {"Type":
        "Editbox Float", "Title": "Whole", "DefaultState": 5}, {"Type": "Size", "Title": "S", "DefaultState": [1, 2,
        3]}, {"Type": "Image List", "Title": "J", "DefaultState": null}, {"Type": "Font", "Title": "Fn"}, {"Type":
        "Custom"}, {"Type": "!List button"}, "a text"])");
    const std::wstring json = L"JSONPropertyReader", item = L"JSON item ",
                       range = L", language UK English has default "
                               L"value that can't be stored in "
                               L"32-bit int (value is ",
                       none = L", language UK English has no default value.";
    const std::string zero = N(0);
    EXPECT_EQ(Run(nullptr),
              New(0, 30,
                  "\x0C\0\0\0"s + E(2, "", "") + E(5, "Name", "BOB") + E(10, "On", "") +
                      E(6, "Count", N(-2)) + E(7, "Pick", "bc") + E(8, title.substr(0, 254), N(3) + N(-1)) +
                      E(21, "F", ValueBytes(0.5f)) + E(23, "Pics", "\0\0"s) + E(3, "", "") + E(4, "", "") +
                      E(1, "", "") + E(5, "L", "abc1") + E(16, "None", "") + E(25, "Num", "") +
                      E(22, "M", "X\nY") + E(26, "A", a4095) + E(24, "D", "") + E(12, "Min", N(INT32_MIN)) +
                      E(9, "Over", zero) + E(11, "Under", zero) + E(13, "Fraction", zero) + E(6, "", zero) +
                      E(27, "Exp", ValueBytes(2.5f)) + E(21, "Whole", zero) + E(8, "S", zero + zero) +
                      E(23, "J", "\0\0"s) + E(17, "Fn", "") + E(18, "", "") + E(1, "", "") + E(1, "", "")));
    EXPECT_EQ(Boxes(),
              Failed(18, L"Over", json, item + L"Over, ID 18" + range + L"2147483648).") + L" ## " +
                  Failed(19, L"Under", json, item + L"Under, ID 19" + range + L"-2147483649).") + L" ## " +
                  Failed(20, L"Fraction", json, item + L"Fraction, ID 20" + none) + L" ## " +
                  Failed(21, L"", json, item + L"<missing title>, ID 21" + none) + L" ## " +
                  Failed(23, L"Whole", json, item + L"Whole, ID 23" + none) + L" ## " +
                  Failed(24, L"S", json,
                         L"Couldn't read default state for JSON item S, ID 24, language UK English. "
                         L"Erroring.") +
                  L" ## " +
                  Failed(25, L"J", json,
                         item + L"J, ID 25, language UK English has a default value, and shouldn't "
                                L"have one.") +
                  L" ## " + Failed(26, L"Fn") + L" ## " + Failed(27, L"") + L" ## " +
                  L"W Property conversion error: JSONPropertyReader converter encountered a failure: "
                  L"JSDNPropertyReader: Index 29 is not a json_object (but within Properties array). "
                  L"Delegating. ## " +
                  Failed(29, L"") + L" ## " + CheckboxFailed);
    EXPECT_EQ(Run(nullptr).size(), GetEDITDATASizeFromJSON());
}

// The old records each reader takes, upgraded: the values found, a default or a zero value for the others.
TEST_F(Upgrade, OldRecordsThroughTheReaders)
{
    Use(List("Editbox String"));
    Bytes first = Old(0, ""); // the upgrade box shows once for a key: after this one, only the readers' boxes
    Run(&first), recorder.boxes.clear();
    const std::string combo = R"({"Type": "Combo Box", "Items": ["zero", "one", "two"]})", title(300, 't');
    const std::wstring smart = L"SmartPropertyReader";
    const std::tuple<std::string, Bytes, std::string, std::wstring> cases[] = {
        // Pre-smart records: values packed in definition order, checkbox bits first.
        {"Editbox String|Editbox File|URL button|Size|Color|Edit spin float|Edit direction|Editbox String",
         PreSmart("\x8A" + "ab\0c\0\0"s + N(1) + N(2) + N(3) + ValueBytes(4.5f) + N(-5) + "xyz\0"s),
         "8A|ab|c||0100000002000000|03000000|00009040|FBFFFFFF|xyz", L""},
        // Types this layout never held take no bytes.
        {"Editbox String|Font|Text|Group|Image List|Custom|Checkbox|Editbox String",
         PreSmart("\x40" + "a\0b\0"s), "40|a||||0000|||b", Failed(1, L"P1") + L" ## " + Failed(5, L"P5")},
        // A combo box stores its item's index: an index past the items, or an item that is not a text, gives
        // the
        // empty text; without items the index is stepped over.
        {combo +
             R"(|{"Type": "Combo Box", "Items": ["zero"]}|{"Type": "Combo Box Button", "Items": ["x", 5]})"
             R"(|{"Type": "Combo Box"}|Editbox Number)",
         PreSmart("\x01" + N(2) + N(7) + N(1) + N(0) + N(99)), "01|two||||63000000", Failed(3, L"")},
        {"Text|Text|Text|Text|Text|Text|Text|Text|Editbox String", PreSmart("\x80\x01s\0"s), "8001|||||||||s",
         L""},
        // A value cut short ends the reader, and its checkboxes from there on; after the values only a
        // checkbox
        // is still answered.
        {"Editbox String|Editbox Number=9|Editbox Number=8", PreSmart("\x07" + "a\0\x01\x02\x03"s),
         "01|a|09000000|08000000", L""},
        {"Checkbox|Editbox Number=9|Checkbox=true", PreSmart("\x03", 20), "05||09000000|", L""},
        {"Checkbox=false|Editbox Number=9", PreSmart("\x03", 19), "00||09000000", L""},
        // Smart records: found by the old title or the title (case ignored), its checkbox from the entry's
        // stored
        // position; titles compared as stored, cut to 254 bytes.
        {R"([{"Type": "Editbox Number", "Title": "Velocity", "OldTitle": "speed"}, {"Type": "Editbox String",
             "Title": "name"}, {"Type": "Editbox String", "Title": "B", "OldTitle": "A"}, {"Type": "Editbox String",
             "Title": ")" +
             title + "\"}]",
         Old(6, "\x22" + E(6, "Other", N(1)) + E(6, "Speed", N(30)) + E(5, "NAME", "Bo") +
                    E(5, "B", "by title") + E(5, "A", "by old title") + E(5, title.substr(0, 254), "long")),
         "09|1E000000|Bo|by old title|long", L""},
        // Only compatible types feed a property; an integer taken into a float keeps its number.
        {"Editbox Number=9|Editbox String|Editbox String Multiline|Combo Box Button|Editbox "
         "Float|Color=9|edit SPIN|"
         "Editbox Float",
         Old(8, "\0"s + E(21, "P0", ValueBytes(1.5f)) + E(22, "P1", "multi") + E(5, "P2", "single") +
                    E(7, "P3", "item") + E(27, "P4", ValueBytes(2.5f)) + E(6, "P5", N(3)) +
                    E(11, "P6", N(4)) + E(12, "P7", N(-3))),
         "00|09000000||single|item|00002040|09000000|04000000|000040C0", L""},
        {"Spinner|Editbox String", Old(1, "\0"s + E(5, "P1", "b")), "00||b",
         L"W Property conversion error: SmartPropertyReader converter encountered a failure: "
         L"SmartPropertyReader: "
         L"failed to read Data for property 0. Type ID in JSON Spinner could not be converted to ID.\n. "
         L"Delegating."}};
    for (const auto& [types, old, values, boxes] : cases) {
        Use(types[0] == '[' ? types : List(types));
        Bytes copy = old;
        EXPECT_EQ((std::pair{Values(Run(&copy)), Boxes()}), std::pair(values, boxes)) << types;
    }
}

// The pre-smart reader asked at and past the closing descriptor, while value bytes remain, has no property.
TEST_F(Upgrade, PreSmartReaderEndsAtTheClosingDescriptor)
{
    Use(List("Editbox String"));
    const Fenced old(PreSmart("\0a\0b\0"s));
    Properties::ConverterState state(old.Record(), nullptr, Polvane::CurLang()["Properties"]);
    Properties::PreSmartPropertyReader reader;
    std::vector<int> kinds;
    for (int step : {-1, 0, 1, 100, -1, 5}) {
        Return r;
        step < 0     ? reader.Initialize(state, &r)
        : step < 100 ? reader.GetProperty(step, &r)
                     : reader.GetPropertyCheckbox(1, &r);
        kinds.push_back(r.kind);
    }
    EXPECT_EQ(kinds,
              (std::vector<int>{Return::Found, Return::Found, Return::ConverterUnsuitable,
                                Return::ConverterUnsuitable, Return::Found, Return::ConverterUnsuitable}));
}

TEST_F(Upgrade, RecordsBuiltByTheReadersAndTheirBoxes)
{
    std::string thousand = "[", texts(125, '\0'); // at most 1000 properties
    for (int i = 0; i < 1000; ++i)
        thousand += (i ? "," : "") + R"({"Type": "Text"})"s, texts += E(1, "", "");
    const std::tuple<std::string, Bytes, Bytes, std::wstring> cases[] = {
        {thousand + "]", {}, New(0, 1000, texts), L""},
        // When the last reader leaves the chain, nothing is built.
        {R"([{"Type": "Editbox String", "Title": "A", "DefaultState": ")" + std::string(4096, 'a') +
             R"("}, )" + Name + "]",
         {},
         {},
         Failed(0, L"A")},
        {R"([{"Type": "Editbox String", "Title": "A", "CheckboxDefaultState": 1}, {"Type": "Checkbox", "Title": "B"},
             {"Type": "Editbox String", "Title": "C", "CheckboxDefaultState": true}])",
         {},
         New(0, 3, "\x04" + E(5, "A", "") + E(10, "B", "") + E(5, "C", "")),
         CheckboxFailed + L" ## " + CheckboxFailed},
        {thousand + R"(, {"Type": "Text"}])",
         {},
         {},
         NotArray + L" ## E Property conversion error: All Morvalex property readers have failed. Your "
                    L"property data "
                    L"is corrupt beyond recovery or reset. Please re-add the object to frame."},
        // A property whose value and checkbox both take their default is listed once.
        {"[" + Name + ", " + Count +
             R"(, "CheckboxDefaultState": true}, {"Type": "Checkbox", "Title": "Grand\u00e9",
             "DefaultState": true}])",
         Old(1, "\0"s + E(5, "Name", "old")),
         New(0xCAFE, 3, "\x06" + E(5, "Name", "old") + E(6, "Count", N(3)) + E(10, "Grand\xC3\xA9", ""), 500),
         L"I Upgraded properties: Successfully copied 1 of Morvalex object properties from ext version 0 to "
         L"1.\n\n"
         L"Also set 2 properties to their default settings, namely:\n\u2022 Count\n\u2022 Grand\u00e9"},
        // Cut short: what is missing takes its default; a reader that left the chain still gives checkboxes.
        {R"([{"Type": "Text", "Title": "A", "CheckboxDefaultState": false}, )" + Count + "}]",
         PreSmart("\x01\x01\x02"), New(0, 2, "\x01" + E(1, "", "") + E(6, "Count", N(3))),
         Reset(L"1", L"Count")}};
    for (const auto& [properties, old, expected, boxes] : cases) {
        Use(properties);
        host.MV()->word34 += 1; // the box of a once-only setting shows again
        Bytes copy = old;
        const Bytes record = Run(old.empty() ? nullptr : &copy);
        EXPECT_EQ(std::pair(record, Boxes()), std::pair(expected, boxes)) << properties.substr(0, 100);
        EXPECT_TRUE(!old.empty() || record.empty() || record.size() == GetEDITDATASizeFromJSON());
    }
    // Loading quietly, the upgrade's own failures are told apart and no property's failure is shown.
    Use(R"({"Type": "Editbox String"})"), Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    EXPECT_EQ(
        (std::pair{Run(nullptr), Boxes()}),
        std::pair(Bytes(), NotArray +
                               L" ## E Property reading error: Setting up Morvalex object properties from "
                               L"JSON failed."));
    Use(R"([{"Type": "Editbox Number", "Title": "A"}])"), Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    EXPECT_EQ(
        (std::pair{Run(nullptr), Boxes()}),
        std::pair(
            New(0, 1, "\0"s + E(6, "A", N(0))),
            L"W Property conversion error: JSONPropertyReader converter encountered a failure: "
            L"JSONPropertyReader: JSON item A, ID 0, language UK English has no default value.. Delegating."s));
}

// Damaged records: nothing outside one is read, and what cannot be read takes its default.
TEST_F(Upgrade, DamagedRecordsSwept)
{
    Use("[" + Name + ", " + Count + R"(, "CheckboxDefaultState": false}])");
    const auto sweep = [&](const Bytes& whole) { // the records built from cuts
        std::set<Bytes> built;
        Sweep(whole, [&](Bytes record, bool cut) {
            const Bytes result = Run(&record);
            if (cut)
                built.insert(result);
            recorder.boxes.clear();
        });
        return built;
    };
    const auto upgraded = [](std::uint32_t id, std::uint32_t maximum, char checked, const std::string& name,
                             std::int32_t count) {
        return New(id, 2, std::string(1, checked) + E(5, "Name", name) + E(6, "Count", N(count)), maximum);
    };
    EXPECT_EQ(sweep(Old(2, "\x02" + E(5, "Name", "old") + E(6, "Count", N(8)))),
              (std::set<Bytes>{upgraded(0xCAFE, 500, 0, "new", 3), upgraded(0xCAFE, 500, 2, "old", 8)}));
    EXPECT_EQ(sweep(PreSmart("\x02" + "old\0"s + N(8))),
              (std::set<Bytes>{upgraded(0, 0, 0, "new", 3), upgraded(0, 0, 0, "old", 3),
                               upgraded(0, 0, 2, "old", 8)}));
}

// A new object's record is at most 65535 bytes; the host's record of another size is resized to the one
// built.
TEST_F(Upgrade, NewObjectsUpTo65535BytesInTheHostsRecord)
{
    const std::wstring big =
        L"E Properties too big: New EDITDATA was too big to store all the initial properties; "
        L"needed 65536 bytes, but 65535 is the maximum possible.";
    // 40 + 3 checkbox bytes + 17 entries of 8 bytes + texts in pieces the definition reader takes.
    for (std::size_t total : {65535u, 65536u}) {
        std::string list = "[";
        for (std::size_t i = 0, left = total - 40 - 3 - 17 * 8, piece = 0; i < 17; ++i, left -= piece)
            list += (i ? ", " : "") + R"({"Type": "Editbox String", "Title": "T", "DefaultState": ")"s +
                    std::string(piece = std::min<std::size_t>(left, 4000), 'x') + "\"}";
        Use(list + "]");
        const std::size_t made = total == 65535 ? total : 0;
        EXPECT_EQ(
            (std::tuple{Run(nullptr).size(), GetEDITDATASizeFromJSON(), Boxes()}),
            std::tuple(made, std::uint16_t(made),
                       made ? L""s
                            : big + L" ## E EDITDATA too large!: The JSON extension properties use more than "
                                    L"65535 bytes to store, and are too large for Fusion. (UK English)"));
    }
    Bytes edPtr = Ended(HeaderBytes(0, 0, 7, 0) + std::string(44, '\0')), before = edPtr;
    EXPECT_EQ((std::pair{Polvane::DLL_CreateObject(host.MV(), 0, AsRecord(edPtr)), Boxes()}),
              std::pair(-1, big));
    Use("[" + Name + "]");
    const Bytes built =
        Ended(HeaderBytes(55, 1, 7, 20) + BlockBytes(1, ~sdk->PropertyTitlesHash, ~sdk->PropertyTypesHash) +
              "\0"s + E(5, "Name", "new"));
    EXPECT_EQ((std::tuple{Polvane::DLL_CreateObject(host.MV(), 0, AsRecord(edPtr)),
                          BytesOf(host.LastReallocated())}),
              std::tuple(0, built));
    host.reallocRefused = true;
    EXPECT_EQ(Polvane::DLL_CreateObject(host.MV(), 0, AsRecord(edPtr)), -1);
    const std::wstring mismatch =
        L"E EDITDATA size mismatch: Fusion provided an EDITDATA of 64 bytes, but "
        L"GetEDITDATASizeFromJSON calculation was 55 bytes expected.\nThis is a Polvane bug!";
    EXPECT_EQ(std::pair(edPtr, Boxes()),
              std::pair(before, mismatch + L" ## " + mismatch +
                                    L" ## E Initialisation failure: Initialising extension "
                                    L"failed: error 12."));
}

TEST_F(Upgrade, VersionsRecordsOfTheSameListAndTheObjectsName)
{
    Use("[" + Name + "]");
    const std::string entry = "\0"s + E(5, "Name", "kept");
    Bytes current = Ended(HeaderBytes(24, 1, 0, 0) + N(-1)), before = current; // kept whatever it holds
    EXPECT_EQ((std::pair{Run(&current), current}), std::pair(Bytes(), before));
    const std::tuple<int, std::uint32_t, Bytes> answers[] = {
        {IDNO, 1, Bytes()}, {IDCANCEL, 2, Bytes()}, {IDYES, 2, New(0xCAFE, 1, entry, 500)}};
    for (const auto& [answer, version, upgraded] : answers) {
        Bytes old = Old(1, entry, 2);
        recorder.answer = answer;
        EXPECT_EQ(Run(&old), upgraded) << answer;
        EXPECT_EQ(recorder.boxes.at(0).style,
                  UINT(MB_ICONWARNING | MB_YESNOCANCEL | MB_TASKMODAL | MB_SETFOREGROUND));
        EXPECT_EQ(
            std::pair(Boxes(), AsRecord(old)->eHeader.extVersion),
            std::pair(L"W Property update warning: UpdateEditStructure has current version 1 and MFA has a "
                      L"version of 2. Select an action to take:\nYes = run updater.\nNo = set the EDITDATA's "
                      L"version number to earlier version 1.\nCancel = make no changes and ignore the "
                      L"difference."s,
                      version));
    }
    // The box names the object as the host does, whose value object is released once read.
    for (const auto& [hostName, shown] :
         {std::pair(L"", L"Morvalex"), std::pair(L"Gadget", L"Gadget (Morvalex)")}) {
        host.objectName = hostName, host.MV()->word34 += 1;
        Bytes empty = Old(0, "");
        ASSERT_FALSE(Run(&empty).empty());
        EXPECT_EQ(Boxes(), Reset(L"0", L"Name", shown));
    }
    EXPECT_EQ(host.ReleasedValues(), 1);
    // A block for the same list, entry for entry, is kept; at another offset it is moved to 20.
    const std::string block = BlockBytes(1, ~sdk->PropertyTitlesHash, 5) + entry;
    Bytes same = Ended(HeaderBytes(60, 0, 7, 20) + block),
          moved = Ended(HeaderBytes(900, 0, 7, 28) + "12345678" + block);
    EXPECT_EQ((std::tuple{Run(&same), same[8], Run(&moved)}),
              std::tuple(Bytes(), 1, Ended(HeaderBytes(900, 1, 7, 20) + block)));
    // The titles hash leaves out properties without a value: a block written before a Text was added still
    // matches it, but its entries no longer line up with the properties, so it is converted, not kept.
    Use(R"([{"Title": "Heading", "Type": "Text"}, {"Title": "A", "Type": "Editbox String"},
            {"Title": "B", "Type": "Editbox String"}])");
    const std::string entries = E(5, "A", "first") + E(5, "B", "second");
    Bytes old = Ended(HeaderBytes(0, 0, 7, 20) +
                      BlockBytes(2, ~sdk->PropertyTitlesHash, ~sdk->PropertyTypesHash) + "\x02" + entries);
    EXPECT_EQ((std::pair{Run(&old), Boxes()}), std::pair(New(7, 3, "\x04" + E(1, "", "") + entries), L""s));
}

// The box after each upgrade of a script, by setting: each upgrade resets a property (R) or copies them all
// (A), under the mV word that the once-only settings remember; ! first: the setting is misunderstood. The
// settings file is read once per process: each setting is a case of its own, run in a process of its own.
using SettingCase = std::tuple<const char*, const char*, const char*>; // name, setting (null: none), shown

struct UpgradeBox : Upgrade, testing::WithParamInterface<SettingCase> {};

TEST_P(UpgradeBox, ShownAsTheSettingSays)
{
    const auto [name, value, shown] = GetParam();
    if (value != nullptr)
        tree.Write(L"Extensions\\Polvane.ini", "Other=1\r\nSmartPropertiesUpgradeBox="s + value + "\r\n");
    Use("[" + Name + ", " + Count + "}]");
    const std::wstring setting = shown[0] != '!'
                                     ? L""
                                     : L"E Polvane INI error: Couldn't understand "
                                       L"\"SmartPropertiesUpgradeBox\" setting of \"" +
                                           Polvane::UTF8ToTString(value) +
                                           L"\". Valid values are \"always\", \"always, once\", \"for "
                                           L"reset only\", \"for reset only, once\", and \"never\". ## ";
    const std::pair<bool, std::uint32_t> script[] = {{true, 0}, {true, 0}, {false, 0}, {false, 5}, {true, 9}};
    for (int s = 0; s < 5; ++s) {
        Bytes old = Old(script[s].first ? 1 : 2,
                        "\0"s + E(5, "Name", "old") + (script[s].first ? "" : E(6, "Count", N(8))));
        host.MV()->word34 = script[s].second;
        ASSERT_FALSE(Run(&old).empty());
        const char box = shown[s + (setting.empty() ? 0 : 1)];
        EXPECT_EQ(Boxes(),
                  box == '-'
                      ? setting.substr(0, setting.size() - 4)
                      : setting + (box == 'R'
                                       ? Reset(L"1", L"Count")
                                       : L"I Upgraded properties: Successfully upgraded all 2 of "
                                         L"Morvalex object properties from ext version 0 to version 1."))
            << "upgrade " << s;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, UpgradeBox,
                         testing::Values(SettingCase{"Absent", nullptr, "R---R"},
                                         SettingCase{"Empty", "", "R---R"},
                                         SettingCase{"Always", "always", "RRAAR"},
                                         SettingCase{"AlwaysOnce", "always, once", "R--AR"},
                                         SettingCase{"ForResetOnly", "for reset only", "RR--R"},
                                         SettingCase{"ForResetOnlyOnce", "for reset only, once", "R---R"},
                                         SettingCase{"Never", "never", "-----"},
                                         SettingCase{"Misspelt", "for resets only", "!R---R"},
                                         SettingCase{"NeverOnce", "never, once", "!R---R"},
                                         SettingCase{"OnlyOnce", ", once", "!R---R"},
                                         SettingCase{"CaseMatters", "Always", "!R---R"}),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });
