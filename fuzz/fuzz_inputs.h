// How the fuzz targets turn their input bytes into a run of wavspec; shared with the test that
// replays the saved regression inputs, so a replay runs exactly what the fuzzer ran.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The argument vector for analysing the recording at path: a small transform, a window and the
// per-bin lines, so every stage of the run is reached with little work.
std::vector<std::string> RecordingArguments(const std::string& program, const std::string& path);

// The argument vector for fuzzed options: program, path, then data split at NUL bytes (at most
// kMaxFuzzedArguments pieces). The path is fixed so that a fuzzed run never writes elsewhere.
inline constexpr size_t kMaxFuzzedArguments = 32;
std::vector<std::string> FuzzedArguments(const std::string& program, const std::string& path,
                                         const uint8_t* data, size_t size);

// The recording that the option fuzzer analyses: 1000 stereo 16-bit frames of a tone.
std::string OptionFuzzRecording();
