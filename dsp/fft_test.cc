#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

namespace {

// The DFT by its definition, in long double, as the independent reference. The powers of
// e^(-2 pi i / n) come from a table indexed by k*j mod n, which keeps every angle exact.
std::vector<std::complex<long double>> DirectDft(const std::vector<double>& x,
                                                 const std::vector<int32_t>& bins) {
  const int64_t n = static_cast<int64_t>(x.size());
  std::vector<std::complex<long double>> root(static_cast<size_t>(n));
  for (int64_t m = 0; m < n; ++m) {
    const long double angle = -2 * std::numbers::pi_v<long double> * m / n;
    root[static_cast<size_t>(m)] = {std::cos(angle), std::sin(angle)};
  }
  std::vector<std::complex<long double>> out;
  for (const int64_t k : bins) {
    std::complex<long double> sum = 0;
    for (int64_t j = 0; j < n; ++j) {
      sum += static_cast<long double>(x[static_cast<size_t>(j)]) * root[static_cast<size_t>((k * j) % n)];
    }
    out.push_back(sum);
  }
  return out;
}

// The transform of uniform noise in [-1, 1) against the direct DFT, for the bins listed (all
// of them when bins is empty). Input may be used as working space, so the reference comes
// from a copy.
void CheckAgainstDirectDft(int32_t n, std::vector<int32_t> bins) {
  const int32_t count = (n + 1) / 2;
  std::mt19937 random(static_cast<unsigned>(n));
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> input(static_cast<size_t>(n));
  for (double& v : input) v = uniform(random);
  const std::vector<double> original = input;
  // One guard pair behind the bins shows that nothing is written past (n + 1) / 2 values.
  std::vector<double> spectrum(2 * static_cast<size_t>(count) + 2, 7.0);

  FftHandle handle = FFT_start(n);
  ASSERT_NE(handle, nullptr);
  FFT_TransformRealToComplex(handle, input.data(), spectrum.data());
  FFT_stop(handle);

  EXPECT_EQ(spectrum[2 * static_cast<size_t>(count)], 7.0);
  EXPECT_EQ(spectrum[2 * static_cast<size_t>(count) + 1], 7.0);
  if (bins.empty()) {
    for (int32_t k = 0; k < count; ++k) bins.push_back(k);
  }
  const auto expected = DirectDft(original, bins);
  long double worst = 0;
  for (size_t b = 0; b < bins.size(); ++b) {
    const size_t k = static_cast<size_t>(bins[b]);
    const std::complex<long double> got(spectrum[2 * k], spectrum[2 * k + 1]);
    worst = std::max(worst, std::abs(got - expected[b]));
  }
  // Rounding grows with the size; the bound is about a hundred times the largest error seen.
  EXPECT_LE(worst, 1e-14L * n);
}

class FftSizeTest : public testing::TestWithParam<int32_t> {};

// Small sizes of every kind: powers of two, even and odd sizes of small factors.
TEST_P(FftSizeTest, MatchesDirectDft) { CheckAgainstDirectDft(GetParam(), {}); }

INSTANTIATE_TEST_SUITE_P(Sizes, FftSizeTest,
                         testing::Values(1, 2, 3, 4, 5, 6, 7, 8, 15, 16, 17, 100, 127, 128, 1000,
                                         4095, 4096));

// Sizes with a prime factor above FFTW's share, each way they are transformed: primes by
// Rader's algorithm with an even and an odd convolution length (n = 1 mod 4 and 3 mod 4),
// and composite sizes, primes whose (n - 1) / 2 has a large factor, by Bluestein's.
class FftLargePrimeTest : public testing::TestWithParam<int32_t> {};

TEST_P(FftLargePrimeTest, MatchesDirectDftOnSampleBins) {
  const int32_t n = GetParam();
  const int32_t count = (n + 1) / 2;
  // The first and last bins, bins around a quarter, and a spread of others.
  std::vector<int32_t> bins = {0, 1, 2, 3, count / 2, count / 2 + 1, count - 2, count - 1};
  for (int32_t k = 5; k < count; k += count / 29 + 1) bins.push_back(k);
  CheckAgainstDirectDft(n, bins);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FftLargePrimeTest,
                         testing::Values(65537,          // prime, (n-1)/2 = 2^15 even
                                         65539,          // prime = 3 mod 4, (n-1)/2 odd
                                         1048573,        // prime = 1 mod 4
                                         1048583,        // prime = 3 mod 4
                                         2 * 65537,      // even, large prime factor
                                         3 * 65537,      // odd composite
                                         262643          // prime, (n-1)/2 = 131321 prime
                                         ));

// A steady value m gives bin 0 = n*m; a cosine of amplitude a in bin k gives a*n/2 there.
TEST(FftTest, IsUnnormalised) {
  const int32_t n = 64;
  std::vector<double> x(n);
  for (int32_t j = 0; j < n; ++j) x[j] = 0.25 + 0.5 * std::cos(2 * std::numbers::pi * 5 * j / n);
  std::vector<double> spectrum(n);
  FftHandle handle = FFT_start(n);
  ASSERT_NE(handle, nullptr);
  FFT_TransformRealToComplex(handle, x.data(), spectrum.data());
  FFT_stop(handle);
  EXPECT_NEAR(spectrum[0], 16.0, 1e-12);
  EXPECT_NEAR(spectrum[10], 16.0, 1e-12);
  EXPECT_NEAR(spectrum[11], 0.0, 1e-12);
}

// An input array aligned differently from the handle's own buffers takes the copying path,
// and a handle transforms any number of arrays.
TEST(FftTest, MisalignedArraysGiveTheSameBins) {
  const int32_t n = 1000;
  std::vector<double> storage(n + 1), spectrumA(n + 2), spectrumB(n + 2);
  for (int32_t j = 0; j <= n; ++j) storage[j] = std::sin(0.37 * j) + 0.1 * j;
  FftHandle handle = FFT_start(n);
  ASSERT_NE(handle, nullptr);
  std::vector<double> aligned(storage.begin() + 1, storage.end());
  FFT_TransformRealToComplex(handle, aligned.data(), spectrumA.data());
  FFT_TransformRealToComplex(handle, storage.data() + 1, spectrumB.data() + 1);
  FFT_stop(handle);
  for (int32_t i = 0; i < n; ++i) ASSERT_EQ(spectrumA[i], spectrumB[i + 1]) << i;
}

TEST(FftTest, RefusesOnlySizesBelowOne) {
  for (const int32_t n : {0, -1, -2147483647 - 1}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(FFT_start(n), nullptr);
  }
  FFT_stop(nullptr);
}

}  // namespace
