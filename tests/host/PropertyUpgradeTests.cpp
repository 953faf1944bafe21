// The real library in the editor filling a new object's EDITDATA (CreateObject) and rebuilding stored
// EDITDATA of another version or property list (UpdateEditStructure).
#include "PropertyRecords.h"
#include "TestHost.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using namespace TestHost;

namespace {

const auto E = EntryBytes;

// The record the host makes for a new object, zero but for its size and identifier.
Bytes HostRecord(std::uint32_t size)
{
    return Ended(HeaderBytes(0, 0, 0x55424F5A, 0) + std::string(size - 20, '\0'));
}

// The new record, copied out of the global memory it came in (then freed); empty for null.
Bytes Update(EditorSession& editor, Bytes& old)
{
    HGLOBAL memory = editor.Call<HGLOBAL>("UpdateEditStructure", AsRecord(old));
    const auto* bytes = static_cast<const std::uint8_t*>(memory ? GlobalLock(memory) : nullptr);
    const Bytes record = bytes ? Bytes(bytes, bytes + GlobalSize(memory)) : Bytes();
    if (memory)
        GlobalUnlock(memory), GlobalFree(memory);
    return record;
}

std::uint32_t FNV1a(const std::string& bytes)
{
    std::uint32_t hash = 0x811C9DC5;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 16777619u;
    return hash;
}

} // namespace

TEST(PropertyUpgrade, NewObjectsAndRecordsOfTheCurrentVersion)
{
    EditorSession editor; // the embedded definition: one Text titled Version
    ASSERT_EQ(editor.RunInfo().editDataSize, 48);
    const Bytes built = Ended(HeaderBytes(48, 1, 0x55424F5A, 20) + BlockBytes(1, ~0x811C9DC5u, ~0x811C9DC5u) +
                              "\0"s + E(1, "", ""));
    Bytes edPtr = HostRecord(48);
    EXPECT_EQ(editor.Call<std::int32_t>("CreateObject", 0, AsRecord(edPtr)), 0);
    EXPECT_EQ(std::pair(edPtr, editor.Boxes()), std::pair(built, std::wstring()));
    EXPECT_TRUE(Update(editor, edPtr).empty()); // nothing to upgrade

    // Another size: the host is asked to resize its record; when it cannot, the object is not made.
    Host& host = editor.TheHost();
    edPtr = HostRecord(60);
    EXPECT_EQ(editor.Call<std::int32_t>("CreateObject", 0, AsRecord(edPtr)), 0);
    EXPECT_EQ(std::pair(host.ReallocRequests(), BytesOf(host.LastReallocated())),
              std::pair(std::vector{48u}, built));
    host.reallocRefused = true;
    EXPECT_EQ(editor.Call<std::int32_t>("CreateObject", 0, AsRecord(edPtr)), -1);
    const std::wstring mismatch =
        L"E EDITDATA size mismatch: Fusion provided an EDITDATA of 60 bytes, but "
        L"GetEDITDATASizeFromJSON calculation was 48 bytes expected.\nThis is a Polvane bug!";
    EXPECT_EQ(editor.Boxes(), mismatch + L" ## " + mismatch +
                                  L" ## E Initialisation failure: Initialising extension "
                                  L"failed: error 12.");
    EXPECT_EQ(edPtr, HostRecord(60));
}

// A type the definition misspells stands as a Text: the size the host is told and the record built agree, so
// a new object is made without a box.
TEST(PropertyUpgrade, ARefusedTypeIsSizedAsItIsStored)
{
    EditorSession editor(R"([{"Title": "Name", "Type": "Editbox Stringy", "DefaultState": "abc"}])");
    ASSERT_EQ(editor.RunInfo().editDataSize, 48);
    Bytes edPtr = HostRecord(48);
    EXPECT_EQ(editor.Call<std::int32_t>("CreateObject", 0, AsRecord(edPtr)), 0);
    EXPECT_EQ(std::pair(editor.Boxes(), editor.TheHost().ReallocRequests().size()),
              std::pair(std::wstring(), std::size_t(0)));
}

// The titles hash leaves out properties without a value: a block written before a Text was added still
// matches it, but its entries no longer line up with the properties, so it is converted, not kept.
TEST(PropertyUpgrade, ABlockWhoseEntriesDoNotLineUpIsConverted)
{
    EditorSession editor(R"([{"Title": "Heading", "Type": "Text"}, {"Title": "A", "Type": "Editbox String"},
                             {"Title": "B", "Type": "Editbox String"}])");
    const std::string block = E(5, "A", "first") + E(5, "B", "second");
    const std::uint32_t titles = ~FNV1a("a|5 | b|5 | "), types = ~FNV1a("5|5|");
    Bytes old = Ended(HeaderBytes(0, 0, 7, 20) + BlockBytes(2, titles, types) + "\x02" + block);
    Bytes expected =
        Ended(HeaderBytes(0, 1, 7, 20) + BlockBytes(3, titles, types) + "\x04" + E(1, "", "") + block);
    EXPECT_EQ(Update(editor, old), Put(expected, 4, std::uint32_t(expected.size())));
    EXPECT_EQ(editor.Boxes(), L"");
}
