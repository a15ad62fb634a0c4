// libFuzzer target: the input bytes are a recording; the whole program analyses it with a
// small transform. A crash, a sanitizer report, a hang (-timeout) or a leak is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_inputs.h"
#include "fuzz/fuzz_run.h"
#include "tests/temp_dir.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SilenceStandardOutput();
  FuzzDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = FuzzDirectory() + "/rec.wav";
  if (!WriteFile(path, std::string(reinterpret_cast<const char*>(data), size))) return 0;
  // The recording's options never make the usage code end the process.
  ArgumentVector argv = MakeArgumentVector(RecordingArguments("wavspec", path));
  RunInProcess(argv);
  std::remove((path + ".txt").c_str());
  return 0;
}
