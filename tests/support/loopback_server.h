#pragma once
// A scripted TCP server on port 80 of one loopback address (127.x.y.z), on
// its own thread, for tests of the HTTP client. Connections are served one
// after another, in the order they arrive. Each connection plays a
// Script: raw bytes, in odd-sized chunks, with pauses, an endless stream, a
// stall, an orderly close or a reset. Every byte a client sends is
// recorded per connection. Port 80 needs root or CAP_NET_BIND_SERVICE:
// check mayBindPort80() (or KORVO_SKIP_WITHOUT_PORT_80()) first.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/prerequisite.h"

namespace korvo::test {

// True when this process may listen on port 80 (root, CAP_NET_BIND_SERVICE,
// or a system that lets anyone bind it).
bool mayBindPort80();

inline constexpr const char* kPort80SkipMessage =
    "listening on port 80 of a loopback address needs root or CAP_NET_BIND_SERVICE "
    "(or run the tests in a private network namespace: unshare -rn)";

#define KORVO_SKIP_WITHOUT_PORT_80()                                       \
  do {                                                                      \
    if (!::korvo::test::mayBindPort80())                                    \
      KORVO_SKIP_FOR_PREREQUISITE() << ::korvo::test::kPort80SkipMessage; \
  } while (0)

// A gate that holds a script step until the test opens it; every
// connection waiting at it (and every later one) then goes on.
class Gate {
 public:
  Gate();
  ~Gate();
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;
  void open();
  bool isOpen() const { return open_; }
  int fd() const { return read_; }  // readable once open (-1 where unused)

 private:
  std::atomic<bool> open_{false};
  int read_ = -1;
  int write_ = -1;
};

// What the server does on one connection. By default it first reads the
// request (up to the blank line that ends its header, or until the client
// stops sending), then plays the steps, then closes in order (FIN) and
// keeps reading until the client has closed too.
class Script {
 public:
  using Ms = std::chrono::milliseconds;

  // Sends bytes as one piece.
  Script& send(std::string bytes);
  // Sends bytes in pieces whose sizes cycle through chunkSizes (zeros are
  // skipped), waiting gap between pieces.
  Script& sendInChunks(std::string bytes, std::vector<std::size_t> chunkSizes, Ms gap = Ms(0));
  Script& pause(Ms duration);
  // Waits until gate is opened (or the server stops).
  Script& waitFor(std::shared_ptr<Gate> gate);
  // Sends unit again and again until the client goes away or the server
  // stops. Ends the script.
  Script& flood(std::string unit);
  // Sends nothing more and keeps the connection open until the client
  // closes it or the server stops. Ends the script.
  Script& stall();
  // Ends the connection with a reset (RST) instead of an orderly close.
  Script& reset();
  // Plays the steps at once, without waiting for the request.
  Script& dontWaitForRequest();
  // Plays the steps once the request has begun to arrive, leaving it
  // unread: the client's connect has then succeeded, so a reset that
  // follows reaches it as a receive error, never as a failed connect.
  Script& dontReadRequest();

  struct Step {
    enum class Kind { Send, Pause, Flood, Stall, Gate };
    Kind kind;
    std::string bytes;
    std::vector<std::size_t> chunkSizes;
    Ms gap{0};
    std::shared_ptr<Gate> gate;
  };
  const std::vector<Step>& steps() const { return steps_; }
  bool waitsForRequest() const { return waitForRequest_; }
  bool leavesRequestUnread() const { return leaveRequestUnread_; }
  bool endsWithReset() const { return reset_; }

 private:
  std::vector<Step> steps_;
  bool waitForRequest_ = true;
  bool leaveRequestUnread_ = false;
  bool reset_ = false;
};

// A whole HTTP answer: status line, the header lines (each without its
// line end), a blank line and the body, all with CR LF.
std::string httpAnswer(const std::string& statusLine, const std::vector<std::string>& headers,
                       const std::string& body);

class LoopbackServer {
 public:
  using Ms = std::chrono::milliseconds;

  // Listens on port 80 of address and plays scripts[i] on connection i; the
  // last script serves every later connection. Cases run in parallel, so
  // each listens on an address of its own (support/case_address.h); a taken
  // address is an error at once. Check ok() afterwards.
  LoopbackServer(std::string address, std::vector<Script> scripts);
  LoopbackServer(std::string address, Script script);
  // Stops the thread: stalls and pauses end, open connections are closed.
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Listens but never accepts, with its accept queue already full: a
  // client's connect gets no answer at all and can only time out.
  static LoopbackServer unanswered(std::string address);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  const std::string& address() const { return address_; }
  // "http://" + address + path.
  std::string url(const std::string& path) const;

  // The bytes received on each connection so far, in connection order.
  std::vector<std::string> requests() const;
  // Connections accepted so far / played to their end so far.
  std::size_t connections() const;
  std::size_t finishedConnections() const;
  // Waits until count connections have sent a whole request header.
  bool waitForRequests(std::size_t count, Ms timeout) const;
  // Waits until count connections have been played to their end.
  bool waitForFinished(std::size_t count, Ms timeout) const;

 private:
  struct Unanswered {};
  LoopbackServer(Unanswered, std::string address);
  bool listenOn(int backlog);
  void run();
  void serve(int fd, const Script& script, std::size_t index);
  void record(std::size_t index, const char* data, std::size_t size);

  std::string address_;
  std::vector<Script> scripts_;
  std::string error_;
  int listenFd_ = -1;
  int fillerFd_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> requests_;
  std::size_t finished_ = 0;
};

}  // namespace korvo::test
