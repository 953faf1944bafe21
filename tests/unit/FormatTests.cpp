// Formats reach the system runtime in its own spelling of the length modifiers.
#include "Lib/Shared/Polvane/Format.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <string>

namespace {

std::wstring Format(const wchar_t* format, ...)
{
    wchar_t buffer[64];
    va_list args;
    va_start(args, format);
    const int length = Polvane::FormatArgs(buffer, 64, format, args);
    va_end(args);
    return length < 0 ? L"<cut>" : std::wstring(buffer);
}

} // namespace

TEST(Format, LengthModifiersAreRespelledForTheSystemRuntime)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"ID %zu.", L"ID %Iu."},       {L"%5zu|%-3zd", L"%5Iu|%-3Id"}, {L"depth %hhu", L"depth %hu"},
        {L"%lld %llu", L"%I64d %I64u"}, {L"%-08.3lld", L"%-08.3I64d"},  {L"100%% zu %%zu", L"100%% zu %%zu"},
        {L"%s %ls %hi %u %d", L"%s %ls %hi %u %d"}, {L"ends with %", L"ends with %"},
    };
    for (const auto& [format, respelled] : cases)
        EXPECT_EQ(Polvane::ForSystemRuntime(format), respelled) << std::wstring(format).size();
}

TEST(Format, ValuesComeOutAsTheirModifiersSay)
{
    EXPECT_EQ(Format(L"%zu|%hhu|%lld|%s", static_cast<std::size_t>(4000000000u), 4,
                     static_cast<long long>(-5000000000LL), L"wide"),
              L"4000000000|4|-5000000000|wide");
    EXPECT_EQ(Format(L"%s", std::wstring(64, L'x').c_str()), L"<cut>");
    EXPECT_EQ(Format(L"%s", std::wstring(63, L'x').c_str()), std::wstring(63, L'x'));
}
