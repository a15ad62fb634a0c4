// Turns command-line options into settings.
#pragma once

#include <cstdint>

// The options wavspec accepts; a letter followed by ':' takes an argument.
inline constexpr const char kOptionString[] = "N:n:D:d:W:w:FfSsh";

// Scans the next option. Its argument (or the empty text) is copied into buffer, cut to
// capacity - 1 characters. Leftover non-option arguments end the process with the usage text.
int32_t NextOption(int32_t argumentCount, char* const argumentVector[], char* buffer,
                   int32_t capacity);

// Applies one option letter with its argument text to the program-wide settings.
// An unknown letter (or '?') ends the process with the usage text and status 1.
void ApplyOption(int32_t letter, const char* argumentText);

// Reads a decimal integer as atoi does (white space, one sign, digits; no digits give 0),
// saturating at INT32_MIN / INT32_MAX instead of overflowing.
int32_t ReadInteger(const char* text);
