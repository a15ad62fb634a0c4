#include "dsp/complex_values.h"

#include <cmath>
#include <cstddef>
#include <numbers>

void CalcComplexABS(const double* spectrum, double* out, int32_t count) {
  if (spectrum == nullptr || out == nullptr) return;
  for (int32_t k = 0; k < count; ++k) {
    const size_t i = 2 * static_cast<size_t>(k);
    // hypot avoids overflow and underflow of re^2 + im^2.
    out[k] = std::hypot(spectrum[i], spectrum[i + 1]);
  }
}

void CalcComplexARG(const double* spectrum, double* out, int32_t count) {
  if (spectrum == nullptr || out == nullptr) return;
  for (int32_t k = 0; k < count; ++k) {
    const size_t i = 2 * static_cast<size_t>(k);
    // atan2 gives -pi for a negative real part with imaginary part -0.0; fold it to +pi so
    // every angle lies in (-pi, pi].
    const double angle = std::atan2(spectrum[i + 1], spectrum[i]);
    out[k] = angle == -std::numbers::pi ? std::numbers::pi : angle;
  }
}
