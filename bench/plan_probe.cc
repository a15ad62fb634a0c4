// Measures ways of transforming one awkward size: FFTW's real-to-complex planner under
// ESTIMATE and MEASURE, a complex transform of the real samples, and Bluestein's algorithm on
// FFTW complex transforms of a 2^a 3^b size. Prints the planning time, the time of one
// transform (best of a few), the peak resident memory of the process, and for Bluestein its
// largest error against FFTW's own real-to-complex result.
// Usage: wavspec-bench-plans r2c-estimate|r2c-measure|c2c-estimate|bluestein N [REPEATS]
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fftw3.h>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Peak resident memory of this process so far, in MiB.
double PeakRssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  return -1.0;
}

// Minor page faults of this process so far: each is a fresh page touched for the first time.
long PageFaults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

void FillNoise(double* x, int64_t n) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (int64_t i = 0; i < n; ++i) x[i] = dist(gen);
}

// Smallest 2^a 3^b at least m: sizes FFTW transforms fastest besides powers of two.
int64_t SmoothSizeAtLeast(int64_t m) {
  int64_t best = INT64_MAX;
  for (int64_t p3 = 1; p3 < 2 * m; p3 *= 3) {
    int64_t v = p3;
    while (v < m) v *= 2;
    if (v < best) best = v;
  }
  return best;
}

// Bluestein's algorithm for bins 0 ... K-1 of a real N-point transform, with K = (N+1)/2:
// X[k] = conj(c[k]) * sum_n (x[n] conj(c[n])) c[k-n], c[m] = exp(i pi m^2 / N). The sum is a
// linear convolution over k-n in -(N-1) ... K-1, done cyclically in M >= N + K - 1 points.
struct Bluestein {
  int64_t n = 0, k = 0, m = 0;
  std::complex<double>* chirp = nullptr;    // c[0 ... n-1]
  std::complex<double>* kernel = nullptr;   // FFT of the cyclic chirp, scaled by 1/M
  std::complex<double>* work = nullptr;     // M points
  fftw_plan forward = nullptr, backward = nullptr;
};

std::complex<double> Chirp(int64_t j, int64_t n) {
  // j^2 mod 2n keeps the angle small and exact.
  const int64_t r = (j * j) % (2 * n);
  const double angle = M_PI * static_cast<double>(r) / static_cast<double>(n);
  return {std::cos(angle), std::sin(angle)};
}

std::complex<double>* AllocComplex(int64_t count) {
  return reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(static_cast<size_t>(count)));
}

Bluestein BluesteinStart(int64_t n) {
  Bluestein b;
  b.n = n;
  b.k = (n + 1) / 2;
  b.m = SmoothSizeAtLeast(n + b.k - 1);
  b.chirp = AllocComplex(n);
  b.kernel = AllocComplex(b.m);
  b.work = AllocComplex(b.m);
  auto* w = reinterpret_cast<fftw_complex*>(b.work);
  b.forward = fftw_plan_dft_1d(static_cast<int>(b.m), w, w, FFTW_FORWARD, FFTW_ESTIMATE);
  b.backward = fftw_plan_dft_1d(static_cast<int>(b.m), w, w, FFTW_BACKWARD, FFTW_ESTIMATE);
  for (int64_t j = 0; j < n; ++j) b.chirp[j] = Chirp(j, n);
  std::memset(static_cast<void*>(b.kernel), 0, sizeof(std::complex<double>) * b.m);
  for (int64_t j = 0; j < b.k; ++j) b.kernel[j] = b.chirp[j];
  for (int64_t j = 1; j < n; ++j) b.kernel[b.m - j] = b.chirp[j];
  auto* kk = reinterpret_cast<fftw_complex*>(b.kernel);
  fftw_execute_dft(b.forward, kk, kk);
  const double scale = 1.0 / static_cast<double>(b.m);
  for (int64_t j = 0; j < b.m; ++j) b.kernel[j] *= scale;
  return b;
}

void BluesteinRun(const Bluestein& b, const double* x, std::complex<double>* out) {
  for (int64_t j = 0; j < b.n; ++j) b.work[j] = x[j] * std::conj(b.chirp[j]);
  std::memset(static_cast<void*>(b.work + b.n), 0, sizeof(std::complex<double>) * (b.m - b.n));
  auto* w = reinterpret_cast<fftw_complex*>(b.work);
  fftw_execute_dft(b.forward, w, w);
  for (int64_t j = 0; j < b.m; ++j) b.work[j] *= b.kernel[j];
  fftw_execute_dft(b.backward, w, w);
  for (int64_t j = 0; j < b.k; ++j) out[j] = std::conj(b.chirp[j]) * b.work[j];
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wavspec-bench-plans r2c-estimate|r2c-measure|c2c-estimate|bluestein N [REPEATS]\n");
    return 1;
  }
  const std::string method = argv[1];
  const int64_t n = std::strtoll(argv[2], nullptr, 10);
  const int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
  if (n < 2) return 1;
  double* x = fftw_alloc_real(static_cast<size_t>(n));
  FillNoise(x, n);
  const int64_t half = (n + 1) / 2;
  std::complex<double>* out = AllocComplex(n / 2 + 1);

  double planSeconds = 0.0, best = 1e300;
  long planFaults = 0;
  std::string detail;
  if (method == "r2c-estimate" || method == "r2c-measure") {
    double* in = fftw_alloc_real(static_cast<size_t>(n));
    const unsigned flags = method == "r2c-estimate" ? FFTW_ESTIMATE : FFTW_MEASURE;
    const long faults = PageFaults();
    auto start = Clock::now();
    fftw_plan p = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, reinterpret_cast<fftw_complex*>(out),
                                       flags);
    planSeconds = SecondsSince(start);
    planFaults = PageFaults() - faults;
    for (int r = 0; r < repeats; ++r) {
      std::memcpy(in, x, sizeof(double) * n);
      start = Clock::now();
      fftw_execute(p);
      best = std::min(best, SecondsSince(start));
    }
    fftw_destroy_plan(p);
    fftw_free(in);
  } else if (method == "c2c-estimate") {
    auto* in = AllocComplex(n);
    auto* full = AllocComplex(n);
    const long faults = PageFaults();
    auto start = Clock::now();
    fftw_plan p = fftw_plan_dft_1d(static_cast<int>(n), reinterpret_cast<fftw_complex*>(in),
                                   reinterpret_cast<fftw_complex*>(full), FFTW_FORWARD,
                                   FFTW_ESTIMATE);
    planSeconds = SecondsSince(start);
    planFaults = PageFaults() - faults;
    for (int r = 0; r < repeats; ++r) {
      start = Clock::now();
      for (int64_t j = 0; j < n; ++j) in[j] = x[j];
      fftw_execute(p);
      std::memcpy(static_cast<void*>(out), full, sizeof(std::complex<double>) * half);
      best = std::min(best, SecondsSince(start));
    }
    fftw_destroy_plan(p);
    fftw_free(full);
    fftw_free(in);
  } else if (method == "bluestein") {
    const long faults = PageFaults();
    auto start = Clock::now();
    Bluestein b = BluesteinStart(n);
    planSeconds = SecondsSince(start);
    planFaults = PageFaults() - faults;
    detail = " M=" + std::to_string(b.m);
    for (int r = 0; r < repeats; ++r) {
      start = Clock::now();
      BluesteinRun(b, x, out);
      best = std::min(best, SecondsSince(start));
    }
    const double peak = PeakRssMiB();
    // Largest error against FFTW's own result, relative to the largest magnitude.
    auto* ref = AllocComplex(n / 2 + 1);
    double* in = fftw_alloc_real(static_cast<size_t>(n));
    std::memcpy(in, x, sizeof(double) * n);
    fftw_plan p = fftw_plan_dft_r2c_1d(static_cast<int>(n), in, reinterpret_cast<fftw_complex*>(ref),
                                       FFTW_ESTIMATE);
    fftw_execute(p);
    double maxErr = 0.0, maxMag = 0.0;
    for (int64_t j = 0; j < half; ++j) {
      maxErr = std::max(maxErr, std::abs(out[j] - ref[j]));
      maxMag = std::max(maxMag, std::abs(ref[j]));
    }
    std::printf("%s N=%lld plan_s=%.4f plan_faults=%ld transform_s=%.4f peak_rss_MiB=%.1f%s "
                "rel_err=%.2e\n",
                method.c_str(), static_cast<long long>(n), planSeconds, planFaults, best, peak,
                detail.c_str(), maxErr / maxMag);
    return 0;
  } else {
    std::fprintf(stderr, "unknown method %s\n", method.c_str());
    return 1;
  }
  std::printf("%s N=%lld plan_s=%.4f plan_faults=%ld transform_s=%.4f peak_rss_MiB=%.1f%s\n",
              method.c_str(), static_cast<long long>(n), planSeconds, planFaults, best, PeakRssMiB(),
              detail.c_str());
  return 0;
}
