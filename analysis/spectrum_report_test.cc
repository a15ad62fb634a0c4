#include "analysis/spectrum_report.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/temp_dir.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const std::string kHeader = "WAV header text\nsecond line";
const std::string kFileInfo = "\n\nFILE INFO:\nWAV header text\nsecond line\n";

// Settings and the two channel arrays as the run hands them over: amplitudes of bins
// 0 ... halfSize-1, then their phases in radians.
struct Spectrum {
  AnalysisSettings s;
  std::vector<double> ch1, ch2;

  Spectrum(int32_t n, int32_t halfSize, double amplitudeScale, int32_t sampleRate) {
    s.fftSize = n;
    s.halfSize = halfSize;
    s.amplitudeScale = amplitudeScale;
    s.sampleRate = sampleRate;
    ch1.assign(2 * static_cast<size_t>(halfSize), 0.0);
    ch2.assign(2 * static_cast<size_t>(halfSize), 0.0);
  }
  // Sets bin i of channel 1 or 2 to an amplitude and a phase in degrees.
  void Set(int channel, int32_t i, double amplitude, double degrees = 0.0) {
    std::vector<double>& ch = channel == 1 ? ch1 : ch2;
    ch[static_cast<size_t>(i)] = amplitude;
    ch[static_cast<size_t>(s.halfSize + i)] = degrees * kPi / 180.0;
  }
};

// N 200: halfSize 100, amplitudeScale 1 (amplitudes print as they are), 40 Hz per bin, and
// with D 4 a range step of 25.
Spectrum Small() {
  Spectrum sp(200, 100, 1.0, 8000);
  sp.s.rangeCount = 4;
  return sp;
}

// Writes the report next to a WAV path in a fresh directory and returns its text; the
// directory must then hold the report and nothing else.
std::string Report(Spectrum& sp) {
  TempDir dir;
  sp.s.wavPath = dir.File("rec.wav");
  EXPECT_EQ(WriteSpectrumReport(sp.s, sp.ch1.data(), sp.ch2.data(), kHeader), ReportStatus::written);
  EXPECT_EQ(ListDirectory(dir.path()), "rec.wav.txt\n");
  std::string text;
  EXPECT_TRUE(ReadFile(dir.File("rec.wav.txt"), &text));
  return text;
}

// Defaults: N 65536, 48 kHz (0.732421875 Hz per bin), D 8, step 4096. Every bin 1 ... 32767
// holds 1 in channel 1 and 0.5 in channel 2, except a peak of 65 in bin 1000 (channel 1) and
// 20 in bin 2000 (channel 2). All sums are exact in binary, so the figures are:
// first range R1 = 4095 + 65 = 4160, 4160 / 32768 * 100 = 12.6953125, a tie printed 12.695312
// (ties go to even); R2 = 4095 * 0.5 + 20 = 2067.5 -> 6.30950927...; other ranges 4096 and
// 2048 -> 12.5 and 6.25; the trailing range holds bins 28673 ... 32767, 4095 bins, at
// F = 23999.267578125. T1 = 32766 + 65 = 32831, / 327.68 = 100.19226...; T2 = 16383 + 20.
// P = 32765 * 0.5 + 65 * 0.5 + 20 = 16435, / 32768^2 * 0.5 = 7.65e-6. A1[0] = 16384 is a DC
// of 16384 / 65536 * 100 = 25 percent.
TEST(SpectrumReport, DefaultLayout) {
  Spectrum sp(65536, 32768, 327.68, 48000);
  for (int32_t i = 1; i < 32768; ++i) {
    sp.Set(1, i, 1.0);
    sp.Set(2, i, 0.5);
  }
  sp.Set(1, 1000, 65.0);
  sp.Set(2, 2000, 20.0);
  sp.Set(1, 0, 16384.0);
  EXPECT_EQ(Report(sp),
            " 4096: F=  3000.0000 sum1=  12.695312 sum2=   6.309509  sum=  19.004822\n"
            " 8192: F=  6000.0000 sum1=  12.500000 sum2=   6.250000  sum=  18.750000\n"
            "12288: F=  9000.0000 sum1=  12.500000 sum2=   6.250000  sum=  18.750000\n"
            "16384: F= 12000.0000 sum1=  12.500000 sum2=   6.250000  sum=  18.750000\n"
            "20480: F= 15000.0000 sum1=  12.500000 sum2=   6.250000  sum=  18.750000\n"
            "24576: F= 18000.0000 sum1=  12.500000 sum2=   6.250000  sum=  18.750000\n"
            "28672: F= 21000.0000 sum1=  12.500000 sum2=   6.250000  sum=  18.750000\n"
            "\n"
            "32767: F= 23999.2676 sum1=  12.496948 sum2=   6.248474  sum=  18.745422\n"
            "\n"
            "FFTsize=65536   Windows:No\n"
            "FFT:  CONST1=  25.000000   CONST2=   0.000000 \n"
            "FFT:  SUM1= 100.192261     SUM2=  50.057983 \n"
            "FFT:  PW=   0.000008\n"
            "FFT:  Fmax1=  732.42  Amax1=   0.198364  Fmax2= 1464.84  Amax2=   0.061035\n" +
                kFileInfo);
}

// halfSize 4097, D 8: step 512, and bin 4096 closes the eighth range, so no trailing line.
// 8194 Hz over N 8194 is 1 Hz per bin; 512 bins of 1 give 512 / 4097 * 100 = 12.4969...
TEST(SpectrumReport, LastBinClosingARangeGivesNoTrailingLine) {
  Spectrum sp(8194, 4097, 40.97, 8194);
  for (int32_t i = 1; i < 4097; ++i) sp.Set(1, i, 1.0);
  std::string expected;
  for (int32_t k = 1; k <= 8; ++k) {
    char line[100];
    std::snprintf(line, sizeof line, "%5d: F=%11.4f sum1=  12.496949 sum2=   0.000000  sum=  12.496949\n",
                  512 * k, 512.0 * k);
    expected += line;
  }
  expected +=
      "\n"
      "FFTsize=8194   Windows:No\n"
      "FFT:  CONST1=   0.000000   CONST2=   0.000000 \n"
      "FFT:  SUM1=  99.975592     SUM2=   0.000000 \n"
      "FFT:  PW=   0.000000\n"
      "Warning, possible error. Amax in first point.\n"
      "FFT:  Fmax1=    1.00  Amax1=   0.024408  Fmax2=    0.00  Amax2=   0.000000\n" +
      kFileInfo;
  EXPECT_EQ(Report(sp), expected);
}

// Small cases on the N 200 fixture, each with its whole expected text.
struct LayoutCase {
  const char* name;
  void (*prepare)(Spectrum&);
  std::string expected;
};

const LayoutCase kLayoutCases[] = {
    {"range sums off, D 0 harmless",
     [](Spectrum& sp) {
       sp.s.sumByRanges = 0;
       sp.s.rangeCount = 0;
       sp.Set(1, 10, 3.0);
       sp.Set(2, 20, 4.0);
     },
     "\n"
     "FFTsize=200   Windows:No\n"
     "FFT:  CONST1=   0.000000   CONST2=   0.000000 \n"
     "FFT:  SUM1=   3.000000     SUM2=   4.000000 \n"
     "FFT:  PW=   0.000000\n"
     "FFT:  Fmax1=  400.00  Amax1=   3.000000  Fmax2=  800.00  Amax2=   4.000000\n"},
    // The threshold is amplitudeScale * 1e-6 = 1e-6: bin 3 sits on it and is not listed, yet
    // counts in SUM1 (0.5 + 1e-6) and in Amax; bin 4 is just above it in channel 2.
    {"bin lines and their threshold",
     [](Spectrum& sp) {
       sp.s.sumByRanges = 0;
       sp.s.printAllData = 1;
       sp.Set(1, 3, 1e-6);
       sp.Set(2, 4, std::nextafter(1e-6, 1.0));
       sp.Set(1, 7, 0.5, 90.0);
     },
     "     4: F=   160.0000 A1=   0.000000 A2=   0.000001 Fi1=   0.00000 Fi2=   0.00000 dFi=   0.00000\n"
     "     7: F=   280.0000 A1=   0.500000 A2=   0.000000 Fi1=  90.00000 Fi2=   0.00000 dFi= -90.00000\n"
     "\n"
     "FFTsize=200   Windows:No\n"
     "FFT:  CONST1=   0.000000   CONST2=   0.000000 \n"
     "FFT:  SUM1=   0.500001     SUM2=   0.000001 \n"
     "FFT:  PW=   0.000000\n"
     "FFT:  Fmax1=  280.00  Amax1=   0.500000  Fmax2=  160.00  Amax2=   0.000001\n"},
    // A bin's line comes before the range line it closes; the last bin 99 closes no range.
    {"bin lines and range lines interleaved",
     [](Spectrum& sp) {
       sp.s.printAllData = 1;
       sp.Set(1, 25, 2.0);
       sp.Set(2, 30, 1.0);
       sp.Set(1, 99, 4.0);
     },
     "    25: F=  1000.0000 A1=   2.000000 A2=   0.000000 Fi1=   0.00000 Fi2=   0.00000 dFi=   0.00000\n"
     "   25: F=  1000.0000 sum1=   2.000000 sum2=   0.000000  sum=   2.000000\n"
     "    30: F=  1200.0000 A1=   0.000000 A2=   1.000000 Fi1=   0.00000 Fi2=   0.00000 dFi=   0.00000\n"
     "   50: F=  2000.0000 sum1=   0.000000 sum2=   1.000000  sum=   1.000000\n"
     "   75: F=  3000.0000 sum1=   0.000000 sum2=   0.000000  sum=   0.000000\n"
     "    99: F=  3960.0000 A1=   4.000000 A2=   0.000000 Fi1=   0.00000 Fi2=   0.00000 dFi=   0.00000\n"
     "\n"
     "   99: F=  3960.0000 sum1=   4.000000 sum2=   0.000000  sum=   4.000000\n"
     "\n"
     "FFTsize=200   Windows:No\n"
     "FFT:  CONST1=   0.000000   CONST2=   0.000000 \n"
     "FFT:  SUM1=   6.000000     SUM2=   1.000000 \n"
     "FFT:  PW=   0.000000\n"
     "FFT:  Fmax1= 3960.00  Amax1=   4.000000  Fmax2= 1200.00  Amax2=   1.000000\n"},
    // Quotients are divided before they are scaled: 3.5e-6 / 100 * 100 prints 0.000004 and
    // 4.9999999999999996e-06 / 200 * 100 prints 0.000002, where multiplying first would give
    // 0.000003 both times. (3.5e-6 itself prints 0.000003.)
    {"divide before multiply",
     [](Spectrum& sp) {
       sp.Set(1, 0, 4.9999999999999996e-06);
       sp.Set(1, 10, 3.5e-6);
     },
     "   25: F=  1000.0000 sum1=   0.000004 sum2=   0.000000  sum=   0.000004\n"
     "   50: F=  2000.0000 sum1=   0.000000 sum2=   0.000000  sum=   0.000000\n"
     "   75: F=  3000.0000 sum1=   0.000000 sum2=   0.000000  sum=   0.000000\n"
     "\n"
     "   99: F=  3960.0000 sum1=   0.000000 sum2=   0.000000  sum=   0.000000\n"
     "\n"
     "FFTsize=200   Windows:No\n"
     "FFT:  CONST1=   0.000002   CONST2=   0.000000 \n"
     "FFT:  SUM1=   0.000003     SUM2=   0.000000 \n"
     "FFT:  PW=   0.000000\n"
     "FFT:  Fmax1=  400.00  Amax1=   0.000003  Fmax2=    0.00  Amax2=   0.000000\n"},
    // imax stays 0 when nothing exceeds 0, so no warning and Fmax 0.00.
    {"all zero",
     [](Spectrum&) {},
     "   25: F=  1000.0000 sum1=   0.000000 sum2=   0.000000  sum=   0.000000\n"
     "   50: F=  2000.0000 sum1=   0.000000 sum2=   0.000000  sum=   0.000000\n"
     "   75: F=  3000.0000 sum1=   0.000000 sum2=   0.000000  sum=   0.000000\n"
     "\n"
     "   99: F=  3960.0000 sum1=   0.000000 sum2=   0.000000  sum=   0.000000\n"
     "\n"
     "FFTsize=200   Windows:No\n"
     "FFT:  CONST1=   0.000000   CONST2=   0.000000 \n"
     "FFT:  SUM1=   0.000000     SUM2=   0.000000 \n"
     "FFT:  PW=   0.000000\n"
     "FFT:  Fmax1=    0.00  Amax1=   0.000000  Fmax2=    0.00  Amax2=   0.000000\n"},
    {"channel 1 peak in bin 1",
     [](Spectrum& sp) {
       sp.s.sumByRanges = 0;
       sp.Set(1, 1, 5.0);
       sp.Set(2, 50, 1.0);
     },
     "\n"
     "FFTsize=200   Windows:No\n"
     "FFT:  CONST1=   0.000000   CONST2=   0.000000 \n"
     "FFT:  SUM1=   5.000000     SUM2=   1.000000 \n"
     "FFT:  PW=   0.000000\n"
     "Warning, possible error. Amax in first point.\n"
     "FFT:  Fmax1=   40.00  Amax1=   5.000000  Fmax2= 2000.00  Amax2=   1.000000\n"},
    // A later equal amplitude does not move the peak: channel 2 keeps bin 1.
    {"channel 2 peak in bin 1, tie later",
     [](Spectrum& sp) {
       sp.s.sumByRanges = 0;
       sp.Set(1, 50, 1.0);
       sp.Set(2, 1, 5.0);
       sp.Set(2, 60, 5.0);
     },
     "\n"
     "FFTsize=200   Windows:No\n"
     "FFT:  CONST1=   0.000000   CONST2=   0.000000 \n"
     "FFT:  SUM1=   1.000000     SUM2=  10.000000 \n"
     "FFT:  PW=   0.000000\n"
     "Warning, possible error. Amax in first point.\n"
     "FFT:  Fmax1= 2000.00  Amax1=   1.000000  Fmax2=   40.00  Amax2=   5.000000\n"},
    // dFi is Fi2 - Fi1 as it is, not wrapped; PW = cos(-340 deg) / 100^2 * 0.5 = 0.0000470.
    {"phase difference not wrapped",
     [](Spectrum& sp) {
       sp.s.sumByRanges = 0;
       sp.s.printAllData = 1;
       sp.Set(1, 2, 1.0, 170.0);
       sp.Set(2, 2, 1.0, -170.0);
     },
     "     2: F=    80.0000 A1=   1.000000 A2=   1.000000 Fi1= 170.00000 Fi2=-170.00000 dFi=-340.00000\n"
     "\n"
     "FFTsize=200   Windows:No\n"
     "FFT:  CONST1=   0.000000   CONST2=   0.000000 \n"
     "FFT:  SUM1=   1.000000     SUM2=   1.000000 \n"
     "FFT:  PW=   0.000047\n"
     "FFT:  Fmax1=   80.00  Amax1=   1.000000  Fmax2=   80.00  Amax2=   1.000000\n"},
};

TEST(SpectrumReport, Layouts) {
  for (const LayoutCase& c : kLayoutCases) {
    SCOPED_TRACE(c.name);
    Spectrum sp = Small();
    c.prepare(sp);
    EXPECT_EQ(Report(sp), c.expected + kFileInfo);
  }
}

// N 2: halfSize 1, the pass examines no bin: no range lines even with sums and bin lines on,
// only bin 0 shows (1 / 2 * 100 = 50 percent).
TEST(SpectrumReport, HalfSizeOneWritesOnlyTheSummary) {
  Spectrum sp(2, 1, 0.01, 48000);
  sp.s.printAllData = 1;
  sp.Set(1, 0, 1.0);
  EXPECT_EQ(Report(sp),
            "\n"
            "FFTsize=2   Windows:No\n"
            "FFT:  CONST1=  50.000000   CONST2=   0.000000 \n"
            "FFT:  SUM1=   0.000000     SUM2=   0.000000 \n"
            "FFT:  PW=   0.000000\n"
            "FFT:  Fmax1=    0.00  Amax1=   0.000000  Fmax2=    0.00  Amax2=   0.000000\n" +
                kFileInfo);
}

TEST(SpectrumReport, WindowNames) {
  const struct {
    WindowKind window;
    const char* line;
  } cases[] = {
      {WindowKind::none, "\nFFTsize=65536   Windows:No\nFFT:  CONST1="},
      {WindowKind::hamming, "\nFFTsize=65536   Windows:Hamming\nFFT:  CONST1="},
      {WindowKind::hanning, "\nFFTsize=65536   Windows:Hanning\nFFT:  CONST1="},
      {WindowKind::triangular, "\nFFTsize=65536   Windows:Triangular\nFFT:  CONST1="},
      {WindowKind::welch, "\nFFTsize=65536   Windows:Welch\nFFT:  CONST1="},
      {WindowKind::unknown, "\nFFTsize=65536   Windows:Unknown (No windows function)\nFFT:  CONST1="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Spectrum sp(65536, 32768, 327.68, 44100);
    sp.s.sumByRanges = 0;
    sp.s.window = c.window;
    EXPECT_EQ(Report(sp).rfind(c.line, 0), 0u);
  }
}

// Bins 0 ... N/2-1 of the unnormalised DFT of x, as amplitudes followed by phases.
std::vector<double> DirectDft(const std::vector<double>& x) {
  const size_t n = x.size(), half = (n + 1) / 2;
  std::vector<double> out(2 * half);
  for (size_t k = 0; k < half; ++k) {
    std::complex<double> sum = 0;
    for (size_t t = 0; t < n; ++t) sum += x[t] * std::polar(1.0, -2 * kPi * double(k * t % n) / double(n));
    out[k] = std::abs(sum);
    out[half + k] = std::arg(sum);
  }
  return out;
}

// A tone of amplitude a exactly in bin k reads as 100 a percent at bin k's frequency, a DC
// offset as CONST in percent, the tone's phase as Fi, and a 45 degree lead of channel 2 as dFi = 45. N 64 at 6400 Hz
// is 100 Hz per bin; the other bins' leakage is rounding noise below the listing threshold.
// PW = cos(45 deg) * 8 * 8 / 32^2 * 0.5 = 0.0220971.
TEST(SpectrumReport, ToneInABinFromADirectTransform) {
  const int32_t n = 64, k = 5;
  std::vector<double> x1(n), x2(n);
  for (int32_t t = 0; t < n; ++t) {
    const double phase = 2 * kPi * k * t / n;
    x1[t] = 0.25 * std::cos(phase + kPi / 6) + 0.1;
    x2[t] = 0.25 * std::cos(phase + kPi / 6 + kPi / 4);
  }
  Spectrum sp(n, 32, 0.32, 6400);
  sp.s.sumByRanges = 0;
  sp.s.printAllData = 1;
  sp.ch1 = DirectDft(x1);
  sp.ch2 = DirectDft(x2);
  EXPECT_EQ(Report(sp),
            "     5: F=   500.0000 A1=  25.000000 A2=  25.000000 Fi1=  30.00000 Fi2=  75.00000 dFi=  45.00000\n"
            "\n"
            "FFTsize=64   Windows:No\n"
            "FFT:  CONST1=  10.000000   CONST2=   0.000000 \n"
            "FFT:  SUM1=  25.000000     SUM2=  25.000000 \n"
            "FFT:  PW=   0.022097\n"
            "FFT:  Fmax1=  500.00  Amax1=  25.000000  Fmax2=  500.00  Amax2=  25.000000\n" +
                kFileInfo);
}

// Runs a report in a forked child limited to limit bytes of file size (SIGXFSZ ignored, as
// the program does); returns the status as an exit code, or -1.
int WriteInLimitedChild(Spectrum& sp, long limit) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit r = {static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    if (setrlimit(RLIMIT_FSIZE, &r) != 0) _exit(100);
    _exit(static_cast<int>(WriteSpectrumReport(sp.s, sp.ch1.data(), sp.ch2.data(), kHeader)));
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A report that can't be created or written leaves nothing behind and an old report as it was.
TEST(SpectrumReport, FaultsLeaveNoPartialReport) {
  {
    SCOPED_TRACE("missing directory");
    TempDir dir;
    Spectrum sp = Small();
    sp.s.wavPath = dir.File("nosuch/rec.wav");
    EXPECT_EQ(WriteSpectrumReport(sp.s, sp.ch1.data(), sp.ch2.data(), kHeader),
              ReportStatus::cantCreate);
    EXPECT_EQ(ListDirectory(dir.path()), "");
  }
  {
    SCOPED_TRACE("directory at the report path");
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("rec.wav.txt").c_str(), 0755), 0);
    Spectrum sp = Small();
    sp.s.wavPath = dir.File("rec.wav");
    EXPECT_EQ(WriteSpectrumReport(sp.s, sp.ch1.data(), sp.ch2.data(), kHeader),
              ReportStatus::cantWrite);
    EXPECT_EQ(ListDirectory(dir.path()), "rec.wav.txt\n");
  }
  {
    SCOPED_TRACE("file-size limit during the bin lines");
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("rec.wav.txt"), "old report\n"));
    Spectrum sp(65536, 32768, 327.68, 48000);
    sp.s.printAllData = 1;
    for (int32_t i = 1; i < 32768; ++i) sp.Set(1, i, 1.0);
    sp.s.wavPath = dir.File("rec.wav");
    EXPECT_EQ(WriteInLimitedChild(sp, 10000), static_cast<int>(ReportStatus::cantWrite));
    std::string text;
    EXPECT_TRUE(ReadFile(dir.File("rec.wav.txt"), &text));
    EXPECT_EQ(text, "old report\n");
    EXPECT_EQ(ListDirectory(dir.path()), "rec.wav.txt\n");
  }
}

}  // namespace
