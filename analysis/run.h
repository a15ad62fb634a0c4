// The entry routine of wavspec: command line, signal analysis, report.
#pragma once

#include <cstdint>

// Runs the whole program; the result is the process exit status: 0 report written,
// 1 usage error, unusable settings or a file that can't be opened or reported,
// 2 short read or non-finite samples, -2 out of memory.
int32_t RunAnalysis(int32_t argumentCount, char* argumentVector[]);
