// The arithmetic, bitwise, comparison, selection and trigonometric members through the real library's
// jump tables. Float results are compared bit for bit, against literal patterns worked out elsewhere.
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using TestHost::BitsOf;

namespace {

using MathExpressions = TestHost::SessionWithObject<testing::Test>;

TEST_F(MathExpressions, IntegerOperations)
{
    const int a = 0b1100, b = 0b1010, p = 0x12345678, pRotated = static_cast<int>(0x81234567);
    // id, a, b, result
    const int cases[][4] = {{0, INT_MAX, 1, INT_MIN}, {0, 5, -7, -2},
                            {8, a, b, 0b1000},        {9, a, b, 0b1110},
                            {10, a, b, 0b0110},       {11, INT_MAX, 0, INT_MIN},
                            {12, a, b, ~0b1000},      {13, a, b, ~0b1110},
                            {14, a, b, ~0b0110},      {35, a, b, ~0b0100},
                            {35, 0, 0, -1},           {36, a, b, 0b0100},
                            {37, a, b, ~0b0010},      {38, a, b, 0b0010},
                            {15, 1, 33, 2},           {15, 1, -1, INT_MIN},
                            {16, -8, 1, -4},          {16, -1, 31, -1},
                            {16, 16, 32, 16},         {17, INT_MIN | 1, 1, 3},
                            {17, p, 36, 0x23456781},  {17, p, 0, p},
                            {17, p, 32, p},           {17, 1, -1, INT_MIN},
                            {18, 1, 1, INT_MIN},      {18, p, 4, pRotated},
                            {18, p, 32, p},           {18, 1, -1, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(session.Expression(object, c[0], {c[1], c[2]}), c[3])
            << c[0] << "(" << c[1] << ", " << c[2] << ")";
    EXPECT_TRUE(session.Condition(object, 0, {INT_MIN, INT_MIN}) && !session.Condition(object, 0, {-1, 1}));
}

// Floats by the relations of expressions 21 to 26 and as the operator texts of expression 56, which
// answers 0 for any other operator; texts exactly, by 29 and 30 and by 57 with "==", "!=" or another.
TEST_F(MathExpressions, ComparisonsOfFloatsAndTexts)
{
    const std::tuple<float, float, std::vector<int>> pairs[] = {
        {1, 2, {0, 1, 1, 1, 0, 0}},     {2, 1, {0, 1, 0, 0, 1, 1}},   {-0.0f, 0, {1, 0, 0, 1, 0, 1}},
        {NAN, NAN, {0, 1, 0, 0, 0, 0}}, {NAN, 1, {0, 1, 0, 0, 0, 0}}, {1e-45f, 0, {0, 1, 0, 0, 1, 1}}};
    for (const auto& [x, y, results] : pairs) {
        std::vector<int> seen, expected = results;
        expected.insert(expected.end(), results.begin(), results.end());
        expected.resize(17);
        for (int id = 21; id <= 26; ++id)
            seen.push_back(session.Expression(object, id, {x, y}));
        for (const wchar_t* op : {L"==", L"!=", L"<", L"<=", L">", L">=", L" ==", L"== ", L"=", L"<>", L""})
            seen.push_back(session.Expression(object, 56, {x, op, y}));
        EXPECT_EQ(seen, expected) << x << ", " << y;
    }
    for (auto [x, y, same] : {std::tuple{L"a", L"a", 1}, {L"a", L"A", 0}, {L"a", L"a ", 0}, {L"", L"", 1}}) {
        const std::vector<int> results = {
            session.Expression(object, 29, {x, y}), session.Expression(object, 30, {x, y}),
            session.Expression(object, 57, {x, L"==", y}), session.Expression(object, 57, {x, L"!=", y}),
            session.Expression(object, 57, {x, L"<", y})};
        EXPECT_EQ(results, (std::vector<int>{same, !same, same, !same, 0})) << same;
    }
}

TEST_F(MathExpressions, SelectionAndTextCopiesInTheHostsStringSpace)
{
    EXPECT_EQ(BitsOf(session.ExpressionFloat(object, 19, {0, 5.5f})), 0u);
    EXPECT_EQ(BitsOf(session.ExpressionFloat(object, 19, {INT_MIN, -0.0f})), BitsOf(-0.0f));
    EXPECT_EQ(session.ExpressionFloat(object, 20, {-1, 1.0f, 2.0f}), 1.0f);
    EXPECT_EQ(session.ExpressionFloat(object, 20, {0, 1.0f, 2.0f}), 2.0f);
    const auto& requests = session.TheHost().StringSpaceRequests();
    const auto before = requests.size();
    const std::pair<int, std::vector<TestHost::Arg>> calls[] = {
        {1, {}}, {27, {0, L"x"}}, {27, {7, L"xyz"}}, {28, {0, L"a", L"b"}}, {28, {INT_MIN, L"c", L"d"}}};
    std::wstring texts;
    for (const auto& [id, args] : calls)
        texts += session.ExpressionText(object, id, args) + L"|";
    EXPECT_EQ(texts, L"Hello world!||xyz|b|c|");
    EXPECT_EQ(std::vector<std::int32_t>(requests.begin() + before, requests.end()),
              (std::vector<std::int32_t>{26, 2, 8, 4, 4}));
}

// The circular and plain hyperbolic functions in double, rounded once to float; the inverse hyperbolic
// ones in single precision; the reciprocals of the rounded float in double (not of the double result);
// the conversions in double with pi taken as 3.14159265359 (not the full double value, nor in float).
// The last rows: zero divisors, overflow and the ends of the domains, as IEEE gives them.
TEST_F(MathExpressions, FloatFunctionsFollowTheirPrecisionRules)
{
    // id, argument, result
    const std::uint32_t cases[][3] = {
        {39, 0x3F000000, 0x3EF57744}, {40, 0x3F000000, 0x3F60A940}, {41, 0x40000000, 0xC00BD7B1},
        {42, 0xC00A0256, 0xBF999746}, {42, 0xBC16A6D6, 0xC2D982EA}, {43, 0xC00A0256, 0xBFE79785},
        {44, 0xBC16A6D6, 0xC2D98090}, {45, 0x3F000000, 0x3F060A92}, {46, 0xBF400000, 0x401ACE93},
        {47, 0x41200000, 0x3FBC4DE9}, {48, 0x41200000, 0x462C14EE}, {49, 0x41200000, 0x462C14EF},
        {50, 0xBF400000, 0xBF22991F}, {51, 0x41200000, 0x403FE2E3}, {52, 0x40000000, 0x3FA89214},
        {53, 0x3F000000, 0x3F0C9F54}, {54, 0x43340000, 0x40490FDB}, {54, 0x42D4FEDF, 0x3FEDEB1A},
        {54, 0xC3F2A0DE, 0xC107825F}, {55, 0xC13248BF, 0xC41F9BB8}, {55, 0x3F800000, 0x42652EE1},
        {42, 0x00000000, 0x7F800000}, {42, 0x80000000, 0xFF800000}, {44, 0x00000000, 0x7F800000},
        {53, 0x3F800000, 0x7F800000}, {48, 0x42C80000, 0x7F800000}, {45, 0x40000000, 0x7FC00000},
        {46, 0xBFC00000, 0x7FC00000}, {52, 0x3F000000, 0x7FC00000}, {53, 0x40000000, 0x7FC00000}};
    for (const auto& c : cases) {
        const std::uint32_t result =
            BitsOf(session.ExpressionFloat(object, static_cast<int>(c[0]), {TestHost::FromBits(c[1])}));
        EXPECT_EQ(c[2] == 0x7FC00000 ? result & 0x7FC00000 : result, c[2])
            << c[0] << std::hex << "(" << c[1] << ")";
    }
}

} // namespace
