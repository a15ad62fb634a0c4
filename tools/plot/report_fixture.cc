#include "tools/plot/report_fixture.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr double kDegrees = 57.29577951308232;

struct Spectrum {
  std::vector<double> amplitude, phase;
};

// Direct DFT of the windowed samples for bins 0 .. halfSize - 1; twiddles come from a table
// indexed by (k × n) mod N, so every bin uses exactly the same angles.
Spectrum DirectDft(const std::vector<Tone>& tones, const ToneSignal& signal) {
  const int n = signal.fftSize;
  const int halfSize = (n + 1) / 2;
  std::vector<double> samples(n), cosines(n), sines(n);
  for (int t = 0; t < n; ++t) {
    double value = 0;
    for (const Tone& tone : tones) {
      value += tone.amplitude *
               std::sin(2 * std::numbers::pi * tone.frequency * t / signal.sampleRate + tone.phase);
    }
    const double window = signal.hann ? 0.5 - 0.5 * std::cos(2 * std::numbers::pi * t / n) : 1.0;
    samples[t] = value * window;
    cosines[t] = std::cos(2 * std::numbers::pi * t / n);
    sines[t] = std::sin(2 * std::numbers::pi * t / n);
  }
  Spectrum s;
  for (int k = 0; k < halfSize; ++k) {
    double re = 0, im = 0;
    for (int t = 0; t < n; ++t) {
      const long index = static_cast<long>(k) * t % n;
      re += samples[t] * cosines[index];
      im -= samples[t] * sines[index];
    }
    s.amplitude.push_back(std::hypot(re, im));
    s.phase.push_back(std::atan2(im, re));
  }
  return s;
}

}  // namespace

std::string BinLine(int index, double frequency, double a1, double a2, double fi1, double fi2,
                    double dfi) {
  char line[160];
  std::snprintf(line, sizeof line,
                "%6d: F=%11.4f A1=%11.6f A2=%11.6f Fi1=%10.5f Fi2=%10.5f dFi=%10.5f\n", index,
                frequency, a1, a2, fi1, fi2, dfi);
  return line;
}

std::string RangeLine(int index, double frequency, double sum1, double sum2, double sum) {
  char line[160];
  std::snprintf(line, sizeof line, "%5d: F=%11.4f sum1=%11.6f sum2=%11.6f  sum=%11.6f\n", index,
                frequency, sum1, sum2, sum);
  return line;
}

std::string SummaryBlock(int fftSize, const char* window, double pw, bool amaxWarning,
                         const std::string& info) {
  char text[512];
  std::snprintf(text, sizeof text,
                "\nFFTsize=%d   Windows:%s\n"
                "FFT:  CONST1=%11.6f   CONST2=%11.6f \n"
                "FFT:  SUM1=%11.6f     SUM2=%11.6f \n"
                "FFT:  PW=%11.6f\n"
                "%s"
                "FFT:  Fmax1=%8.2f  Amax1=%11.6f  Fmax2=%8.2f  Amax2=%11.6f\n",
                fftSize, window, 0.0, 0.0, 12.5, 6.25, pw,
                amaxWarning ? "Warning, possible error. Amax in first point.\n" : "", 1000.0,
                50.0, 1000.0, 25.0);
  return text + std::string("\n\nFILE INFO:\n") + info + "\n";
}

std::string ToneReport(const ToneSignal& signal) {
  const Spectrum s1 = DirectDft(signal.channel1, signal);
  const Spectrum s2 = DirectDft(signal.channel2, signal);
  const int halfSize = (signal.fftSize + 1) / 2;
  const double scale = halfSize * 0.01;
  const double spacing = signal.sampleRate / signal.fftSize;
  const int step = halfSize / 8;
  std::string text;
  double r1 = 0, r2 = 0;
  for (int i = 1; i < halfSize; ++i) {
    const double f = spacing * i;
    r1 += s1.amplitude[i];
    r2 += s2.amplitude[i];
    if (s1.amplitude[i] > scale * 1e-6 || s2.amplitude[i] > scale * 1e-6) {
      const double dfi = s2.phase[i] - s1.phase[i];
      text += BinLine(i, f, s1.amplitude[i] / scale, s2.amplitude[i] / scale,
                      s1.phase[i] * kDegrees, s2.phase[i] * kDegrees, dfi * kDegrees);
    }
    if (step > 0 && i % step == 0) {
      text += RangeLine(i, f, r1 / halfSize * 100, r2 / halfSize * 100, (r2 + r1) / halfSize * 100);
      r1 = r2 = 0;
    }
  }
  if (step > 0 && (halfSize - 1) % step != 0) {
    text += '\n';
    text += RangeLine(halfSize - 1, spacing * (halfSize - 1), r1 / halfSize * 100,
                             r2 / halfSize * 100, (r2 + r1) / halfSize * 100);
  }
  return text + SummaryBlock(signal.fftSize, signal.hann ? "Hanning" : "No", 0.03125, false,
                             "WAV  2 channels  48000 Hz  16 bit");
}
