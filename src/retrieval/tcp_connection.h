#pragma once
// One outgoing TCP connection for one download. Every failure is a return
// value; nothing is logged. The socket is closed by close() or, at the
// latest, when the connection goes.
#include <string>
#include <string_view>

#include "base/limits.h"
#include "platform/tcp_socket.h"

namespace korvo {

class TcpConnection {
 public:
  explicit TcpConnection(int connectTimeoutMs = limits::kConnectTimeoutMs);

  // Looks host up (one IPv4 address) and connects to port, giving up after
  // the connect time-out, or soon after cancel (when given) becomes true.
  // False on any failure, with no socket left open.
  bool connectTo(const std::string& host, int port, const std::atomic<bool>* cancel = nullptr);
  // The system call's result.
  int setReceiveTimeout(int milliseconds);
  // One send of the whole text; the count sent, or negative.
  int sendText(std::string_view text);
  // A positive count, 0 when the peer closed, TcpSocket::kReceiveTimedOut
  // when the receive time-out passed, -1 on an error.
  int receive(char* buffer, int size);
  // The system call's result; negative when no socket is open.
  int close();

 private:
  TcpSocket socket_;
  int connectTimeoutMs_;
};

}  // namespace korvo
