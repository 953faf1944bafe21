// The property readers asked as the upgrade asks them: the answer records, the pre-smart and smart readers
// on stored records (damaged ones with bytes after the record's end that a stray read would take), and the
// definition's defaults. An answer reads "found[value]#checkbox*" (hex unless plain text; * when the caller
// frees it), "pass", "error text" or "unsuitable".
#include "InProcess.h"
#include "PropertyRecords.h"

#include "Lib/Shared/Polvane/PropertyReaders.h"
#include "Lib/Shared/Polvane/TextConversion.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

using namespace std::string_literals;
using namespace TestHost;
using Polvane::Properties;
using Return = Properties::ConverterReturn;

namespace {

const auto E = EntryBytes;
std::string N(int value) { return ValueBytes(value); }

std::string Show(const Return& r)
{
    if (r.kind == Return::Error)
        return "error " + Polvane::TStringToUTF8(static_cast<const wchar_t*>(r.data));
    if (r.kind != Return::Found)
        return r.kind == Return::Pass ? "pass" : r.kind == Return::None ? "none" : "unsuitable";
    const std::string value = r.data ? std::string(static_cast<const char*>(r.data), r.dataSize) : "";
    std::string out = r.data ? "found[" : "found", hex;
    for (unsigned char c : value)
        hex += {"0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
    const bool text =
        std::all_of(value.begin(), value.end(), [](unsigned char c) { return c >= 32 && c < 127; });
    out += text ? value : hex;
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

struct ReaderTest : testing::Test {
    void Use(const std::string& properties) // an empty text leaves Properties out
    {
        sdk.reset(), sdk.reset(InProcess::BuildState(properties.empty() ? R"({"UK English": {}})"
                                                                        : PropertyDefinition(properties)));
        recorder.boxes.clear();
    }
    // Runs a script of calls: i (Initialize), gN (GetProperty N), cN (GetPropertyCheckbox N), on the old
    // record and its block at 20 when its offset word is not 0. The answers, then the properties reset.
    template <typename Reader> std::string Run(const std::string& script, Bytes old = {})
    {
        EDITDATA* record = old.empty() ? nullptr : AsRecord(old);
        auto* block =
            record && record->eHeader.propertiesOffset ? reinterpret_cast<Properties*>(&old[20]) : nullptr;
        Properties::ConverterState state(record, block, Polvane::CurLang()["Properties"]);
        Reader reader;
        std::istringstream steps(script);
        std::string step, out;
        while (steps >> step) {
            Return r;
            const std::uint32_t i = step == "i" ? 0 : std::stoul(step.substr(1));
            if (step == "i")
                reader.Initialize(state, &r);
            else if (step[0] == 'g')
                reader.GetProperty(i, &r);
            else
                reader.GetPropertyCheckbox(i, &r);
            out += (out.empty() ? "" : " | ") + Show(r);
        }
        const std::string reset = state.resetPropertiesStream.str();
        return reset.empty() ? out : out + " || " + std::to_string(state.numPropsReset) + " " + reset;
    }
    InProcess::RunningAs builtApplication{Polvane::MFXRunMode::BuiltEXE};
    InProcess::BoxRecorder recorder;
    std::unique_ptr<Tovik::SDK> sdk;
};

} // namespace

TEST_F(ReaderTest, AnswerRecords)
{
    Return r, other;
    static const char value[] = "abc";
    EXPECT_EQ(Show(r), "none");
    EXPECT_EQ(Show(*r.Return_OK(value, 3, nullptr, 2)), "found[abc]#2"); // kept, but reported
    EXPECT_EQ(Shown(recorder.boxes), L"E Checkbox error: Checkbox state of 2 is invalid.");
    EXPECT_EQ(r.Return_Pass()->Return_ConverterUnsuitable()->data, value); // only the kind changes
    r.Return_Error(L"%s for %zu and %hs", L"wide", std::size_t(7), "narrow");
    EXPECT_EQ(Show(r), "error wide for 7 and narrow");
    other.Return_Error(L"%s", (std::wstring(2047, L'b') + L"cd").c_str()); // one buffer, cut to 2047
    EXPECT_EQ(std::pair(r.data, Show(r)), std::pair(other.data, "error " + std::string(2047, 'b')));
}

TEST_F(ReaderTest, PreSmartRecords)
{
    const std::string guard = "\0\x11\x22\x33\x44\x55\x66\x77\x88"s; // after the record's end
    const std::string combos = R"({"Type": "Combo Box", "Items": ["zero", "one", "two"]}|)"
                               R"({"Type": "Combo Box", "Items": ["zero"]}|)"
                               R"({"Type": "Combo Box Button", "Items": ["x", 5]}|{"Type": "Combo Box"})";
    const struct {
        std::string types, checkboxes, values;
        std::int32_t sizeWord; // 0: where the values end
        std::string script, expected;
    } cases[] = {
        {"Checkbox", "\x01", "", 19, "i g0", "unsuitable | unsuitable"},
        {"Checkbox", "\x01", "", -1, "i", "unsuitable"},
        {"Checkbox|Editbox Number", "\x03", "", 20, "i g0 g1 c0 c1 g1",
         "found | found#1 | unsuitable | found#1 | unsuitable | unsuitable"},
        {"Editbox String|Editbox File|Editbox String|URL button", "\x0A", "ab\0c\0\0xyz\0"s, 0,
         "i g0 g1 g2 g3", "found | found[ab]#0 | found[c]#1 | found#0 | found[xyz]#1"},
        // Values before the one asked for are skipped by their widths.
        {"Editbox String|Size|Color|Edit spin float|Edit direction", "\x08",
         "skip\0"s + N(1) + N(2) + N(3) + ValueBytes(4.5f) + N(-5), 0, "i g2 g3 g4",
         "found | found[03000000]#0 | found[00009040]#1 | found[FBFFFFFF]#0"},
        {"Editbox String|Editbox Number|Editbox Number", "\x07", "a\0\x01\x02\x03"s, 0, "i g0 g1 g2 c0 c1 c2",
         "found | found[a]#1 | unsuitable | unsuitable | found#1 | unsuitable | unsuitable"},
        {"Editbox String", "\x01", "abc", 0, "i g0 c0", "found | unsuitable | unsuitable"},
        {"Editbox String|Editbox Number", "\x02", "ok\0\x01\x02"s, 1000, "i g0 g1",
         "found | found[ok]#0 | unsuitable"},
        {"Checkbox", "", "", 20, "i c0 g0", "found | unsuitable | unsuitable"},
        {"Editbox String|Font|Text|Group|Image List|Checkbox|Editbox String", "\x20"s, "a\0b\0"s, 0,
         "i g0 g1 g2 g3 g4 g5 g6", "found | found[a]#0 | pass | pass | pass | pass | found#1 | found[b]#0"},
        // A combo box stores its item's index: an index past the items, or an item that is not a text,
        // gives the empty text; without items the index is stepped over.
        {combos + "|Editbox Number", "\x01", N(2) + N(7) + N(1) + N(0) + N(99), 0, "i g0 g1 g2 g3 g4",
         "found | found[two]#1* | found#0 | found#0 | pass | found[63000000]#0"},
        {"Custom|Editbox Number", "\0"s, N(42), 0, "i g0 g1", "found | pass | found[2A000000]#0"},
        {"Text|Text|Text|Text|Text|Text|Text|Text|Editbox String", "\x80\x01", "s\0"s, 0,
         "i g8 c7 c0 c15 c16", "found | found[s]#1 | found#1 | found#0 | found#0 | unsuitable"},
        // At or past the closing descriptor there is no property, whatever bytes remain.
        {"Editbox String", "\0"s, "a\0b\0"s, 0, "i g0 g1 c0 c1 i g5",
         "found | found[a]#0 | unsuitable | found#0 | unsuitable | found | unsuitable"}};
    for (const auto& c : cases) {
        Use(List(c.types));
        const std::int32_t end = std::int32_t(24 + c.checkboxes.size() + c.values.size());
        const std::string values = c.checkboxes + c.values;
        Bytes old = Ended(HeaderBytes(0, 0, 0, 0) + N(c.sizeWord ? c.sizeWord : end) + values);
        old.insert(old.end(), guard.begin(), guard.end());
        EXPECT_EQ(Run<Properties::PreSmartPropertyReader>(c.script, old), c.expected) << c.script;
    }
    EXPECT_EQ(Run<Properties::PreSmartPropertyReader>("i g0", Stored(1, "\x01")), "unsuitable | unsuitable");
    const Bytes noSizeWord = Ended(HeaderBytes(0, 0, 0, 0) + "\x14\0"s);
    EXPECT_EQ(Run<Properties::PreSmartPropertyReader>("i", noSizeWord), "unsuitable");
    EXPECT_EQ(Run<Properties::PreSmartPropertyReader>("i"), "unsuitable");
    EXPECT_EQ(Shown(recorder.boxes), L"");
}

TEST_F(ReaderTest, SmartRecords)
{
    const std::string title(300, 't'),
        one = "\0"s + E(5, "P0", "a"), two = "\0"s + E(5, "A", "a"), next = N(9) + "\x05\0\x01"s + "Bb",
        failed = "error SmartPropertyReader: failed to read Data for property ";
    const struct {
        std::string properties;
        std::uint16_t count;
        std::string block, script, expected;
        std::uint32_t offset = 20, cut = 0;
    } cases[] = {
        // Found by the old title (case ignored), its checkbox from the entry's stored position; asked alone,
        // a checkbox is the bit at the property's own position.
        {R"([{"Type": "Editbox Number", "Title": "Velocity", "OldTitle": "speed"},)"
         R"( {"Type": "Editbox String", "Title": "name"}])",
         3, "\x02" + E(6, "Other", N(1)) + E(6, "Speed", N(30)) + E(5, "NAME", "Bo"), "i g0 g1 c0 c1 c2 c3",
         "found | found[1E000000]#1 | found[Bo]#0 | found#0 | found#1 | found#0 | pass"},
        {R"([{"Type": "Editbox String", "Title": "B", "OldTitle": "A"}])", 2,
         "\0"s + E(5, "B", "by title") + E(5, "A", "by old title"), "i g0", "found | found[by old title]#0"},
        // Only compatible types feed a property; an integer taken into a float keeps its number.
        {List("Editbox Number|Editbox String|Editbox String Multiline|Combo Box Button|Editbox "
              "Float|Color|edit SPIN|"
              "Editbox Float"),
         8,
         "\0"s + E(21, "P0", ValueBytes(1.5f)) + E(22, "P1", "multi") + E(5, "P2", "single") +
             E(7, "P3", "item") + E(27, "P4", ValueBytes(2.5f)) + E(6, "P5", N(3)) + E(11, "P6", N(4)) +
             E(12, "P7", N(-3)),
         "i g0 g1 g2 g3 g4 g5 g6 g7",
         "found | pass | pass | found[single]#0 | found[item]#0 | found[00002040]#0 | pass "
         "| found[04000000]#0 | found[000040C0]#0"},
        {List("Spinner|Editbox String"), 1, "\0"s + E(5, "P1", "b"), "i g0 g1",
         "found | " + failed +
             "0. Type ID in "
             "JSON Spinner could not be converted to ID.\n | found[b]#0"},
        {R"([{"Type": "Editbox String", "Title": ")" + title + "\"}]", 1,
         "\0"s + E(5, title.substr(0, 254), "kept"), "i g0", "found | found[kept]#0"},
        {List("Editbox String"), 0, "", "i g0 c0", "found | pass | pass"},
        // Damaged records: nothing outside them is read, and nothing of them answered afterwards.
        {List("Editbox String"), 1, one, "i c0", "unsuitable | pass", 0},
        {List("P"), 1, one, "i c0", "unsuitable | pass", 400},
        {List("Editbox String"), 1, one, "i c0", "unsuitable | pass", 51}, // the offset at the record's end
        {List("Editbox String"), 1, "", "i c0", "unsuitable | pass", 20, 12}, // the block cut short
        {List("Editbox String"), 2, two + next, "i c0", "found | found#0"},
        {List("Editbox String"), 2, two + N(10) + next.substr(4), "i c0",
         failed + "1 / 2.\n | pass"}, // past the end
        {List("Editbox String"), 2, two + N(-16) + next.substr(4), "i c0", failed + "1 / 2.\n | pass"},
        {List("Editbox String"), 2, two + next, "i c0", failed + "1 / 2.\n | pass", 20,
         4}, // ends in a header
        {List("Editbox String"), 3, two + next, "i c0", failed + "2 / 3.\n | pass"},
        {List("Editbox String"), 2, "\x01" + E(5, "P0", "cd") + N(7) + "\x05\0\x02"s + "Ab",
         "i c0", // too small
         failed + "1 / 2.\n | pass"}};
    for (const auto& c : cases) {
        Use(c.properties);
        const std::string bytes = HeaderBytes(0, 0, 0, c.offset) + BlockBytes(c.count, 1, 2) + c.block;
        Bytes old = Ended(bytes.substr(0, bytes.size() - c.cut));
        const std::string guard = E(1, "", "");
        old.insert(old.end(), guard.begin(), guard.end());
        EXPECT_EQ(Run<Properties::SmartPropertyReader>(c.script, old), c.expected) << c.script << c.offset;
    }
    Bytes badMagic = Stored(1, one);
    badMagic[20] = 'X';
    EXPECT_EQ(Run<Properties::SmartPropertyReader>("i c0", badMagic) +
                  Run<Properties::SmartPropertyReader>("i"),
              "unsuitable | passunsuitable");
}

TEST_F(ReaderTest, DefinitionDefaults)
{
    std::string thousand = "[";
    for (int i = 0; i < 1000; ++i)
        thousand += std::string(i == 0 ? "" : ",") + R"({"Type": "Text"})";
    const std::string a4095(4095, 'a'), item = "error JSONPropertyReader: JSON item ", B = "\xE2\x80\xA2 ",
                                        none = ", language UK English has no default value.";
    const struct {
        std::string properties, script, expected;
    } cases[] = {
        {"[]", "", ""},
        {thousand + "]", "", ""},
        {"", "g0 c0",
         "error JSONPropertyReader: no JSON item for property 0, only 0 items are stored | error "
         "JSONPropertyReader: no JSON item for property 0, only 0 items are stored.\n"},
        {R"([{"Type": "Text"}, "a text", 5])", "g2 c1",
         "error JSDNPropertyReader: Index 2 is not a json_object (but "
         "within Properties array) | error JSDNPropertyReader: Index 1 is not a json_object (but within "
         "Properties array).\n"},
        {List(R"(Text|Folder|FolderEnd|{"Type": "Edit button", "DefaultState": "Press"}|Checkbox|Group)"),
         "g0 g1 g2 g3 g4 g5", "found | found | found | found | found | found"},
        // Texts copied in their case, up to 4095 bytes; a combo box's default is its item's text in the
        // definition.
        {R"([{"Type": "Editbox String", "Title": "L", "DefaultState": "aBc1", "Case": "LOWER"},
             {"Type": "Editbox File", "Title": "None"},
             {"Type": "URL button", "Title": "Num", "DefaultState": 5},
             {"Type": "Editbox String Multiline", "Title": "M", "DefaultState": "x\ny", "Case": "Upper"},
             {"Type": "Editbox String", "Title": "A", "DefaultState": ")" +
             a4095 + R"("},
             {"Type": "Editbox Folder", "Title": "B", "DefaultState": ")" +
             a4095 + R"(a"},
             {"Type": "Combo Box", "Title": "C", "Items": ["one", "two"], "DefaultState": "two"},
             {"Type": "Combo Box Icons", "Title": "D", "Items": []},
             {"Type": "Combo Box Button", "Title": "E"},
             {"Type": "Combo Box", "Title": "F", "Items": [], "DefaultState": ")" +
             a4095 + R"(a"}])",
         "g0 g1 g2 g3 g4 g5 g6 g7 g8 g9",
         "found[abc1]* | found[]* | found[]* | found[580A59]* | found[" + a4095 +
             "]* | unsuitable | found[two] | found | pass | unsuitable || 7 " + B + "L\n" + B + "None\n" + B +
             "Num\n" + B + "M\n" + B + "A\n" + B + "C\n" + B + "D\n"},
        {R"([{"Type": "Edit spin", "Title": "Min", "DefaultState": -2147483648},
             {"Type": "Color", "Title": "Over", "DefaultState": 2147483648},
             {"Type": "Edit slider", "Title": "Under", "DefaultState": -2147483649},
             {"Type": "Edit direction", "Title": "Fraction", "DefaultState": 1.5}, {"Type": "Editbox Number",
             "DefaultState": "5"}, {"Type": "Edit spin float", "Title": "Exp", "DefaultState": 25e-1},
             {"Type": "Editbox Float", "Title": "Whole", "DefaultState": 5}])",
         "g0 g1 g2 g3 g4 g5 g6",
         "found[00000080] | " + item +
             "Over, ID 1, language UK English has default value that can't be stored in "
             "32-bit int (value is 2147483648). | " +
             item +
             "Under, ID 2, language UK English has default value that can't "
             "be stored in 32-bit int (value is -2147483649). | " +
             item + "Fraction, ID 3" + none + " | " + item + "<missing title>, ID 4" + none +
             " | found[00002040] | " + item + "Whole, ID 6" + none + " || 2 " + B + "Min\n" + B + "Exp\n"},
        {R"([{"Type": "Size", "Title": "A", "DefaultState": [4294967297, -1]},
             {"Type": "Size", "Title": "D", "DefaultState": [1, 2, 3]}, {"Type": "Image List", "Title": "I"},
             {"Type": "Image List", "Title": "J", "DefaultState": null}, {"Type": "Font", "Title": "F"},
             {"Type": "Custom"}, {"Type": "!List button"}])",
         "g0 g1 g2 g3 g4 g5 g6",
         "found[01000000FFFFFFFF] | error JSONPropertyReader: Couldn't read default state for "
         "JSON item D, ID 1, language UK English. Erroring. | found[0000] | " +
             item +
             "J, ID 3, language UK English has "
             "a default value, and shouldn't have one. | pass | pass | found || 2 " +
             B + "A\n" + B + "I\n"},
        // A property whose value and checkbox both take their default is listed once.
        {R"([{"Type": "Checkbox", "Title": "On", "DefaultState": true},
             {"Type": "Checkbox", "Title": "Missing"},
             {"Type": "Editbox Number", "Title": "Flag", "DefaultState": 1, "CheckboxDefaultState": false},
             {"Type": "Editbox Number", "Title": "Null", "DefaultState": 1, "CheckboxDefaultState": null},
             {"Type": "Editbox Number", "Title": "Plain", "DefaultState": 1}])",
         "c0 c1 g2 c2 c3 c4",
         "found#1 | error JSONPropertyReader: DefaultState is not set for checkbox property. Property "
         "Missing, ID 1 "
         "(language UK English). Erroring.\n | found[01000000] | found#0 | error JSONPropertyReader: the "
         "CheckboxDefaultState is not set for property with checkbox flag. Property Null, ID 3 (language UK "
         "English). "
         "Erroring.\n | pass || 2 " +
             B + "On\n" + B + "Flag\n"}};
    for (const auto& c : cases) {
        Use(c.properties);
        EXPECT_EQ(Run<Properties::JSONPropertyReader>("i " + c.script),
                  "found" + (c.script.empty() ? "" : " | " + c.expected))
            << c.properties.substr(0, 60);
    }
    for (const std::string& wrong : {thousand + R"(, {"Type": "Text"}])", R"({"Type": "Text"})"s}) {
        Use(wrong);
        EXPECT_EQ(Run<Properties::JSONPropertyReader>("i"), "unsuitable");
        EXPECT_EQ(Shown(recorder.boxes),
                  L"E Property error: JSONPropertyReader: Properties is the wrong type, expected "
                  L"an array.\n");
    }
}
