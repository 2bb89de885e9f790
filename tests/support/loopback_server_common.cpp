// The part of loopback_server.h that is the same on every system: the
// scripts, what the server records, and how it plays a script on one
// connection. The sockets are loopback_socket.h's.
#include <algorithm>
#include <chrono>

#include "support/loopback_server.h"
#include "support/loopback_socket.h"

namespace korvo::test {
namespace {

using SteadyClock = std::chrono::steady_clock;
using socket_io::Ready;
using socket_io::Wait;

// How long the server waits for a request to be complete, and for the
// client to close after the answer.
constexpr std::chrono::milliseconds kReadWait(10000);
constexpr std::chrono::milliseconds kDrainWait(5000);

int milliseconds(std::chrono::milliseconds d) { return static_cast<int>(d.count()); }

}  // namespace

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

void LoopbackServer::run() {
  for (std::size_t index = 0;;) {
    if (socket_io::waitFor(listenFd_, Ready::Read, wakeRead_, -1) != Wait::Ready) return;
    const int fd = socket_io::acceptConnection(listenFd_);
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
    const long got = socket_io::receive(fd, buffer, sizeof buffer);
    if (got > 0) {
      record(index, buffer, static_cast<std::size_t>(got));
      seen.append(buffer, static_cast<std::size_t>(got));
      return true;
    }
    return got == socket_io::kWouldBlock;
  };
  // Sends all of data; false when the client went away or the server stops.
  auto sendAll = [&](const char* data, std::size_t size) {
    while (size > 0) {
      const long sent = socket_io::sendSome(fd, data, size);
      if (sent > 0) {
        data += sent;
        size -= static_cast<std::size_t>(sent);
      } else if (sent == socket_io::kWouldBlock) {
        if (socket_io::waitFor(fd, Ready::Write, wakeRead_, -1) != Wait::Ready) return false;
      } else {
        return false;
      }
    }
    return true;
  };
  auto pauseFor = [&](Ms d) {
    return socket_io::waitFor(-1, Ready::Read, wakeRead_, milliseconds(d)) == Wait::Timeout;
  };

  bool going = true;
  if (script.waitsForRequest()) {
    const auto giveUp = SteadyClock::now() + kReadWait;
    while (going && seen.find("\r\n\r\n") == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<Ms>(giveUp - SteadyClock::now()).count();
      if (left <= 0) break;
      const Wait w = socket_io::waitFor(fd, Ready::Read, wakeRead_, static_cast<int>(left));
      if (w == Wait::Stop) going = false;
      if (w != Wait::Ready || !readSome()) break;
    }
  } else if (script.leavesRequestUnread()) {
    if (socket_io::waitFor(fd, Ready::Read, wakeRead_, milliseconds(kReadWait)) == Wait::Stop)
      going = false;
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
        going = socket_io::waitForGate(*step.gate, wakeRead_);
        break;
      case Script::Step::Kind::Stall:
        while (socket_io::waitFor(fd, Ready::Read, wakeRead_, -1) == Wait::Ready && readSome()) {
        }
        going = false;
        break;
    }
  }

  if (script.endsWithReset()) {
    socket_io::resetOnClose(fd);
  } else if (going) {
    // Closing with unread bytes would reset the connection; read until the
    // client closes its side too.
    socket_io::shutdownSend(fd);
    const auto giveUp = SteadyClock::now() + kDrainWait;
    for (;;) {
      const auto left = std::chrono::duration_cast<Ms>(giveUp - SteadyClock::now()).count();
      if (left <= 0 ||
          socket_io::waitFor(fd, Ready::Read, wakeRead_, static_cast<int>(left)) != Wait::Ready)
        break;
      if (!readSome()) break;
    }
  }
  socket_io::closeSocket(fd);
}

}  // namespace korvo::test
