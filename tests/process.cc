#include "tests/process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace {

void CloseIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  int outPipe[2], errPipe[2], inPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 ||
      pipe2(inPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  std::vector<std::string> environment = options.environment;  // putenv keeps the pointers

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    if (options.fileSizeLimit >= 0) {
      struct rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                             static_cast<rlim_t>(options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.dropPrivileges && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(126);
    }
    for (std::string& entry : environment) putenv(entry.data());
    execv(args[0], args.data());
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);
  int inFd = inPipe[1], outFd = outPipe[0], errFd = errPipe[0];

  ProcessResult result;
  size_t written = 0;
  if (options.standardInput.empty()) CloseIfOpen(inFd);
  signal(SIGPIPE, SIG_IGN);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(options.timeoutSeconds));
  while (outFd >= 0 || errFd >= 0) {
    int waitMs = -1;
    if (options.timeoutSeconds > 0 && !result.timedOut) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        // The pipes close once the child is gone; keep reading what it wrote until then.
        kill(pid, SIGKILL);
        result.timedOut = true;
      } else {
        waitMs = static_cast<int>(left.count()) + 1;
      }
    }
    pollfd fds[3];
    int count = 0;
    if (outFd >= 0) fds[count++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[count++] = {errFd, POLLIN, 0};
    if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
    const int ready = poll(fds, static_cast<nfds_t>(count), waitMs);
    if (ready == 0) continue;
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        const ssize_t n = write(inFd, options.standardInput.data() + written,
                                options.standardInput.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        if (n < 0 || written == options.standardInput.size()) CloseIfOpen(inFd);
        continue;
      }
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      std::string& target = fds[i].fd == outFd ? result.out : result.err;
      if (n > 0) {
        target.append(buffer, static_cast<size_t>(n));
      } else {
        CloseIfOpen(fds[i].fd == outFd ? outFd : errFd);
      }
    }
  }
  CloseIfOpen(inFd);
  int wstatus = 0;
  struct rusage usage {};
  while (wait4(pid, &wstatus, 0, &usage) < 0 && errno == EINTR) {
  }
  result.maxResidentKilobytes = usage.ru_maxrss;
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
  return result;
}

std::string WavspecBinary() { return WAVSPEC_BINARY; }
