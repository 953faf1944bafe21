// The property upgrade in the editor: its readers asked one by one, then whole upgrades of new objects and of
// old records of other versions, lists and layouts, damaged ones included, and the boxes that tell the author
// what happened. Records are fenced: a read past one's end crashes the test.
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
#include <sstream>

using namespace std::string_literals;
using namespace TestHost;
using Polvane::Properties;
using Return = Properties::ConverterReturn;

namespace {

// An answer as "found[value]#checkbox*" (hex unless plain text; * when the caller frees it), "pass",
// "error text" or "unsuitable".
std::string Show(const Return& r)
{
    if (r.kind != Return::Found)
        return r.kind == Return::Pass                  ? "pass"
               : r.kind == Return::ConverterUnsuitable ? "unsuitable"
               : r.kind == Return::Error
                   ? "error " + Polvane::TStringToUTF8(static_cast<const wchar_t*>(r.data))
                   : "none";
    const std::string value = r.data ? std::string(static_cast<const char*>(r.data), r.dataSize) : "";
    std::string out = r.data ? "found[" : "found", hex;
    for (unsigned char c : value)
        hex += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    out += std::all_of(value.begin(), value.end(), [](unsigned char c) { return c >= 32 && c < 127; }) ? value
                                                                                                       : hex;
    out += (r.data ? "]" : "") + (r.checkboxState != -1 ? "#" + std::to_string(r.checkboxState) : "");
    if (r.freeData != nullptr)
        out += '*', r.freeData(r.data);
    return out;
}

// Properties given by type, separated by |, titled P0, P1...; an element beginning with { is as written.
std::string List(const std::string& types)
{
    std::string list = "[";
    for (std::size_t from = 0, i = 0; from <= types.size(); ++i) {
        const std::string type = types.substr(from, types.find('|', from) - from);
        list += (i ? ", " : "") +
                (type[0] == '{' ? type
                                : R"({"Type": ")" + type + R"(", "Title": "P)" + std::to_string(i) + "\"}");
        from += type.size() + 1;
    }
    return list + "]";
}

const std::wstring NotArray =
    L"E Property error: JSONPropertyReader: Properties is the wrong type, expected an array.\n";
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

struct Upgrade : testing::Test {
    void Use(const std::string& properties) // an empty text leaves Properties out
    {
        sdk.reset(), sdk.reset(InProcess::BuildState(properties.empty() ? R"({"UK English": {}})"
                                                                        : PropertyDefinition(properties)));
        Polvane::RunMode = Polvane::MFXRunMode::Editor;
        recorder.boxes.clear();
    }
    // Runs a script of calls: i (Initialize), gN (GetProperty N), cN (GetPropertyCheckbox N), on the old
    // record and its block at 20 when its offset word is not 0. The answers, then the properties reset.
    template <typename Reader> std::string Read(const std::string& script, const Bytes& old = {})
    {
        Fenced fenced(old);
        EDITDATA* record = old.empty() ? nullptr : fenced.Record();
        auto* block = record && record->eHeader.propertiesOffset
                          ? reinterpret_cast<Properties*>(fenced.data + 20)
                          : nullptr;
        Properties::ConverterState state(record, block, Polvane::CurLang()["Properties"]);
        Reader reader;
        std::istringstream steps(script);
        std::string step, out;
        for (Return r; steps >> step; out += (out.empty() ? "" : " | ") + Show(r), r = Return()) {
            const std::uint32_t i = step == "i" ? 0 : std::stoul(step.substr(1));
            if (step == "i")
                reader.Initialize(state, &r);
            else if (step[0] == 'g')
                reader.GetProperty(i, &r);
            else
                reader.GetPropertyCheckbox(i, &r);
        }
        const std::string reset = state.resetPropertiesStream.str();
        return reset.empty() ? out : out + " || " + std::to_string(state.numPropsReset) + " " + reset;
    }
    // Sweeps the record: of a cut, nothing found differs from what the whole record gives.
    template <typename Reader> void SweepReader(const std::string& script, const Bytes& whole)
    {
        const std::string full = Read<Reader>(script, whole);
        Sweep(whole, [&](const Bytes& record, bool cut) {
            std::istringstream part(Read<Reader>(script, record)), all(full);
            for (std::string a, b; std::getline(part, a, '|') && std::getline(all, b, '|');)
                EXPECT_TRUE(!cut || a == b || a.find("found") == std::string::npos) << record.size() << a;
        });
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

TEST_F(Upgrade, AnswerRecords)
{
    Return r, other;
    EXPECT_EQ(Show(*r.Return_OK("abc", 3, nullptr, 2)), "found[abc]#2"); // kept, but reported
    EXPECT_EQ(Boxes(), L"E Checkbox error: Checkbox state of 2 is invalid.");
    r.Return_Error(L"%s for %zu and %hs", L"wide", std::size_t(7), "narrow");
    EXPECT_EQ(Show(r), "error wide for 7 and narrow");
    other.Return_Error(L"%s", (std::wstring(2047, L'b') + L"cd").c_str()); // one buffer, cut to 2047
    EXPECT_EQ(std::pair(r.data, Show(r)), std::pair(other.data, "error " + std::string(2047, 'b')));
}

TEST_F(Upgrade, PreSmartReader)
{
    const std::string combo = R"({"Type": "Combo Box", "Items": ["zero", "one", "two"]})";
    const std::tuple<std::string, Bytes, std::string, std::string> cases[] = {
        {"Checkbox", PreSmart("\x01", 19), "i g0", "unsuitable | unsuitable"},
        // After the values only a checkbox is still answered.
        {"Checkbox|Editbox Number", PreSmart("\x03", 20), "i g0 g1 c0 c1 g1",
         "found | found#1 | unsuitable | found#1 | unsuitable | unsuitable"},
        {"Editbox String|Editbox File|Editbox String|URL button", PreSmart("\x0A" + "ab\0c\0\0xyz\0"s),
         "i g0 g1 g2 g3", "found | found[ab]#0 | found[c]#1 | found#0 | found[xyz]#1"},
        // Values before the one asked for are skipped by their widths.
        {"Editbox String|Size|Color|Edit spin float|Edit direction",
         PreSmart("\x08" + "skip\0"s + N(1) + N(2) + N(3) + ValueBytes(4.5f) + N(-5)), "i g2 g3 g4",
         "found | found[03000000]#0 | found[00009040]#1 | found[FBFFFFFF]#0"},
        // A value cut short ends the reader, and its checkboxes from there on.
        {"Editbox String|Editbox Number|Editbox Number", PreSmart("\x07" + "a\0\x01\x02\x03"s),
         "i g0 g1 g2 c0 c1 c2",
         "found | found[a]#1 | unsuitable | unsuitable | found#1 | unsuitable | unsuitable"},
        {"Editbox String|Font|Text|Group|Image List|Custom|Checkbox|Editbox String",
         PreSmart("\x40" + "a\0b\0"s), "i g0 g1 g2 g3 g4 g5 g6 g7",
         "found | found[a]#0 | pass | pass | pass | pass | pass | found#1 | found[b]#0"},
        // A combo box stores its item's index: an index past the items, or an item that is not a text, gives
        // the empty text; without items the index is stepped over.
        {combo +
             R"(|{"Type": "Combo Box", "Items": ["zero"]}|{"Type": "Combo Box Button", "Items": ["x", 5]})"
             R"(|{"Type": "Combo Box"}|Editbox Number)",
         PreSmart("\x01" + N(2) + N(7) + N(1) + N(0) + N(99)), "i g0 g1 g2 g3 g4",
         "found | found[two]#1* | found#0 | found#0 | pass | found[63000000]#0"},
        {"Text|Text|Text|Text|Text|Text|Text|Text|Editbox String", PreSmart("\x80\x01s\0"s),
         "i g8 c7 c0 c15 c16", "found | found[s]#1 | found#1 | found#0 | found#0 | unsuitable"},
        // At or past the closing descriptor there is no property, whatever bytes remain.
        {"Editbox String", PreSmart("\0a\0b\0"s), "i g0 g1 c0 c1 i g5",
         "found | found[a]#0 | unsuitable | found#0 | unsuitable | found | unsuitable"},
        {"Editbox String", Stored(1, "\x01"), "i g0", "unsuitable | unsuitable"}};
    for (const auto& [types, old, script, expected] : cases) {
        Use(List(types));
        EXPECT_EQ(Read<Properties::PreSmartPropertyReader>(script, old), expected) << types;
    }
    Use(List("Editbox String|" + combo + "|Size|Checkbox|Editbox Number"));
    SweepReader<Properties::PreSmartPropertyReader>("i g0 g1 g2 g3 g4 c0 c3 c4",
                                                    PreSmart("\x09" + "ab\0"s + N(2) + N(3) + N(4) + N(5)));
    EXPECT_EQ(Boxes(), L"");
}

TEST_F(Upgrade, SmartReader)
{
    const std::string two = "\0"s + E(5, "A", "a") + E(5, "B", "b"), title(300, 't'),
                      failed = "error SmartPropertyReader: failed to read Data for property ";
    const std::tuple<std::string, Bytes, std::string, std::string> cases[] = {
        // Found by the old title (case ignored), its checkbox from the entry's stored position; asked alone,
        // a
        // checkbox is the bit at the property's own position.
        {R"([{"Type": "Editbox Number", "Title": "Velocity", "OldTitle": "speed"},
             {"Type": "Editbox String", "Title": "name"}])",
         Old(3, "\x02" + E(6, "Other", N(1)) + E(6, "Speed", N(30)) + E(5, "NAME", "Bo")),
         "i g0 g1 c0 c1 c2 c3",
         "found | found[1E000000]#1 | found[Bo]#0 | found#0 | found#1 | found#0 | pass"},
        {R"([{"Type": "Editbox String", "Title": "B", "OldTitle": "A"}])",
         Old(2, "\0"s + E(5, "B", "by title") + E(5, "A", "by old title")), "i g0",
         "found | found[by old title]#0"},
        // Only compatible types feed a property; an integer taken into a float keeps its number.
        {List("Editbox Number|Editbox String|Editbox String Multiline|Combo Box Button|Editbox Float|Color|"
              "edit SPIN|Editbox Float"),
         Old(8, "\0"s + E(21, "P0", ValueBytes(1.5f)) + E(22, "P1", "multi") + E(5, "P2", "single") +
                    E(7, "P3", "item") + E(27, "P4", ValueBytes(2.5f)) + E(6, "P5", N(3)) +
                    E(11, "P6", N(4)) + E(12, "P7", N(-3))),
         "i g0 g1 g2 g3 g4 g5 g6 g7",
         "found | pass | pass | found[single]#0 | found[item]#0 | found[00002040]#0 | pass | "
         "found[04000000]#0 | "
         "found[000040C0]#0"},
        {List("Spinner|Editbox String"), Old(1, "\0"s + E(5, "P1", "b")), "i g0 g1",
         "found | " + failed + "0. Type ID in JSON Spinner could not be converted to ID.\n | found[b]#0"},
        {R"([{"Type": "Editbox String", "Title": ")" + title + "\"}]",
         Old(1, "\0"s + E(5, title.substr(0, 254), "k")), "i g0", "found | found[k]#0"},
        // Damaged: an entry missing, or too small for its own title; a block past the record or not one.
        {List("Editbox String"), Old(3, two), "i c0", failed + "2 / 3.\n | pass"},
        {List("Editbox String"), Old(2, "\x01" + E(5, "P0", "cd") + N(7) + "\x05\0\x02"s + "Ab"), "i c0",
         failed + "1 / 2.\n | pass"},
        {List("Editbox String"), Ended(HeaderBytes(0, 0, 0, 400) + BlockBytes(2, 1, 2) + two), "i c0",
         "unsuitable | pass"},
        {List("Editbox String"), Ended(HeaderBytes(0, 0, 0, 20) + "1NVQ" + std::string(16, '\0') + two), "i",
         "unsuitable"}};
    for (const auto& [properties, old, script, expected] : cases) {
        Use(properties);
        EXPECT_EQ(Read<Properties::SmartPropertyReader>(script, old), expected) << properties;
    }
    Use(List("Editbox Number|Editbox String|Size"));
    SweepReader<Properties::SmartPropertyReader>(
        "i g0 g1 g2 c0 c1 c2",
        Old(3, "\x05" + E(5, "P1", "ab") + E(8, "P2", N(1) + N(2)) + E(6, "P0", N(7))));
}

TEST_F(Upgrade, DefinitionDefaultsReader)
{
    std::string thousand = "[";
    for (int i = 0; i < 1000; ++i)
        thousand += (i ? "," : "") + R"({"Type": "Text"})"s;
    const std::string a4095(4095, 'a'),
        item = "error JSONPropertyReader: JSON item ", B = "\xE2\x80\xA2 ",
        none = ", language UK English has no default value.",
        int32 = ", language UK English has default value that can't be stored "
                "in 32-bit int (value is ";
    const std::pair<std::string, std::string> cases[] = {
        {thousand + "]", ""},
        {"", "g0 c0 = error JSONPropertyReader: no JSON item for property 0, only 0 items are stored | error "
             "JSONPropertyReader: no JSON item for property 0, only 0 items are stored.\n"},
        {R"([{"Type": "Text"}, "a text", 5])",
         "g2 c1 = error JSDNPropertyReader: Index 2 is not a json_object "
         "(but within Properties array) | error JSDNPropertyReader: Index 1 "
         "is not a json_object (but within Properties array).\n"},
        // Texts copied in their case, up to 4095 bytes; a combo box's default is its item's text in the
        // definition. Labels, folders and buttons have none.
        {R"([{"Type": "Editbox String", "Title": "L", "DefaultState": "aBc1", "Case": "LOWER"},
             {"Type": "Editbox File", "Title": "None"}, {"Type": "URL button", "Title": "Num", "DefaultState": 5},
             {"Type": "Editbox String Multiline", "Title": "M", "DefaultState": "x\ny", "Case": "Upper"},
             {"Type": "Editbox String", "Title": "A", "DefaultState": ")" +
             a4095 + R"("}, {"Type": "Editbox Folder", "Title": "B", "DefaultState": ")" + a4095 + R"(a"},
             {"Type": "Combo Box", "Title": "C", "Items": ["one", "two"], "DefaultState": "two"},
             {"Type": "Combo Box Icons", "Title": "D", "Items": []}, {"Type": "Combo Box Button", "Title": "E"},
             {"Type": "Folder"}, {"Type": "FolderEnd"}, {"Type": "Edit button", "DefaultState": "Press"},
             {"Type": "Combo Box", "Title": "F", "Items": [], "DefaultState": ")" +
             a4095 + R"(a"}])",
         "g0 g1 g2 g3 g4 g5 g6 g7 g8 g9 g10 g11 g12 = found[abc1]* | found[]* | found[]* | found[580A59]* | "
         "found[" +
             a4095 +
             "]* | unsuitable | found[two] | found | pass | found | found | found | unsuitable || 7 " + B +
             "L\n" + B + "None\n" + B + "Num\n" + B + "M\n" + B + "A\n" + B + "C\n" + B + "D\n"},
        {R"([{"Type": "Edit spin", "Title": "Min", "DefaultState": -2147483648},
             {"Type": "Color", "Title": "Over", "DefaultState": 2147483648},
             {"Type": "Edit slider", "Title": "Under", "DefaultState": -2147483649},
             {"Type": "Edit direction", "Title": "Fraction", "DefaultState": 1.5}, {"Type": "Editbox Number",
             "DefaultState": "5"}, {"Type": "Edit spin float", "Title": "Exp", "DefaultState": 25e-1},
             {"Type": "Editbox Float", "Title": "Whole", "DefaultState": 5}])",
         "g0 g1 g2 g3 g4 g5 g6 = found[00000080] | " + item + "Over, ID 1" + int32 + "2147483648). | " +
             item + "Under, ID 2" + int32 + "-2147483649). | " + item + "Fraction, ID 3" + none + " | " +
             item + "<missing title>, ID 4" + none + " | found[00002040] | " + item + "Whole, ID 6" + none +
             " || 2 " + B + "Min\n" + B + "Exp\n"},
        {R"([{"Type": "Size", "Title": "A", "DefaultState": [4294967297, -1]}, {"Type": "Image List", "Title": "I"},
             {"Type": "Image List", "Title": "J", "DefaultState": null}, {"Type": "Font", "Title": "F"},
             {"Type": "Custom"}, {"Type": "!List button"}])",
         "g0 g1 g2 g3 g4 g5 = found[01000000FFFFFFFF] | found[0000] | " + item +
             "J, ID 2, language UK English has a default value, and shouldn't have one. | pass | pass | "
             "found || 2 " +
             B + "A\n" + B + "I\n"},
        // A property whose value and checkbox both take their default is listed once.
        {R"([{"Type": "Checkbox", "Title": "On", "DefaultState": true}, {"Type": "Checkbox", "Title": "Missing"},
             {"Type": "Editbox Number", "Title": "Flag", "DefaultState": 1, "CheckboxDefaultState": false},
             {"Type": "Editbox Number", "Title": "Null", "DefaultState": 1, "CheckboxDefaultState": null},
             {"Type": "Editbox Number", "Title": "Plain", "DefaultState": 1}])",
         "c0 c1 g2 c2 c3 c4 = found#1 | error JSONPropertyReader: DefaultState is not set for checkbox "
         "property. "
         "Property Missing, ID 1 (language UK English). Erroring.\n | found[01000000] | found#0 | error "
         "JSONPropertyReader: the CheckboxDefaultState is not set for property with checkbox flag. Property "
         "Null, "
         "ID 3 (language UK English). Erroring.\n | pass || 2 " +
             B + "On\n" + B + "Flag\n"}};
    for (const auto& [properties, run] : cases) {
        Use(properties);
        const std::size_t is = run.find(" = ");
        EXPECT_EQ(Read<Properties::JSONPropertyReader>("i " + run.substr(0, is)),
                  "found" + (run.empty() ? "" : " | " + run.substr(is + 3)))
            << properties.substr(0, 60);
    }
    for (const std::string& wrong : {thousand + R"(, {"Type": "Text"}])", R"({"Type": "Text"})"s}) {
        Use(wrong);
        EXPECT_EQ((std::pair{Read<Properties::JSONPropertyReader>("i"), Boxes()}),
                  std::pair("unsuitable"s, NotArray));
    }
}

TEST_F(Upgrade, RecordsBuiltByTheReaders)
{
    const std::wstring failed = L"E Property conversion error: All converters have failed for property ",
                       corrupt =
                           L". Your property data is corrupt beyond recovery or reset. Please re-add the "
                           L"object to frame.",
                       reader = L"W Property conversion error: JSONPropertyReader converter encountered a "
                                L"failure: JSONPropertyReader: ",
                       noDefault = reader + L"JSON item A, ID 0, language UK English has no default value.. "
                                            L"Delegating.";
    const std::string title(300, 'L');
    const std::tuple<std::string, Bytes, Bytes, std::wstring> cases[] = {
        // A new object takes every default; a refused type is stored as the Text that stands in for it.
        {R"([{"Type": "Folder", "Title": "Group"},
             {"Type": "Editbox String", "Title": "Name", "DefaultState": "Bob", "Case": "Upper"},
             {"Type": "Checkbox", "Title": "On", "DefaultState": true},
             {"Type": "Editbox Number", "Title": "Count", "DefaultState": -2, "CheckboxDefaultState": true},
             {"Type": "Combo Box", "Title": "Pick", "Items": ["a", "bc"], "DefaultState": "bc"},
             {"Type": "Size", "Title": ")" +
             title + R"(", "DefaultState": [3, 4]},
             {"Type": "Editbox Float", "Title": "F", "DefaultState": 0.5, "CheckboxDefaultState": false},
             {"Type": "Image List", "Title": "Pics"}, {"Type": "FolderEnd"},
             {"Type": "Edit button", "Title": "Go", "DefaultState": "Press"},
             {"Type": "Editbox Stringy", "Title": "Typo", "DefaultState": "abc"}])",
         {},
         New(0, 11,
             "\x0C\0"s + E(2, "", "") + E(5, "Name", "BOB") + E(10, "On", "") + E(6, "Count", N(-2)) +
                 E(7, "Pick", "bc") + E(8, title.substr(0, 254), N(3) + N(4)) + E(21, "F", ValueBytes(0.5f)) +
                 E(23, "Pics", "\0\0"s) + E(3, "", "") + E(4, "", "") + E(1, "", "")),
         L""},
        // No reader can give A or C a value: each gets a zero value, after the readers' and the upgrade's
        // boxes.
        {R"([{"Type": "Editbox Number", "Title": "A"}, {"Type": "Editbox String", "Title": "B",
             "DefaultState": "b"}, {"Type": "Size", "Title": "C", "DefaultState": [1, 2, 3]}])",
         {},
         New(0, 3, "\0"s + E(6, "A", N(0)) + E(5, "B", "b") + E(8, "C", std::string(8, '\0'))),
         noDefault + L" ## " + failed + L"0 (A)" + corrupt + L" ## " + reader +
             L"Couldn't read default state for JSON item C, ID 2, language UK English. Erroring.. "
             L"Delegating. ## " +
             failed + L"2 (C)" + corrupt},
        // When the last reader leaves the chain, nothing is built.
        {R"([{"Type": "Editbox String", "Title": "A", "DefaultState": ")" + std::string(4096, 'a') +
             R"("}, )" + Name + "]",
         {},
         {},
         failed + L"0 (A)" + corrupt},
        {R"([{"Type": "Editbox String", "Title": "A", "CheckboxDefaultState": 1},
             {"Type": "Editbox String", "Title": "B", "CheckboxDefaultState": true}])",
         {},
         New(0, 2, "\x02" + E(5, "A", "") + E(5, "B", "")),
         L"E Property conversion error: Couldn't read check box of some properties. Delegating."},
        {R"({"Type": "Editbox String"})",
         {},
         {},
         NotArray + L" ## E Property conversion error: All Morvalex property readers have failed. Your "
                    L"property data "
                    L"is corrupt beyond recovery or reset. Please re-add the object to frame."},
        {"[" + Name + ", " + Count + R"(, "CheckboxDefaultState": true},
             {"Type": "Checkbox", "Title": "Grand\u00e9", "DefaultState": true}])",
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
    EXPECT_EQ((std::pair{Run(nullptr), Boxes()}),
              std::pair(Bytes(), NotArray +
                                     L" ## E Property reading error: Setting up Morvalex object properties "
                                     L"from JSON failed."));
    Use(R"([{"Type": "Editbox Number", "Title": "A"}])"), Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    EXPECT_EQ((std::pair{Run(nullptr), Boxes()}), std::pair(New(0, 1, "\0"s + E(6, "A", N(0))), noDefault));
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

TEST_F(Upgrade, NewObjectsUpTo65535Bytes)
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
    Bytes edPtr(64);
    EXPECT_EQ(Polvane::DLL_CreateObject(host.MV(), 0, AsRecord(edPtr)), -1);
    EXPECT_EQ(std::pair(edPtr, Boxes()), std::pair(Bytes(64), big));
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
