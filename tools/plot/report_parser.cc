#include "tools/plot/report_parser.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Walks one line of the report: fixed literals and printf-style numbers, whose field
// padding (leading spaces) is skipped.
class LineCursor {
 public:
  explicit LineCursor(std::string_view line) : rest_(line) {}

  bool Literal(std::string_view text) {
    if (rest_.substr(0, text.size()) != text) return false;
    rest_.remove_prefix(text.size());
    return true;
  }
  bool Integer(int32_t* value) {
    SkipSpaces();
    const auto [end, ec] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), *value);
    return Advance(end, ec);
  }
  bool Number(double* value) {
    SkipSpaces();
    const auto [end, ec] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), *value,
                                           std::chars_format::fixed);
    return Advance(end, ec);
  }
  // Trailing spaces are allowed; anything else is not.
  bool End() {
    SkipSpaces();
    return rest_.empty();
  }
  std::string_view Rest() const { return rest_; }

 private:
  void SkipSpaces() {
    while (!rest_.empty() && rest_.front() == ' ') rest_.remove_prefix(1);
  }
  bool Advance(const char* end, std::errc ec) {
    if (ec != std::errc()) return false;
    rest_.remove_prefix(static_cast<size_t>(end - rest_.data()));
    return true;
  }
  std::string_view rest_;
};

// Hands out the lines of a text one by one, without their line ends, counting them from 1.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool Next(std::string_view* line) {
    if (position_ >= text_.size()) return false;
    const size_t end = text_.find('\n', position_);
    const size_t stop = end == std::string_view::npos ? text_.size() : end;
    *line = text_.substr(position_, stop - position_);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    position_ = end == std::string_view::npos ? text_.size() : end + 1;
    ++number_;
    return true;
  }
  // The text after the last line handed out.
  std::string_view Remainder() const { return text_.substr(position_); }
  int32_t Number() const { return number_; }

 private:
  std::string_view text_;
  size_t position_ = 0;
  int32_t number_ = 0;
};

bool ParseBinLine(LineCursor c, ReportBin* bin) {
  return c.Integer(&bin->index) && c.Literal(": F=") && c.Number(&bin->frequency) &&
         c.Literal(" A1=") && c.Number(&bin->a1) && c.Literal(" A2=") && c.Number(&bin->a2) &&
         c.Literal(" Fi1=") && c.Number(&bin->fi1) && c.Literal(" Fi2=") && c.Number(&bin->fi2) &&
         c.Literal(" dFi=") && c.Number(&bin->dfi) && c.End();
}

bool ParseRangeLine(LineCursor c, ReportRange* range) {
  return c.Integer(&range->index) && c.Literal(": F=") && c.Number(&range->frequency) &&
         c.Literal(" sum1=") && c.Number(&range->sum1) && c.Literal(" sum2=") &&
         c.Number(&range->sum2) && c.Literal("  sum=") && c.Number(&range->sum) && c.End();
}

// Which kind of pass line this is, judged by the label after the frequency.
enum class PassLine { bin, range, other };

PassLine ClassifyPassLine(std::string_view line) {
  LineCursor c(line);
  int32_t index = 0;
  double frequency = 0;
  if (!c.Integer(&index) || !c.Literal(": F=") || !c.Number(&frequency)) return PassLine::other;
  if (c.Rest().substr(0, 4) == " A1=") return PassLine::bin;
  if (c.Rest().substr(0, 6) == " sum1=") return PassLine::range;
  return PassLine::other;
}

bool Fail(std::string* error, int32_t lineNumber, const std::string& message) {
  *error = "line " + std::to_string(lineNumber) + ": " + message;
  return false;
}

}  // namespace

bool ParseReport(std::string_view text, Report* report, std::string* error) {
  *report = Report{};
  LineReader reader(text);
  std::string_view line;
  int32_t lastBinLine = 0;

  // The pass block: bin lines, range lines and empty lines, up to the summary.
  bool summaryFound = false;
  while (reader.Next(&line)) {
    if (line.empty()) continue;
    if (line.substr(0, 8) == "FFTsize=") {
      summaryFound = true;
      break;
    }
    switch (ClassifyPassLine(line)) {
      case PassLine::bin: {
        ReportBin bin;
        if (!ParseBinLine(LineCursor(line), &bin)) {
          return Fail(error, reader.Number(), "malformed bin line");
        }
        if (bin.index < 1) return Fail(error, reader.Number(), "bin index out of range");
        if (!report->bins.empty() && bin.index <= report->bins.back().index) {
          return Fail(error, reader.Number(),
                      "bin " + std::to_string(bin.index) + " does not follow bin " +
                          std::to_string(report->bins.back().index));
        }
        report->bins.push_back(bin);
        lastBinLine = reader.Number();
        break;
      }
      case PassLine::range: {
        ReportRange range;
        if (!ParseRangeLine(LineCursor(line), &range)) {
          return Fail(error, reader.Number(), "malformed range line");
        }
        report->ranges.push_back(range);
        break;
      }
      case PassLine::other:
        return Fail(error, reader.Number(), "not a bin line, a range line or the summary");
    }
  }
  if (!summaryFound) {
    return Fail(error, reader.Number() + 1, "the report ends before its summary");
  }

  // The summary, line by line in its fixed order.
  {
    LineCursor c(line);
    if (!c.Literal("FFTsize=") || !c.Integer(&report->fftSize) || !c.Literal("   Windows:") ||
        c.Rest().empty() || report->fftSize < 1) {
      return Fail(error, reader.Number(), "malformed FFTsize line");
    }
    report->window = std::string(c.Rest());
  }
  // Reads the next summary line, or fails naming the line that was expected.
  const auto nextLine = [&](const char* what, std::string_view* out) {
    if (reader.Next(out)) return true;
    Fail(error, reader.Number() + 1, std::string("the report ends before its ") + what + " line");
    return false;
  };
  if (!nextLine("CONST", &line)) return false;
  {
    LineCursor c(line);
    if (!c.Literal("FFT:  CONST1=") || !c.Number(&report->const1) || !c.Literal("   CONST2=") ||
        !c.Number(&report->const2) || !c.End()) {
      return Fail(error, reader.Number(), "malformed CONST line");
    }
  }
  if (!nextLine("SUM", &line)) return false;
  {
    LineCursor c(line);
    if (!c.Literal("FFT:  SUM1=") || !c.Number(&report->sum1) || !c.Literal("     SUM2=") ||
        !c.Number(&report->sum2) || !c.End()) {
      return Fail(error, reader.Number(), "malformed SUM line");
    }
  }
  if (!nextLine("PW", &line)) return false;
  {
    LineCursor c(line);
    if (!c.Literal("FFT:  PW=") || !c.Number(&report->pw) || !c.End()) {
      return Fail(error, reader.Number(), "malformed PW line");
    }
  }
  if (!nextLine("Fmax", &line)) return false;
  if (line == "Warning, possible error. Amax in first point.") {
    report->amaxInFirstPoint = true;
    if (!nextLine("Fmax", &line)) return false;
  }
  {
    LineCursor c(line);
    if (!c.Literal("FFT:  Fmax1=") || !c.Number(&report->fmax1) || !c.Literal("  Amax1=") ||
        !c.Number(&report->amax1) || !c.Literal("  Fmax2=") || !c.Number(&report->fmax2) ||
        !c.Literal("  Amax2=") || !c.Number(&report->amax2) || !c.End()) {
      return Fail(error, reader.Number(), "malformed Fmax line");
    }
  }
  // Two empty lines, "FILE INFO:", then the header description to the end.
  for (const char* expected : {"", "", "FILE INFO:"}) {
    if (!nextLine("FILE INFO", &line)) return false;
    if (line != expected) return Fail(error, reader.Number(), "expected the FILE INFO section");
  }
  std::string_view info = reader.Remainder();
  if (!info.empty() && info.back() == '\n') info.remove_suffix(1);
  report->fileInfo = std::string(info);

  if (report->bins.empty()) {
    *error = "no per-bin lines: run wavspec with -F";
    return false;
  }
  const int32_t halfSize = report->fftSize / 2 + report->fftSize % 2;
  if (report->bins.back().index >= halfSize) {
    return Fail(error, lastBinLine,
                "bin " + std::to_string(report->bins.back().index) + " is beyond FFT size " +
                    std::to_string(report->fftSize));
  }
  return true;
}

bool ReadReport(const std::string& path, Report* report, std::string* error) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (file == nullptr) {
    *error = std::strerror(errno);
    return false;
  }
  // Reads straight into a string sized from the file, growing it only if the file grew.
  std::string contents;
  struct stat info {};
  if (fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode)) {
    contents.resize(static_cast<size_t>(info.st_size) + 1);
  }
  size_t used = 0;
  while (true) {
    if (used == contents.size()) contents.resize(std::max<size_t>(contents.size() * 2, 1 << 16));
    const size_t count = std::fread(contents.data() + used, 1, contents.size() - used, file.get());
    used += count;
    if (count == 0) break;
  }
  contents.resize(used);
  if (std::ferror(file.get())) {
    *error = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  return ParseReport(contents, report, error);
}
