// The real-to-complex discrete Fourier transform.
#pragma once

#include <cstdint>

// Opaque handle of a prepared transform of one size; null on failure.
struct FftPlan;
using FftHandle = FftPlan*;

// Prime factors up to this size are left to FFTW's own planner, which is quick for them. A
// larger prime factor makes FFTW's preparation grow far faster than the size (seconds at 2^24,
// minutes at 2^26), so such sizes are transformed by Rader's algorithm (primes) or Bluestein's
// (other sizes) on FFTW transforms of sizes without large prime factors.
inline constexpr int32_t kMaxFftwPrimeFactor = int32_t{1} << 16;

// Prepares an n-point real-to-complex transform for any n >= 1. Null for n < 1, or when the
// transform can't be prepared (its working memory would exceed half of the machine's memory,
// or an allocation fails). Preparing costs time of the order of one transform.
FftHandle FFT_start(int32_t n);

// Transforms the n real values of input (unnormalised: bin k = sum x[j] e^(-2 pi i k j / n))
// and writes bins 0 ... (n + 1) / 2 - 1 to spectrum as (real, imaginary) pairs of doubles,
// (n + 1) / 2 pairs in all. The transform may use input as working space: its values are
// unspecified afterwards. Any alignment works; 16-byte aligned arrays avoid copies. Does
// nothing when handle, input or spectrum is null.
void FFT_TransformRealToComplex(FftHandle handle, double* input, double* spectrum);

// Releases the handle; null is allowed.
void FFT_stop(FftHandle handle);
