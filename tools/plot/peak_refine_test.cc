#include "tools/plot/peak_refine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tools/plot/report_fixture.h"
#include "tools/plot/report_parser.h"

namespace {

TEST(RefineParabola, FindsTheVertexOfTheParabolaThroughThreePoints) {
  struct Case {
    const char* name;
    double vertexOffset, vertexLevel, curvature;  // y = level - curvature × (x - offset)²
  };
  const Case cases[] = {
      {"centred", 0.0, -6.0, 3.0},
      {"right of centre", 0.3, 2.5, 0.7},
      {"left of centre", -0.45, -80.0, 12.0},
      {"half-way to the right neighbour", 0.5, 0.0, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto y = [&](double x) { return c.vertexLevel - c.curvature * (x - c.vertexOffset) * (x - c.vertexOffset); };
    const ParabolaVertex v = RefineParabola(y(-1), y(0), y(1));
    EXPECT_TRUE(v.refined);
    EXPECT_NEAR(v.offset, c.vertexOffset, 1e-12);
    EXPECT_NEAR(v.level, c.vertexLevel, 1e-12);
  }
}

TEST(RefineParabola, LeavesPointsThatMakeNoPeakAlone) {
  struct Case {
    const char* name;
    double left, centre, right;
  };
  const Case cases[] = {
      {"flat", -3, -3, -3},
      {"a valley", 0, -5, 0},
      {"silent neighbour", -INFINITY, -6, -20},
      {"not a number", -10, NAN, -12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ParabolaVertex v = RefineParabola(c.left, c.centre, c.right);
    EXPECT_FALSE(v.refined);
    EXPECT_EQ(v.offset, 0.0);
  }
}

// Tones placed between bins, transformed by a direct DFT and written as report lines: the
// refined peak lands near the true frequency, closer with the Hann window than without.
TEST(FindChannelPeak, RefinesTonesBetweenBins) {
  constexpr int kSize = 1024;
  constexpr double kRate = 48000;
  constexpr double kSpacing = kRate / kSize;
  for (const bool hann : {true, false}) {
    for (const double bin : {100.0, 100.1, 100.25, 100.4, 100.5, 100.75, 37.6, 300.33}) {
      SCOPED_TRACE((hann ? "Hann, bin " : "no window, bin ") + std::to_string(bin));
      ToneSignal signal;
      signal.fftSize = kSize;
      signal.sampleRate = kRate;
      signal.hann = hann;
      signal.channel1 = {{bin * kSpacing, 0.5, 0.3}};
      signal.channel2 = {{bin * kSpacing, 0.125, 1.1}, {150 * kSpacing, 0.25, 0}};
      Report report;
      std::string error;
      ASSERT_TRUE(ParseReport(ToneReport(signal), &report, &error)) << error;

      const ChannelPeak p1 = FindChannelPeak(report.bins, 1);
      ASSERT_TRUE(p1.found);
      // Without a window a tone on a bin centre leaves its neighbours below the listing
      // threshold, so only the bin itself is there to use.
      EXPECT_TRUE(p1.refined || (!hann && bin == std::floor(bin)));
      EXPECT_NEAR(p1.bin, bin, hann ? 0.05 : 0.2);
      EXPECT_NEAR(p1.frequency, bin * kSpacing, (hann ? 0.05 : 0.2) * kSpacing);
      // A Hann window halves a sine's peak: 0.5 full scale reads -12.04 dBFS once refined.
      // The parabola through decibels overshoots by up to about 0.33 dB half-way between bins.
      if (hann) {
        EXPECT_NEAR(p1.levelDb, 20 * std::log10(0.5 * 0.5), 0.35);
      }

      // Channel 2's largest tone is the one on bin 150, in the middle of its bin.
      const ChannelPeak p2 = FindChannelPeak(report.bins, 2);
      ASSERT_TRUE(p2.found);
      EXPECT_EQ(report.bins[p2.position].index, 150);
      EXPECT_NEAR(p2.bin, 150, 0.01);
    }
  }
}

TEST(FindChannelPeak, UsesTheBinAloneWithoutBothNeighbours) {
  struct Case {
    const char* name;
    std::vector<ReportBin> bins;
    bool found;
    int index;        // of the peak bin
    double bin;       // refined position
  };
  // index, frequency, a1, a2
  const auto b = [](int i, double a1, double a2) { return ReportBin{i, 10.0 * i, a1, a2, 0, 0, 0}; };
  const Case cases[] = {
      {"right neighbour not listed", {b(4, 1, 1), b(5, 10, 1), b(7, 1, 1)}, true, 5, 5.0},
      {"peak in the first listed bin", {b(5, 10, 1), b(6, 1, 1)}, true, 5, 5.0},
      {"a tie keeps the lower bin", {b(4, 1, 1), b(5, 10, 1), b(6, 10, 1), b(7, 1, 1)}, true,
       5, 5.5},
      {"silent channel", {b(1, 0, 1), b(2, 0, 1)}, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ChannelPeak p = FindChannelPeak(c.bins, 1);
    EXPECT_EQ(p.found, c.found);
    if (!c.found) continue;
    EXPECT_EQ(c.bins[p.position].index, c.index);
    EXPECT_DOUBLE_EQ(p.bin, c.bin);
    EXPECT_DOUBLE_EQ(p.frequency, 10.0 * c.bin);
  }
}

}  // namespace
