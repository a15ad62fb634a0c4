// File-system faults around the recording and the report, whole-program: each failure ends
// with its message and status 1, at once, and leaves the directory exactly as it was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/process.h"
#include "tests/riff_builder.h"
#include "tests/temp_dir.h"

namespace {

constexpr double kTimeLimitSeconds = 30;

// 64 frames at +0.5 / -0.25 of full scale: analysed with -N 64.
std::string Recording() { return PlainWav16(ConstantPcm16(64, 16384, -8192)); }

// What a directory holds, entry by entry: names, kinds, file contents, link targets.
std::string Snapshot(const std::string& dir) {
  std::string out;
  std::vector<std::filesystem::path> entries;
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(dir, ignored)) entries.push_back(e.path());
  std::sort(entries.begin(), entries.end());
  for (const auto& p : entries) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) continue;
    out += p.filename().string() + " mode " + std::to_string(st.st_mode & 07777) + ": ";
    if (S_ISLNK(st.st_mode)) {
      out += "link to " + std::filesystem::read_symlink(p, ignored).string();
    } else if (S_ISREG(st.st_mode)) {
      std::string contents;
      ReadFile(p.string(), &contents);
      out += "file of " + std::to_string(contents.size()) + " bytes, hash " +
             std::to_string(std::hash<std::string>{}(contents));
    } else if (S_ISDIR(st.st_mode)) {
      out += "directory {" + Snapshot(p.string()) + "}";
    } else {
      out += "special";
    }
    out += "\n";
  }
  return out;
}

ProcessResult RunWavspec(const std::string& cwd, const std::vector<std::string>& args,
                         ProcessOptions options = {}) {
  std::vector<std::string> argv = {WavspecBinary()};
  argv.insert(argv.end(), args.begin(), args.end());
  options.workingDirectory = cwd;
  options.timeoutSeconds = kTimeLimitSeconds;
  return RunProcess(argv, options);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void ExpectCleanEnd(const ProcessResult& r) {
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.err, "");
}

// --- the report can't be written: message, status 1, the directory untouched ---------------

struct ReportFault {
  const char* name;
  // Prepares dir (which holds rec.wav) and returns the options for the run.
  std::function<ProcessOptions(const TempDir& dir)> prepare;
  const char* message;  // followed by the report path
};

TEST(FileSystemTest, ReportFaultsLeaveTheDirectoryAsItWas) {
  const ReportFault faults[] = {
      {"read-only directory, as an unprivileged user",
       [](const TempDir& dir) {
         // The directory above must let nobody through; the recording must be readable.
         chmod(dir.path().c_str(), 0755);
         chmod(dir.File("rec.wav").c_str(), 0644);
         EXPECT_TRUE(WriteFile(dir.File("rec.wav.txt"), "an earlier report"));
         chmod(dir.File("rec.wav.txt").c_str(), 0644);
         chmod(dir.path().c_str(), 0555);
         ProcessOptions o;
         o.dropPrivileges = true;
         return o;
       },
       "\nCan't create report file: "},
      {"report path is a directory",
       [](const TempDir& dir) {
         std::filesystem::create_directory(dir.File("rec.wav.txt"));
         EXPECT_TRUE(WriteFile(dir.File("rec.wav.txt") + "/inside", "untouched"));
         return ProcessOptions{};
       },
       "\nCan't write report file: "},
      {"file-size limit makes the writes fail",
       [](const TempDir& dir) {
         EXPECT_TRUE(WriteFile(dir.File("rec.wav.txt"), "an earlier report"));
         ProcessOptions o;
         o.fileSizeLimit = 100;
         return o;
       },
       "\nCan't write report file: "},
      {"file-size limit of zero",
       [](const TempDir&) {
         ProcessOptions o;
         o.fileSizeLimit = 0;
         return o;
       },
       "\nCan't write report file: "},
  };
  for (const ReportFault& f : faults) {
    SCOPED_TRACE(f.name);
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("rec.wav"), Recording()));
    const ProcessOptions options = f.prepare(dir);
    const std::string before = Snapshot(dir.path());
    const ProcessResult r = RunWavspec(dir.path(), {"rec.wav", "-N", "64"}, options);
    ExpectCleanEnd(r);
    EXPECT_EQ(r.status, 1);
    std::string expected = "\n";
    expected += f.message;
    expected += "rec.wav.txt\n";
    EXPECT_TRUE(EndsWith(r.out, expected)) << r.out;
    EXPECT_EQ(Snapshot(dir.path()), before);
  }
}

TEST(FileSystemTest, ReportNameLongerThanTheFileSystemAllows) {
  TempDir dir;
  const long nameMax = pathconf(dir.path().c_str(), _PC_NAME_MAX);
  ASSERT_GT(nameMax, 8);
  // The recording's name just fits; with ".txt" appended the report's does not.
  const std::string wav = std::string(static_cast<size_t>(nameMax) - 7, 'a') + ".wav";
  ASSERT_TRUE(WriteFile(dir.File(wav), Recording()));
  const std::string before = Snapshot(dir.path());
  const ProcessResult r = RunWavspec(dir.path(), {wav, "-N", "64"});
  ExpectCleanEnd(r);
  EXPECT_EQ(r.status, 1);
  // The temporary report is created; moving it to the name that does not fit fails.
  EXPECT_TRUE(EndsWith(r.out, "\n\nCan't write report file: " + wav + ".txt\n")) << r.out;
  EXPECT_EQ(Snapshot(dir.path()), before);
}

// A symbolic link at the report path is replaced by the report; what it pointed to stays.
TEST(FileSystemTest, SymbolicLinkAtReportPathIsReplacedNotFollowed) {
  for (const char* target : {"target.txt", "/dev/full"}) {
    SCOPED_TRACE(target);
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("rec.wav"), Recording()));
    ASSERT_TRUE(WriteFile(dir.File("target.txt"), "the link's target"));
    ASSERT_EQ(symlink(target, dir.File("rec.wav.txt").c_str()), 0);
    const ProcessResult r = RunWavspec(dir.path(), {"rec.wav", "-N", "64"});
    ExpectCleanEnd(r);
    EXPECT_EQ(r.status, 0) << r.out;
    struct stat st;
    ASSERT_EQ(lstat(dir.File("rec.wav.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    std::string report, kept;
    ASSERT_TRUE(ReadFile(dir.File("rec.wav.txt"), &report));
    EXPECT_NE(report.find("\nFFTsize=64   Windows:No\n"), std::string::npos);
    ASSERT_TRUE(ReadFile(dir.File("target.txt"), &kept));
    EXPECT_EQ(kept, "the link's target");
    EXPECT_EQ(ListDirectory(dir.path()), "rec.wav\nrec.wav.txt\ntarget.txt\n");
  }
}

// --- unusual but valid recording paths: used exactly as typed -------------------------------

TEST(FileSystemTest, UnusualRecordingPathsWork) {
  TempDir dir;
  // Five nested directories of 200 characters: a path well past 1019 characters.
  std::string deep;
  for (int i = 0; i < 5; ++i) deep += std::string(200, static_cast<char>('a' + i)) + "/";
  ASSERT_TRUE(std::filesystem::create_directories(dir.File(deep)));
  const std::string paths[] = {"my recording 1.wav", "rec\xff\xfe\x80.wav", deep + "rec.wav"};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path.size() > 100 ? "a path of " + std::to_string(path.size()) + " characters" : path);
    ASSERT_TRUE(WriteFile(dir.File(path), Recording()));
    const ProcessResult r = RunWavspec(dir.path(), {path, "-N", "64"});
    ExpectCleanEnd(r);
    EXPECT_EQ(r.status, 0) << r.out;
    std::string report;
    ASSERT_TRUE(ReadFile(dir.File(path + ".txt"), &report));
    EXPECT_TRUE(EndsWith(report, "\n\nFILE INFO:\n" + r.out));
    // The absolute form of the long path works too.
    if (path == paths[2]) {
      ASSERT_GT(dir.File(path).size(), 1019u);
      ASSERT_EQ(unlink(dir.File(path + ".txt").c_str()), 0);
      const ProcessResult absolute = RunWavspec(dir.path(), {dir.File(path), "-N", "64"});
      EXPECT_EQ(absolute.status, 0) << absolute.out;
      EXPECT_TRUE(PathExists(dir.File(path + ".txt")));
    }
  }
}

// --- recordings that are not regular files: refused at once, never opened for reading -------

TEST(FileSystemTest, RecordingThatIsNotARegularFileIsRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.File("folder.wav").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(dir.File("fifo.wav").c_str(), 0644), 0);
  const std::string before = Snapshot(dir.path());
  for (const char* path : {"folder.wav", "fifo.wav"}) {
    SCOPED_TRACE(path);
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = RunWavspec(dir.path(), {path, "-N", "64"});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ExpectCleanEnd(r);
    EXPECT_LT(seconds, 10) << "it waited for a writer";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "\nCan't open or unknown format: " + std::string(path) + "\n");
    EXPECT_EQ(Snapshot(dir.path()), before);
  }
}

TEST(FileSystemTest, RecordingThatIsATerminalIsRefusedAtOnce) {
  struct FdCloser {
    void operator()(const int* fd) const {
      close(*fd);
      delete fd;
    }
  };
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) GTEST_SKIP() << "no pseudo-terminal can be had here";
  std::unique_ptr<const int, FdCloser> keep(new int(master));
  const char* slave = ptsname(master);
  if (grantpt(master) != 0 || unlockpt(master) != 0 || slave == nullptr) {
    GTEST_SKIP() << "the pseudo-terminal can't be unlocked";
  }
  const std::string path = slave;
  TempDir dir;
  const ProcessResult r = RunWavspec(dir.path(), {path, "-N", "64"});
  ExpectCleanEnd(r);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "\nCan't open or unknown format: " + path + "\n");
  EXPECT_FALSE(PathExists(path + ".txt"));
  EXPECT_EQ(ListDirectory(dir.path()), "");
}

}  // namespace
