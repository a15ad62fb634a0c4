// The real-to-complex discrete Fourier transform.
#pragma once

#include <cstdint>

// Opaque handle of a prepared transform of one size; null on failure.
struct FftPlan;
using FftHandle = FftPlan*;

// Prepares an n-point real-to-complex transform for any n >= 1. Null for n < 1 or when the
// transform can't be prepared (out of memory).
FftHandle FFT_start(int32_t n);

// Transforms the n real values of input (unnormalised: bin k = sum x[j] e^(-2 pi i k j / n))
// and writes bins 0 ... (n + 1) / 2 - 1 to spectrum as (real, imaginary) pairs of doubles.
// input is not changed.
void FFT_TransformRealToComplex(FftHandle handle, const double* input, double* spectrum);

// Releases the handle; null is allowed.
void FFT_stop(FftHandle handle);
