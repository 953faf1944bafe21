// The arithmetic, bitwise, comparison, selection and trigonometric members through the real library's
// jump tables. Float results are compared bit for bit; for the library functions the expected value is
// worked out here under the same precision rules (double or single evaluation, then one float rounding).
#include "SessionFixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using TestHost::Arg;
using TestHost::BitsOf;
using TestHost::FromBits;

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

class MathExpressions : public TestHost::SessionWithObject<testing::Test> {};

TEST_F(MathExpressions, ExampleActionsDoNothing)
{
    session.TheHost().ResetCounts();
    session.Boxes().Clear();
    EXPECT_EQ(session.Action(object, 0, {12345}), 0);
    EXPECT_EQ(session.Action(object, 1), 0);
    EXPECT_TRUE(session.TheHost().CallbackLog().empty());
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

TEST_F(MathExpressions, AreEqual)
{
    const struct {
        int a, b, expected;
    } cases[] = {{5, 5, 1}, {5, 6, 0}, {INT_MIN, INT_MIN, 1}, {INT_MIN, INT_MAX, 0}, {-1, 1, 0}, {0, 0, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(session.Condition(object, 0, {c.a, c.b}), c.expected) << c.a << " " << c.b;
}

TEST_F(MathExpressions, IntegerOperations)
{
    const int a = 0b1100, b = 0b1010;
    const struct {
        const char* name;
        int id, a, b, expected;
    } cases[] = {
        {"Add", 0, 2147483647, 1, INT_MIN},
        {"Add", 0, INT_MIN, -1, INT_MAX},
        {"Add", 0, -1, 1, 0},
        {"Add", 0, 5, -7, -2},
        {"BitAND", 8, a, b, 0b1000},
        {"BitAND", 8, -1, INT_MIN, INT_MIN},
        {"BitOR", 9, a, b, 0b1110},
        {"BitOR", 9, INT_MIN, 1, INT_MIN + 1},
        {"BitXOR", 10, a, b, 0b0110},
        {"BitXOR", 10, -1, INT_MAX, INT_MIN},
        {"BitNAND", 12, a, b, ~0b1000},
        {"BitNOR", 13, a, b, ~0b1110},
        {"BitXNOR", 14, a, b, ~0b0110},
        {"BitIMPLY", 35, a, b, ~0b0100},
        {"BitIMPLY", 35, 0, 0, -1},
        {"BitNIMPLY", 36, a, b, 0b0100},
        {"BitCONVERSE", 37, a, b, ~0b0010},
        {"BitNCONVERSE", 38, a, b, 0b0010},
        {"BitNCONVERSE", 38, 0, -1, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(session.Expression(object, c.id, {c.a, c.b}), c.expected)
            << c.name << "(" << c.a << ", " << c.b << ")";

    const struct {
        int a, expected;
    } nots[] = {{0, -1}, {-1, 0}, {INT_MAX, INT_MIN}, {0x0F0F0F0F, static_cast<int>(0xF0F0F0F0)}};
    for (const auto& c : nots)
        EXPECT_EQ(session.Expression(object, 11, {c.a}), c.expected) << "BitNOT(" << c.a << ")";
}

TEST_F(MathExpressions, ShiftsAndRotations)
{
    const int pattern = 0x12345678;
    const struct {
        const char* name;
        int id, a, s, expected;
    } cases[] = {
        {"BitSL", 15, 1, 33, 2},
        {"BitSL", 15, 1, 31, INT_MIN},
        {"BitSL", 15, 1, 32, 1},
        {"BitSL", 15, 1, -1, INT_MIN},
        {"BitSL", 15, -1, 4, -16},
        {"BitSL", 15, 3, 0, 3},
        {"BitSR", 16, -8, 1, -4},
        {"BitSR", 16, -1, 31, -1},
        {"BitSR", 16, INT_MIN, 31, -1},
        {"BitSR", 16, 0x40000000, 30, 1},
        {"BitSR", 16, 16, -1, 0},
        {"BitSR", 16, 16, 32, 16},
        {"BitSR", 16, -16, 33, -8},
        {"BitRL", 17, INT_MIN | 1, 1, 3},
        {"BitRL", 17, pattern, 4, 0x23456781},
        {"BitRL", 17, pattern, 36, 0x23456781},
        {"BitRL", 17, pattern, 0, pattern},
        {"BitRL", 17, pattern, 32, pattern},
        {"BitRL", 17, 1, -1, INT_MIN},
        {"BitRL", 17, 1, INT_MIN, 1},
        {"BitRR", 18, 1, 1, INT_MIN},
        {"BitRR", 18, pattern, 4, static_cast<int>(0x81234567)},
        {"BitRR", 18, pattern, 0, pattern},
        {"BitRR", 18, pattern, 32, pattern},
        {"BitRR", 18, 1, -1, 2},
        {"BitRR", 18, 2, 33, 1},
        {"BitRR", 18, INT_MIN, 31, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(session.Expression(object, c.id, {c.a, c.s}), c.expected)
            << c.name << "(" << c.a << ", " << c.s << ")";
}

// Expected answers of the six relations for one pair of floats, by expression id 21 to 26 and by the
// operator text of expression 56.
struct Relations {
    float a, b;
    int eq, ne, lt, le, gt, ge;
};

const Relations relations[] = {
    {1.0f, 1.0f, 1, 0, 0, 1, 0, 1},   {1.0f, 2.0f, 0, 1, 1, 1, 0, 0}, {2.0f, 1.0f, 0, 1, 0, 0, 1, 1},
    {-0.0f, 0.0f, 1, 0, 0, 1, 0, 1},  {nan, nan, 0, 1, 0, 0, 0, 0},   {nan, 1.0f, 0, 1, 0, 0, 0, 0},
    {1.0f, nan, 0, 1, 0, 0, 0, 0},    {inf, inf, 1, 0, 0, 1, 0, 1},   {-inf, 3e38f, 0, 1, 1, 1, 0, 0},
    {1e-45f, 0.0f, 0, 1, 0, 0, 1, 1},
};

TEST_F(MathExpressions, FloatComparisonsByMemberAndByOperatorText)
{
    for (const Relations& r : relations) {
        const struct {
            int id;
            const wchar_t* op;
            int expected;
        } members[] = {{21, L"==", r.eq}, {22, L"!=", r.ne}, {23, L"<", r.lt},
                       {24, L"<=", r.le}, {25, L">", r.gt},  {26, L">=", r.ge}};
        for (const auto& m : members) {
            EXPECT_EQ(session.Expression(object, m.id, {r.a, r.b}), m.expected)
                << m.id << ": " << r.a << ", " << r.b;
            EXPECT_EQ(session.Expression(object, 56, {r.a, m.op, r.b}), m.expected)
                << testing::PrintToString(std::wstring(m.op)) << ": " << r.a << ", " << r.b;
        }
    }
}

TEST_F(MathExpressions, CheckAnswersZeroForOtherOperatorTexts)
{
    for (const wchar_t* op : {L" ==", L"== ", L"=", L"<>", L"", L"=<", L"=>", L"!", L"eq", L"==="}) {
        for (const Relations& r : {relations[0], relations[1], relations[4]})
            EXPECT_EQ(session.Expression(object, 56, {r.a, op, r.b}), 0)
                << testing::PrintToString(std::wstring(op)) << ": " << r.a << ", " << r.b;
    }
}

TEST_F(MathExpressions, TextComparisons)
{
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        int same;
    } pairs[] = {
        {L"a", L"a", 1},        {L"a", L"A", 0},    {L"a", L"a ", 0},          {L" a", L"a", 0},
        {L"", L"", 1},          {L"ab", L"abc", 0}, {L"\u00e9", L"\u00e9", 1}, {L"\u00e9", L"e\u0301", 0},
        {L"Hello", L"Hello", 1}};
    for (const auto& p : pairs) {
        const std::string label =
            testing::PrintToString(std::wstring(p.a)) + " " + testing::PrintToString(std::wstring(p.b));
        EXPECT_EQ(session.Expression(object, 29, {p.a, p.b}), p.same) << label;
        EXPECT_EQ(session.Expression(object, 30, {p.a, p.b}), 1 - p.same) << label;
        EXPECT_EQ(session.Expression(object, 57, {p.a, L"==", p.b}), p.same) << label;
        EXPECT_EQ(session.Expression(object, 57, {p.a, L"!=", p.b}), 1 - p.same) << label;
        for (const wchar_t* op : {L"<", L">", L"=", L" ==", L"", L"<>"})
            EXPECT_EQ(session.Expression(object, 57, {p.a, op, p.b}), 0)
                << label << " " << testing::PrintToString(std::wstring(op));
    }
}

TEST_F(MathExpressions, FloatSelection)
{
    const struct {
        int condition;
        float then;
        float expected;
    } ifs[] = {{0, 5.5f, 0.0f}, {1, 5.5f, 5.5f}, {-1, -0.0f, -0.0f}, {INT_MIN, 2.0f, 2.0f}, {0, nan, 0.0f}};
    for (const auto& c : ifs)
        EXPECT_EQ(BitsOf(session.ExpressionFloat(object, 19, {c.condition, c.then})), BitsOf(c.expected))
            << "If(" << c.condition << ", " << c.then << ")";

    const struct {
        int condition;
        float then, otherwise, expected;
    } ifElses[] = {
        {-1, 1.0f, 2.0f, 1.0f}, {0, 1.0f, 2.0f, 2.0f}, {7, -0.0f, 2.0f, -0.0f}, {0, 1.0f, -inf, -inf}};
    for (const auto& c : ifElses)
        EXPECT_EQ(BitsOf(session.ExpressionFloat(object, 20, {c.condition, c.then, c.otherwise})),
                  BitsOf(c.expected))
            << "IfElse(" << c.condition << ", " << c.then << ", " << c.otherwise << ")";
}

TEST_F(MathExpressions, TextSelectionAndHelloWorldAreCopiesInTheHostsStringSpace)
{
    const auto& requests = session.TheHost().StringSpaceRequests();
    const auto before = requests.size();
    EXPECT_EQ(session.ExpressionText(object, 1), L"Hello world!");
    EXPECT_EQ(session.ExpressionText(object, 27, {0, L"x"}), L"");
    EXPECT_EQ(session.ExpressionText(object, 27, {7, L"xyz"}), L"xyz");
    EXPECT_EQ(session.ExpressionText(object, 27, {-1, L""}), L"");
    EXPECT_EQ(session.ExpressionText(object, 28, {0, L"then", L"else"}), L"else");
    EXPECT_EQ(session.ExpressionText(object, 28, {INT_MIN, L"then", L"else"}), L"then");
    EXPECT_EQ(std::vector<std::int32_t>(requests.begin() + before, requests.end()),
              (std::vector<std::int32_t>{26, 2, 8, 2, 10, 10}));
}

// The library's functions under the rules the host relies on: the circular and plain hyperbolic
// functions in double on the widened argument, the double result rounded once to float.
float ThroughDouble(double value)
{
    volatile double rounded = value; // x87: round to double before rounding to float
    return static_cast<float>(rounded);
}
float InDouble(double (*function)(double), float x)
{
    return ThroughDouble(function(static_cast<double>(x)));
}
float Reciprocal(float value) { return ThroughDouble(1.0 / static_cast<double>(value)); }

struct FloatFunction {
    const char* name;
    int id;
    float (*expected)(float);
};

const FloatFunction floatFunctions[] = {
    {"SinM", 39, [](float x) { return InDouble(std::sin, x); }},
    {"CosM", 40, [](float x) { return InDouble(std::cos, x); }},
    {"TanM", 41, [](float x) { return InDouble(std::tan, x); }},
    {"CosecM", 42, [](float x) { return Reciprocal(InDouble(std::sin, x)); }},
    {"SecM", 43, [](float x) { return Reciprocal(InDouble(std::cos, x)); }},
    {"CtanM", 44, [](float x) { return Reciprocal(InDouble(std::tan, x)); }},
    {"ASinM", 45, [](float x) { return InDouble(std::asin, x); }},
    {"ACos", 46, [](float x) { return InDouble(std::acos, x); }},
    {"ATanM", 47, [](float x) { return InDouble(std::atan, x); }},
    {"Sinh", 48, [](float x) { return InDouble(std::sinh, x); }},
    {"CoshM", 49, [](float x) { return InDouble(std::cosh, x); }},
    {"TanhM", 50, [](float x) { return InDouble(std::tanh, x); }},
    {"ASinhM", 51, [](float x) { return std::asinh(x); }},
    {"ACoshM", 52, [](float x) { return std::acosh(x); }},
    {"ATanhM", 53, [](float x) { return std::atanh(x); }},
    {"ConvDegToRadM", 54,
     [](float x) { return ThroughDouble(static_cast<double>(x) * 0.017453292519944444); }},
    {"ConvRadToDegM", 55, [](float x) { return ThroughDouble(static_cast<double>(x) * 57.29577951307855); }},
};

TEST_F(MathExpressions, FloatFunctionsFollowTheirPrecisionRules)
{
    const float inputs[] = {
        0.0f, -0.0f, 0.5f, -0.75f, 1.0f, -1.0f, 2.0f, 1.5707964f, 3.1415927f, 10.0f, 100.0f, 1e-6f, 1e10f,
        88.5f, -90.0f, 180.0f, 1e38f, inf, -inf, nan,
        // Points where a shortcut gives another float: the reciprocal of the unrounded double sine
        // (-2.15639257, -0.00919505022), pi/180 from the full double pi (106.497795), the conversion
        // done in float (-485.256775), and 180/pi from the full double pi (-11.1427603).
        FromBits(0xC00A0256), FromBits(0xBC16A6D6), FromBits(0x42D4FEDF), FromBits(0xC3F2A0DE),
        FromBits(0xC13248BF)};
    for (const FloatFunction& f : floatFunctions) {
        for (float x : inputs) {
            EXPECT_EQ(BitsOf(session.ExpressionFloat(object, f.id, {x})), BitsOf(f.expected(x)))
                << f.name << "(" << x << ")";
        }
    }
}

TEST_F(MathExpressions, FloatFunctionsAtKnownPoints)
{
    const struct {
        const char* name;
        int id;
        float x, expected;
    } cases[] = {
        {"SinM", 39, 0.0f, 0.0f},
        {"SinM", 39, -0.0f, -0.0f},
        {"CosM", 40, 0.0f, 1.0f},
        {"CosecM", 42, 0.0f, inf},
        {"CosecM", 42, -0.0f, -inf},
        {"SecM", 43, 0.0f, 1.0f},
        {"CtanM", 44, 0.0f, inf},
        {"ATanhM", 53, 1.0f, inf},
        {"ATanhM", 53, -1.0f, -inf},
        {"Sinh", 48, 100.0f, inf},
        {"ConvDegToRadM", 54, 180.0f, 3.14159265359f},
        {"ConvDegToRadM", 54, 90.0f, 1.570796326795f},
        {"ConvRadToDegM", 55, 1.0f, 57.29577951307855f},
        {"ConvDegToRadM", 54, FromBits(0x42D4FEDF), FromBits(0x3FEDEB1A)},
        {"ConvDegToRadM", 54, FromBits(0xC3F2A0DE), FromBits(0xC107825F)},
        {"ConvRadToDegM", 55, FromBits(0xC13248BF), FromBits(0xC41F9BB8)},
        {"ConvRadToDegM", 55, 0.0f, 0.0f},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BitsOf(session.ExpressionFloat(object, c.id, {c.x})), BitsOf(c.expected))
            << c.name << "(" << c.x << ")";

    const struct {
        const char* name;
        int id;
        float x;
    } outOfDomain[] = {{"ASinM", 45, 2.0f},  {"ACos", 46, -1.5f}, {"ACoshM", 52, 0.5f},
                       {"ATanhM", 53, 2.0f}, {"SinM", 39, inf},   {"TanM", 41, nan}};
    for (const auto& c : outOfDomain)
        EXPECT_TRUE(std::isnan(session.ExpressionFloat(object, c.id, {c.x}))) << c.name << "(" << c.x << ")";
}

} // namespace
