#include "cli/usage.h"

#include <cstdio>
#include <cstdlib>

void PrintUsage(bool exitAfter) {
  // The text ends in two tabs and no line end: shells print their prompt right after it.
  std::fputs(
      " Use:  WavFileName.ext   [options]\n"
      "\twhere options is:\n"
      "\t\t-N -FFT size (default=65536)\n"
      "\t\t-F|f -Print all data (F-on,f-off(default))\n"
      "\t\t-S|s -Print sum by ranges(S-on(default),s-off)\n"
      "\t\t-D -Number of ranges (default=8)\n"
      "\t\t-W -windows function, may be: hamming,hanning,triangular or welch\n"
      "\t\t    else - no windows function\n"
      "\t\t",
      stdout);
  if (exitAfter) std::exit(1);
}
