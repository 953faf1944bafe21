// The property sheet's exports of the real library in the editor: the table handed to the host, value
// objects driven through their virtual slots, values taken from the host's value objects, the record
// resized through CallFunction 5, check boxes and the image editors' records, with the boxes shown.
#include "Lib/Shared/Host/Platform.h"
#include "PropertyRecords.h"
#include "Session.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using TestHost::BytesOf;
using TestHost::CallSlot;
using TestHost::HostValue;
using TestHost::StoredProperty;
using TestHost::U16Bytes;
using TestHost::U32At;
using TestHost::ValueBytes;
namespace Slot = TestHost::Slot;

constexpr std::uint32_t FirstID = 0x80000;

using SheetFn = BOOL(HOST_STDCALL*)(::mV*, EDITDATA*, BOOL);
using ReleaseFn = void(HOST_STDCALL*)(::mV*, EDITDATA*, BOOL);
using GetValueFn = void*(HOST_STDCALL*)(::mV*, EDITDATA*, std::uint32_t);
using SetValueFn = void(HOST_STDCALL*)(::mV*, EDITDATA*, std::uint32_t, void*);
using IdFn = BOOL(HOST_STDCALL*)(::mV*, EDITDATA*, std::uint32_t);
using SetCheckFn = void(HOST_STDCALL*)(::mV*, EDITDATA*, std::uint32_t, BOOL);

// A value object as the host sees it: its class id (slot 4), its value copied into the host's value
// record (slot 5) as "id:word 1" or "id:text", then released (slot 1).
std::wstring TakeValue(void* object)
{
    if (object == nullptr)
        return L"null";
    const std::uint32_t id = CallSlot<std::uint32_t>(object, Slot::GetClassID);
    std::uint32_t record[32];
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(CallSlot<std::int32_t>(object, Slot::CopyToHostValue, static_cast<void*>(record)), 1);
    EXPECT_EQ(record[0], 0xEEEEEEEEu); // word 0 is the host's
    std::wstring text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += static_cast<wchar_t>((id >> shift) & 0xFF);
    text += L':';
    if (id == 0x53545257) {
        EXPECT_EQ(record[2], static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&record[3])));
        text += reinterpret_cast<const wchar_t*>(&record[3]);
    } else {
        text += std::to_wstring(record[1]);
    }
    CallSlot<void>(object, Slot::Delete);
    return text;
}

// The library in an editor session (any non-null main window), its exports as the host calls them.
class PropertySheet {
public:
    explicit PropertySheet(const std::wstring& library = TestHost::BuiltLibraryPath())
        : session(library, GetDesktopWindow())
    {
        EXPECT_EQ(session.InitializeResult(), 0);
        session.TheHost().ResetCounts();
        session.Boxes().Clear();
    }

    ::mV* MV() { return session.TheHost().MV(); }
    TestHost::Host& Host() { return session.TheHost(); }
    const std::vector<TestHost::RecordedBox>& Boxes() { return session.Boxes().Boxes(); }

    BOOL GetProperties(EDITDATA* edPtr) { return Export<SheetFn>("GetProperties")(MV(), edPtr, FALSE); }
    void ReleaseProperties(EDITDATA* edPtr) { Export<ReleaseFn>("ReleaseProperties")(MV(), edPtr, FALSE); }
    std::wstring GetValue(EDITDATA* edPtr, std::uint32_t id)
    {
        return TakeValue(Export<GetValueFn>("GetPropValue")(MV(), edPtr, id));
    }
    void SetValue(EDITDATA* edPtr, std::uint32_t id, HostValue& value)
    {
        Export<SetValueFn>("SetPropValue")(MV(), edPtr, id, &value);
    }
    BOOL GetCheck(EDITDATA* edPtr, std::uint32_t id) { return Export<IdFn>("GetPropCheck")(MV(), edPtr, id); }
    void SetCheck(EDITDATA* edPtr, std::uint32_t id, BOOL check)
    {
        Export<SetCheckFn>("SetPropCheck")(MV(), edPtr, id, check);
    }
    BOOL IsEnabled(EDITDATA* edPtr, std::uint32_t id)
    {
        return Export<IdFn>("IsPropEnabled")(MV(), edPtr, id);
    }
    BOOL Edit(EDITDATA* edPtr, std::uint32_t id) { return Export<IdFn>("EditProp")(MV(), edPtr, id); }

    void ExpectOneBox(const wchar_t* title, const std::wstring& text, const std::string& label = {})
    {
        ASSERT_EQ(Boxes().size(), 1u) << label;
        EXPECT_EQ(Boxes()[0].title, std::wstring(title) + L" - Morvalex") << label;
        EXPECT_EQ(Boxes()[0].text, text) << label;
        session.Boxes().Clear();
    }

private:
    template <typename F> F Export(const char* name) { return session.Lib().Export<F>(name); }

    TestHost::Session session;
};

} // namespace

// The shipped definition has one property, a Text titled Version whose default is the version.
TEST(PropertyExports, TheEmbeddedDefinitionsSheet)
{
    PropertySheet sheet;
    std::vector<std::uint8_t> record = TestHost::StoredEditData({{1, "", ""}});
    EDITDATA* edPtr = TestHost::AsEditData(record);

    EXPECT_EQ(sheet.GetProperties(edPtr), TRUE);
    const auto& calls = sheet.Host().FunctionLog();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].edPtr, edPtr);
    EXPECT_EQ(calls[0].id, 1);
    EXPECT_EQ(calls[0].p2, 1);
    EXPECT_EQ(calls[0].p3, 1);
    const auto* table = reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(calls[0].p1));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0], FirstID);
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(table[1])), L"Version");
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(table[2])),
                 L"The version of Morvalex.");
    EXPECT_EQ(table[3], 1001u);
    EXPECT_EQ(table[4], 0u);
    EXPECT_EQ(table[5], 0u);
    for (int word = 6; word < 12; ++word)
        EXPECT_EQ(table[word], 0u) << "closing descriptor, word " << word - 6;
    EXPECT_EQ(calls[1].edPtr, edPtr);
    EXPECT_EQ(calls[1].id, 18);
    sheet.ReleaseProperties(edPtr);
    EXPECT_EQ(calls.size(), 2u);

    EXPECT_EQ(sheet.GetValue(edPtr, FirstID), L"STRW:1");
    EXPECT_EQ(sheet.GetValue(edPtr, FirstID + 1), L"null");
    EXPECT_EQ(sheet.GetValue(edPtr, FirstID - 1), L"null");

    EXPECT_EQ(sheet.GetCheck(edPtr, FirstID), FALSE);
    sheet.SetCheck(edPtr, FirstID, TRUE);
    EXPECT_EQ(record[40], 1);
    EXPECT_EQ(sheet.GetCheck(edPtr, FirstID), TRUE);
    sheet.SetCheck(edPtr, FirstID, FALSE);
    EXPECT_EQ(record[40], 0);
    sheet.SetCheck(edPtr, FirstID - 1, TRUE);
    EXPECT_EQ(sheet.GetCheck(edPtr, FirstID - 1), FALSE);
    EXPECT_EQ(record[40], 0);

    for (std::uint32_t id : {0u, FirstID - 1, FirstID, FirstID + 1})
        EXPECT_EQ(sheet.IsEnabled(edPtr, id), TRUE) << id;
    EXPECT_EQ(sheet.Edit(edPtr, FirstID), FALSE);
    EXPECT_TRUE(sheet.Host().ImageEditorCalls().empty());
    EXPECT_EQ(calls.size(), 2u); // check boxes and the rest never call the host
    EXPECT_TRUE(sheet.Boxes().empty());

    // The Text stores nothing, so there is nothing to change.
    HostValue text(0x53545257, std::wstring(L"2"));
    sheet.SetValue(edPtr, FirstID, text);
    sheet.ExpectOneBox(L"Polvane property error",
                       L"Couldn't find property Version (JSON type Text), failed to edit it.");
    EXPECT_EQ(record, TestHost::StoredEditData({{1, "", ""}}));
}

TEST(PropertyExports, RecordsTheLibraryCannotReadAreRefused)
{
    PropertySheet sheet;
    std::vector<std::uint8_t> record = TestHost::StoredEditData({{1, "", ""}});
    record[8] = 2;
    EXPECT_EQ(sheet.GetValue(TestHost::AsEditData(record), FirstID), L"null");
    sheet.ExpectOneBox(
        L"Version upgrade failure",
        L"Extension version mismatch (MFA is 2, real ext is 1). You should update the Morvalex "
        L"extension immediately, WITHOUT saving the MFA first.");
    record[8] = 1;
    record[16] = 0;
    EXPECT_EQ(sheet.GetValue(TestHost::AsEditData(record), FirstID), L"null");
    sheet.ExpectOneBox(
        L"No smart properties",
        L"MFA ext version 1 was saved WITHOUT smart properties, but current extension has same version "
        L"1 WITH smart properties.\n\nDid the extension developer upgrade the extension to smart "
        L"properties without incrementing Extension::Version?");
}

namespace {

// A definition beside a copy of the library, with a property of each kind the sheet edits.
class SiblingSheet : public testing::Test {
protected:
    static std::vector<StoredProperty> Entries()
    {
        return {{5, "Name", "abc"},
                {6, "Count", ValueBytes(42)},
                {27, "Speed", ValueBytes(0.25f)},
                {7, "Mode", "b"},
                {10, "Flag", ""},
                {23, "Icon", U16Bytes({1, 40})},
                {23, "Frames", U16Bytes({1, 50})},
                {8, "Area", ValueBytes(3) + ValueBytes(4)}};
    }

    enum Index : std::uint32_t { Name, Count, Speed, Mode, Flag, Icon, Frames, Area };

    // The record after a change: the host's resized one when the change asked for one.
    std::vector<std::uint8_t> After(std::size_t resizesBefore)
    {
        const auto& host = sheet->Host();
        return host.ReallocRequests().size() > resizesBefore ? BytesOf(host.LastReallocated()) : record;
    }

    std::vector<std::uint8_t> Expected(const std::vector<StoredProperty>& entries)
    {
        return TestHost::StoredEditData(entries, {}, U32At(record, 4));
    }

    TestHost::TempTree tree;
    std::unique_ptr<PropertySheet> sheet;
    std::vector<std::uint8_t> record = TestHost::StoredEditData(Entries());

    void SetUp() override
    {
        tree.Write(L"Morvalex.json", R"({"Identifier": "PROP", "Dependencies": "", "UK English": {
            "About": {"Name": "Sheet"},
            "Properties": [
                {"Title": "Name", "Type": "Editbox String"},
                {"Title": "Count", "Type": "Editbox Number"},
                {"Title": "Speed", "Type": "Edit spin float"},
                {"Title": "Mode", "Type": "Combo Box", "Items": ["a", "b"]},
                {"Title": "Flag", "Type": "Checkbox", "DefaultState": false},
                {"Title": "Icon", "Type": "Image List", "ImageSize": [16, 24], "NoAlphaChannel": true},
                {"Title": "Frames", "Type": "Image List", "MaxNumImages": 4, "WindowTitle": "Frames",
                 "ImageTitles": ["First", "Second"], "AllowEmpty": true},
                {"Title": "Area", "Type": "Size"}
            ]}})");
        sheet = std::make_unique<PropertySheet>(
            tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring());
    }

    // The library is released before the tree that holds it.
    void TearDown() override { sheet.reset(); }
};

} // namespace

TEST_F(SiblingSheet, ValuesReadThroughTheirSlots)
{
    EDITDATA* edPtr = TestHost::AsEditData(record);
    EXPECT_EQ(sheet->GetValue(edPtr, FirstID + Name), L"STRW:abc");
    EXPECT_EQ(sheet->GetValue(edPtr, FirstID + Count), L"INT :42");
    EXPECT_EQ(sheet->GetValue(edPtr, FirstID + Speed), L"FLOT:" + std::to_wstring(0x3E800000u));
    EXPECT_EQ(sheet->GetValue(edPtr, FirstID + Mode), L"DWRD:1");
    EXPECT_EQ(sheet->GetValue(edPtr, FirstID + Flag), L"null");
    EXPECT_EQ(sheet->GetValue(edPtr, FirstID + Area + 1), L"null");
    EXPECT_TRUE(sheet->Boxes().empty());

    auto entries = Entries();
    entries[Mode].value = "c";
    record = TestHost::StoredEditData(entries);
    EXPECT_EQ(sheet->GetValue(TestHost::AsEditData(record), FirstID + Mode), L"null");
    sheet->ExpectOneBox(L"Property error",
                        L"GetProperty error: JSON Items does not contain given value c (Combo Box "
                        L"property \"Mode\", ID 3, JSON language UK English).");
    EXPECT_EQ(sheet->GetValue(TestHost::AsEditData(record), FirstID + Area), L"null");
    sheet->ExpectOneBox(L"Property error", L"GetProperty error: JSON property type \"Size\" is unexpected.");
}

TEST_F(SiblingSheet, EachValueClassIsStoredAsTheHostHandsItOver)
{
    const double eighth = 0.125;
    std::uint32_t eighthWords[2];
    std::memcpy(eighthWords, &eighth, 8);
    const struct {
        const char* label;
        std::unique_ptr<HostValue> value;
        Index index;
        std::string stored;
    } cases[] = {
        {"INT ", std::make_unique<HostValue>(0x494E5420, std::initializer_list<std::uint32_t>{7}), Count,
         ValueBytes(7)},
        {"DWRD", std::make_unique<HostValue>(0x44575244, std::initializer_list<std::uint32_t>{8}), Count,
         ValueBytes(8)},
        {"FLOT", std::make_unique<HostValue>(0x464C4F54, std::initializer_list<std::uint32_t>{0x40000000}),
         Speed, ValueBytes(2.0f)},
        {"SIZE", std::make_unique<HostValue>(0x53495A45, std::initializer_list<std::uint32_t>{640, 480, 1}),
         Area, ValueBytes(640) + ValueBytes(480)},
        {"INT2", std::make_unique<HostValue>(0x494E5432, std::initializer_list<std::uint32_t>{1, 800, 600}),
         Area, ValueBytes(800) + ValueBytes(600)},
        {"DBLE",
         std::make_unique<HostValue>(0x44424C45,
                                     std::initializer_list<std::uint32_t>{1, eighthWords[0], eighthWords[1]}),
         Count, std::string(reinterpret_cast<const char*>(&eighth), 8)},
        {"STRW", std::make_unique<HostValue>(0x53545257, std::wstring(L"\u00e9t\u00e9")), Name,
         "\xC3\xA9t\xC3\xA9"},
        {"STRA", std::make_unique<HostValue>(0x53545241, std::string("ansi")), Name, "ansi"},
        {"DATA", std::make_unique<HostValue>(0x44415441, std::wstring(L"data")), Name, "data"},
        {"DWRD on a combo box",
         std::make_unique<HostValue>(0x44575244, std::initializer_list<std::uint32_t>{0}), Mode, "a"},
    };
    for (const auto& c : cases) {
        record = TestHost::StoredEditData(Entries());
        const std::size_t resizes = sheet->Host().ReallocRequests().size();
        sheet->SetValue(TestHost::AsEditData(record), FirstID + c.index, *c.value);
        EXPECT_EQ(c.value->ClassIDReads(), 1) << c.label;
        auto entries = Entries();
        entries[c.index].value = c.stored;
        EXPECT_EQ(After(resizes), Expected(entries)) << c.label;
        EXPECT_TRUE(sheet->Boxes().empty()) << c.label;
    }

    record = TestHost::StoredEditData(Entries());
    HostValue data(0x44415441, std::wstring(L"12"));
    sheet->SetValue(TestHost::AsEditData(record), FirstID + Count, data);
    sheet->ExpectOneBox(L"Polvane property error", L"Got Buff type for non-string property \"Count\".");
    HostValue custom(0x43555354, {1u});
    sheet->SetValue(TestHost::AsEditData(record), FirstID + Count, custom);
    sheet->ExpectOneBox(L"Custom property",
                        L"Assuming class ID 1129665364 is custom - but no custom code yet written.");
    EXPECT_EQ(record, TestHost::StoredEditData(Entries()));
}

TEST_F(SiblingSheet, ChangedSizeGoesThroughTheHostsResize)
{
    EDITDATA* edPtr = TestHost::AsEditData(record);
    HostValue longer(0x53545257, std::wstring(L"abcd"));
    sheet->SetValue(edPtr, FirstID + Name, longer);
    const auto& calls = sheet->Host().FunctionLog();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].edPtr, edPtr);
    EXPECT_EQ(calls[0].id, 5);
    EXPECT_EQ(calls[0].p1, static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(edPtr)));
    EXPECT_EQ(calls[0].p2, static_cast<std::int32_t>(record.size() + 1));
    EXPECT_EQ(calls[0].p3, 0);
    auto entries = Entries();
    entries[Name].value = "abcd";
    EXPECT_EQ(BytesOf(sheet->Host().LastReallocated()), Expected(entries));

    // Refused: the box, and the record as it was.
    const std::vector<std::uint8_t> original = record;
    sheet->Host().reallocRefused = true;
    sheet->SetValue(edPtr, FirstID + Name, longer);
    sheet->ExpectOneBox(L"Property Error",
                        L"NULL returned from EDITDATA reallocation. Property changed cancelled.");
    EXPECT_EQ(record, original);

    // Too large for the host: refused before the host is asked.
    HostValue tooLong(0x53545257, std::wstring(65535, L'x'));
    sheet->SetValue(edPtr, FirstID + Name, tooLong);
    sheet->ExpectOneBox(L"Polvane property error", L"Need " + std::to_wstring(record.size() - 3 + 65535) +
                                                       L" bytes, but EDITDATA can only store 65535 bytes!");
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(record, original);
}

TEST_F(SiblingSheet, CheckBoxesAreBitsInPlace)
{
    EDITDATA* edPtr = TestHost::AsEditData(record);
    sheet->SetCheck(edPtr, FirstID + Flag, TRUE);
    sheet->SetCheck(edPtr, FirstID + Area, TRUE);
    EXPECT_EQ(record[40], 0x90);
    EXPECT_EQ(sheet->GetCheck(edPtr, FirstID + Flag), TRUE);
    EXPECT_EQ(sheet->GetCheck(edPtr, FirstID + Name), FALSE);
    sheet->SetCheck(edPtr, FirstID + Area + 1, TRUE); // past the count
    EXPECT_EQ(sheet->GetCheck(edPtr, FirstID + Area + 1), FALSE);
    EXPECT_EQ(record, TestHost::StoredEditData(Entries(), {0x90}));
    EXPECT_TRUE(sheet->Host().FunctionLog().empty());
    EXPECT_TRUE(sheet->Boxes().empty());
}

TEST_F(SiblingSheet, ImageListsOpenTheHostsImageEditors)
{
    EDITDATA* edPtr = TestHost::AsEditData(record);
    TestHost::Host& host = sheet->Host();
    host.MV()->word14 = 0xBEEF;
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {41};
    EXPECT_EQ(sheet->Edit(edPtr, FirstID + Icon), 1);
    ASSERT_EQ(host.ImageEditorCalls().size(), 1u);
    const auto& single = host.ImageEditorCalls()[0];
    EXPECT_FALSE(single.several);
    EXPECT_EQ(single.edPtr, edPtr);
    EXPECT_EQ(single.word14, 0xBEEFu);
    ASSERT_EQ(single.record.size(), 24u);
    EXPECT_EQ(U32At(single.record, 0), 24u);
    EXPECT_EQ(U32At(single.record, 4), 0u);  // no window title
    EXPECT_EQ(U32At(single.record, 8), 40u); // the stored image, then a zero word
    EXPECT_EQ(U32At(single.record, 12), 0x10u | 0x40u);
    EXPECT_EQ(U32At(single.record, 16), 16u);
    EXPECT_EQ(U32At(single.record, 20), 24u);
    auto entries = Entries();
    entries[Icon].value = U16Bytes({1, 41});
    EXPECT_EQ(record, Expected(entries)); // the same size: written in place

    host.editedImageIDs = {51, 52, 53};
    EXPECT_EQ(sheet->Edit(edPtr, FirstID + Frames), 1);
    ASSERT_EQ(host.ImageEditorCalls().size(), 2u);
    const auto& several = host.ImageEditorCalls()[1];
    EXPECT_TRUE(several.several);
    ASSERT_EQ(several.record.size(), 40u);
    EXPECT_EQ(U32At(several.record, 0), 40u);
    EXPECT_EQ(several.windowTitle, L"Frames");
    EXPECT_EQ(U32At(several.record, 8), 1u);
    EXPECT_EQ(U32At(several.record, 12), 4u);
    EXPECT_EQ(U32At(several.record, 16), 0u);
    EXPECT_EQ(several.imageIDs, (std::vector<std::uint16_t>{50, 0, 0, 0}));
    EXPECT_EQ(several.imageTitles, (std::vector<std::wstring>{L"First", L"Second"}));
    EXPECT_EQ(U32At(several.record, 28), 0x80u);
    EXPECT_EQ(U32At(several.record, 32), 1u);
    EXPECT_EQ(U32At(several.record, 36), 1u);
    entries[Frames].value = U16Bytes({3, 51, 52, 53});
    EXPECT_EQ(BytesOf(host.LastReallocated()), Expected(entries));

    // Cancelled: nothing stored; not an image list: not edited.
    host.imageEditorAnswer = 0;
    const std::vector<std::uint8_t> before = record;
    EXPECT_EQ(sheet->Edit(edPtr, FirstID + Icon), 0);
    EXPECT_EQ(sheet->Edit(edPtr, FirstID + Name), FALSE);
    EXPECT_EQ(host.ImageEditorCalls().size(), 3u);
    EXPECT_EQ(record, before);
    EXPECT_TRUE(sheet->Boxes().empty());
}
