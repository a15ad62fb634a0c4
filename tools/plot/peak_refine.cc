#include "tools/plot/peak_refine.h"

#include <algorithm>
#include <cmath>

double AmplitudeToDbfs(double amplitude) { return 20.0 * std::log10(amplitude / 100.0); }

ParabolaVertex RefineParabola(double left, double centre, double right) {
  ParabolaVertex vertex;
  vertex.level = centre;
  const double curvature = left - 2.0 * centre + right;
  // Only a downward parabola through finite levels has a maximum to move to.
  if (!std::isfinite(left) || !std::isfinite(centre) || !std::isfinite(right) ||
      !(curvature < 0.0)) {
    return vertex;
  }
  vertex.offset = std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5);
  vertex.level = centre - 0.25 * (left - right) * vertex.offset;
  vertex.refined = true;
  return vertex;
}

ChannelPeak FindChannelPeak(std::span<const ReportBin> bins, int channel) {
  const auto amplitude = [channel](const ReportBin& b) { return channel == 1 ? b.a1 : b.a2; };
  ChannelPeak peak;
  double best = 0.0;
  for (size_t k = 0; k < bins.size(); ++k) {
    if (amplitude(bins[k]) > best) {  // strictly greater: ties keep the lower bin; NaN never wins
      best = amplitude(bins[k]);
      peak.position = k;
      peak.found = true;
    }
  }
  if (!peak.found) return peak;
  const ReportBin& centre = bins[peak.position];
  peak.bin = centre.index;
  peak.frequency = centre.frequency;
  peak.levelDb = AmplitudeToDbfs(best);
  const size_t k = peak.position;
  if (k == 0 || k + 1 >= bins.size() || bins[k - 1].index != centre.index - 1 ||
      bins[k + 1].index != centre.index + 1) {
    return peak;
  }
  const ParabolaVertex vertex =
      RefineParabola(AmplitudeToDbfs(amplitude(bins[k - 1])), peak.levelDb,
                     AmplitudeToDbfs(amplitude(bins[k + 1])));
  if (!vertex.refined) return peak;
  const double spacing = centre.frequency / centre.index;
  peak.bin = centre.index + vertex.offset;
  peak.frequency = peak.bin * spacing;
  peak.levelDb = vertex.level;
  peak.refined = true;
  return peak;
}
