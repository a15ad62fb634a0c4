#include "tools/plot/atomic_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

AtomicOutput::~AtomicOutput() { Abandon(); }

void AtomicOutput::Abandon() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporaryPath_.empty()) unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
}

bool AtomicOutput::Open(const std::string& path, std::string* error) {
  Abandon();
  path_ = path;
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // A hidden name in the same directory, so the final rename never crosses file systems.
  // O_EXCL never takes over an existing file; the mode is left to the umask like any new file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = directory + "." + name + ".tmp-" + std::to_string(getpid()) +
                                  "-" + std::to_string(attempt);
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      *error = std::strerror(errno);
      return false;
    }
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
      *error = std::strerror(errno);
      close(fd);
      unlink(candidate.c_str());
      return false;
    }
    temporaryPath_ = candidate;
    return true;
  }
  *error = "cannot find a free temporary name";
  return false;
}

bool AtomicOutput::Commit(std::string* error) {
  if (file_ == nullptr) {
    *error = "nothing to commit";
    return false;
  }
  bool ok = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
  int savedErrno = errno;
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  file_ = nullptr;
  if (ok && rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    *error = std::strerror(savedErrno);
    Abandon();
    return false;
  }
  temporaryPath_.clear();
  return true;
}
