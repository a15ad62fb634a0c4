#include "tests/audio_fixtures.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>

bool WriteSoundFile(const std::string& path, int format, int channels, int sampleRate,
                    const std::vector<double>& interleaved) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  // Integer encodings clip at full scale instead of wrapping.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channels;
  const sf_count_t written = sf_writef_double(file, interleaved.data(), frames);
  return sf_close(file) == 0 && written == frames;
}

std::vector<double> Interleave(const std::vector<double>& ch1, const std::vector<double>& ch2) {
  std::vector<double> out(ch1.size() * 2);
  for (size_t i = 0; i < ch1.size(); ++i) {
    out[2 * i] = ch1[i];
    out[2 * i + 1] = ch2[i];
  }
  return out;
}

std::vector<double> BinTone(int64_t count, int32_t n, double k, double amplitude,
                            double phaseRadians, double offset) {
  std::vector<double> out(static_cast<size_t>(count));
  for (int64_t j = 0; j < count; ++j) {
    // Reduce k*j modulo n first so the argument stays small and exact.
    const double turns = std::fmod(k * static_cast<double>(j), static_cast<double>(n)) / n;
    out[static_cast<size_t>(j)] =
        amplitude * std::cos(2 * std::numbers::pi * turns + phaseRadians) + offset;
  }
  return out;
}
