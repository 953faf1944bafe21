// The property exports of the real library in the editor, called as the host calls them, with the values
// read through their slots.
#include "Session.h"
#include "TempTree.h"
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

// The built library in an editor session, copied beside a definition of its own; the update check is off.
// A misspelt type stands as a Text that stores nothing.
struct PropertySheet : testing::Test {
    PropertySheet()
    {
        tree.Write(L"Polvane.ini", "DisableUpdateCheckFor=*\r\n");
        tree.Write(L"Morvalex.json", PropertyDefinition(R"([
            {"Title": "Name", "Type": "Editbox String", "DefaultState": "abc"},
            {"Title": "Count", "Type": "Editbox Number", "DefaultState": 42},
            {"Title": "Mode", "Type": "Combo Box", "Items": ["a", "b"], "DefaultState": "b"},
            {"Title": "Flag", "Type": "Checkbox", "DefaultState": false}, {"Title": "Icon", "Type": "Image List"},
            {"Title": "Typo", "Type": "Editbox Stringy", "DefaultState": "abc"}])"));
        session.emplace(tree.Copy(BuiltLibraryPath(), L"Morvalex.mfx").wstring(), GetDesktopWindow());
        EXPECT_EQ(session->InitializeResult(), 0);
        session->Boxes().Clear();
    }
    template <typename R, typename... Args> R Call(const char* name, Args... args)
    {
        return session->Lib().Export<R(HOST_STDCALL*)(::mV*, Args...)>(name)(host().MV(), args...);
    }
    std::wstring Boxes()
    {
        const std::wstring shown = Shown(session->Boxes().Boxes());
        session->Boxes().Clear();
        return shown;
    }
    Host& host() { return session->TheHost(); }
    // The record the host makes for a new object, zero but for its size and identifier.
    static Bytes HostRecord(std::uint32_t size)
    {
        return Ended(HeaderBytes(0, 0, 0x55424F5A, 0) + std::string(size - 20, '\0'));
    }

    TempTree tree;
    std::optional<Session> session;
    const std::string entries = "\0"s + E(5, "Name", "abc") + E(6, "Count", N(42)) + E(7, "Mode", "b") +
                                E(10, "Flag", "") + E(23, "Icon", "\0\0"s) + E(1, "", "");
    const std::uint32_t size = 114;
    const Bytes built = Ended(HeaderBytes(size, 1, 0x55424F5A, 20) + BlockBytes(6, 0, 0) + entries);
    Bytes record = HostRecord(size);
    EDITDATA* edPtr = AsRecord(record);
};

} // namespace

TEST_F(PropertySheet, EachExportAsTheHostCallsIt)
{
    // The size the host is told and the record built agree, the refused type included.
    ASSERT_EQ(session->RunInfo().editDataSize, size);
    EXPECT_EQ(Call<std::int32_t>("CreateObject", 0, edPtr), 0);
    EXPECT_EQ(Put(Put(record, 24, 0), 28, 0), built); // hashes blanked: they are pinned in-process
    EXPECT_EQ(Call<HGLOBAL>("UpdateEditStructure", edPtr), nullptr);

    const std::size_t before = host().FunctionLog().size();
    EXPECT_EQ(Call<BOOL>("GetProperties", edPtr, FALSE), TRUE);
    Call<void>("ReleaseProperties", edPtr, FALSE);
    const auto calls = host().FunctionLog().data() + before;
    ASSERT_EQ(host().FunctionLog().size(), before + 2);
    const auto* table = reinterpret_cast<const std::uint32_t*>(std::uintptr_t(calls[0].p1));
    EXPECT_EQ(std::vector<std::uint32_t>({std::uint32_t(calls[0].id), table[0], table[3], table[33],
                                          table[36], std::uint32_t(calls[1].id)}),
              std::vector<std::uint32_t>({1, FirstID, 1005, 1001, 0, 18}));
    std::wstring values;
    for (std::uint32_t index : {0, 1, 2, 3, 5, 6})
        values += TakeValue(Call<void*>("GetPropValue", edPtr, FirstID + index));
    EXPECT_EQ(values, L"STRW:abc|INT :42|DWRD:1|null|STRW:abc|null|");

    HostValue longer(0x53545257, std::wstring(L"abcd"));
    Call<void>("SetPropValue", edPtr, FirstID, static_cast<void*>(&longer));
    EXPECT_EQ(host().ReallocRequests(), std::vector<std::uint32_t>{size + 1});
    EXPECT_EQ(BytesOf(host().LastReallocated())[41 + 7 + 4 + 3], 'd');
    Call<void>("SetPropCheck", edPtr, FirstID + 3, TRUE);
    EXPECT_EQ(std::tuple(Call<BOOL>("GetPropCheck", edPtr, FirstID + 3), record[40],
                         Call<BOOL>("IsPropEnabled", edPtr, 0u)),
              std::tuple(TRUE, 0x08, TRUE));
    host().imageEditorAnswer = 1;
    host().editedImageIDs = {41};
    EXPECT_EQ(Call<BOOL>("EditProp", edPtr, FirstID + 4), 1);
    const Bytes edited = BytesOf(host().LastReallocated());
    EXPECT_EQ(std::string(edited.end() - 11, edited.end() - 7), "\x01\0\x29\0"s);
    EXPECT_EQ(Boxes(), L"");
}

// Another size: the host is asked to resize its record; when it cannot, the object is not made.
TEST_F(PropertySheet, CreateObjectResizesTheHostsRecord)
{
    record = HostRecord(size + 12);
    EXPECT_EQ(Call<std::int32_t>("CreateObject", 0, AsRecord(record)), 0);
    Bytes resized = BytesOf(host().LastReallocated());
    EXPECT_EQ(std::pair(host().ReallocRequests(), Put(Put(resized, 24, 0), 28, 0)),
              std::pair(std::vector{size}, built));
    host().reallocRefused = true;
    EXPECT_EQ(Call<std::int32_t>("CreateObject", 0, AsRecord(record)), -1);
    const std::wstring mismatch = L"E EDITDATA size mismatch: Fusion provided an EDITDATA of 126 bytes, but "
                                  L"GetEDITDATASizeFromJSON calculation was 114 bytes expected.\nThis is a "
                                  L"Polvane bug!";
    EXPECT_EQ(Boxes(), mismatch + L" ## " + mismatch +
                           L" ## E Initialisation failure: Initialising extension failed: error 12.");
    EXPECT_EQ(record, HostRecord(size + 12));
}

// A damaged project gives a record whose size words say nearly 4 GiB: a change that would make it larger is
// refused before anything is copied, rather than the new size wrapping to a few bytes.
TEST_F(PropertySheet, ARecordSizeNear4GiBIsNotWrapped)
{
    record = Stored(6, entries);
    const Bytes before = Put(Put(record, 0, 0xFFFFFFFE), 36, 0xFFFFFFFE);
    HostValue longer(0x53545257, std::wstring(L"abcde"));
    Call<void>("SetPropValue", AsRecord(record), FirstID, static_cast<void*>(&longer));
    EXPECT_EQ(Boxes(),
              L"E Polvane property error: Need 4294967296 bytes, but EDITDATA can only store 65535 bytes!");
    EXPECT_EQ(std::pair(host().ReallocRequests().size(), record), std::pair(std::size_t(0), before));
}
