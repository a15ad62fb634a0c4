#include "cli/settings.h"

AnalysisSettings settings;

void UpdateDerivedSizes(AnalysisSettings& s) {
  // In 64 bits, (INT32_MAX + 1) / 2 neither overflows nor leaves the 32-bit range.
  s.halfSize = static_cast<int32_t>((static_cast<int64_t>(s.fftSize) + 1) / 2);
  s.amplitudeScale = static_cast<double>(s.halfSize) * 0.01;
}
