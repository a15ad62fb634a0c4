// A file written whole or not at all: a temporary file next to the target, renamed over it
// once every byte is written and the file is closed.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class ReportFile {
 public:
  // Creates a fresh temporary file (unpredictable name, mode 0666 less the umask) in the
  // directory of path. Check created() before writing.
  explicit ReportFile(std::string path);
  // Removes the temporary file unless Commit() succeeded.
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Whether the temporary file exists and no write has failed so far.
  bool created() const { return fd_ >= 0; }
  bool ok() const { return fd_ >= 0 && !failed_; }

  // Appends bytes; they go to the file in large blocks. A failure is remembered and makes
  // Commit() fail; later appends are ignored.
  void Append(const char* data, size_t size);
  void Append(std::string_view text) { Append(text.data(), text.size()); }

  // Writes what is buffered, closes the file and renames it over the target path (a symbolic
  // link there is replaced, not followed). Returns false, removing the temporary file and
  // leaving the target as it was, when any write, the close or the rename failed.
  bool Commit();

  // The temporary file's path while it exists (for tests); empty after Commit().
  const std::string& temporaryPath() const { return temporaryPath_; }

 private:
  bool Flush();
  void Discard();

  std::string path_;
  std::string temporaryPath_;
  int fd_ = -1;
  bool failed_ = false;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};
