// The property exports of the built library in an editor session, each called as the host calls it, with the
// values read through their slots.
#include "Session.h"
#include "TempTree.h"
#include "TestHost.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using namespace TestHost;

namespace {

// The library copied beside a definition of its own, the update check off.
struct PropertySheet : testing::Test {
    PropertySheet()
    {
        tree.Write(L"Polvane.ini", "DisableUpdateCheckFor=*\r\n");
        tree.Write(L"Morvalex.json", PropertyDefinition(R"([{"Title": "Name", "Type": "Editbox String",
            "DefaultState": "abc"}, {"Title": "Flag", "Type": "Checkbox", "DefaultState": false}, {"Title": "Icon",
            "Type": "Image List"}, {"Title": "Typo", "Type": "Editbox Stringy", "DefaultState": "abc"}])"));
        session.emplace(tree.Copy(BuiltLibraryPath(), L"Morvalex.mfx").wstring(), GetDesktopWindow());
        session->Boxes().Clear(); // the misspelt type's, shown at start-up
    }
    template <typename R = std::uint32_t, typename... Args> R Call(const char* name, Args... args)
    {
        return session->Lib().Export<R(HOST_STDCALL*)(::mV*, Args...)>(name)(session->TheHost().MV(),
                                                                             args...);
    }

    TempTree tree;
    std::optional<Session> session;
};

} // namespace

TEST_F(PropertySheet, EachExportAsTheHostCallsIt)
{
    Host& host = session->TheHost();
    const std::uint32_t id = 0x80000, size = 86; // the size the host is told fits the record built
    ASSERT_EQ(std::pair(session->InitializeResult(), session->RunInfo().editDataSize),
              std::pair(0, std::uint16_t(size)));
    Bytes record = Ended(HeaderBytes(0, 0, 0x55424F5A, 0) + std::string(size - 20, '\0'));
    EDITDATA* edPtr = AsRecord(record);
    EXPECT_EQ((std::pair{Call("CreateObject", 0, edPtr), Call<HGLOBAL>("UpdateEditStructure", edPtr)}),
              std::pair(0u, HGLOBAL()));
    EXPECT_EQ(Put(Put(record, 24, 0), 28, 0), // the hashes are checked in-process
              Ended(HeaderBytes(size, 1, 0x55424F5A, 20) + BlockBytes(4, 0, 0) + "\0"s + E(5, "Name", "abc") +
                    E(10, "Flag", "") + E(23, "Icon", "\0\0"s) + E(1, "", "")));
    // The table goes to the host with CallFunction 1, and the sheet is refreshed with 18.
    const std::size_t first = host.FunctionLog().size();
    EXPECT_EQ(Call("GetProperties", edPtr, FALSE), 1u);
    Call<void>("ReleaseProperties", edPtr, FALSE);
    const auto* calls = &host.FunctionLog().at(first);
    const auto* table = reinterpret_cast<const std::uint32_t*>(std::uintptr_t(calls[0].p1));
    EXPECT_EQ((std::vector<std::uint32_t>{std::uint32_t(calls[0].id), table[0], table[3], table[21],
                                          table[24], std::uint32_t(calls[1].id)}),
              (std::vector<std::uint32_t>{1, id, 1005, 1001, 0, 18}));
    EXPECT_EQ(TakeValue(Call<void*>("GetPropValue", edPtr, id)) +
                  TakeValue(Call<void*>("GetPropValue", edPtr, id + 3)),
              L"STRW:abcSTRW:abc");
    HostValue longer(0x53545257, L"abcd"s);
    Call<void>("SetPropValue", edPtr, id, static_cast<void*>(&longer));
    EXPECT_EQ(std::pair(host.ReallocRequests(), BytesOf(host.LastReallocated())[41 + 7 + 4 + 3]),
              std::pair(std::vector<std::uint32_t>{size + 1}, std::uint8_t('d')));
    Call<void>("SetPropCheck", edPtr, id + 1, TRUE);
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {41};
    EXPECT_EQ((std::tuple{Call("GetPropCheck", edPtr, id + 1), record[40], Call("IsPropEnabled", edPtr, id),
                          Call("EditProp", edPtr, id + 2), host.ReallocRequests().back()}),
              std::tuple(1u, 2, 1u, 1u, size + 2));
    EXPECT_EQ(Shown(session->Boxes().Boxes()), L"");
}
