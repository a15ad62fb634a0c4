// Reads a wavspec report back into numbers: the per-bin lines, the range lines, the closing
// summary and the FILE INFO text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One per-bin line: amplitudes in report units (100 is full scale), angles in degrees.
struct ReportBin {
  int32_t index = 0;
  double frequency = 0, a1 = 0, a2 = 0, fi1 = 0, fi2 = 0, dfi = 0;
};

// One range-sum line, the trailing one included.
struct ReportRange {
  int32_t index = 0;
  double frequency = 0, sum1 = 0, sum2 = 0, sum = 0;
};

// A whole report. Bins are in ascending, strictly increasing bin order.
struct Report {
  std::vector<ReportBin> bins;
  std::vector<ReportRange> ranges;
  int32_t fftSize = 0;
  std::string window;  // the name after "Windows:", e.g. "Hanning"
  double const1 = 0, const2 = 0, sum1 = 0, sum2 = 0, pw = 0;
  bool amaxInFirstPoint = false;  // the "Amax in first point" warning was present
  double fmax1 = 0, amax1 = 0, fmax2 = 0, amax2 = 0;
  std::string fileInfo;  // the header description, without the report's final line end
};

// Parses report text. On failure returns false and sets *error to a message that begins
// with "line N: " for a line that does not fit the report's layout.
bool ParseReport(std::string_view text, Report* report, std::string* error);

// Reads and parses the report file at path; *error names the failure when it returns false.
bool ReadReport(const std::string& path, Report* report, std::string* error);
