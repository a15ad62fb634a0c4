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
std::vector<std::complex<long double>> DirectDft(const std::vector<double>& x, int32_t bins) {
  const int64_t n = static_cast<int64_t>(x.size());
  std::vector<std::complex<long double>> root(static_cast<size_t>(n));
  for (int64_t m = 0; m < n; ++m) {
    const long double angle = -2 * std::numbers::pi_v<long double> * m / n;
    root[static_cast<size_t>(m)] = {std::cos(angle), std::sin(angle)};
  }
  std::vector<std::complex<long double>> out(static_cast<size_t>(bins));
  for (int64_t k = 0; k < bins; ++k) {
    std::complex<long double> sum = 0;
    for (int64_t j = 0; j < n; ++j) {
      sum += static_cast<long double>(x[static_cast<size_t>(j)]) * root[static_cast<size_t>((k * j) % n)];
    }
    out[static_cast<size_t>(k)] = sum;
  }
  return out;
}

class FftSizeTest : public testing::TestWithParam<int32_t> {};

TEST_P(FftSizeTest, MatchesDirectDftAndLeavesInputAlone) {
  const int32_t n = GetParam();
  const int32_t bins = (n + 1) / 2;
  std::mt19937 random(static_cast<unsigned>(n));
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<double> input(static_cast<size_t>(n));
  for (double& v : input) v = uniform(random);
  const std::vector<double> original = input;
  // One guard pair behind the bins shows that nothing is written past (n + 1) / 2 values.
  std::vector<double> spectrum(2 * static_cast<size_t>(bins) + 2, 7.0);

  FftHandle handle = FFT_start(n);
  ASSERT_NE(handle, nullptr);
  FFT_TransformRealToComplex(handle, input.data(), spectrum.data());
  FFT_stop(handle);

  EXPECT_EQ(input, original);
  EXPECT_EQ(spectrum[2 * static_cast<size_t>(bins)], 7.0);
  EXPECT_EQ(spectrum[2 * static_cast<size_t>(bins) + 1], 7.0);
  const auto expected = DirectDft(input, bins);
  long double worst = 0;
  for (int32_t k = 0; k < bins; ++k) {
    const std::complex<long double> got(spectrum[2 * static_cast<size_t>(k)],
                                        spectrum[2 * static_cast<size_t>(k) + 1]);
    worst = std::max(worst, std::abs(got - expected[static_cast<size_t>(k)]));
  }
  EXPECT_LE(worst, 1e-9L * n);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FftSizeTest,
                         testing::Values(1, 2, 3, 4, 5, 7, 8, 15, 16, 17, 100, 127, 128, 1000,
                                         4095, 4096));

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

TEST(FftTest, RefusesSizesItCannotServe) {
  // Each refusal comes at once, before any planning: 4194319 is the first prime above the
  // factor limit, 2147483647 a prime too.
  for (const int32_t n : {0, -1, -2147483647 - 1, kMaxFftSize + 1, 2147483647, 4194319, 2 * 4194319}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(FFT_start(n), nullptr);
  }
  FFT_stop(nullptr);
  // Large primes below the limit and large smooth sizes are served.
  for (const int32_t n : {65521, 3 * 65521, 1 << 20}) {
    SCOPED_TRACE(n);
    FftHandle handle = FFT_start(n);
    EXPECT_NE(handle, nullptr);
    FFT_stop(handle);
  }
}

}  // namespace
