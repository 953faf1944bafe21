// Start-up's own failures, in-process, with the library's folder made real by a copied library.
#include "InProcess.h"
#include "Library.h"
#include "TempTree.h"
#include "TestHost.h"

#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

class StartupFailure : public testing::Test {
protected:
    TestHost::TempTree tree;
    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    std::optional<InProcess::LibraryCopy> library;

    // The library's module is a copy of `from`, named Lib.mfx.
    void UseLibrary(const fs::path& from) { library.emplace(tree, L"Extensions\\Lib.mfx", from); }
};

} // namespace

TEST_F(StartupFailure, NoDefinitionAnywhereIsReported)
{
    UseLibrary(InProcess::SystemLibrary());
    EXPECT_EQ(Tovik::Init(host.MV(), false), -1);
    EXPECT_EQ(::SDK, nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"Couldn't find JSON - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"JSON file for Morvalex not found on disk or in MFX resources");
    EXPECT_EQ(boxes.boxes[0].style, 0x10u);
}

TEST_F(StartupFailure, ASiblingThatCannotBeOpenedIsNotFoundAndTheResourceIsNotTried)
{
    UseLibrary(TestHost::BuiltLibraryPath());
    fs::path sibling = tree.Write(L"Extensions\\Lib.json", R"({"Identifier": "FILE", "L": {"About": {"Name": "x"}}})");
    HANDLE locked = CreateFileW(sibling.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Tovik::Init(host.MV(), false), -1);
    CloseHandle(locked);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"Couldn't find JSON - Morvalex");

    // Readable again, the same file is the definition.
    EXPECT_EQ(Tovik::Init(host.MV(), false), 0);
    EXPECT_TRUE(Tovik::JSONFromDisk);
    EXPECT_STREQ(static_cast<const char*>((*::SDK->Root)["Identifier"]), "FILE");
}

TEST_F(StartupFailure, AnExtensionTooLongForTheLanguageNameIsReportedAndThePlainNameTried)
{
    UseLibrary(InProcess::SystemLibrary());
    Tovik::LanguageCode = L"EN";
    const std::wstring extension(29, L'e'); // "EN." and 29 characters leave no room for the terminator
    tree.Write(L"Extensions\\Lib." + std::wstring(extension), "{}");
    EXPECT_EQ(fs::path(GetSiblingPath(extension.c_str())).filename(), L"Lib." + extension);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"GetSiblingPath fail - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"Invalid file extension " + extension);

    boxes.boxes.clear();
    const std::wstring fits(28, L'f');
    EXPECT_EQ(GetSiblingPath(fits.c_str()), L"");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(InitObject, RefreshesTheHostRecordAndAsksTheEditorToRefresh)
{
    TestHost::Host editor(reinterpret_cast<void*>(0x1234));
    Polvane::RunMode = Polvane::MFXRunMode::Editor;
    Tovik::InitObject(editor.MV(), nullptr);
    EXPECT_EQ(Polvane::OwnerWindow, reinterpret_cast<HWND>(0x1234));
    EXPECT_EQ(editor.FunctionCount(18), 1);

    TestHost::Host built;
    Polvane::RunMode = Polvane::MFXRunMode::BuiltEXE;
    Tovik::InitObject(built.MV(), nullptr);
    EXPECT_EQ(Polvane::OwnerWindow, nullptr);
    EXPECT_EQ(built.FunctionCount(18), 0);
}
