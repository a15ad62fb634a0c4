#include "tools/plot/plot_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <memory>
#include <numbers>

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include "tools/plot/atomic_output.h"
#include "tools/plot/peak_refine.h"

namespace {

struct Colour {
  double r, g, b;
};
// Values that print exactly in SVG percentages.
constexpr Colour kChannel1 = {0.0, 0.4, 0.8};
constexpr Colour kChannel2 = {0.8, 0.2, 0.0};
constexpr Colour kPhase = {0.2, 0.2, 0.2};
constexpr Colour kText = {0.0, 0.0, 0.0};
constexpr Colour kGrid = {0.85, 0.85, 0.85};
constexpr Colour kFrame = {0.3, 0.3, 0.3};
constexpr double kFontSize = 11.0;
constexpr double kTitleFontSize = 14.0;
// Bins where either channel is more than this far below its peak carry no useful phase.
constexpr double kPhaseFloorDb = 60.0;

void SetColour(cairo_t* cr, Colour c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

enum class Anchor { left, centre, right };

// Draws text with its baseline at y, placed on x by anchor, and records it in the layout.
void DrawText(cairo_t* cr, const std::string& text, double x, double y, Anchor anchor,
              PlotLayout* layout) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  if (anchor == Anchor::centre) x -= extents.x_advance / 2;
  if (anchor == Anchor::right) x -= extents.x_advance;
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text.c_str());
  layout->labels.push_back({text, x, y});
}

// A number with a typographic minus sign.
std::string FormatSigned(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, std::fabs(value));
  // A value that rounds to zero gets no sign.
  const bool negative = value < 0 && std::string(buffer).find_first_not_of("0.") != std::string::npos;
  return (negative ? "\u2212" : "") + std::string(buffer);
}

// Logarithmic frequency axis mapped onto [left, left + width].
struct LogAxis {
  double low = 1, high = 10, left = 0, width = 1;
  double Map(double value) const {
    return left + (std::log10(value) - std::log10(low)) / (std::log10(high) - std::log10(low)) *
                      width;
  }
};

// Linear value axis mapped onto a panel's height, top value at the top.
struct LinearAxis {
  double bottomValue = 0, topValue = 1, top = 0, height = 1;
  double Map(double value) const {
    return top + (topValue - value) / (topValue - bottomValue) * height;
  }
};

std::string FrequencyTickLabel(double f) {
  char buffer[32];
  if (f >= 1000) {
    std::snprintf(buffer, sizeof buffer, "%gk", f / 1000);
  } else {
    std::snprintf(buffer, sizeof buffer, "%g", f);
  }
  return buffer;
}

// Vertical grid lines at 1..9 × 10^k, labelled at the decades (and at 2 and 5 when the axis
// spans less than two decades) under the panel when withLabels.
void DrawFrequencyGrid(cairo_t* cr, const LogAxis& x, const PlotRect& panel, bool withLabels,
                       PlotLayout* layout) {
  const bool dense = std::log10(x.high / x.low) < 2.0;
  const int firstDecade = static_cast<int>(std::floor(std::log10(x.low)));
  const int lastDecade = static_cast<int>(std::ceil(std::log10(x.high)));
  for (int decade = firstDecade; decade <= lastDecade; ++decade) {
    for (int m = 1; m <= 9; ++m) {
      const double f = m * std::pow(10.0, decade);
      if (f < x.low * (1 - 1e-9) || f > x.high * (1 + 1e-9)) continue;
      const double px = x.Map(f);
      const bool labelled = m == 1 || (dense && (m == 2 || m == 5));
      SetColour(cr, kGrid);
      cairo_set_line_width(cr, labelled ? 1.0 : 0.5);
      cairo_move_to(cr, px, panel.y);
      cairo_line_to(cr, px, panel.y + panel.height);
      cairo_stroke(cr);
      if (withLabels && labelled) {
        SetColour(cr, kText);
        DrawText(cr, FrequencyTickLabel(f), px, panel.y + panel.height + kFontSize + 3,
                 Anchor::centre, layout);
      }
    }
  }
}

// Horizontal grid lines and labels at multiples of step.
void DrawValueGrid(cairo_t* cr, const LinearAxis& y, const PlotRect& panel, double step,
                   PlotLayout* layout) {
  for (double v = std::ceil(y.bottomValue / step) * step; v <= y.topValue + 1e-9; v += step) {
    const double py = y.Map(v);
    SetColour(cr, kGrid);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, panel.x, py);
    cairo_line_to(cr, panel.x + panel.width, py);
    cairo_stroke(cr);
    SetColour(cr, kText);
    DrawText(cr, FormatSigned("%.0f", v), panel.x - 5, py + kFontSize / 2 - 1, Anchor::right,
             layout);
  }
}

void DrawFrame(cairo_t* cr, const PlotRect& panel) {
  SetColour(cr, kFrame);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, panel.x, panel.y, panel.width, panel.height);
  cairo_stroke(cr);
}

// Builds a polyline with at most four points per pixel column: the first, lowest, highest and
// last value that falls in it. Runs of missing bins wider than a column break the line.
class ColumnTrace {
 public:
  explicit ColumnTrace(cairo_t* cr) : cr_(cr) {}
  void Add(double x, double y, bool continuous) {
    const long column = static_cast<long>(std::floor(x));
    if (active_ && column == column_) {
      if (y < min_) {
        min_ = y;
        minOrder_ = ++order_;
      }
      if (y > max_) {
        max_ = y;
        maxOrder_ = ++order_;
      }
      last_ = y;
      lastX_ = x;
      return;
    }
    const bool joins = active_ && (continuous || column <= column_ + 1);
    Flush();
    if (!joins) pathOpen_ = false;
    active_ = true;
    column_ = column;
    firstX_ = lastX_ = x;
    first_ = min_ = max_ = last_ = y;
    minOrder_ = maxOrder_ = order_ = 0;
  }
  // Breaks the line, as at a value that cannot be drawn.
  void Break() {
    Flush();
    pathOpen_ = false;
  }
  void Flush() {
    if (!active_) return;
    Point(firstX_, first_);
    const double centre = column_ + 0.5;
    if (minOrder_ != 0 || maxOrder_ != 0) {
      if (minOrder_ < maxOrder_) {
        if (minOrder_ != 0) Point(centre, min_);
        Point(centre, max_);
      } else {
        if (maxOrder_ != 0) Point(centre, max_);
        Point(centre, min_);
      }
    }
    if (lastX_ != firstX_) Point(lastX_, last_);
    active_ = false;
  }

 private:
  void Point(double x, double y) {
    if (pathOpen_) {
      cairo_line_to(cr_, x, y);
    } else {
      cairo_move_to(cr_, x, y);
      pathOpen_ = true;
    }
  }
  cairo_t* cr_;
  bool active_ = false, pathOpen_ = false;
  long column_ = 0;
  double firstX_ = 0, lastX_ = 0, first_ = 0, min_ = 0, max_ = 0, last_ = 0;
  int minOrder_ = 0, maxOrder_ = 0, order_ = 0;
};

double ChannelValue(const ReportBin& bin, int channel) { return channel == 1 ? bin.a1 : bin.a2; }

// Wraps an angle in degrees into (-180, 180].
double WrapDegrees(double degrees) {
  double w = std::fmod(degrees, 360.0);
  if (w > 180.0) w -= 360.0;
  if (w <= -180.0) w += 360.0;
  return w;
}

void DrawLevelCurve(cairo_t* cr, const Report& report, int channel, const LogAxis& x,
                    const LinearAxis& y, double spacing) {
  ColumnTrace trace(cr);
  const double floorY = y.Map(y.bottomValue) + 1;  // below the panel: inaudible bins sit on it
  int32_t previous = -1;
  for (const ReportBin& bin : report.bins) {
    const double db = AmplitudeToDbfs(ChannelValue(bin, channel));
    if (std::isnan(db) || db == INFINITY) {
      trace.Break();
      previous = -1;
      continue;
    }
    const double py = std::min(y.Map(std::max(db, y.bottomValue - 1)), floorY);
    trace.Add(x.Map(bin.index * spacing), py, bin.index == previous + 1);
    previous = bin.index;
  }
  trace.Flush();
  SetColour(cr, channel == 1 ? kChannel1 : kChannel2);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
}

// The peak's refined frequency and level, e.g. "1000.02 Hz  −6.02 dBFS".
std::string PeakLabel(const ChannelPeak& peak) {
  char frequency[48];
  std::snprintf(frequency, sizeof frequency, "%.2f Hz  ", peak.frequency);
  return frequency + FormatSigned("%.2f", peak.levelDb) + " dBFS";
}

bool Overlaps(const PlotRect& a, const PlotRect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
         b.y < a.y + a.height;
}

void DrawPeaks(cairo_t* cr, const ChannelPeak peaks[2], const LogAxis& x, const LinearAxis& y,
               const PlotRect& panel, double spacing, PlotLayout* layout) {
  PlotRect placed[2];
  for (int c = 0; c < 2; ++c) {
    if (!peaks[c].found) continue;
    const double px =
        std::clamp(x.Map(std::max(peaks[c].bin * spacing, x.low)), panel.x, panel.x + panel.width);
    const double py = std::clamp(y.Map(peaks[c].levelDb), panel.y, panel.y + panel.height);
    SetColour(cr, c == 0 ? kChannel1 : kChannel2);
    cairo_set_line_width(cr, 1.5);
    cairo_new_sub_path(cr);
    cairo_arc(cr, px, py, 4.0, 0, 2 * std::numbers::pi);
    cairo_stroke(cr);

    const std::string text = PeakLabel(peaks[c]);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    PlotRect box = {px + 7, py - 7 - kFontSize, extents.x_advance, kFontSize + 3};
    if (box.x + box.width > panel.x + panel.width - 4) box.x = px - 7 - box.width;
    box.y = std::max(box.y, panel.y + 2);
    // Channel 2's label steps down past channel 1's when they would collide.
    if (c == 1 && peaks[0].found && Overlaps(box, placed[0])) {
      box.y = placed[0].y + placed[0].height + 2;
    }
    placed[c] = box;
    DrawText(cr, text, box.x, box.y + kFontSize, Anchor::left, layout);
  }
}

// One row above the level panel's right end: a line sample and a name per channel.
void DrawLegend(cairo_t* cr, const PlotRect& panel, PlotLayout* layout) {
  const char* names[2] = {"channel 1 (A1)", "channel 2 (A2)"};
  const double baseline = panel.y - 5;
  double right = panel.x + panel.width;
  for (int c = 1; c >= 0; --c) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, names[c], &extents);
    const double textLeft = right - extents.x_advance;
    SetColour(cr, kText);
    DrawText(cr, names[c], textLeft, baseline, Anchor::left, layout);
    SetColour(cr, c == 0 ? kChannel1 : kChannel2);
    cairo_set_line_width(cr, 2.0);
    cairo_move_to(cr, textLeft - 24, baseline - kFontSize / 2 + 2);
    cairo_line_to(cr, textLeft - 6, baseline - kFontSize / 2 + 2);
    cairo_stroke(cr);
    right = textLeft - 40;
  }
}

// Round step for a value axis so that it carries a handful of ticks.
double ValueStep(double span) {
  for (double step : {5.0, 10.0, 20.0, 40.0, 50.0}) {
    if (span / step <= 8) return step;
  }
  return 100.0;
}

void DrawPlot(cairo_t* cr, const Report& report, const PlotOptions& options,
              PlotLayout* layout) {
  const double width = options.width, height = options.height;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);

  // Title line.
  {
    char details[160];
    std::snprintf(details, sizeof details, "   FFT size %d   window: %s   PW=%.6f",
                  report.fftSize, report.window == "No" ? "none" : report.window.c_str(),
                  report.pw);
    cairo_set_font_size(cr, kTitleFontSize);
    SetColour(cr, kText);
    DrawText(cr, options.wavPath + details, 12, 8 + kTitleFontSize, Anchor::left, layout);
    cairo_set_font_size(cr, kFontSize);
  }

  const double left = 62, right = 16, top = 34 + kFontSize + 6, gap = 2 * kFontSize + 22,
               bottom = 2 * kFontSize + 16;
  const double plotWidth = std::max(width - left - right, 10.0);
  const double available = std::max(height - top - gap - bottom, 20.0);
  layout->spectrum = {left, top, plotWidth, std::round(available * 0.62)};
  layout->phase = {left, top + layout->spectrum.height + gap, plotWidth,
                   available - layout->spectrum.height};
  const PlotRect& levels = layout->spectrum;
  const PlotRect& phase = layout->phase;

  // Frequencies from the bins themselves: F = spacing × index. A report without a usable
  // spacing (no sampling rate) is drawn against the bin index instead.
  const ReportBin& firstBin = report.bins.front();
  double spacing = firstBin.frequency / firstBin.index;
  const bool bySpacing = std::isfinite(spacing) && spacing > 0;
  if (!bySpacing) spacing = 1.0;
  const int32_t halfSize = report.fftSize / 2 + report.fftSize % 2;
  LogAxis x;
  x.low = spacing;
  x.high = spacing * std::max(halfSize - 1, report.bins.back().index);
  if (x.high <= x.low * 1.5) x.high = x.low * 10;
  x.left = levels.x;
  x.width = levels.width;

  ChannelPeak peaks[2] = {FindChannelPeak(report.bins, 1), FindChannelPeak(report.bins, 2)};
  double maxDb = -INFINITY, minDb = INFINITY;
  for (const ReportBin& bin : report.bins) {
    for (int c = 1; c <= 2; ++c) {
      const double db = AmplitudeToDbfs(ChannelValue(bin, c));
      if (!std::isfinite(db)) continue;
      maxDb = std::max(maxDb, db);
      minDb = std::min(minDb, db);
    }
  }
  for (const ChannelPeak& p : peaks) {
    if (p.found && std::isfinite(p.levelDb)) maxDb = std::max(maxDb, p.levelDb);
  }
  if (!std::isfinite(maxDb)) maxDb = minDb = 0;
  LinearAxis levelAxis;
  levelAxis.topValue = std::ceil((maxDb + 3) / 10) * 10;
  levelAxis.bottomValue =
      std::min(std::max(std::floor(minDb / 10) * 10, levelAxis.topValue - 160),
               levelAxis.topValue - 40);
  levelAxis.top = levels.y;
  levelAxis.height = levels.height;

  // Level panel.
  DrawFrequencyGrid(cr, x, levels, true, layout);
  DrawValueGrid(cr, levelAxis, levels,
                ValueStep(levelAxis.topValue - levelAxis.bottomValue), layout);
  cairo_save(cr);
  cairo_rectangle(cr, levels.x, levels.y, levels.width, levels.height);
  cairo_clip(cr);
  DrawLevelCurve(cr, report, 2, x, levelAxis, spacing);
  DrawLevelCurve(cr, report, 1, x, levelAxis, spacing);
  cairo_restore(cr);
  DrawFrame(cr, levels);
  DrawPeaks(cr, peaks, x, levelAxis, levels, spacing, layout);
  DrawLegend(cr, levels, layout);
  SetColour(cr, kText);
  DrawText(cr, "level (dBFS)", levels.x, levels.y - 5, Anchor::left, layout);

  // Phase panel: dFi only where both channels are within kPhaseFloorDb of their peaks.
  LinearAxis phaseAxis;
  phaseAxis.bottomValue = -180;
  phaseAxis.topValue = 180;
  phaseAxis.top = phase.y;
  phaseAxis.height = phase.height;
  DrawFrequencyGrid(cr, x, phase, true, layout);
  DrawValueGrid(cr, phaseAxis, phase, 90, layout);
  cairo_save(cr);
  cairo_rectangle(cr, phase.x, phase.y, phase.width, phase.height);
  cairo_clip(cr);
  if (peaks[0].found && peaks[1].found) {
    const double floor1 = AmplitudeToDbfs(report.bins[peaks[0].position].a1) - kPhaseFloorDb;
    const double floor2 = AmplitudeToDbfs(report.bins[peaks[1].position].a2) - kPhaseFloorDb;
    // Per pixel column only the lowest and highest angle is drawn.
    long column = 0;
    double low = 0, high = 0;
    bool active = false;
    const auto flush = [&]() {
      if (!active) return;
      cairo_rectangle(cr, column + 0.5 - 1.5, phaseAxis.Map(low) - 1.5, 3, 3);
      if (high != low) cairo_rectangle(cr, column + 0.5 - 1.5, phaseAxis.Map(high) - 1.5, 3, 3);
      active = false;
    };
    for (const ReportBin& bin : report.bins) {
      if (!(AmplitudeToDbfs(bin.a1) >= floor1 && AmplitudeToDbfs(bin.a2) >= floor2)) continue;
      const double angle = WrapDegrees(bin.dfi);
      if (!std::isfinite(angle)) continue;
      const long c = static_cast<long>(std::floor(x.Map(bin.index * spacing)));
      if (active && c == column) {
        low = std::min(low, angle);
        high = std::max(high, angle);
        continue;
      }
      flush();
      active = true;
      column = c;
      low = high = angle;
    }
    flush();
    SetColour(cr, kPhase);
    cairo_fill(cr);
  }
  double peakAngle = 0;
  const bool peakAngleShown =
      peaks[0].found && std::isfinite(WrapDegrees(report.bins[peaks[0].position].dfi));
  if (peakAngleShown) {
    peakAngle = WrapDegrees(report.bins[peaks[0].position].dfi);
    const double py = phaseAxis.Map(peakAngle);
    const double dash[] = {5.0, 3.0};
    cairo_set_dash(cr, dash, 2, 0);
    SetColour(cr, kChannel1);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, phase.x, py);
    cairo_line_to(cr, phase.x + phase.width, py);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
  }
  cairo_restore(cr);
  DrawFrame(cr, phase);
  SetColour(cr, kText);
  DrawText(cr, "dFi (degrees)", phase.x, phase.y - 5, Anchor::left, layout);
  if (peakAngleShown) {
    char at[48];
    std::snprintf(at, sizeof at, " (%.2f Hz bin): ", report.bins[peaks[0].position].frequency);
    const double py = phaseAxis.Map(peakAngle);
    const double labelY = py - 4 - kFontSize < phase.y ? py + kFontSize + 3 : py - 4;
    SetColour(cr, kChannel1);
    DrawText(cr, "dFi at the channel 1 peak" + std::string(at) + FormatSigned("%.2f", peakAngle) +
                     "\u00b0",
             phase.x + phase.width - 6, labelY, Anchor::right, layout);
  }
  SetColour(cr, kText);
  DrawText(cr, bySpacing ? "frequency (Hz)" : "bin", phase.x + phase.width / 2,
           phase.y + phase.height + 2 * kFontSize + 8, Anchor::centre, layout);
}

// Where cairo's output goes, and the first write failure's errno.
struct StreamSink {
  FILE* stream = nullptr;
  int failure = 0;
};

// Cairo's write callback: everything to the stream, or a write error.
cairo_status_t WriteToStream(void* closure, const unsigned char* data, unsigned int length) {
  StreamSink* sink = static_cast<StreamSink*>(closure);
  if (std::fwrite(data, 1, length, sink->stream) == length) return CAIRO_STATUS_SUCCESS;
  if (sink->failure == 0) sink->failure = errno != 0 ? errno : EIO;
  return CAIRO_STATUS_WRITE_ERROR;
}

using SurfacePointer = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using ContextPointer = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

}  // namespace

bool WritePlot(const Report& report, const PlotOptions& options, const std::string& path,
               PictureFormat format, PlotLayout* layout, std::string* error) {
  PlotLayout unused;
  if (layout == nullptr) layout = &unused;
  *layout = PlotLayout{};
  if (report.bins.empty()) {
    *error = "no per-bin lines: run wavspec with -F";
    return false;
  }
  AtomicOutput output;
  if (!output.Open(path, error)) return false;
  StreamSink sink{output.Stream(), 0};

  SurfacePointer surface(nullptr, &cairo_surface_destroy);
  switch (format) {
    case PictureFormat::png:
      surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, options.width, options.height));
      break;
    case PictureFormat::svg:
      surface.reset(cairo_svg_surface_create_for_stream(&WriteToStream, &sink,
                                                        options.width, options.height));
      break;
    case PictureFormat::pdf:
      surface.reset(cairo_pdf_surface_create_for_stream(&WriteToStream, &sink,
                                                        options.width, options.height));
      break;
  }
  ContextPointer cr(cairo_create(surface.get()), &cairo_destroy);
  DrawPlot(cr.get(), report, options, layout);
  cairo_status_t status = cairo_status(cr.get());
  cr.reset();
  if (status == CAIRO_STATUS_SUCCESS && format == PictureFormat::png) {
    status = cairo_surface_write_to_png_stream(surface.get(), &WriteToStream, &sink);
  }
  cairo_surface_finish(surface.get());
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface.get());
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = sink.failure != 0 ? std::strerror(sink.failure) : cairo_status_to_string(status);
    return false;
  }
  return output.Commit(error);
}
