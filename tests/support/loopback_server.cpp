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

namespace korvo::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

// How long the server waits for a request to be complete, and for the
// client to close after the answer.
constexpr std::chrono::milliseconds kReadWait(10000);
constexpr std::chrono::milliseconds kDrainWait(5000);

enum class Wait { Ready, Timeout, Stop };

// Waits until fd is ready for events (fd < 0: only sleeps), the timeout
// passes (negative: none) or the stop pipe is written.
Wait waitFor(int fd, short events, int stopFd, int timeoutMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int left = -1;
    if (timeoutMs >= 0) {
      left = static_cast<int>(std::max<long long>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
                 .count()));
    }
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, events, 0}};
    const int ready = ::poll(fds, fd >= 0 ? 2 : 1, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Wait::Stop;
    if (fds[0].revents != 0) return Wait::Stop;
    if (ready == 0) return Wait::Timeout;
    return Wait::Ready;
  }
}

int milliseconds(std::chrono::milliseconds d) { return static_cast<int>(d.count()); }

constexpr const char* kTakenHint =
    " (a server of this case still listens there, or another case has the same address)";

}  // namespace

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

Script& Script::waitFor(std::shared_ptr<Gate> gate) {
  steps_.push_back({Step::Kind::Gate, {}, {}, Ms(0), std::move(gate)});
  return *this;
}

Script& Script::flood(std::string unit) {
  steps_.push_back({Step::Kind::Flood, std::move(unit), {}, Ms(0), nullptr});
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

void LoopbackServer::run() {
  for (std::size_t index = 0;;) {
    if (waitFor(listenFd_, POLLIN, wakeRead_, -1) != Wait::Ready) return;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.emplace_back();
    }
    serve(fd, scripts_[std::min(index, scripts_.size() - 1)], index);
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
  char buffer[4096];
  std::string seen;
  // Reads what has arrived; false once the client has closed or failed.
  auto readSome = [&] {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got > 0) {
      record(index, buffer, static_cast<std::size_t>(got));
      seen.append(buffer, static_cast<std::size_t>(got));
      return true;
    }
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
  };
  // Sends all of data; false when the client went away or the server stops.
  auto sendAll = [&](const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
      if (sent > 0) {
        data += sent;
        size -= static_cast<std::size_t>(sent);
      } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        if (waitFor(fd, POLLOUT, wakeRead_, -1) != Wait::Ready) return false;
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
      const auto left =
          std::chrono::duration_cast<Ms>(giveUp - SteadyClock::now()).count();
      if (left <= 0) break;
      const Wait w = waitFor(fd, POLLIN, wakeRead_, static_cast<int>(left));
      if (w == Wait::Stop) going = false;
      if (w != Wait::Ready || !readSome()) break;
    }
  } else if (script.leavesRequestUnread()) {
    if (waitFor(fd, POLLIN, wakeRead_, milliseconds(kReadWait)) == Wait::Stop) going = false;
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
        going = waitFor(step.gate->fd(), POLLIN, wakeRead_, -1) == Wait::Ready;
        break;
      case Script::Step::Kind::Stall:
        while (waitFor(fd, POLLIN, wakeRead_, -1) == Wait::Ready && readSome()) {
        }
        going = false;
        break;
    }
  }

  if (script.endsWithReset()) {
    const linger hardClose{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hardClose, sizeof hardClose);
  } else if (going) {
    // Closing with unread bytes would reset the connection; read until the
    // client closes its side too.
    ::shutdown(fd, SHUT_WR);
    const auto giveUp = SteadyClock::now() + kDrainWait;
    for (;;) {
      const auto left = std::chrono::duration_cast<Ms>(giveUp - SteadyClock::now()).count();
      if (left <= 0 || waitFor(fd, POLLIN, wakeRead_, static_cast<int>(left)) != Wait::Ready)
        break;
      if (!readSome()) break;
    }
  }
  ::close(fd);
}

}  // namespace korvo::test
