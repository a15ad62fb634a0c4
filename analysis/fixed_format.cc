#include "analysis/fixed_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

__extension__ typedef unsigned __int128 Uint128;

// 10^0 ... 10^19.
constexpr uint64_t kPowersOfTen[] = {1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL,
    1000000ULL, 10000000ULL, 100000000ULL, 1000000000ULL, 10000000000ULL, 100000000000ULL,
    1000000000000ULL, 10000000000000ULL, 100000000000000ULL, 1000000000000000ULL,
    10000000000000000ULL, 100000000000000000ULL, 1000000000000000000ULL,
    10000000000000000000ULL};
constexpr int kFastMaxPrecision = 9;
// Below 2^30 the value times 10^9 stays below 2^63, so the rounded digits fit in 64 bits.
constexpr double kFastLimit = 1073741824.0;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Number of decimal digits of v (at least 1).
int CountDigits(uint32_t v) {
  int n = 1;
  while (n < 10 && v >= kPowersOfTen[n]) ++n;
  return n;
}

// Writes the count lowest decimal digits of v (leading zeros included) at out; 32-bit
// arithmetic is enough for every part of a number the fast paths write, and cheaper.
[[gnu::always_inline]] inline void WriteDigits(char* out, uint32_t v, int count) {
  char* p = out + count;
  while (count >= 2) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
    count -= 2;
  }
  if (count == 1) *--p = static_cast<char>('0' + v % 10);
}

// Writes sign, the whole part and precision decimals of rounded / 10^precision, right-aligned
// in width; the whole part must be below 2^32. Inlined with a constant precision so that the
// divisions become multiplications.
[[gnu::always_inline]] inline char* WriteFixedDigits(char* out, bool negative, uint64_t rounded,
                                                     int width, int precision) {
  const uint64_t unit = kPowersOfTen[precision];
  const uint32_t whole = static_cast<uint32_t>(rounded / unit);
  const int wholeDigits = CountDigits(whole);
  const int length = (negative ? 1 : 0) + wholeDigits + (precision > 0 ? 1 + precision : 0);
  for (int i = length; i < width; ++i) *out++ = ' ';
  if (negative) *out++ = '-';
  WriteDigits(out, whole, wholeDigits);
  out += wholeDigits;
  if (precision > 0) {
    *out++ = '.';
    WriteDigits(out, static_cast<uint32_t>(rounded - whole * unit), precision);
    out += precision;
  }
  return out;
}

// The usual case, exactly and several times faster than the general conversion: a value
// m * 2^e (m of 53 bits, e <= -22 here) times 10^P is an integer of at most 83 bits, shifted
// right by -e with the remainder rounded half to even, which is what correct rounding of the
// exact binary value to P decimals means. Writes the text right-aligned in width; returns
// null, writing nothing, when the value is out of its range.
char* FastFixed(char* out, double value, int width, int precision) {
  if (precision > kFastMaxPrecision || !(std::fabs(value) < kFastLimit)) return nullptr;
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  const uint64_t mantissa = biased == 0 ? fraction : fraction | (uint64_t{1} << 52);
  const int shift = biased == 0 ? 1074 : 1075 - biased;  // value = mantissa / 2^shift
  uint64_t rounded = 0;
  if (shift < 100) {  // from 100 on the product (< 2^83) is below half a unit: rounds to 0
    const Uint128 product = Uint128{mantissa} * kPowersOfTen[precision];
    const Uint128 quotient = product >> shift;
    const Uint128 remainder = product - (quotient << shift);
    const Uint128 half = Uint128{1} << (shift - 1);
    rounded = static_cast<uint64_t>(quotient);
    if (remainder > half || (remainder == half && (rounded & 1) != 0)) ++rounded;
  }
  const bool negative = std::signbit(value);  // also -0 and negatives that round to 0
  switch (precision) {  // the report's precisions, each with constant divisors
    case 2: return WriteFixedDigits(out, negative, rounded, width, 2);
    case 4: return WriteFixedDigits(out, negative, rounded, width, 4);
    case 5: return WriteFixedDigits(out, negative, rounded, width, 5);
    case 6: return WriteFixedDigits(out, negative, rounded, width, 6);
    default: return WriteFixedDigits(out, negative, rounded, width, precision);
  }
}

// Moves the len characters at out right so that they end at out + width, filling with spaces;
// returns the end. Nothing moves when they already fill the width.
char* PadLeft(char* out, size_t len, int width) {
  const size_t w = static_cast<size_t>(width);
  if (len >= w) return out + len;
  std::memmove(out + (w - len), out, len);
  std::memset(out, ' ', w - len);
  return out + w;
}

}  // namespace

char* FormatFixed(char* out, double value, int width, int precision) {
  if (char* end = FastFixed(out, value, width, precision); end != nullptr) return end;
  size_t len = 0;
  if (std::isfinite(value)) {
    // to_chars with a precision is correctly rounded (ties to even), like glibc's printf in the
    // default rounding mode, and writes the sign of negative zero as printf does.
    const auto result =
        std::to_chars(out, out + kFixedMaxChars, value, std::chars_format::fixed, precision);
    len = static_cast<size_t>(result.ptr - out);
  } else {
    // printf writes the sign bit of infinities and NaNs too ("-nan" for a negative NaN).
    if (std::signbit(value)) out[len++] = '-';
    std::memcpy(out + len, std::isnan(value) ? "nan" : "inf", 3);
    len += 3;
  }
  return PadLeft(out, len, width);
}

char* FormatInt(char* out, int32_t value, int width) {
  // The magnitude in 64 bits, so that INT32_MIN has one too.
  const int64_t wide = value;
  return WriteFixedDigits(out, value < 0, static_cast<uint64_t>(wide < 0 ? -wide : wide), width, 0);
}
