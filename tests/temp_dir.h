// A scoped temporary directory for tests: created fresh, removed with all it holds.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Reads a whole file; returns false when it can't be read.
bool ReadFile(const std::string& path, std::string* contents);
// Writes a whole file, replacing it; returns false on failure.
bool WriteFile(const std::string& path, const std::string& contents);
// True when something (file, directory, link) exists at path, without following a link.
bool PathExists(const std::string& path);
// The names in a directory, sorted, without "." and "..".
std::string ListDirectory(const std::string& path);
