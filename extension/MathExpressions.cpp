// The extension's stateless arithmetic: integer addition and equality, the bitwise family, float and
// text comparisons, conditional selection and the trigonometric functions, plus the definition's two
// example actions. Nothing here keeps data or reports anything.
#include "Extension.h"

#include <cmath>
#include <cstdint>
#include <cwchar>
#include <iterator>

namespace {

std::uint32_t Bits(int value) { return static_cast<std::uint32_t>(value); }
int Signed(std::uint32_t bits) { return static_cast<int>(bits); }

// The x87 unit may keep a double result with extra precision; passing it through memory rounds it to
// double first, so the float the host gets is the double result rounded once more, never directly.
float RoundThroughDouble(double value)
{
    volatile double rounded = value;
    return static_cast<float>(rounded);
}

float InDouble(double (*function)(double), float x)
{
    return RoundThroughDouble(function(static_cast<double>(x)));
}
float Sine(float x) { return InDouble(std::sin, x); }
float Cosine(float x) { return InDouble(std::cos, x); }
float Tangent(float x) { return InDouble(std::tan, x); }

// No zero test: 1 / 0 gives an infinity of the divisor's sign.
float Reciprocal(float value) { return RoundThroughDouble(1.0 / static_cast<double>(value)); }

bool SameText(const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b) == 0; }

} // namespace

void Extension::ActionExample(int) {}
void Extension::SecondActionExample() {}

bool Extension::AreEqual(int a, int b) { return a == b; }

int Extension::Add(int a, int b) { return Signed(Bits(a) + Bits(b)); }

const wchar_t* Extension::HelloWorldStr()
{
    static constexpr wchar_t text[] = L"Hello world!";
    return Runtime.CopyString(text, std::size(text) - 1);
}

// Bitwise

int Extension::BitAND(int a, int b) { return a & b; }
int Extension::BitOR(int a, int b) { return a | b; }
int Extension::BitXOR(int a, int b) { return a ^ b; }
int Extension::BitNOT(int a) { return ~a; }
int Extension::BitNAND(int a, int b) { return ~(a & b); }
int Extension::BitNOR(int a, int b) { return ~(a | b); }
int Extension::BitXNOR(int a, int b) { return ~(a ^ b); }
int Extension::BitIMPLY(int a, int b) { return ~a | b; }
int Extension::BitNIMPLY(int a, int b) { return a & ~b; }
int Extension::BitCONVERSE(int a, int b) { return a | ~b; }
int Extension::BitNCONVERSE(int a, int b) { return ~a & b; }

int Extension::BitSL(int a, int shift) { return Signed(Bits(a) << (shift & 31)); }
int Extension::BitSR(int a, int shift) { return a >> (shift & 31); } // arithmetic: the sign is kept

// Counts are taken modulo 32 as unsigned values, so -1 rotates by 31; a count of 0 must not shift by 32.
int Extension::BitRL(int a, int shift)
{
    const std::uint32_t r = Bits(shift) % 32;
    return r == 0 ? a : Signed(Bits(a) << r | Bits(a) >> (32 - r));
}

int Extension::BitRR(int a, int shift)
{
    const std::uint32_t r = Bits(shift) % 32;
    return r == 0 ? a : Signed(Bits(a) >> r | Bits(a) << (32 - r));
}

// Comparisons: IEEE semantics, so a NaN makes every relation but "not equal" false.

int Extension::CheckEq(float a, float b) { return a == b; }
int Extension::CheckEqN(float a, float b) { return !(a == b); }
int Extension::CheckL(float a, float b) { return a < b; }
int Extension::CheckLEq(float a, float b) { return a <= b; }
int Extension::CheckG(float a, float b) { return a > b; }
int Extension::CheckGEq(float a, float b) { return a >= b; }

int Extension::CheckEqStr(const wchar_t* a, const wchar_t* b) { return SameText(a, b); }
int Extension::CheckEqNStr(const wchar_t* a, const wchar_t* b) { return !SameText(a, b); }

int Extension::Check(float a, const wchar_t* op, float b)
{
    if (SameText(op, L"=="))
        return a == b;
    if (SameText(op, L"!="))
        return !(a == b);
    if (SameText(op, L"<"))
        return a < b;
    if (SameText(op, L"<="))
        return a <= b;
    if (SameText(op, L">"))
        return a > b;
    if (SameText(op, L">="))
        return a >= b;
    return 0;
}

int Extension::CheckText(const wchar_t* a, const wchar_t* op, const wchar_t* b)
{
    if (SameText(op, L"=="))
        return SameText(a, b);
    if (SameText(op, L"!="))
        return !SameText(a, b);
    return 0;
}

// Conditional selection

float Extension::If(int condition, float then) { return condition != 0 ? then : 0.0f; }
float Extension::IfElse(int condition, float then, float otherwise)
{
    return condition != 0 ? then : otherwise;
}

const wchar_t* Extension::IfStr(int condition, const wchar_t* then)
{
    return Runtime.CopyString(condition != 0 ? then : L"");
}

const wchar_t* Extension::IfElseStr(int condition, const wchar_t* then, const wchar_t* otherwise)
{
    return Runtime.CopyString(condition != 0 ? then : otherwise);
}

// Trigonometry: the circular and plain hyperbolic functions in double on the widened argument, the
// inverse hyperbolic ones in single precision.

float Extension::SinM(float x) { return Sine(x); }
float Extension::CosM(float x) { return Cosine(x); }
float Extension::TanM(float x) { return Tangent(x); }
float Extension::CosecM(float x) { return Reciprocal(Sine(x)); }
float Extension::SecM(float x) { return Reciprocal(Cosine(x)); }
float Extension::CtanM(float x) { return Reciprocal(Tangent(x)); }
float Extension::ASinM(float x) { return InDouble(std::asin, x); }
float Extension::ACos(float x) { return InDouble(std::acos, x); }
float Extension::ATanM(float x) { return InDouble(std::atan, x); }
float Extension::Sinh(float x) { return InDouble(std::sinh, x); }
float Extension::CoshM(float x) { return InDouble(std::cosh, x); }
float Extension::TanhM(float x) { return InDouble(std::tanh, x); }
float Extension::ASinhM(float x) { return std::asinh(x); }
float Extension::ACoshM(float x) { return std::acosh(x); }
float Extension::ATanhM(float x) { return std::atanh(x); }

// Both factors take pi as 3.14159265359, not the full double value.
float Extension::ConvDegToRadM(float x)
{
    return RoundThroughDouble(static_cast<double>(x) * 0.017453292519944444);
}
float Extension::ConvRadToDegM(float x)
{
    return RoundThroughDouble(static_cast<double>(x) * 57.29577951307855);
}
