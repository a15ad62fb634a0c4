// Microbenchmarks of the signal layer and the report writer: the layer's transform against the
// bare FFTW call it wraps, preparing a transform, the four windows, magnitudes and phases, and
// the report writer's lines per second.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <unistd.h>

#include "analysis/fixed_format.h"
#include "analysis/spectrum_report.h"
#include "dsp/zeroed_array.h"
#include "cli/settings.h"
#include "dsp/complex_values.h"
#include "dsp/fft.h"
#include "dsp/windows.h"

namespace {

// Uniform noise in [-1, 1): every bin of its transform is well above the listing threshold.
void FillNoise(double* x, size_t count, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (size_t i = 0; i < count; ++i) x[i] = dist(gen);
}

// An array allocated the way the program allocates its own, filled with noise.
ZeroedArray NoiseArray(size_t count, uint32_t seed) {
  ZeroedArray a = AllocateZeroed(count);
  if (a.data != nullptr) FillNoise(a.data, count, seed);
  return a;
}

void SetBytes(benchmark::State& state, int64_t n, int64_t bytesPerItem) {
  state.SetItemsProcessed(state.iterations() * n);
  state.SetBytesProcessed(state.iterations() * n * bytesPerItem);
}

// One channel through the layer: what the run calls twice.
void BM_LayerTransform(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const int32_t half = (n + 1) / 2;
  ZeroedArray input = NoiseArray(static_cast<size_t>(n), 1);
  ZeroedArray spectrum = AllocateZeroed(2 * static_cast<size_t>(half));
  FftHandle h = FFT_start(n);
  if (h == nullptr || input.data == nullptr || spectrum.data == nullptr) {
    state.SkipWithError("no transform");
    return;
  }
  for (auto _ : state) {
    FFT_TransformRealToComplex(h, input.data, spectrum.data);
    benchmark::DoNotOptimize(spectrum.data[2]);
    benchmark::ClobberMemory();
  }
  FFT_stop(h);
  SetBytes(state, n, sizeof(double));
}

struct PlanDeleter {
  void operator()(fftw_plan p) const { fftw_destroy_plan(p); }
};

// The bare FFTW call on an ESTIMATE plan of the same size, with FFTW's own aligned arrays and
// its full output of n/2 + 1 bins: the least the layer's transform can cost.
void BM_BareFftw(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  double* in = fftw_alloc_real(static_cast<size_t>(n));
  fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
  FillNoise(in, static_cast<size_t>(n), 1);
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE | FFTW_PRESERVE_INPUT);
  for (auto _ : state) {
    fftw_execute_dft_r2c(plan, in, out);
    benchmark::DoNotOptimize(out[1][0]);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
  SetBytes(state, n, sizeof(double));
}

// The bare FFTW call of the plan the layer runs for even n: the n/2-point complex transform of
// the samples taken in pairs, out of place. The layer's transform adds to it the pass that
// splits this into the bins of the real transform.
void BM_BareFftwHalfComplex(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  double* in = fftw_alloc_real(static_cast<size_t>(n));
  fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n / 2));
  FillNoise(in, static_cast<size_t>(n), 1);
  fftw_plan plan = fftw_plan_dft_1d(n / 2, reinterpret_cast<fftw_complex*>(in), out, FFTW_FORWARD,
                                    FFTW_ESTIMATE);
  for (auto _ : state) {
    fftw_execute_dft(plan, reinterpret_cast<fftw_complex*>(in), out);
    benchmark::DoNotOptimize(out[1][0]);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
  SetBytes(state, n, sizeof(double));
}

// Preparing and releasing a transform: the run does this once per process.
void BM_LayerStartStop(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    FftHandle h = FFT_start(n);
    benchmark::DoNotOptimize(h);
    FFT_stop(h);
  }
}

// The bare FFTW ESTIMATE planner for the same size, plan and arrays created and freed.
void BM_BareFftwPlanEstimate(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  double* in = fftw_alloc_real(static_cast<size_t>(n));
  fftw_complex* out = fftw_alloc_complex(static_cast<size_t>(n / 2 + 1));
  for (auto _ : state) {
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE | FFTW_PRESERVE_INPUT);
    benchmark::DoNotOptimize(plan);
    fftw_destroy_plan(plan);
  }
  fftw_free(out);
  fftw_free(in);
}

using WindowFunction = void (*)(double*, int32_t);

// A window applied in place. The array is refilled outside the timing every 16 passes, before
// repeated windowing drives the values near the ends into subnormal numbers.
void RunWindow(benchmark::State& state, WindowFunction window) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  ZeroedArray x = NoiseArray(static_cast<size_t>(n), 2);
  int64_t passes = 0;
  for (auto _ : state) {
    if (++passes % 16 == 0) {
      state.PauseTiming();
      FillNoise(x.data, static_cast<size_t>(n), 2);
      state.ResumeTiming();
    }
    window(x.data, n);
    benchmark::DoNotOptimize(x.data[n / 2]);
    benchmark::ClobberMemory();
  }
  SetBytes(state, n, sizeof(double));
}
void BM_WinHamming(benchmark::State& state) { RunWindow(state, WinHamming); }
void BM_WinHanning(benchmark::State& state) { RunWindow(state, WinHanning); }
void BM_WinTriangular(benchmark::State& state) { RunWindow(state, WinTriangular); }
void BM_WinWelch(benchmark::State& state) { RunWindow(state, WinWelch); }

using ComplexFunction = void (*)(const double*, double*, int32_t);

// Magnitudes or phases of halfSize bins of a noise spectrum.
void RunComplex(benchmark::State& state, ComplexFunction f) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  const int32_t half = (n + 1) / 2;
  ZeroedArray spectrum = NoiseArray(2 * static_cast<size_t>(half), 3);
  ZeroedArray out = AllocateZeroed(static_cast<size_t>(half));
  for (auto _ : state) {
    f(spectrum.data, out.data, half);
    benchmark::DoNotOptimize(out.data[half / 2]);
    benchmark::ClobberMemory();
  }
  SetBytes(state, half, 2 * sizeof(double));
}
void BM_CalcComplexABS(benchmark::State& state) { RunComplex(state, CalcComplexABS); }
void BM_CalcComplexARG(benchmark::State& state) { RunComplex(state, CalcComplexARG); }

// The whole report with per-bin lines and range sums for amplitudes well above the listing
// threshold, so that every bin gets a line; counted in bin lines per second.
void BM_WriteSpectrumReportAllBins(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  AnalysisSettings s;
  s.fftSize = n;
  UpdateDerivedSizes(s);
  s.printAllData = 1;
  s.sumByRanges = 1;
  s.sampleRate = 44100;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("wavspec-microbench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  s.wavPath = (dir / "noise.wav").string();
  const size_t length = 2 * static_cast<size_t>(s.halfSize);
  ZeroedArray ch1 = AllocateZeroed(length);
  ZeroedArray ch2 = AllocateZeroed(length);
  std::mt19937 gen(4);
  std::uniform_real_distribution<double> amplitude(0.0, 2.0 * s.halfSize);
  std::uniform_real_distribution<double> phase(-M_PI, M_PI);
  for (int32_t k = 0; k < s.halfSize; ++k) {
    ch1.data[k] = amplitude(gen);
    ch2.data[k] = amplitude(gen);
    ch1.data[s.halfSize + k] = phase(gen);
    ch2.data[s.halfSize + k] = phase(gen);
  }
  const std::string header = "synthetic header text\n";
  for (auto _ : state) {
    if (WriteSpectrumReport(s, ch1.data, ch2.data, header) != ReportStatus::written) {
      state.SkipWithError("report not written");
      break;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  state.counters["lines/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * (s.halfSize - 1), benchmark::Counter::kIsRate);
}

// The numbers of one per-bin line alone: "%6d" and six doubles at the report's formats.
void BM_FormatBinLine(benchmark::State& state) {
  constexpr int kRows = 4096;
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> amplitude(0.0, 200.0), degrees(-360.0, 360.0);
  std::vector<std::array<double, 6>> rows(kRows);
  for (int i = 0; i < kRows; ++i) {
    rows[i] = {44100.0 / 65536 * i, amplitude(gen), amplitude(gen),
               degrees(gen), degrees(gen), degrees(gen)};
  }
  constexpr int kWidths[6] = {11, 11, 11, 10, 10, 10}, kPrecisions[6] = {4, 6, 6, 5, 5, 5};
  char line[8 * kFixedMaxChars];
  int64_t i = 0;
  for (auto _ : state) {
    const auto& r = rows[static_cast<size_t>(i % kRows)];
    char* end = FormatInt(line, static_cast<int32_t>(i), 6);
    for (int k = 0; k < 6; ++k) end = FormatFixed(end, r[k], kWidths[k], kPrecisions[k]);
    benchmark::DoNotOptimize(end);
    benchmark::ClobberMemory();
    ++i;
  }
  state.counters["numbers/s"] =
      benchmark::Counter(7.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

constexpr int64_t kDefaultN = 65536;
constexpr int64_t kLargeN = 1 << 20;

BENCHMARK(BM_LayerTransform)->Arg(kDefaultN)->Arg(kLargeN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareFftw)->Arg(kDefaultN)->Arg(kLargeN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareFftwHalfComplex)->Arg(kDefaultN)->Arg(kLargeN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LayerStartStop)->Arg(kDefaultN)->Arg(kLargeN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareFftwPlanEstimate)->Arg(kDefaultN)->Arg(kLargeN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WinHamming)->Arg(kDefaultN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WinHanning)->Arg(kDefaultN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WinTriangular)->Arg(kDefaultN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WinWelch)->Arg(kDefaultN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CalcComplexABS)->Arg(kDefaultN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CalcComplexARG)->Arg(kDefaultN)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FormatBinLine);
BENCHMARK(BM_WriteSpectrumReportAllBins)->Arg(kDefaultN)->Arg(kLargeN)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
