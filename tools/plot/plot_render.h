// Draws a parsed report as a picture: the two channels' levels against a logarithmic
// frequency axis on top, their phase difference below, a title line above both.
#pragma once

#include <string>
#include <vector>

#include "tools/plot/report_parser.h"

enum class PictureFormat { png, svg, pdf };

// The picture's name, size and title source. Sizes are pixels for PNG, points otherwise.
struct PlotOptions {
  std::string wavPath;  // shown in the title
  int width = 1000;
  int height = 700;
};

// A rectangle in picture units, y growing downwards.
struct PlotRect {
  double x = 0, y = 0, width = 0, height = 0;
};

// One text as drawn: its characters and the start of its baseline.
struct PlotLabel {
  std::string text;
  double x = 0, y = 0;
};

// What the drawing put where, for callers that check or annotate the picture.
struct PlotLayout {
  PlotRect spectrum;  // the level panel
  PlotRect phase;     // the phase-difference panel
  std::vector<PlotLabel> labels;  // every text, in drawing order
};

// Writes the picture of report to path, whole or not at all. On failure returns false with
// *error set and leaves nothing behind. layout may be null.
bool WritePlot(const Report& report, const PlotOptions& options, const std::string& path,
               PictureFormat format, PlotLayout* layout, std::string* error);
