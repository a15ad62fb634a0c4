// Test fixtures: wavspec report text made with the report's own line formats, and the
// spectra of tones computed by a direct DFT.
#pragma once

#include <string>
#include <vector>

// printf-formatted report lines, line end included.
std::string BinLine(int index, double frequency, double a1, double a2, double fi1, double fi2,
                    double dfi);
std::string RangeLine(int index, double frequency, double sum1, double sum2, double sum);
// The empty line, the summary and the FILE INFO section with info.
std::string SummaryBlock(int fftSize, const char* window, double pw, bool amaxWarning,
                         const std::string& info);

// A sine: amplitude 1 is full scale; phase in radians at sample 0.
struct Tone {
  double frequency = 0, amplitude = 0, phase = 0;
};

// Two channels of tones, transformed as wavspec does, optionally Hann-windowed.
struct ToneSignal {
  int fftSize = 1024;
  double sampleRate = 48000;
  bool hann = true;
  std::vector<Tone> channel1, channel2;
};

// A whole report written with -F (and range sums) for the signal: bin lines where either
// amplitude exceeds the listing threshold, range lines over 8 ranges, the summary.
std::string ToneReport(const ToneSignal& signal);
