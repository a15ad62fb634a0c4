// The program-wide record of what the analysis is to do, with its defaults and derived sizes.
#pragma once

#include <cstdint>
#include <string>

enum class WindowKind : int32_t {
  none = 0,
  hamming = 1,
  hanning = 2,
  triangular = 3,
  welch = 4,
  unknown = -1,  // option W named none of the four: no window is applied
};

struct AnalysisSettings {
  int32_t fftSize = 65536;     // N: frames read from each channel and the transform size
  int32_t rangeCount = 8;      // D: number of ranges for the range sums
  int32_t sumByRanges = 1;     // write range-sum lines (S on, s off)
  int32_t printAllData = 0;    // write one line per bin (F on, f off)
  WindowKind window = WindowKind::none;
  int32_t halfSize = 32768;    // (N + 1) / 2: bins 0 ... halfSize - 1 are analysed
  double amplitudeScale = 327.68;  // halfSize * 0.01: amplitudes are reported divided by it
  int32_t sampleRate = 0;      // filled from the WAV file when it is opened
  std::string wavPath;         // as typed; the report is this path with ".txt" appended
};

// The one instance, read and written by the single thread.
extern AnalysisSettings settings;

// Recomputes halfSize and amplitudeScale from fftSize, without overflow for any fftSize.
void UpdateDerivedSizes(AnalysisSettings& s);
