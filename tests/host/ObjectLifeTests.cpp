// The library loaded as the host loads it: its run information and dependencies, objects created, found
// behind the host's own records, loaded, unloaded and destroyed, and their debugger trees.
#include "Session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Where a call finds the top of the stack: a routine that takes more or fewer words off the stack than the
// host pushed moves it for every later call.
[[gnu::noinline]] std::uintptr_t StackTop()
{
    volatile char here = 0;
    return reinterpret_cast<std::uintptr_t>(&here);
}

const std::wstring noDebugItem =
    L" stopped on an unexpected error: Couldn't find debug ID in Fusion debugger list.|";

// A second Initialize keeps the first state object: the run information is the same. Every member links
// to the embedded definition without a box; an object's pointer is the last word of its RUNDATA while it
// lives, and null after, when the object exports answer neutrally.
TEST(ObjectLife, RunInformationAndObjects)
{
    TestHost::Session session;
    const TestHost::Library& lib = session.Lib();
    HostRunInfo info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_EQ(lib.Call("Initialize", session.TheHost().MV(), 0), 0);
    lib.Call("GetRunObjectInfos", session.TheHost().MV(), &info);
    std::string fields(info.identifier, 4);
    for (unsigned field :
         {info.numOfConditions, info.numOfActions, info.numOfExpressions, info.editDataSize,
          std::uint16_t{info.windowProcPriority}, std::uint16_t{info.pad19}, info.objectFlags2, info.version})
        fields += " " + std::to_string(field);
    EXPECT_EQ(fields + " " + std::to_string(info.objectFlags),
              "ZOBU 6 42 76 48 100 204 0 1 0"); // byte 0x19 is not written
    EXPECT_EQ(
        (std::vector<void*>{static_cast<void**>(info.actions)[42], static_cast<void**>(info.conditions)[6],
                            static_cast<void**>(info.expressions)[76]}),
        (std::vector<void*>{nullptr, nullptr, nullptr}));
    info.pad19 = session.RunInfo().pad19;
    EXPECT_EQ(std::memcmp(&info, &session.RunInfo(), sizeof info), 0);
    EXPECT_EQ(lib.Call("GetRunObjectDataSize", 0, 0), 188);

    RUNDATA* first = session.CreateObject();
    RUNDATA* second = session.CreateObject();
    ASSERT_NE(first->pExtension, nullptr);
    EXPECT_NE(first->pExtension, second->pExtension);
    EXPECT_EQ(session.TheHost().FunctionCount(112), 1); // the OiList entry size is settled once
    const auto answers = [&](RUNDATA* rd) {
        std::string text;
        for (const char* name : {"HandleRunObject", "PauseRunObject", "ContinueRunObject"})
            text += std::to_string(lib.Call(name, rd));
        return text;
    };
    EXPECT_EQ(answers(first), "100");
    session.DestroyObject(first);
    EXPECT_EQ(first->pExtension, nullptr);
    EXPECT_EQ(lib.Call("DestroyRunObject", first, 0), 0);
    EXPECT_EQ(answers(first), "100");
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

// With object flags for animations, movements, values or sprites the host puts records of its own before the
// extension's pointer, which is then read that much further on; other flags do not move it.
TEST(ObjectLife, TheObjectIsFoundAfterTheHostsOwnRecords)
{
    TestHost::Session session;
    const TestHost::Library& lib = session.Lib();
    // A record with room for every host record; its header as the host fills it.
    std::vector<std::uint8_t> bytes(800);
    auto* rd = reinterpret_cast<RUNDATA*>(bytes.data());
    rd->rHo.runHeader = session.TheHost().NewObject()->rHo.runHeader;
    ASSERT_EQ(lib.Call("CreateRunObject", rd, nullptr, nullptr), 0);
    Extension* ext = rd->pExtension;
    ASSERT_NE(ext, nullptr);
    std::uint16_t* ownTree = lib.Call<std::uint16_t*>("GetDebugTree", rd);
    const std::pair<std::uint32_t, std::size_t> cases[] = {
        {0x20, 384},  {0x10, 462},  {0x200, 340}, {0x100, 358}, {0x30, 542},
        {0x300, 514}, {0x330, 752}, {0x40, 184},  {0x1, 184},   {0, 184},
    };
    for (const auto& [flags, offset] : cases) {
        std::fill(bytes.begin() + 184, bytes.end(), 0);
        std::memcpy(&bytes[offset], &ext, sizeof ext);
        rd->rHo.oeFlags = flags;
        EXPECT_EQ(std::pair(session.Expression(rd, 0, {2, 3}), lib.Call<std::uint16_t*>("GetDebugTree", rd)),
                  std::pair(5, ownTree)) // Add
            << flags;
        if (offset == 184)
            continue;
        // At byte 184 alone, where it is without such flags, the pointer is not found.
        std::memcpy(&bytes[184], &ext, sizeof ext);
        std::memset(&bytes[offset], 0, sizeof ext);
        EXPECT_EQ(std::pair(session.Expression(rd, 0, {2, 3}),
                            lib.Call<std::uint16_t*>("GetDebugTree", rd) == ownTree),
                  std::pair(0, false))
            << flags;
    }
    rd->rHo.oeFlags = 0;
    std::memcpy(&bytes[184], &ext, sizeof ext);
    EXPECT_EQ(lib.Call("DestroyRunObject", rd, 0), 0);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

// LoadObject hands the library the host's record of a loaded object: from then on boxes are owned by its main
// window and, in the editor, the host is asked to show the object's properties again. UnloadObject does
// nothing. Each takes its words off the stack.
TEST(ObjectLife, LoadAndUnloadObjectAsTheHostCallsThem)
{
    std::uint32_t edPtr[16] = {};
    wchar_t buffer[256];
    // A built application, then the editor; the window the record names at the load, the boxes' style.
    const std::tuple<void*, std::uintptr_t, std::vector<std::int32_t>, unsigned> cases[] = {
        {nullptr, 0x1234, {}, MB_ICONERROR},
        {GetDesktopWindow(), 0x5678, {18, 0, 0, 0}, MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND}};
    for (const auto& [mainWindow, loadedWindow, asked, style] : cases) {
        TestHost::Session session(TestHost::BuiltLibraryPath(), mainWindow);
        const TestHost::Library& lib = session.Lib();
        RUNDATA* object = session.CreateObject();
        TestHost::Host& host = session.TheHost();
        host.ResetCounts();
        host.MV()->mainWindow = reinterpret_cast<void*>(loadedWindow);
        const std::uintptr_t top = StackTop();
        EXPECT_EQ(lib.Call("LoadObject", host.MV(), 7, reinterpret_cast<EDITDATA*>(edPtr), 9), 0);
        lib.Call<void>("UnloadObject", 1, 2, 3);
        EXPECT_EQ(StackTop(), top);
        std::vector<std::int32_t> functions;
        for (const auto& call : host.functionLog) {
            EXPECT_EQ(call.edPtr, reinterpret_cast<EDITDATA*>(edPtr));
            functions.insert(functions.end(), {call.id, call.p1, call.p2, call.p3});
        }
        EXPECT_EQ(functions, asked) << loadedWindow;
        EXPECT_TRUE(host.callbackLog.empty() && session.Boxes().Boxes().empty()) << loadedWindow;
        lib.Call<void>("GetDebugItem", buffer, object, 0);
        ASSERT_EQ(session.Boxes().Boxes().size(), 1u);
        const TestHost::RecordedBox& box = session.Boxes().Boxes()[0];
        EXPECT_EQ(
            std::tuple(box.title + L": " + box.text + L"|", reinterpret_cast<std::uintptr_t>(box.owner),
                       box.style),
            std::tuple(L"Polvane SDK error - Morvalex: GetDebugItem" + noDebugItem, loadedWindow, style));
    }
}

// An object's debugger tree is its own and holds only the end mark. It has no item to show or edit: each
// request is refused in a box, and neither the host's buffer nor its edit dialogs are touched.
TEST(ObjectLife, AnObjectsDebuggerTreeHoldsNoItem)
{
    TestHost::Session session;
    const TestHost::Library& lib = session.Lib();
    RUNDATA* first = session.CreateObject();
    RUNDATA* second = session.CreateObject();
    const auto tree = [&](RUNDATA* rd) { return lib.Call<std::uint16_t*>("GetDebugTree", rd); };
    const std::uint16_t* own = tree(first);
    EXPECT_EQ(std::tuple(own[0], tree(first) == own, tree(second) == own), std::tuple(0xFFFF, true, false));
    wchar_t buffer[256] = L"kept";
    std::wstring expected;
    for (int id : {0, -1, 1}) {
        lib.Call<void>("GetDebugItem", buffer, first, id);
        lib.Call<void>("EditDebugItem", first, id);
        expected += L"Polvane SDK error - Morvalex: GetDebugItem" + noDebugItem +
                    L"Polvane SDK error - Morvalex: EditDebugItem" + noDebugItem;
    }
    EXPECT_STREQ(buffer, L"kept");
    EXPECT_TRUE(session.TheHost().callbackLog.empty());
    EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()), expected);
}

// Read from a file, the definition is the first dependency. The list holds 31 names and a null end, and 1024
// characters with the names' terminators: a name that does not fit is left out whole, and a shorter one after
// it may still fit.
TEST(ObjectLife, TheDependencyListKeepsWholeNamesWithinItsLimits)
{
    using Names = std::vector<std::wstring>;
    const std::wstring x300(300, L'x'), x1009(1009, L'x'), x1010(1010, L'x');
    Names forty{L"Morvalex.json"};
    for (int i = 0; i < 40; ++i)
        forty.push_back(L"d" + std::to_wstring(i) + L".dll");
    const std::pair<Names, Names> cases[] = {
        {Names(forty.begin() + 1, forty.end()), Names(forty.begin(), forty.begin() + 31)},
        {{x300, x300, x300, x300, L"short.dll"}, {L"Morvalex.json", x300, x300, x300, L"short.dll"}},
        {{x1009, L"a"}, {L"Morvalex.json", x1009}},
        {{x1010, L"a"}, {L"Morvalex.json", L"a"}},
    };
    for (const auto& [dependencies, listed] : cases) {
        std::string array;
        for (const std::wstring& name : dependencies)
            array += (array.empty() ? "\"" : ", \"") + std::string(name.begin(), name.end()) + "\"";
        TestHost::TempTree tree;
        tree.Write(L"Morvalex.json",
                   R"({"Identifier": "DEPS", "L": {"About": {"Name": "x"}}, "Dependencies": [)" + array +
                       "]}");
        TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring());
        Names names;
        for (const wchar_t** name = session.Lib().Call<const wchar_t**>("GetDependencies"); *name; ++name)
            names.push_back(*name);
        EXPECT_EQ(names, listed) << dependencies.size();
    }
}

} // namespace
