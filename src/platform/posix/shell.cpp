#include "platform/shell.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

extern char** environ;

namespace korvo {
namespace {

// The first executable "xdg-open" on PATH; empty when there is none.
std::string findOpener() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/xdg-open";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace

std::string openLink(const std::string& link) {
  std::string opener = findOpener();
  if (opener.empty()) return "no xdg-open on PATH";
  char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(link.c_str()), nullptr};
  // Two forks, so the opener is nobody's child in the host and the host
  // waits only for the first, short-lived fork. Between fork and exec only
  // async-signal-safe calls are made.
  pid_t child = fork();
  if (child < 0) return "xdg-open could not be started";
  if (child == 0) {
    pid_t grandchild = fork();
    if (grandchild == 0) {
      closefrom(3);  // the host's files and sockets stay with the host
      execve(opener.c_str(), argv, environ);
      _exit(127);
    }
    _exit(grandchild < 0 ? 1 : 0);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0) return "xdg-open could not be started";
  return {};
}

}  // namespace korvo
