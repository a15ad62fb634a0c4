#include "analysis/fixed_format.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Beyond the short range below, and for the values there whose rounding needs the exact value,
// exactly and several times faster than the general conversion: a value m * 2^e (m of 53 bits,
// e <= -22 here) times 10^P is an integer of at most 83 bits, shifted right by -e with the
// remainder rounded half to even, which is what correct rounding of the exact binary value to
// P decimals means. Writes the text right-aligned in width; returns null, writing nothing,
// when the value is out of its range.
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

// The short range, where the numbers of a spectrum report lie: |value| < 2^26 with at most 7
// decimals. Its whole part fits eight digits and its decimals do too, behind the point.
constexpr uint64_t kShortLimitBits = 0x4190000000000000ULL;  // the bits of 2^26
constexpr int kShortMaxPrecision = 7;
// The rounding below needs each operation of double rounded to double, not to a wider format.
constexpr bool kShortRangeExact = FLT_EVAL_METHOD == 0;

constexpr char kSpaces[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                              ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
constexpr uint64_t kAsciiZeros = 0x3030303030303030ULL;
// '.' and seven '0's: turns the digit values of the decimals' word, whose first digit is 0,
// into the point and the decimals.
constexpr uint64_t kAsciiPointAndZeros = 0x303030303030302EULL;

// Fills at least out[0, width) with spaces, in 16-byte stores (up to 15 bytes beyond): a byte
// loop becomes a call to memset, which costs more than the few bytes of padding a number has.
// Requires 0 <= width <= 64.
[[gnu::always_inline]] inline void FillSpaces(char* out, int width) {
  std::memcpy(out, kSpaces, 16);
  if (width > 16) {
    std::memcpy(out + 16, kSpaces, 16);
    if (width > 32) {
      std::memcpy(out + 32, kSpaces, 16);
      if (width > 48) std::memcpy(out + 48, kSpaces, 16);
    }
  }
}

[[gnu::always_inline]] inline void Store8(char* out, uint64_t word) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &word, 8);
  } else {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(word >> (8 * i));
  }
}

// The eight decimal digits of v < 10^8, leading zeros included, as byte values 0-9 in one
// word whose lowest byte holds the first digit, so that a little-endian store writes them in
// reading order. Each step splits every lane into its upper and lower part at once
// (x * 10486 >> 20 is x / 100 below 43699, x * 103 >> 10 is x / 10 below 179).
[[gnu::always_inline]] inline uint64_t EightDigits(uint32_t v) {
  uint64_t x = (v / 10000) | (static_cast<uint64_t>(v % 10000) << 32);
  const uint64_t hundreds = ((x * 10486) >> 20) & 0x0000007F0000007FULL;
  x = hundreds | ((x - hundreds * 100) << 16);
  const uint64_t tens = ((x * 103) >> 10) & 0x000F000F000F000FULL;
  return tens | ((x - tens * 10) << 8);
}

struct DigitWords {
  uint64_t whole;
  uint64_t fraction;
};

// EightDigits of both numbers (each < 10^8). With SSE2 (every x86-64) both at once, in 16-bit
// lanes: each half of four digits is copied into four lanes and divided there by 1000, 100,
// 10 and 1 with multiplications by reciprocals, and each digit is one quotient minus ten
// times the one before (Wojciech Mula's SSE2 conversion; the halves are taken times 4 so that
// reciprocals of 16 bits are precise enough for all of them).
[[gnu::always_inline]] inline DigitWords SixteenDigits(uint32_t whole, uint32_t fraction) {
#if defined(__SSE2__)
  const __m128i v = _mm_unpacklo_epi64(_mm_cvtsi32_si128(static_cast<int>(whole)),
                                       _mm_cvtsi32_si128(static_cast<int>(fraction)));
  // v / 10000 and v % 10000 of both, then [wholeHigh, wholeLow, 0, 0, fracHigh, fracLow, 0, 0]
  // in 16-bit lanes, times 4.
  const __m128i high =
      _mm_srli_epi64(_mm_mul_epu32(v, _mm_set1_epi32(static_cast<int>(0xD1B71759))), 45);
  const __m128i low = _mm_sub_epi32(v, _mm_mul_epu32(high, _mm_set1_epi32(10000)));
  const __m128i halves = _mm_slli_epi16(_mm_or_si128(high, _mm_slli_epi32(low, 16)), 2);
  const __m128i wholeHalves = _mm_unpacklo_epi16(halves, halves);
  const __m128i fractionHalves = _mm_unpackhi_epi16(halves, halves);
  const __m128i divide = _mm_setr_epi16(8389, 5243, 13108, -32768, 8389, 5243, 13108, -32768);
  const __m128i shift = _mm_setr_epi16(1 << 7, 1 << 11, 1 << 13, -32768, 1 << 7, 1 << 11,
                                       1 << 13, -32768);
  const __m128i ten = _mm_set1_epi16(10);
  // Quotients [a, ab, abc, abcd, e, ef, efg, efgh] and then digits [a, b, c, d, e, f, g, h].
  __m128i w = _mm_unpacklo_epi32(wholeHalves, wholeHalves);
  __m128i f = _mm_unpacklo_epi32(fractionHalves, fractionHalves);
  w = _mm_mulhi_epu16(_mm_mulhi_epu16(w, divide), shift);
  f = _mm_mulhi_epu16(_mm_mulhi_epu16(f, divide), shift);
  w = _mm_sub_epi16(w, _mm_slli_epi64(_mm_mullo_epi16(w, ten), 16));
  f = _mm_sub_epi16(f, _mm_slli_epi64(_mm_mullo_epi16(f, ten), 16));
  const __m128i digits = _mm_packus_epi16(w, f);
  return {static_cast<uint64_t>(_mm_cvtsi128_si64(digits)),
          static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(digits, digits)))};
#else
  return {EightDigits(whole), EightDigits(fraction)};
#endif
}

// Number of leading zero digits of an EightDigits word, at most 7 (zero keeps its one digit).
[[gnu::always_inline]] inline int LeadingZeroDigits(uint64_t digits) {
  return std::countr_zero(digits | (uint64_t{1} << 56)) >> 3;
}

struct Placed {
  char* tail;  // where the characters after the whole part go
  char* end;   // the end of the text
};

// Writes the padding, "-" when negative and the whole part's digits of an EightDigits word,
// right-aligned in width together with tail characters that are to follow them. Free of
// data-dependent branches: every part is stored whole, left to right, each overwriting the
// spare bytes of the one before, and the minus sign is stored where the first digit goes
// unless the number is negative. Writes up to 7 bytes past the tail and fills at least 16
// bytes with spaces.
[[gnu::always_inline]] inline Placed WriteSignAndWhole(char* out, bool negative,
                                                       uint64_t wholeDigits, int tail,
                                                       int width) {
  const int leadingZeros = LeadingZeroDigits(wholeDigits);
  const int sign = negative ? 1 : 0;
  const int length = sign + (8 - leadingZeros) + tail;
  // max(width, length) without a branch, which numbers as long as the width would mispredict.
  const int padding = width - length;
  char* end = out + length + (padding & ~(padding >> 31));
  FillSpaces(out, width);
  char* p = end - length;
  *p = '-';
  p += sign;
  Store8(p, (wholeDigits + kAsciiZeros) >> (8 * leadingZeros));
  return {p + (8 - leadingZeros), end};
}

// What the short range needs of each precision P.
struct ShortFormat {
  double unit;       // 10^P
  uint32_t carry;    // 10^P: decimals that round up to it carry into the whole part
  uint32_t toSeven;  // 10^(7 - P): the decimals as seven digits
  int tail;          // characters after the whole part: the point and P decimals
};

constexpr ShortFormat MakeShortFormat(int p) {
  return {static_cast<double>(kPowersOfTen[p]), static_cast<uint32_t>(kPowersOfTen[p]),
          static_cast<uint32_t>(kPowersOfTen[kShortMaxPrecision - p]), p > 0 ? 1 + p : 0};
}

constexpr ShortFormat kShortFormats[kShortMaxPrecision + 1] = {
    MakeShortFormat(0), MakeShortFormat(1), MakeShortFormat(2), MakeShortFormat(3),
    MakeShortFormat(4), MakeShortFormat(5), MakeShortFormat(6), MakeShortFormat(7)};

// Added to a double in [0, 2^51], it leaves the nearest integer (ties to even) in the low bits.
constexpr double kRoundingBias = 0x1p52;

[[gnu::noinline]] char* LongFixed(char* out, double value, int width, int precision);

// value in the short range, 0 <= precision <= kShortMaxPrecision. The decimals of the rest
// r < 1 below the whole part (both exact in double) are r * 10^P rounded to an integer. The
// product rounded to double has the same nearest integer as the exact one unless it is a half:
// rounding to double never passes a double, and the halves below 10^7 are doubles, so both lie
// between the same two halves. A product that is a half (a tie, or a value that rounded onto
// one) goes to the exact integer method.
[[gnu::always_inline]] inline char* ShortFixed(char* out, double value, int width,
                                               int precision) {
  const ShortFormat& format = kShortFormats[precision];
  const double magnitude = std::fabs(value);
  uint32_t whole = static_cast<uint32_t>(magnitude);
  const double scaled = (magnitude - static_cast<double>(whole)) * format.unit;
  const double biased = scaled + kRoundingBias;
  if (std::fabs(scaled - (biased - kRoundingBias)) == 0.5) [[unlikely]] {
    return LongFixed(out, value, width, precision);
  }
  uint32_t decimals = static_cast<uint32_t>(std::bit_cast<uint64_t>(biased));
  if (decimals == format.carry) [[unlikely]] {
    ++whole;  // at most 2^26, still eight digits
    decimals = 0;
  }
  const DigitWords digits = SixteenDigits(whole, decimals * format.toSeven);
  const Placed placed =
      WriteSignAndWhole(out, std::signbit(value), digits.whole, format.tail, width);
  // The point and seven digits; with fewer decimals the rest lies past the end.
  Store8(placed.tail, digits.fraction + kAsciiPointAndZeros);
  return placed.end;
}

// Everything beyond the short range: the integer method up to 2^30 and 9 decimals, to_chars
// beyond, and the spelling of infinities and NaNs. Out of line, so that the short range's code
// stays small.
[[gnu::noinline]] char* LongFixed(char* out, double value, int width, int precision) {
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

}  // namespace

char* FormatFixed(char* out, double value, int width, int precision) {
  const uint64_t magnitudeBits = std::bit_cast<uint64_t>(value) & ~(uint64_t{1} << 63);
  // The bits of non-negative doubles order as their values; inf and nan lie above.
  if (kShortRangeExact && magnitudeBits < kShortLimitBits && precision <= kShortMaxPrecision) {
    return ShortFixed(out, value, width, precision);
  }
  return LongFixed(out, value, width, precision);
}

char* FormatInt(char* out, int32_t value, int width) {
  // The magnitude in 64 bits, so that INT32_MIN has one too.
  const int64_t wide = value;
  const uint64_t magnitude = static_cast<uint64_t>(wide < 0 ? -wide : wide);
  if (magnitude < kPowersOfTen[8]) {
    const uint64_t digits = EightDigits(static_cast<uint32_t>(magnitude));
    return WriteSignAndWhole(out, value < 0, digits, 0, width).end;
  }
  return WriteFixedDigits(out, value < 0, magnitude, width, 0);
}
