// Writes a stereo 16-bit WAV recording with known content, for the demo, tests and benchmarks:
//   channel 1: 1 kHz at 0.5 of full scale + 5 kHz at 0.1 of full scale
//   channel 2: the 1 kHz tone at 0.5 of full scale leading by 45 degrees, plus light noise
// Usage: wavspec-make-demo OUT.wav [seconds (default 2)] [sample rate (default 48000)]
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include <sndfile.h>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int64_t kBlockFrames = 65536;
constexpr int64_t kMaxFrames = int64_t{1} << 31;
constexpr uint32_t kNoiseSeed = 20260101;
constexpr double kNoisePeak = 0.002;  // about -54 dB of full scale

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};

// sin(2 pi f n / rate + phase), with f n reduced modulo rate in integers so that the tone stays
// exact over recordings of any length.
double Tone(int64_t frequency, int64_t n, int64_t rate, double phase) {
  const int64_t cycle = (frequency * n) % rate;
  return std::sin(2 * kPi * static_cast<double>(cycle) / static_cast<double>(rate) + phase);
}

bool ParseNumber(const char* text, double* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text, &end);
  return errno == 0 && end != text && *end == '\0' && std::isfinite(*value);
}

int Usage(const char* program) {
  std::fprintf(stderr, "usage: %s OUT.wav [seconds (default 2)] [sample rate (default 48000)]\n",
               program);
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2 || argc > 4) return Usage(argv[0]);
  double seconds = 2.0, rateValue = 48000.0;
  if (argc >= 3 && (!ParseNumber(argv[2], &seconds) || seconds <= 0)) return Usage(argv[0]);
  if (argc >= 4 && (!ParseNumber(argv[3], &rateValue) || rateValue != std::floor(rateValue) ||
                    rateValue <= 10000 || rateValue > 768000)) {
    std::fprintf(stderr, "%s: the sample rate must be a whole number above 10000 (the 5 kHz tone) "
                 "and at most 768000\n", argv[0]);
    return 2;
  }
  const int64_t rate = static_cast<int64_t>(rateValue);
  const double frameCount = std::round(seconds * rateValue);
  if (frameCount < 1 || frameCount > static_cast<double>(kMaxFrames)) {
    std::fprintf(stderr, "%s: %g seconds at %lld Hz is not between 1 and %lld frames\n", argv[0],
                 seconds, static_cast<long long>(rate), static_cast<long long>(kMaxFrames));
    return 2;
  }
  const int64_t frames = static_cast<int64_t>(frameCount);

  SF_INFO info = {};
  info.samplerate = static_cast<int>(rate);
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  std::unique_ptr<SNDFILE, SndfileCloser> out(sf_open(argv[1], SFM_WRITE, &info));
  if (out == nullptr) {
    std::fprintf(stderr, "%s: can't write %s: %s\n", argv[0], argv[1], sf_strerror(nullptr));
    return 1;
  }

  // mt19937's output sequence is fixed by the standard; it is scaled here by hand so that the
  // noise is the same with every standard library.
  std::mt19937 noise(kNoiseSeed);
  std::vector<double> block(2 * kBlockFrames);
  for (int64_t start = 0; start < frames; start += kBlockFrames) {
    const int64_t count = std::min(kBlockFrames, frames - start);
    for (int64_t j = 0; j < count; ++j) {
      const int64_t n = start + j;
      const double u = static_cast<double>(noise()) / 4294967296.0 * 2.0 - 1.0;
      block[2 * j] = 0.5 * Tone(1000, n, rate, 0.0) + 0.1 * Tone(5000, n, rate, 0.0);
      block[2 * j + 1] = 0.5 * Tone(1000, n, rate, kPi / 4) + kNoisePeak * u;
    }
    if (sf_writef_double(out.get(), block.data(), count) != count) {
      std::fprintf(stderr, "%s: can't write %s: %s\n", argv[0], argv[1], sf_strerror(out.get()));
      out.reset();
      std::remove(argv[1]);
      return 1;
    }
  }
  if (sf_close(out.release()) != 0) {
    std::fprintf(stderr, "%s: can't write %s\n", argv[0], argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
