// The Windows side of loopback_server.h, over Winsock. The stop signal is a
// datagram on a pair of UDP sockets, so one WSAPoll waits for it and for
// the connection. Socket handles are kept in the header's int fields: the
// system's handles fit in 32 bits.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "support/loopback_server.h"

namespace korvo::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kReadWait(10000);
constexpr std::chrono::milliseconds kDrainWait(5000);

enum class Wait { Ready, Timeout, Stop };

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

// Waits until fd is ready for events (fd < 0: only sleeps), the timeout
// passes (negative: none) or the stop socket gets its datagram.
Wait waitFor(int fd, short events, int stopFd, int timeoutMs) {
  WSAPOLLFD fds[2] = {{sock(stopFd), POLLRDNORM, 0}, {sock(fd), events, 0}};
  const int ready = WSAPoll(fds, fd >= 0 ? 2 : 1, timeoutMs);
  if (ready < 0) return Wait::Stop;
  if (fds[0].revents != 0) return Wait::Stop;
  if (ready == 0) return Wait::Timeout;
  return Wait::Ready;
}

int milliseconds(std::chrono::milliseconds d) { return static_cast<int>(d.count()); }

constexpr const char* kTakenHint =
    " (a server of this case still listens there, or another case has the same address)";

bool wouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }

void setNonBlocking(SOCKET s) {
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
}

}  // namespace

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

Script& Script::send(std::string bytes) {
  steps_.push_back({Step::Kind::Send, std::move(bytes), {}, Ms(0), nullptr});
  return *this;
}

Script& Script::sendInChunks(std::string bytes, std::vector<std::size_t> chunkSizes, Ms gap) {
  chunkSizes.erase(std::remove(chunkSizes.begin(), chunkSizes.end(), 0u), chunkSizes.end());
  steps_.push_back({Step::Kind::Send, std::move(bytes), std::move(chunkSizes), gap, nullptr});
  return *this;
}

Script& Script::pause(Ms duration) {
  steps_.push_back({Step::Kind::Pause, {}, {}, duration, nullptr});
  return *this;
}

Script& Script::flood(std::string unit) {
  steps_.push_back({Step::Kind::Flood, std::move(unit), {}, Ms(0), nullptr});
  return *this;
}

// The test opens the gate from its own thread; the server looks every
// 10 ms (Winsock cannot poll a pipe).
Gate::Gate() = default;
Gate::~Gate() = default;
void Gate::open() { open_ = true; }

Script& Script::waitFor(std::shared_ptr<Gate> gate) {
  steps_.push_back({Step::Kind::Gate, {}, {}, Ms(0), std::move(gate)});
  return *this;
}

Script& Script::stall() {
  steps_.push_back({Step::Kind::Stall, {}, {}, Ms(0), nullptr});
  return *this;
}

Script& Script::reset() {
  reset_ = true;
  return *this;
}

Script& Script::dontWaitForRequest() {
  waitForRequest_ = false;
  return *this;
}

Script& Script::dontReadRequest() {
  waitForRequest_ = false;
  leaveRequestUnread_ = true;
  return *this;
}

std::string httpAnswer(const std::string& statusLine, const std::vector<std::string>& headers,
                       const std::string& body) {
  std::string answer = statusLine + "\r\n";
  for (const auto& header : headers) answer += header + "\r\n";
  return answer + "\r\n" + body;
}

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

std::string LoopbackServer::url(const std::string& path) const {
  return "http://" + address_ + path;
}

std::vector<std::string> LoopbackServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::size_t LoopbackServer::connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

std::size_t LoopbackServer::finishedConnections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

bool LoopbackServer::waitForRequests(std::size_t count, Ms timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(), [](const std::string& r) {
             return r.find("\r\n\r\n") != std::string::npos;
           })) >= count;
  });
}

bool LoopbackServer::waitForFinished(std::size_t count, Ms timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return finished_ >= count; });
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

void LoopbackServer::run() {
  for (std::size_t index = 0;;) {
    if (waitFor(listenFd_, POLLRDNORM, wakeRead_, -1) != Wait::Ready) return;
    const SOCKET s = accept(sock(listenFd_), nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    setNonBlocking(s);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.emplace_back();
    }
    serve(fdOf(s), scripts_[std::min(index, scripts_.size() - 1)], index);
    ++index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++finished_;
    }
    changed_.notify_all();
  }
}

void LoopbackServer::record(std::size_t index, const char* data, std::size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_[index].append(data, size);
  changed_.notify_all();
}

void LoopbackServer::serve(int fd, const Script& script, std::size_t index) {
  const SOCKET s = sock(fd);
  char buffer[4096];
  std::string seen;
  // Reads what has arrived; false once the client has closed or failed.
  auto readSome = [&] {
    const int got = ::recv(s, buffer, sizeof buffer, 0);
    if (got > 0) {
      record(index, buffer, static_cast<std::size_t>(got));
      seen.append(buffer, static_cast<std::size_t>(got));
      return true;
    }
    return got < 0 && wouldBlock();
  };
  // Sends all of data; false when the client went away or the server stops.
  auto sendAll = [&](const char* data, std::size_t size) {
    while (size > 0) {
      const int piece = size > 65536 ? 65536 : static_cast<int>(size);
      const int sent = ::send(s, data, piece, 0);
      if (sent > 0) {
        data += sent;
        size -= static_cast<std::size_t>(sent);
      } else if (sent < 0 && wouldBlock()) {
        if (waitFor(fd, POLLWRNORM, wakeRead_, -1) != Wait::Ready) return false;
      } else {
        return false;
      }
    }
    return true;
  };
  auto pauseFor = [&](Ms d) { return waitFor(-1, 0, wakeRead_, milliseconds(d)) == Wait::Timeout; };

  bool going = true;
  if (script.waitsForRequest()) {
    const auto giveUp = SteadyClock::now() + kReadWait;
    while (going && seen.find("\r\n\r\n") == std::string::npos) {
      const auto left = std::chrono::duration_cast<Ms>(giveUp - SteadyClock::now()).count();
      if (left <= 0) break;
      const Wait w = waitFor(fd, POLLRDNORM, wakeRead_, static_cast<int>(left));
      if (w == Wait::Stop) going = false;
      if (w != Wait::Ready || !readSome()) break;
    }
  } else if (script.leavesRequestUnread()) {
    if (waitFor(fd, POLLRDNORM, wakeRead_, milliseconds(kReadWait)) == Wait::Stop) going = false;
  }

  for (const auto& step : script.steps()) {
    if (!going) break;
    switch (step.kind) {
      case Script::Step::Kind::Send: {
        std::size_t at = 0;
        for (std::size_t piece = 0; going && at < step.bytes.size(); ++piece) {
          std::size_t size = step.bytes.size() - at;
          if (!step.chunkSizes.empty())
            size = std::min(size, step.chunkSizes[piece % step.chunkSizes.size()]);
          going = sendAll(step.bytes.data() + at, size);
          at += size;
          if (going && at < step.bytes.size() && step.gap.count() > 0) going = pauseFor(step.gap);
        }
        break;
      }
      case Script::Step::Kind::Pause:
        going = pauseFor(step.gap);
        break;
      case Script::Step::Kind::Flood:
        while (going) going = !step.bytes.empty() && sendAll(step.bytes.data(), step.bytes.size());
        break;
      case Script::Step::Kind::Gate:
        while (going && !step.gate->isOpen()) going = pauseFor(Ms(10));
        break;
      case Script::Step::Kind::Stall:
        while (waitFor(fd, POLLRDNORM, wakeRead_, -1) == Wait::Ready && readSome()) {
        }
        going = false;
        break;
    }
  }

  if (script.endsWithReset()) {
    const linger hardClose{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hardClose),
               sizeof hardClose);
  } else if (going) {
    // Closing with unread bytes would reset the connection; read until the
    // client closes its side too.
    shutdown(s, SD_SEND);
    const auto giveUp = SteadyClock::now() + kDrainWait;
    for (;;) {
      const auto left = std::chrono::duration_cast<Ms>(giveUp - SteadyClock::now()).count();
      if (left <= 0 || waitFor(fd, POLLRDNORM, wakeRead_, static_cast<int>(left)) != Wait::Ready)
        break;
      if (!readSome()) break;
    }
  }
  closesocket(s);
}

}  // namespace korvo::test
