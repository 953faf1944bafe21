#include "Lib/Shared/Polvane/Folders.h"
#include "Lib/Shared/Polvane/Globals.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// A scratch folder of its own for each test, removed at the end.
class TempFolder {
public:
    TempFolder()
        : root(fs::temp_directory_path() / (L"Morvalex-folders-" + std::to_wstring(GetCurrentProcessId()) +
                                            L"-" + std::to_wstring(++count)))
    {
        fs::create_directories(root);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    const fs::path& Root() const { return root; }

private:
    static inline int count = 0;
    fs::path root;
};

// Puts a copy of a small system library where the test wants a library to live.
void CopyLibraryTo(const fs::path& path)
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    fs::create_directories(path.parent_path());
    fs::copy_file(fs::path(system) / L"version.dll", path);
}

class Loaded {
public:
    explicit Loaded(const std::wstring& path) : module(LoadLibraryW(path.c_str())) {}
    ~Loaded() { FreeLibrary(module); }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    HMODULE Module() const { return module; }

private:
    HMODULE module;
};

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
    TempFolder temp;
    const fs::path longPath = temp.Root() / L"Long Folder Name With Spaces" / L"Library With A Long Name.mfx";
    CopyLibraryTo(longPath);
    wchar_t shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(longPath.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortPath), longPath.wstring()) << "no short form to start from";

    Loaded library(shortPath);
    ASSERT_NE(library.Module(), nullptr);
    EXPECT_EQ(Polvane::GetModulePath(library.Module()), longPath.wstring());
}

TEST(GetModulePath, PathLongerThanMaxPathIsGivenWhole)
{
    TempFolder temp;
    fs::path folder = temp.Root();
    while (folder.wstring().size() < 300)
        folder /= L"abcdefghijklmnopqrstuvwxyz0123456789";
    const fs::path path = folder / L"Morvalex.mfx";
    // The \\?\ form lifts the MAX_PATH limit for creating the tree and loading from it.
    const std::wstring unlimited = L"\\\\?\\" + path.wstring();
    CopyLibraryTo(unlimited);
    {
        Loaded library(unlimited);
        ASSERT_NE(library.Module(), nullptr);
        const std::wstring result = Polvane::GetModulePath(library.Module());
        EXPECT_GT(result.size(), std::size_t(MAX_PATH));
        EXPECT_EQ(result, path.wstring());
    }

    // std::filesystem cannot remove what lies beyond MAX_PATH: take the tree down level by level.
    DeleteFileW(unlimited.c_str());
    for (fs::path level = folder; level != temp.Root(); level = level.parent_path())
        RemoveDirectoryW((L"\\\\?\\" + level.wstring()).c_str());
}

TEST(GetModulePath, NoModuleGivesAnEmptyPath)
{
    EXPECT_EQ(Polvane::GetModulePath(reinterpret_cast<HMODULE>(0x10)), L"");
}

TEST(FileExists, OnlyExistingFilesThatAreNotFolders)
{
    TempFolder temp;
    const fs::path file = temp.Root() / L"Polvane.ini";
    CopyLibraryTo(file);

    EXPECT_TRUE(Polvane::FileExists(file.wstring()));
    // Only the view counts, not what follows it in memory.
    const std::wstring longer = file.wstring() + L"XYZ";
    EXPECT_TRUE(Polvane::FileExists(std::wstring_view(longer).substr(0, file.wstring().size())));
    EXPECT_FALSE(Polvane::FileExists(longer));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Polvane::FileExists((temp.Root() / L"missing" / L"Polvane.ini").wstring()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    // A folder reports what opening it as a file would, never a code left from an earlier call.
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Polvane::FileExists(temp.Root().wstring()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

// The library's path is read once per process: each case below expects to be the first to ask, which
// holds because ctest runs every case in a process of its own.
struct FolderCase {
    const char* name;
    const wchar_t* libraryFolder; // under the scratch folder
    const wchar_t* extensionsFolder;
};

void PrintTo(const FolderCase& folderCase, std::ostream* out) { *out << folderCase.name; }

class GetFolder : public testing::TestWithParam<FolderCase> {
protected:
    void SetUp() override { savedModule = Polvane::ModuleHandle; }
    void TearDown() override { Polvane::ModuleHandle = savedModule; }

private:
    HMODULE savedModule = nullptr;
};

TEST_P(GetFolder, KindTwoHoldsTheLibraryKindOneTheHostsExtensions)
{
    TempFolder temp;
    const fs::path libraryFolder = temp.Root() / GetParam().libraryFolder;
    CopyLibraryTo(libraryFolder / L"Morvalex.mfx");
    Loaded library((libraryFolder / L"Morvalex.mfx").wstring());
    ASSERT_NE(library.Module(), nullptr);
    Polvane::ModuleHandle = library.Module();

    EXPECT_EQ(Polvane::GetFolder(2), WithSlash(libraryFolder));
    EXPECT_EQ(Polvane::GetFolder(1), WithSlash(temp.Root() / GetParam().extensionsFolder));

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
