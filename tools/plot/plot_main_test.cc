// Whole-program tests of wavspec-plot: arguments, output names, errors and what is left on disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/process.h"
#include "tests/temp_dir.h"
#include "tools/plot/report_fixture.h"

namespace {

const std::string kPlot = WAVSPEC_PLOT_BINARY;

std::string GoodReport() {
  ToneSignal signal;
  signal.fftSize = 512;
  signal.channel1 = {{1000, 0.5, 0}};
  signal.channel2 = {{1000, 0.25, 1}};
  return ToneReport(signal);
}

TEST(PlotProgram, UsageText) {
  const ProcessResult help = RunProcess({kPlot, "-h"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: wavspec-plot [-s WIDTHxHEIGHT] REPORT [OUTPUT]\n", 0), 0u);
  EXPECT_EQ(help.err, "");
  const ProcessResult none = RunProcess({kPlot});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, help.out);
}

TEST(PlotProgram, NamesThePictureAfterTheReportOrTheGivenOutput) {
  struct Case {
    const char* name;
    std::vector<std::string> args;  // after the program; "D/" is the temporary directory
    std::string listing;            // the directory afterwards
    std::string picture;            // the file to check
    std::string magic;              // its first bytes
  };
  const Case cases[] = {
      {"default PNG", {"D/rec.wav.txt"}, "rec.wav.png\nrec.wav.txt\n", "rec.wav.png", "\x89PNG"},
      {"SVG", {"D/rec.wav.txt", "D/out.svg"}, "out.svg\nrec.wav.txt\n", "out.svg", "<?xml"},
      {"PDF, upper case", {"-s", "400x300", "D/rec.wav.txt", "D/out.PDF"},
       "out.PDF\nrec.wav.txt\n", "out.PDF", "%PDF-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("rec.wav.txt"), GoodReport()));
    std::vector<std::string> argv = {kPlot};
    for (const std::string& a : c.args) {
      argv.push_back(a.rfind("D/", 0) == 0 ? dir.File(a.substr(2)) : a);
    }
    const ProcessResult r = RunProcess(argv);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ListDirectory(dir.path()), c.listing);
    std::string picture;
    ASSERT_TRUE(ReadFile(dir.File(c.picture), &picture));
    EXPECT_EQ(picture.substr(0, c.magic.size()), c.magic);
  }
}

TEST(PlotProgram, ErrorsExplainAndLeaveNoPicture) {
  const std::string good = GoodReport();
  const std::string noBins = RangeLine(32, 3000, 1, 1, 2) + SummaryBlock(512, "No", 0, false, "x");
  std::string badThird = good;
  const size_t third = badThird.find('\n', badThird.find('\n') + 1) + 1;
  badThird.insert(third, "garbage\n");
  struct Case {
    const char* name;
    std::string report;  // empty: no report file
    std::vector<std::string> args;
    std::string message;  // the whole standard error; "D/" is the temporary directory
    std::string listing;
    long fileSizeLimit;
  };
  const Case cases[] = {
      {"missing report", "", {"D/rec.wav.txt"},
       "wavspec-plot: D/rec.wav.txt: No such file or directory\n", "", -1},
      {"no per-bin lines", noBins, {"D/rec.wav.txt"},
       "wavspec-plot: D/rec.wav.txt: no per-bin lines: run wavspec with -F\n", "rec.wav.txt\n",
       -1},
      {"a line that does not parse", badThird, {"D/rec.wav.txt"},
       "wavspec-plot: D/rec.wav.txt: line 3: not a bin line, a range line or the summary\n",
       "rec.wav.txt\n", -1},
      {"output directory missing", good, {"D/rec.wav.txt", "D/none/p.png"},
       "wavspec-plot: D/none/p.png: No such file or directory\n", "rec.wav.txt\n", -1},
      {"picture larger than the file size limit", good, {"D/rec.wav.txt", "D/p.svg"},
       "wavspec-plot: D/p.svg: File too large\n", "rec.wav.txt\n", 4096},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (!c.report.empty()) {
      ASSERT_TRUE(WriteFile(dir.File("rec.wav.txt"), c.report));
    }
    std::vector<std::string> argv = {kPlot};
    for (const std::string& a : c.args) argv.push_back(dir.File(a.substr(2)));
    ProcessOptions options;
    options.fileSizeLimit = c.fileSizeLimit;
    const ProcessResult r = RunProcess(argv, options);
    std::string message = c.message;
    for (size_t at = message.find("D/"); at != std::string::npos; at = message.find("D/", at)) {
      message.replace(at, 2, dir.path() + "/");
      at += dir.path().size();
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.err, message);
    EXPECT_EQ(ListDirectory(dir.path()), c.listing);
  }
}

TEST(PlotProgram, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string firstLine;
  };
  const Case cases[] = {
      {{"r.wav.txt", "r.jpg"}, "wavspec-plot: the picture's name must end in .png, .svg or .pdf: r.jpg"},
      {{"-s", "10x10", "r.wav.txt"}, "wavspec-plot: bad size (WIDTHxHEIGHT, each 200 to 10000): 10x10"},
      {{"-s"}, "wavspec-plot: option -s needs a size"},
      {{"-x", "r.wav.txt"}, "wavspec-plot: unknown option -x"},
      {{"a", "b.png", "c"}, "wavspec-plot: too many arguments"},
      {{"p.png", "p.png"}, "wavspec-plot: the picture would replace the report: p.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firstLine);
    std::vector<std::string> argv = {kPlot};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    TempDir dir;
    ProcessOptions options;
    options.workingDirectory = dir.path();
    const ProcessResult r = RunProcess(argv, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.firstLine);
    EXPECT_NE(r.err.find("usage: wavspec-plot"), std::string::npos);
    EXPECT_EQ(ListDirectory(dir.path()), "");
  }
}

}  // namespace
