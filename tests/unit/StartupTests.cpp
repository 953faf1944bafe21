// Start-up's own failures, in-process, with the library's folder made real by a copied library.
#include "FakeSurfaces.h"
#include "InProcess.h"
#include "Library.h"
#include "TempTree.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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

namespace {

int WINAPI FailingBox(HWND, LPCWSTR, LPCWSTR, UINT) { throw std::runtime_error("no box"); }

hostent* WINAPI Offline(const char*)
{
    WSASetLastError(WSAHOST_NOT_FOUND);
    return nullptr;
}

} // namespace

// A state object that fails to build after its icon releases what it built and leaves no update check
// behind, so that a later start-up in the editor builds afresh.
TEST(StateObject, AFailedBuildLeavesNothingBehind)
{
    TestHost::FakeSurfaces surfaces;
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder boxes;
    const auto recording = Host::Seam.MessageBoxW;
    Host::Seam.gethostbyname = Offline;
    Host::Seam.MessageBoxW = FailingBox; // the box for a definition without a language object
    ::SDK = nullptr;
    EXPECT_THROW(new Tovik::SDK(nullptr, InProcess::ParseDefinition(R"({"Identifier": "ZOBU"})")),
                 std::runtime_error);
    Host::Seam.MessageBoxW = recording;
    EXPECT_EQ(::SDK, nullptr);
    EXPECT_EQ(Polvane::UpdateThreadHandle, nullptr);
    const std::vector<std::string> log = surfaces.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "#1.Destroy"), log.end());

    auto* state = new Tovik::SDK(nullptr, InProcess::ParseDefinition(R"({"L": {"About": {"Name": "x"}}})"));
    EXPECT_EQ(::SDK, state);
    ASSERT_NE(Polvane::UpdateThreadHandle, nullptr);
    EXPECT_EQ(WaitForSingleObject(Polvane::UpdateThreadHandle, 10000), WAIT_OBJECT_0);
}

namespace {

// Windows' own record of this program's path, which GetModuleFileNameW reads, made to say `path`: Wine
// cannot start a program from a path that does not fit MAX_PATH.
class HostPathAs {
public:
    explicit HostPathAs(std::wstring path) : text(std::move(path))
    {
        const PEB* peb = NtCurrentTeb()->ProcessEnvironmentBlock;
        const LIST_ENTRY* list = &peb->Ldr->InMemoryOrderModuleList;
        for (LIST_ENTRY* link = list->Flink; link != list; link = link->Flink) {
            auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
            if (entry->DllBase == GetModuleHandleW(nullptr))
                name = &entry->FullDllName;
        }
        if (name == nullptr)
            throw std::runtime_error("this program is not in the loader's list");
        saved = *name;
        name->Buffer = text.data();
        name->Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
        name->MaximumLength = static_cast<USHORT>(name->Length + sizeof(wchar_t));
    }
    ~HostPathAs() { *name = saved; }

private:
    std::wstring text;
    UNICODE_STRING* name = nullptr;
    UNICODE_STRING saved{};
};

} // namespace

// The places beside a host program whose path does not fit MAX_PATH are skipped; nothing is looked for
// at the root of the current drive instead (which Wine takes for the root of the Unix file system).
TEST(SiblingFile, AHostPathTooLongIsSkippedNotTakenForTheDrivesRoot)
{
    TestHost::TempTree tree;
    const std::wstring name = L"Lib" + std::to_wstring(GetCurrentProcessId());
    InProcess::LibraryCopy library(tree, L"Extensions\\" + name + L".mfx");
    tree.Write(L"App\\" + name + L".json", "{}");
    wchar_t atRoot[MAX_PATH];
    GetFullPathNameW((L"/" + name + L".json").c_str(), MAX_PATH, atRoot, nullptr);
    if (!std::ofstream(fs::path(atRoot)))
        GTEST_SKIP() << "cannot write " << fs::path(atRoot);
    const std::pair<std::wstring, std::wstring> cases[] = {
        {tree.Path(L"App\\Host.exe").wstring(), tree.Path(L"App").wstring() + L"/" + name + L".json"},
        {tree.Path(L"App\\" + std::wstring(250, L'x') + L"\\Host.exe").wstring(), L""},
    };
    for (const auto& [host, found] : cases) {
        HostPathAs hostPath(host);
        EXPECT_EQ(Tovik::FindSiblingFile(L"json"), found) << host.size();
    }
    fs::remove(atRoot);
}
