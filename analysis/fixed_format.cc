#include "analysis/fixed_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// Moves the len characters at out right so that they end at out + width, filling with spaces;
// returns the end. Nothing moves when they already fill the width.
char* PadLeft(char* out, size_t len, int width) {
  const size_t w = static_cast<size_t>(width);
  if (len >= w) return out + len;
  std::memmove(out + (w - len), out, len);
  std::memset(out, ' ', w - len);
  return out + w;
}

}  // namespace

char* FormatFixed(char* out, double value, int width, int precision) {
  size_t len = 0;
  if (std::isfinite(value)) {
    // to_chars with a precision is correctly rounded (ties to even), like glibc's printf in the
    // default rounding mode, and writes the sign of negative zero as printf does.
    const auto result =
        std::to_chars(out, out + kFixedMaxChars, value, std::chars_format::fixed, precision);
    len = static_cast<size_t>(result.ptr - out);
  } else {
    // printf writes the sign bit of infinities and NaNs too ("-nan" for a negative NaN).
    if (std::signbit(value)) out[len++] = '-';
    std::memcpy(out + len, std::isnan(value) ? "nan" : "inf", 3);
    len += 3;
  }
  return PadLeft(out, len, width);
}

char* FormatInt(char* out, int32_t value, int width) {
  const auto result = std::to_chars(out, out + 11, value);
  return PadLeft(out, static_cast<size_t>(result.ptr - out), width);
}
