#include "Lib/Shared/Polvane/TextConversion.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Pair {
    const char* name;
    std::string utf8;
    std::wstring wide;
};

const Pair pairs[] = {
    {"ASCII", "Languages", L"Languages"},
    {"two-byte", "caf\xC3\xA9", L"caf\u00E9"},
    {"three-byte", "\xE2\x82\xAC 5", L"\u20AC 5"},
    {"surrogate pair", "a\xF0\x9F\x98\x80z", L"a\xD83D\xDE00z"},
    {"inner NUL", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
};

} // namespace

TEST(TextConversion, UTF8AndWideConvertBothWays)
{
    for (const Pair& pair : pairs) {
        EXPECT_EQ(Polvane::UTF8ToWide(pair.utf8), pair.wide) << pair.name;
        EXPECT_EQ(Polvane::UTF8ToTString(pair.utf8), pair.wide) << pair.name;
        EXPECT_EQ(Polvane::WideToUTF8(pair.wide), pair.utf8) << pair.name;
        EXPECT_EQ(Polvane::TStringToUTF8(pair.wide), pair.utf8) << pair.name;
    }
}

TEST(TextConversion, ConvertsOnlyTheViewNotUpToATerminator)
{
    const std::string utf8 = "keyXYZ";
    const std::wstring wide = L"keyXYZ";
    EXPECT_EQ(Polvane::UTF8ToWide(std::string_view(utf8).substr(0, 3)), L"key");
    EXPECT_EQ(Polvane::WideToUTF8(std::wstring_view(wide).substr(0, 3)), "key");
}

TEST(TextConversion, BadBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(Polvane::UTF8ToWide("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(Polvane::UTF8ToWide("\xC3"), L"\uFFFD");
    // A lone surrogate has no UTF-8 form.
    EXPECT_EQ(Polvane::WideToUTF8(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(TextConversion, UTF8ToTStringReportsValid)
{
    bool valid = false;
    EXPECT_EQ(Polvane::UTF8ToTString("\xFF", &valid), L"\uFFFD");
    EXPECT_TRUE(valid);
}

TEST(TextConversion, EmptyInputGivesEmptyOutputWithoutAskingWindows)
{
    // Windows fails a conversion of zero characters with ERROR_INVALID_PARAMETER; the code stays put
    // only if no conversion was attempted.
    const DWORD untouched = 0x1234567;
    SetLastError(untouched);
    bool valid = false;
    EXPECT_EQ(Polvane::UTF8ToWide(""), L"");
    EXPECT_EQ(Polvane::UTF8ToTString("", &valid), L"");
    EXPECT_TRUE(valid);
    EXPECT_EQ(Polvane::WideToUTF8(L""), "");
    EXPECT_EQ(Polvane::TStringToUTF8(L""), "");
    EXPECT_EQ(Polvane::ANSIToWide(""), L"");
    EXPECT_EQ(Polvane::ANSIToUTF8(""), "");
    EXPECT_EQ(GetLastError(), untouched);
}

TEST(TextConversion, ANSIUsesTheCodePageOfTheSystem)
{
    EXPECT_EQ(Polvane::ANSIToWide("Plain text"), L"Plain text");
    EXPECT_EQ(Polvane::ANSIToUTF8("Plain text"), "Plain text");
    if (GetACP() != 1252)
        GTEST_SKIP() << "the rest needs Windows-1252 as the ANSI code page, this system has " << GetACP();
    EXPECT_EQ(Polvane::ANSIToWide("caf\xE9 \x80"), L"caf\u00E9 \u20AC");
    EXPECT_EQ(Polvane::ANSIToUTF8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(TextConversion, BufferTakesTheTextCutToFitAndTerminated)
{
    struct Case {
        const char* name;
        const char* text;
        std::size_t max;
        std::wstring expected;
    };
    const Case cases[] = {
        {"room to spare", "abc", 10, L"abc"},
        {"exact fit", "abc", 4, L"abc"},
        {"one too long", "abcd", 4, L"abc"},
        {"room for the terminator only", "abc", 1, L""},
        {"empty text", "", 5, L""},
        {"two-byte characters", "\xC3\xA9\xC3\xA9\xC3\xA9", 3, L"\u00E9\u00E9"},
        {"pair fits", "a\xF0\x9F\x98\x80", 4, L"a\xD83D\xDE00"},
        {"pair would be split", "a\xF0\x9F\x98\x80", 3, L"a"},
        {"pair alone would be split", "\xF0\x9F\x98\x80" "b", 2, L""},
        {"cut after a pair", "\xF0\x9F\x98\x80" "bc", 4, L"\xD83D\xDE00" L"b"},
    };
    const wchar_t guard = 0xAAAA;
    for (const Case& c : cases) {
        std::vector<wchar_t> buffer(c.max + 4, guard);
        EXPECT_EQ(Tovik::UTF8ToWideBuffer(buffer.data(), c.text, c.max), buffer.data()) << c.name;
        EXPECT_EQ(std::wstring(buffer.data()), c.expected) << c.name;
        for (std::size_t i = c.max; i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], guard) << c.name << ": written past the buffer at " << i;
    }
}

TEST(TextConversion, BufferOfNoCharactersIsLeftAlone)
{
    wchar_t guard = 0xAAAA;
    EXPECT_EQ(Tovik::UTF8ToWideBuffer(&guard, "abc", 0), &guard);
    EXPECT_EQ(guard, 0xAAAA);
}

TEST(TextConversion, AllocGivesATerminatedTextToFree)
{
    const std::pair<const char*, std::wstring> cases[] = {
        {"Sprite \xF0\x9F\x98\x80 caf\xC3\xA9", L"Sprite \xD83D\xDE00 caf\u00E9"},
        {"", L""},
    };
    for (const auto& [text, expected] : cases) {
        wchar_t* result = Tovik::UTF8ToWideAlloc(text);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(std::wstring(result), expected);
        std::free(result);
    }
    wchar_t* released = Tovik::UTF8ToWideAlloc("x");
    ASSERT_NE(released, nullptr);
    EXPECT_EQ(std::wstring(released), L"x");
    Tovik::FreeWideAlloc(released);
}
