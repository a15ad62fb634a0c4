#include "tools/plot/plot_render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

#include <cairo.h>

#include "tests/temp_dir.h"
#include "tools/plot/report_fixture.h"
#include "tools/plot/report_parser.h"

namespace {

// A minimal XML reader: elements, attributes, text, comments and processing instructions.
// It refuses what is not well-formed: unbalanced or crossed tags, unquoted or repeated
// attributes, a raw '<' or a bare '&' in text or values, more than one root.
struct XmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::vector<XmlElement> children;
};

bool IsNameChar(char c, bool first) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' ||
         (!first && (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.'));
}

class XmlReader {
 public:
  explicit XmlReader(std::string_view text) : text_(text) {}

  bool Document(XmlElement* root) {
    bool haveRoot = false;
    while (true) {
      SkipSpace();
      if (pos_ == text_.size()) return haveRoot;
      if (Skip("<?", "?>") || Skip("<!--", "-->")) continue;
      if (haveRoot || text_[pos_] != '<') return false;
      if (!Element(root)) return false;
      haveRoot = true;
    }
  }

 private:
  bool Element(XmlElement* e) {
    ++pos_;  // '<'
    if (!Name(&e->name)) return false;
    while (true) {
      SkipSpace();
      if (text_.substr(pos_, 2) == "/>") {
        pos_ += 2;
        return true;
      }
      if (pos_ < text_.size() && text_[pos_] == '>') {
        ++pos_;
        break;
      }
      std::string name, value;
      if (!Name(&name)) return false;
      SkipSpace();
      if (pos_ >= text_.size() || text_[pos_] != '=') return false;
      ++pos_;
      SkipSpace();
      if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) return false;
      const char quote = text_[pos_++];
      const size_t end = text_.find(quote, pos_);
      if (end == std::string_view::npos) return false;
      value = text_.substr(pos_, end - pos_);
      pos_ = end + 1;
      if (!CleanText(value) || !e->attributes.emplace(name, value).second) return false;
    }
    while (true) {  // content
      const size_t lt = text_.find('<', pos_);
      if (lt == std::string_view::npos || !CleanText(text_.substr(pos_, lt - pos_))) return false;
      pos_ = lt;
      if (Skip("<!--", "-->") || Skip("<?", "?>")) continue;
      if (text_.substr(pos_, 2) == "</") {
        pos_ += 2;
        std::string name;
        if (!Name(&name) || name != e->name) return false;
        SkipSpace();
        if (pos_ >= text_.size() || text_[pos_] != '>') return false;
        ++pos_;
        return true;
      }
      e->children.emplace_back();
      if (!Element(&e->children.back())) return false;
    }
  }
  bool Name(std::string* name) {
    const size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_], pos_ == start)) ++pos_;
    *name = text_.substr(start, pos_ - start);
    return !name->empty();
  }
  // No raw '<', and every '&' starts an entity reference.
  static bool CleanText(std::string_view s) {
    if (s.find('<') != std::string_view::npos) return false;
    for (size_t amp = s.find('&'); amp != std::string_view::npos; amp = s.find('&', amp + 1)) {
      const size_t semi = s.find(';', amp);
      if (semi == std::string_view::npos || semi == amp + 1) return false;
    }
    return true;
  }
  bool Skip(std::string_view open, std::string_view close) {
    if (text_.substr(pos_, open.size()) != open) return false;
    const size_t end = text_.find(close, pos_ + open.size());
    pos_ = end == std::string_view::npos ? text_.size() + 1 : end + close.size();
    return pos_ <= text_.size();
  }
  void SkipSpace() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  std::string_view text_;
  size_t pos_ = 0;
};

bool ParseXml(std::string_view text, XmlElement* root) {
  *root = XmlElement{};
  return XmlReader(text).Document(root);
}

TEST(XmlReader, TellsWellFormedFromBroken) {
  struct Case {
    const char* text;
    bool wellFormed;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"?>\n<a x='1' y=\"&amp;\"><!-- c --><b/>text<c></c></a>\n", true},
      {"<a><b></a></b>", false},
      {"<a x=1/>", false},
      {"<a x='1' x='2'/>", false},
      {"<a/><b/>", false},
      {"<a>", false},
      {"<a>1 < 2</a>", false},
      {"<a>fish & chips</a>", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    XmlElement root;
    EXPECT_EQ(ParseXml(c.text, &root), c.wellFormed);
  }
}

// Every element below e in document order, skipping <defs> (glyph outlines live there).
void Flatten(const XmlElement& e, std::vector<const XmlElement*>* out) {
  for (const XmlElement& child : e.children) {
    if (child.name == "defs") continue;
    out->push_back(&child);
    Flatten(child, out);
  }
}

struct Point {
  double x, y;
};

// The coordinates in a path's d attribute, and how many subpaths it has.
std::vector<Point> PathPoints(const std::string& d, int* subpaths) {
  std::vector<Point> points;
  std::vector<double> numbers;
  *subpaths = 0;
  const char* p = d.c_str();
  while (*p != '\0') {
    if (*p == 'M') ++*subpaths;
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end != p) {
      numbers.push_back(v);
      p = end;
    } else {
      ++p;
    }
  }
  for (size_t i = 0; i + 1 < numbers.size(); i += 2) points.push_back({numbers[i], numbers[i + 1]});
  return points;
}

std::string Style(const XmlElement& e) {
  const auto it = e.attributes.find("style");
  return it == e.attributes.end() ? "" : it->second;
}

size_t CodePoints(const std::string& s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

constexpr int kSize = 1024;
constexpr double kRate = 48000;
constexpr double kSpacing = kRate / kSize;
constexpr double kToneBin = 100.3;
constexpr double kPhaseDifference = 0.8;  // radians, channel 2 minus channel 1

// Channel 1: one tone at 0.5 full scale; channel 2: the same tone at a quarter of that,
// kPhaseDifference later, and a stronger one at bin 150.
Report ToneFixture() {
  ToneSignal signal;
  signal.fftSize = kSize;
  signal.sampleRate = kRate;
  signal.channel1 = {{kToneBin * kSpacing, 0.5, 0.3}};
  signal.channel2 = {{kToneBin * kSpacing, 0.125, 0.3 + kPhaseDifference},
                     {150 * kSpacing, 0.25, 0}};
  Report report;
  std::string error;
  EXPECT_TRUE(ParseReport(ToneReport(signal), &report, &error)) << error;
  return report;
}

bool Near(const PlotRect& r, double x0, double y0, double x1, double y1) {
  return std::fabs(r.x - x0) < 0.01 && std::fabs(r.y - y0) < 0.01 &&
         std::fabs(r.x + r.width - x1) < 0.01 && std::fabs(r.y + r.height - y1) < 0.01;
}

TEST(WritePlot, SvgHoldsThePanelsCurvesAndLabels) {
  TempDir dir;
  const Report report = ToneFixture();
  PlotOptions options;
  options.wavPath = "takes/rec.wav";
  PlotLayout layout;
  std::string error;
  ASSERT_TRUE(WritePlot(report, options, dir.File("p.svg"), PictureFormat::svg, &layout, &error))
      << error;
  EXPECT_EQ(ListDirectory(dir.path()), "p.svg\n");
  std::string svg;
  ASSERT_TRUE(ReadFile(dir.File("p.svg"), &svg));
  XmlElement root;
  ASSERT_TRUE(ParseXml(svg, &root));
  EXPECT_EQ(root.name, "svg");
  EXPECT_EQ(root.attributes["width"], "1000pt");
  EXPECT_EQ(root.attributes["height"], "700pt");

  // Two panels, one above the other, inside the picture.
  const PlotRect& top = layout.spectrum;
  const PlotRect& bottom = layout.phase;
  EXPECT_GT(top.width, 800);
  EXPECT_GT(top.height, bottom.height);
  EXPECT_EQ(top.x, bottom.x);
  EXPECT_GT(bottom.y, top.y + top.height + 10);
  EXPECT_LT(bottom.y + bottom.height, 700);

  std::vector<const XmlElement*> elements;
  Flatten(root, &elements);
  int frames = 0;
  std::vector<Point> curve1, curve2, phaseDots;
  for (const XmlElement* e : elements) {
    if (e->name != "path") continue;
    int subpaths = 0;
    const std::vector<Point> points = PathPoints(e->attributes.at("d"), &subpaths);
    const std::string style = Style(*e);
    if (style.find("stroke:rgb(30%,30%,30%)") != std::string::npos && !points.empty()) {
      double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
      for (const Point& p : points) {
        x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
      }
      frames += Near(top, x0, y0, x1, y1) || Near(bottom, x0, y0, x1, y1);
    }
    // The longest path in each channel's colour is its level curve.
    if (style.find("stroke:rgb(0%,40%,80%)") != std::string::npos && points.size() > curve1.size()) curve1 = points;
    if (style.find("stroke:rgb(80%,20%,0%)") != std::string::npos && points.size() > curve2.size()) curve2 = points;
    if (style.find("fill:rgb(20%,20%,20%)") != std::string::npos) phaseDots = points;
  }
  EXPECT_EQ(frames, 2);
  for (const std::vector<Point>* curve : {&curve1, &curve2}) {
    EXPECT_GT(curve->size(), 100u);
    for (const Point& p : *curve) {
      ASSERT_GE(p.x, top.x - 0.5);
      ASSERT_LE(p.x, top.x + top.width + 0.5);
    }
  }
  // The phase dots sit in the lower panel at the two channels' phase difference.
  const double expectedY =
      bottom.y + (180 - kPhaseDifference * 180 / std::numbers::pi) / 360 * bottom.height;
  ASSERT_FALSE(phaseDots.empty());
  for (const Point& p : phaseDots) {
    EXPECT_GE(p.x, bottom.x);
    EXPECT_NEAR(p.y, expectedY, 2 + 3.0 / 360 * bottom.height);
  }

  // Every label is drawn once, in order, as a run of glyphs starting where the layout says.
  std::vector<const XmlElement*> glyphRuns;
  for (const XmlElement* e : elements) {
    if (e->name == "g" && !e->children.empty() &&
        std::all_of(e->children.begin(), e->children.end(),
                    [](const XmlElement& c) { return c.name == "use"; })) {
      glyphRuns.push_back(e);
    }
  }
  ASSERT_EQ(glyphRuns.size(), layout.labels.size());
  for (size_t i = 0; i < glyphRuns.size(); ++i) {
    SCOPED_TRACE(layout.labels[i].text);
    const XmlElement& first = glyphRuns[i]->children.front();
    EXPECT_NEAR(std::stod(first.attributes.at("x")), layout.labels[i].x, 0.01);
    EXPECT_NEAR(std::stod(first.attributes.at("y")), layout.labels[i].y, 0.01);
    EXPECT_EQ(glyphRuns[i]->children.size(), CodePoints(layout.labels[i].text));
  }

  const auto hasLabel = [&](const std::string& text) {
    return std::any_of(layout.labels.begin(), layout.labels.end(),
                       [&](const PlotLabel& l) { return l.text == text; });
  };
  EXPECT_TRUE(hasLabel("takes/rec.wav   FFT size 1024   window: Hanning   PW=0.031250"));
  EXPECT_TRUE(hasLabel("channel 1 (A1)"));
  EXPECT_TRUE(hasLabel("channel 2 (A2)"));
  EXPECT_TRUE(hasLabel("level (dBFS)"));
  EXPECT_TRUE(hasLabel("dFi (degrees)"));
  EXPECT_TRUE(hasLabel("frequency (Hz)"));
  EXPECT_TRUE(hasLabel("1k"));
  EXPECT_TRUE(hasLabel("10k"));
  EXPECT_TRUE(hasLabel("\u2212180"));
  EXPECT_TRUE(hasLabel("180"));
  // The peak marks: refined frequency and level, against the tones' true values.
  int peakLabels = 0;
  for (const PlotLabel& l : layout.labels) {
    double hz = 0, db = 0;
    if (std::sscanf(l.text.c_str(), "%lf Hz  \u2212%lf dBFS", &hz, &db) != 2) continue;
    ++peakLabels;
    SCOPED_TRACE(l.text);
    if (std::fabs(hz - 150 * kSpacing) < 1) {
      EXPECT_NEAR(-db, 20 * std::log10(0.25 * 0.5), 0.05);
    } else {
      EXPECT_NEAR(hz, kToneBin * kSpacing, 0.05 * kSpacing);
      EXPECT_NEAR(-db, 20 * std::log10(0.5 * 0.5), 0.35);
    }
  }
  EXPECT_EQ(peakLabels, 2);
  int angleLabels = 0;
  for (const PlotLabel& l : layout.labels) {
    const size_t colon = l.text.rfind(": ");
    if (l.text.rfind("dFi at the channel 1 peak", 0) != 0 || colon == std::string::npos) continue;
    ++angleLabels;
    EXPECT_NEAR(std::stod(l.text.substr(colon + 2)), kPhaseDifference * 180 / std::numbers::pi, 1.0);
  }
  EXPECT_EQ(angleLabels, 1);
}

// A large report: per pixel column the curve has at most four points, and only gaps wider
// than a column break it.
TEST(WritePlot, LargeReportsDrawAFewPointsPerColumnAndShowGaps) {
  std::string text;
  for (int i = 1; i < 1 << 17; ++i) {
    if (i > 500 && i < 5000) continue;       // a wide gap: a second stretch of the curve
    if (i > 20000 && i % 2 == 0) continue;   // gaps narrower than a column: no break
    const double a = i % 3 == 0 ? 10.0 : 0.01 * (1 + i % 7);
    text += BinLine(i, 0.25 * i, a, a / 2, 0, 0, 45);
  }
  text += SummaryBlock(1 << 18, "No", 0, false, "info");
  Report report;
  std::string error;
  ASSERT_TRUE(ParseReport(text, &report, &error)) << error;

  TempDir dir;
  PlotOptions options;
  PlotLayout layout;
  ASSERT_TRUE(WritePlot(report, options, dir.File("big.svg"), PictureFormat::svg, &layout, &error))
      << error;
  std::string svg;
  ASSERT_TRUE(ReadFile(dir.File("big.svg"), &svg));
  XmlElement root;
  ASSERT_TRUE(ParseXml(svg, &root));
  std::vector<const XmlElement*> elements;
  Flatten(root, &elements);
  std::vector<Point> curve;
  int curveSubpaths = 0;
  for (const XmlElement* e : elements) {
    if (e->name != "path" || Style(*e).find("stroke:rgb(0%,40%,80%)") == std::string::npos) continue;
    int subpaths = 0;
    std::vector<Point> points = PathPoints(e->attributes.at("d"), &subpaths);
    if (points.size() > curve.size()) {
      curve = std::move(points);
      curveSubpaths = subpaths;
    }
  }
  EXPECT_GT(curve.size(), layout.spectrum.width);
  EXPECT_LE(curve.size(), 4 * (layout.spectrum.width + 2));
  EXPECT_EQ(curveSubpaths, 2);
}

struct Rgb {
  int r, g, b;
};

TEST(WritePlot, PngHasTheAskedSizeAndShowsBothChannels) {
  TempDir dir;
  const Report report = ToneFixture();
  PlotOptions options;
  options.width = 640;
  options.height = 480;
  PlotLayout layout;
  std::string error;
  ASSERT_TRUE(WritePlot(report, options, dir.File("p.png"), PictureFormat::png, &layout, &error))
      << error;
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> image(
      cairo_image_surface_create_from_png(dir.File("p.png").c_str()), &cairo_surface_destroy);
  ASSERT_EQ(cairo_surface_status(image.get()), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(image.get()), 640);
  ASSERT_EQ(cairo_image_surface_get_height(image.get()), 480);
  const cairo_format_t format = cairo_image_surface_get_format(image.get());
  ASSERT_TRUE(format == CAIRO_FORMAT_RGB24 || format == CAIRO_FORMAT_ARGB32);
  cairo_surface_flush(image.get());
  const unsigned char* data = cairo_image_surface_get_data(image.get());
  const int stride = cairo_image_surface_get_stride(image.get());
  const auto pixel = [&](int x, int y) {
    uint32_t v;
    std::memcpy(&v, data + y * stride + 4 * x, 4);
    return Rgb{static_cast<int>((v >> 16) & 0xff), static_cast<int>((v >> 8) & 0xff),
               static_cast<int>(v & 0xff)};
  };
  int notWhite = 0, blue = 0, orange = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      const Rgb c = pixel(x, y);
      notWhite += c.r + c.g + c.b < 3 * 250;
      const bool inLevels = x > layout.spectrum.x && x < layout.spectrum.x + layout.spectrum.width &&
                            y > layout.spectrum.y && y < layout.spectrum.y + layout.spectrum.height;
      blue += inLevels && c.b > c.r + 100 && c.b > c.g + 50;
      orange += inLevels && c.r > c.b + 100 && c.r > c.g + 50;
    }
  }
  EXPECT_GT(notWhite, 640 * 480 / 50);
  EXPECT_GT(blue, 200);
  EXPECT_GT(orange, 200);
}

TEST(WritePlot, PdfIsAWholeDocument) {
  TempDir dir;
  std::string error;
  ASSERT_TRUE(WritePlot(ToneFixture(), PlotOptions{}, dir.File("p.pdf"), PictureFormat::pdf,
                        nullptr, &error))
      << error;
  std::string pdf;
  ASSERT_TRUE(ReadFile(dir.File("p.pdf"), &pdf));
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  EXPECT_NE(pdf.find("%%EOF", pdf.size() - 16), std::string::npos);
}

TEST(WritePlot, FailuresLeaveNothingBehind) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(WritePlot(ToneFixture(), PlotOptions{}, dir.File("missing/p.png"),
                         PictureFormat::png, nullptr, &error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_FALSE(WritePlot(Report{}, PlotOptions{}, dir.File("p.png"), PictureFormat::png,
                         nullptr, &error));
  EXPECT_EQ(error, "no per-bin lines: run wavspec with -F");
  EXPECT_EQ(ListDirectory(dir.path()), "");
}

}  // namespace
