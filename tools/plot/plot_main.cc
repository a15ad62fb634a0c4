// wavspec-plot: draws a wavspec report written with -F as a PNG, SVG or PDF picture.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "tools/plot/plot_render.h"
#include "tools/plot/report_parser.h"

namespace {

constexpr char kUsage[] =
    "usage: wavspec-plot [-s WIDTHxHEIGHT] REPORT [OUTPUT]\n"
    "Draws a wavspec report written with -F as a picture.\n"
    "  REPORT    the report, e.g. rec.wav.txt\n"
    "  OUTPUT    the picture, ending in .png, .svg or .pdf;\n"
    "            by default REPORT with its .txt replaced by .png\n"
    "  -s WxH    picture size in pixels (PNG) or points (SVG, PDF); default 1000x700\n"
    "  -h        show this text\n";

constexpr int kMinimumSize = 200;
constexpr int kMaximumSize = 10000;

bool EndsWith(std::string_view text, std::string_view suffix, bool ignoreCase) {
  if (text.size() < suffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - suffix.size());
  if (!ignoreCase) return tail == suffix;
  for (size_t i = 0; i < tail.size(); ++i) {
    const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] - 'A' + 'a') : tail[i];
    if (c != suffix[i]) return false;
  }
  return true;
}

// "WIDTHxHEIGHT" with both within the allowed sizes.
bool ParseSize(std::string_view text, int* width, int* height) {
  const size_t x = text.find('x');
  if (x == std::string_view::npos) return false;
  const auto number = [](std::string_view digits, int* value) {
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), *value);
    return ec == std::errc() && end == digits.data() + digits.size() && *value >= kMinimumSize &&
           *value <= kMaximumSize;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

int UsageError(const char* message, const std::string& detail) {
  std::fprintf(stderr, "wavspec-plot: %s%s\n%s", message, detail.c_str(), kUsage);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit must fail the write, so the partial picture can be removed, instead of
  // killing the process.
  std::signal(SIGXFSZ, SIG_IGN);

  PlotOptions options;
  std::string reportPath, outputPath;
  int positional = 0;
  bool optionsOver = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsOver && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        optionsOver = true;
      } else if (arg == "-h" || arg == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (arg.substr(0, 2) == "-s") {
        std::string_view size = arg.substr(2);
        if (size.empty()) {
          if (i + 1 >= argc) return UsageError("option -s needs a size", "");
          size = argv[++i];
        }
        if (!ParseSize(size, &options.width, &options.height)) {
          return UsageError("bad size (WIDTHxHEIGHT, each 200 to 10000): ", std::string(size));
        }
      } else {
        return UsageError("unknown option ", std::string(arg));
      }
      continue;
    }
    ++positional;
    if (positional == 1) reportPath = arg;
    if (positional == 2) outputPath = arg;
  }
  if (positional == 0) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  if (positional > 2) return UsageError("too many arguments", "");

  // The report sits beside its recording, named by appending ".txt" to the recording's path.
  const bool txt = EndsWith(reportPath, ".txt", false);
  options.wavPath = txt ? reportPath.substr(0, reportPath.size() - 4) : reportPath;
  if (outputPath.empty()) outputPath = options.wavPath + ".png";
  PictureFormat format = PictureFormat::png;
  if (EndsWith(outputPath, ".svg", true)) {
    format = PictureFormat::svg;
  } else if (EndsWith(outputPath, ".pdf", true)) {
    format = PictureFormat::pdf;
  } else if (!EndsWith(outputPath, ".png", true)) {
    return UsageError("the picture's name must end in .png, .svg or .pdf: ", outputPath);
  }
  if (outputPath == reportPath) {
    return UsageError("the picture would replace the report: ", outputPath);
  }

  Report report;
  std::string error;
  if (!ReadReport(reportPath, &report, &error)) {
    std::fprintf(stderr, "wavspec-plot: %s: %s\n", reportPath.c_str(), error.c_str());
    return 1;
  }
  if (!WritePlot(report, options, outputPath, format, nullptr, &error)) {
    std::fprintf(stderr, "wavspec-plot: %s: %s\n", outputPath.c_str(), error.c_str());
    return 1;
  }
  return 0;
}
