// The report file: per-bin lines, range sums and the closing summary.
#pragma once

#include <string>

#include "cli/settings.h"

enum class ReportStatus {
  written,     // the report is complete at its path
  cantCreate,  // no temporary file could be created next to the report path
  cantWrite,   // writing, closing or renaming failed; nothing was left behind
};

// The report's path: the WAV path with ".txt" appended.
std::string ReportPath(const AnalysisSettings& s);

// Writes the report for the analysed channels. Each channel array holds the amplitudes of bins
// 0 ... halfSize-1 followed by their phases in radians. The report is written whole or not at
// all: an existing report is replaced only once the new one is complete.
ReportStatus WriteSpectrumReport(const AnalysisSettings& s, const double* channel1,
                                 const double* channel2, const std::string& headerText);
