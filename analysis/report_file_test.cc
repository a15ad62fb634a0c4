#include "analysis/report_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>

#include "tests/temp_dir.h"

namespace {

// Larger than the writer's block, so that appends of it write straight through.
const std::string kBigText(1 << 20, 'x');

// Runs body in a forked child whose file size is limited to fileSizeLimit bytes, with
// SIGXFSZ ignored as the program does; returns the child's exit status (-1: it did not exit).
int RunLimitedChild(long fileSizeLimit, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string Contents(const std::string& path) {
  std::string text;
  return ReadFile(path, &text) ? text : "<unreadable>";
}

TEST(ReportFile, CommitWritesEverythingAndLeavesOnlyTheReport) {
  TempDir dir;
  const std::string path = dir.File("rec.wav.txt");
  ASSERT_TRUE(WriteFile(path, "old report\n"));
  const mode_t oldMask = umask(022);
  std::string expected;
  {
    ReportFile file(path);
    ASSERT_TRUE(file.created());
    // The temporary file is a hidden sibling of the report.
    EXPECT_EQ(file.temporaryPath().rfind(dir.path() + "/.", 0), 0u) << file.temporaryPath();
    for (int i = 0; i < 100000; ++i) {  // many small appends across block boundaries
      const std::string line = std::to_string(i) + "\n";
      file.Append(line);
      expected += line;
    }
    file.Append(kBigText);
    expected += kBigText;
    file.Append("end\n");
    expected += "end\n";
    EXPECT_EQ(Contents(path), "old report\n");  // untouched until the commit
    EXPECT_TRUE(file.Commit());
    EXPECT_TRUE(file.temporaryPath().empty());
  }
  umask(oldMask);
  EXPECT_EQ(Contents(path), expected);
  EXPECT_EQ(ListDirectory(dir.path()), "rec.wav.txt\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);  // 0666 less the umask
}

TEST(ReportFile, UncommittedFileIsRemovedAndOldReportKept) {
  TempDir dir;
  const std::string path = dir.File("rec.wav.txt");
  ASSERT_TRUE(WriteFile(path, "old report\n"));
  {
    ReportFile file(path);
    ASSERT_TRUE(file.created());
    file.Append(kBigText);
    EXPECT_TRUE(PathExists(file.temporaryPath()));
  }
  EXPECT_EQ(Contents(path), "old report\n");
  EXPECT_EQ(ListDirectory(dir.path()), "rec.wav.txt\n");
}

TEST(ReportFile, MissingDirectoryCantBeCreated) {
  TempDir dir;
  ReportFile file(dir.File("nosuch/rec.wav.txt"));
  EXPECT_FALSE(file.created());
  file.Append("text");
  EXPECT_FALSE(file.Commit());
  EXPECT_EQ(ListDirectory(dir.path()), "");
}

TEST(ReportFile, DirectoryAtReportPathFailsTheCommit) {
  TempDir dir;
  const std::string path = dir.File("rec.wav.txt");
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  ASSERT_TRUE(WriteFile(path + "/inside", "kept"));
  ReportFile file(path);
  ASSERT_TRUE(file.created());
  file.Append("text\n");
  EXPECT_FALSE(file.Commit());
  EXPECT_EQ(ListDirectory(dir.path()), "rec.wav.txt\n");
  EXPECT_EQ(ListDirectory(path), "inside\n");
  EXPECT_EQ(Contents(path + "/inside"), "kept");
}

TEST(ReportFile, SymbolicLinkAtReportPathIsReplacedNotFollowed) {
  TempDir dir;
  const std::string path = dir.File("rec.wav.txt");
  const std::string target = dir.File("target");
  ASSERT_TRUE(WriteFile(target, "target text"));
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
  {
    ReportFile file(path);
    ASSERT_TRUE(file.created());
    file.Append("new report\n");
    EXPECT_TRUE(file.Commit());
  }
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(Contents(path), "new report\n");
  EXPECT_EQ(Contents(target), "target text");
}

// A file-size limit makes a write fail part-way (first short, then with EFBIG): in the final
// flush of a small report, in the flush of a full block, or in an append that writes straight
// through.
TEST(ReportFile, FailedWriteLeavesNothingBehind) {
  struct Case {
    const char* name;
    long limit;
    size_t pieceSize;  // appended this many bytes at a time
    int pieces;
  };
  const Case cases[] = {
      {"final flush", 100, 1000, 1},
      {"full block", 4096, 1000, 300},
      {"write-through", 4096, kBigText.size(), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("rec.wav.txt");
    ASSERT_TRUE(WriteFile(path, "old report\n"));
    const int status = RunLimitedChild(c.limit, [&] {
      ReportFile file(path);
      if (!file.created()) return 2;
      for (int i = 0; i < c.pieces; ++i) file.Append(kBigText.data(), c.pieceSize);
      return file.Commit() ? 0 : 1;
    });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Contents(path), "old report\n");
    EXPECT_EQ(ListDirectory(dir.path()), "rec.wav.txt\n");
  }
}

}  // namespace
