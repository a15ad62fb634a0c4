#include "cli/options.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "cli/option_scanner.h"
#include "cli/settings.h"
#include "cli/usage.h"

namespace {

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  }
  return *a == *b;
}

WindowKind WindowFromName(const char* name) {
  struct Named {
    const char* name;
    WindowKind kind;
  };
  static constexpr Named kWindows[] = {{"hamming", WindowKind::hamming},
                                       {"hanning", WindowKind::hanning},
                                       {"triangular", WindowKind::triangular},
                                       {"welch", WindowKind::welch}};
  for (const Named& w : kWindows) {
    if (EqualsIgnoringAsciiCase(name, w.name)) return w.kind;
  }
  return WindowKind::unknown;
}

}  // namespace

int32_t ReadInteger(const char* text) {
  while (IsCSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  // Accumulate the magnitude in 64 bits and stop growing once it is past the 32-bit range.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (*text - '0');
  }
  if (negative) {
    return magnitude >= kLimit ? std::numeric_limits<int32_t>::min()
                               : static_cast<int32_t>(-magnitude);
  }
  return magnitude >= kLimit ? std::numeric_limits<int32_t>::max()
                             : static_cast<int32_t>(magnitude);
}

int32_t NextOption(int32_t argumentCount, char* const argumentVector[], char* buffer,
                   int32_t capacity) {
  const int32_t result = ScanOption(argumentCount, argumentVector, kOptionString);
  if (result == -1 && scanIndex != argumentCount) PrintUsage(true);
  if (capacity > 0) {
    const char* text = scanArgument != nullptr ? scanArgument : "";
    const size_t length = strnlen(text, static_cast<size_t>(capacity) - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
  }
  return result;
}

void ApplyOption(int32_t letter, const char* argumentText) {
  switch (static_cast<signed char>(letter)) {
    case 'N':
    case 'n':
      settings.fftSize = ReadInteger(argumentText);
      UpdateDerivedSizes(settings);
      break;
    case 'D':
    case 'd':
      settings.rangeCount = ReadInteger(argumentText);
      break;
    case 'W':
    case 'w':
      settings.window = WindowFromName(argumentText);
      break;
    case 'F':
      settings.printAllData = 1;
      break;
    case 'f':
      settings.printAllData = 0;
      break;
    case 'S':
      settings.sumByRanges = 1;
      break;
    case 's':
      settings.sumByRanges = 0;
      break;
    case 'h':
      PrintUsage(false);
      break;
    default:
      PrintUsage(true);
  }
}
