// The microphone of the built library under Wine, which offers no capture device here: opening fails at
// the default endpoint and says so in the last-error text.
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using BuiltMicrophone = TestHost::SessionWithObject<testing::Test>;

TEST_F(BuiltMicrophone, WithoutACaptureDeviceOpeningFailsAndIsRecorded)
{
    EXPECT_EQ(session.ExpressionText(object, 75), L""); // no error yet
    session.Action(object, 37, {0});                    // no delay
    session.Action(object, 36);                         // capture
    EXPECT_EQ(session.Expression(object, 74), 0);       // not active
    const std::wstring error = session.ExpressionText(object, 75);
    const std::wregex line(LR"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] \(-203\) - Failed to get default microphone\.)");
    EXPECT_TRUE(std::regex_match(error, line)) << std::string(error.begin(), error.end());
    // The next capture tries again from the start, and fails the same way.
    session.Action(object, 36);
    EXPECT_EQ(session.Expression(object, 74), 0);
    // The microphone's failures are recorded, never shown.
    ASSERT_TRUE(session.Boxes().Installed());
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}
