// libFuzzer target: the input bytes, split at NUL bytes, are the options after a fixed small
// recording's path; the whole program runs with them. The path stays fixed so that a fuzzed
// run can only ever write that recording's report.
//
// Usage errors end the process through exit() from the usage code. This target is linked with
// -Wl,--wrap=exit, so those calls land in __wrap_exit below, which jumps back to the input's
// start with longjmp. That is safe here because exit() is only reached from PrintUsage, which
// the run calls while it is still scanning options: no object with a destructor, open file or
// allocation is live in any frame between the setjmp and PrintUsage (the argument vector is
// built before the setjmp, RunInProcess holds nothing, and the run has not yet opened or
// allocated anything), so nothing is skipped but the frames themselves; the settings are reset
// before each input anyway. LeakSanitizer checks each input, so a future allocation in those
// frames would show up as a leak. Calls to exit() outside a run (libFuzzer's own) go to the
// real exit.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/fuzz_inputs.h"
#include "fuzz/fuzz_run.h"
#include "tests/temp_dir.h"

namespace {

std::jmp_buf usageExit;
volatile bool insideRun = false;

}  // namespace

extern "C" [[noreturn]] void __real_exit(int status);

extern "C" [[noreturn]] void __wrap_exit(int status) {
  if (insideRun) {
    insideRun = false;
    std::longjmp(usageExit, 1);
  }
  __real_exit(status);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SilenceStandardOutput();
  WriteFile(FuzzDirectory() + "/rec.wav", OptionFuzzRecording());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FuzzDirectory() + "/rec.wav";
  ArgumentVector argv = MakeArgumentVector(FuzzedArguments("wavspec", path, data, size));
  if (setjmp(usageExit) == 0) {
    insideRun = true;
    RunInProcess(argv);
  }
  insideRun = false;
  std::remove((path + ".txt").c_str());
  return 0;
}
