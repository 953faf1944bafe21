// The microphone of the built library under Wine, which offers no capture device here: opening fails at
// the default endpoint.
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <regex>

namespace {

using BuiltMicrophone = TestHost::SessionWithObject<testing::Test>;

// A window below one sample is one sample; one beyond 1048576 samples is refused, and the window stays as
// it was. Failures are recorded in the last-error text, stamped "[YYYY-MM-DD HH:MM:SS] " in local time, and
// never shown.
TEST_F(BuiltMicrophone, FailuresAreRecordedAndNeverShown)
{
    const auto lastError = [&] {
        const std::wregex stamp(LR"(^\[\d{4}(-\d\d){2} \d\d(:\d\d){2}\] )");
        return std::regex_replace(session.ExpressionText(object, 75), stamp, L"[time] ");
    };
    const std::wstring refused = L"[time] (-210) - Failed to set the sample window: at most 1048576 samples.";
    const std::pair<int, int> sizes[] = {{0, 1},      {-7, 1},      {INT_MIN, 1},   {1048576, 1048576},
                                         {3, 3},      {1048577, 3}, {507560658, 3}, {1073741823, 3},
                                         {INT_MAX, 3}};
    for (auto [requested, kept] : sizes) {
        session.Action(object, 38, {requested});
        EXPECT_EQ(session.Expression(object, 62), kept) << requested;
        EXPECT_EQ(lastError(), requested <= 1048576 ? L"" : refused) << requested;
    }
    session.Action(object, 37, {0}); // no delay
    session.Action(object, 36);
    EXPECT_EQ(session.Expression(object, 74), 0); // not active
    EXPECT_EQ(lastError(), L"[time] (-203) - Failed to get default microphone.");
    EXPECT_TRUE(session.Boxes().Installed() && session.Boxes().Boxes().empty());
}

} // namespace
