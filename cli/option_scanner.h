// Single-letter option scanner in the manner of POSIX getopt with the BSD diagnostics.
// It never reorders argv and stops at the first argument that is not an option.
#pragma once

#include <cstdint>

// Index in argv of the next argument to examine. Starts at 1.
extern int32_t scanIndex;
// Argument of the most recent option that takes one; null after an option without one.
extern const char* scanArgument;
// The character most recently taken as an option letter (signed char widened).
extern int32_t scanLetter;
// Next character to examine inside the current cluster; at its end a new argument is started.
extern const char* scanPosition;

// Returns the next option letter, '?' for a bad option or missing argument (after a diagnostic
// on stderr), or -1 when the options are over. A letter followed by ':' in optionString takes
// an argument, attached (-N4096) or as the next argument (-N 4096).
int32_t ScanOption(int32_t argumentCount, char* const argumentVector[], const char* optionString);
