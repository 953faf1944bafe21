#include "Lib/Shared/Host/Platform.h"
#include "Library.h"
#include "MessageBoxRecorder.h"
#include "Session.h"
#include "TempTree.h"
#include "TestHost.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using GetInfosFn = std::uint32_t(HOST_STDCALL*)(std::int32_t);

TEST(GetInfos, AnswersItsTable)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    auto getInfos = library.Export<GetInfosFn>("GetInfos");
    EXPECT_EQ(getInfos(0), 0x300u);
    EXPECT_EQ(getInfos(2), 0x100u);
    EXPECT_EQ(getInfos(6), 2u);
    EXPECT_EQ(getInfos(7), 254u);
    EXPECT_EQ(getInfos(8), 1u);
    for (int other : {-1, 1, 3, 4, 5, 9, 100})
        EXPECT_EQ(getInfos(other), 0u) << other;
}

namespace {

// The names of the DLLs a module imports from, lower case, read from its import table.
std::vector<std::string> ImportedLibraries(HMODULE module)
{
    auto* base = reinterpret_cast<const std::uint8_t*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> names;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        std::string name = reinterpret_cast<const char*>(base + entry->Name);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        names.push_back(name);
    }
    return names;
}

} // namespace

TEST(BuiltLibrary, ImportsOnlyWindowsSystemLibraries)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "msvcrt.dll", "ole32.dll",
                                          "oleaut32.dll", "ws2_32.dll", "shell32.dll", "gdi32.dll",
                                          "advapi32.dll"};
    const std::vector<std::string> imported = ImportedLibraries(library.Module());
    EXPECT_FALSE(imported.empty());
    for (const std::string& name : imported)
        EXPECT_EQ(system.count(name), 1u) << name << " is not a Windows system library";
}

TEST(BuiltLibrary, ExportsItsEntryPointsByName)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    for (const char* name : {"DllMain", "Initialize", "Free", "GetInfos", "GetDependencies", "GetRunObjectInfos",
                             "GetRunObjectDataSize", "CreateRunObject", "DestroyRunObject", "HandleRunObject",
                             "PauseRunObject", "ContinueRunObject", "LoadObject", "UnloadObject"})
        EXPECT_NE(GetProcAddress(library.Module(), name), nullptr) << name;
    // Undecorated names only: no stdcall decoration is exported beside them.
    EXPECT_EQ(GetProcAddress(library.Module(), "GetInfos@4"), nullptr);
    EXPECT_EQ(GetProcAddress(library.Module(), "_GetInfos@4"), nullptr);
}

TEST(BuiltLibrary, EmbedsTheIconAndTheDefinition)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    for (int id : {101, 102}) {
        HRSRC resource = FindResourceW(library.Module(), MAKEINTRESOURCEW(id), L"TOVIK");
        ASSERT_NE(resource, nullptr) << id;
        EXPECT_GT(SizeofResource(library.Module(), resource), 0u) << id;
    }
    HRSRC icon = FindResourceW(library.Module(), MAKEINTRESOURCEW(101), L"TOVIK");
    const auto* png = static_cast<const std::uint8_t*>(LockResource(LoadResource(library.Module(), icon)));
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(png, signature, sizeof signature), 0);
    // The IHDR chunk gives a 32 by 32 image.
    EXPECT_EQ(png[16] << 24 | png[17] << 16 | png[18] << 8 | png[19], 32);
    EXPECT_EQ(png[20] << 24 | png[21] << 16 | png[22] << 8 | png[23], 32);
}

namespace {

using InitializeFn = std::int32_t(HOST_STDCALL*)(::mV*, std::int32_t);
using GetRunObjectInfosFn = std::int32_t(HOST_STDCALL*)(::mV*, HostRunInfo*);
using GetDependenciesFn = const wchar_t**(HOST_STDCALL*)();
using GetDebugTreeFn = std::uint16_t*(HOST_STDCALL*)(RUNDATA*);
using GetDebugItemFn = void(HOST_STDCALL*)(wchar_t*, RUNDATA*, std::int32_t);
using EditDebugItemFn = void(HOST_STDCALL*)(RUNDATA*, std::int32_t);

} // namespace

// Exports the host calls before a successful Initialize, or for an object that was never built, answer
// neutrally and leave the host running.
TEST(OutOfOrder, ExportsAnswerNeutrallyBeforeInitialize)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    TestHost::MessageBoxRecorder boxes(library.Module());
    TestHost::Host host;
    HostRunInfo info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(library.Export<GetRunObjectInfosFn>("GetRunObjectInfos")(host.MV(), &info), 0);
    EXPECT_EQ(info.numOfActions, 0xABAB);
    const wchar_t** dependencies = library.Export<GetDependenciesFn>("GetDependencies")();
    ASSERT_NE(dependencies, nullptr);
    EXPECT_EQ(dependencies[0], nullptr);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].title, L"Polvane error - Morvalex");
    EXPECT_EQ(boxes.Boxes()[0].text,
              L"Premature function call!\n  Called DefaultLanguageIndex() before ::SDK was a valid pointer.");

    ASSERT_EQ(library.Export<InitializeFn>("Initialize")(host.MV(), 0), 0);
    EXPECT_EQ(library.Export<GetRunObjectInfosFn>("GetRunObjectInfos")(host.MV(), &info), 1);
    EXPECT_EQ(info.numOfActions, 42);
    RUNDATA* neverBuilt = host.NewObject();
    const std::uint16_t* tree = library.Export<GetDebugTreeFn>("GetDebugTree")(neverBuilt);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree[0], 0xFFFF);
    wchar_t buffer[256] = L"kept";
    library.Export<GetDebugItemFn>("GetDebugItem")(buffer, neverBuilt, 0);
    library.Export<EditDebugItemFn>("EditDebugItem")(neverBuilt, 0);
    EXPECT_STREQ(buffer, L"kept");
    EXPECT_EQ(boxes.Boxes().size(), 1u);
}

// A sibling file too large to read throws inside start-up: the boundary shows it and Initialize answers
// -1. Once the file is fit to read, the same library starts.
TEST(Boundary, AnExceptionInAnExportIsABoxAndTheNeutralAnswer)
{
    const std::pair<const wchar_t*, void*> cases[] = {
        {L"Morvalex.json", nullptr},                     // the definition, in a built application
        {L"Morvalex.png", reinterpret_cast<void*>(0x1)}, // the icon, while the editor builds the state object
    };
    for (const auto& [sibling, mainWindow] : cases) {
        const std::string label(sibling, sibling + wcslen(sibling));
        TestHost::TempTree tree;
        const std::filesystem::path library = tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx");
        const std::filesystem::path file =
            tree.Write(sibling, R"({"Identifier": "FILE", "L": {"About": {"Name": "x"}}})");
        std::filesystem::resize_file(file, (16 << 20) + 1); // sparse: nothing is written
        TestHost::Session session(library.wstring(), mainWindow);
        EXPECT_EQ(session.InitializeResult(), -1) << label;
        ASSERT_EQ(session.Boxes().Boxes().size(), 1u) << label;
        EXPECT_EQ(session.Boxes().Boxes()[0].title, L"Polvane SDK error - Morvalex") << label;
        EXPECT_EQ(session.Boxes().Boxes()[0].text, L"Initialize stopped on an unexpected error: Out of memory")
            << label;
        std::filesystem::resize_file(file, 16 << 20);
        EXPECT_EQ(session.Lib().Export<InitializeFn>("Initialize")(session.TheHost().MV(), 0), 0) << label;
    }
}
