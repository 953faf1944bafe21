#include "InProcess.h"
#include "TempTree.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Polvane/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The settings and the library's path are read once per process: every case here expects to be the
// first to ask, which holds because ctest runs each case in a process of its own. Each case lays out
// the host's folders: the library (a copy of a small system library) in Extensions\Unicode\, the
// settings file in Extensions\.
class Settings : public testing::Test {
protected:
    void WriteSettings(const std::string& bytes) const { tree.Write(L"Extensions\\Polvane.ini", bytes); }

    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Morvalex.mfx"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder recorder;
    const std::vector<TestHost::RecordedBox>& boxes = recorder.boxes;
};

class SettingsLines : public Settings, public testing::WithParamInterface<const char*> {};

} // namespace

TEST_P(SettingsLines, ValuesByKey)
{
    const char* const lines[] = {
        "Languages = UK English; French",
        "Tight=packed",
        "Two  =blanks before",
        "After=  two blanks after",
        "Inner=a = b",
        "Doubled= = c",
        "Repeat=first",
        "repeat=lower",
        "Repeat=second",
        "Empty=",
        "Last=no line end",
    };
    std::string file;
    for (const char* line : lines)
        file += std::string(line) + GetParam();
    file.resize(file.size() - std::string(GetParam()).size());
    WriteSettings(file);

    const std::pair<const char*, const char*> cases[] = {
        {"Languages", "UK English; French"},
        {"Tight", "packed"},
        {"Two", ""}, // only one blank on each side of '=' goes
        {"After", " two blanks after"},
        {"Inner", "a=b"}, // blanks go around every '=', also in values
        {"Doubled", "= c"}, // after an erased blank the next byte is not looked at
        {"Repeat", "first"},
        {"repeat", "lower"},
        {"REPEAT", ""},
        {"languages", ""},
        {"anguages", ""}, // keys start a line
        {"Empty", ""},
        {"Last", "no line end"},
        {"Missing", ""},
    };
    for (const auto& [key, value] : cases)
        EXPECT_EQ(Polvane::GetIniSetting(key), value) << "key " << key;
    EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(LineEnds, SettingsLines, testing::Values("\r\n", "\n"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "\n" ? "LF" : "CRLF";
                         });

TEST_F(Settings, NoFileGivesEmptyValuesSilentlyForTheWholeProcess)
{
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");
    EXPECT_EQ(Polvane::GetIniSetting("MsgBoxForMajorUpdate"), "");
    WriteSettings("Languages=French\r\n");
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Settings, EmptyFileGivesEmptyValues)
{
    WriteSettings("");
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Settings, SettingsFileInTheLibrarysOwnFolderIsNotRead)
{
    tree.Write(L"Extensions\\Unicode\\Polvane.ini", "Languages=French\n");
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");
}

TEST_F(Settings, FolderNamedLikeTheFileIsReportedOnce)
{
    fs::create_directory(tree.Path(L"Extensions\\Polvane.ini"));
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Polvane SDK error - Morvalex");
    EXPECT_EQ(boxes[0].text, L"Error 5 opening Extensions\\Polvane.ini.");
    EXPECT_EQ(boxes[0].style, UINT(MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND));
}

TEST_F(Settings, FileThatCannotBeOpenedIsReportedAndNotRetried)
{
    WriteSettings("Languages=French\n");
    const fs::path path = tree.Path(L"Extensions\\Polvane.ini");
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");
    CloseHandle(exclusive);
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Polvane SDK error - Morvalex");
    EXPECT_EQ(boxes[0].text, L"Couldn't open Extensions\\Polvane.ini, error 13.");
}

namespace {

std::string readDuringBox;

int WINAPI ReadSettingDuringBox(HWND, LPCWSTR, LPCWSTR, UINT)
{
    readDuringBox = Polvane::GetIniSetting("Languages") + "|read";
    return IDOK;
}

} // namespace

// A box waits for its owner, the editor's window, whose thread may be asking for a setting at that
// moment: the load's box is shown with the settings free to read, not while the load holds them.
TEST_F(Settings, TheLoadsBoxIsShownWithTheSettingsFree)
{
    fs::create_directory(tree.Path(L"Extensions\\Polvane.ini"));
    const auto recorder = Host::Seam.MessageBoxW;
    Host::Seam.MessageBoxW = ReadSettingDuringBox;
    EXPECT_EQ(Polvane::GetIniSetting("Languages"), "");
    Host::Seam.MessageBoxW = recorder;
    EXPECT_EQ(readDuringBox, "|read");
}

// A settings file is a handful of lines: one of more than 1 MiB is refused unread, with the lock free
// for every later caller.
class SettingsSize : public Settings, public testing::WithParamInterface<std::uintmax_t> {};

TEST_P(SettingsSize, LargerThanOneMebibyteIsRefused)
{
    WriteSettings("Languages=French\n");
    fs::resize_file(tree.Path(L"Extensions\\Polvane.ini"), GetParam()); // sparse beyond the text
    const bool fits = GetParam() <= (1u << 20);
    for (int call = 0; call < 2; ++call)
        EXPECT_EQ(Polvane::GetIniSetting("Languages"), fits ? "French" : "") << call;
    ASSERT_EQ(boxes.size(), fits ? 0u : 1u);
    if (!fits)
        EXPECT_EQ(boxes[0].text, L"Couldn't read Extensions\\Polvane.ini file, error 27.");
}

INSTANTIATE_TEST_SUITE_P(Sizes, SettingsSize, testing::Values(1u << 20, (1u << 20) + 1, 1u << 30));
