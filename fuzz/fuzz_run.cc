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

ArgumentVector MakeArgumentVector(const std::vector<std::string>& args) {
  ArgumentVector v;
  v.storage = args;
  for (std::string& a : v.storage) v.pointers.push_back(a.data());
  v.pointers.push_back(nullptr);
  return v;
}

int RunInProcess(ArgumentVector& argv) {
  ResetProgramState();
  const int status = RunAnalysis(static_cast<int32_t>(argv.storage.size()), argv.pointers.data());
  std::fflush(stdout);
  return status;
}

// Under AddressSanitizer every byte of a block costs shadow memory as soon as it is allocated,
// so the gigabytes that a huge N asks for would be touched here though the program never
// touches them. Blocks above 1 GiB fail instead, which runs the program's out-of-memory path.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=1024";
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
