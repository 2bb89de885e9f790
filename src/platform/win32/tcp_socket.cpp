#include "platform/tcp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/host_name.h"

namespace korvo {
namespace {

struct AddressList {
  ADDRINFOW* first = nullptr;
  ~AddressList() {
    if (first) FreeAddrInfoW(first);
  }
};

// The host has passed isLookupName, so it is ASCII and widens byte by byte.
std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool lookUp(const std::string& host, int port, AddressList& list) {
  if (!isLookupName(host) || port <= 0 || port > 65535) return false;
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | (isIpv6Literal(host) ? AI_NUMERICHOST : 0);
  return GetAddrInfoW(widen(host).c_str(), widen(std::to_string(port)).c_str(), &hints,
                      &list.first) == 0 &&
         list.first;
}

bool setBlocking(SOCKET s, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

// How often a connect with a cancel hook looks at it.
constexpr int kCancelCheckMs = 100;

// Waits for a non-blocking connect to finish, at most timeoutMs, and with
// cancel set, no longer than it stays false. (A wait on Windows is not cut
// short by signals.)
bool finishConnect(SOCKET s, int timeoutMs, const std::atomic<bool>* cancel) {
  const ULONGLONG deadline =
      GetTickCount64() + static_cast<ULONGLONG>(timeoutMs > 0 ? timeoutMs : 0);
  fd_set writable, failed;
  int ready = 0;
  do {
    if (cancel != nullptr && cancel->load()) return false;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    ULONGLONG slice = deadline - now;
    if (cancel != nullptr && slice > kCancelCheckMs) slice = kCancelCheckMs;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{};
    wait.tv_sec = static_cast<long>(slice / 1000);
    wait.tv_usec = static_cast<long>((slice % 1000) * 1000);
    ready = select(0, nullptr, &writable, &failed, &wait);
  } while (ready == 0);
  // A refused connect shows in the exception set, not the write set.
  if (ready < 0 || !FD_ISSET(s, &writable)) return false;
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

// A name lookup cannot be cancelled here: a worker waiting in one holds
// its own reference to the library (see worker_thread.h).
bool TcpSocket::connectTo(const std::string& host, int port, int connectTimeoutMs,
                          const std::atomic<bool>* cancel) {
  close();
  AddressList list;
  if (!lookUp(host, port, list)) return false;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(connectTimeoutMs > 0 ? connectTimeoutMs : 1);
  for (const ADDRINFOW* a = list.first; a != nullptr; a = a->ai_next) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline || (cancel != nullptr && cancel->load())) break;
    if (connectOne(a->ai_family, a->ai_addr, static_cast<int>(a->ai_addrlen),
                   static_cast<int>(deadline - now), cancel))
      return true;
  }
  return false;
}

bool TcpSocket::connectOne(int family, const void* address, int length, int timeoutMs,
                           const std::atomic<bool>* cancel) {
  const SOCKET s = socket(family, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return false;
  handle_ = static_cast<long long>(s);

  // The system's own connect time-out runs to about 20 seconds and more; a
  // non-blocking connect lets us give up after ours.
  bool connected = setBlocking(s, false);
  if (connected && connect(s, static_cast<const sockaddr*>(address), length) != 0)
    connected = WSAGetLastError() == WSAEWOULDBLOCK && finishConnect(s, timeoutMs, cancel);
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
