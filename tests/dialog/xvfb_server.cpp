#include "dialog/xvfb_server.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace korvo::test {
namespace {

constexpr int kStartTimeoutMs = 15000;

}  // namespace

std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = (end > start ? dirs.substr(start, end - start) : ".") + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

bool sendCloseRequest(const std::string& display, unsigned long window) {
  Display* connection = XOpenDisplay(display.c_str());
  if (connection == nullptr) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(connection, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(connection, window, False, NoEventMask, &event);
  XCloseDisplay(connection);
  return true;
}

XvfbServer::XvfbServer(int width, int height) {
  const std::string xvfb = findProgram("Xvfb");
  if (xvfb.empty()) {
    error_ = "Xvfb is not installed";
    return;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  // Xvfb writes the display number it took to this descriptor once it is
  // ready for clients.
  const std::string fd = std::to_string(fds[1]);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::vector<std::string> args = {xvfb, "-displayfd", fd, "-screen", "0", screen,
                                   "-nolisten", "tcp", "-noreset"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    fcntl(fds[1], F_SETFD, 0);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    setpgid(0, 0);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    error_ = "fork failed";
    return;
  }
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (number.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    struct pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[32];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    number.append(buf, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos || number.size() < 2) {
    error_ = "Xvfb did not start";
    return;
  }
  display_ = ":" + number.substr(0, number.find('\n'));
}

XvfbServer::~XvfbServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace korvo::test
