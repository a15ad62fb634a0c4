#include "analysis/fixed_format.h"

#include <gtest/gtest.h>

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

std::string Fixed(double v, int width, int precision) {
  char buffer[kFixedMaxChars];
  char* end = FormatFixed(buffer, v, width, precision);
  return std::string(buffer, end);
}

std::string Printf(double v, int width, int precision) {
  char buffer[kFixedMaxChars + 8];
  const int n = std::snprintf(buffer, sizeof buffer, "%*.*f", width, precision, v);
  return std::string(buffer, static_cast<size_t>(n));
}

std::string Int(int32_t v, int width) {
  char buffer[kFixedMaxWidth + 12];
  return std::string(buffer, FormatInt(buffer, v, width));
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

}  // namespace
