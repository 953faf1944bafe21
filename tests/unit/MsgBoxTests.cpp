// Message boxes, the log and text conversion: texts that do not fit their buffers, and the system runtime's
// own spelling of the length modifiers.
#include "InProcess.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Format.h"
#include "Lib/Shared/Polvane/Log.h"
#include "Lib/Shared/Polvane/MsgBox.h"
#include "Lib/Shared/Polvane/TextConversion.h"

#include <gtest/gtest.h>

// 4095 characters and the terminator fill the buffer; a longer or empty text shows the fixed box, a plain
// error even in the editor, and answers cancel.
TEST(MsgBox, TextThatCannotBeFormattedShowsTheFixedBox)
{
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder recorder;
    EXPECT_EQ(Polvane::MsgBox::Info(L"Polvane error", L"%s", std::wstring(4095, L'f').c_str()), IDOK);
    EXPECT_EQ(recorder.boxes.at(0).text, std::wstring(4095, L'f'));
    for (const wchar_t* format : {L"", L"%s"}) {
        recorder.boxes.clear();
        EXPECT_EQ(Polvane::MsgBox::WarningYesNo(L"Property error", format, std::wstring(4096, L't').c_str()), IDCANCEL);
        ASSERT_EQ(recorder.boxes.size(), 1u);
        EXPECT_EQ(recorder.boxes[0].title + L"|" + recorder.boxes[0].text,
                  L"Property error - Morvalex|Failed to format a message box. Contact extension developer.");
        EXPECT_EQ(recorder.boxes[0].style, 0x10u);
    }
}

TEST(Format, LengthModifiersAreRespelledForTheSystemRuntime)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"ID %zu.", L"ID %Iu."},       {L"%5zu|%-3zd", L"%5Iu|%-3Id"}, {L"depth %hhu", L"depth %hu"},
        {L"%lld %llu", L"%I64d %I64u"}, {L"%-08.3lld", L"%-08.3I64d"},  {L"100%% zu %%zu", L"100%% zu %%zu"},
        {L"%s %ls %hi %u %d", L"%s %ls %hi %u %d"}, {L"ends with %", L"ends with %"}};
    for (const auto& [format, respelled] : cases)
        EXPECT_EQ(Polvane::ForSystemRuntime(format), respelled);
    InProcess::BoxRecorder recorder; // and the runtime reads the values as their modifiers say
    Polvane::MsgBox::Error(L"t", L"%zu|%hhu|%lld|%s", std::size_t(4000000000u), 4, -5000000000LL, L"wide");
    EXPECT_EQ(recorder.boxes.at(0).text, L"4000000000|4|-5000000000|wide");
}

namespace {

std::wstring logged;
void WINAPI KeepLine(LPCWSTR text) { logged = text; }

} // namespace

// A line too long for the log's buffer is cut and marked, keeping its format's line end.
TEST(Log, LongLinesAreCutAndMarkedKeepingTheirLineEnd)
{
    Host::Seam.OutputDebugStringW = KeepLine;
    Polvane::Log(4, L"%s\n", std::wstring(2046, L'a').c_str());
    EXPECT_EQ(logged, std::wstring(2046, L'a') + L"\n");
    const std::wstring text(2047, L'b'); // with the x, one character more than a line holds
    for (const auto& [format, ending] :
         {std::pair{L"%s\r\n", L"\r\n"}, {L"%s\n", L"\n"}, {L"%s", L""}, {L"%s\r", L""}, {L"%s\n\r", L""}}) {
        Polvane::Log(6, format, (text + L"x").c_str());
        EXPECT_EQ(logged, text.substr(0, 2030) + L"... [truncated]" + ending) << std::wstring(format).size();
    }
}

// Cut to fit, never inside a surrogate pair, and terminated; nothing written past the buffer. Empty input
// never reaches Windows, which would fail a conversion of no characters.
TEST(TextConversion, BufferTakesTheTextCutToFitAndTerminated)
{
    struct Case {
        const char* text;
        std::size_t max;
        std::wstring expected;
    };
    for (const Case& c : {Case{"abc", 4, L"abc"}, {"abcd", 4, L"abc"}, {"abc", 1, L""}, {"", 5, L""},
                          {"\xC3\xA9\xC3\xA9\xC3\xA9", 3, L"\u00E9\u00E9"}, {"a\xF0\x9F\x98\x80", 4, L"a\xD83D\xDE00"},
                          {"a\xF0\x9F\x98\x80", 3, L"a"}, {"\xF0\x9F\x98\x80" "bc", 4, L"\xD83D\xDE00" L"b"},
                          {"abc", 0, L""}}) {
        std::wstring buffer(c.max + 2, L'\xAAAA');
        EXPECT_EQ(Tovik::UTF8ToWideBuffer(buffer.data(), c.text, c.max), buffer.data());
        const std::wstring written = c.max > 0 ? c.expected + L'\0' : L"";
        EXPECT_EQ(buffer, written + std::wstring(buffer.size() - written.size(), L'\xAAAA')) << c.text << " in " << c.max;
    }
    SetLastError(0x1234567);
    EXPECT_EQ(Polvane::UTF8ToWide("") + Polvane::ANSIToWide(""), L"");
    EXPECT_EQ(Polvane::WideToUTF8(L"") + Polvane::ANSIToUTF8(""), "");
    EXPECT_EQ(GetLastError(), 0x1234567u);
}
