#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace korvo::test {
namespace {

void writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

ChildResult runInChild(const std::function<std::string()>& body, int timeoutMs) {
  ChildResult result;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    std::string report;
    try {
      report = body();
    } catch (...) {
      report = "exception";
    }
    writeAll(pipeFds[1], report);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  if (pid < 0) {
    ::close(pipeFds[0]);
    return result;
  }
  result.started = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      result.timedOut = true;
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd p{pipeFds[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n > 0) result.report.append(buffer, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR) break;
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

Child::Child(const std::function<void(int)>& body) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(pipeFds[0]);
    body(pipeFds[1]);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  if (pid_ < 0) {
    ::close(pipeFds[0]);
    return;
  }
  started_ = true;
  readFd_ = pipeFds[0];
  ::fcntl(readFd_, F_SETFL, ::fcntl(readFd_, F_GETFL) | O_NONBLOCK);
}

bool Child::ended() {
  if (pid_ <= 0) return true;
  int status = 0;
  pid_t got;
  while ((got = ::waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (got == 0) return false;
  pid_ = -1;
  return true;
}

Child::~Child() {
  kill();
  if (readFd_ >= 0) ::close(readFd_);
}

std::string Child::readAvailable() {
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = readFd_ >= 0 ? ::read(readFd_, buffer, sizeof buffer) : -1;
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

bool Child::waitForOutput(int timeoutMs) {
  if (readFd_ < 0) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd p{readFd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) > 0) return true;
  }
}

std::string Child::readToEnd(int timeoutMs) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (readFd_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    pollfd p{readFd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(readFd_, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      break;
    }
  }
  return out;
}

void Child::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace korvo::test
