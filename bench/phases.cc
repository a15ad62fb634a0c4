// Where one run's time goes: makes the same calls in the same order as wavspec's run and
// prints the wall time and the fresh pages (minor page faults) of each step.
// Usage: wavspec-bench-phases FILE N [hamming|hanning|triangular|welch|none] [F|-] [huge]
// With "huge" the four arrays are carved from one 2 MiB-aligned anonymous mapping advised for
// transparent huge pages instead of four calloc blocks, to show what fresh pages cost.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <sys/resource.h>

#include "analysis/spectrum_report.h"
#include "dsp/zeroed_array.h"
#include "cli/settings.h"
#include "dsp/complex_values.h"
#include "dsp/fft.h"
#include "dsp/wav_file.h"
#include "dsp/windows.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Step {
  Clock::time_point start = Clock::now();
  long faults = 0;
  double total = 0.0;
  long totalFaults = 0;
};

long MinorFaults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

// Prints the step that ended now and starts the next one.
void Mark(Step& s, const char* name) {
  const auto now = Clock::now();
  const long f = MinorFaults();
  const double ms = std::chrono::duration<double, std::milli>(now - s.start).count();
  std::printf("%-28s %10.3f ms %8ld faults\n", name, ms, f - s.faults);
  s.total += ms;
  s.totalFaults += f - s.faults;
  s.start = Clock::now();
  s.faults = MinorFaults();
}

// One zero-filled mapping for all four arrays, aligned to and advised for 2 MiB pages. It is
// never unmapped: the process ends soon after.
double* HugeArena(size_t doubles) {
  constexpr size_t kHuge = size_t{2} << 20;
  const size_t bytes = (doubles * sizeof(double) + kHuge - 1) / kHuge * kHuge;
  void* p = mmap(nullptr, bytes + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto* aligned = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1));
  madvise(aligned, bytes, MADV_HUGEPAGE);
  return reinterpret_cast<double*>(aligned);
}

void ApplyWindow(const std::string& name, double* x, int32_t n) {
  if (name == "hamming") WinHamming(x, n);
  if (name == "hanning") WinHanning(x, n);
  if (name == "triangular") WinTriangular(x, n);
  if (name == "welch") WinWelch(x, n);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wavspec-bench-phases FILE N [window] [F]\n");
    return 1;
  }
  Step step;
  step.faults = MinorFaults();
  std::printf("%-28s %13s %8ld faults\n", "before main (loading)", "", step.faults);
  AnalysisSettings s;
  s.wavPath = argv[1];
  s.fftSize = std::atoi(argv[2]);
  UpdateDerivedSizes(s);
  const std::string window = argc > 3 ? argv[3] : "none";
  s.printAllData = argc > 4 && std::string(argv[4]) == "F" ? 1 : 0;
  const int32_t n = s.fftSize, half = s.halfSize;

  WavFormatInfo format{};
  WavHandle wav = WavOpen(s.wavPath.c_str(), &format);
  if (wav == nullptr) return 1;
  s.sampleRate = format.sampleRate;
  char header[1024] = {};
  WavGetHeaderInfo(wav, header, sizeof header);
  Mark(step, "open + header");
  const size_t length = std::max<size_t>(static_cast<size_t>(n), 2 * static_cast<size_t>(half));
  const bool huge = argc > 5 && std::string(argv[5]) == "huge";
  const size_t spectrumLength = 2 * static_cast<size_t>(half);
  ZeroedArray ch1, ch2, sp1, sp2;
  if (huge) {
    double* arena = HugeArena(2 * length + 2 * spectrumLength);
    if (arena == nullptr) return 5;
    ch1.data = arena;
    ch2.data = arena + length;
    sp1.data = arena + 2 * length;
    sp2.data = arena + 2 * length + spectrumLength;
  } else {
    ch1 = AllocateZeroed(length);
    ch2 = AllocateZeroed(length);
  }
  Mark(step, "allocate channels");
  if (WavReadReal(wav, ch1.data, ch2.data, n, 1) != n) return 2;
  Mark(step, "read samples");
  WavClose(wav);
  Mark(step, "close");
  if (!huge) {
    sp1 = AllocateZeroed(spectrumLength);
    sp2 = AllocateZeroed(spectrumLength);
  }
  Mark(step, "allocate spectra");
  FftHandle fft = FFT_start(n);
  if (fft == nullptr) return 3;
  Mark(step, "FFT_start (plan)");
  ApplyWindow(window, ch1.data, n);
  ApplyWindow(window, ch2.data, n);
  Mark(step, "windows (2)");
  FFT_TransformRealToComplex(fft, ch1.data, sp1.data);
  Mark(step, "transform channel 1");
  FFT_TransformRealToComplex(fft, ch2.data, sp2.data);
  Mark(step, "transform channel 2");
  CalcComplexABS(sp1.data, ch1.data, half);
  CalcComplexABS(sp2.data, ch2.data, half);
  Mark(step, "magnitudes (2)");
  CalcComplexARG(sp1.data, ch1.data + half, half);
  CalcComplexARG(sp2.data, ch2.data + half, half);
  Mark(step, "phases (2)");
  FFT_stop(fft);
  Mark(step, "FFT_stop");
  if (WriteSpectrumReport(s, ch1.data, ch2.data, header) != ReportStatus::written) return 4;
  Mark(step, "report");
  std::remove(ReportPath(s).c_str());
  sp1 = {};
  sp2 = {};
  ch1 = {};
  ch2 = {};
  Mark(step, "release arrays");
  std::printf("%-28s %10.3f ms %8ld faults\n", "total in main", step.total, step.totalFaults);
  return 0;
}
