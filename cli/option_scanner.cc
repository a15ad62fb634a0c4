#include "cli/option_scanner.h"

#include <cstdio>
#include <cstring>

int32_t scanIndex = 1;
const char* scanArgument = nullptr;
int32_t scanLetter = 0;
const char* scanPosition = "";

int32_t ScanOption(int32_t argumentCount, char* const argumentVector[], const char* optionString) {
  if (*scanPosition == '\0') {
    if (scanIndex >= argumentCount || argumentVector[scanIndex][0] != '-') {
      scanPosition = "";
      return -1;  // a non-option argument stays unconsumed
    }
    scanPosition = argumentVector[scanIndex];
    if (scanPosition[1] != '\0') {
      ++scanPosition;
      if (*scanPosition == '-') {  // "--" (whatever follows) ends the options and is consumed
        ++scanIndex;
        scanPosition = "";
        return -1;
      }
    }
    // A lone "-" leaves scanPosition on the '-' itself; it ends the scan below.
  }

  scanLetter = static_cast<signed char>(*scanPosition++);
  const char* entry = scanLetter == ':' ? nullptr : std::strchr(optionString, scanLetter);
  if (entry == nullptr) {
    if (scanLetter == '-') return -1;  // lone "-" or a '-' inside a cluster: not consumed
    if (*scanPosition == '\0') ++scanIndex;
    std::fprintf(stderr, "%s: illegal option -- %c\n", argumentVector[0], scanLetter);
    return '?';
  }

  if (entry[1] != ':') {
    scanArgument = nullptr;
    if (*scanPosition == '\0') ++scanIndex;
    return scanLetter;
  }

  if (*scanPosition != '\0') {
    scanArgument = scanPosition;  // attached: -N4096
  } else {
    ++scanIndex;
    if (scanIndex >= argumentCount) {
      scanPosition = "";
      std::fprintf(stderr, "%s: option requires an argument -- %c\n", argumentVector[0], scanLetter);
      return '?';
    }
    scanArgument = argumentVector[scanIndex];  // separate, even when it begins with '-'
  }
  scanPosition = "";
  ++scanIndex;
  return scanLetter;
}
