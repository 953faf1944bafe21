#include "InProcess.h"

#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Polvane/MsgBox.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const HWND hostWindow = reinterpret_cast<HWND>(0x1234);

class MsgBoxTest : public testing::Test {
protected:
    void SetUp() override { Polvane::OwnerWindow = hostWindow; }

    InProcess::RunningAs builtApplication{Polvane::MFXRunMode::BuiltEXE};
    InProcess::BoxRecorder recorder;
    std::vector<TestHost::RecordedBox>& boxes = recorder.boxes;
};

using BoxFunction = int (*)(const wchar_t*, const wchar_t*, ...);

struct StyleCase {
    const char* name;
    BoxFunction show;
    UINT style;
};

const StyleCase styleCases[] = {
    {"Error", Polvane::MsgBox::Error, 0x10},
    {"Info", Polvane::MsgBox::Info, 0x40},
    {"WarningOK", Polvane::MsgBox::WarningOK, 0x30},
    {"WarningYesNo", Polvane::MsgBox::WarningYesNo, 0x34},
    {"WarningYesNoCancel", Polvane::MsgBox::WarningYesNoCancel, 0x33},
};

// Custom takes an argument list, as a caller with its own variadic front would pass it.
int CustomBox(UINT style, const wchar_t* title, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int result = Polvane::MsgBox::Custom(title, format, args, style);
    va_end(args);
    return result;
}

} // namespace

TEST_F(MsgBoxTest, EachKindShowsItsStyleTitleAndFormattedText)
{
    recorder.answer = IDYES;
    for (const StyleCase& kind : styleCases) {
        boxes.clear();
        const std::size_t count = 3;
        EXPECT_EQ(kind.show(L"Polvane error", L"%s has %d items (%zu)", L"List", -4, count), IDYES)
            << kind.name;
        ASSERT_EQ(boxes.size(), 1u) << kind.name;
        EXPECT_EQ(boxes[0].owner, hostWindow) << kind.name;
        EXPECT_EQ(boxes[0].title, L"Polvane error - Morvalex") << kind.name;
        EXPECT_EQ(boxes[0].text, L"List has -4 items (3)") << kind.name;
        EXPECT_EQ(boxes[0].style, kind.style) << kind.name;
    }
}

TEST_F(MsgBoxTest, CustomShowsTheStylePassedOutsideTheEditor)
{
    recorder.answer = IDRETRY;
    EXPECT_EQ(CustomBox(MB_RETRYCANCEL | MB_ICONQUESTION, L"Update check error", L"Try %ls?", L"again"),
              IDRETRY);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Update check error - Morvalex");
    EXPECT_EQ(boxes[0].text, L"Try again?");
    EXPECT_EQ(boxes[0].style, UINT(MB_RETRYCANCEL | MB_ICONQUESTION));
}

TEST_F(MsgBoxTest, EditorMainThreadBoxIsTaskModalAndForeground)
{
    Polvane::RunMode = Polvane::MFXRunMode::Editor;
    for (const StyleCase& kind : styleCases) {
        boxes.clear();
        kind.show(L"Property error", L"x");
        ASSERT_EQ(boxes.size(), 1u) << kind.name;
        EXPECT_EQ(boxes[0].style, kind.style | 0x12000) << kind.name;
    }
}

TEST_F(MsgBoxTest, EditorKeepsAModalityTheCallerChose)
{
    Polvane::RunMode = Polvane::MFXRunMode::Editor;
    const UINT styles[] = {MB_ICONERROR | MB_SYSTEMMODAL, MB_ICONERROR | MB_TASKMODAL,
                           MB_ICONERROR | MB_SYSTEMMODAL | MB_TASKMODAL};
    for (UINT style : styles) {
        boxes.clear();
        CustomBox(style, L"Polvane error", L"x");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].style, style);
    }
}

TEST_F(MsgBoxTest, OtherRunModesAndThreadsKeepTheStyle)
{
    const Polvane::MFXRunMode modes[] = {Polvane::MFXRunMode::BuiltEXE, Polvane::MFXRunMode::QuietLoad,
                                         Polvane::MFXRunMode::RunApplication, Polvane::MFXRunMode::Unset};
    for (Polvane::MFXRunMode mode : modes) {
        Polvane::RunMode = mode;
        boxes.clear();
        Polvane::MsgBox::Error(L"Polvane error", L"x");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].style, 0x10u) << "run mode " << static_cast<int>(mode);
    }

    Polvane::RunMode = Polvane::MFXRunMode::Editor;
    boxes.clear();
    std::thread([] { Polvane::MsgBox::Error(L"Polvane error", L"from %s", L"a worker"); }).join();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"from a worker");
    EXPECT_EQ(boxes[0].style, 0x10u);
}

TEST_F(MsgBoxTest, TextThatCannotBeFormattedShowsTheFixedBoxAndCancels)
{
    // 4095 characters and the terminator fill the buffer exactly; one more does not fit.
    const std::wstring fits(4095, L'f');
    const std::wstring tooLong(4096, L't');
    recorder.answer = IDOK;
    EXPECT_EQ(Polvane::MsgBox::Info(L"Polvane error", L"%s", fits.c_str()), IDOK);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, fits);

    // Fallback boxes are plain errors even where the editor would make them task-modal.
    Polvane::RunMode = Polvane::MFXRunMode::Editor;
    const wchar_t* const formats[] = {L"", L"%s"};
    for (const wchar_t* format : formats) {
        boxes.clear();
        EXPECT_EQ(Polvane::MsgBox::WarningYesNo(L"Property error", format, tooLong.c_str()), IDCANCEL);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].owner, hostWindow);
        EXPECT_EQ(boxes[0].title, L"Property error - Morvalex");
        EXPECT_EQ(boxes[0].text, L"Failed to format a message box. Contact extension developer.");
        EXPECT_EQ(boxes[0].style, 0x10u);
    }
}
