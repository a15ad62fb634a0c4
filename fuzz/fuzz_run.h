// Running the whole program in-process, once per fuzz input.
#pragma once

#include <string>
#include <vector>

// Puts the program-wide settings and the option scanner back to their start-up values, as a
// fresh process has them.
void ResetProgramState();

// Resets the program state and calls RunAnalysis with args (args[0] the program's name).
int RunInProcess(const std::vector<std::string>& args);

// A private directory for the fuzz target's files, created on first use and removed at exit.
const std::string& FuzzDirectory();

// Sends the program's standard output to /dev/null: the console texts are not checked here and
// would only slow the fuzzer down.
void SilenceStandardOutput();
