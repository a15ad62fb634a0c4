#include "analysis/run.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "analysis/spectrum_report.h"
#include "dsp/zeroed_array.h"
#include "cli/option_scanner.h"
#include "cli/options.h"
#include "cli/settings.h"
#include "cli/usage.h"
#include "dsp/complex_values.h"
#include "dsp/fft.h"
#include "dsp/wav_file.h"
#include "dsp/windows.h"

namespace {

constexpr int32_t kOptionBufferSize = 128;
constexpr int32_t kHeaderTextSize = 1024;
constexpr int32_t kOutOfMemory = -2;

struct WavCloser {
  void operator()(WavFile* h) const { WavClose(h); }
};
struct FftStopper {
  void operator()(FftPlan* h) const { FFT_stop(h); }
};

// Settings that would make the run divide by zero or ask for a transform of no samples.
bool SettingsUsable(const AnalysisSettings& s) {
  if (s.fftSize < 1) {
    std::printf("\nInvalid FFT size: %d\n", s.fftSize);
    return false;
  }
  if (s.sumByRanges && s.halfSize >= 2 && (s.rangeCount == 0 || s.halfSize / s.rangeCount == 0)) {
    std::printf("\nInvalid number of ranges: %d\n", s.rangeCount);
    return false;
  }
  return true;
}

void ApplyWindow(WindowKind window, double* x, int32_t n) {
  switch (window) {
    case WindowKind::hamming: WinHamming(x, n); break;
    case WindowKind::hanning: WinHanning(x, n); break;
    case WindowKind::triangular: WinTriangular(x, n); break;
    case WindowKind::welch: WinWelch(x, n); break;
    case WindowKind::none:
    case WindowKind::unknown: break;
  }
}

bool AllFinite(const double* x, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    if (!std::isfinite(x[i])) return false;
  }
  return true;
}

int32_t Analyse(int32_t argumentCount, char* argumentVector[]) {
  if (argumentCount < 2) PrintUsage(true);
  settings.wavPath = argumentVector[1];
  scanIndex = 2;  // options follow the path
  char optionBuffer[kOptionBufferSize];
  for (;;) {
    const int32_t letter = NextOption(argumentCount, argumentVector, optionBuffer, kOptionBufferSize);
    if (letter == -1) break;
    ApplyOption(letter, optionBuffer);
  }
  if (!SettingsUsable(settings)) return 1;

  const int32_t n = settings.fftSize;
  const int32_t half = settings.halfSize;

  WavFormatInfo format{};
  std::unique_ptr<WavFile, WavCloser> wav(WavOpen(settings.wavPath.c_str(), &format));
  settings.sampleRate = format.sampleRate;
  if (wav == nullptr) {
    std::printf("\nCan't open or unknown format: %s\n", settings.wavPath.c_str());
    return 1;
  }
  char headerBuffer[kHeaderTextSize] = {};
  WavGetHeaderInfo(wav.get(), headerBuffer, kHeaderTextSize);
  std::string headerText = headerBuffer;
  if (format.formatCode != kPlainStereoWav) {
    headerText += "\nWarning, not a plain WAV.\n Possible incorrect results\n";
  }
  std::printf("%s\n", headerText.c_str());

  // Each channel array holds the samples, later the amplitudes followed by the phases; for
  // odd N the halfSize phases behind halfSize amplitudes need one entry more than N.
  const size_t channelLength = std::max<size_t>(static_cast<size_t>(n), 2 * static_cast<size_t>(half));
  ZeroedArray channel1 = AllocateZeroed(channelLength);
  if (channel1.data == nullptr) return kOutOfMemory;
  ZeroedArray channel2 = AllocateZeroed(channelLength);
  if (channel2.data == nullptr) return kOutOfMemory;

  if (WavReadReal(wav.get(), channel1.data, channel2.data, n, 1) != n) {
    std::printf("\nCan't read %lu samles\n", static_cast<unsigned long>(n));
    return 2;  // wav is closed on return
  }
  wav.reset();
  // NaN or infinite samples would only make a report of "nan" figures.
  if (!AllFinite(channel1.data, n) || !AllFinite(channel2.data, n)) {
    std::printf("\nNon-finite sample values in: %s\n", settings.wavPath.c_str());
    return 2;
  }

  ZeroedArray spectrum1 = AllocateZeroed(2 * static_cast<size_t>(half));
  if (spectrum1.data == nullptr) return kOutOfMemory;
  ZeroedArray spectrum2 = AllocateZeroed(2 * static_cast<size_t>(half));
  if (spectrum2.data == nullptr) return kOutOfMemory;

  std::unique_ptr<FftPlan, FftStopper> transform(FFT_start(n));
  if (transform == nullptr) return kOutOfMemory;
  ApplyWindow(settings.window, channel1.data, n);
  ApplyWindow(settings.window, channel2.data, n);
  FFT_TransformRealToComplex(transform.get(), channel1.data, spectrum1.data);
  FFT_TransformRealToComplex(transform.get(), channel2.data, spectrum2.data);
  CalcComplexABS(spectrum1.data, channel1.data, half);
  CalcComplexABS(spectrum2.data, channel2.data, half);
  CalcComplexARG(spectrum1.data, channel1.data + half, half);
  CalcComplexARG(spectrum2.data, channel2.data + half, half);
  transform.reset();

  switch (WriteSpectrumReport(settings, channel1.data, channel2.data, headerText)) {
    case ReportStatus::written: return 0;
    case ReportStatus::cantCreate:
      std::printf("\nCan't create report file: %s\n", ReportPath(settings).c_str());
      return 1;
    case ReportStatus::cantWrite:
      std::printf("\nCan't write report file: %s\n", ReportPath(settings).c_str());
      return 1;
  }
  return 1;
}

}  // namespace

int32_t RunAnalysis(int32_t argumentCount, char* argumentVector[]) {
  // A file-size limit must make the report's writes fail, not kill the process half-way.
  std::signal(SIGXFSZ, SIG_IGN);
  try {
    return Analyse(argumentCount, argumentVector);
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}
