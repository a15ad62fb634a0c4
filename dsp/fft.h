// The real-to-complex discrete Fourier transform.
#pragma once

#include <cstdint>

// Opaque handle of a prepared transform of one size; null on failure.
struct FftPlan;
using FftHandle = FftPlan*;

// Largest size FFT_start prepares. Preparing costs about 40 ns and up to 40 bytes of working
// memory per point before any transform runs (10 s and 2 GB for 2^28), so larger sizes are
// refused rather than let the preparation take minutes or exhaust memory.
inline constexpr int32_t kMaxFftSize = int32_t{1} << 28;
// Largest prime factor of a size FFT_start prepares. A large prime factor makes FFTW build a
// chain of Rader sub-transforms whose preparation grows much faster than the size (about 1 s
// at 2^22, 10 s at 2^25, over 2 minutes for a prime just below 2^26).
inline constexpr int32_t kMaxFftPrimeFactor = int32_t{1} << 22;

// Prepares an n-point real-to-complex transform for any n >= 1 up to kMaxFftSize whose prime
// factors are at most kMaxFftPrimeFactor. Null for other n, or when the transform can't be
// prepared (not enough memory: half of the machine's memory is the most it may need).
FftHandle FFT_start(int32_t n);

// Transforms the n real values of input (unnormalised: bin k = sum x[j] e^(-2 pi i k j / n))
// and writes bins 0 ... (n + 1) / 2 - 1 to spectrum as (real, imaginary) pairs of doubles,
// (n + 1) / 2 pairs in all. input is not changed. Any alignment works; 64-byte aligned
// arrays avoid a copy. Does nothing when handle, input or spectrum is null.
void FFT_TransformRealToComplex(FftHandle handle, const double* input, double* spectrum);

// Releases the handle; null is allowed.
void FFT_stop(FftHandle handle);
