// The property exports of the real library in the editor, each called once as the host calls it, with the
// values read through their slots; and a record whose size words are damaged.
#include "PropertyRecords.h"
#include "TestHost.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using namespace TestHost;

namespace {

constexpr std::uint32_t FirstID = 0x80000;

// A value object as the host sees it: its class id (slot 4), its value copied into the host's value record
// (slot 5) as "id:word 1" or "id:text", then released (slot 1).
std::wstring TakeValue(void* object)
{
    if (object == nullptr)
        return L"null|";
    const auto id = CallSlot<std::uint32_t>(object, Slot::GetClassID);
    std::uint32_t value[16];
    EXPECT_EQ(CallSlot<std::int32_t>(object, Slot::CopyToHostValue, static_cast<void*>(value)), 1);
    CallSlot<void>(object, Slot::Delete);
    return std::wstring{wchar_t(id >> 24), wchar_t(id >> 16 & 255), wchar_t(id >> 8 & 255), wchar_t(id & 255),
                        L':'} +
           (id == 0x53545257 ? (const wchar_t*)std::uintptr_t(value[2]) : std::to_wstring(value[1])) + L"|";
}

struct PropertySheet : testing::Test {
    EditorSession editor{
        R"([{"Title": "Name", "Type": "Editbox String"}, {"Title": "Count", "Type": "Editbox Number"},
        {"Title": "Mode", "Type": "Combo Box", "Items": ["a", "b"]}, {"Title": "Flag", "Type": "Checkbox"},
        {"Title": "Icon", "Type": "Image List"},
        {"Title": "Typo", "Type": "Editbox Stringy", "DefaultState": "abc"}])"};
    Bytes record = Stored(6, "\0"s + EntryBytes(5, "Name", "abc") + EntryBytes(6, "Count", ValueBytes(42)) +
                                 EntryBytes(7, "Mode", "b") + EntryBytes(10, "Flag", "") +
                                 EntryBytes(23, "Icon", "\x01\0\x28\0"s) + EntryBytes(1, "", ""));
    EDITDATA* edPtr = AsRecord(record);
};

} // namespace

TEST_F(PropertySheet, EachExportAsTheHostCallsIt)
{
    Host& host = editor.TheHost();
    EXPECT_EQ(editor.Call<BOOL>("GetProperties", edPtr, FALSE), TRUE);
    editor.Call<void>("ReleaseProperties", edPtr, FALSE);
    const auto& calls = host.FunctionLog();
    ASSERT_EQ(calls.size(), 2u);
    const auto* table = reinterpret_cast<const std::uint32_t*>(std::uintptr_t(calls[0].p1));
    EXPECT_EQ(std::vector<std::uint32_t>({std::uint32_t(calls[0].id), table[0], table[3], table[33],
                                          table[36], std::uint32_t(calls[1].id)}),
              std::vector<std::uint32_t>({1, FirstID, 1005, 1001, 0, 18}));
    // The refused type stands as a Text: it answers with its default, without a box.
    std::wstring values;
    for (std::uint32_t index : {0, 1, 2, 3, 5, 6})
        values += TakeValue(editor.Call<void*>("GetPropValue", edPtr, FirstID + index));
    EXPECT_EQ(values, L"STRW:abc|INT :42|DWRD:1|null|STRW:abc|null|");

    HostValue longer(0x53545257, std::wstring(L"abcd"));
    editor.Call<void>("SetPropValue", edPtr, FirstID, static_cast<void*>(&longer));
    EXPECT_EQ(host.ReallocRequests(), std::vector<std::uint32_t>{std::uint32_t(record.size() + 1)});
    EXPECT_EQ(BytesOf(host.LastReallocated())[41 + 7 + 4 + 3], 'd');
    editor.Call<void>("SetPropCheck", edPtr, FirstID + 3, TRUE);
    EXPECT_EQ(std::tuple(editor.Call<BOOL>("GetPropCheck", edPtr, FirstID + 3), record[40],
                         editor.Call<BOOL>("IsPropEnabled", edPtr, 0u)),
              std::tuple(TRUE, 0x08, TRUE));
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {41};
    EXPECT_EQ(editor.Call<BOOL>("EditProp", edPtr, FirstID + 4), 1);
    EXPECT_EQ(host.ImageEditorCalls().at(0).record.size(), 24u);
    EXPECT_EQ(std::string(record.end() - 11, record.end() - 7), "\x01\0\x29\0"s); // the same size: in place
    EXPECT_EQ(editor.Boxes(), L"");
}

// A damaged project gives a record whose size words say nearly 4 GiB: a change that would make it larger is
// refused before anything is copied, rather than the new size wrapping to a few bytes.
TEST_F(PropertySheet, ARecordSizeNear4GiBIsNotWrapped)
{
    const Bytes before = Put(Put(record, 0, 0xFFFFFFFE), 36, 0xFFFFFFFE);
    HostValue longer(0x53545257, std::wstring(L"abcde"));
    editor.Call<void>("SetPropValue", edPtr, FirstID, static_cast<void*>(&longer));
    EXPECT_EQ(editor.Boxes(),
              L"E Polvane property error: Need 4294967296 bytes, but EDITDATA can only store 65535 bytes!");
    EXPECT_EQ(std::pair(editor.TheHost().ReallocRequests().size(), record),
              std::pair(std::size_t(0), before));
}
