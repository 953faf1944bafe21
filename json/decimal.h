// Decimal text to the nearest double, ties to even. Exact integer arithmetic only: the result cannot
// depend on the x87 precision the host process runs at (the standard library's from_chars on this
// target multiplies in that precision on its fast path and then rounds a second time).
#pragma once

// Reads digits, an optional '.' and digits, and an optional exponent ('e' or 'E', an optional sign,
// digits), as the reader has checked them; no digit before the exponent reads as zero. Beyond the range
// of a double the result is infinity or zero.
double json_decimal_to_double(const char* first, const char* last);
