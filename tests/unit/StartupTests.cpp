// Start-up in-process, where the host cannot set the scene: a state object that fails to build, and
// host paths that do not fit MAX_PATH.
#include "FakeSurfaces.h"
#include "InProcess.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Folders.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

int WINAPI FailingBox(HWND, LPCWSTR, LPCWSTR, UINT) { throw std::runtime_error("no box"); }
hostent* WINAPI Offline(const char*) { return nullptr; }

// Windows' own record of this program's path, which GetModuleFileNameW reads, made to say `path`: Wine
// starts no program from a path that does not fit MAX_PATH.
class HostPathAs {
public:
    explicit HostPathAs(std::wstring path) : text(std::move(path))
    {
        const LIST_ENTRY* list = &NtCurrentTeb()->ProcessEnvironmentBlock->Ldr->InMemoryOrderModuleList;
        for (LIST_ENTRY* link = list->Flink; link != list; link = link->Flink)
            if (auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
                entry->DllBase == GetModuleHandleW(nullptr))
                name = &entry->FullDllName;
        saved = *name;
        *name = {static_cast<USHORT>(text.size() * 2), static_cast<USHORT>(text.size() * 2 + 2), text.data()};
    }
    ~HostPathAs() { *name = saved; }

private:
    std::wstring text;
    UNICODE_STRING* name = nullptr;
    UNICODE_STRING saved{};
};

} // namespace

// A state object that fails after its icon releases what it built and leaves no update check behind, so
// a later start-up in the editor builds afresh.
TEST(StateObject, AFailedBuildLeavesNothingBehind)
{
    TestHost::FakeSurfaces surfaces;
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder boxes;
    const auto recording = Host::Seam.MessageBoxW;
    Host::Seam.gethostbyname = Offline;
    Host::Seam.MessageBoxW = FailingBox; // the box for a definition without a language object
    ::SDK = nullptr;
    EXPECT_THROW(new Tovik::SDK(nullptr, InProcess::ParseDefinition(R"({"Identifier": "ZOBU"})")), std::runtime_error);
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

// A path of any length is given whole, in its long form when that fits MAX_PATH. The places beside a host
// whose path does not fit are skipped, and nothing is looked for at the root of the current drive instead
// (which Wine takes for the root of the Unix file system).
TEST(ModulePath, LongPathsAreGivenWholeAndNeverTakenForTheDrivesRoot)
{
    TestHost::TempTree tree;
    const std::wstring real = tree.Write(L"Long Folder Name\\Host With A Long Name.exe", "").wstring();
    wchar_t shortForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(real.c_str(), shortForm, MAX_PATH), 0u);
    const std::wstring deep = tree.Path(L"App\\" + std::wstring(250, L'x') + L"\\Host.exe").wstring();
    for (const auto& [given, path] : {std::pair<std::wstring, std::wstring>{shortForm, real}, {deep, deep}}) {
        HostPathAs host(given);
        EXPECT_EQ(Polvane::GetModulePath(nullptr), path);
    }

    const std::wstring name = L"Lib" + std::to_wstring(GetCurrentProcessId());
    InProcess::LibraryCopy library(tree, L"Extensions\\" + name + L".mfx");
    const std::wstring beside = tree.Write(L"App\\" + name + L".json", "{}").parent_path() += L"/" + name + L".json";
    wchar_t atRoot[MAX_PATH];
    GetFullPathNameW((L"/" + name + L".json").c_str(), MAX_PATH, atRoot, nullptr);
    if (!std::ofstream(std::filesystem::path(atRoot)))
        GTEST_SKIP() << "cannot write " << std::filesystem::path(atRoot);
    for (const auto& [given, found] : {std::pair<std::wstring, std::wstring>{tree.Path(L"App\\Host.exe"), beside},
                                       {deep, L""}}) {
        HostPathAs host(given);
        EXPECT_EQ(Tovik::FindSiblingFile(L"json"), found) << given.size();
    }
    std::filesystem::remove(atRoot);
}
