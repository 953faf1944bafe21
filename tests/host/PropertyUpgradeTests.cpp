// The real library in the editor filling a new object's EDITDATA (CreateObject) and rebuilding stored
// EDITDATA of another version or property list (UpdateEditStructure), with the host's calls to name
// the object and resize its record.
#include "Lib/Shared/Host/Platform.h"
#include "RecordBytes.h"
#include "Session.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace std::string_literals;
using TestHost::RecordBytes;
using TestHost::ValueBytes;

namespace {

using CreateObjectFn = std::int32_t(HOST_STDCALL*)(::mV*, std::int32_t, EDITDATA*);
using UpdateEditStructureFn = HGLOBAL(HOST_STDCALL*)(::mV*, EDITDATA*);

constexpr std::uint32_t HostIdentifier = 0x55424F5A;

// Any non-null main window makes an editor session.
class EditorSession : public TestHost::Session {
public:
    explicit EditorSession(const std::wstring& library = TestHost::BuiltLibraryPath())
        : Session(library, GetDesktopWindow())
    {
    }

    std::int32_t CreateObject(std::vector<std::uint8_t>& edPtr)
    {
        return Lib().Export<CreateObjectFn>("CreateObject")(TheHost().MV(), 0,
                                                            reinterpret_cast<EDITDATA*>(edPtr.data()));
    }
    // The new record, copied out of the global memory it came in (which is then freed); empty for null.
    std::vector<std::uint8_t> Update(EDITDATA* old)
    {
        HGLOBAL memory = Lib().Export<UpdateEditStructureFn>("UpdateEditStructure")(TheHost().MV(), old);
        if (memory == nullptr)
            return {};
        const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(memory));
        EXPECT_EQ(static_cast<const void*>(bytes), memory); // fixed memory
        std::vector<std::uint8_t> record(bytes, bytes + GlobalSize(memory));
        GlobalUnlock(memory);
        GlobalFree(memory);
        return record;
    }
    const std::vector<TestHost::RecordedBox>& Shown() { return Boxes().Boxes(); }
};

// A record as the host allocates it for a new object: zero but for its size and identifier.
std::vector<std::uint8_t> HostRecord(std::uint32_t size)
{
    RecordBytes record;
    record.Header(0, 0, HostIdentifier, 0).Text(std::string(size - 20, '\0'));
    record.Put(0, size);
    return record.bytes;
}

// The record the embedded definition's one Text property gives, with that identifier, maximum size and
// checkbox byte.
std::vector<std::uint8_t> TextVersionRecord(std::uint32_t identifier, std::uint32_t maximumSize = 48,
                                            std::uint8_t checkboxes = 0)
{
    RecordBytes record;
    // Both hashes of a list without value properties are the FNV-1a basis 0x811C9DC5, stored complemented.
    record.Header(maximumSize, 1, identifier, 20).Block(1, 0x7EE3623A, 0x7EE3623A).U8(checkboxes);
    record.Entry(1, "", "").End();
    return record.bytes;
}

std::uint32_t FNV1a(const std::string& bytes)
{
    std::uint32_t hash = 0x811C9DC5;
    for (unsigned char byte : bytes)
        hash = (hash ^ byte) * 16777619u;
    return hash;
}

} // namespace

TEST(PropertyUpgrade, ANewObjectIsFilledFromTheEmbeddedDefinition)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    ASSERT_EQ(session.RunInfo().editDataSize, 48);
    std::vector<std::uint8_t> edPtr = HostRecord(48);
    EXPECT_EQ(session.CreateObject(edPtr), 0);
    EXPECT_EQ(edPtr, TextVersionRecord(HostIdentifier));
    EXPECT_TRUE(session.Shown().empty());
    // The object was recorded as LoadObject records it: the editor is asked to show its properties.
    EXPECT_EQ(session.TheHost().FunctionCount(HostFunction::RefreshProperties), 1);
    EXPECT_TRUE(session.TheHost().ReallocRequests().empty());
}

TEST(PropertyUpgrade, ANewObjectOfAnotherSizeIsResizedByTheHost)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    std::vector<std::uint8_t> edPtr = HostRecord(60);
    const std::vector<std::uint8_t> before = edPtr;
    EXPECT_EQ(session.CreateObject(edPtr), 0);
    ASSERT_EQ(session.Shown().size(), 1u);
    EXPECT_EQ(session.Shown()[0].title, L"EDITDATA size mismatch - Morvalex");
    EXPECT_EQ(session.Shown()[0].text,
              L"Fusion provided an EDITDATA of 60 bytes, but GetEDITDATASizeFromJSON "
              L"calculation was 48 bytes expected.\nThis is a Polvane bug!");
    EXPECT_EQ(session.Shown()[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(session.TheHost().ReallocRequests(), std::vector<std::uint32_t>{48});
    const auto* resized = reinterpret_cast<const std::uint8_t*>(session.TheHost().LastReallocated());
    ASSERT_NE(resized, nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(resized, resized + 48), TextVersionRecord(HostIdentifier));
    EXPECT_EQ(edPtr, before); // the host's old record is not written

    session.TheHost().reallocRefused = true;
    session.Boxes().Clear();
    EXPECT_EQ(session.CreateObject(edPtr), -1);
    ASSERT_EQ(session.Shown().size(), 2u);
    EXPECT_EQ(session.Shown()[0].title, L"EDITDATA size mismatch - Morvalex");
    EXPECT_EQ(session.Shown()[1].title, L"Initialisation failure - Morvalex");
    EXPECT_EQ(session.Shown()[1].text, L"Initialising extension failed: error 12.");
    EXPECT_EQ(edPtr, before);
}

TEST(PropertyUpgrade, ARecordOfAnotherPropertyListIsRebuilt)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    RecordBytes old;
    old.Header(300, 0, 0x1234, 20).Block(2, 0x1111, 0x2222).U8(0x03);
    old.Entry(5, "Name", "old").Entry(6, "Count", ValueBytes(4)).End();
    const std::vector<std::uint8_t> before = old.bytes;
    // The Text property keeps the checkbox bit stored at its position.
    EXPECT_EQ(session.Update(old.Record()), TextVersionRecord(0x1234, 300, 0x01));
    EXPECT_EQ(old.bytes, before);
    // Nothing reset, so the default setting shows no box; the host was asked for the object's name.
    EXPECT_TRUE(session.Shown().empty());
    EXPECT_EQ(session.TheHost().FunctionCount(HostFunction::GetPropertyValue), 1);
}

TEST(PropertyUpgrade, VersionsDecideWhetherToUpgrade)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    RecordBytes current;
    current.Header(0, 1, 0, 20).Block(0, 0, 0).End();
    EXPECT_TRUE(session.Update(current.Record()).empty());
    EXPECT_TRUE(session.Shown().empty());

    RecordBytes newer;
    newer.Header(0, 2, 0, 20).Block(0, 0, 0).End();
    session.Boxes().SetAnswer(IDNO);
    EXPECT_TRUE(session.Update(newer.Record()).empty());
    EXPECT_EQ(newer.Record()->eHeader.extVersion, 1u);
    ASSERT_EQ(session.Shown().size(), 1u);
    EXPECT_EQ(session.Shown()[0].title, L"Property update warning - Morvalex");
    EXPECT_EQ(session.Shown()[0].style & (MB_ICONMASK | MB_TYPEMASK),
              static_cast<UINT>(MB_ICONWARNING | MB_YESNOCANCEL));
}

TEST(PropertyUpgrade, TheBoxNamesTheObjectAndWhatWasReset)
{
    TestHost::TempTree tree;
    tree.Write(L"Morvalex.json",
               R"({"Identifier": "TEST", "Dependencies": "", "L": {"About": {"Name": "Props"},
        "Properties": [{"Type": "Editbox String", "Title": "Name", "DefaultState": "new"},
                       {"Type": "Editbox Number", "Title": "Count", "DefaultState": 3}]}})");
    tree.Write(L"Polvane.ini", "DisableUpdateCheckFor=*\r\nSmartPropertiesUpgradeBox=always\r\n");
    EditorSession session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring());
    ASSERT_EQ(session.InitializeResult(), 0);
    session.TheHost().objectName = L"Gadget";

    RecordBytes old;
    old.Header(0, 0, 9, 20).Block(1, 0x1111, 0x2222).U8(0x01).Entry(5, "name", "kept").End();
    RecordBytes expected;
    expected.Header(0, 1, 9, 20)
        .Block(2, ~FNV1a("name|5 | count|6 | "), ~FNV1a("5|6|"))
        .U8(0x01)
        .Entry(5, "Name", "kept")
        .Entry(6, "Count", ValueBytes(3))
        .End();
    expected.Put(4, static_cast<std::uint32_t>(expected.bytes.size()));
    EXPECT_EQ(session.Update(old.Record()), expected.bytes);
    ASSERT_EQ(session.Shown().size(), 1u);
    EXPECT_EQ(session.Shown()[0].title, L"Upgraded properties - Morvalex");
    EXPECT_EQ(
        session.Shown()[0].text,
        L"Successfully copied 1 of Gadget (Morvalex) object properties from ext version 0 to 1.\n\nAlso set "
        L"1 property to their default settings, namely:\n\u2022 Count");
    EXPECT_EQ(session.Shown()[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(session.TheHost().ReleasedValues(), 1);
}
