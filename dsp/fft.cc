#include "dsp/fft.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include <fftw3.h>
#include <unistd.h>

struct FftPlan {
  int32_t n = 0;
  fftw_plan plan = nullptr;
  // The arrays the plan was made for. FFTW makes n / 2 + 1 bins, one more than the caller's
  // spectrum holds for even n, so the bins land here first. The input buffer takes a copy of
  // input only when the caller's array is aligned differently from it.
  double* planInput = nullptr;
  fftw_complex* planOutput = nullptr;
  ~FftPlan() {
    if (plan != nullptr) fftw_destroy_plan(plan);
    fftw_free(planInput);
    fftw_free(planOutput);
  }
};

namespace {

// Working memory that preparing and running a transform may need, per point: the plan's
// tables (measured up to about 35 bytes for prime sizes) and the handle's two buffers.
constexpr double kBytesPerPoint = 40.0 + 8.0 + 8.0;

// FFTW aborts the process when its planner runs out of memory, so a size whose working
// memory would not fit into half of the machine's memory is refused beforehand.
bool FitsInMemory(int32_t n) {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return true;  // unknown: let the planner try
  const double physical = static_cast<double>(pages) * static_cast<double>(pageSize);
  return kBytesPerPoint * static_cast<double>(n) <= physical / 2;
}

int32_t LargestPrimeFactor(int32_t n) {
  int32_t largest = 1;
  for (int32_t p = 2; p <= n / p; ++p) {
    while (n % p == 0) {
      largest = p;
      n /= p;
    }
  }
  return n > 1 ? n : largest;
}

// How plans are made. FFTW_ESTIMATE picks an algorithm without running trial transforms, so
// it never writes the arrays and costs little; this is the one place to choose otherwise.
constexpr unsigned kPlanFlags = FFTW_ESTIMATE | FFTW_PRESERVE_INPUT;

}  // namespace

FftHandle FFT_start(int32_t n) {
  if (n < 1 || n > kMaxFftSize || LargestPrimeFactor(n) > kMaxFftPrimeFactor || !FitsInMemory(n)) {
    return nullptr;
  }
  auto handle = std::make_unique<FftPlan>();
  handle->n = n;
  const size_t bins = static_cast<size_t>(n) / 2 + 1;
  handle->planInput = fftw_alloc_real(static_cast<size_t>(n));
  handle->planOutput = fftw_alloc_complex(bins);
  if (handle->planInput == nullptr || handle->planOutput == nullptr) return nullptr;
  handle->plan = fftw_plan_dft_r2c_1d(n, handle->planInput, handle->planOutput, kPlanFlags);
  if (handle->plan == nullptr) return nullptr;
  return handle.release();
}

void FFT_TransformRealToComplex(FftHandle handle, const double* input, double* spectrum) {
  if (handle == nullptr || input == nullptr || spectrum == nullptr) return;
  const size_t n = static_cast<size_t>(handle->n);
  // The plan preserves its input, so the cast only meets FFTW's non-const signature.
  double* source = const_cast<double*>(input);
  if (fftw_alignment_of(source) != fftw_alignment_of(handle->planInput)) {
    std::memcpy(handle->planInput, input, n * sizeof(double));
    source = handle->planInput;
  }
  fftw_execute_dft_r2c(handle->plan, source, handle->planOutput);
  const size_t keep = (n + 1) / 2;
  std::memcpy(spectrum, handle->planOutput, keep * sizeof(fftw_complex));
}

void FFT_stop(FftHandle handle) { delete handle; }
