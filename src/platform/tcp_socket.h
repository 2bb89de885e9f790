#pragma once
// TCP service: one outgoing IPv4 or IPv6 connection. Winsock on Windows (started by
// the constructor and released by the destructor), BSD sockets elsewhere.
// The destructor closes a socket that is still open.
#include <atomic>
#include <string>
#include <string_view>

namespace korvo {

class TcpSocket {
 public:
  TcpSocket();
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Looks host up (a name or an IPv4 or IPv6 literal, without brackets)
  // and connects to port, trying each address in turn while
  // connectTimeoutMs lasts in all. On failure the socket is closed again
  // and the result is false. With cancel set, it gives up soon after cancel
  // becomes true; on Linux a name lookup under way is then left to glibc's
  // own thread, so that no code of the library waits for it.
  bool connectTo(const std::string& host, int port, int connectTimeoutMs,
                 const std::atomic<bool>* cancel = nullptr);
  // SO_RCVTIMEO; the system call's result.
  int setReceiveTimeout(int milliseconds);
  // One send of all bytes of text; a partial send is not continued.
  int sendText(std::string_view text);
  // One receive: a positive count, 0 when the peer closed,
  // kReceiveTimedOut when the receive time-out passed, -1 on an error.
  int receive(char* buffer, int size);
  static constexpr int kReceiveTimedOut = -2;
  // Closes the socket; the system call's result (-1 when none is open).
  int close();

 private:
  // One address of the lookup (a sockaddr of the family).
  bool connectOne(int family, const void* address, int length, int timeoutMs,
                  const std::atomic<bool>* cancel);

  long long handle_ = -1;
  // Winsock started by this object, released by it (unused elsewhere).
  [[maybe_unused]] bool started_ = false;
};

}  // namespace korvo
