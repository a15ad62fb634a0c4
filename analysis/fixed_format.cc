#include "analysis/fixed_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr uint64_t kPowersOfTen[] = {1,         10,         100,         1000,       10000,
                                     100000,    1000000,    10000000,    100000000,  1000000000};
constexpr int kFastMaxPrecision = 9;
// Below 2^30 the value times 10^9 stays below 2^63, so the rounded digits fit in 64 bits.
constexpr double kFastLimit = 1073741824.0;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the decimal digits of v ending just before end, at least minDigits of them (leading
// zeros added); returns where they start.
char* DigitsBackward(char* end, uint64_t v, int minDigits) {
  char* p = end;
  while (v >= 100) {
    const uint64_t pair = v % 100;
    v /= 100;
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * pair, 2);
  }
  if (v >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * v, 2);
  } else {
    *--p = static_cast<char>('0' + v);
  }
  while (end - p < minDigits) *--p = '0';
  return p;
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
  // All digits (at least one before the point), then the whole part moved left by one to
  // make room for the point: no division by a variable power of ten.
  char text[32];
  char* const textEnd = text + sizeof text;
  char* p = DigitsBackward(textEnd, rounded, precision + 1);
  if (precision > 0) {
    const size_t whole = static_cast<size_t>(textEnd - p - precision);
    std::memmove(p - 1, p, whole);
    --p;
    p[whole] = '.';
  }
  if (std::signbit(value)) *--p = '-';  // also for -0 and negatives that round to 0
  const int length = static_cast<int>(textEnd - p);
  for (int i = length; i < width; ++i) *out++ = ' ';
  std::memcpy(out, p, static_cast<size_t>(length));
  return out + length;
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
  char text[16];
  char* const textEnd = text + sizeof text;
  // The magnitude in 64 bits, so that INT32_MIN has one too.
  const int64_t wide = value;
  char* p = DigitsBackward(textEnd, static_cast<uint64_t>(wide < 0 ? -wide : wide), 1);
  if (value < 0) *--p = '-';
  const int length = static_cast<int>(textEnd - p);
  for (int i = length; i < width; ++i) *out++ = ' ';
  std::memcpy(out, p, static_cast<size_t>(length));
  return out + length;
}
