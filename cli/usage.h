// The usage text of wavspec.
#pragma once

// Writes the usage text to stdout; with exitAfter set the process then ends with status 1.
void PrintUsage(bool exitAfter);
