#include "tools/plot/report_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/temp_dir.h"
#include "tools/plot/report_fixture.h"

namespace {

const std::string kInfo = "WAV  2 channels  48000 Hz  16 bit\nsecond line of the header";

TEST(ReportParser, ReadsEveryPartOfAReport) {
  // Bin and range lines interleaved in bin order, the trailing range line after an empty line.
  const std::string text = BinLine(1, 11.7188, 0.5, 0.25, 170, -170, -340) +
                           BinLine(2, 23.4375, 100.125, 0.000001, -0.5, 12.25, 12.75) +
                           RangeLine(2, 23.4375, 1.5, 2.25, 3.75) +
                           BinLine(3, 35.1563, 0, 7, 0, 0, 0) + "\n" +
                           RangeLine(3, 35.1563, 0.125, 0, 0.125) +
                           SummaryBlock(8, "Hanning", -0.015625, true, kInfo);
  Report r;
  std::string error;
  ASSERT_TRUE(ParseReport(text, &r, &error)) << error;
  ASSERT_EQ(r.bins.size(), 3u);
  EXPECT_EQ(r.bins[0].index, 1);
  EXPECT_DOUBLE_EQ(r.bins[0].frequency, 11.7188);
  EXPECT_DOUBLE_EQ(r.bins[0].a1, 0.5);
  EXPECT_DOUBLE_EQ(r.bins[0].a2, 0.25);
  EXPECT_DOUBLE_EQ(r.bins[0].fi1, 170);
  EXPECT_DOUBLE_EQ(r.bins[0].fi2, -170);
  EXPECT_DOUBLE_EQ(r.bins[0].dfi, -340);
  EXPECT_DOUBLE_EQ(r.bins[1].a1, 100.125);
  EXPECT_DOUBLE_EQ(r.bins[1].a2, 0.000001);
  EXPECT_DOUBLE_EQ(r.bins[1].dfi, 12.75);
  EXPECT_EQ(r.bins[2].index, 3);
  ASSERT_EQ(r.ranges.size(), 2u);
  EXPECT_EQ(r.ranges[0].index, 2);
  EXPECT_DOUBLE_EQ(r.ranges[0].sum1, 1.5);
  EXPECT_DOUBLE_EQ(r.ranges[0].sum2, 2.25);
  EXPECT_DOUBLE_EQ(r.ranges[0].sum, 3.75);
  EXPECT_EQ(r.ranges[1].index, 3);
  EXPECT_EQ(r.fftSize, 8);
  EXPECT_EQ(r.window, "Hanning");
  EXPECT_DOUBLE_EQ(r.sum1, 12.5);
  EXPECT_DOUBLE_EQ(r.sum2, 6.25);
  EXPECT_DOUBLE_EQ(r.pw, -0.015625);
  EXPECT_TRUE(r.amaxInFirstPoint);
  EXPECT_DOUBLE_EQ(r.fmax1, 1000);
  EXPECT_DOUBLE_EQ(r.amax1, 50);
  EXPECT_DOUBLE_EQ(r.amax2, 25);
  EXPECT_EQ(r.fileInfo, kInfo);
}

// Bin lines whose values overflow their field widths, carry signs, or are not numbers at all
// still parse: printf prints them that way.
TEST(ReportParser, BinLineValuesAtTheirLimits) {
  struct Case {
    const char* name;
    std::string line;
    int index;
    double frequency, a1, dfi;
  };
  const Case cases[] = {
      {"plain", BinLine(5, 58.5938, 1.25, 2, 3, 4, 1), 5, 58.5938, 1.25, 1},
      {"wider than the fields", BinLine(1234567, 12345678.1234, 98765.4321, 1, 0, 0, -1234.5),
       1234567, 12345678.1234, 98765.4321, -1234.5},
      {"not a number", BinLine(7, 82.0313, NAN, 1, 0, 0, NAN), 7, 82.0313, NAN, NAN},
      {"infinite", BinLine(8, 93.75, INFINITY, 1, 0, 0, -INFINITY), 8, 93.75, INFINITY,
       -INFINITY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Report r;
    std::string error;
    ASSERT_TRUE(ParseReport(c.line + SummaryBlock(1 << 22, "No", 0, false, ""), &r, &error))
        << error << "\n" << c.line;
    ASSERT_EQ(r.bins.size(), 1u);
    EXPECT_EQ(r.bins[0].index, c.index);
    EXPECT_DOUBLE_EQ(r.bins[0].frequency, c.frequency);
    if (std::isnan(c.a1)) {
      EXPECT_TRUE(std::isnan(r.bins[0].a1));
      EXPECT_TRUE(std::isnan(r.bins[0].dfi));
    } else {
      EXPECT_EQ(r.bins[0].a1, c.a1);
      EXPECT_EQ(r.bins[0].dfi, c.dfi);
    }
    EXPECT_EQ(r.window, "No");
    EXPECT_EQ(r.fileInfo, "");
  }
}

TEST(ReportParser, AcceptsCarriageReturnLineEnds) {
  std::string text = BinLine(1, 10, 1, 1, 0, 0, 0) + SummaryBlock(16, "Welch", 0, false, "info");
  std::string crlf;
  for (char ch : text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  Report r;
  std::string error;
  ASSERT_TRUE(ParseReport(crlf, &r, &error)) << error;
  EXPECT_EQ(r.window, "Welch");
  EXPECT_EQ(r.bins.size(), 1u);
}

TEST(ReportParser, RejectsMalformedReportsNamingTheLine) {
  const std::string summary = SummaryBlock(4096, "Hanning", 0, false, "info");
  const std::string bin1 = BinLine(1, 11.7188, 1, 1, 0, 0, 0);
  const std::string bin5 = BinLine(5, 58.5938, 1, 1, 0, 0, 0);
  const std::string fullBin = BinLine(3, 35.1563, 1, 1, 0, 0, 0);
  const std::string noDfi = fullBin.substr(0, fullBin.find(" dFi=")) + "\n";
  const std::string range = RangeLine(512, 6000, 1, 1, 2);
  const std::string noSum = range.substr(0, range.find("  sum=")) + "\n";
  // The summary with its line "FFT:  SUM1=..." (third of the block) damaged.
  std::string badSum = summary;
  badSum.replace(badSum.find("SUM1="), 5, "SUM1:");
  struct Case {
    const char* name;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"empty text", "", "line 1: the report ends before its summary"},
      {"foreign text", bin1 + "hello\n" + summary,
       "line 2: not a bin line, a range line or the summary"},
      {"bin line cut short", bin1 + "\n" + noDfi + summary, "line 3: malformed bin line"},
      {"bin line with junk", bin1 + fullBin.substr(0, fullBin.size() - 1) + " x\n" + summary,
       "line 2: malformed bin line"},
      {"range line cut short", bin1 + noSum + summary, "line 2: malformed range line"},
      {"bins out of order", bin5 + bin1 + summary, "line 2: bin 1 does not follow bin 5"},
      {"bin repeated", bin5 + bin5 + summary, "line 2: bin 5 does not follow bin 5"},
      {"bin zero", BinLine(0, 0, 1, 1, 0, 0, 0) + summary, "line 1: bin index out of range"},
      {"no summary", bin1 + bin5, "line 3: the report ends before its summary"},
      {"damaged summary line", bin1 + badSum, "line 5: malformed SUM line"},
      {"summary cut short", bin1 + summary.substr(0, summary.find("FFT:  PW")),
       "line 6: the report ends before its PW line"},
      {"no FILE INFO", bin1 + summary.substr(0, summary.find("FILE INFO")) + "INFO\n",
       "line 10: expected the FILE INFO section"},
      {"bin beyond the FFT size", bin1 + BinLine(2048, 24000, 1, 1, 0, 0, 0) + summary,
       "line 2: bin 2048 is beyond FFT size 4096"},
      {"range lines only", range + "\n" + RangeLine(2047, 23988, 1, 1, 2) + summary,
       "no per-bin lines: run wavspec with -F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Report r;
    std::string error;
    EXPECT_FALSE(ParseReport(c.text, &r, &error));
    EXPECT_EQ(error, c.message);
  }
}

TEST(ReportParser, ReadReportNamesFileFailures) {
  TempDir dir;
  Report r;
  std::string error;
  EXPECT_FALSE(ReadReport(dir.File("absent.wav.txt"), &r, &error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_FALSE(ReadReport(dir.path(), &r, &error));
  EXPECT_EQ(error, "cannot read: Is a directory");

  const std::string text = BinLine(1, 10, 1, 2, 0, 0, 0) + SummaryBlock(4, "No", 0, false, "x");
  ASSERT_TRUE(WriteFile(dir.File("r.wav.txt"), text));
  ASSERT_TRUE(ReadReport(dir.File("r.wav.txt"), &r, &error)) << error;
  EXPECT_DOUBLE_EQ(r.bins[0].a2, 2);
}

}  // namespace
