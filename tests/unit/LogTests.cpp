#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> lines;

void WINAPI RecordLine(LPCWSTR text) { lines.push_back(text); }

class LogTest : public testing::Test {
protected:
    void SetUp() override
    {
        lines.clear();
        Host::Seam.OutputDebugStringW = RecordLine;
    }
    void TearDown() override { Host::Seam.OutputDebugStringW = savedOutput; }

private:
    decltype(Host::Seam.OutputDebugStringW) savedOutput = Host::Seam.OutputDebugStringW;
};

void LogThroughArgs(int level, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    Polvane::LogArgs(level, format, args);
    va_end(args);
}

} // namespace

TEST_F(LogTest, WritesOneFormattedLineWhateverTheLevel)
{
    Polvane::Log(4, L"Object %s selected %d of %zu\n", L"Player", 2, std::size_t(9));
    Polvane::Log(6, L"Object %s selected %d of %zu\n", L"Player", 2, std::size_t(9));
    LogThroughArgs(6, L"Parameter %d is %ls\r\n", 1, L"text");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"Object Player selected 2 of 9\n");
    EXPECT_EQ(lines[1], lines[0]);
    EXPECT_EQ(lines[2], L"Parameter 1 is text\r\n");
}

TEST_F(LogTest, LongestLineIsWrittenWhole)
{
    const std::wstring longest(2046, L'a');
    Polvane::Log(4, L"%s\n", longest.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], longest + L"\n");
}

TEST_F(LogTest, CutLineEndsWithMarkerAndTheFormatsLineEnd)
{
    struct Case {
        const char* name;
        const wchar_t* format;
        const wchar_t* ending;
    };
    const Case cases[] = {
        {"CR LF", L"%s\r\n", L"\r\n"}, {"LF", L"%s\n", L"\n"}, {"none", L"%s", L""},
        {"CR alone", L"%s\r", L""},    {"LF CR", L"%s\n\r", L""},
    };
    // With the x, one character more than a line holds, before the format's own ending.
    const std::wstring text(2047, L'b');
    for (const Case& c : cases) {
        lines.clear();
        Polvane::Log(4, c.format, (text + L"x").c_str());
        ASSERT_EQ(lines.size(), 1u) << c.name;
        EXPECT_EQ(lines[0], text.substr(0, 2030) + L"... [truncated]" + c.ending) << c.name;
    }
}

TEST_F(LogTest, VerboseLogWritesNothing)
{
    Polvane::LogVerbose(L"property %d changed\n", 3);
    EXPECT_TRUE(lines.empty());
}
