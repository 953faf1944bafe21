// Start-up where the host cannot set the scene: a state object that fails to build, a long host path.
#include "FakeSurfaces.h"
#include "InProcess.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Folders.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

int WINAPI FailingBox(HWND, LPCWSTR, LPCWSTR, UINT) { throw std::runtime_error("no box"); }
hostent* WINAPI Offline(const char*) { return nullptr; }

// Windows' own record of this program's path, which GetModuleFileNameW reads: Wine starts no program from
// a path that does not fit MAX_PATH, so the record is made to say one.
UNICODE_STRING& HostPathRecord()
{
    const FARPROC getPeb = GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetCurrentPeb");
    const auto peb = reinterpret_cast<PEB*(WINAPI*)()>(reinterpret_cast<void*>(getPeb));
    LIST_ENTRY* link = peb()->Ldr->InMemoryOrderModuleList.Flink;
    while (CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks)->DllBase !=
           GetModuleHandleW(nullptr))
        link = link->Flink;
    return CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks)->FullDllName;
}

} // namespace

// A state object that fails after its icon frees what it built and leaves no update check: the next builds.
TEST(StateObject, AFailedBuildLeavesNothingBehind)
{
    TestHost::FakeSurfaces surfaces;
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder restoresTheBoxes;
    Host::Seam.gethostbyname = Offline;
    Host::Seam.MessageBoxW = FailingBox; // for a definition without a language object; there is no other box
    ::SDK = nullptr;
    EXPECT_THROW(new Tovik::SDK(nullptr, InProcess::ParseDefinition(R"({"Identifier": "ZOBU"})")),
                 std::runtime_error);
    EXPECT_TRUE(::SDK == nullptr && Polvane::UpdateThreadHandle == nullptr);
    EXPECT_EQ(surfaces.Log().back(), "#1.Destroy"); // the icon
    auto* state = new Tovik::SDK(nullptr, InProcess::ParseDefinition(R"({"L": {"About": {"Name": "x"}}})"));
    EXPECT_TRUE(::SDK == state && Polvane::UpdateThreadHandle != nullptr);
}

// A host path that does not fit MAX_PATH is given whole, and the places beside it are skipped: nothing is
// looked for at the current drive's root instead (to Wine, the root of the Unix file system).
TEST(ModulePath, LongPathsAreGivenWholeAndNeverTakenForTheDrivesRoot)
{
    TestHost::TempTree tree;
    const std::wstring name = L"Lib" + std::to_wstring(GetCurrentProcessId());
    InProcess::LibraryCopy library(tree, L"Extensions\\" + name + L".mfx");
    wchar_t atRoot[MAX_PATH];
    GetFullPathNameW((L"/" + name + L".json").c_str(), MAX_PATH, atRoot, nullptr);
    if (!std::ofstream(std::filesystem::path(atRoot)))
        GTEST_SKIP() << "cannot write " << std::filesystem::path(atRoot);
    std::wstring deep = tree.Path(L"App\\" + std::wstring(250, L'x') + L"\\Host.exe");
    UNICODE_STRING& record = HostPathRecord();
    const UNICODE_STRING saved =
        std::exchange(record, {static_cast<USHORT>(deep.size() * 2), static_cast<USHORT>(deep.size() * 2 + 2),
                               deep.data()});
    EXPECT_EQ(Polvane::GetModulePath(nullptr), deep);
    EXPECT_EQ(Tovik::FindSiblingFile(L"json"), L"");
    record = saved;
    std::filesystem::remove(atRoot);
}
