#include "dsp/complex_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

TEST(ComplexValuesTest, MagnitudesAndAngles) {
  const double pi = std::numbers::pi;
  const double big = 1e300;
  struct Case {
    double re, im, abs, arg;
  };
  const Case cases[] = {
      {3, 4, 5, std::atan2(4.0, 3.0)},
      {0, 0, 0, 0},
      {-1, 0, 1, pi},
      {-1, -0.0, 1, pi},  // never -pi
      {0, -2, 2, -pi / 2},
      {-1, -1, std::sqrt(2.0), -3 * pi / 4},
      {big, big, big * std::sqrt(2.0), pi / 4},  // no overflow in the magnitude
  };
  std::vector<double> spectrum;
  for (const Case& c : cases) {
    spectrum.push_back(c.re);
    spectrum.push_back(c.im);
  }
  const int32_t count = static_cast<int32_t>(std::size(cases));
  std::vector<double> abs(count + 1, -9.0), arg(count + 1, -9.0);
  CalcComplexABS(spectrum.data(), abs.data(), count);
  CalcComplexARG(spectrum.data(), arg.data(), count);
  for (int32_t k = 0; k < count; ++k) {
    SCOPED_TRACE(k);
    EXPECT_NEAR(abs[k], cases[k].abs, std::abs(cases[k].abs) * 1e-15);
    EXPECT_NEAR(arg[k], cases[k].arg, 1e-15);
    EXPECT_GT(arg[k], -pi);
    EXPECT_LE(arg[k], pi);
  }
  EXPECT_EQ(abs[count], -9.0);  // nothing written past count
  EXPECT_EQ(arg[count], -9.0);
}

}  // namespace
