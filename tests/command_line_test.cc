// The command line of the whole program: usage text, diagnostics and exit statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/process.h"
#include "tests/temp_dir.h"

namespace {

const char kUsage[] =
    " Use:  WavFileName.ext   [options]\n\twhere options is:\n\t\t-N -FFT size (default=65536)\n"
    "\t\t-F|f -Print all data (F-on,f-off(default))\n\t\t-S|s -Print sum by ranges(S-on(default),"
    "s-off)\n\t\t-D -Number of ranges (default=8)\n\t\t-W -windows function, may be: hamming,"
    "hanning,triangular or welch\n\t\t    else - no windows function\n\t\t";

struct CommandCase {
  const char* name;
  std::vector<std::string> args;  // after the program name
  int status;
  std::string out;
  std::string err;  // "%0" stands for the program's name as invoked
};

std::string WithProgramName(std::string text, const std::string& program) {
  for (size_t at = text.find("%0"); at != std::string::npos; at = text.find("%0", at)) {
    text.replace(at, 2, program);
    at += program.size();
  }
  return text;
}

TEST(CommandLineTest, UsageErrorsAndDiagnostics) {
  TempDir dir;
  const std::string missing = "rec.wav";  // relative to the working directory: never exists
  const std::string cantOpen = "\nCan't open or unknown format: rec.wav\n";
  const CommandCase cases[] = {
      {"no arguments", {}, 1, kUsage, ""},
      {"illegal option", {missing, "-x"}, 1, kUsage, "%0: illegal option -- x\n"},
      {"trailing N without its argument", {missing, "-N"}, 1, kUsage, "%0: option requires an argument -- N\n"},
      {"stray argument", {missing, "extra"}, 1, kUsage, ""},
      {"stray argument after an option", {missing, "-N", "1024", "extra"}, 1, kUsage, ""},
      {"option after double dash is left over", {missing, "--", "-F"}, 1, kUsage, ""},
      {"double dash alone ends the options", {missing, "--"}, 1, cantOpen, ""},
      {"help prints usage and the run goes on", {missing, "-h"}, 1, std::string(kUsage) + cantOpen, ""},
      {"help as the path is a file name", {"-h"}, 1, "\nCan't open or unknown format: -h\n", ""},
      {"invalid FFT size", {missing, "-N", "0"}, 1, "\nInvalid FFT size: 0\n", ""},
      {"negative FFT size", {missing, "-N-5"}, 1, "\nInvalid FFT size: -5\n", ""},
      {"zero ranges", {missing, "-D", "0"}, 1, "\nInvalid number of ranges: 0\n", ""},
      {"more ranges than bins", {missing, "-N", "8", "-D", "5"}, 1, "\nInvalid number of ranges: 5\n", ""},
      {"more ranges than bins, negative", {missing, "-N", "8", "-D", "-5"}, 1, "\nInvalid number of ranges: -5\n", ""},
      {"zero ranges without range sums is harmless", {missing, "-s", "-D", "0"}, 1, cantOpen, ""},
      {"zero ranges with a single bin is harmless", {missing, "-N", "2", "-D", "0"}, 1, cantOpen, ""},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> argv = {WavspecBinary()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ProcessOptions options;
    options.workingDirectory = dir.path();
    const ProcessResult r = RunProcess(argv, options);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, WithProgramName(c.err, WavspecBinary()));
    EXPECT_EQ(ListDirectory(dir.path()), "");  // nothing is ever written on failure
  }
}

}  // namespace
