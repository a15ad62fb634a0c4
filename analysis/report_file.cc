#include "analysis/report_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr size_t kBlockSize = 1 << 18;
constexpr int kCreateAttempts = 64;
// Part of the report's own name kept in the temporary name, so that the latter stays within
// the file-name limit whenever the report's name does not exceed it by much.
constexpr size_t kNameStemLength = 64;

// Sixteen hex digits of kernel randomness (or of the clock and pid if that is unavailable).
std::string RandomSuffix() {
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
    bits = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ULL ^
           static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&bits)) ^
           static_cast<uint64_t>(clock());
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
  return text;
}

// Writes all size bytes, going on after short writes and interrupted calls.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

ReportFile::ReportFile(std::string path) : path_(std::move(path)) {
  const size_t slash = path_.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    std::string candidate =
        directory + "." + name.substr(0, kNameStemLength) + "." + RandomSuffix() + ".tmp";
    // O_EXCL: never reuse or follow anything already there.
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temporaryPath_ = std::move(candidate);
      // Not value-initialised: only the pages the report fills are ever touched.
      buffer_ = std::make_unique_for_overwrite<char[]>(kBlockSize);
      return;
    }
    if (errno != EEXIST && errno != EINTR) return;
  }
}

ReportFile::~ReportFile() { Discard(); }

void ReportFile::Append(const char* data, size_t size) {
  if (!ok()) return;
  if (used_ + size > kBlockSize) {
    if (!Flush()) return;
    if (size >= kBlockSize) {
      if (!WriteAll(fd_, data, size)) failed_ = true;
      return;
    }
  }
  std::memcpy(buffer_.get() + used_, data, size);
  used_ += size;
}

bool ReportFile::Flush() {
  if (used_ > 0 && !WriteAll(fd_, buffer_.get(), used_)) failed_ = true;
  used_ = 0;
  return !failed_;
}

bool ReportFile::Commit() {
  if (!ok() || !Flush()) {
    Discard();
    return false;
  }
  // The descriptor is gone after close whatever it returns, so it is not closed twice.
  const int fd = std::exchange(fd_, -1);
  if (close(fd) != 0 && errno != EINTR) {
    Discard();
    return false;
  }
  if (rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    Discard();
    return false;
  }
  temporaryPath_.clear();
  return true;
}

void ReportFile::Discard() {
  if (fd_ >= 0) close(std::exchange(fd_, -1));
  if (!temporaryPath_.empty()) {
    unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
  failed_ = true;
}
