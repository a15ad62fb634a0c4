// A file written under a temporary name beside its destination and renamed over it only once
// it is complete, so readers see the old file, the whole new one, or nothing.
#pragma once

#include <cstdio>
#include <string>

class AtomicOutput {
 public:
  AtomicOutput() = default;
  // Removes the temporary file unless Commit succeeded.
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  // Creates the temporary file in path's directory; false with *error set on failure.
  bool Open(const std::string& path, std::string* error);
  // The stream to write to, valid between Open and Commit.
  FILE* Stream() const { return file_; }
  // Flushes, syncs and closes the temporary file, then renames it to the destination.
  bool Commit(std::string* error);

 private:
  void Abandon();
  std::string path_;
  std::string temporaryPath_;
  FILE* file_ = nullptr;
};
