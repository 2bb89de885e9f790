#pragma once
// A one-document HTTP/1.0 server on a loopback port of its own choosing:
// every request gets the answer set last, whatever it asks for, and the
// connection is closed after it. Serves on a thread of its own until
// destroyed. POSIX only.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace korvo::peers {

class DocumentServer {
 public:
  // Listens on 127.0.0.1 at a port the system picks; port() is 0 when
  // that failed.
  DocumentServer();
  ~DocumentServer();
  DocumentServer(const DocumentServer&) = delete;
  DocumentServer& operator=(const DocumentServer&) = delete;

  int port() const { return port_; }
  // The whole answer (status line, header lines, blank line, body) the
  // next requests get.
  void setAnswer(std::string answer);

 private:
  void serve();

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::string answer_;
  std::thread thread_;
};

}  // namespace korvo::peers
