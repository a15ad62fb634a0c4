#include "analysis/fixed_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct Format {
  int width;
  int precision;
};

// Every double format the report writes, plus the extremes of the accepted range.
constexpr Format kReportFormats[] = {{11, 4}, {11, 6}, {10, 5}, {8, 2}};
constexpr Format kEdgeFormats[] = {{0, 0}, {1, 1}, {0, 6}, {30, 3}, {kFixedMaxWidth, 17},
                                   {5, kFixedMaxPrecision}};

// Calls format on a buffer of exactly room bytes between two guard zones and fails the test
// if anything outside the room changed; returns the text up to the end it reports.
template <typename F>
std::string InRoom(size_t room, F format) {
  constexpr size_t kGuard = 32;
  constexpr char kUntouched = '\x7f';
  std::vector<char> buffer(kGuard + room + kGuard, kUntouched);
  char* out = buffer.data() + kGuard;
  char* end = format(out);
  EXPECT_LE(out, end);
  EXPECT_LE(end, out + room);
  for (size_t i = 0; i < kGuard; ++i) {
    EXPECT_EQ(buffer[i], kUntouched) << "written " << kGuard - i << " bytes before the start";
    EXPECT_EQ(buffer[kGuard + room + i], kUntouched) << "written " << i << " bytes past the room";
  }
  return std::string(out, end);
}

std::string Fixed(double v, int width, int precision) {
  return InRoom(kFixedMaxChars, [&](char* out) { return FormatFixed(out, v, width, precision); });
}

std::string Printf(double v, int width, int precision) {
  char buffer[kFixedMaxChars + 8];
  const int n = std::snprintf(buffer, sizeof buffer, "%*.*f", width, precision, v);
  return std::string(buffer, static_cast<size_t>(n));
}

std::string Int(int32_t v, int width) {
  const size_t room = static_cast<size_t>(std::max(width, 11)) + 16;
  return InRoom(room, [&](char* out) { return FormatInt(out, v, width); });
}

std::string PrintfInt(int32_t v, int width) {
  char buffer[kFixedMaxWidth + 12];
  const int n = std::snprintf(buffer, sizeof buffer, "%*d", width, v);
  return std::string(buffer, static_cast<size_t>(n));
}

// Values where rounding, signs and padding go wrong first.
std::vector<double> SpecialValues() {
  std::vector<double> v = {0.0, -0.0, 1e-7, -1e-7, 1e-9, -1e-9, 0.0000005, -0.0000005,
                           0.0000015, 0.0000025, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375, 0.005,
                           0.015, 0.025, 0.00005, 0.00015, 1e20, -1e20, 1e22, 1.7976931348623157e308,
                           -1.7976931348623157e308, 4.9e-324, -4.9e-324,
                           2.2250738585072014e-308, 9.9999995, 99.9999995, 999.99999949999,
                           9999999.9999995, 0.99999999, -0.99999999, 123456.78125,
                           57.29577951308232, 340.0, -340.0, 99.996948242187, 12.5,
                           9007199254740993.0, 4503599627370495.5, 1e15 + 0.3, 327.68,
                           // Either side of the bound between the two conversion methods.
                           1073741823.9999999, std::nextafter(1073741824.0, 0.0), 1073741824.0,
                           -1073741824.5, 1073741824.0000002, 999999999.9999999995,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN()};
  // Exact halfway cases in binary: k / 2^m at every decimal precision they fall on.
  for (int m = 1; m <= 30; ++m) {
    for (int k = 1; k < 40; k += 2) {
      v.push_back(std::ldexp(k, -m));
      v.push_back(-std::ldexp(k, -m));
      v.push_back(std::ldexp(k, -m) + 123456);
    }
  }
  // Decimal halfway cases and their neighbours, which are not exactly representable.
  for (int p = 0; p <= 8; ++p) {
    for (int k = 0; k < 30; ++k) {
      const double half = (k + 0.5) / std::pow(10.0, p);
      v.push_back(half);
      v.push_back(std::nextafter(half, 0.0));
      v.push_back(std::nextafter(half, 1e300));
      v.push_back(-half);
    }
  }
  return v;
}

TEST(FormatFixed, MatchesPrintfOnSpecialValues) {
  for (double v : SpecialValues()) {
    for (Format f : kReportFormats) {
      SCOPED_TRACE(Printf(v, 0, 17));
      EXPECT_EQ(Fixed(v, f.width, f.precision), Printf(v, f.width, f.precision));
    }
    for (Format f : kEdgeFormats) {
      SCOPED_TRACE(Printf(v, 0, 17));
      EXPECT_EQ(Fixed(v, f.width, f.precision), Printf(v, f.width, f.precision));
    }
  }
}

TEST(FormatFixed, MatchesPrintfOnRandomValuesOfEveryMagnitude) {
  std::mt19937_64 random(20261211);
  std::uniform_int_distribution<int> exponent(-40, 40);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  int mismatches = 0;
  for (int trial = 0; trial < 200000; ++trial) {
    double v;
    if (trial % 4 == 0) {
      // Any bit pattern: the whole range of doubles, subnormals and huge values included.
      const uint64_t bits = random();
      std::memcpy(&v, &bits, sizeof v);
    } else {
      v = mantissa(random) * std::pow(10.0, exponent(random));
      if (trial % 3 == 0) v = -v;
    }
    const Format f = kReportFormats[trial % 4];
    if (Fixed(v, f.width, f.precision) != Printf(v, f.width, f.precision)) {
      ADD_FAILURE() << Printf(v, 0, 20) << " with %" << f.width << "." << f.precision << "f: "
                    << Fixed(v, f.width, f.precision) << " vs " << Printf(v, f.width, f.precision);
      if (++mismatches > 10) break;
    }
  }
}

TEST(FormatFixed, EveryPrecisionAndWidth) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> value(-2000.0, 2000.0);
  for (int precision = 0; precision <= kFixedMaxPrecision; ++precision) {
    for (int width = 0; width <= kFixedMaxWidth; width += 7) {
      for (int k = 0; k < 50; ++k) {
        const double v = value(random);
        EXPECT_EQ(Fixed(v, width, precision), Printf(v, width, precision));
      }
    }
  }
}

TEST(FormatInt, MatchesPrintf) {
  const int32_t values[] = {0, 1, -1, 9, 10, 99999, 100000, 999999, 1000000, -99999, -100000,
                            32767, 65536, INT32_MAX, INT32_MIN};
  for (int32_t v : values) {
    for (int width : {0, 1, 5, 6, 11, 12, kFixedMaxWidth}) {
      EXPECT_EQ(Int(v, width), PrintfInt(v, width)) << v << " width " << width;
    }
  }
}

// Every digit count of both signs, on both sides of 10^8 where the eight-digit conversion
// hands over to the general one, against every width up to beyond the longest text and the
// widths where the padding takes more than one store.
TEST(FormatInt, MatchesPrintfAtEveryDigitCountAndWidth) {
  std::vector<int32_t> values;
  for (int64_t power = 1; power <= 1000000000; power *= 10) {
    for (int64_t v : {power - 1, power, power + 1}) {
      values.push_back(static_cast<int32_t>(v));
      values.push_back(static_cast<int32_t>(-v));
    }
  }
  for (int32_t v : values) {
    for (int width = 0; width <= 20; ++width) {
      EXPECT_EQ(Int(v, width), PrintfInt(v, width)) << v << " width " << width;
    }
    for (int width : {31, 32, 33, 48, 49, kFixedMaxWidth}) {
      EXPECT_EQ(Int(v, width), PrintfInt(v, width)) << v << " width " << width;
    }
  }
}

// printf's result for v at every precision the formatters treat differently, and widths
// narrower than, equal to and wider than the text.
void ExpectMatchesAtSmallPrecisions(double v, std::initializer_list<int> widths) {
  for (int precision = 0; precision <= 9; ++precision) {
    for (int width : widths) {
      EXPECT_EQ(Fixed(v, width, precision), Printf(v, width, precision))
          << Printf(v, 0, 20) << " with %" << width << "." << precision << "f";
    }
  }
}

// Whole parts of every length up to eight digits, up to 2^26 and beyond (where the general
// conversions take over), against every width around their text's length.
TEST(FormatFixed, MatchesPrintfAtEveryWidthAroundTheText) {
  const double values[] = {0.0, -0.0, 5.0, -5.0, 0.5, -0.25, 12.345, -123456.789, 4567.0625,
                           67108863.75, -67108863.75, 67108864.0, 99999999.4, -123456789.5};
  for (double v : values) {
    ExpectMatchesAtSmallPrecisions(v, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                       17, 18, 19, 20, 24, 31, 32, 33, 47, 48, 49, kFixedMaxWidth});
  }
}

// Values where the number of whole digits changes, 10^d, and where rounding carries into a
// new digit, 10^d - 0.5 * 10^-P (9.9999995 at %.6f), a few steps of the last bit either way.
TEST(FormatFixed, MatchesPrintfWhereTheDigitCountChanges) {
  for (int digits = 0; digits <= 9; ++digits) {
    const double power = std::pow(10.0, digits);
    for (int precision = 0; precision <= 9; ++precision) {
      for (double centre : {power, power - 0.5 / std::pow(10.0, precision)}) {
        double below = centre, above = centre;
        for (int step = 0; step <= 3; ++step) {
          for (double v : {below, above, -below, -above}) {
            for (int width : {0, 11}) {
              EXPECT_EQ(Fixed(v, width, precision), Printf(v, width, precision))
                  << Printf(v, 0, 20) << " with %" << width << "." << precision << "f";
            }
          }
          below = std::nextafter(below, 0.0);
          above = std::nextafter(above, 1e300);
        }
      }
    }
  }
}

// Both sides of 2^26, the bound of the short range, and of 2^30; the largest value below
// 2^26 rounds up to 2^26 at seven decimals and less.
TEST(FormatFixed, MatchesPrintfAroundTheRangeBounds) {
  for (double bound : {67108864.0, 1073741824.0}) {
    double below = bound, above = bound;
    for (int step = 0; step <= 4; ++step) {
      for (double v : {below, above, -below, -above}) ExpectMatchesAtSmallPrecisions(v, {0, 20});
      below = std::nextafter(below, 0.0);
      above = std::nextafter(above, 1e300);
    }
  }
}

// Values within a few bits of a decimal half at their precision, with whole parts of every
// size: those nearest the half need the exact binary value, and the ones just beyond are
// rounded the quick way, so both sides of the line between the two methods are crossed.
TEST(FormatFixed, MatchesPrintfNearDecimalHalvesOfEveryMagnitude) {
  std::mt19937_64 random(51);
  int mismatches = 0;
  for (double whole : {0.0, 1.0, 7.0, 42.0, 359.0, 22049.0, 123456.0, 9999999.0, 67108863.0}) {
    for (int precision = 0; precision <= 9; ++precision) {
      const double unit = std::pow(10.0, precision);
      for (int trial = 0; trial < 20; ++trial) {
        const double k = static_cast<double>(random() % static_cast<uint64_t>(unit));
        double v = whole + (k + 0.5) / unit;
        for (int step = 0; step < 8; ++step) v = std::nextafter(v, 0.0);
        for (int step = 0; step <= 16 && mismatches <= 10; ++step) {
          for (double x : {v, -v}) {
            if (Fixed(x, 12, precision) != Printf(x, 12, precision)) {
              ADD_FAILURE() << Printf(x, 0, 20) << " with %12." << precision << "f: "
                            << Fixed(x, 12, precision) << " vs " << Printf(x, 12, precision);
              ++mismatches;
            }
          }
          v = std::nextafter(v, 1e300);
        }
      }
    }
  }
}

// Negatives that round to zero keep their sign ("-0.000000"), subnormals and the smallest
// normal included; values below half a unit of the last decimal, at half of it (a tie at no
// decimals and for the binary fractions) and just beyond, and the same of positive sign.
TEST(FormatFixed, MatchesPrintfOnTinyValuesAndNegativesRoundingToZero) {
  for (int precision = 0; precision <= 9; ++precision) {
    const double last = std::pow(10.0, -precision);
    const double half = last / 2;
    const double values[] = {-0.0, -4.9e-324, -2.2250738585072009e-308, -2.2250738585072014e-308,
                             -1e-300, -1e-20, -0.4 * last, std::nextafter(-half, 0.0), -half,
                             std::nextafter(-half, -1.0), -0.5, -0.25, -0.125};
    for (double v : values) {
      for (double x : {v, -v}) {
        for (int width : {0, 12}) {
          EXPECT_EQ(Fixed(x, width, precision), Printf(x, width, precision))
              << Printf(x, 0, 30) << " with %" << width << "." << precision << "f";
        }
      }
    }
  }
}

// A report line composed in one buffer as the report does it, one number after the other:
// each number's spare bytes past its end are overwritten by the next, and none may reach back
// into the text before it.
TEST(FormatFixed, ComposedLineMatchesPrintf) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> amplitude(0.0, 200.0);
  std::uniform_real_distribution<double> degrees(-360.0, 360.0);
  std::uniform_real_distribution<double> frequency(0.0, 24000.0);
  for (int trial = 0; trial < 2000; ++trial) {
    const int32_t bin = static_cast<int32_t>(random() % 2000000);
    const double v[] = {frequency(random), amplitude(random) * (trial % 3 == 0 ? 1e-6 : 1.0),
                        amplitude(random), degrees(random), degrees(random), degrees(random)};
    char line[8 * kFixedMaxChars];
    char* end = FormatInt(line, bin, 6);
    const int widths[] = {11, 11, 11, 10, 10, 10};
    const int precisions[] = {4, 6, 6, 5, 5, 5};
    for (int i = 0; i < 6; ++i) {
      *end++ = '|';
      end = FormatFixed(end, v[i], widths[i], precisions[i]);
    }
    char expected[8 * kFixedMaxChars];
    const int n =
        std::snprintf(expected, sizeof expected, "%6d|%11.4f|%11.6f|%11.6f|%10.5f|%10.5f|%10.5f",
                      bin, v[0], v[1], v[2], v[3], v[4], v[5]);
    ASSERT_EQ(std::string(line, end), std::string(expected, static_cast<size_t>(n)));
  }
}

}  // namespace
