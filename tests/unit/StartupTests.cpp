// Start-up where the host cannot set the scene (a state object that fails to build, a long host path) and
// the framework's shared services: the settings file, the editor's language, message boxes, the log.
#include "FakeSurfaces.h"
#include "InProcess.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Folders.h"
#include "Lib/Shared/Polvane/Format.h"
#include "Lib/Shared/Polvane/Log.h"
#include "Lib/Shared/Polvane/MsgBox.h"
#include "Lib/Shared/Polvane/Settings.h"
#include "Lib/Shared/Polvane/TextConversion.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

// A box waits for its owner, the editor's window, whose thread may be asking for a setting at that moment:
// each box reads a setting while it is shown, which only returns when the settings are free.
std::wstring shown;
int WINAPI ShowAndRead(HWND, LPCWSTR text, LPCWSTR title, UINT style)
{
    shown += title + (L"|" + (text + (L"|" + std::to_wstring(style) + L"|"))) +
             Polvane::UTF8ToWide(Polvane::GetIniSetting("Languages"));
    return IDOK;
}

std::wstring logged;
void WINAPI KeepLine(LPCWSTR text) { logged = text; }

// Polvane.ini is read once per process: each case runs in a process of its own, with the library (a copy of
// a small system library) in Extensions\Unicode\ and the settings file in Extensions\.
template <typename Base> class InExtensions : public Base {
protected:
    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Morvalex.mfx"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    decltype(Host::Seam.MessageBoxW) saved = std::exchange(Host::Seam.MessageBoxW, ShowAndRead);
    ~InExtensions() { Host::Seam.MessageBoxW = saved; }
};

// Name; size (-1: no file until after the first read, 0: a folder of that name, else the file's bytes);
// the value read; the box shown.
using FailureCase = std::tuple<const char*, long long, const char*, const wchar_t*>;

using Settings = InExtensions<testing::Test>;
using SettingsFile = InExtensions<testing::TestWithParam<FailureCase>>;

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

// Lines end in CR LF or in LF alone, the last in nothing. In the editor the language is the first listed
// in the settings that the definition has, its case ignored, after one blank is dropped.
TEST_F(Settings, ValuesByKeyAndTheEditorsLanguage)
{
    tree.Write(L"Extensions\\Polvane.ini", "Languages = Deutsch;  Second; uk english\r\nTwo  =blanks\n"
                                           "After=  two\r\nInner=a = b\nDoubled= = c\r\nRepeat=first\n"
                                           "repeat=lower\r\nRepeat=again\nDisableUpdateCheckFor=*\nLast=end");
    std::string values;
    for (const char* key :
         {"Languages", "Two", "After", "Inner", "Doubled", "Repeat", "repeat", "anguages", "Last", "Missing"})
        values += Polvane::GetIniSetting(key) + "|";
    // After an erased blank the next byte stays: "Doubled= = c" gives "= c".
    EXPECT_EQ(values, "Deutsch;  Second; uk english|| two|a=b|= c|first|lower||end||");
    ::SDK = nullptr;
    new Tovik::SDK(nullptr, InProcess::ParseDefinition(R"({"Default": {"About": {"Name": "D"}},
        "Second": {"About": {"Name": "S"}}, "UK English": {"About": {"Name": "U"}, "Actions": [{"Title": "a"}]}})"));
    EXPECT_STREQ(Polvane::GetCurLangName(), L"UK English");
    EXPECT_EQ(::SDK->ActionInfos.size(), 1u);
    EXPECT_EQ(shown, L"");
}

// Read once whatever the outcome: a failure shows one box, and the load's lock is free for every later
// caller. A file above 1 MiB is refused unread.
TEST_P(SettingsFile, IsReadOnceAndFailsWithOneBox)
{
    const auto& [name, size, value, box] = GetParam();
    tree.Write(L"Extensions\\Unicode\\Polvane.ini", "Languages=Unicode\n"); // not the host's folder
    if (size == 0)
        std::filesystem::create_directories(tree.Path(L"Extensions\\Polvane.ini"));
    if (size > 0) // sparse beyond the text
        std::filesystem::resize_file(tree.Write(L"Extensions\\Polvane.ini", "Languages=French\n"), size);
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), value);
    if (size < 0)
        tree.Write(L"Extensions\\Polvane.ini", "Languages=French\n");
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), value);
    // On the editor's main thread, a box is task-modal and in front: 0x12010.
    EXPECT_EQ(shown, box ? L"Polvane SDK error - Morvalex|" + std::wstring(box) + L"|73744|" : L"") << name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFile,
    testing::Values(FailureCase{"None", -1, "", nullptr},
                    FailureCase{"Folder", 0, "", L"Error 5 opening Extensions\\Polvane.ini."},
                    FailureCase{"Larger", (1 << 20) + 1, "",
                                L"Couldn't read Extensions\\Polvane.ini file, error 27."},
                    FailureCase{"OneMebibyte", 1 << 20, "French", nullptr}),
    [](const auto& info) { return std::string(std::get<0>(info.param)); });

// 4095 characters fit; a longer or empty text shows the fixed box, a plain error even in the editor, which
// answers cancel. Values are read as their length modifiers say, respelled for the system runtime.
TEST(MsgBox, FormatsForTheSystemRuntimeAndShowsTheFixedBoxForATextThatDoesNotFit)
{
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder recorder;
    Polvane::MsgBox::Error(L"Polvane error", L"%zu|%hhu|%lld|%s", std::size_t(4000000000u), 4, -5000000000LL,
                           L"s");
    EXPECT_EQ(Polvane::MsgBox::Info(L"Polvane error", L"%s", std::wstring(4095, L'f').c_str()), IDOK);
    for (const wchar_t* format : {L"", L"%s"})
        EXPECT_EQ(Polvane::MsgBox::WarningYesNo(L"Property error", format, std::wstring(4096, L't').c_str()),
                  IDCANCEL);
    ASSERT_EQ(recorder.boxes.size(), 4u);
    EXPECT_EQ(recorder.boxes[0].text, L"4000000000|4|-5000000000|s");
    EXPECT_EQ(recorder.boxes[1].text, std::wstring(4095, L'f'));
    for (const auto& box : {recorder.boxes[2], recorder.boxes[3]})
        EXPECT_EQ(
            box.title + L"|" + box.text + L"|" + std::to_wstring(box.style),
            L"Property error - Morvalex|Failed to format a message box. Contact extension developer.|16");
    std::wstring respelled;
    for (const wchar_t* format : {L"ID %zu.", L"%5zu|%-3zd", L"depth %hhu", L"%lld %llu", L"%-08.3lld",
                                  L"100%% zu %%zu", L"%s %ls %hi %u %d", L"ends with %"})
        respelled += Polvane::ForSystemRuntime(format) + L"|";
    EXPECT_EQ(respelled, L"ID %Iu.|%5Iu|%-3Id|depth %hu|%I64d %I64u|%-08.3I64d|100%% zu %%zu|%s %ls %hi %u "
                         L"%d|ends with %|");
}

// A line too long for the log's buffer is cut and marked, keeping its format's line end; a text for a host
// buffer is cut to fit, never inside a surrogate pair.
TEST(TextsThatDoNotFit, AreCutAndMarkedNeverInsideAPair)
{
    Host::Seam.OutputDebugStringW = KeepLine;
    const std::wstring text(2047, L'b'); // with the x, one character more than a line holds
    for (const auto& [format, ending] :
         {std::pair{L"%s\r\n", L"\r\n"}, {L"%s\n", L"\n"}, {L"%s", L""}, {L"%s\r", L""}, {L"%s\n\r", L""}}) {
        Polvane::Log(6, format, (text + L"x").c_str());
        EXPECT_EQ(logged, text.substr(0, 2030) + L"... [truncated]" + ending) << std::wstring(format).size();
    }
    wchar_t buffer[4];
    EXPECT_STREQ(Tovik::UTF8ToWideBuffer(buffer, "a\xF0\x9F\x98\x80", 4), L"a\xD83D\xDE00");
    EXPECT_STREQ(Tovik::UTF8ToWideBuffer(buffer, "a\xF0\x9F\x98\x80", 3), L"a");
}

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
    EXPECT_EQ(surfaces.State().log.back(), "#1.Destroy"); // the icon
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
