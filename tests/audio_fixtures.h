// Writes audio files for tests through libsndfile, and generates test signals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes interleaved samples (full scale +-1.0) with the given libsndfile format
// (SF_FORMAT_* container | encoding). Returns false when the library refuses.
bool WriteSoundFile(const std::string& path, int format, int channels, int sampleRate,
                    const std::vector<double>& interleaved);

// Interleaves two equally long channels.
std::vector<double> Interleave(const std::vector<double>& ch1, const std::vector<double>& ch2);

// a * cos(2 pi k n / N + phase) + offset for n = 0 ... count-1: a tone exactly in bin k of an
// N-point transform.
std::vector<double> BinTone(int64_t count, int32_t n, double k, double amplitude,
                            double phaseRadians = 0.0, double offset = 0.0);
