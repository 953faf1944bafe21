// Object properties: the host's table from a definition, value classes through their slots, the sheet's
// exports and the upgrade, with every box; damaged records swept, fenced: a read past one's end crashes.
#include "InProcess.h"
#include "TestHost.h"

#include "Lib/Shared/Polvane/PropertyDefinitions.h"
#include "Lib/Shared/Polvane/PropertyReaders.h"
#include "Lib/Shared/Polvane/PropertyUpgrade.h"
#include "Lib/Shared/Polvane/PropertyValues.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>

using namespace std::string_literals;
using namespace TestHost;
using InProcess::IsLiveAllocation;
using Polvane::Properties;
using Return = Properties::ConverterReturn;

namespace {

// A value object as the host sees it (slots 4, 5, 1): "id:word 1" (a float as its bits) or "id:text"; null.
std::wstring TakeValue(const void* object)
{
    if (object == nullptr)
        return L"null";
    const auto id = CallSlot<std::uint32_t>(object, Slot::GetClassID);
    std::uint32_t value[256];
    const auto copied = CallSlot<std::int32_t>(object, Slot::CopyToHostValue, static_cast<void*>(value));
    CallSlot<void>(object, Slot::Delete);
    return std::wstring{wchar_t(id >> 24), wchar_t(id >> 16 & 255), wchar_t(id >> 8 & 255),
                        wchar_t(id & 255)} +
           (copied != 1 ? L"!" : L":") +
           (id == 0x53545257 ? reinterpret_cast<const wchar_t*>(value[2]) : std::to_wstring(value[1]));
}
// Boxes as "E title: text" (E, W, I or Q for the icon, - for none; no " - Morvalex"), joined by " ## ".
std::wstring Shown(const std::vector<RecordedBox>& boxes)
{
    std::wstring shown;
    for (const RecordedBox& box : boxes) {
        const unsigned icon = box.style & MB_ICONMASK;
        shown += (shown.empty() ? L"" : L" ## ") +
                 std::wstring(1, icon <= 0x40 ? L"-EQWI"[icon >> 4] : L'?') + L" " +
                 box.title.substr(0, box.title.rfind(L" - Morvalex")) + L": " + box.text;
    }
    return shown;
}
using Bytes = std::vector<std::uint8_t>;
template <typename T> std::string ValueBytes(T value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}
std::string N(std::int32_t value) { return ValueBytes(value); }
// One stored entry: its size, type id, title length, title and value.
std::string E(std::uint16_t typeID, const std::string& title, const std::string& value)
{
    return N(7 + title.size() + value.size()) + ValueBytes(typeID) + char(title.size()) + title + value;
}
// The host's header, and a block's fixed fields (magic 1NVP, hashes, count): Ended fills in their sizes.
std::string HeaderBytes(std::uint32_t maximum, std::uint32_t version, std::uint32_t id, std::uint32_t offset)
{
    return N(0) + ValueBytes(maximum) + ValueBytes(version) + ValueBytes(id) + ValueBytes(offset);
}
std::string BlockBytes(std::uint16_t count, std::uint32_t hashTitles, std::uint32_t hashTypes)
{
    return "1NVP" + ValueBytes(hashTitles) + ValueBytes(hashTypes) + ValueBytes(count) + std::string(6, '\0');
}
std::uint32_t U32At(const Bytes& bytes, std::size_t at)
{
    std::uint32_t value;
    std::memcpy(&value, &bytes[at], 4);
    return value;
}
Bytes& Put(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    std::memcpy(&bytes[at], &value, 4);
    return bytes;
}
// A record of those bytes: its size in the header and, when the offset names a block that fits, in it.
Bytes Ended(const std::string& text)
{
    Bytes bytes(text.begin(), text.end());
    const auto size = std::uint32_t(bytes.size()), offset = U32At(Put(bytes, 0, size), 16);
    return offset != 0 && offset + 20ull <= size ? Put(bytes, offset + 16, size) : bytes;
}
// A record of the current version, its block at 20 with both hashes of a list without value properties.
Bytes Stored(std::uint16_t count, const std::string& checkboxesAndEntries)
{
    return Ended(HeaderBytes(0, 1, 0, 20) + BlockBytes(count, ~0x811C9DC5u, ~0x811C9DC5u) +
                 checkboxesAndEntries);
}
EDITDATA* AsRecord(Bytes& bytes) { return reinterpret_cast<EDITDATA*>(bytes.data()); }
// A record's bytes as far as its total size goes.
Bytes BytesOf(const EDITDATA* edPtr)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(edPtr);
    return Bytes(bytes, bytes + edPtr->eHeader.totalSize);
}
// A copy of a record ending where readable memory ends: a read past it faults, and the test fails as a crash.
struct Fenced {
    explicit Fenced(const Bytes& bytes)
        : base(static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 0x20000, MEM_COMMIT, PAGE_READWRITE))),
          data(base + 0x10000 - bytes.size())
    {
        DWORD old;
        VirtualProtect(base + 0x10000, 0x10000, PAGE_NOACCESS, &old);
        std::copy(bytes.begin(), bytes.end(), data);
    }
    ~Fenced() { VirtualFree(base, 0, MEM_RELEASE); }
    EDITDATA* Record() const { return reinterpret_cast<EDITDATA*>(data); }
    std::uint8_t *const base, *const data;
};
// Calls check with the record cut at each length from 20 (true), then with each byte but the size word set to
// a few values, one just short of its size (false). The callers fence each record.
template <typename Check> void Sweep(const Bytes& whole, Check check)
{
    for (std::size_t cut = 20; cut <= whole.size(); ++cut)
        check(Ended(std::string(whole.begin(), whole.begin() + cut)), true);
    for (std::size_t at = 4; at < whole.size(); ++at)
        for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF, int(whole.size() - 10)}) {
            Bytes damaged = whole;
            damaged[at] = value;
            check(damaged, false);
        }
}

constexpr std::uint32_t FirstID = 0x80000;
const std::wstring TooHigh = L"W Polvane offset invalid: Offset is too high!";
const std::wstring NotArray = L"E Property error: JSONPropertyReader: Properties is the wrong type, expected "
                              L"an array.\n";
const std::wstring CheckFailed = L"E Property conversion error: Couldn't read check box of some properties. "
                                 L"Delegating.";
const std::wstring JSONFailure = L"JSONPropertyReader converter encountered a failure: JSONPropertyReader: ";
const std::string NameDef = R"({"Type": "Editbox String", "Title": "Name", "DefaultState": "new"})";
const std::string CountDef = R"({"Type": "Editbox Number", "Title": "Count", "DefaultState": 3)"; // unclosed
std::int32_t Equal(const void* a, const void* b) { return CallSlot<std::int32_t>(a, Slot::IsEqual, b); }
std::uint32_t WordAt(const void* p, std::size_t at) { return static_cast<const std::uint32_t*>(p)[at / 4]; }
const wchar_t* TextOf(const void* object) { return reinterpret_cast<const wchar_t*>(WordAt(object, 8)); }
std::string Pair(std::uint16_t a, std::uint16_t b) { return ValueBytes(a) + ValueBytes(b); }
HostValue Text(const std::wstring& text) { return HostValue(0x53545257, text); }
// An old record with a block for another property list; one from before blocks, its size word first.
Bytes Old(std::uint16_t count, const std::string& body, std::uint32_t version = 0)
{
    return Ended(HeaderBytes(500, version, 0xCAFE, 20) + BlockBytes(count, 0x1111, 0x2222) + body);
}
Bytes PreSmart(const std::string& body, std::int32_t sizeWord = 0)
{
    return Ended(HeaderBytes(0, 0, 0, 0) + N(sizeWord ? sizeWord : std::int32_t(24 + body.size())) + body);
}
std::wstring Reset(std::wstring copied, std::wstring what, std::wstring object = L"Morvalex")
{
    return L"I Upgraded properties: Successfully copied " + copied + L" of " + object +
           L" object properties from ext version 0 to 1.\n\nAlso set 1 property to their default settings, " +
           L"namely:\n\u2022 " + what;
}
// The boxes of a reader's failure for property i, and of the upgrade that then gives it a zero value.
std::wstring Failed(int i, std::wstring title, std::wstring failure = L"")
{
    return (failure.empty() ? L"" : L"W Property conversion error: " + failure + L". Delegating. ## ") +
           L"E Property conversion error: All converters have failed for property " + std::to_wstring(i) +
           L" (" + title +
           L"). Your property data is corrupt beyond recovery or reset. Please re-add the object to frame.";
}

// A reader's answer: F found (f without data, c a copy, freed here), P pass, E error, U unsuitable; the value
// bytes or the error text; the checkbox state.
using Answer = std::tuple<char, std::string, int>;
Answer Answered(const Return& r)
{
    if (r.kind == Return::Error) {
        const std::wstring text = static_cast<const wchar_t*>(r.data);
        return {'E', std::string(text.begin(), text.end()), r.checkboxState};
    }
    if (r.kind != Return::Found)
        return {"-FPEU"[r.kind], "", r.checkboxState};
    // An answer without data reads as its size in NULs: empty only when it holds nothing.
    const std::string value =
        r.data ? std::string(static_cast<const char*>(r.data), r.dataSize) : std::string(r.dataSize, '\0');
    if (r.freeData)
        r.freeData(r.data);
    return {r.freeData ? 'c' : r.data ? 'F' : 'f', value, r.checkboxState};
}
// A script of questions to one reader: -1 Initialize, i the value of property i, Checkbox(i) its checkbox
// alone.
constexpr std::int64_t Checkbox(std::uint32_t i) { return i + (std::int64_t(1) << 32); }
template <typename Reader>
std::vector<Answer> Ask(Reader& reader, Properties::ConverterState& state, std::vector<std::int64_t> script)
{
    std::vector<Answer> answers;
    for (std::int64_t question : script) {
        Return r;
        question < 0             ? reader.Initialize(state, &r)
        : question < Checkbox(0) ? reader.GetProperty(std::uint32_t(question), &r)
                                 : reader.GetPropertyCheckbox(std::uint32_t(question - Checkbox(0)), &r);
        answers.push_back(Answered(r));
    }
    return answers;
}
const Answer Ready{'f', "", -1}, Passed{'P', "", -1}, Unsuitable{'U', "", -1};

enum Sheet : std::uint32_t { Version, Name, Count, Speed, Mode, Flag, Area, Pictures, Go, Box, BoxEnd };
// The stored sheet, property changed holding value.
Bytes Sheet(std::uint32_t changed = ~0u, const std::string& value = "")
{
    const char* titles[] = {"", "Name", "Count", "Speed", "Mode", "Flag", "Area", "Pictures", "", "", ""};
    const std::uint16_t types[] = {1, 5, 6, 21, 7, 10, 8, 23, 4, 2, 3};
    const std::string values[] = {"",  "abc", N(42),       ValueBytes(2.5f),
                                  "b", "",    N(3) + N(4), Pair(2, 11) + "\x0C\0"s};
    std::string body = "\0\0"s;
    for (std::uint32_t i = 0; i <= BoxEnd; ++i)
        body += E(types[i], titles[i], i == changed ? value : i < 8 ? values[i] : "");
    return Stored(BoxEnd + 1, body);
}

struct Props : testing::Test {
    Props()
    {
        Use(R"([{"Title": "Version", "Type": "Text", "DefaultState": "1.0 \u00e9"}, {"Title": "Name", "Type":
            "Editbox String"}, {"Title": "Count", "Type": "Editbox Number"}, {"Title": "Speed", "Type":
            "Editbox Float"}, {"Title": "Mode", "Type": "Combo Box", "Items": ["a", "b"]}, {"Title": "Flag",
            "Type": "Checkbox"}, {"Title": "Area", "Type": "Size"}, {"Title": "Pictures", "Type":
            "Image List", "MaxNumImages": 3}, {"Title": "Go", "Type": "Edit button", "DefaultState": "Press"},
            {"Title": "Box", "Type": "Folder"}, {"Type": "FolderEnd"}])");
    }
    std::wstring Boxes() { return Shown(std::exchange(recorder.boxes, {})); }
    std::wstring Use(const std::string& properties) // the boxes of the build
    {
        const std::string head =
            R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {"Properties": )";
        sdk.reset(), sdk.reset(InProcess::BuildState(head + properties + "}}"));
        Polvane::RunMode = Polvane::MFXRunMode::Editor;
        return Boxes();
    }
    std::wstring Get(std::uint32_t index, EDITDATA* edPtr = nullptr)
    {
        return TakeValue(GetPropValue(host.MV(), edPtr ? edPtr : AsRecord(record), FirstID + index));
    }
    // The record after a change, to a fresh sheet unless told otherwise: the host's resized one, or this one.
    Bytes Set(std::uint32_t index, HostValue&& value, bool fresh = true)
    {
        const EDITDATA* resized = host.lastReallocated;
        record = fresh ? Sheet() : record;
        SetPropValue(host.MV(), AsRecord(record), FirstID + index, reinterpret_cast<Prop*>(&value));
        EXPECT_EQ(value.classIDReads, 1);
        return host.lastReallocated != resized ? BytesOf(host.lastReallocated) : record;
    }
    BOOL Check(std::uint32_t index) { return GetPropCheck(host.MV(), AsRecord(record), FirstID + index); }
    // A record as the upgrade writes it (Run blanks the hashes); its maximum is the old record's if larger.
    Bytes New(std::uint32_t id, std::uint16_t count, const std::string& body, std::uint32_t oldMaximum = 0)
    {
        Bytes made = Ended(HeaderBytes(0, 1, id, 20) + BlockBytes(count, 0, 0) + body);
        return Put(made, 4, std::max<std::uint32_t>(made.size(), oldMaximum));
    }
    // The upgrade's record out of its fixed global memory (freed), hashes checked and blanked; empty if none.
    Bytes Run(Bytes* old)
    {
        Fenced fenced(old ? *old : Bytes());
        HGLOBAL memory = Polvane::DLL_UpdateEditStructure(host.MV(), old ? fenced.Record() : nullptr);
        if (old)
            std::copy(fenced.data, fenced.data + old->size(), old->begin());
        const auto* bytes = static_cast<const std::uint8_t*>(memory ? GlobalLock(memory) : nullptr);
        Bytes made = bytes ? Bytes(bytes, bytes + GlobalSize(memory)) : Bytes();
        EXPECT_EQ(static_cast<const void*>(bytes), memory); // fixed memory
        EXPECT_EQ(memory ? (GlobalUnlock(memory), GlobalFree(memory)) : nullptr, nullptr);
        if (made.size() > 32 && U32At(made, 24) == ~sdk->PropertyTitlesHash &&
            U32At(made, 28) == ~sdk->PropertyTypesHash)
            Put(Put(made, 24, 0), 28, 0);
        return made;
    }
    TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Morvalex.mfx"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder recorder;
    Host host{GetDesktopWindow()};
    std::unique_ptr<Tovik::SDK> sdk;
    Bytes record = Sheet();
};

} // namespace

TEST(PropertyValues, EachClassThroughItsSlots)
{
    const wchar_t* const text = L"h\u00e9 \U0001F600"; // 6 characters with its NUL
    const std::tuple<Prop*, std::uint32_t, std::uint32_t> cases[] = {
        {new Prop_SInt(-2), 0x494E5420, 0xFFFFFFFE},
        {new Prop_UInt(0xDEADBEEF), 0x44575244, 0xDEADBEEF},
        {new Prop_Float(-0.0f), 0x464C4F54, 0x80000000},
        {new Prop_WStr(text), 0x53545257, 0}};
    Prop_Float zero(0.0f);
    for (const auto& [object, classID, word] : cases) {
        const bool isText = classID == 0x53545257;
        std::uint32_t record[8] = {0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC, 0xCCCCCCCC};
        // Word 0 is the host's; a text goes into the record's own buffer, from byte 12.
        EXPECT_EQ(
            (std::tuple{CallSlot<std::uint32_t>(object, Slot::GetClassID), WordAt(object, 4),
                        CallSlot<std::int32_t>(object, Slot::CopyToHostValue, static_cast<void*>(record)),
                        record[0], record[1], record[2], record[6], record[7]}),
            std::tuple(classID, word, 1, 0xCCCCCCCCu, word, isText ? Address(record + 3) : 0xCCCCCCCCu, 0u,
                       0u));
        EXPECT_TRUE(isText ? std::wcscmp(TextOf(record), text) == 0 : record[3] == 0xCCCCCCCC) << classID;
        // A copy is its own object, text included; other classes never equal, whatever their bits; -0 is +0.
        void* copy = CallSlot<void*>(object, Slot::CreateCopy);
        EXPECT_EQ(std::tuple(*static_cast<void**>(copy), Equal(copy, object), Equal(object, &zero)),
                  std::tuple(*reinterpret_cast<void**>(object), 1, classID == 0x464C4F54));
        const wchar_t *originalText = isText ? TextOf(object) : nullptr,
                      *copyText = isText ? TextOf(copy) : nullptr;
        CallSlot<void>(object, Slot::Delete);
        EXPECT_FALSE(IsLiveAllocation(object) || (originalText && IsLiveAllocation(originalText))) << classID;
        EXPECT_TRUE(!isText || (copyText != originalText && std::wcscmp(copyText, text) == 0));
        // The deleting destructor frees the object only with bit 0 of its flag, and never the text.
        EXPECT_EQ((std::tuple{CallSlot<void*>(copy, Slot::DeletingDestructor, 2u), IsLiveAllocation(copy),
                              CallSlot<void*>(copy, Slot::DeletingDestructor, 1u), IsLiveAllocation(copy)}),
                  std::tuple(copy, true, copy, false));
        EXPECT_TRUE(!copyText || IsLiveAllocation(copyText)) << classID;
        delete[] copyText;
    }
    // A NaN equals nothing, itself included; a text object without a text (as the host's may be) matches any.
    Prop_Float nan(NAN);
    Prop_WStr ab(L"ab"), abc(L"abc"), noText(L""), empty(nullptr);
    delete[] std::exchange(noText.Text, nullptr);
    Prop_SInt number(42);
    EXPECT_EQ(std::tuple(Equal(&nan, &nan), Equal(&abc, &noText), Equal(&ab, &abc), Equal(&abc, &ab),
                         std::wstring(TextOf(&empty)),
                         CallSlot<void*>(&number, Slot::SetByteFlag, std::uint8_t(255)), WordAt(&number, 4)),
              std::tuple(0, 1, 0, 0, std::wstring(), static_cast<void*>(&number), 42u));
    for (Prop_WStr* owned : {&ab, &abc, &empty})
        delete[] owned->Text;
}

TEST_F(Props, EachKindOfPropertyAsTheHostReadsIt)
{
    const std::wstring boxes = Use(R"([{"Title": "Version", "Info": "The version.", "Type": "Text",
        "DefaultState": "1"}, {"Title": "Gr\u00f6\u00dfe", "Type": "FOLDER"}, {"Title": "S", "Type":
        "Editbox String", "Password": true, "Case": "upper", "MaxLength": 4294967301, "Bold": true}, {"Title":
        "M", "Type": "editbox string multiline", "Case": "lower", "Password": false, "MaxLength": 80},
        {"Title": "N", "Info": 5, "Type": "Editbox Number", "CheckboxDefaultState": null, "Removable": true,
        "Renameable": true, "Moveable": true, "List": true, "SingleSelect": true, "Bold": "true", "Case":
        "Upper"}, {"Title": "R", "Type": "Edit spin", "Minimum": 2.9, "Maximum": -4294967297}, {"Title": "L",
        "Type": "Edit slider", "Minimum": "3"}, {"Title": "B", "Type": "Edit button", "DefaultState":
        "Press"}, {"Title": "B2", "Type": "Edit Button", "DefaultState": 3}, {"Title": "C", "Type":
        "Combo Box", "Items": ["One", "\u00e9", ""]}, {"Title": "Pick", "Type": "Combo Box Button"}, {"Title":
        "CI", "Type": "Combo Box Icons", "Items": ["A"]}, {"Title": "On", "Type": "checkbox", "Bold": true},
        {"Title": "E", "Type": "FolderEnd", "Bold": true}, {"Type": "folderend"}, {"Title": "Mine", "Info":
        "x", "Type": "custom thing", "Bold": true}, "Loose", {"Title": "Res", "Type": "!List button"},
        {"Title": "Typo", "Type": "Editbox Nmber"}, {"Title": "Open", "Type": "Folder"}, {"Title": "P", "Type":
        "Editbox String", "Case": "LOWER"}])");
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
              L"80000 Version/The version. 1001 x0; 80001 Gr\u00f6\u00dfe/ 1002 x0; 80002 S/ 1005 x50006 "
              L"= 5; 80003 M/ 1022 x4 = 80; 80004 N/ 1006 xf9; 80005 R/ 1012 x4 = 2,-1; 80006 L/ 1011 x4 "
              L"= 0,0; 80007 B/ 1004 x4 = Press; 80008 B2/ 1004 x0; 80009 C/ 1007 x4 = [One,\u00e9,,]; "
              L"8000a Pick/ 1020 x4 = []; 8000b CI/ 1024 x0; 8000c On/ 1010 x3; 7ffff -/- 3 x0; 7ffff "
              L"-/- 3 x0; 8000f -/- 42 x0; 80010 / 1001 x0; 80011 Res/ 1001 x0; 80012 Typo/ 1001 x0; "
              L"80013 Open/ 1002 x0; 80014 P/ 1005 x20000; 0 -/- 0 x0; ");
    EXPECT_EQ(
        boxes,
        L"W Polvane JSON property: Property \"M\" is set to \"Case\"=\"lower\", but that won't work with "
        L"property type Editbox String Multiline. ## W Polvane JSON property: Property \"M\" is set to "
        L"password mask, but that won't work with property type Editbox String Multiline. ## E Polvane "
        L"JSON property: No Items detected in combobox property Pick. ## E Polvane JSON property parser: "
        L"Too many FolderEnd properties! Extra one found at index 14. ## I Polvane JSON property parser: "
        L"Detected a custom property. ## E Polvane JSON property parser: Properties contains a string "
        L"\"Loose\" instead of an object. Multiple categories of properties not currently implemented. "
        L"(UK English) ## E Polvane JSON property parser: You have specified an invalid Parameter type "
        L"\"!List button\". These types are reserved. (UK English) ## E Polvane JSON property parser: "
        L"Property index 18 \"Typo\" has an unrecognised property type \"Editbox Nmber\" in the JSON "
        L"(under UK English language).\nCheck your spelling of the \"Type\" Parameter. ## E JSON "
        L"verification error: There was a Folder [Open] that does not have a FolderEnd property.");
    // The hashes leave out labels, folders and buttons; a refused type counts as the Text standing in for it.
    EXPECT_EQ(std::pair(FNV1a32(""), FNV1a32("name|5 | ")), std::pair(0x811C9DC5u, 0x93DA7347u));
    EXPECT_EQ(std::pair(sdk->PropertyTitlesHash, sdk->PropertyTypesHash),
              std::pair(FNV1a32("s|5 | m|22 | n|6 | r|12 | l|11 | c|7 | pick|20 | ci|24 | on|10 | mine|42 | "
                                "|1 | res|1 | typo|1 | p|5 | "),
                        FNV1a32("5|22|6|12|11|7|20|24|10|42|1|1|1|5|")));
}

// The block is found through the offset word, at 20 when missing or too high. A Text shows its default, a
// combo box its item's position. Entries are found by walking stored sizes: damage is reported, not read.
TEST_F(Props, ReadsByTypeAndThoseThatCannotBeAnswered)
{
    const std::wstring
        none = L"W Old Polvane props: No offset found. Falling back to default. Resetting properties "
               L"recommended.",
        shown[] = {L"", none, TooHigh, none + L" ## " + TooHigh};
    const std::uint32_t offsets[][4] = {{100, 0, 20, 1},  {100, 19, 20, 1}, {40, 20, 20, 0},
                                        {100, 80, 80, 0}, {100, 81, 20, 2}, {100, ~0u, 20, 2},
                                        {39, 0, 20, 3}};
    for (const auto& [total, offset, found, boxes] : offsets) {
        Bytes bytes(100);
        Put(Put(bytes, 0, total), 16, offset);
        const auto* block =
            reinterpret_cast<std::uint8_t*>(Polvane::GetPropertiesFromEditData(AsRecord(bytes)));
        EXPECT_EQ(std::pair(std::uint32_t(block - bytes.data()), Boxes()), std::pair(found, shown[boxes]))
            << offset;
    }
    std::wstring values;
    for (std::uint32_t index : {0u, 1u, 2u, 3u, 4u, 5u, 8u, 9u, 10u, 11u, ~0u})
        values += Get(index) + L"|";
    EXPECT_EQ(values, L"STRW:1.0 \u00e9|STRW:abc|INT :42|FLOT:1075838976|DWRD:1|null|STRW:Press|null|null|"
                      L"null|null|");
    // Entries by position: none past the count, nor for check boxes and types without a value.
    std::string entries;
    for (std::uint32_t i = 0; i <= BoxEnd + 1; ++i) {
        const Properties::Data* data =
            Polvane::GetPropertiesFromEditData(AsRecord(record))->Internal_DataAt(i);
        entries += (data ? data->ReadPropName() : "-") + ",";
    }
    EXPECT_EQ(entries, "-,Name,Count,Speed,Mode,-,Area,Pictures,-,-,-,-,");
    // A float whose entry holds fewer than its 4 bytes is damage.
    record = Sheet(Speed, "\x01");
    const std::wstring shortFloat = Get(Speed);
    EXPECT_EQ(std::pair(shortFloat, Boxes()),
              std::pair(L"null"s,
                        L"W Polvane property error: Warning: Returned null Data. Properties are corrupt; "
                        L"replace the existing Morvalex, by creating a new one and using \"Replace by "
                        L"another object\" in event editor."s));
    const std::tuple<Bytes, std::size_t, std::uint32_t, std::uint32_t> cases[] = {
        {Sheet(Name, "n\xC3\xA9\xE2\x82\xAC"), 0, 0, Name},
        {Sheet(), 8, 2, Name}, // versions
        {Sheet(), 8, 0, Name},
        {Sheet(), 16, 0, Name},                  // no offset word
        {Sheet(), 36, 0, Name},                  // no block size word
        {Sheet(), 0, 38, Name},                  // no room for the block
        {Sheet(Mode, "B"), 0, 0, Mode},          // not an item
        {Sheet(), 0, 0, Area},                   // a type the sheet does not read
        {Sheet(), 49, ~0u - 15, Count},          // an entry past the record
        {Sheet(Count, "\x01\x02"), 0, 0, Count}, // a value too small for its type
        {Sheet(), 0, 0, Name}};
    std::wstring read;
    for (auto [stored, at, word, index] : cases) {
        record = at || word ? Put(stored, at, word) : stored;
        const std::wstring value = Get(index);
        read += value + L" " + Boxes() + L"|";
    }
    Use(R"([{"Title": "Mode", "Type": "Combo Box Button", "Items": "a"}])");
    record = Stored(1, "\0"s + E(20, "Mode", "a"));
    const std::wstring value = Get(0);
    read += value + L" " + Boxes();
    EXPECT_EQ(
        read,
        L"STRW:n\u00e9\u20ac |null E Version upgrade failure: Extension version mismatch (MFA is 2, real ext "
        L"is 1). You should update the Morvalex extension immediately, WITHOUT saving the MFA first.|null E "
        L"Version upgrade failure: Extension version mismatch (MFA is 0, real ext is 1). Fusion should have "
        L"called UpdateEditStructure, but didn't.|null E No smart properties: MFA ext version 1 was saved "
        L"WITHOUT smart properties, but current extension has same version 1 WITH smart properties.\n\nDid "
        L"the extension developer upgrade the extension to smart properties without incrementing "
        L"Extension::Version?|null E Premature function call: GetProperty() called without "
        L"edPtr->Polvane::Properties being valid.|null E Premature function call: GetProperty() called "
        L"without edPtr->Polvane::Properties being valid.|null E Property error: GetProperty error: JSON "
        L"Items does not contain given value B (Combo Box property \"Mode\", ID 4, JSON language UK "
        L"English).|null E Property error: GetProperty error: JSON property type \"Size\" is "
        L"unexpected.|null W Polvane property error: Warning: Returned null Data. Properties are corrupt; "
        L"replace the existing Morvalex, by creating a new one and using \"Replace by another object\" in "
        L"event editor.|null W Polvane property error: Warning: Returned null Data. Properties are corrupt; "
        L"replace the existing Morvalex, by creating a new one and using \"Replace by another object\" in "
        L"event editor.|STRW:abc |null E Property error: GetProperty error: JSON Items not valid in Combo "
        L"Box property \"Mode\", ID 0, language UK English.");
    Use(R"({"Type": "Editbox Number"})");
    EXPECT_EQ(Polvane::GetPropertiesFromEditData(AsRecord(record = Sheet()))->Internal_DataAt(1), nullptr);
    EXPECT_EQ(Boxes(),
              L"E Premature function call: Internal_DataAt() called for prop ID 1 without Polvane_Props for "
              L"language UK English being valid.");
}

// Every export on every cut and damaged sheet stays inside it and the record the host resizes it to (an
// offset too high for the old one only included); a cut one reads what the whole one holds, or nothing.
TEST_F(Props, ExportsOnDamagedRecords)
{
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {5, 6};
    Sweep(Sheet(), [&](const Bytes& damaged, bool cut) {
        for (std::uint32_t index = 0; index <= BoxEnd; ++index) {
            const Fenced fenced(damaged);
            const std::wstring value = Get(index, fenced.Record());
            EXPECT_TRUE(!cut || value == L"null" || value == Get(index)) << damaged.size() << value;
            GetPropCheck(host.MV(), fenced.Record(), FirstID + index);
            SetPropCheck(host.MV(), fenced.Record(), FirstID + index, TRUE);
            EditProp(host.MV(), fenced.Record(), FirstID + index);
            HostValue text(0x53545257, std::wstring(23, L'x'));
            SetPropValue(host.MV(), fenced.Record(), FirstID + index, reinterpret_cast<Prop*>(&text));
        }
        recorder.boxes.clear();
    });
}

// Numbers are stored as their bytes (a float's as they are, a double's 8); a combo box stores its item's text
// and takes a text naming one; an id naming no property, or no object, changes nothing, the class read first.
TEST_F(Props, ValuesStoredByClassOrRefused)
{
    const double half = 0.5;
    std::uint32_t w[2];
    std::memcpy(w, &half, 8);
    const std::size_t room = 65535 - (Sheet().size() - 3);
    struct {
        HostValue value;
        std::uint32_t index;
        Bytes stored;
    } cases[] = {{{0x494E5420, {0xFFFFFFF9}}, Count, Sheet(Count, N(-7))},
                 {{0x464C4F54, {0x3FC00000}}, Count, Sheet(Count, ValueBytes(1.5f))},
                 {{0x53495A45, {5, 6, 1}}, Area, Sheet(Area, N(5) + N(6))},
                 {{0x494E5432, {9, 7, 8}}, Area, Sheet(Area, N(7) + N(8))},
                 {{0x44424C45, {9, w[0], w[1]}}, Count, Sheet(Count, ValueBytes(half))},
                 {{0x44575244, {2}}, Mode, Sheet(Mode, "")},
                 {{0x44575244, {0}}, Mode, Sheet(Mode, "a")},
                 {{0x53545241, {0, Address("ansi")}}, Name, Sheet(Name, "ansi")},
                 {{0x53545257, {0, 0}}, Name, Sheet(Name, "")}, // no text at all
                 {{0x53545257, L"n\u00e9\u20ac"}, Name, Sheet(Name, "n\xC3\xA9\xE2\x82\xAC")},
                 {{0x44415441, L"abcd"}, Name, Sheet(Name, "abcd")},
                 {{0x53545257, L"a"}, Mode, Sheet(Mode, "a")},
                 {{0x41424344, {1}}, ~0u, Sheet()},
                 {{0x41424344, {1}}, BoxEnd + 1, Sheet()},
                 {{0x44415441, L"12"}, Count, Sheet()},
                 {{0x41424344, L""}, Count, Sheet()},
                 {{0x53545257, L""}, Count, Sheet()},
                 {{0x53545257, L"2.0"}, Version, Sheet()},
                 {{0x53545257, L"A"}, Mode, Sheet()},
                 {{0x53545257, std::wstring(room + 1, L'x')}, Name, Sheet()}};
    std::wstring boxes;
    for (auto& [value, index, stored] : cases) {
        EXPECT_EQ(Set(index, std::move(value)), stored) << value.classID;
        boxes += Boxes() + L"|";
    }
    EXPECT_EQ(
        boxes,
        L"||||||||||||||E Polvane property error: Got Buff type for non-string property \"Count\".|I Custom "
        L"property: Assuming class ID 1094861636 is custom - but no custom code yet written.|E Polvane "
        L"property error: Property size of property Count (JSON type Editbox Number) is 0!|E Polvane "
        L"property error: Couldn't find property Version (JSON type Text), failed to edit it.|E Polvane "
        L"property error: Combo Box property \"Mode\" has no item \"A\"; the value was not stored.|E "
        L"Polvane property error: Need 65536 bytes, but EDITDATA can only store 65535 bytes!|");
    EXPECT_EQ(host.reallocRequests.size(), 6u); // values of the same size are written in place
    EXPECT_EQ(Set(Name, Text(std::wstring(room, L'x'))).size(), 65535u); // the most the host keeps
    SetPropValue(host.MV(), AsRecord(record), FirstID + Count, nullptr);
    EXPECT_EQ(record, Sheet());
    // Size words of nearly 4 GiB, from a damaged project: refused before anything is copied, not wrapped.
    const Bytes huge = Put(Put(record, 0, 0xFFFFFFFE), 36, 0xFFFFFFFE);
    EXPECT_EQ((std::pair{Set(Name, Text(L"abcde"), false), Boxes()}),
              std::pair(huge,
                        L"E Polvane property error: Need 4294967296 bytes, but EDITDATA can only store 65535 "
                        L"bytes!"s));
    host.reallocRefused = true;
    EXPECT_EQ((std::pair{Set(Name, Text(L"abcd")), Boxes()}),
              std::pair(Sheet(),
                        L"E Property Error: NULL returned from EDITDATA reallocation. Property changed "
                        L"cancelled."s));
    // A larger value goes to a record the host makes; a block size word other than the record's asks first.
    host.reallocRefused = false;
    EXPECT_EQ((std::pair{Set(Name, Text(L"abcd")), record}), std::pair(Sheet(Name, "abcd"), Sheet()));
    Put(record, 36, 0x7777);
    const Bytes asked = record;
    recorder.answer = IDNO;
    EXPECT_EQ(Set(Name, Text(L"abcd"), false), asked);
    recorder.answer = IDYES;
    EXPECT_EQ(Set(Name, Text(L"abcd"), false), Sheet(Name, "abcd"));
    const Host::FunctionCall& call = host.functionLog.back(); // the last, after Yes
    EXPECT_EQ(std::tuple(call.id, call.p1, call.p2, recorder.boxes.at(1).style & MB_TYPEMASK),
              std::tuple(5, std::int32_t(Address(record.data())), int(record.size()) + 1, UINT(MB_YESNO)));
    const std::wstring question =
        L"W Polvane property warning: Change to property \"Name\" (JSON type \"Editbox "
        L"String\") caused reserved size to be different to actual size. Press Yes to set it "
        L"to Fusion's size (may corrupt properties).\nPress No to cancel property change.";
    EXPECT_EQ(Boxes(), question + L" ## " + question);
}

// Check boxes are bits, any non-zero checks; a block stored for fewer properties has no bit for the others.
// An image's editor: its record as the host reads it (size, image, 0, options, width, height), what it
// stores; closed past the maximum count, or for no image list. Without a table the sheet still refreshes.
TEST_F(Props, CheckBoxesImageEditorsAndThePropertyTable)
{
    for (std::uint32_t index : {0u, 5u, 7u, 8u, 10u, 11u, ~0u - FirstID, 5u})
        SetPropCheck(host.MV(), AsRecord(record), FirstID + index, index == 5 && Check(5) ? FALSE : 2);
    Bytes expected = Sheet();
    expected[40] = 0x81, expected[41] = 0x05;
    EXPECT_EQ(std::tuple(Check(0), Check(5), record, Boxes()), std::tuple(TRUE, FALSE, expected, L""s));
    record = Stored(8, "\0"s + E(1, "", ""));
    SetPropCheck(host.MV(), AsRecord(record), FirstID + 8, TRUE);
    EXPECT_EQ((std::tuple{Check(8), record, Boxes()}),
              std::tuple(FALSE, Stored(8, "\0"s + E(1, "", "")),
                         L"E Polvane property error: Can't read property checkbox for property ID 8, the "
                         L"valid ID range is 0 to 8."s));
    Use(R"([{"Title": "Icon", "Type": "Image List", "ImageSize": [32, 16]}, {"Title": "Frames", "Type":
        "image list", "MaxNumImages": 3}, "N"])");
    const auto images = [](const std::string& icon) {
        return Stored(3, "\0"s + E(23, "Icon", icon) + E(23, "Frames", Pair(4, 1) + Pair(2, 3) + Pair(4, 0)) +
                             E(1, "N", ""));
    };
    record = images(Pair(2, 55) + "\x38\0"s);
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {77};
    std::wstring words = std::to_wstring(EditProp(host.MV(), AsRecord(record), FirstID)) + L":";
    for (int offset : {0, 8, 12, 16, 20})
        words += L" " + std::to_wstring(U32At(host.imageEditorRecords.back(), offset));
    const BOOL pastMaximum = EditProp(host.MV(), AsRecord(record), FirstID + 1),
               notImages = EditProp(host.MV(), AsRecord(record), FirstID + 2);
    sdk.reset();
    EXPECT_EQ(
        (std::tuple{words, BytesOf(host.lastReallocated), pastMaximum, notImages,
                    host.imageEditorRecords.size(), GetProperties(host.MV(), AsRecord(record), TRUE), Boxes(),
                    host.functionLog.back().id}),
        std::tuple(
            L"1: 24 55 16 32 16"s, images(Pair(1, 77)), FALSE, FALSE, std::size_t(1), TRUE,
            L"E Property error: Property ID 2 (N) is not correctly formatted. ## E Property error: Call to "
            L"DLL_GetProperties without valid EdittimeProperties."s,
            18));
}

// A new object takes every default, in a record of the size the host is told, a refused type as the Text for
// it; a property no reader gives a value gets a zero one, after the readers' and the upgrade's boxes.
TEST_F(Props, NewObjectsFromTheDefaults)
{
    const std::string title(300, 'L'), a4095(4095, 'a'), zero = N(0);
    std::string properties =
        R"([{"Type": "Folder", "Title": "Group"}, {"Type": "Editbox String", "Title": "Name", "DefaultState":
        "Bob", "Case": "Upper"}, {"Type": "Checkbox", "Title": "On", "DefaultState": true}, {"Type":
        "Editbox Number", "Title": "Count", "DefaultState": -2, "CheckboxDefaultState": true}, {"Type":
        "Combo Box", "Title": "Pick", "Items": ["a", "bc"], "DefaultState": "bc"}, {"Type": "Editbox Float",
        "Title": "F", "DefaultState": 0.5, "CheckboxDefaultState": false}, {"Type": "Image List", "Title":
        "Pics"}, {"Type": "FolderEnd"}, {"Type": "Edit button", "Title": "Go", "DefaultState": "Press"},
        {"Type": "Editbox Stringy", "Title": "Typo", "DefaultState": "abc"}, {"Type": "Editbox String",
        "Title": "L", "DefaultState": "aBc1", "Case": "LOWER"}, {"Type": "Editbox File", "Title": "None"},
        {"Type": "URL button", "Title": "Num", "DefaultState": 5}, {"Type": "Editbox String Multiline",
        "Title": "M", "DefaultState": "x\ny", "Case": "Upper"}, {"Type": "Combo Box Icons", "Title": "D",
        "Items": [], "DefaultState": "Second"}, {"Type": "Edit spin", "Title": "Min", "DefaultState":
        -2147483648}, {"Type": "Color", "Title": "Over", "DefaultState": 2147483648}, {"Type": "Edit slider",
        "Title": "Under", "DefaultState": -2147483649}, {"Type": "Edit direction", "Title": "Fraction",
        "DefaultState": 1.5}, {"Type": "Editbox Number", "DefaultState": "5"}, {"Type": "Edit spin float",
        "Title": "Exp", "DefaultState": 25e-1}, {"Type": "Editbox Float", "Title": "Whole", "DefaultState":
        5}, {"Type": "Size", "Title": "S", "DefaultState": [1, 2, 3]}, {"Type": "Image List", "Title": "J",
        "DefaultState": null}, {"Type": "Font", "Title": "Fn"}, {"Type": "Custom"}, {"Type": "!List button"},
        "a text", {"Type": "Editbox Folder", "Title": "A", "DefaultState": "$"}, {"Type": "Size", "Title":
        "$", "DefaultState": [4294967299, -1]}])";
    for (const std::string& text : {a4095, title}) // the longest default text, and a title cut to 254 bytes
        properties.replace(properties.find('$'), 1, text);
    Use(properties);
    const std::uint16_t size = GetEDITDATASizeFromJSON(); // told to the host
    const std::wstring unsized =
        L"E GetEDITDATASizeFromJSON failed: Calculation of edittime property size can't "
        L"understand property type \"";
    // A refused type is sized as the Text that stands in for it, and told as the other unknown types are.
    EXPECT_EQ(Boxes(), unsized + L"Editbox Stringy\". (UK English) ## " + unsized +
                           L"Font\". (UK English) ## " + unsized + L"Custom\". (UK English) ## " + unsized +
                           L"!List button\". (UK English) ## " + unsized + L"\". (UK English)");
    const Bytes made = Run(nullptr);
    EXPECT_EQ(
        std::pair(made.size(), made),
        std::pair(std::size_t(size),
                  New(0, 30,
                      "\x0C\0\0\0"s + E(2, "", "") + E(5, "Name", "BOB") + E(10, "On", "") +
                          E(6, "Count", N(-2)) + E(7, "Pick", "bc") + E(21, "F", ValueBytes(0.5f)) +
                          E(23, "Pics", "\0\0"s) + E(3, "", "") + E(4, "", "") + E(1, "", "") +
                          E(5, "L", "abc1") + E(16, "None", "") + E(25, "Num", "") + E(22, "M", "X\nY") +
                          E(24, "D", "Second") + E(12, "Min", N(INT32_MIN)) + E(9, "Over", zero) +
                          E(11, "Under", zero) + E(13, "Fraction", zero) + E(6, "", zero) +
                          E(27, "Exp", ValueBytes(2.5f)) + E(21, "Whole", zero) + E(8, "S", zero + zero) +
                          E(23, "J", "\0\0"s) + E(17, "Fn", "") + E(18, "", "") + E(1, "", "") +
                          E(1, "", "") + E(26, "A", a4095) + E(8, title.substr(0, 254), N(3) + N(-1)))));
    const std::wstring
        item = JSONFailure + L"JSON item ",
        none = L", language UK English has no default value.",
        range = L", language UK English has default value that can't be stored in 32-bit int (value is ";
    EXPECT_EQ(Boxes(), Failed(16, L"Over", item + L"Over, ID 16" + range + L"2147483648).") + L" ## " +
                           Failed(17, L"Under", item + L"Under, ID 17" + range + L"-2147483649).") + L" ## " +
                           Failed(18, L"Fraction", item + L"Fraction, ID 18" + none) + L" ## " +
                           Failed(19, L"", item + L"<missing title>, ID 19" + none) + L" ## " +
                           Failed(21, L"Whole", item + L"Whole, ID 21" + none) + L" ## " +
                           Failed(22, L"S",
                                  JSONFailure + L"Couldn't read default state for JSON item S, ID 22, "
                                                L"language UK English. Erroring.") +
                           L" ## " +
                           Failed(23, L"J",
                                  item + L"J, ID 23, language UK English has a default value, and shouldn't "
                                         L"have one.") +
                           L" ## " + Failed(24, L"Fn") + L" ## " + Failed(25, L"") + L" ## " +
                           Failed(27, L"",
                                  L"JSONPropertyReader converter encountered a failure: JSDNPropertyReader: "
                                  L"Index 27 is not a json_object (but within Properties array)") +
                           L" ## " + CheckFailed);
}

// The pre-smart reader asked at and past the closing descriptor, value bytes remaining, has no property.
// A smart block's property is found by old title or title (case ignored), its checkbox by the entry's place
// (or its own, with no value); only compatible types feed it, an integer into a float keeping its number.
TEST_F(Props, OldRecordsThroughTheReaders)
{
    Use(R"([{"Type": "Editbox String"}])");
    const Fenced preSmart(PreSmart("\0a\0b\0"s));
    Properties::ConverterState state(preSmart.Record(), nullptr, Polvane::CurLang()["Properties"]);
    Properties::PreSmartPropertyReader reader;
    std::string kinds; // F found, U unsuitable
    for (int step : {-1, 0, 1, 100, -1, 5}) {
        Return r;
        step < 0     ? reader.Initialize(state, &r)
        : step < 100 ? reader.GetProperty(step, &r)
                     : reader.GetPropertyCheckbox(1, &r);
        kinds += r.kind == Return::Found ? 'F' : r.kind == Return::ConverterUnsuitable ? 'U' : '?';
    }
    EXPECT_EQ(kinds, "FFUUFU");
    Use(R"([{"Type": "Editbox Number", "Title": "Velocity", "OldTitle": "speed"}, {"Type": "Editbox String",
            "Title": "name"}, {"Type": "Editbox String", "Title": "B", "OldTitle": "A"}, {"Type":
            "Editbox Number", "Title": "Int", "DefaultState": 9}, {"Type": "Editbox Float", "Title": "Float"},
            {"Type": "Spinner"}])");
    Bytes old = Old(7, "\x22" + E(6, "Other", N(1)) + E(6, "Speed", N(30)) + E(5, "NAME", "Bo") +
                           E(5, "B", "by title") + E(5, "A", "by old title") +
                           E(21, "Int", ValueBytes(1.5f)) + E(12, "float", N(-3)));
    EXPECT_EQ(
        (std::pair{Run(&old), Boxes()}),
        std::pair(
            New(0xCAFE, 6,
                "\x21" + E(6, "Velocity", N(30)) + E(5, "name", "Bo") + E(5, "B", "by old title") +
                    E(6, "Int", N(9)) + E(21, "Float", ValueBytes(-3.0f)) + E(1, "", ""),
                500),
            L"W Property conversion error: SmartPropertyReader converter encountered a failure: "
            L"SmartPropertyReader: failed to read Data for property 5. Type ID in JSON Spinner could not be "
            L"converted to ID.\n. Delegating. ## " +
                Reset(L"5", L"Int")));
}

// Which stored types feed a property through the smart reader: a single-line text any text but a URL, a
// multiline text and a URL only their own kind, combo boxes one another, the integer editors one another and
// the floats (as numbers); the rest only their own type.
TEST_F(Props, StoredTypesThatFeedAProperty)
{
    // Properties of a type, fed by entries of these stored types: as the same bytes (F), as a float number
    // (N), or not at all (P, passed).
    const std::tuple<const char*, std::vector<std::uint16_t>, const char*> cases[] = {
        {"Editbox String", {16, 19, 26, 22, 25, 7}, "FFFPPP"},
        {"Editbox String Multiline", {5, 22}, "FF"},
        {"Editbox Folder", {19}, "F"},
        {"URL button", {5, 25}, "PF"},
        {"Combo Box", {20, 24, 5}, "FFP"},
        {"Combo Box Icons", {7}, "F"},
        {"Edit slider", {6, 12, 9, 13, 21}, "FFPPP"},
        {"Editbox Number", {11, 8}, "FP"},
        {"Color", {6}, "P"},
        {"Edit spin float", {11, 21, 27}, "NFF"},
        {"Editbox Float", {6}, "N"}};
    std::string list, entries, taken;
    std::uint16_t count = 0;
    for (const auto& [type, storedIDs, answers] : cases) {
        for (std::uint16_t stored : storedIDs) {
            const std::string title = "T" + std::to_string(count);
            list += (count ? ", " : "[") + R"({"Type": ")"s + type + R"(", "Title": ")" + title +
                    R"(", "Items": ["v"]})";
            entries += E(stored, title, N(++count));
        }
        taken += answers;
    }
    Use(list + "]");
    const Fenced old(Old(count, std::string((count + 7) / 8, '\0') + entries));
    Properties::ConverterState state(old.Record(), Polvane::GetPropertiesFromEditData(old.Record()),
                                     Polvane::CurLang()["Properties"]);
    Properties::SmartPropertyReader reader;
    ASSERT_EQ(Ask(reader, state, {-1}), std::vector{Ready});
    for (std::uint16_t k = 0; k < count; ++k) {
        const Answer found{'F', taken[k] == 'N' ? ValueBytes(float(k + 1)) : N(k + 1), 0};
        EXPECT_EQ(Ask(reader, state, {k}), std::vector{taken[k] == 'P' ? Passed : found}) << k;
    }
}

// Pre-smart values by width: a text to its NUL, a size 8 bytes, a combo box's 4-byte item index (named by its
// item, an empty text past them; passed on without items, still stepped over), a checkbox none, and after the
// values only a checkbox whose bit lies in the record. Skipped values take the same widths.
TEST_F(Props, PreSmartValuesByWidth)
{
    const std::string ten = R"([{"Type": "Editbox String", "Title": "A"}, {"Type": "Size", "Title": "S"},
        {"Type": "Combo Box", "Title": "C", "Items": ["zero", "one", "two"]}, {"Type": "Combo Box Button",
        "Title": "D", "Items": ["x"]}, {"Type": "Combo Box", "Title": "E"}, {"Type": "Checkbox", "Title": "F"},
        {"Type": "Editbox Number", "Title": "N"}, {"Type": "Checkbox", "Title": "G"}, {"Type": "Checkbox",
        "Title": "H"}, {"Type": "Edit spin", "Title": "I"}])";
    // Bits of A, C, G and H set.
    const std::string values = "\x85\x01" + "ab\0"s + N(640) + N(480) + N(2) + N(7) + N(0) + N(-5);
    const Answer cleared{'f', "", 0}, checked{'f', "", 1}, ab{'F', "ab", 1}, two{'c', "two", 1},
        size{'F', N(640) + N(480), 0}, number{'F', N(-5), 0}, no = Unsuitable;
    const Bytes all = PreSmart(values), cut = PreSmart("\x07\0"s + "a\0"s + N(1) + N(2) + "\x01\x02\x03");
    const std::tuple<std::string, Bytes, std::vector<std::int64_t>, std::vector<Answer>> cases[] = {
        // Reading I ends the reader; the bits of the properties before it stay readable.
        {ten, all, {-1, 0, 2, 4, 5, 6, 7, 9, 9}, {Ready, ab, two, Passed, cleared, number, checked, no, no}},
        {ten, all, {-1, 8, 9, Checkbox(8), Checkbox(9)}, {Ready, checked, no, checked, no}},
        {ten, all, {-1, 1, 3, 8, Checkbox(9)}, {Ready, size, cleared, checked, cleared}},
        {ten, cut, {-1, 2, Checkbox(1), Checkbox(2)}, {Ready, no, checked, no}}, // an item index cut short
        // No checkbox byte in the record: not even a checkbox is answered.
        {R"([{"Type": "Checkbox"}])", PreSmart("", 20), {-1, 0, Checkbox(0)}, {Ready, no, no}},
        // A type without a value held nothing: passed on, and stepped over without moving.
        {R"([{"Type": "Editbox Number", "Title": "N"}, {"Type": "Text", "Title": "T"}, {"Type": "Edit spin",
            "Title": "I"}])",
         PreSmart("\0"s + N(3) + N(-5)),
         {-1, 1, 2},
         {Ready, Passed, number}},
        {R"([{"Type": "Text", "Title": "T"}, {"Type": "Edit spin", "Title": "I"}])",
         PreSmart("\0"s + N(-5)),
         {-1, 1},
         {Ready, number}}};
    for (const auto& c : cases) {
        const auto& [properties, record, script, answers] = c;
        Use(properties);
        const Fenced fenced(record);
        Properties::ConverterState state(fenced.Record(), nullptr, Polvane::CurLang()["Properties"]);
        Properties::PreSmartPropertyReader reader;
        EXPECT_EQ(Ask(reader, state, script), answers) << &c - cases;
    }
}

// The definition's defaults asked directly: a combo box's is its item text, inside the definition, and
// needs items and fewer than 4096 bytes; past the Properties array, or without one, there is no item. An
// answer with an invalid checkbox state is told in a box; error texts are cut to 2047 characters.
TEST_F(Props, DefaultsAskedOfTheDefinition)
{
    const std::string long4096(4096, 'c');
    Use(R"([{"Type": "Combo Box", "Title": "Pick", "Items": ["a", "bc"], "DefaultState": "bc"}, {"Type":
        "Combo Box Button", "Title": "Loose", "DefaultState": "x"}, {"Type": "Combo Box Icons", "Title": "Long",
        "Items": [], "DefaultState": ")" +
        long4096 + R"("}])");
    // A value's error, and a checkbox's, which ends with a full stop and a line feed.
    const auto none = [](const std::string& items, const char* ending = "") {
        return Answer{
            'E', "JSONPropertyReader: no JSON item for property " + items + " items are stored" + ending, -1};
    };
    Properties::ConverterState state(nullptr, nullptr, Polvane::CurLang()["Properties"]);
    Properties::JSONPropertyReader reader;
    EXPECT_EQ(Ask(reader, state, {-1, 0, 1, 2, 3, Checkbox(3), Checkbox(0xFFFFFFFF)}),
              (std::vector{Ready, Answer{'F', "bc", -1}, Passed, Unsuitable, none("3, only 3"),
                           none("3, only 3", ".\n"), none("4294967295, only 3", ".\n")}));
    EXPECT_EQ(std::pair(state.numPropsReset, state.resetPropertiesStream.str()),
              std::pair(1u, "\xE2\x80\xA2 Pick\n"s));
    sdk.reset();
    sdk.reset(InProcess::BuildState(R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {}})"));
    Properties::ConverterState absent(nullptr, nullptr, Polvane::CurLang()["Properties"]);
    EXPECT_EQ(Ask(reader, absent, {-1, 0}), (std::vector{Ready, none("0, only 0")}));
    Return odd, cut;
    odd.Return_OK("x", 1, nullptr, 2);
    cut.Return_Error(L"%s!", std::wstring(2047, L'b').c_str());
    EXPECT_EQ((std::tuple{Answered(odd), Answered(cut), Boxes()}),
              std::tuple(Answer{'F', "x", 2}, Answer{'E', std::string(2047, 'b'), -1},
                         L"E Checkbox error: Checkbox state of 2 is invalid."s));
}

// At most 1000 properties; nothing built once the last reader left the chain; a default value and checkbox
// listed once; of a record cut short, the defaults missing, and checkboxes from a reader that left the chain.
TEST_F(Props, RecordsBuiltByTheReadersAndTheirBoxes)
{
    std::string thousand = "[", texts(125, '\0');
    for (int i = 0; i < 1000; ++i) {
        thousand += (i ? "," : "") + R"({"Type": "Text"})"s;
        texts += E(1, "", "");
    }
    const std::tuple<Bytes, Bytes, std::string> cases[] = {
        {{}, New(0, 1000, texts), thousand + "]"},
        {{}, {}, thousand + R"(, {"Type": "Text"}])"},
        {{},
         {},
         R"([{"Type": "Editbox String", "Title": "A", "DefaultState": ")" + std::string(4096, 'a') + "\"}, " +
             NameDef + "]"},
        {{},
         New(0, 3, "\x04" + E(5, "A", "") + E(10, "B", "") + E(5, "C", "")),
         R"([{"Type": "Editbox String", "Title": "A", "CheckboxDefaultState": 1}, {"Type": "Checkbox",
            "Title": "B"}, {"Type": "Editbox String", "Title": "C", "CheckboxDefaultState": true}])"},
        {Old(1, "\0"s + E(5, "Name", "old")),
         New(0xCAFE, 3, "\x06" + E(5, "Name", "old") + E(6, "Count", N(3)) + E(10, "Grand\xC3\xA9", ""), 500),
         "[" + NameDef + ", " + CountDef + R"(, "CheckboxDefaultState": true}, {"Type": "Checkbox", "Title":
            "Grand\u00e9", "DefaultState": true}])"},
        {PreSmart("\x01\x01\x02"), New(0, 2, "\x01" + E(1, "", "") + E(6, "Count", N(3))),
         R"([{"Type": "Text", "Title": "A", "CheckboxDefaultState": false}, )" + CountDef + "}]"}};
    std::wstring boxes;
    for (const auto& [old, expected, properties] : cases) {
        Use(properties);
        host.MV()->word34 += 1; // the box of a once-only setting shows again
        Bytes copy = old;
        const Bytes made = Run(old.empty() ? nullptr : &copy);
        EXPECT_EQ(made, expected) << properties.substr(0, 100);
        EXPECT_TRUE(!old.empty() || made.empty() || made.size() == GetEDITDATASizeFromJSON());
        boxes += Boxes() + L" | ";
    }
    EXPECT_EQ(
        boxes,
        L" | " + NotArray +
            L" ## E Property conversion error: All Morvalex property readers have failed. "
            L"Your property data is corrupt beyond recovery or reset. Please re-add the object to frame. | " +
            Failed(0, L"A") + L" | " + CheckFailed + L" ## " + CheckFailed +
            L" | I Upgraded properties: Successfully copied 1 of Morvalex object properties from ext "
            L"version 0 to 1.\n\nAlso set 2 properties to their default settings, namely:\n\u2022 "
            L"Count\n\u2022 Grand\u00e9 | " +
            Reset(L"1", L"Count") + L" | ");
    // Loading quietly, the upgrade's own failures are told apart and no property's failure is shown.
    Use(R"({"Type": "Editbox String"})"), Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    EXPECT_EQ(
        (std::pair{Run(nullptr), Boxes()}),
        std::pair(Bytes(), NotArray +
                               L" ## E Property reading error: Setting up Morvalex object properties from "
                               L"JSON failed."));
}

// Damaged records: nothing outside one is read, and what cannot be read takes its default.
TEST_F(Props, UpgradeOfDamagedRecords)
{
    Use("[" + NameDef + ", " + CountDef + R"(, "CheckboxDefaultState": false}])");
    const auto sweep = [&](const Bytes& whole) { // the records built from cuts
        std::set<Bytes> built;
        Sweep(whole, [&](Bytes record, bool cut) {
            const Bytes made = Run(&record);
            if (cut)
                built.insert(made);
            recorder.boxes.clear();
        });
        return built;
    };
    const auto upgraded = [&](std::uint32_t id, std::uint32_t maximum, char checked, const char* name,
                              int count) {
        return New(id, 2, std::string(1, checked) + E(5, "Name", name) + E(6, "Count", N(count)), maximum);
    };
    EXPECT_EQ(sweep(Old(2, "\x02" + E(5, "Name", "old") + E(6, "Count", N(8)))),
              (std::set<Bytes>{upgraded(0xCAFE, 500, 0, "new", 3), upgraded(0xCAFE, 500, 2, "old", 8)}));
    EXPECT_EQ(sweep(PreSmart("\x02" + "old\0"s + N(8))),
              (std::set<Bytes>{upgraded(0, 0, 0, "new", 3), upgraded(0, 0, 0, "old", 3),
                               upgraded(0, 0, 2, "old", 8)}));
}

// A new object's record is at most 65535 bytes: 40 + 3 checkbox bytes + 17 entries of 8 bytes + texts in
// pieces the definition reader takes. The host's record of another size is resized to the one built.
TEST_F(Props, NewObjectsUpTo65535BytesInTheHostsRecord)
{
    const std::wstring big =
        L"E Properties too big: New EDITDATA was too big to store all the initial properties; "
        L"needed 65536 bytes, but 65535 is the maximum possible.";
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
    Use("[" + NameDef + "]");
    Bytes built = New(7, 1, "\0"s + E(5, "Name", "new")); // as the host keeps it, with its hashes
    Put(Put(built, 24, ~sdk->PropertyTitlesHash), 28, ~sdk->PropertyTypesHash);
    EXPECT_EQ(
        (std::tuple{Polvane::DLL_CreateObject(host.MV(), 0, AsRecord(edPtr)), BytesOf(host.lastReallocated)}),
        std::tuple(0, built));
    host.reallocRefused = true;
    const std::wstring mismatch =
        L"E EDITDATA size mismatch: Fusion provided an EDITDATA of 64 bytes, but "
        L"GetEDITDATASizeFromJSON calculation was 55 bytes expected.\nThis is a Polvane bug!";
    EXPECT_EQ((std::tuple{Polvane::DLL_CreateObject(host.MV(), 0, AsRecord(edPtr)), edPtr, Boxes()}),
              std::tuple(-1, before,
                         mismatch + L" ## " + mismatch +
                             L" ## E Initialisation failure: Initialising extension failed: error 12."));
}

// The current version is kept whatever it holds, a later one asks; the box names the object as the host
// does. A block for the same list, entry for entry, is kept or moved to 20; one from before a Text was added
// still matches the titles hash, but its entries no longer line up: it is converted, not kept.
TEST_F(Props, VersionsRecordsOfTheSameListAndTheObjectsName)
{
    Use("[" + NameDef + "]");
    const std::string entry = "\0"s + E(5, "Name", "kept");
    Bytes current = Ended(HeaderBytes(24, 1, 0, 0) + N(-1)), before = current;
    EXPECT_EQ((std::pair{Run(&current), current}), std::pair(Bytes(), before));
    const std::tuple<int, std::uint32_t, Bytes> answers[] = {
        {IDNO, 1, Bytes()}, {IDCANCEL, 2, Bytes()}, {IDYES, 2, New(0xCAFE, 1, entry, 500)}};
    for (const auto& [answer, version, upgraded] : answers) {
        Bytes old = Old(1, entry, 2);
        recorder.answer = answer;
        EXPECT_EQ(
            (std::tuple{Run(&old), UINT(recorder.boxes.at(0).style), AsRecord(old)->eHeader.extVersion,
                        Boxes()}),
            std::tuple(
                upgraded, UINT(MB_ICONWARNING | MB_YESNOCANCEL | MB_TASKMODAL | MB_SETFOREGROUND), version,
                L"W Property update warning: UpdateEditStructure has current version 1 and MFA has a version "
                L"of 2. Select an action to take:\nYes = run updater.\nNo = set the EDITDATA's version "
                L"number to earlier version 1.\nCancel = make no changes and ignore the difference."s));
    }
    host.objectName = L"Gadget"; // without a name the box names the product, as elsewhere
    host.MV()->word34 = 1;       // a new key: the once-only box shows again
    Bytes empty = Old(0, "");
    EXPECT_EQ((std::tuple{Run(&empty).size(), Boxes(), host.ReleasedValues()}),
              std::tuple(std::size_t(55), Reset(L"0", L"Name", L"Gadget (Morvalex)"), 1));
    const std::string block = BlockBytes(1, ~sdk->PropertyTitlesHash, 5) + entry;
    Bytes same = Ended(HeaderBytes(60, 0, 7, 20) + block),
          moved = Ended(HeaderBytes(900, 0, 7, 28) + "12345678" + block);
    EXPECT_EQ((std::tuple{Run(&same), same[8], Run(&moved)}),
              std::tuple(Bytes(), 1, Ended(HeaderBytes(900, 1, 7, 20) + block)));
    Use(R"([{"Title": "Heading", "Type": "Text"}, {"Title": "A", "Type": "Editbox String"}, {"Title": "B",
        "Type": "Editbox String"}])");
    const std::string entries = E(5, "A", "first") + E(5, "B", "second");
    Bytes old = Ended(HeaderBytes(0, 0, 7, 20) +
                      BlockBytes(2, ~sdk->PropertyTitlesHash, ~sdk->PropertyTypesHash) + "\x02" + entries);
    EXPECT_EQ((std::pair{Run(&old), Boxes()}), std::pair(New(7, 3, "\x04" + E(1, "", "") + entries), L""s));
    // The same count and hashes, but the Text stored in another place, or the last entry running past the
    // record: converted too, the values found by title or, in a block that cannot be read, the defaults.
    const std::string text = E(1, "", ""), b = E(5, "B", "second");
    const std::pair<std::string, std::string> unaligned[] = {
        {E(5, "A", "first") + text + b, text + entries},
        {text + E(5, "A", "first") + b.substr(0, 3) + "\x7F" + b.substr(4),
         text + E(5, "A", "") + E(5, "B", "")}};
    for (const auto& [stored, converted] : unaligned) {
        host.MV()->word34 += 1;
        old = Ended(HeaderBytes(0, 0, 7, 20) +
                    BlockBytes(3, ~sdk->PropertyTitlesHash, ~sdk->PropertyTypesHash) + "\0"s + stored);
        EXPECT_EQ(Run(&old), New(7, 3, "\0"s + converted));
    }
    EXPECT_EQ(
        Boxes(),
        L"I Upgraded properties: Successfully copied 1 of Gadget (Morvalex) object properties from ext "
        L"version 0 to 1.\n\nAlso set 2 properties to their default settings, namely:\n\u2022 A\n\u2022 B");
}

// The box after each upgrade of a script by setting (R a reset, A all copied; ! first: not understood), under
// the mV word the once-only settings remember. Settings are read once per process: one case a process.
using SettingCase = std::tuple<const char*, const char*, const char*>; // name, setting (null: none), shown

struct UpgradeBox : Props, testing::WithParamInterface<SettingCase> {};

TEST_P(UpgradeBox, ShownAsTheSettingSays)
{
    const auto [name, value, shown] = GetParam();
    if (value != nullptr)
        tree.Write(L"Extensions\\Polvane.ini", "Other=1\r\nSmartPropertiesUpgradeBox="s + value + "\r\n");
    Use("[" + NameDef + ", " + CountDef + "}]");
    const std::wstring setting =
        shown[0] != '!' ? L""
                        : L"E Polvane INI error: Couldn't understand \"SmartPropertiesUpgradeBox\" "
                          L"setting of \"Always\". Valid values are \"always\", \"always, "
                          L"once\", \"for reset only\", \"for reset only, once\", and \"never\".";
    const std::pair<bool, std::uint32_t> script[] = {{true, 0}, {true, 0}, {false, 0}, {false, 5}, {true, 9}};
    for (int s = 0; s < 5; ++s) {
        Bytes old = Old(script[s].first ? 1 : 2,
                        "\0"s + E(5, "Name", "old") + (script[s].first ? "" : E(6, "Count", N(8))));
        host.MV()->word34 = script[s].second;
        ASSERT_FALSE(Run(&old).empty());
        const char box = shown[s + (setting.empty() ? 0 : 1)];
        const std::wstring shownBox = box == 'R' ? Reset(L"1", L"Count")
                                      : box == 'A'
                                          ? L"I Upgraded properties: Successfully upgraded all 2 of Morvalex "
                                            L"object properties from ext version 0 to version 1."
                                          : L"";
        EXPECT_EQ(Boxes(), setting + (setting.empty() || shownBox.empty() ? L"" : L" ## ") + shownBox) << s;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, UpgradeBox,
                         testing::Values(SettingCase{"Absent", nullptr, "R---R"},
                                         SettingCase{"Always", "always", "RRAAR"},
                                         SettingCase{"AlwaysOnce", "always, once", "R--AR"},
                                         SettingCase{"ForResetOnly", "for reset only", "RR--R"},
                                         SettingCase{"Never", "never", "-----"},
                                         SettingCase{"CaseMatters", "Always", "!R---R"}),
                         [](const auto& info) { return std::string(std::get<0>(info.param)); });
