// Finds a channel's largest bin in a report and places the peak between bins by a parabola
// through the decibel levels of that bin and its two neighbours.
#pragma once

#include <cstddef>
#include <span>

#include "tools/plot/report_parser.h"

// Level of a report amplitude in decibels of full scale (100 is full scale); -inf for 0.
double AmplitudeToDbfs(double amplitude);

// Vertex of the parabola through (-1, left), (0, centre), (1, right).
struct ParabolaVertex {
  double offset = 0;  // in bins from the centre, within [-0.5, 0.5]
  double level = 0;
  bool refined = false;  // false when the three points do not make a peak: offset 0, centre
};
ParabolaVertex RefineParabola(double left, double centre, double right);

// A channel's peak: its largest listed bin (the lowest on ties) and the refined position.
struct ChannelPeak {
  bool found = false;      // false when the channel has no listed bin above zero
  size_t position = 0;     // index of the peak bin in the bins given
  double bin = 0;          // refined position in bins
  double frequency = 0;    // refined frequency in Hz
  double levelDb = 0;      // refined level in dBFS
  bool refined = false;    // both neighbours were listed and made a peak
};
// channel is 1 or 2. The bin spacing comes from the peak bin's own frequency and index.
ChannelPeak FindChannelPeak(std::span<const ReportBin> bins, int channel);
