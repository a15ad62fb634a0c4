// The analysis run end to end: console texts, statuses and the report of a known signal.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/wav_file.h"
#include "tests/audio_fixtures.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

namespace {

const char kPlainWarning[] = "\nWarning, not a plain WAV.\n Possible incorrect results\n";

// The header description the signal layer gives for a file, as the run prints it.
std::string HeaderText(const std::string& path) {
  WavFormatInfo info{};
  WavHandle h = WavOpen(path.c_str(), &info);
  if (h == nullptr) return "<unopenable>";
  char text[1024] = {};
  WavGetHeaderInfo(h, text, sizeof text);
  WavClose(h);
  return text;
}

ProcessResult RunWavspec(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {WavspecBinary()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv);
}

std::vector<double> Stereo16(int frames) {
  return Interleave(BinTone(frames, 64, 3, 0.5), BinTone(frames, 64, 5, 0.25));
}

TEST(AnalysisRunTest, MissingFileLeavesNoReport) {
  TempDir dir;
  const ProcessResult r = RunWavspec({dir.File("nosuch.wav")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "\nCan't open or unknown format: " + dir.File("nosuch.wav") + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ListDirectory(dir.path()), "");
}

TEST(AnalysisRunTest, ShortFilePrintsHeaderThenTheCount) {
  TempDir dir;
  const std::string wav = dir.File("short.wav");
  ASSERT_TRUE(WriteSoundFile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, Stereo16(1000)));
  struct Case {
    std::vector<std::string> options;
    const char* count;
  };
  const Case cases[] = {{{}, "65536"}, {{"-N", "1001"}, "1001"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    std::vector<std::string> args = {wav};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProcessResult r = RunWavspec(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, HeaderText(wav) + "\n" + "\nCan't read " + c.count + " samles\n");
    EXPECT_EQ(ListDirectory(dir.path()), "short.wav\n");
  }
  // Exactly as many frames as asked for is enough.
  const ProcessResult r = RunWavspec({wav, "-N", "1000"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(PathExists(wav + ".txt"));
}

TEST(AnalysisRunTest, NotPlainWavIsWarnedAndAnalysed) {
  TempDir dir;
  struct Case {
    const char* name;
    int format;
    int channels;
    bool plain;
  };
  const Case cases[] = {
      {"stereo16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, true},
      {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, true},
      {"mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, false},
      {"alaw.wav", SF_FORMAT_WAV | SF_FORMAT_ALAW, 2, false},
      {"three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, false},
      {"stereo.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string wav = dir.File(c.name);
    std::vector<double> samples(static_cast<size_t>(256 * c.channels));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.25 * std::sin(0.1 * static_cast<double>(i));
    ASSERT_TRUE(WriteSoundFile(wav, c.format, c.channels, 8000, samples));
    const std::string header = HeaderText(wav) + (c.plain ? "" : kPlainWarning);
    const ProcessResult r = RunWavspec({wav, "-N", "256"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, header + "\n");
    std::string report;
    ASSERT_TRUE(ReadFile(wav + ".txt", &report));
    const std::string tail = "\n\nFILE INFO:\n" + header + "\n";
    ASSERT_GE(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
  }
}

// A double-precision file holds the samples exactly, so every figure of the report follows
// from the signal: tones exactly in bin 64 of a 4096-point transform, 30 and 75 degrees, and a
// DC offset on channel 1.
TEST(AnalysisRunTest, ReportOfAKnownSignal) {
  TempDir dir;
  const std::string wav = dir.File("tones.wav");
  constexpr double kDegree = std::numbers::pi / 180;
  ASSERT_TRUE(WriteSoundFile(wav, SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2, 48000,
                             Interleave(BinTone(4096, 4096, 64, 0.5, 30 * kDegree, 0.1),
                                        BinTone(4096, 4096, 64, 0.25, 75 * kDegree))));
  const ProcessResult r = RunWavspec({wav, "-N", "4096", "-F", "-s"});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string header = HeaderText(wav);
  EXPECT_EQ(r.out, header + "\n");
  // PW = cos(45 deg) * (1024 * 512) / 2048^2 * 0.5
  char pw[64];
  std::snprintf(pw, sizeof pw, "%11.6f", std::cos(45 * kDegree) * 1024 * 512 / (2048.0 * 2048.0) * 0.5);
  const std::string expected =
      "    64: F=   750.0000 A1=  50.000000 A2=  25.000000 Fi1=  30.00000 Fi2=  75.00000 dFi=  45.00000\n"
      "\n"
      "FFTsize=4096   Windows:No\n"
      "FFT:  CONST1=  10.000000   CONST2=   0.000000 \n"
      "FFT:  SUM1=  50.000000     SUM2=  25.000000 \n"
      "FFT:  PW=" + std::string(pw) + "\n"
      "FFT:  Fmax1=  750.00  Amax1=  50.000000  Fmax2=  750.00  Amax2=  25.000000\n"
      "\n\nFILE INFO:\n" + header + "\n";
  std::string report;
  ASSERT_TRUE(ReadFile(wav + ".txt", &report));
  EXPECT_EQ(report, expected);
}

TEST(AnalysisRunTest, OddSizesWindowsAndRanges) {
  TempDir dir;
  const std::string wav = dir.File("rec.wav");
  ASSERT_TRUE(WriteSoundFile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, Stereo16(8192)));
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> lineStarts;  // lines the report must hold, in order
  };
  const Case cases[] = {
      // halfSize 2048, step 256: ranges close at 256 ... 1792, then the trailing line for 2047.
      {{"-N", "4095"}, {"  256: F=", "  512: F=", " 1792: F=", "", " 2047: F=", "", "FFTsize=4095   Windows:No"}},
      {{"-N", "4095", "-W", "blackman"}, {"FFTsize=4095   Windows:Unknown (No windows function)"}},
      {{"-N", "64", "-W", "HAMMING", "-D", "-4"}, {"    8: F=", "   16: F=", "   24: F=", "", "   31: F=", "", "FFTsize=64   Windows:Hamming"}},
      {{"-N", "3", "-D", "2", "-w", "welch"}, {"    1: F=", "", "FFTsize=3   Windows:Welch"}},
      {{"-N", "1", "-W", "triangular"}, {"", "FFTsize=1   Windows:Triangular"}},
      {{"-N", "7", "-W", "hanning", "-D", "100", "-s"}, {"", "FFTsize=7   Windows:Hanning"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> args = {wav};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProcessResult r = RunWavspec(args);
    ASSERT_EQ(r.status, 0) << r.out;
    std::string report;
    ASSERT_TRUE(ReadFile(wav + ".txt", &report));
    // The expected lines must appear, in this order, as prefixes of the report's lines.
    std::vector<std::string> lines;
    for (size_t begin = 0, end; begin < report.size(); begin = end + 1) {
      end = report.find('\n', begin);
      if (end == std::string::npos) end = report.size();
      lines.push_back(report.substr(begin, end - begin));
    }
    size_t next = 0;
    for (const std::string& start : c.lineStarts) {
      while (next < lines.size() &&
             !(start.empty() ? lines[next].empty() : lines[next].starts_with(start))) {
        ++next;
      }
      ASSERT_LT(next, lines.size()) << "missing line: " << start << "\n" << report;
      ++next;
    }
  }
}

TEST(AnalysisRunTest, NonFiniteSamplesAreRefused) {
  TempDir dir;
  const double values[] = {NAN, INFINITY, -INFINITY};
  for (double bad : values) {
    SCOPED_TRACE(bad);
    const std::string wav = dir.File("bad.wav");
    std::vector<double> samples = Stereo16(512);
    samples[301] = bad;
    ASSERT_TRUE(WriteSoundFile(wav, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 8000, samples));
    const ProcessResult r = RunWavspec({wav, "-N", "512"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, HeaderText(wav) + "\n" + "\nNon-finite sample values in: " + wav + "\n");
    EXPECT_EQ(ListDirectory(dir.path()), "bad.wav\n");
  }
}

}  // namespace
