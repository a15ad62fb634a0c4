#include "fuzz/fuzz_run.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "analysis/run.h"
#include "cli/option_scanner.h"
#include "cli/settings.h"

void ResetProgramState() {
  settings = AnalysisSettings{};
  scanIndex = 1;
  scanArgument = nullptr;
  scanLetter = 0;
  scanPosition = "";
}

int RunInProcess(const std::vector<std::string>& args) {
  ResetProgramState();
  // RunAnalysis takes a mutable vector, as main's is.
  std::vector<std::string> storage = args;
  std::vector<char*> argv;
  for (std::string& a : storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int status = RunAnalysis(static_cast<int32_t>(storage.size()), argv.data());
  std::fflush(stdout);
  return status;
}

namespace {

void RemoveFuzzDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(FuzzDirectory(), ignored);
}

}  // namespace

const std::string& FuzzDirectory() {
  static const std::string dir = [] {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/wavspec-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
  }();
  static const bool registered = (std::atexit(RemoveFuzzDirectory), true);
  (void)registered;
  return dir;
}

void SilenceStandardOutput() {
  std::fflush(stdout);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) {
    dup2(null, STDOUT_FILENO);
    close(null);
  }
}
