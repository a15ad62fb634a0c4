#include "dsp/windows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace {

struct WindowCase {
  const char* name;
  void (*apply)(double*, int32_t);
  double atZero;     // w[0]
  double atQuarter;  // w[n/4] for n divisible by 4
  double atHalf;     // w[n/2] for even n
  double (*reference)(int32_t j, int32_t n);
};

constexpr double kPi = std::numbers::pi;
double Position(int32_t j, int32_t n) { return 2.0 * j / n - 1.0; }

const WindowCase kWindows[] = {
    {"hamming", WinHamming, 0.08, 0.54, 1.0,
     [](int32_t j, int32_t n) { return 0.54 - 0.46 * std::cos(2 * kPi * j / n); }},
    {"hanning", WinHanning, 0.0, 0.5, 1.0,
     [](int32_t j, int32_t n) { return 0.5 - 0.5 * std::cos(2 * kPi * j / n); }},
    {"triangular", WinTriangular, 0.0, 0.5, 1.0,
     [](int32_t j, int32_t n) { return 1 - std::fabs(Position(j, n)); }},
    {"welch", WinWelch, 0.0, 0.75, 1.0,
     [](int32_t j, int32_t n) { return 1 - Position(j, n) * Position(j, n); }},
};

std::vector<double> Window(const WindowCase& w, int32_t n) {
  std::vector<double> x(static_cast<size_t>(n), 1.0);
  w.apply(x.data(), n);
  return x;
}

TEST(WindowsTest, KeyValuesOfEvenSizes) {
  for (const WindowCase& w : kWindows) {
    for (const int32_t n : {4, 8, 1024}) {
      SCOPED_TRACE(std::string(w.name) + " n=" + std::to_string(n));
      const std::vector<double> x = Window(w, n);
      EXPECT_NEAR(x[0], w.atZero, 1e-15);
      EXPECT_NEAR(x[n / 4], w.atQuarter, 1e-15);
      EXPECT_NEAR(x[n / 2], w.atHalf, 1e-15);
    }
  }
}

// Every sample follows the formula of period n: for odd n the peak falls between two
// samples, and sizes of each remainder modulo 4 take the cosine windows' different routes
// through the symmetry of the window.
TEST(WindowsTest, EverySampleFollowsThePeriodicFormula) {
  for (const WindowCase& w : kWindows) {
    for (const int32_t n : {1, 2, 3, 4, 5, 6, 7, 8, 12, 101, 102, 1024, 4100}) {
      SCOPED_TRACE(std::string(w.name) + " n=" + std::to_string(n));
      const std::vector<double> x = Window(w, n);
      for (int32_t j = 0; j < n; ++j) EXPECT_NEAR(x[j], w.reference(j, n), 1e-15) << j;
    }
  }
}

TEST(WindowsTest, SymmetricAboutHalfThePeriod) {
  for (const WindowCase& w : kWindows) {
    for (const int32_t n : {2, 5, 8, 127, 4096}) {
      SCOPED_TRACE(std::string(w.name) + " n=" + std::to_string(n));
      const std::vector<double> x = Window(w, n);
      for (int32_t j = 1; j < n; ++j) ASSERT_NEAR(x[j], x[n - j], 1e-14) << j;
    }
  }
}

TEST(WindowsTest, MultipliesInPlace) {
  std::vector<double> x = {2.0, -3.0, 4.0, 5.0};
  WinHanning(x.data(), 4);
  EXPECT_DOUBLE_EQ(x[0], 0.0);
  EXPECT_DOUBLE_EQ(x[1], -1.5);
  EXPECT_DOUBLE_EQ(x[2], 4.0);
  EXPECT_DOUBLE_EQ(x[3], 2.5);
  // A single sample: w[0] of period 1.
  double one = 3.0;
  WinHamming(&one, 1);
  EXPECT_NEAR(one, 0.24, 1e-15);
  WinWelch(nullptr, 5);
  WinTriangular(x.data(), 0);
  EXPECT_DOUBLE_EQ(x[1], -1.5);
}

}  // namespace
