// The library's exports as the host meets them, in and out of the host's usual order, and the boundary
// that turns an exception inside an export into a box and a neutral answer.
#include "Lib/Shared/Host/Platform.h"
#include "Session.h"
#include "TempTree.h"

#include <gtest/gtest.h>

namespace {

std::wstring Seen(const TestHost::RecordedBox& box) { return box.title + L"|" + box.text; }

} // namespace

// Before a successful Initialize, and for an object never built, exports answer neutrally.
TEST(Exports, AnswerTheHostInAndOutOfOrder)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    TestHost::MessageBoxRecorder boxes(library.Module());
    TestHost::Host host;
    auto getInfos = library.Export<std::uint32_t(HOST_STDCALL*)(std::int32_t)>("GetInfos");
    for (const auto& [info, answer] : {std::pair{0, 0x300u}, {2, 0x100u}, {6, 2u}, {7, 254u}, {8, 1u}, {9, 0u}})
        EXPECT_EQ(getInfos(info), answer) << info;
    auto getRunObjectInfos = library.Export<std::int32_t(HOST_STDCALL*)(::mV*, HostRunInfo*)>("GetRunObjectInfos");
    HostRunInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(getRunObjectInfos(host.MV(), &info), 0);
    EXPECT_EQ(info.numOfActions, 0xABAB);
    EXPECT_EQ(*library.Export<const wchar_t**(HOST_STDCALL*)()>("GetDependencies")(), nullptr);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(Seen(boxes.Boxes()[0]), L"Polvane error - Morvalex|Premature function call!\n  Called "
                                      L"DefaultLanguageIndex() before ::SDK was a valid pointer.");

    ASSERT_EQ(library.Export<std::int32_t(HOST_STDCALL*)(::mV*, std::int32_t)>("Initialize")(host.MV(), 0), 0);
    EXPECT_EQ(getRunObjectInfos(host.MV(), &info), 1);
    EXPECT_EQ(info.numOfActions, 42);
    // An object never built shows an empty debugger tree; a built one has its own, and an item it does not
    // have is a box.
    auto getDebugTree = library.Export<std::uint16_t*(HOST_STDCALL*)(RUNDATA*)>("GetDebugTree");
    auto getDebugItem = library.Export<void(HOST_STDCALL*)(wchar_t*, RUNDATA*, std::int32_t)>("GetDebugItem");
    auto editDebugItem = library.Export<void(HOST_STDCALL*)(RUNDATA*, std::int32_t)>("EditDebugItem");
    RUNDATA* objects[] = {host.NewObject(), host.NewObject()};
    library.Export<std::int32_t(HOST_STDCALL*)(RUNDATA*, EDITDATA*, void*)>("CreateRunObject")(objects[1], nullptr, nullptr);
    wchar_t buffer[256] = L"kept";
    for (RUNDATA* rd : objects) {
        EXPECT_EQ(getDebugTree(rd)[0], 0xFFFF);
        getDebugItem(buffer, rd, 0);
        editDebugItem(rd, 0);
    }
    EXPECT_NE(getDebugTree(objects[0]), getDebugTree(objects[1]));
    EXPECT_STREQ(buffer, L"kept");
    ASSERT_EQ(boxes.Boxes().size(), 3u);
    for (const auto& [box, entry] : {std::pair{1, L"GetDebugItem"}, {2, L"EditDebugItem"}})
        EXPECT_EQ(Seen(boxes.Boxes()[box]), L"Polvane SDK error - Morvalex|" + std::wstring(entry) +
                                                L" stopped on an unexpected error: Couldn't find debug ID in Fusion "
                                                L"debugger list.");
    library.Export<std::int32_t(HOST_STDCALL*)(RUNDATA*, std::int32_t)>("DestroyRunObject")(objects[1], 0);
}

// A sibling file too large to read throws inside start-up: the boundary shows it and Initialize answers
// -1. Once the file is fit to read, the same library starts.
TEST(Boundary, AnExceptionInAnExportIsABoxAndTheNeutralAnswer)
{
    // The definition in a built application; the icon while the editor builds the state object.
    for (const auto& [sibling, mainWindow] : {std::pair{L"Morvalex.json", 0}, {L"Morvalex.png", 1}}) {
        TestHost::TempTree tree;
        const std::filesystem::path library = tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx");
        const auto file = tree.Write(sibling, R"({"Identifier": "FILE", "L": {"About": {"Name": "x"}}})");
        std::filesystem::resize_file(file, (16 << 20) + 1); // sparse: nothing more is written
        TestHost::Session session(library.wstring(), reinterpret_cast<void*>(mainWindow));
        EXPECT_EQ(session.InitializeResult(), -1) << file;
        ASSERT_EQ(session.Boxes().Boxes().size(), 1u) << file;
        EXPECT_EQ(Seen(session.Boxes().Boxes()[0]),
                  L"Polvane SDK error - Morvalex|Initialize stopped on an unexpected error: Out of memory");
        std::filesystem::resize_file(file, 16 << 20);
        auto initialize = session.Lib().Export<std::int32_t(HOST_STDCALL*)(::mV*, std::int32_t)>("Initialize");
        EXPECT_EQ(initialize(session.TheHost().MV(), 0), 0) << file;
    }
}
