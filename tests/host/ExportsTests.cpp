#include "Lib/Shared/Host/Platform.h"
#include "Library.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
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
