// The POSIX side of loopback_server.h and of loopback_socket.h. The stop
// signal and an open gate are a byte written to a pipe, which poll waits
// for beside the connection.
#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support/loopback_socket.h"

namespace korvo::test {
namespace {

constexpr const char* kTakenHint =
    " (a server of this case still listens there, or another case has the same address)";

}  // namespace

namespace socket_io {

Wait waitFor(int fd, Ready ready, int stopFd, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const short events = ready == Ready::Read ? POLLIN : POLLOUT;
  for (;;) {
    int left = -1;
    if (timeoutMs >= 0) {
      left = static_cast<int>(std::max<long long>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(
                 deadline - std::chrono::steady_clock::now())
                 .count()));
    }
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, events, 0}};
    const int got = ::poll(fds, fd >= 0 ? 2 : 1, left);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Wait::Stop;
    if (fds[0].revents != 0) return Wait::Stop;
    if (got == 0) return Wait::Timeout;
    return Wait::Ready;
  }
}

bool waitForGate(const Gate& gate, int stopFd) {
  return waitFor(gate.fd(), Ready::Read, stopFd, -1) == Wait::Ready;
}

int acceptConnection(int listenFd) {
  return ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

namespace {
bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
}  // namespace

long receive(int fd, char* buffer, std::size_t size) {
  const ssize_t got = ::recv(fd, buffer, size, 0);
  if (got >= 0) return static_cast<long>(got);
  return wouldBlock() ? kWouldBlock : kFailed;
}

long sendSome(int fd, const char* data, std::size_t size) {
  const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
  if (sent >= 0) return static_cast<long>(sent);
  return wouldBlock() ? kWouldBlock : kFailed;
}

void resetOnClose(int fd) {
  const linger hardClose{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hardClose, sizeof hardClose);
}

void shutdownSend(int fd) { ::shutdown(fd, SHUT_WR); }
void closeSocket(int fd) { ::close(fd); }

}  // namespace socket_io

bool mayBindPort80() {
  if (::geteuid() == 0) return true;
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    unsigned long long caps = 0;
    std::istringstream(line.substr(7)) >> std::hex >> caps;
    constexpr int kCapNetBindService = 10;
    if (caps & (1ull << kCapNetBindService)) return true;
  }
  std::ifstream unprivileged("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  int firstUnprivileged = 1024;
  return (unprivileged >> firstUnprivileged) && firstUnprivileged <= 80;
}

Gate::Gate() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) == 0) {
    read_ = ends[0];
    write_ = ends[1];
  }
}

Gate::~Gate() {
  if (read_ >= 0) ::close(read_);
  if (write_ >= 0) ::close(write_);
}

void Gate::open() {
  open_ = true;
  const char byte = 1;
  if (write_ >= 0 && ::write(write_, &byte, 1) != 1) {
  }
}

LoopbackServer::LoopbackServer(std::string address, std::vector<Script> scripts)
    : address_(std::move(address)), scripts_(std::move(scripts)) {
  if (scripts_.empty()) scripts_.emplace_back();
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  if (!listenOn(SOMAXCONN)) return;
  thread_ = std::thread([this] { run(); });
}

LoopbackServer::LoopbackServer(std::string address, Script script)
    : LoopbackServer(std::move(address), std::vector<Script>{std::move(script)}) {}

LoopbackServer::LoopbackServer(Unanswered, std::string address)
    : address_(std::move(address)) {
  // A backlog of 0 holds one connection; once the filler takes that place,
  // the system drops every further connection request unanswered.
  if (!listenOn(0)) return;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(80);
  ::inet_pton(AF_INET, address_.c_str(), &peer.sin_addr);
  fillerFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fillerFd_ < 0 || ::connect(fillerFd_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0)
    error_ = std::string("cannot fill the accept queue: ") + std::strerror(errno);
}

LoopbackServer LoopbackServer::unanswered(std::string address) {
  return LoopbackServer(Unanswered{}, std::move(address));
}

LoopbackServer::~LoopbackServer() {
  if (wakeWrite_ >= 0) {
    const char stop = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &stop, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (int fd : {listenFd_, fillerFd_, wakeRead_, wakeWrite_})
    if (fd >= 0) ::close(fd);
}

bool LoopbackServer::listenOn(int backlog) {
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_port = htons(80);
  if (::inet_pton(AF_INET, address_.c_str(), &self.sin_addr) != 1) {
    error_ = "not an IPv4 address: " + address_;
    return false;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error_ = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  // Lets a later server of the same case listen while connections of an
  // earlier one are still in TIME_WAIT; a listening socket still refuses it.
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      ::listen(fd, backlog) != 0) {
    const int failure = errno;
    ::close(fd);
    error_ = "cannot listen on " + address_ + ":80: " + std::strerror(failure);
    if (failure == EADDRINUSE) error_ += kTakenHint;
    return false;
  }
  listenFd_ = fd;
  return true;
}

}  // namespace korvo::test
