#include "cli/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "cli/option_scanner.h"
#include "cli/settings.h"
#include "cli/usage.h"

namespace {

const char kUsage[] =
    " Use:  WavFileName.ext   [options]\n\twhere options is:\n\t\t-N -FFT size (default=65536)\n"
    "\t\t-F|f -Print all data (F-on,f-off(default))\n\t\t-S|s -Print sum by ranges(S-on(default),"
    "s-off)\n\t\t-D -Number of ranges (default=8)\n\t\t-W -windows function, may be: hamming,"
    "hanning,triangular or welch\n\t\t    else - no windows function\n\t\t";

// Resets the program-wide state, then scans and applies options as the run does (the path is
// argument 1, options start at 2).
void ApplyArguments(std::vector<std::string> args) {
  settings = AnalysisSettings{};
  scanIndex = 2;
  scanArgument = nullptr;
  scanLetter = 0;
  scanPosition = "";
  args.insert(args.begin(), {"wavspec", "rec.wav"});
  std::vector<char*> argv;
  for (std::string& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);
  char buffer[128];
  for (;;) {
    const int32_t letter = NextOption(static_cast<int32_t>(args.size()), argv.data(), buffer, 128);
    if (letter == -1) break;
    ApplyOption(letter, buffer);
  }
}

TEST(SettingsTest, Defaults) {
  const AnalysisSettings s;
  EXPECT_EQ(s.fftSize, 65536);
  EXPECT_EQ(s.rangeCount, 8);
  EXPECT_EQ(s.sumByRanges, 1);
  EXPECT_EQ(s.printAllData, 0);
  EXPECT_EQ(s.window, WindowKind::none);
  EXPECT_EQ(s.halfSize, 32768);
  EXPECT_EQ(s.amplitudeScale, 32768 * 0.01);
  EXPECT_EQ(s.sampleRate, 0);
  EXPECT_EQ(s.wavPath, "");
  // The defaults agree with what the derivation gives.
  AnalysisSettings derived;
  UpdateDerivedSizes(derived);
  EXPECT_EQ(derived.halfSize, s.halfSize);
  EXPECT_EQ(derived.amplitudeScale, s.amplitudeScale);
}

TEST(SettingsTest, FftSizeOption) {
  struct Case {
    const char* argument;
    int32_t fftSize;
    int32_t halfSize;
  };
  const Case cases[] = {
      {"4096", 4096, 2048},     {"4095", 4095, 2048},       {"1", 1, 1},
      {"2", 2, 1},              {"abc", 0, 0},              {"12x", 12, 6},
      {"-5", -5, -2},           {"  +64", 64, 32},          {"\t\n-0", 0, 0},
      {"- 5", 0, 0},            {"+-5", 0, 0},              {"2147483647", INT_MAX, 1073741824},
      {"2147483648", INT_MAX, 1073741824},                  {"99999999999999999999", INT_MAX, 1073741824},
      {"-2147483648", INT_MIN, -1073741823},                {"-99999999999999999999", INT_MIN, -1073741823},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    ApplyArguments({"-N", c.argument});
    EXPECT_EQ(settings.fftSize, c.fftSize);
    EXPECT_EQ(settings.halfSize, c.halfSize);
    EXPECT_EQ(settings.amplitudeScale, static_cast<double>(c.halfSize) * 0.01);
  }
}

TEST(SettingsTest, LastOptionWins) {
  ApplyArguments({"-N", "1024", "-n4096", "-d", "3", "-D16"});
  EXPECT_EQ(settings.fftSize, 4096);
  EXPECT_EQ(settings.halfSize, 2048);
  EXPECT_EQ(settings.amplitudeScale, 20.48);
  EXPECT_EQ(settings.rangeCount, 16);
}

TEST(SettingsTest, WindowNames) {
  struct Case {
    std::vector<std::string> args;
    WindowKind window;
  };
  const Case cases[] = {
      {{"-W", "hamming"}, WindowKind::hamming},
      {{"-W", "HANNING"}, WindowKind::hanning},
      {{"-wTriangular"}, WindowKind::triangular},
      {{"-W", "WeLcH"}, WindowKind::welch},
      {{"-W", "blackman"}, WindowKind::unknown},
      {{"-W", ""}, WindowKind::unknown},
      {{"-W", "hann"}, WindowKind::unknown},
      {{"-W", "hammingx"}, WindowKind::unknown},
      {{"-W", "blackman", "-W", "welch"}, WindowKind::welch},
      {{"-W", "welch", "-W", "none"}, WindowKind::unknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    ApplyArguments(c.args);
    EXPECT_EQ(settings.window, c.window);
  }
}

TEST(SettingsTest, Flags) {
  struct Case {
    std::vector<std::string> args;
    int32_t printAllData;
    int32_t sumByRanges;
  };
  const Case cases[] = {
      {{}, 0, 1},
      {{"-F"}, 1, 1},
      {{"-F", "-f"}, 0, 1},
      {{"-Fs"}, 1, 0},
      {{"-s", "-S"}, 0, 1},
      {{"-sF", "--", }, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    ApplyArguments(c.args);
    EXPECT_EQ(settings.printAllData, c.printAllData);
    EXPECT_EQ(settings.sumByRanges, c.sumByRanges);
  }
}

TEST(NextOptionTest, LongArgumentIsCutToTheBuffer) {
  const std::string longName(200, 'q');
  std::string prog = "wavspec", path = "rec.wav", flag = "-W", value = longName;
  char* argv[] = {prog.data(), path.data(), flag.data(), value.data(), nullptr};
  scanIndex = 2;
  scanPosition = "";
  char buffer[128];
  EXPECT_EQ(NextOption(4, argv, buffer, 128), 'W');
  EXPECT_EQ(std::string(buffer), longName.substr(0, 127));
  // An option without an argument always sees the empty text.
  std::string f = "-F";
  char* argv2[] = {prog.data(), path.data(), f.data(), nullptr};
  scanIndex = 2;
  scanPosition = "";
  EXPECT_EQ(NextOption(3, argv2, buffer, 128), 'F');
  EXPECT_STREQ(buffer, "");
}

TEST(NextOptionTest, LeftoverArgumentsEndWithUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {"extra"}, {"-N", "1024", "extra"}, {"--", "-F"}, {"-F-"}, {"-", "-F"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EXIT(ApplyArguments(args), testing::ExitedWithCode(1), "");
  }
}

TEST(ApplyOptionTest, BadLettersEndWithUsage) {
  EXPECT_EXIT(ApplyArguments({"-x"}), testing::ExitedWithCode(1), "illegal option -- x");
  EXPECT_EXIT(ApplyArguments({"-N"}), testing::ExitedWithCode(1), "option requires an argument -- N");
  EXPECT_EXIT(ApplyOption('?', ""), testing::ExitedWithCode(1), "");
}

TEST(UsageTest, TextIsExactAndHelpGoesOn) {
  testing::internal::CaptureStdout();
  PrintUsage(false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kUsage);

  testing::internal::CaptureStdout();
  ApplyArguments({"-h", "-F"});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kUsage);
  EXPECT_EQ(settings.printAllData, 1);
}

}  // namespace
