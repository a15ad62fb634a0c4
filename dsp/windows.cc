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

}  // namespace

void WinHamming(double* x, int32_t n) {
  if (x == nullptr) return;
  for (int32_t j = 0; j < n; ++j) x[j] *= 0.54 - 0.46 * std::cos(Phase(j, n));
}

void WinHanning(double* x, int32_t n) {
  if (x == nullptr) return;
  for (int32_t j = 0; j < n; ++j) x[j] *= 0.5 - 0.5 * std::cos(Phase(j, n));
}

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
