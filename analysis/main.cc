#include "analysis/run.h"

int main(int argc, char* argv[]) { return RunAnalysis(argc, argv); }
