// The property readers on their own: the answer records, the pre-smart and smart readers on stored
// records (damaged ones included, with bytes after the record's end that a stray read would take), and
// the defaults of the definition.
#include "InProcess.h"
#include "RecordBytes.h"

#include "Lib/Shared/Polvane/PropertyReaders.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;
using Polvane::Properties;
using ConverterReturn = Properties::ConverterReturn;
using TestHost::RecordBytes;
using TestHost::ValueBytes;

namespace {

// An empty properties text leaves Properties out.
std::string Definition(const std::string& properties)
{
    return R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {)" +
           (properties.empty() ? "" : R"("Properties": )" + properties) + "}}";
}

std::string ValueOf(const ConverterReturn& result)
{
    return result.data == nullptr ? std::string()
                                  : std::string(static_cast<const char*>(result.data), result.dataSize);
}

std::wstring ErrorOf(const ConverterReturn& result)
{
    return result.kind == ConverterReturn::Error ? static_cast<const wchar_t*>(result.data)
                                                 : L"(not an error)";
}

// The state object for a list of properties, every box recorded.
class ReaderTest : public testing::Test {
protected:
    void Use(const std::string& properties)
    {
        sdk.reset();
        sdk.reset(InProcess::BuildState(Definition(properties)));
        boxes.clear();
    }
    const json_value& Props() { return Polvane::CurLang()["Properties"]; }

    InProcess::RunningAs builtApplication{Polvane::MFXRunMode::BuiltEXE};
    InProcess::BoxRecorder recorder;
    std::vector<TestHost::RecordedBox>& boxes = recorder.boxes;
    std::unique_ptr<Tovik::SDK> sdk;
};

// One reader asked as the upgrade asks it.
template <typename Reader> class OneReaderTest : public ReaderTest {
protected:
    // Initializes the reader for an upgrade of that old record and block; gives the answer's kind and
    // keeps an error's text.
    int Initialize(EDITDATA* oldEdPtr, Properties* oldEdPtrProps)
    {
        state = std::make_unique<Properties::ConverterState>(oldEdPtr, oldEdPtrProps, Props());
        ConverterReturn result;
        reader.Initialize(*state, &result);
        lastError = ErrorOf(result);
        return result.kind;
    }
    ConverterReturn Get(std::uint32_t i)
    {
        ConverterReturn result;
        reader.GetProperty(i, &result);
        return result;
    }
    ConverterReturn Checkbox(std::uint32_t i)
    {
        ConverterReturn result;
        reader.GetPropertyCheckbox(i, &result);
        return result;
    }

    Reader reader;
    std::unique_ptr<Properties::ConverterState> state;
    std::wstring lastError;
};

} // namespace

TEST_F(ReaderTest, ANewAnswerHasNothingYet)
{
    const ConverterReturn result;
    EXPECT_EQ(result.kind, ConverterReturn::None);
    EXPECT_EQ(result.data, nullptr);
    EXPECT_EQ(result.dataSize, 0u);
    EXPECT_EQ(result.checkboxState, -1);
    EXPECT_EQ(result.freeData, nullptr);
}

TEST_F(ReaderTest, FoundAnswerKeepsAnyCheckboxStateButReportsInvalidOnes)
{
    static const char value[] = "abc";
    const auto freeNothing = [](const void*) {};
    for (int state : {-1, 0, 1, 2, -2}) {
        boxes.clear();
        ConverterReturn result;
        EXPECT_EQ(result.Return_OK(value, 3, freeNothing, state), &result);
        EXPECT_EQ(result.kind, ConverterReturn::Found) << state;
        EXPECT_EQ(result.data, value) << state;
        EXPECT_EQ(result.dataSize, 3u) << state;
        EXPECT_EQ(result.freeData, +freeNothing) << state;
        EXPECT_EQ(result.checkboxState, state);
        if (state >= -1 && state <= 1) {
            EXPECT_TRUE(boxes.empty()) << state;
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u) << state;
        EXPECT_EQ(boxes[0].title, L"Checkbox error - Morvalex");
        EXPECT_EQ(boxes[0].text, L"Checkbox state of " + std::to_wstring(state) + L" is invalid.");
        EXPECT_EQ(boxes[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    }
}

TEST_F(ReaderTest, PassAndUnsuitableChangeOnlyTheKind)
{
    static const char value[] = "x";
    ConverterReturn result;
    result.Return_OK(value, 1, nullptr, 1);
    EXPECT_EQ(result.Return_Pass(), &result);
    EXPECT_EQ(result.kind, ConverterReturn::Pass);
    EXPECT_EQ(result.data, value);
    EXPECT_EQ(result.checkboxState, 1);
    EXPECT_EQ(result.Return_ConverterUnsuitable(), &result);
    EXPECT_EQ(result.kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_EQ(result.data, value);
}

TEST_F(ReaderTest, ErrorTextsShareOneBufferAndAreCutTo2047Characters)
{
    ConverterReturn first;
    ConverterReturn second;
    EXPECT_EQ(first.Return_Error(L"%s failed for %zu and %hs", L"wide", std::size_t(7), "narrow"), &first);
    EXPECT_EQ(first.kind, ConverterReturn::Error);
    EXPECT_EQ(ErrorOf(first), L"wide failed for 7 and narrow");
    second.Return_Error(L"next");
    EXPECT_EQ(first.data, second.data);
    EXPECT_EQ(ErrorOf(first), L"next");

    const std::wstring fits(2047, L'a');
    second.Return_Error(L"%s", fits.c_str());
    EXPECT_EQ(ErrorOf(second), fits);
    const std::wstring tooLong = std::wstring(2047, L'b') + L"cd";
    second.Return_Error(L"%s", tooLong.c_str());
    EXPECT_EQ(ErrorOf(second), std::wstring(2047, L'b'));
}

TEST_F(ReaderTest, PropertyTypeIdsComeFromTheHostTypeWords)
{
    Use(R"([{"Type": "Custom"}, {"Type": "Editbox Number", "Title": "N"}, {"Type": "Folder", "Title": "F"},
            {"Type": "FolderEnd"}, {"Type": "Custom"}, {"Type": "!Start item"}])");
    // A custom property at position 0 has the word 27, which is not Edit spin float.
    EXPECT_EQ(Polvane::PropTypeIDOf(0), Polvane::PropTypeID::Custom);
    EXPECT_EQ(Polvane::PropTypeIDOf(1), Polvane::PropTypeID::EditboxNumber);
    EXPECT_EQ(Polvane::PropTypeIDOf(2), Polvane::PropTypeID::Folder);
    EXPECT_EQ(Polvane::PropTypeIDOf(3), Polvane::PropTypeID::FolderEnd);
    EXPECT_EQ(Polvane::PropTypeIDOf(4), Polvane::PropTypeID::Custom);
    EXPECT_EQ(Polvane::PropTypeIDOf(5), Polvane::PropTypeID::Text); // a refused element stands as Text
    EXPECT_EQ(Polvane::PropTypeIDOf(6), Polvane::PropTypeID::StartItem);
    EXPECT_EQ(Polvane::PropTypeIDOf(0xFFFFFFFF), Polvane::PropTypeID::StartItem);
}

// Pre-smart records: header with offset word 0, size word, checkbox bytes, packed values.
namespace {

RecordBytes PreSmart(std::int32_t sizeWord, const std::vector<std::uint8_t>& checkboxBytes,
                     const std::string& values)
{
    RecordBytes record;
    record.Header(0, 0, 0, 0).U32(static_cast<std::uint32_t>(sizeWord));
    for (std::uint8_t byte : checkboxBytes)
        record.U8(byte);
    record.Text(values);
    return record;
}

// A pre-smart record whose size word ends its values, then bytes outside the record that a read past
// its end would find: a NUL and numbers.
RecordBytes PreSmartWithGuard(const std::vector<std::uint8_t>& checkboxBytes, const std::string& values)
{
    RecordBytes record =
        PreSmart(static_cast<std::int32_t>(24 + checkboxBytes.size() + values.size()), checkboxBytes, values);
    record.End().Text("\0\x11\x22\x33\x44\x55\x66\x77\x88"s);
    return record;
}

class PreSmartTest : public OneReaderTest<Properties::PreSmartPropertyReader> {
protected:
    int Start(RecordBytes& record) { return Initialize(record.Record(), nullptr); }
};

} // namespace

TEST_F(PreSmartTest, RefusesRecordsThatAreNotPreSmartOrTooShort)
{
    Use(R"([{"Type": "Checkbox", "Title": "C"}])");
    const struct {
        const char* label;
        std::int32_t sizeWord;
        std::uint32_t offsetWord;
        std::size_t cut; // bytes left off the end of the 25-byte record
        int kind;
    } cases[] = {
        {"size word 20", 20, 0, 0, ConverterReturn::Found},
        {"size word 19", 19, 0, 0, ConverterReturn::ConverterUnsuitable},
        {"negative size word", -1, 0, 0, ConverterReturn::ConverterUnsuitable},
        {"smart record", 25, 20, 0, ConverterReturn::ConverterUnsuitable},
        {"no room for the size word", 25, 0, 2, ConverterReturn::ConverterUnsuitable},
        {"size word, no checkbox byte", 24, 0, 1, ConverterReturn::Found},
    };
    for (const auto& c : cases) {
        RecordBytes record = PreSmart(c.sizeWord, {0x01}, "");
        record.Put(16, c.offsetWord);
        record.bytes.resize(record.bytes.size() - c.cut);
        record.End().Text("\xFF\xFF\xFF\xFF");
        EXPECT_EQ(Start(record), c.kind) << c.label;
        if (c.kind != ConverterReturn::Found) {
            EXPECT_EQ(Get(0).kind, ConverterReturn::ConverterUnsuitable) << c.label;
        }
    }

    ConverterReturn result;
    Properties::ConverterState noRecord(nullptr, nullptr, Props());
    reader.Initialize(noRecord, &result);
    EXPECT_EQ(result.kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(PreSmartTest, WithoutValueBytesOnlyACheckboxIsAnswered)
{
    Use(R"([{"Type": "Checkbox", "Title": "C"}, {"Type": "Editbox Number", "Title": "N"}])");
    RecordBytes record = PreSmart(20, {0x03}, "");
    record.End();
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    const ConverterReturn checkbox = Get(0);
    EXPECT_EQ(checkbox.kind, ConverterReturn::Found);
    EXPECT_EQ(checkbox.data, nullptr);
    EXPECT_EQ(checkbox.checkboxState, 1);
    EXPECT_EQ(Get(1).kind, ConverterReturn::ConverterUnsuitable);
    // The failed read leaves only the bits of the properties before it readable.
    EXPECT_EQ(Checkbox(0).checkboxState, 1);
    EXPECT_EQ(Checkbox(1).kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_EQ(Get(1).kind, ConverterReturn::ConverterUnsuitable);
}

TEST_F(PreSmartTest, TextsAreReadUpToTheirNul)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}, {"Type": "Editbox File", "Title": "B"},
            {"Type": "Editbox String", "Title": "C"}, {"Type": "URL button", "Title": "D"}])");
    RecordBytes record = PreSmartWithGuard({0x0A}, "ab\0c\0\0xyz\0"s);
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    const ConverterReturn first = Get(0);
    EXPECT_EQ(first.kind, ConverterReturn::Found);
    EXPECT_EQ(ValueOf(first), "ab");
    EXPECT_EQ(first.data, record.bytes.data() + 25); // the old record's own bytes
    EXPECT_EQ(first.freeData, nullptr);
    EXPECT_EQ(first.checkboxState, 0);
    const ConverterReturn second = Get(1);
    EXPECT_EQ(ValueOf(second), "c");
    EXPECT_EQ(second.dataSize, 1u);
    EXPECT_EQ(second.checkboxState, 1);
    const ConverterReturn empty = Get(2);
    EXPECT_EQ(empty.kind, ConverterReturn::Found);
    EXPECT_EQ(empty.data, nullptr);
    EXPECT_EQ(empty.dataSize, 0u);
    EXPECT_EQ(ValueOf(Get(3)), "xyz");
}

TEST_F(PreSmartTest, PropertiesBeforeTheOneAskedForAreSkipped)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}, {"Type": "Size", "Title": "S"},
            {"Type": "Color", "Title": "C"}, {"Type": "Edit spin float", "Title": "F"}])");
    RecordBytes record = PreSmartWithGuard({0x08}, "skip me\0"s + ValueBytes(1) + ValueBytes(2) +
                                                       ValueBytes(3) + ValueBytes(4.5f));
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    const ConverterReturn color = Get(2);
    EXPECT_EQ(color.kind, ConverterReturn::Found);
    EXPECT_EQ(ValueOf(color), ValueBytes(3));
    EXPECT_EQ(color.checkboxState, 0);
    const ConverterReturn spin = Get(3);
    EXPECT_EQ(ValueOf(spin), ValueBytes(4.5f));
    EXPECT_EQ(spin.checkboxState, 1);
}

TEST_F(PreSmartTest, NumbersAndSizesTakeTheirWidth)
{
    Use(R"([{"Type": "Editbox Number", "Title": "N"}, {"Type": "Size", "Title": "S"},
            {"Type": "Edit direction", "Title": "D"}])");
    RecordBytes record =
        PreSmartWithGuard({0x00}, ValueBytes(-5) + ValueBytes(640) + ValueBytes(480) + ValueBytes(7));
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(0)), ValueBytes(-5));
    EXPECT_EQ(ValueOf(Get(1)), ValueBytes(640) + ValueBytes(480));
    EXPECT_EQ(ValueOf(Get(2)), ValueBytes(7));
}

TEST_F(PreSmartTest, ANumberCutShortEndsTheReader)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}, {"Type": "Editbox Number", "Title": "N"},
            {"Type": "Editbox Number", "Title": "M"}])");
    // Three bytes of the number are in the record; the fourth, outside it, must not be taken.
    RecordBytes record = PreSmartWithGuard({0x07}, "a\0\x01\x02\x03"s);
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(0)), "a");
    EXPECT_EQ(Get(1).kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_EQ(Get(2).kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_EQ(Checkbox(0).checkboxState, 1);
    EXPECT_EQ(Checkbox(1).kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_EQ(Checkbox(2).kind, ConverterReturn::ConverterUnsuitable);
}

TEST_F(PreSmartTest, AMissingNulInsideTheRecordEndsTheReader)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}])");
    RecordBytes record = PreSmartWithGuard({0x01}, "abc");
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(Get(0).kind, ConverterReturn::ConverterUnsuitable);
    // Property 0 was never read: no checkbox bit is trusted.
    EXPECT_EQ(Checkbox(0).kind, ConverterReturn::ConverterUnsuitable);
}

TEST_F(PreSmartTest, ASizeWordPastTheRecordReadsOnlyTheRecord)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}, {"Type": "Editbox Number", "Title": "N"}])");
    RecordBytes record = PreSmart(1000, {0x02}, "ok\0\x01\x02"s);
    record.End().Text("\x03\x04\0"s);
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(0)), "ok");
    EXPECT_EQ(Get(1).kind, ConverterReturn::ConverterUnsuitable);
}

TEST_F(PreSmartTest, CheckboxBitsPastTheRecordAreNotRead)
{
    Use(R"([{"Type": "Checkbox", "Title": "A"}])");
    RecordBytes record = PreSmart(20, {}, "");
    record.End().U8(0xFF);
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(Checkbox(0).kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_EQ(Get(0).kind, ConverterReturn::ConverterUnsuitable);
}

TEST_F(PreSmartTest, TypesWithoutStoredValuesPassAndKeepTheCursor)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}, {"Type": "Font", "Title": "F"},
            {"Type": "Text", "Title": "T"}, {"Type": "Group", "Title": "G"}, {"Type": "Image List", "Title": "I"},
            {"Type": "Editbox String", "Title": "B"}])");
    RecordBytes record = PreSmartWithGuard({0x00}, "a\0b\0"s);
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(0)), "a");
    for (std::uint32_t i = 1; i <= 4; ++i)
        EXPECT_EQ(Get(i).kind, ConverterReturn::Pass) << i;
    EXPECT_EQ(ValueOf(Get(5)), "b");
}

TEST_F(PreSmartTest, ACheckboxAfterTheValuesStillGivesItsBit)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}, {"Type": "Checkbox", "Title": "C"},
            {"Type": "Checkbox", "Title": "D"}])");
    RecordBytes record = PreSmartWithGuard({0x02}, "a\0"s);
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(0)), "a");
    const ConverterReturn set = Get(1);
    EXPECT_EQ(set.kind, ConverterReturn::Found);
    EXPECT_EQ(set.checkboxState, 1);
    const ConverterReturn clear = Get(2);
    EXPECT_EQ(clear.kind, ConverterReturn::Found);
    EXPECT_EQ(clear.checkboxState, 0);
}

TEST_F(PreSmartTest, ComboBoxesStoreTheIndexOfTheirItem)
{
    Use(R"([{"Type": "Combo Box", "Title": "A", "Items": ["zero", "one", "two"]},
            {"Type": "Combo Box", "Title": "B", "Items": ["zero"]},
            {"Type": "Combo Box Button", "Title": "C", "Items": ["x", 5]},
            {"Type": "Combo Box", "Title": "D"},
            {"Type": "Editbox Number", "Title": "N"}])");
    const auto index = [](std::uint32_t i) { return ValueBytes(static_cast<std::int32_t>(i)); };
    RecordBytes record =
        PreSmartWithGuard({0x01}, index(2) + index(7) + index(1) + index(0) + ValueBytes(99));
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    ConverterReturn two = Get(0);
    EXPECT_EQ(two.kind, ConverterReturn::Found);
    EXPECT_EQ(ValueOf(two), "two");
    EXPECT_EQ(two.checkboxState, 1);
    ASSERT_NE(two.freeData, nullptr); // a copy for the caller
    two.freeData(two.data);
    // An index past the items, or an item that is not a text: the empty text.
    for (std::uint32_t i : {1u, 2u}) {
        const ConverterReturn empty = Get(i);
        EXPECT_EQ(empty.kind, ConverterReturn::Found) << i;
        EXPECT_EQ(empty.data, nullptr) << i;
        EXPECT_EQ(empty.dataSize, 0u) << i;
    }
    // Without items nothing can be named, but the stored index is stepped over.
    EXPECT_EQ(Get(3).kind, ConverterReturn::Pass);
    EXPECT_EQ(ValueOf(Get(4)), ValueBytes(99));
}

TEST_F(PreSmartTest, ACustomPropertyFirstIsNotReadAsAFloat)
{
    Use(R"([{"Type": "Custom"}, {"Type": "Editbox Number", "Title": "N"}])");
    RecordBytes record = PreSmartWithGuard({0x00}, ValueBytes(42));
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(Get(0).kind, ConverterReturn::Pass);
    EXPECT_EQ(ValueOf(Get(1)), ValueBytes(42));
}

TEST_F(PreSmartTest, CheckboxBitsCoverEveryPropertyOfTheDefinition)
{
    Use(R"([{"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"},
            {"Type": "Text"}, {"Type": "Text"}, {"Type": "Text"}, {"Type": "Editbox String", "Title": "S"}])");
    RecordBytes record = PreSmartWithGuard({0x80, 0x01}, "s\0"s);
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(8)), "s"); // values start after both checkbox bytes
    EXPECT_EQ(Checkbox(7).checkboxState, 1);
    EXPECT_EQ(Checkbox(8).checkboxState, 1);
    EXPECT_EQ(Checkbox(0).checkboxState, 0);
    EXPECT_EQ(Checkbox(15).checkboxState, 0); // the last bit of the last byte
    EXPECT_EQ(Checkbox(16).kind, ConverterReturn::ConverterUnsuitable);
}

// Smart records: a property block at offset 20.
namespace {

class SmartTest : public OneReaderTest<Properties::SmartPropertyReader> {
protected:
    int Start(RecordBytes& record)
    {
        EDITDATA* edPtr = record.Record();
        return Initialize(edPtr, reinterpret_cast<Properties*>(reinterpret_cast<std::uint8_t*>(edPtr) + 20));
    }
};

RecordBytes Smart(std::uint16_t numProps, const std::vector<std::uint8_t>& checkboxBytes)
{
    RecordBytes record;
    record.Header(0, 0, 0, 20).Block(numProps, 1, 2);
    for (std::uint8_t byte : checkboxBytes)
        record.U8(byte);
    return record;
}

} // namespace

TEST_F(SmartTest, ARenamedPropertyIsFoundByItsOldTitle)
{
    Use(R"([{"Type": "Editbox Number", "Title": "Velocity", "OldTitle": "speed"},
            {"Type": "Editbox String", "Title": "name"}])");
    RecordBytes record = Smart(3, {0x02});
    record.Entry(6, "Other", ValueBytes(1)).Entry(6, "Speed", ValueBytes(30)).Entry(5, "NAME", "Bo");
    record.End();
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    const ConverterReturn velocity = Get(0);
    EXPECT_EQ(velocity.kind, ConverterReturn::Found);
    EXPECT_EQ(ValueOf(velocity), ValueBytes(30));
    EXPECT_EQ(velocity.freeData, nullptr);
    EXPECT_EQ(velocity.checkboxState, 1); // the bit of the entry's stored position, 1
    const ConverterReturn name = Get(1);
    EXPECT_EQ(ValueOf(name), "Bo");
    EXPECT_EQ(name.checkboxState, 0);
    // A checkbox asked for alone is the bit at the property's own position.
    EXPECT_EQ(Checkbox(0).checkboxState, 0);
    EXPECT_EQ(Checkbox(1).checkboxState, 1);
    EXPECT_EQ(Checkbox(2).checkboxState, 0);
    EXPECT_EQ(Checkbox(3).kind, ConverterReturn::Pass); // past the old block's count
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SmartTest, TheOldTitleWinsOverTheTitle)
{
    Use(R"([{"Type": "Editbox String", "Title": "B", "OldTitle": "A"}])");
    RecordBytes record = Smart(2, {0x00});
    record.Entry(5, "B", "by title").Entry(5, "A", "by old title").End();
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(0)), "by old title");
}

TEST_F(SmartTest, ValuesAreTakenOnlyFromCompatibleTypes)
{
    Use(R"([{"Type": "Editbox Number", "Title": "A"}, {"Type": "Editbox String", "Title": "B"},
            {"Type": "Editbox String Multiline", "Title": "C"}, {"Type": "Combo Box Button", "Title": "D"},
            {"Type": "Editbox Float", "Title": "E"}, {"Type": "Color", "Title": "F"},
            {"Type": "edit SPIN", "Title": "G"}])");
    RecordBytes record = Smart(7, {0x00});
    record.Entry(21, "A", ValueBytes(1.5f))
        .Entry(22, "B", "multi")
        .Entry(5, "C", "single")
        .Entry(7, "D", "item")
        .Entry(27, "E", ValueBytes(2.5f))
        .Entry(6, "F", ValueBytes(3))
        .Entry(11, "G", ValueBytes(4))
        .End();
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(Get(0).kind, ConverterReturn::Pass); // a float never feeds an integer
    EXPECT_EQ(Get(1).kind, ConverterReturn::Pass); // a multiline text only feeds its own kind
    EXPECT_EQ(ValueOf(Get(2)), "single");
    EXPECT_EQ(ValueOf(Get(3)), "item");
    EXPECT_EQ(ValueOf(Get(4)), ValueBytes(2.5f));
    EXPECT_EQ(Get(5).kind, ConverterReturn::Pass); // a colour is only a colour
    EXPECT_EQ(ValueOf(Get(6)), ValueBytes(4));     // type names ignore case
}

TEST_F(SmartTest, AnIntegerTakenIntoAFloatKeepsItsNumber)
{
    Use(R"([{"Type": "Editbox Float", "Title": "A"}, {"Type": "Edit spin float", "Title": "B"}])");
    RecordBytes record = Smart(2, {0x00});
    record.Entry(6, "A", ValueBytes(5)).Entry(12, "B", ValueBytes(-3)).End();
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(0)), ValueBytes(5.0f));
    EXPECT_EQ(ValueOf(Get(1)), ValueBytes(-3.0f));
}

TEST_F(SmartTest, AnUnknownTypeNameIsAnErrorForThatPropertyOnly)
{
    Use(R"([{"Type": "Spinner", "Title": "A"}, {"Type": "Editbox String", "Title": "B"}])");
    RecordBytes record = Smart(1, {0x00});
    record.Entry(5, "B", "b").End();
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ErrorOf(Get(0)), L"SmartPropertyReader: failed to read Data for property 0. Type ID in JSON "
                               L"Spinner could not be converted to ID.\n");
    EXPECT_EQ(ValueOf(Get(1)), "b");
}

TEST_F(SmartTest, LongTitlesMatchAsTheyWereStored)
{
    const std::string title(300, 't');
    Use(R"([{"Type": "Editbox String", "Title": ")" + title + R"("}])");
    RecordBytes record = Smart(1, {0x00});
    record.Entry(5, title.substr(0, 254), "kept").End();
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(ValueOf(Get(0)), "kept");
}

TEST_F(SmartTest, RecordsThatHoldNoUsableBlockAreRefused)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}])");
    const struct {
        const char* label;
        std::uint32_t offsetWord;
        bool badMagic;
        std::size_t keep; // bytes of the record kept; 0 for all
    } cases[] = {
        {"offset word 0", 0, false, 0},         {"offset at the end", 50, false, 0},
        {"offset past the end", 400, false, 0}, {"wrong magic", 20, true, 0},
        {"block cut short", 20, false, 30},
    };
    for (const auto& c : cases) {
        RecordBytes record = Smart(1, {0x00});
        record.Entry(5, "A", "a");
        record.Put(16, c.offsetWord);
        if (c.badMagic)
            record.bytes[20] = 'X';
        if (c.keep != 0)
            record.bytes.resize(c.keep);
        record.End().Text("1NVP");
        EXPECT_EQ(Start(record), ConverterReturn::ConverterUnsuitable) << c.label;
        EXPECT_EQ(Checkbox(0).kind, ConverterReturn::Pass) << c.label;
    }

    ConverterReturn result;
    Properties::ConverterState noRecord(nullptr, nullptr, Props());
    reader.Initialize(noRecord, &result);
    EXPECT_EQ(result.kind, ConverterReturn::ConverterUnsuitable);
}

TEST_F(SmartTest, AnEmptyBlockIsReady)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}])");
    RecordBytes record = Smart(0, {});
    record.End();
    ASSERT_EQ(Start(record), ConverterReturn::Found);
    EXPECT_EQ(Get(0).kind, ConverterReturn::Pass);
    EXPECT_EQ(Checkbox(0).kind, ConverterReturn::Pass);
}

TEST_F(SmartTest, EntriesRunningPastTheRecordAreAnError)
{
    Use(R"([{"Type": "Editbox String", "Title": "A"}])");
    const struct {
        const char* label;
        std::uint16_t count;
        std::uint32_t secondSize; // the second entry's size word
        std::size_t cut;          // bytes left off the record's end
        const wchar_t* error;
    } cases[] = {
        {"size one past the end", 2, 10, 0,
         L"SmartPropertyReader: failed to read Data for property 1 / 2.\n"},
        {"huge size", 2, 0xFFFFFFF0, 0, L"SmartPropertyReader: failed to read Data for property 1 / 2.\n"},
        {"header cut", 2, 9, 4, L"SmartPropertyReader: failed to read Data for property 1 / 2.\n"},
        {"count too high", 3, 9, 0, L"SmartPropertyReader: failed to read Data for property 2 / 3.\n"},
    };
    for (const auto& c : cases) {
        RecordBytes record = Smart(c.count, {0x00});
        record.Entry(5, "A", "a").U32(c.secondSize).U16(5).U8(1).Text("Bb");
        record.bytes.resize(record.bytes.size() - c.cut);
        record.End().Text("\x07\0\0\0\x01\0\0"s);
        EXPECT_EQ(Start(record), ConverterReturn::Error) << c.label;
        EXPECT_EQ(lastError, c.error) << c.label;
        // Nothing of the damaged block is answered afterwards.
        EXPECT_EQ(Checkbox(0).kind, ConverterReturn::Pass) << c.label;
    }
}

TEST_F(SmartTest, AnEntryTooSmallForItsTitleIsAnError)
{
    Use(R"([{"Type": "Editbox String", "Title": "Ab"}, {"Type": "Editbox String", "Title": "Cd"}])");
    // The last entry claims a 2-byte title that its size leaves no room for.
    RecordBytes record = Smart(2, {0x01});
    record.Entry(5, "Cd", "cd").U32(7).U16(5).U8(2).Text("Ab").End();
    ASSERT_EQ(Start(record), ConverterReturn::Error);
    EXPECT_EQ(lastError, L"SmartPropertyReader: failed to read Data for property 1 / 2.\n");
}

// The definition's defaults.
namespace {

class JSONTest : public OneReaderTest<Properties::JSONPropertyReader> {
protected:
    int Start() { return Initialize(nullptr, nullptr); }
    // Takes a found value as the upgrade does: copies it, then frees it when asked to.
    std::string Take(const ConverterReturn& result)
    {
        EXPECT_EQ(result.kind, ConverterReturn::Found) << testing::PrintToString(ErrorOf(result));
        const std::string value = ValueOf(result);
        if (result.freeData != nullptr)
            result.freeData(result.data);
        return value;
    }
    std::string ResetList() const { return state->resetPropertiesStream.str(); }
};

} // namespace

TEST_F(JSONTest, PropertiesOfTheWrongKindAreRefusedWithABox)
{
    std::string thousand = "[";
    for (int i = 0; i < 1000; ++i)
        thousand += std::string(i == 0 ? "" : ",") + R"({"Type": "Text"})";
    const struct {
        const char* label;
        std::string properties;
        int kind;
    } cases[] = {
        {"array", "[]", ConverterReturn::Found},
        {"absent", "", ConverterReturn::Found},
        {"1000 elements", thousand + "]", ConverterReturn::Found},
        {"1001 elements", thousand + R"(, {"Type": "Text"}])", ConverterReturn::ConverterUnsuitable},
        {"object", R"({"Type": "Text"})", ConverterReturn::ConverterUnsuitable},
        {"text", R"("Text")", ConverterReturn::ConverterUnsuitable},
    };
    for (const auto& c : cases) {
        Use(c.properties);
        EXPECT_EQ(Start(), c.kind) << c.label;
        if (c.kind == ConverterReturn::Found) {
            EXPECT_TRUE(boxes.empty()) << c.label;
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u) << c.label;
        EXPECT_EQ(boxes[0].title, L"Property error - Morvalex") << c.label;
        EXPECT_EQ(boxes[0].text, L"JSONPropertyReader: Properties is the wrong type, expected an array.\n")
            << c.label;
        EXPECT_EQ(boxes[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR)) << c.label;
    }
}

TEST_F(JSONTest, PropertiesAbsentHaveNoItems)
{
    Use("");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(ErrorOf(Get(0)), L"JSONPropertyReader: no JSON item for property 0, only 0 items are stored");
    EXPECT_EQ(ErrorOf(Checkbox(0)),
              L"JSONPropertyReader: no JSON item for property 0, only 0 items are stored.\n");
}

TEST_F(JSONTest, IndexAndElementChecks)
{
    Use(R"([{"Type": "Text"}, "a text", 5])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(ErrorOf(Get(3)), L"JSONPropertyReader: no JSON item for property 3, only 3 items are stored");
    EXPECT_EQ(ErrorOf(Get(2)),
              L"JSDNPropertyReader: Index 2 is not a json_object (but within Properties array)");
    EXPECT_EQ(ErrorOf(Checkbox(1)),
              L"JSDNPropertyReader: Index 1 is not a json_object (but within Properties array).\n");
    EXPECT_EQ(ErrorOf(Checkbox(0xFFFFFFFF)),
              L"JSONPropertyReader: no JSON item for property 4294967295, only 3 items are stored.\n");
}

TEST_F(JSONTest, TypesWithoutValuesAreFoundEmptyAndNotReset)
{
    Use(R"([{"Type": "Text", "Title": "A"}, {"Type": "Folder", "Title": "B"}, {"Type": "FolderEnd"},
            {"Type": "Edit button", "Title": "C", "DefaultState": "Press"}, {"Type": "Checkbox", "Title": "D"},
            {"Type": "Group", "Title": "E"}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    for (std::uint32_t i = 0; i < 6; ++i) {
        const ConverterReturn result = Get(i);
        EXPECT_EQ(result.kind, ConverterReturn::Found) << i;
        EXPECT_EQ(result.data, nullptr) << i;
        EXPECT_EQ(result.checkboxState, -1) << i;
    }
    EXPECT_EQ(state->numPropsReset, 0u);
    EXPECT_EQ(ResetList(), "");
}

TEST_F(JSONTest, TextDefaultsAreCopiedInTheirCase)
{
    Use(R"([{"Type": "Editbox String", "Title": "Up", "DefaultState": "aBc1", "Case": "upper"},
            {"Type": "Editbox String", "Title": "Low", "DefaultState": "aBc1", "Case": "LOWER"},
            {"Type": "Editbox String", "Title": "Kept", "DefaultState": "aBc1", "Case": "Title"},
            {"Type": "Editbox File", "Title": "None"},
            {"Type": "URL button", "Title": "Number", "DefaultState": 5},
            {"Type": "Editbox String Multiline", "Title": "Multi", "DefaultState": "x\ny", "Case": "Upper"}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    const ConverterReturn upper = Get(0);
    EXPECT_NE(upper.freeData, nullptr);
    EXPECT_EQ(upper.checkboxState, -1);
    EXPECT_EQ(Take(upper), "ABC1");
    EXPECT_EQ(Take(Get(1)), "abc1");
    EXPECT_EQ(Take(Get(2)), "aBc1");
    const ConverterReturn none = Get(3);
    EXPECT_EQ(none.dataSize, 0u);
    EXPECT_EQ(Take(none), "");
    EXPECT_EQ(Take(Get(4)), "");
    EXPECT_EQ(Take(Get(5)), "X\nY");
    EXPECT_EQ(state->numPropsReset, 6u);
    EXPECT_EQ(ResetList(), "\xE2\x80\xA2 Up\n\xE2\x80\xA2 Low\n\xE2\x80\xA2 Kept\n\xE2\x80\xA2 None\n"
                           "\xE2\x80\xA2 Number\n\xE2\x80\xA2 Multi\n");
}

TEST_F(JSONTest, ATextDefaultOf4096BytesEndsTheReader)
{
    Use(R"([{"Type": "Editbox String", "Title": "A", "DefaultState": ")" + std::string(4095, 'a') +
        R"("}, {"Type": "Editbox Folder", "Title": "B", "DefaultState": ")" + std::string(4096, 'b') +
        R"("}, {"Type": "Combo Box", "Title": "C", "Items": [], "DefaultState": ")" + std::string(4096, 'c') +
        R"("}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(Take(Get(0)), std::string(4095, 'a'));
    EXPECT_EQ(Get(1).kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_EQ(Get(2).kind, ConverterReturn::ConverterUnsuitable);
    EXPECT_EQ(state->numPropsReset, 1u);
}

TEST_F(JSONTest, ComboBoxDefaultsPointIntoTheDefinition)
{
    Use(R"([{"Type": "Combo Box", "Title": "A", "Items": ["one", "two"], "DefaultState": "two"},
            {"Type": "Combo Box Icons", "Title": "B", "Items": []},
            {"Type": "Combo Box Button", "Title": "C", "DefaultState": "two"}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    const ConverterReturn two = Get(0);
    EXPECT_EQ(two.kind, ConverterReturn::Found);
    EXPECT_EQ(two.data, static_cast<const char*>(Props()[0]["DefaultState"]));
    EXPECT_EQ(two.dataSize, 3u);
    EXPECT_EQ(two.freeData, nullptr);
    const ConverterReturn none = Get(1);
    EXPECT_EQ(none.kind, ConverterReturn::Found);
    EXPECT_EQ(none.dataSize, 0u);
    EXPECT_EQ(Get(2).kind, ConverterReturn::Pass); // no Items to choose from
    EXPECT_EQ(ResetList(), "\xE2\x80\xA2 A\n\xE2\x80\xA2 B\n");
}

TEST_F(JSONTest, NumberDefaults)
{
    Use(R"([{"Type": "Editbox Number", "Title": "Max", "DefaultState": 2147483647},
            {"Type": "Edit spin", "Title": "Min", "DefaultState": -2147483648},
            {"Type": "Color", "Title": "Over", "DefaultState": 2147483648},
            {"Type": "Edit slider", "Title": "Under", "DefaultState": -2147483649},
            {"Type": "Edit direction", "Title": "Fraction", "DefaultState": 1.5},
            {"Type": "Editbox Number", "DefaultState": "5"},
            {"Type": "Editbox Float", "Title": "Float", "DefaultState": 5.0},
            {"Type": "Edit spin float", "Title": "Exponent", "DefaultState": 25e-1},
            {"Type": "Editbox Float", "Title": "Whole", "DefaultState": 5},
            {"Type": "Edit spin float", "Title": "Absent"}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(Take(Get(0)), ValueBytes(2147483647));
    EXPECT_EQ(Take(Get(1)), ValueBytes(INT32_MIN));
    EXPECT_EQ(ErrorOf(Get(2)),
              L"JSONPropertyReader: JSON item Over, ID 2, language UK English has default value "
              L"that can't be stored in 32-bit int (value is 2147483648).");
    EXPECT_EQ(ErrorOf(Get(3)), L"JSONPropertyReader: JSON item Under, ID 3, language UK English has default "
                               L"value that can't be stored in 32-bit int (value is -2147483649).");
    EXPECT_EQ(ErrorOf(Get(4)),
              L"JSONPropertyReader: JSON item Fraction, ID 4, language UK English has no default value.");
    EXPECT_EQ(
        ErrorOf(Get(5)),
        L"JSONPropertyReader: JSON item <missing title>, ID 5, language UK English has no default value.");
    EXPECT_EQ(Take(Get(6)), ValueBytes(5.0f));
    EXPECT_EQ(Take(Get(7)), ValueBytes(2.5f));
    EXPECT_EQ(ErrorOf(Get(8)),
              L"JSONPropertyReader: JSON item Whole, ID 8, language UK English has no default value.");
    EXPECT_EQ(ErrorOf(Get(9)),
              L"JSONPropertyReader: JSON item Absent, ID 9, language UK English has no default value.");
    EXPECT_EQ(ResetList(), "\xE2\x80\xA2 Max\n\xE2\x80\xA2 Min\n\xE2\x80\xA2 Float\n\xE2\x80\xA2 Exponent\n");
}

TEST_F(JSONTest, SizeDefaultsAreTwoIntegers)
{
    Use(R"([{"Type": "Size", "Title": "A", "DefaultState": [10, 20]},
            {"Type": "Size", "Title": "B", "DefaultState": [1.9, "x"]},
            {"Type": "Size", "Title": "C", "DefaultState": [4294967297, -1]},
            {"Type": "Size", "Title": "D", "DefaultState": [1]},
            {"Type": "Size", "Title": "E", "DefaultState": [1, 2, 3]},
            {"Type": "Size", "DefaultState": 5}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(Take(Get(0)), "\x0A\0\0\0\x14\0\0\0"s);
    EXPECT_EQ(Take(Get(1)), ValueBytes(1) + ValueBytes(0));
    EXPECT_EQ(Take(Get(2)), ValueBytes(1) + ValueBytes(-1)); // the low 32 bits
    EXPECT_EQ(ErrorOf(Get(3)),
              L"JSONPropertyReader: Couldn't read default state for JSON item D, ID 3, language "
              L"UK English. Erroring.");
    EXPECT_EQ(ErrorOf(Get(4)),
              L"JSONPropertyReader: Couldn't read default state for JSON item E, ID 4, language "
              L"UK English. Erroring.");
    EXPECT_EQ(ErrorOf(Get(5)),
              L"JSONPropertyReader: Couldn't read default state for JSON item <missing title>, "
              L"ID 5, language UK English. Erroring.");
    EXPECT_EQ(state->numPropsReset, 3u);
}

TEST_F(JSONTest, ImageListsStartEmptyAndTakeNoDefault)
{
    Use(R"([{"Type": "Image List", "Title": "A"}, {"Type": "Image List", "Title": "B", "DefaultState": null}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(Take(Get(0)), "\0\0"s);
    EXPECT_EQ(ErrorOf(Get(1)),
              L"JSONPropertyReader: JSON item B, ID 1, language UK English has a default value, "
              L"and shouldn't have one.");
    EXPECT_EQ(ResetList(), "\xE2\x80\xA2 A\n");
}

TEST_F(JSONTest, TypesItCannotStorePass)
{
    Use(R"([{"Type": "Font", "Title": "A"}, {"Type": "Custom"}, {"Type": "!List button"}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(Get(0).kind, ConverterReturn::Pass);
    EXPECT_EQ(Get(1).kind, ConverterReturn::Pass);
    EXPECT_EQ(Get(2).kind, ConverterReturn::Found); // refused, it stands as a Text property
    EXPECT_EQ(state->numPropsReset, 0u);
}

TEST_F(JSONTest, CheckboxDefaults)
{
    Use(R"([{"Type": "Checkbox", "Title": "On", "DefaultState": true},
            {"Type": "Checkbox", "Title": "Off", "DefaultState": false},
            {"Type": "Checkbox", "Title": "Missing"},
            {"Type": "Editbox Number", "Title": "Flag", "DefaultState": 1, "CheckboxDefaultState": true},
            {"Type": "Editbox Number", "Title": "Clear", "DefaultState": 1, "CheckboxDefaultState": false},
            {"Type": "Editbox Number", "Title": "Null", "DefaultState": 1, "CheckboxDefaultState": null},
            {"Type": "Editbox Number", "Title": "Plain", "DefaultState": 1}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    const std::pair<std::uint32_t, int> found[] = {{0, 1}, {1, 0}, {3, 1}, {4, 0}};
    for (const auto& [i, checked] : found) {
        const ConverterReturn result = Checkbox(i);
        EXPECT_EQ(result.kind, ConverterReturn::Found) << i;
        EXPECT_EQ(result.data, nullptr) << i;
        EXPECT_EQ(result.checkboxState, checked) << i;
    }
    EXPECT_EQ(ErrorOf(Checkbox(2)),
              L"JSONPropertyReader: DefaultState is not set for checkbox property. Property "
              L"Missing, ID 2 (language UK English). Erroring.\n");
    EXPECT_EQ(ErrorOf(Checkbox(5)),
              L"JSONPropertyReader: the CheckboxDefaultState is not set for property with "
              L"checkbox flag. Property Null, ID 5 (language UK English). Erroring.\n");
    EXPECT_EQ(Checkbox(6).kind, ConverterReturn::Pass);
    EXPECT_EQ(ResetList(), "\xE2\x80\xA2 On\n\xE2\x80\xA2 Off\n\xE2\x80\xA2 Flag\n\xE2\x80\xA2 Clear\n");
}

TEST_F(JSONTest, APropertyWhoseValueAndCheckboxAreResetIsListedOnce)
{
    Use(R"([{"Type": "Editbox Number", "Title": "Flag", "DefaultState": 3, "CheckboxDefaultState": true}])");
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(Take(Get(0)), ValueBytes(3));
    EXPECT_EQ(Checkbox(0).checkboxState, 1);
    EXPECT_EQ(state->numPropsReset, 1u);
    EXPECT_EQ(ResetList(), "\xE2\x80\xA2 Flag\n");
    // A new upgrade starts a new count.
    ASSERT_EQ(Start(), ConverterReturn::Found);
    EXPECT_EQ(Take(Get(0)), ValueBytes(3));
    EXPECT_EQ(state->numPropsReset, 1u);
}
