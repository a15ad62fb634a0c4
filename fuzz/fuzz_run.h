// Running the whole program in-process, once per fuzz input.
#pragma once

#include <string>
#include <vector>

// Puts the program-wide settings and the option scanner back to their start-up values, as a
// fresh process has them.
void ResetProgramState();

// An argument vector as main receives it: mutable strings and a null-terminated pointer array.
struct ArgumentVector {
  std::vector<std::string> storage;
  std::vector<char*> pointers;
};
ArgumentVector MakeArgumentVector(const std::vector<std::string>& args);

// Resets the program state and calls RunAnalysis. It owns nothing with a destructor, so a
// longjmp out of the run (see fuzz_arguments.cc) skips no clean-up of its own.
int RunInProcess(ArgumentVector& argv);

// A private directory for the fuzz target's files, created on first use and removed at exit.
const std::string& FuzzDirectory();

// Sends the program's standard output to /dev/null: the console texts are not checked here and
// would only slow the fuzzer down.
void SilenceStandardOutput();
