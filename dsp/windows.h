// Window functions applied in place to x[0 ... n-1], in the DFT-even form (period n, centred
// on n / 2, so w[j] = w[n - j]). Nothing happens for n < 1 or a null x.
#pragma once

#include <cstdint>

// w[j] = 0.54 - 0.46 cos(2 pi j / n)
void WinHamming(double* x, int32_t n);
// w[j] = 0.5 - 0.5 cos(2 pi j / n)
void WinHanning(double* x, int32_t n);
// w[j] = 1 - |2j/n - 1|
void WinTriangular(double* x, int32_t n);
// w[j] = 1 - (2j/n - 1)^2
void WinWelch(double* x, int32_t n);
