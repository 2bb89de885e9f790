#pragma once
// Runs a piece of this test program in a forked child process, so that a
// test can crash it, kill it, hang it or change its limits and mount
// namespace without harm to the test itself. The child's report (what the
// body returns) comes back through a pipe.
#include <functional>
#include <string>
#include <sys/types.h>

namespace korvo::test {

struct ChildResult {
  bool started = false;
  bool timedOut = false;  // killed with SIGKILL after the time limit
  int exitCode = -1;      // -1 when ended by a signal
  int signal = 0;
  std::string report;     // what the body returned, or wrote before it died
};

// Forks; the child runs body, writes its result to the pipe and leaves with
// _exit(0) (no destructors, no atexit handlers of the test program). The
// child is killed once timeoutMs have passed.
ChildResult runInChild(const std::function<std::string()>& body, int timeoutMs);

// A child process that the test ends itself.
class Child {
 public:
  // Forks; the child runs body and then _exit(0)s. body may write to the
  // file descriptor it is given (the write end of a pipe).
  explicit Child(const std::function<void(int reportFd)>& body);
  ~Child();  // SIGKILLs and reaps a child still running
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return started_; }
  // True once the child has ended (and been reaped); never waits.
  bool ended();
  // Bytes the child wrote so far without waiting (up to what is there).
  std::string readAvailable();
  // Waits until the child has written something not read yet, or has ended
  // (true), or timeoutMs have passed (false). Reads nothing.
  bool waitForOutput(int timeoutMs);
  // Everything the child writes until it closes its end (when it ends), or
  // what came until timeoutMs passed.
  std::string readToEnd(int timeoutMs);
  // SIGKILL, then wait for the end.
  void kill();

 private:
  pid_t pid_ = -1;  // -1 once reaped
  bool started_ = false;
  int readFd_ = -1;
};

}  // namespace korvo::test
