// The settings file, Polvane.ini in the host's Extensions folder, and the language it chooses. It is read
// once per process: each case runs in a process of its own, with the library (a copy of a small system
// library) in Extensions\Unicode\.
#include "InProcess.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Settings.h"
#include "Lib/Shared/Polvane/TextConversion.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <gtest/gtest.h>

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

template <typename Base> class InExtensions : public Base {
protected:
    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Morvalex.mfx"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    std::filesystem::path file = tree.Path(L"Extensions\\Polvane.ini");
    decltype(Host::Seam.MessageBoxW) saved = std::exchange(Host::Seam.MessageBoxW, ShowAndRead);
    ~InExtensions() { Host::Seam.MessageBoxW = saved; }
};

using SettingsLines = InExtensions<testing::TestWithParam<const char*>>;

} // namespace

TEST_P(SettingsLines, ValuesByKey)
{
    std::string text;
    for (const char* line : {"Languages = UK English; French", "Two  =blanks", "After=  two", "Inner=a = b",
                             "Doubled= = c", "Repeat=first", "repeat=lower", "Repeat=again", "Last=no line end"})
        text += (text.empty() ? "" : GetParam()) + std::string(line);
    tree.Write(L"Extensions\\Polvane.ini", text);
    for (const auto& [key, value] : {std::pair{"Languages", "UK English; French"}, {"Two", ""}, {"After", " two"},
                                     {"Inner", "a=b"}, {"Doubled", "= c"}, // after an erased blank the next byte stays
                                     {"Repeat", "first"}, {"repeat", "lower"}, {"anguages", ""},
                                     {"Last", "no line end"}, {"Missing", ""}})
        EXPECT_EQ(Polvane::GetIniSetting(key), value) << key;
    EXPECT_EQ(shown, L"");
}

INSTANTIATE_TEST_SUITE_P(LineEnds, SettingsLines, testing::Values("\r\n", "\n"),
                         [](const auto& info) { return info.param[0] == '\n' ? "LF" : "CRLF"; });

namespace {

enum Setup { None, Folder, Locked, Sized };
struct FailureCase {
    const char* name;
    Setup setup;
    std::uintmax_t size;
    const char* value;
    const wchar_t* box;
};

using SettingsFile = InExtensions<testing::TestWithParam<FailureCase>>;

} // namespace

// Read once whatever the outcome: a file that appears later has no effect, a failure shows one box, and
// the load's lock is free for every later caller. A file above 1 MiB is refused unread.
TEST_P(SettingsFile, IsReadOnceAndFailsWithOneBox)
{
    const FailureCase& c = GetParam();
    tree.Write(L"Extensions\\Unicode\\Polvane.ini", "Languages=Unicode\n"); // not the host's folder
    if (c.setup == Folder)
        std::filesystem::create_directories(file);
    if (c.setup == Locked || c.setup == Sized)
        tree.Write(L"Extensions\\Polvane.ini", "Languages=French\n");
    if (c.setup == Sized)
        std::filesystem::resize_file(file, c.size); // sparse beyond the text
    const HANDLE lock = c.setup == Locked ? CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                                          : INVALID_HANDLE_VALUE;
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), c.value);
    CloseHandle(lock);
    if (c.setup == None)
        tree.Write(L"Extensions\\Polvane.ini", "Languages=French\n");
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), c.value);
    // On the editor's main thread, a box is task-modal and in front: 0x12010.
    EXPECT_EQ(shown, c.box ? L"Polvane SDK error - Morvalex|" + std::wstring(c.box) + L"|73744|" : L"");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsFile,
    testing::Values(FailureCase{"None", None, 0, "", nullptr},
                    FailureCase{"Folder", Folder, 0, "", L"Error 5 opening Extensions\\Polvane.ini."},
                    FailureCase{"Locked", Locked, 0, "", L"Couldn't open Extensions\\Polvane.ini, error 13."},
                    FailureCase{"OneMebibyte", Sized, 1 << 20, "French", nullptr},
                    FailureCase{"Larger", Sized, (1 << 20) + 1, "", L"Couldn't read Extensions\\Polvane.ini file, error 27."},
                    FailureCase{"OneGibibyte", Sized, 1 << 30, "", L"Couldn't read Extensions\\Polvane.ini file, error 27."}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

struct LanguageCase {
    const char* name;
    Polvane::MFXRunMode mode;
    const char* settings;
    const char* chosen;
};

using Language = InExtensions<testing::TestWithParam<LanguageCase>>;

} // namespace

// In the editor, the first language the settings list that the definition has, its name compared ignoring
// case once one leading blank is dropped; else, and always outside the editor, the first object whose
// "About" has a "Name".
TEST_P(Language, IsChosenFromTheSettingsInTheEditorOnly)
{
    tree.Write(L"Extensions\\Polvane.ini", std::string("DisableUpdateCheckFor=*\n") + GetParam().settings);
    Polvane::RunMode = GetParam().mode;
    ::SDK = nullptr;
    new Tovik::SDK(nullptr, InProcess::ParseDefinition(R"({"Identifier": "ZOBU", "Default": {"About": {"Name": "a"}},
        "UK English": {"About": {"Name": "b"}}})"));
    EXPECT_EQ(&Polvane::CurLang(), &(*::SDK->Root)[GetParam().chosen]);
    EXPECT_EQ(Polvane::TStringToUTF8(Polvane::GetCurLangName()), GetParam().chosen);
    EXPECT_EQ(shown, L"");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Language,
    testing::Values(LanguageCase{"Listed", Polvane::MFXRunMode::Editor, "Languages = Deutsch; uk english", "UK English"},
                    LanguageCase{"TwoBlanks", Polvane::MFXRunMode::Editor, "Languages=Deutsch;  UK English", "Default"},
                    LanguageCase{"NoneListed", Polvane::MFXRunMode::QuietLoad, "Languages=Klingon", "Default"},
                    LanguageCase{"Built", Polvane::MFXRunMode::BuiltEXE, "Languages=UK English", "Default"},
                    LanguageCase{"TestRun", Polvane::MFXRunMode::RunApplication, "Languages=UK English", "Default"}),
    [](const auto& info) { return std::string(info.param.name); });
