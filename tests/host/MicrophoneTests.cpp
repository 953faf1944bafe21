// The microphone of the built library under Wine, which offers no capture device here: opening fails at
// the default endpoint and says so in the last-error text. Its failures are recorded, never shown.
#include "HeapLimit.h"
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using BuiltMicrophone = TestHost::SessionWithObject<testing::Test>;

// "[YYYY-MM-DD HH:MM:SS] " in local time, then the code and the message.
bool IsErrorLine(const std::wstring& line, const std::wstring& rest)
{
    const std::wregex stamp(LR"(\[\d{4}(-\d\d){2} \d\d(:\d\d){2}\] )");
    return line.size() > 22 && std::regex_match(line.substr(0, 22), stamp) && line.substr(22) == rest;
}

TEST_F(BuiltMicrophone, WithoutACaptureDeviceOpeningFailsAndIsRecorded)
{
    EXPECT_EQ(session.ExpressionText(object, 75), L""); // no error yet
    session.Action(object, 37, {0});                    // no delay
    for (int attempt = 0; attempt < 2; ++attempt) {     // each capture tries again from the start
        session.Action(object, 36);
        EXPECT_EQ(session.Expression(object, 74), 0); // not active
        EXPECT_TRUE(
            IsErrorLine(session.ExpressionText(object, 75), L"(-203) - Failed to get default microphone."));
    }
    EXPECT_TRUE(session.Boxes().Installed() && session.Boxes().Boxes().empty());
}

TEST_F(BuiltMicrophone, AWindowBeyondTheLargestIsRefusedAndRecordedAndTheMeasuresGoOn)
{
    session.Action(object, 38, {5});
    session.Action(object, 38, {2147483647});
    EXPECT_EQ(session.Expression(object, 62), 5);
    EXPECT_TRUE(IsErrorLine(session.ExpressionText(object, 75),
                            L"(-210) - Failed to set the sample window: at most 1048576 samples."));
    EXPECT_TRUE(session.Boxes().Boxes().empty());
    session.Action(object, 38, {1048576});
    session.Action(object, 36);
    EXPECT_EQ(session.Expression(object, 62), 1048576);
    EXPECT_EQ(TestHost::BitsOf(session.ExpressionFloat(object, 61)), 0u); // the mean, with no window measured
    EXPECT_EQ(session.Expression(object, 73), 1);                         // which asked for the statistics
}

TEST_F(BuiltMicrophone, AnIdTooLongForTheMemoryLeftEndsInABoxAndChangesNothing)
{
    session.Action(object, 41, {L"{old}"});
    const std::vector<TestHost::Arg> id = {std::wstring(1 << 20, L'i').c_str()};
    {
        const TestHost::HeapLimit full(session.Lib().Module(), 1 << 20);
        ASSERT_TRUE(full.Installed());
        session.Action(object, 41, id);
    }
    ASSERT_EQ(session.Boxes().Boxes().size(), 1u);
    EXPECT_EQ(session.Boxes().Boxes()[0].text, L"Action stopped on an unexpected error: std::bad_alloc");
    EXPECT_EQ(session.ExpressionText(object, 69), L"{old}");
}

} // namespace
