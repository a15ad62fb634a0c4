// Runs a program as a child process and collects its output, for whole-program tests.
#pragma once

#include <string>
#include <vector>

struct ProcessResult {
  int status = -1;        // exit status 0 ... 255, or -1 when it did not exit normally
  int signal = 0;         // the terminating signal, if any
  std::string out;        // standard output
  std::string err;        // standard error
  bool timedOut = false;  // killed after ProcessOptions.timeoutSeconds
  long maxResidentKilobytes = 0;  // the child's peak resident memory
};

struct ProcessOptions {
  std::string workingDirectory;  // empty: the current one
  std::string standardInput;     // written to the child's stdin, then closed
  long fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes for the child; -1 leaves it
  bool dropPrivileges = false;   // run as nobody (uid/gid 65534) when started as root
  double timeoutSeconds = 0;     // > 0: kill the child (SIGKILL) once it has run this long
  std::vector<std::string> environment;  // "NAME=value" set in the child over the inherited ones
};

// Runs argv[0] (a path) with argv; argv[0] is also passed as the program's name.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// The path of the wavspec binary under test.
std::string WavspecBinary();
