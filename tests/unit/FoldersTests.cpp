#include "InProcess.h"
#include "Library.h"
#include "TempTree.h"

#include "Lib/Shared/Polvane/Folders.h"
#include "Lib/Shared/Polvane/Globals.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::wstring WithSlash(const fs::path& folder) { return folder.wstring() + L"\\"; }

} // namespace

TEST(GetModulePath, ExecutableForNullHandle)
{
    const std::wstring path = Polvane::GetModulePath(nullptr);
    ASSERT_GT(path.size(), 15u);
    EXPECT_EQ(path.substr(path.size() - 15), L"\\unit_tests.exe");
    EXPECT_TRUE(Polvane::FileExists(path));
}

TEST(GetModulePath, GivesTheLongFormOfAModuleLoadedByItsShortPath)
{
    TestHost::TempTree tree;
    const fs::path longPath =
        tree.Copy(InProcess::SystemLibrary(), L"Long Folder Name With Spaces\\Library With A Long Name.mfx");
    wchar_t shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortPath), longPath.wstring()) << "no short form to start from";

    TestHost::Library library(shortPath);
    EXPECT_EQ(Polvane::GetModulePath(library.Module()), longPath.wstring());
}

TEST(GetModulePath, PathLongerThanMaxPathIsGivenWhole)
{
    TestHost::TempTree tree;
    fs::path folder = tree.Root();
    while (folder.wstring().size() < 300)
        folder /= L"abcdefghijklmnopqrstuvwxyz0123456789";
    const fs::path path = folder / L"Morvalex.mfx";
    // The \\?\ form lifts the MAX_PATH limit for creating the tree and loading from it.
    const std::wstring unlimited = L"\\\\?\\" + path.wstring();
    fs::create_directories(fs::path(unlimited).parent_path());
    fs::copy_file(InProcess::SystemLibrary(), unlimited);
    {
        TestHost::Library library(unlimited);
        const std::wstring result = Polvane::GetModulePath(library.Module());
        EXPECT_GT(result.size(), std::size_t(MAX_PATH));
        EXPECT_EQ(result, path.wstring());
    }

    // std::filesystem cannot remove what lies beyond MAX_PATH: take the tree down level by level.
    DeleteFileW(unlimited.c_str());
    for (fs::path level = folder; level != tree.Root(); level = level.parent_path())
        RemoveDirectoryW((L"\\\\?\\" + level.wstring()).c_str());
}

TEST(GetModulePath, NoModuleGivesAnEmptyPath)
{
    EXPECT_EQ(Polvane::GetModulePath(reinterpret_cast<HMODULE>(0x10)), L"");
}

TEST(FileExists, OnlyExistingFilesThatAreNotFolders)
{
    TestHost::TempTree tree;
    const fs::path file = tree.Copy(InProcess::SystemLibrary(), L"Polvane.ini");

    EXPECT_TRUE(Polvane::FileExists(file.wstring()));
    // Only the view counts, not what follows it in memory.
    const std::wstring longer = file.wstring() + L"XYZ";
    EXPECT_TRUE(Polvane::FileExists(std::wstring_view(longer).substr(0, file.wstring().size())));
    EXPECT_FALSE(Polvane::FileExists(longer));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Polvane::FileExists((tree.Root() / L"missing" / L"Polvane.ini").wstring()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    // A folder reports what opening it as a file would, never a code left from an earlier call.
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Polvane::FileExists(tree.Root().wstring()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

// The library's path is read once per process: each case below expects to be the first to ask, which
// holds because ctest runs every case in a process of its own.
struct FolderCase {
    const char* name;
    const wchar_t* libraryFolder; // under the tree
    const wchar_t* extensionsFolder;
};

void PrintTo(const FolderCase& folderCase, std::ostream* out) { *out << folderCase.name; }

using GetFolder = testing::TestWithParam<FolderCase>;

TEST_P(GetFolder, KindTwoHoldsTheLibraryKindOneTheHostsExtensions)
{
    TestHost::TempTree tree;
    const InProcess::LibraryCopy library(tree, GetParam().libraryFolder + std::wstring(L"\\Morvalex.mfx"));
    const fs::path libraryFolder = tree.Path(GetParam().libraryFolder);

    EXPECT_EQ(Polvane::GetFolder(2), WithSlash(libraryFolder));
    EXPECT_EQ(Polvane::GetFolder(1), WithSlash(tree.Root() / GetParam().extensionsFolder));

    // Kept for the process: another module handle changes nothing.
    Polvane::ModuleHandle = nullptr;
    EXPECT_EQ(Polvane::GetFolder(2), WithSlash(libraryFolder));
}

INSTANTIATE_TEST_SUITE_P(Layouts, GetFolder,
                         testing::Values(FolderCase{"Unicode", L"Extensions\\Unicode", L"Extensions"},
                                         FolderCase{"AnyCase", L"Extensions\\uNICODE", L"Extensions"},
                                         FolderCase{"Plain", L"Extensions", L"Extensions"},
                                         FolderCase{"Nested", L"Unicode\\Extensions", L"Unicode\\Extensions"}),
                         [](const testing::TestParamInfo<FolderCase>& info) { return info.param.name; });
