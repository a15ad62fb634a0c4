// Fast number formatting that gives exactly the bytes of printf's "%W.Pf" and "%Wd".
#pragma once

#include <cstddef>
#include <cstdint>

// Largest width and precision the formatters accept.
constexpr int kFixedMaxWidth = 64;
constexpr int kFixedMaxPrecision = 20;
// Room that one formatted number can need: sign, 309 integer digits of the largest double,
// the point and kFixedMaxPrecision decimals (or kFixedMaxWidth, whichever is more).
constexpr size_t kFixedMaxChars = 1 + 309 + 1 + kFixedMaxPrecision;

// Writes value as printf("%W.Pf") would (W = width, P = precision, round to nearest with
// ties to even on the exact binary value, space padding on the left, "-0.000000" for negative
// zero and for negatives that round to zero, "inf"/"-inf"/"nan"/"-nan" padded to the width).
// out must have room for kFixedMaxChars; returns the end of the text (no terminator). The text
// is stored in whole words, so bytes from that end up to out + kFixedMaxChars may change.
// Requires 0 <= width <= kFixedMaxWidth and 0 <= precision <= kFixedMaxPrecision.
char* FormatFixed(char* out, double value, int width, int precision);

// Writes value as printf("%Wd") would; returns the end of the text. out must have room for
// max(width, 11) + 16 characters, of which those past the end may change.
// Requires 0 <= width <= kFixedMaxWidth.
char* FormatInt(char* out, int32_t value, int width);
