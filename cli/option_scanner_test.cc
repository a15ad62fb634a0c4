#include "cli/option_scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kOptions[] = "N:n:D:d:W:w:FfSsh";

struct Step {
  int32_t result;
  const char* argument;  // expected scanArgument after the call; nullptr for none
};

struct ScanCase {
  const char* name;
  std::vector<std::string> args;  // argv, program name first
  int32_t startIndex;
  std::vector<Step> steps;        // the calls up to and including the first -1
  int32_t finalIndex;
  std::string stderrText;
};

// Runs the scanner over args from a fresh start, calling until -1 (or a bound).
void RunCase(const ScanCase& c) {
  SCOPED_TRACE(c.name);
  std::vector<std::string> storage = c.args;
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  scanIndex = c.startIndex;
  scanArgument = nullptr;
  scanLetter = 0;
  scanPosition = "";

  testing::internal::CaptureStderr();
  std::vector<Step> seen;
  std::vector<std::string> seenArguments;
  for (size_t call = 0; call < c.steps.size() + 2; ++call) {
    const int32_t r = ScanOption(static_cast<int32_t>(storage.size()), argv.data(), kOptions);
    seen.push_back({r, nullptr});
    seenArguments.push_back(scanArgument != nullptr ? scanArgument : "<none>");
    if (r == -1) break;
  }
  const std::string err = testing::internal::GetCapturedStderr();

  ASSERT_EQ(seen.size(), c.steps.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE("call " + std::to_string(i));
    EXPECT_EQ(seen[i].result, c.steps[i].result);
    if (c.steps[i].result != -1 && c.steps[i].result != '?') {
      EXPECT_EQ(seenArguments[i], c.steps[i].argument != nullptr ? c.steps[i].argument : "<none>");
    }
  }
  EXPECT_EQ(scanIndex, c.finalIndex);
  EXPECT_EQ(err, c.stderrText);
}

TEST(ScanOptionTest, Table) {
  const ScanCase cases[] = {
      {"separate flags", {"prog", "rec.wav", "-F", "-s"}, 2, {{'F', nullptr}, {'s', nullptr}, {-1, nullptr}}, 4, ""},
      {"cluster advances only after its last letter", {"prog", "-Fs"}, 1, {{'F', nullptr}, {'s', nullptr}, {-1, nullptr}}, 2, ""},
      {"attached argument", {"prog", "-N4096"}, 1, {{'N', "4096"}, {-1, nullptr}}, 2, ""},
      {"separate argument", {"prog", "-N", "4096"}, 1, {{'N', "4096"}, {-1, nullptr}}, 3, ""},
      {"argument that looks like an option", {"prog", "-N", "-F"}, 1, {{'N', "-F"}, {-1, nullptr}}, 3, ""},
      {"argument letter swallows the cluster", {"prog", "-NF"}, 1, {{'N', "F"}, {-1, nullptr}}, 2, ""},
      {"flag then argument in one cluster", {"prog", "-FD3", "-s"}, 1, {{'F', nullptr}, {'D', "3"}, {'s', nullptr}, {-1, nullptr}}, 3, ""},
      {"illegal letter", {"prog", "-x"}, 1, {{'?', nullptr}, {-1, nullptr}}, 2, "prog: illegal option -- x\n"},
      {"illegal letter inside a cluster", {"prog", "-xF"}, 1, {{'?', nullptr}, {'F', nullptr}, {-1, nullptr}}, 2, "prog: illegal option -- x\n"},
      {"colon is illegal", {"./bin/wavspec", "-:"}, 1, {{'?', nullptr}, {-1, nullptr}}, 2, "./bin/wavspec: illegal option -- :\n"},
      {"trailing option without its argument", {"prog", "-F", "-N"}, 1, {{'F', nullptr}, {'?', nullptr}, {-1, nullptr}}, 3, "prog: option requires an argument -- N\n"},
      {"double dash ends and is consumed", {"prog", "--", "-F"}, 1, {{-1, nullptr}}, 2, ""},
      {"double dash with letters is the same", {"prog", "--N", "5"}, 1, {{-1, nullptr}}, 2, ""},
      {"lone dash ends and stays", {"prog", "-F", "-", "-s"}, 1, {{'F', nullptr}, {-1, nullptr}}, 2, ""},
      {"dash inside a cluster ends and stays", {"prog", "-F-", "-s"}, 1, {{'F', nullptr}, {-1, nullptr}}, 1, ""},
      {"non-option word ends and stays", {"prog", "-F", "extra", "-s"}, 1, {{'F', nullptr}, {-1, nullptr}}, 2, ""},
      {"no arguments at all", {"prog"}, 1, {{-1, nullptr}}, 1, ""},
      {"start past the path", {"prog", "-x"}, 2, {{-1, nullptr}}, 2, ""},
  };
  for (const ScanCase& c : cases) RunCase(c);
}

TEST(ScanOptionTest, LetterIsWidenedAsSignedChar) {
  std::string prog = "prog", arg = "-\xe9";
  char* argv[] = {prog.data(), arg.data(), nullptr};
  scanIndex = 1;
  scanPosition = "";
  testing::internal::CaptureStderr();
  EXPECT_EQ(ScanOption(2, argv, kOptions), '?');
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "prog: illegal option -- \xe9\n");
  EXPECT_EQ(scanLetter, static_cast<signed char>('\xe9'));
}

TEST(ScanOptionTest, ErrorsLeaveTheLastArgumentAlone) {
  std::string prog = "prog", a = "-D7", b = "-x";
  char* argv[] = {prog.data(), a.data(), b.data(), nullptr};
  scanIndex = 1;
  scanPosition = "";
  testing::internal::CaptureStderr();
  EXPECT_EQ(ScanOption(3, argv, kOptions), 'D');
  EXPECT_EQ(ScanOption(3, argv, kOptions), '?');
  testing::internal::GetCapturedStderr();
  ASSERT_NE(scanArgument, nullptr);
  EXPECT_STREQ(scanArgument, "7");
}

}  // namespace
