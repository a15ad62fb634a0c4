#include "dsp/windows.h"

#include <cmath>
#include <numbers>

namespace {

// The position 2j/n - 1 of sample j within the period, from -1 at j = 0 through 0 at n / 2.
// Computed in double from 64-bit products, so no n overflows.
double Position(int32_t j, int32_t n) {
  return 2.0 * static_cast<double>(j) / static_cast<double>(n) - 1.0;
}

double Phase(int32_t j, int32_t n) {
  return 2.0 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(n);
}

// w[j] = a - b cos(2 pi j / n). The window is symmetric, w[j] = w[n - j], and for n divisible
// by 4 also w[n/2 - j] = w[n/2 + j] = a + b cos(2 pi j / n); so one cosine serves four samples
// (two for other n), which makes the window several times cheaper than a cosine per sample.
void CosineWindow(double* x, int32_t n, double a, double b) {
  if (x == nullptr || n < 1) return;
  if (n % 4 == 0) {
    const int32_t quarter = n / 4, half = n / 2;
    for (int32_t j = 0; j <= quarter; ++j) {
      const double c = std::cos(Phase(j, n));
      const double low = a - b * c, high = a + b * c;
      x[j] *= low;
      if (j > 0) x[n - j] *= low;
      if (j < quarter) {
        x[half - j] *= high;
        if (j > 0) x[half + j] *= high;
      }
    }
    return;
  }
  for (int32_t j = 0; j <= n / 2; ++j) {
    const double w = a - b * std::cos(Phase(j, n));
    x[j] *= w;
    if (j > 0 && n - j != j) x[n - j] *= w;
  }
}

}  // namespace

void WinHamming(double* x, int32_t n) { CosineWindow(x, n, 0.54, 0.46); }

void WinHanning(double* x, int32_t n) { CosineWindow(x, n, 0.5, 0.5); }

void WinTriangular(double* x, int32_t n) {
  if (x == nullptr) return;
  for (int32_t j = 0; j < n; ++j) x[j] *= 1.0 - std::fabs(Position(j, n));
}

void WinWelch(double* x, int32_t n) {
  if (x == nullptr) return;
  for (int32_t j = 0; j < n; ++j) {
    const double p = Position(j, n);
    x[j] *= 1.0 - p * p;
  }
}
