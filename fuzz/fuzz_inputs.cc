#include "fuzz/fuzz_inputs.h"

#include "tests/riff_builder.h"

std::vector<std::string> RecordingArguments(const std::string& program, const std::string& path) {
  return {program, path, "-N", "64", "-D", "4", "-F", "-W", "hanning"};
}

std::vector<std::string> FuzzedArguments(const std::string& program, const std::string& path,
                                         const uint8_t* data, size_t size) {
  std::vector<std::string> args = {program, path};
  if (size == 0) return args;
  std::string piece;
  for (size_t i = 0; i < size && args.size() < kMaxFuzzedArguments + 2; ++i) {
    if (data[i] == 0) {
      args.push_back(piece);
      piece.clear();
    } else {
      piece += static_cast<char>(data[i]);
    }
  }
  if (args.size() < kMaxFuzzedArguments + 2) args.push_back(piece);
  return args;
}

std::string OptionFuzzRecording() { return PlainWav16(TonePcm16(1000, 100, 7, 0.5), 8000); }
