// The value is an integer of significant digits times a power of ten. Both become big integers, a
// numerator and a denominator, scaled by a power of two until their quotient has the 53 bits of a double
// (fewer below the normal range); the remainder decides the rounding.
#include "decimal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

// 800 significant digits decide every rounding: a point halfway between two doubles has at most 767.
// Digits dropped after them only tell whether the value lies exactly on such a point.
constexpr int max_digits = 800;

// After the range checks below, the denominator is at most 10^1124 (3734 bits) and the numerator and
// the shifted denominator stay within 56 bits more.
constexpr int capacity = 124; // 3968 bits

struct big {
    int size = 0;                      // limbs in use; the top one is not zero
    std::uint32_t limb[capacity] = {}; // least significant first
};

void trim(big& a)
{
    while (a.size > 0 && a.limb[a.size - 1] == 0)
        --a.size;
}

void multiply_add(big& a, std::uint32_t factor, std::uint32_t add)
{
    std::uint64_t carry = add;
    for (int i = 0; i < a.size; ++i) {
        carry += std::uint64_t{a.limb[i]} * factor;
        a.limb[i] = static_cast<std::uint32_t>(carry);
        carry >>= 32;
    }
    if (carry)
        a.limb[a.size++] = static_cast<std::uint32_t>(carry);
}

void multiply_power_of_ten(big& a, std::int64_t exponent)
{
    static const std::uint32_t powers[] = {1,      10,      100,      1000,      10000,
                                           100000, 1000000, 10000000, 100000000, 1000000000};
    for (; exponent > 0; exponent -= 9)
        multiply_add(a, powers[std::min<std::int64_t>(exponent, 9)], 0);
}

void shift_left(big& a, int bits)
{
    if (a.size == 0)
        return;
    const int words = bits / 32;
    const int rest = bits % 32;
    const int size = a.size + words + 1;
    for (int i = size - 1; i >= words; --i) { // from the top, so that no limb is read after it is written
        const int from = i - words;
        std::uint32_t value = from < a.size ? a.limb[from] << rest : 0;
        if (rest && from > 0)
            value |= a.limb[from - 1] >> (32 - rest);
        a.limb[i] = value;
    }
    std::fill(a.limb, a.limb + words, 0u);
    a.size = size;
    trim(a);
}

void halve(big& a)
{
    for (int i = 0; i < a.size; ++i)
        a.limb[i] = a.limb[i] >> 1 | (i + 1 < a.size ? a.limb[i + 1] << 31 : 0u);
    trim(a);
}

int bit_length(const big& a)
{
    if (a.size == 0)
        return 0;
    int length = a.size * 32;
    for (std::uint32_t top = a.limb[a.size - 1]; !(top & 0x80000000u); top <<= 1)
        --length;
    return length;
}

int compare(const big& a, const big& b)
{
    if (a.size != b.size)
        return a.size < b.size ? -1 : 1;
    for (int i = a.size - 1; i >= 0; --i) {
        if (a.limb[i] != b.limb[i])
            return a.limb[i] < b.limb[i] ? -1 : 1;
    }
    return 0;
}

// a -= b, where a >= b.
void subtract(big& a, const big& b)
{
    std::uint64_t borrow = 0;
    for (int i = 0; i < a.size; ++i) {
        const std::uint64_t take = std::uint64_t{i < b.size ? b.limb[i] : 0u} + borrow;
        borrow = a.limb[i] < take;
        a.limb[i] = static_cast<std::uint32_t>(a.limb[i] - take);
    }
    trim(a);
}

} // namespace

double json_decimal_to_double(const char* first, const char* last)
{
    // The significant digits as an integer, scaled by 10^exponent.
    big numerator;
    int digits = 0;
    bool dropped = false; // a non-zero digit beyond max_digits
    std::int64_t exponent = 0;
    bool point = false;
    for (; first != last && *first != 'e' && *first != 'E'; ++first) {
        if (*first == '.') {
            point = true;
            continue;
        }
        const std::uint32_t digit = static_cast<std::uint32_t>(*first - '0');
        if (digits < max_digits && (digits > 0 || digit != 0)) {
            multiply_add(numerator, 10, digit);
            ++digits;
            exponent -= point;
        } else if (digits == 0) { // a leading zero
            exponent -= point;
        } else {
            dropped = dropped || digit != 0;
            exponent += !point;
        }
    }
    if (first != last) {
        ++first; // the 'e'
        const bool negative = first != last && *first == '-';
        if (first != last && (*first == '+' || *first == '-'))
            ++first;
        std::int64_t written = 0;
        for (; first != last; ++first) {
            if (written < 100000000) // far beyond the range already
                written = written * 10 + (*first - '0');
        }
        exponent += negative ? -written : written;
    }

    // The value lies in [10^(digits - 1 + exponent), 10^(digits + exponent)).
    if (digits == 0 || digits + exponent < -324) // under half the smallest subnormal
        return 0.0;
    if (digits + exponent > 310)
        return std::numeric_limits<double>::infinity();
    big denominator;
    multiply_add(denominator, 1, 1);
    multiply_power_of_ten(exponent < 0 ? denominator : numerator, exponent < 0 ? -exponent : exponent);

    // The quotient numerator / (denominator * 2^k) is the double's significand: with k from the lengths
    // it lies between 2^52 and 2^54, or below 2^53 when k is held at the subnormal exponent.
    int k = std::max(bit_length(numerator) - bit_length(denominator) - 53, -1074);
    shift_left(k < 0 ? numerator : denominator, k < 0 ? -k : k);
    // Long division one bit at a time, the denominator standing at the bit and halving after each. A
    // quotient of 54 bits takes one more power of two into k: the denominator doubles, which is where it
    // stands at the first comparison.
    shift_left(denominator, 53);
    if (compare(numerator, denominator) >= 0)
        ++k;
    else
        halve(denominator);
    std::uint64_t significand = 0;
    for (int bit = 52; bit >= 0; --bit) {
        if (compare(numerator, denominator) >= 0) {
            subtract(numerator, denominator);
            significand |= std::uint64_t{1} << bit;
        }
        if (bit > 0)
            halve(denominator);
    }
    // The numerator is now the remainder: past half the denominator, or on it with an odd significand
    // or dropped digits, the value rounds up.
    shift_left(numerator, 1);
    const int half = compare(numerator, denominator);
    if (half > 0 || (half == 0 && (dropped || (significand & 1))))
        ++significand;
    if (significand == std::uint64_t{1} << 53) {
        significand >>= 1;
        ++k;
    }
    if (k > 971) // beyond the largest exponent
        return std::numeric_limits<double>::infinity();
    // A significand of 53 bits carries its leading bit into the exponent field, which makes the biased
    // exponent k + 1075; below 2^52 (k = -1074) the field stays 0, a subnormal.
    const std::uint64_t bits = (static_cast<std::uint64_t>(k + 1074) << 52) + significand;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
