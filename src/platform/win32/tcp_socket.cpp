#include "platform/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

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
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
      entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr)
    return false;
  address.sin_family = AF_INET;
  std::memcpy(&address.sin_addr, entry->h_addr_list[0], 4);
  address.sin_port = htons(static_cast<u_short>(port));
  return true;
}

bool setBlocking(SOCKET s, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

// Waits for a non-blocking connect to finish, at most timeoutMs. (A wait
// on Windows is not cut short by signals.)
bool finishConnect(SOCKET s, int timeoutMs) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(s, &writable);
  FD_SET(s, &failed);
  timeval wait{};
  wait.tv_sec = timeoutMs / 1000;
  wait.tv_usec = (timeoutMs % 1000) * 1000;
  // A refused connect shows in the exception set, not the write set.
  if (select(0, nullptr, &writable, &failed, &wait) <= 0 || !FD_ISSET(s, &writable)) return false;
  int error = 0;
  int length = sizeof error;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
    return false;
  return error == 0;
}

SOCKET socketOf(long long handle) { return static_cast<SOCKET>(handle); }

}  // namespace

TcpSocket::TcpSocket() {
  WSADATA data;
  started_ = WSAStartup(0x0002, &data) == 0;
}

TcpSocket::~TcpSocket() {
  close();
  // Only our own start is released: another user of Winsock in the host
  // keeps its own.
  if (started_) WSACleanup();
}

bool TcpSocket::connectTo(const std::string& host, int port, int connectTimeoutMs) {
  close();
  sockaddr_in address{};
  if (!lookUp(host, port, address)) return false;

  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return false;
  handle_ = static_cast<long long>(s);

  // The system's own connect time-out runs to about 20 seconds and more; a
  // non-blocking connect lets us give up after ours.
  bool connected = setBlocking(s, false);
  if (connected && connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    connected = WSAGetLastError() == WSAEWOULDBLOCK &&
                finishConnect(s, connectTimeoutMs > 0 ? connectTimeoutMs : 1);
  if (connected) connected = setBlocking(s, true);
  if (!connected) close();
  return connected;
}

int TcpSocket::setReceiveTimeout(int milliseconds) {
  if (handle_ < 0) return -1;
  const DWORD value = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
  return setsockopt(socketOf(handle_), SOL_SOCKET, SO_RCVTIMEO,
                    reinterpret_cast<const char*>(&value), sizeof value);
}

int TcpSocket::sendText(std::string_view text) {
  if (handle_ < 0) return -1;
  const int size = text.size() < static_cast<std::size_t>(INT_MAX) ? static_cast<int>(text.size())
                                                                   : INT_MAX;
  return send(socketOf(handle_), text.data(), size, 0);
}

int TcpSocket::receive(char* buffer, int size) {
  if (handle_ < 0 || buffer == nullptr || size <= 0) return -1;
  const int got = recv(socketOf(handle_), buffer, size, 0);
  if (got == SOCKET_ERROR) return WSAGetLastError() == WSAETIMEDOUT ? kReceiveTimedOut : -1;
  return got;
}

int TcpSocket::close() {
  if (handle_ < 0) return -1;
  const SOCKET s = socketOf(handle_);
  handle_ = -1;
  return closesocket(s);
}

}  // namespace korvo
