// The Windows side of loopback_server.h and of loopback_socket.h, over
// Winsock. The stop signal is a datagram on a pair of UDP sockets, so one
// WSAPoll waits for it and for the connection. Socket handles are kept in
// ints: the system's handles fit in 32 bits.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "support/loopback_server.h"
#include "support/loopback_socket.h"

namespace korvo::test {
namespace {

SOCKET sock(int fd) { return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(fd); }
int fdOf(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

// Winsock for the life of the test program.
void startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

std::string lastError(const char* what) {
  return std::string(what) + ": Winsock error " + std::to_string(WSAGetLastError());
}

constexpr const char* kTakenHint =
    " (a server of this case still listens there, or another case has the same address)";

bool wouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }

void setNonBlocking(SOCKET s) {
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
}

}  // namespace

namespace socket_io {

Wait waitFor(int fd, Ready ready, int stopFd, int timeoutMs) {
  const short events = ready == Ready::Read ? POLLRDNORM : POLLWRNORM;
  WSAPOLLFD fds[2] = {{sock(stopFd), POLLRDNORM, 0}, {sock(fd), events, 0}};
  const int got = WSAPoll(fds, fd >= 0 ? 2 : 1, timeoutMs);
  if (got < 0) return Wait::Stop;
  if (fds[0].revents != 0) return Wait::Stop;
  if (got == 0) return Wait::Timeout;
  return Wait::Ready;
}

// The test opens the gate from its own thread; the server looks every
// 10 ms (Winsock cannot poll a pipe).
bool waitForGate(const Gate& gate, int stopFd) {
  while (!gate.isOpen())
    if (waitFor(-1, Ready::Read, stopFd, 10) != Wait::Timeout) return false;
  return true;
}

int acceptConnection(int listenFd) {
  const SOCKET s = accept(sock(listenFd), nullptr, nullptr);
  if (s != INVALID_SOCKET) setNonBlocking(s);
  return fdOf(s);
}

long receive(int fd, char* buffer, std::size_t size) {
  const int got = ::recv(sock(fd), buffer, static_cast<int>(std::min<std::size_t>(size, 65536)), 0);
  if (got >= 0) return got;
  return wouldBlock() ? kWouldBlock : kFailed;
}

long sendSome(int fd, const char* data, std::size_t size) {
  const int sent = ::send(sock(fd), data, static_cast<int>(std::min<std::size_t>(size, 65536)), 0);
  if (sent >= 0) return sent;
  return wouldBlock() ? kWouldBlock : kFailed;
}

void resetOnClose(int fd) {
  const linger hardClose{1, 0};
  setsockopt(sock(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hardClose),
             sizeof hardClose);
}

void shutdownSend(int fd) { shutdown(sock(fd), SD_SEND); }
void closeSocket(int fd) { closesocket(sock(fd)); }

}  // namespace socket_io

// Binding a port below 1024 is up to the system under Wine: try it.
bool mayBindPort80() {
  startWinsock();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_port = htons(80);
  inet_pton(AF_INET, "127.0.0.254", &self.sin_addr);
  const bool ok = bind(s, reinterpret_cast<sockaddr*>(&self), sizeof self) == 0 ||
                  WSAGetLastError() == WSAEADDRINUSE;
  closesocket(s);
  return ok;
}

// Opened from the test's thread and polled by the server (waitForGate).
Gate::Gate() = default;
Gate::~Gate() = default;
void Gate::open() { open_ = true; }

LoopbackServer::LoopbackServer(std::string address, std::vector<Script> scripts)
    : address_(std::move(address)), scripts_(std::move(scripts)) {
  startWinsock();
  if (scripts_.empty()) scripts_.emplace_back();
  // The stop "pipe": a UDP socket on an ephemeral loopback port, and one
  // connected to it.
  const SOCKET reader = socket(AF_INET, SOCK_DGRAM, 0);
  const SOCKET writer = socket(AF_INET, SOCK_DGRAM, 0);
  wakeRead_ = fdOf(reader);
  wakeWrite_ = fdOf(writer);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  inet_pton(AF_INET, "127.0.0.1", &self.sin_addr);
  int length = sizeof self;
  if (reader == INVALID_SOCKET || writer == INVALID_SOCKET ||
      bind(reader, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
      getsockname(reader, reinterpret_cast<sockaddr*>(&self), &length) != 0 ||
      connect(writer, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
    error_ = lastError("stop sockets");
    return;
  }
  if (!listenOn(SOMAXCONN)) return;
  thread_ = std::thread([this] { run(); });
}

LoopbackServer::LoopbackServer(std::string address, Script script)
    : LoopbackServer(std::move(address), std::vector<Script>{std::move(script)}) {}

LoopbackServer::LoopbackServer(Unanswered, std::string address)
    : address_(std::move(address)) {
  startWinsock();
  // A backlog of 0 holds one connection; once the filler takes that place,
  // the system drops every further connection request unanswered.
  if (!listenOn(0)) return;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(80);
  inet_pton(AF_INET, address_.c_str(), &peer.sin_addr);
  const SOCKET filler = socket(AF_INET, SOCK_STREAM, 0);
  fillerFd_ = fdOf(filler);
  if (filler == INVALID_SOCKET ||
      connect(filler, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0)
    error_ = lastError("cannot fill the accept queue");
}

LoopbackServer LoopbackServer::unanswered(std::string address) {
  return LoopbackServer(Unanswered{}, std::move(address));
}

LoopbackServer::~LoopbackServer() {
  if (wakeWrite_ >= 0) {
    const char stop = 1;
    ::send(sock(wakeWrite_), &stop, 1, 0);
  }
  if (thread_.joinable()) thread_.join();
  for (int fd : {listenFd_, fillerFd_, wakeRead_, wakeWrite_})
    if (fd >= 0) closesocket(sock(fd));
}

bool LoopbackServer::listenOn(int backlog) {
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_port = htons(80);
  if (inet_pton(AF_INET, address_.c_str(), &self.sin_addr) != 1) {
    error_ = "not an IPv4 address: " + address_;
    return false;
  }
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) {
    error_ = lastError("socket");
    return false;
  }
  // No SO_REUSEADDR: on Windows it would let two servers share the port.
  if (bind(s, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 || listen(s, backlog) != 0) {
    const int failure = WSAGetLastError();
    closesocket(s);
    error_ = "cannot listen on " + address_ + ":80: Winsock error " + std::to_string(failure);
    if (failure == WSAEADDRINUSE) error_ += kTakenHint;
    return false;
  }
  listenFd_ = fdOf(s);
  return true;
}

}  // namespace korvo::test
