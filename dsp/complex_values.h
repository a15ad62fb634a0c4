// Magnitudes and phases of arrays of complex values stored as (real, imaginary) pairs.
#pragma once

#include <cstdint>

// out[k] = |z[k]| for k = 0 ... count-1 (nothing for count < 1). out may not overlap spectrum.
void CalcComplexABS(const double* spectrum, double* out, int32_t count);
// out[k] = atan2(imag z[k], real z[k]), in (-pi, pi]; 0 for z = 0.
void CalcComplexARG(const double* spectrum, double* out, int32_t count);
