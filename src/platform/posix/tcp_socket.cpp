#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>

namespace korvo {
namespace {

// A name made only of the characters a host name can hold, with no empty
// label. Anything else (a port, user information, a blank, a zero byte) can
// never resolve, so it is refused here rather than sent to a name server.
bool isLookupName(const std::string& host) {
  if (host.empty() || host.size() > 254 || host.front() == '.') return false;
  char previous = 0;
  for (char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_';
    if (!ok || (c == '.' && previous == '.')) return false;
    previous = c;
  }
  return true;
}

bool lookUp(const std::string& host, int port, sockaddr_in& address) {
  if (!isLookupName(host) || port <= 0 || port > 65535) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  bool ok = false;
  if (found->ai_family == AF_INET && found->ai_addrlen >= sizeof(sockaddr_in)) {
    std::memcpy(&address, found->ai_addr, sizeof(sockaddr_in));
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ok = true;
  }
  freeaddrinfo(found);
  return ok;
}

// Waits for a non-blocking connect to finish, at most timeoutMs in all,
// however often a signal interrupts the wait.
bool finishConnect(int fd, int timeoutMs) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  for (;;) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    return error == 0;
  }
}

}  // namespace

TcpSocket::TcpSocket() = default;

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::connectTo(const std::string& host, int port, int connectTimeoutMs) {
  close();
  sockaddr_in address{};
  if (!lookUp(host, port, address)) return false;

  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  handle_ = fd;

  // The system's own connect time-out runs to minutes; a non-blocking
  // connect lets us give up after ours.
  const int flags = ::fcntl(fd, F_GETFL);
  bool connected = flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
  if (connected) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      connected = (errno == EINPROGRESS || errno == EINTR) &&
                  finishConnect(fd, connectTimeoutMs > 0 ? connectTimeoutMs : 1);
  }
  if (connected) connected = ::fcntl(fd, F_SETFL, flags) == 0;
  if (!connected) close();
  return connected;
}

int TcpSocket::setReceiveTimeout(int milliseconds) {
  if (handle_ < 0) return -1;
  timeval tv{};
  tv.tv_sec = milliseconds / 1000;
  tv.tv_usec = (milliseconds % 1000) * 1000;
  return ::setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

int TcpSocket::sendText(std::string_view text) {
  if (handle_ < 0) return -1;
  const std::size_t size = text.size() < static_cast<std::size_t>(INT_MAX)
                               ? text.size()
                               : static_cast<std::size_t>(INT_MAX);
  // A peer that has gone away must not raise SIGPIPE in the host.
  return static_cast<int>(::send(static_cast<int>(handle_), text.data(), size, MSG_NOSIGNAL));
}

int TcpSocket::receive(char* buffer, int size) {
  if (handle_ < 0 || buffer == nullptr || size <= 0) return -1;
  for (;;) {
    const ssize_t got = ::recv(static_cast<int>(handle_), buffer, static_cast<std::size_t>(size), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kReceiveTimedOut;
    return got < 0 ? -1 : static_cast<int>(got);
  }
}

int TcpSocket::close() {
  if (handle_ < 0) return -1;
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  return ::close(fd);
}

}  // namespace korvo
