#include "analysis/spectrum_report.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "analysis/fixed_format.h"
#include "analysis/report_file.h"

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

// Room for the longest line: seven numbers of at most kFixedMaxChars each and the labels.
constexpr size_t kLineCapacity = 8 * kFixedMaxChars + 128;

// One line composed in place, then handed to the file in one piece.
struct Line {
  char text[kLineCapacity];
  char* end = text;

  Line& Text(std::string_view s) {
    std::memcpy(end, s.data(), s.size());
    end += s.size();
    return *this;
  }
  Line& Fixed(double v, int width, int precision) {
    end = FormatFixed(end, v, width, precision);
    return *this;
  }
  Line& Int(int32_t v, int width) {
    end = FormatInt(end, v, width);
    return *this;
  }
  void WriteTo(ReportFile& file) {
    file.Append(text, static_cast<size_t>(end - text));
    end = text;
  }
};

std::string_view WindowName(WindowKind window) {
  switch (window) {
    case WindowKind::none: return "No\n";
    case WindowKind::hamming: return "Hamming\n";
    case WindowKind::hanning: return "Hanning\n";
    case WindowKind::triangular: return "Triangular\n";
    case WindowKind::welch: return "Welch\n";
    case WindowKind::unknown: break;
  }
  return "Unknown (No windows function)\n";
}

// "%5d: F=%11.4f sum1=%11.6f sum2=%11.6f  sum=%11.6f\n"; the sums are divided by halfSize
// before they are scaled to percent.
void RangeLine(Line& line, int32_t i, double f, double r1, double r2, double half) {
  line.Int(i, 5).Text(": F=").Fixed(f, 11, 4);
  line.Text(" sum1=").Fixed(r1 / half * 100, 11, 6);
  line.Text(" sum2=").Fixed(r2 / half * 100, 11, 6);
  line.Text("  sum=").Fixed((r2 + r1) / half * 100, 11, 6).Text("\n");
}

}  // namespace

std::string ReportPath(const AnalysisSettings& s) { return s.wavPath + ".txt"; }

ReportStatus WriteSpectrumReport(const AnalysisSettings& s, const double* channel1,
                                 const double* channel2, const std::string& headerText) {
  ReportFile file(ReportPath(s));
  if (!file.created()) return ReportStatus::cantCreate;

  const int32_t n = s.fftSize;
  const int32_t half = s.halfSize;
  const double scale = s.amplitudeScale;
  const double halfD = static_cast<double>(half);
  const double* a1 = channel1;
  const double* a2 = channel2;
  const double* fi1 = channel1 + (half > 0 ? half : 0);
  const double* fi2 = channel2 + (half > 0 ? half : 0);
  const double threshold = scale * 1e-6;
  // A step of 0 (no ranges, or more ranges than bins) closes no range: every bin then falls
  // into the trailing line. The run refuses such settings; this only keeps the division safe.
  int32_t step = 0;
  if (s.sumByRanges && s.rangeCount != 0) {
    step = static_cast<int32_t>(static_cast<int64_t>(half) / s.rangeCount);
  }
  const double binWidth = static_cast<double>(s.sampleRate) / static_cast<double>(n);

  double r1 = 0, r2 = 0, t1 = 0, t2 = 0, p = 0, amax1 = 0, amax2 = 0, fmax1 = 0, fmax2 = 0;
  int32_t imax1 = 0, imax2 = 0;
  Line line;
  for (int32_t i = 1; i < half; ++i) {
    const double f = binWidth * static_cast<double>(i);
    if (a1[i] > amax1) {
      amax1 = a1[i];
      imax1 = i;
      fmax1 = f;
    }
    if (a2[i] > amax2) {
      amax2 = a2[i];
      imax2 = i;
      fmax2 = f;
    }
    const double dFi = fi2[i] - fi1[i];
    p = (std::cos(dFi) * a1[i]) * a2[i] + p;
    t1 += a1[i];
    t2 += a2[i];
    r1 += a1[i];
    r2 += a2[i];
    if (s.printAllData && (a1[i] > threshold || a2[i] > threshold)) {
      line.Int(i, 6).Text(": F=").Fixed(f, 11, 4);
      line.Text(" A1=").Fixed(a1[i] / scale, 11, 6).Text(" A2=").Fixed(a2[i] / scale, 11, 6);
      line.Text(" Fi1=").Fixed(fi1[i] * kDegreesPerRadian, 10, 5);
      line.Text(" Fi2=").Fixed(fi2[i] * kDegreesPerRadian, 10, 5);
      line.Text(" dFi=").Fixed(dFi * kDegreesPerRadian, 10, 5).Text("\n");
      line.WriteTo(file);
    }
    if (s.sumByRanges && step != 0 && i % step == 0) {
      RangeLine(line, i, f, r1, r2, halfD);
      line.WriteTo(file);
      r1 = 0;
      r2 = 0;
    }
  }
  const int32_t last = half - 1;
  if (s.sumByRanges && half >= 2 && (step == 0 || last % step != 0)) {
    line.Text("\n");
    RangeLine(line, last, binWidth * static_cast<double>(last), r1, r2, halfD);
    line.WriteTo(file);
  }

  const double const1 = half > 0 ? a1[0] : 0.0;
  const double const2 = half > 0 ? a2[0] : 0.0;
  const double nD = static_cast<double>(n);
  line.Text("\nFFTsize=").Int(n, 0).Text("   Windows:").Text(WindowName(s.window));
  line.WriteTo(file);
  line.Text("FFT:  CONST1=").Fixed(const1 / nD * 100, 11, 6);
  line.Text("   CONST2=").Fixed(const2 / nD * 100, 11, 6).Text(" \n");
  line.WriteTo(file);
  line.Text("FFT:  SUM1=").Fixed(t1 / scale, 11, 6);
  line.Text("     SUM2=").Fixed(t2 / scale, 11, 6).Text(" \n");
  line.WriteTo(file);
  // The square in double never overflows as a 32-bit product would (from 46341 on); it is
  // exact up to 2^26 and beyond that the correctly rounded value of the exact square.
  line.Text("FFT:  PW=").Fixed(p / (halfD * halfD) * 0.5, 11, 6).Text("\n");
  line.WriteTo(file);
  if (imax1 == 1 || imax2 == 1) file.Append("Warning, possible error. Amax in first point.\n");
  line.Text("FFT:  Fmax1=").Fixed(fmax1, 8, 2).Text("  Amax1=").Fixed(amax1 / scale, 11, 6);
  line.Text("  Fmax2=").Fixed(fmax2, 8, 2).Text("  Amax2=").Fixed(amax2 / scale, 11, 6);
  line.Text("\n");
  line.WriteTo(file);
  file.Append("\n\nFILE INFO:\n");
  // As "%s": the text ends at its first terminator.
  file.Append(headerText.c_str(), std::strlen(headerText.c_str()));
  file.Append("\n");

  return file.Commit() ? ReportStatus::written : ReportStatus::cantWrite;
}
