#include "platform/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/host_name.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
// ThreadSanitizer cannot follow the thread glibc starts for getaddrinfo_a
// (it crashes in it): under it a lookup blocks, and a cancel waits for it.
#if defined(__SANITIZE_THREAD__)
#define KORVO_BLOCKING_LOOKUP 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KORVO_BLOCKING_LOOKUP 1
#endif
#endif

namespace korvo {
namespace {

// The addresses of host, in the order the resolver gives them (IPv6 and
// IPv4); null when the name is refused or does not resolve.
struct AddressList {
  addrinfo* first = nullptr;
  ~AddressList() {
    if (first) freeaddrinfo(first);
  }
};

// How often a wait with a cancel hook looks at it.
constexpr int kCancelCheckMs = 100;

bool cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// A lookup on glibc's own thread (getaddrinfo_a). Everything the lookup
// writes to lives here, on the heap: a lookup given up on keeps its
// request until it ends, and it is never freed.
struct PendingLookup {
  std::string host;
  std::string service;
  addrinfo hints{};
  gaicb request{};
};

// The lookup of a name, waited for in slices so that cancel is seen.
bool lookUpName(const std::string& host, const std::string& service, const addrinfo& hints,
                AddressList& list, const std::atomic<bool>* cancel) {
  auto pending = std::make_unique<PendingLookup>();
  pending->host = host;
  pending->service = service;
  pending->hints = hints;
  pending->request.ar_name = pending->host.c_str();
  pending->request.ar_service = pending->service.c_str();
  pending->request.ar_request = &pending->hints;
  gaicb* requests[1] = {&pending->request};
  if (getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0)  // no thread to be had
    return getaddrinfo(host.c_str(), service.c_str(), &hints, &list.first) == 0 && list.first;
  for (;;) {
    const timespec slice{0, kCancelCheckMs * 1000000L};
    const gaicb* waiting[1] = {&pending->request};
    gai_suspend(waiting, 1, &slice);
    const int state = gai_error(&pending->request);
    if (state != EAI_INPROGRESS) {
      list.first = pending->request.ar_result;
      return state == 0 && list.first;
    }
    if (cancelled(cancel)) {
      const int outcome = gai_cancel(&pending->request);
      if (outcome == EAI_ALLDONE) {
        list.first = pending->request.ar_result;  // freed by list
      } else if (outcome == EAI_NOTCANCELED) {
        // Under way: it writes into the request when it ends, so the
        // request is never freed: a few hundred bytes for each lookup
        // given up on, not reported as a leak.
        PendingLookup* left = pending.release();
#if defined(__SANITIZE_ADDRESS__)
        __lsan_ignore_object(left);
#else
        (void)left;
#endif
      }
      return false;
    }
  }
}

bool lookUp(const std::string& host, int port, AddressList& list, const std::atomic<bool>* cancel) {
  if (!isLookupName(host) || port <= 0 || port > 65535) return false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
  const std::string service = std::to_string(port);
  // An address literal needs no lookup.
  const int literal = getaddrinfo(host.c_str(), service.c_str(), &hints, &list.first);
  if (literal == 0) return list.first != nullptr;
  if (literal != EAI_NONAME || isIpv6Literal(host)) return false;
  hints.ai_flags = AI_NUMERICSERV;
#if defined(KORVO_BLOCKING_LOOKUP)
  cancel = nullptr;
#endif
  if (cancel == nullptr)
    return getaddrinfo(host.c_str(), service.c_str(), &hints, &list.first) == 0 && list.first;
  return lookUpName(host, service, hints, list, cancel);
}

// Waits for a non-blocking connect to finish, at most timeoutMs in all,
// however often a signal interrupts the wait.
bool finishConnect(int fd, int timeoutMs, const std::atomic<bool>* cancel) {
  using namespace std::chrono;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  for (;;) {
    if (cancelled(cancel)) return false;
    auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) return false;
    if (cancel != nullptr && left > kCancelCheckMs) left = kCancelCheckMs;
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0 && cancel != nullptr) continue;
    if (ready <= 0) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    return error == 0;
  }
}

}  // namespace

TcpSocket::TcpSocket() = default;

TcpSocket::~TcpSocket() { close(); }

bool TcpSocket::connectTo(const std::string& host, int port, int connectTimeoutMs,
                          const std::atomic<bool>* cancel) {
  using namespace std::chrono;
  close();
  AddressList list;
  if (!lookUp(host, port, list, cancel)) return false;
  const auto deadline = steady_clock::now() + milliseconds(connectTimeoutMs > 0 ? connectTimeoutMs : 1);
  for (const addrinfo* a = list.first; a != nullptr; a = a->ai_next) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) break;
    if (cancelled(cancel)) break;
    if (connectOne(a->ai_family, a->ai_addr, static_cast<int>(a->ai_addrlen),
                   static_cast<int>(left), cancel))
      return true;
  }
  return false;
}

bool TcpSocket::connectOne(int family, const void* address, int length, int timeoutMs,
                           const std::atomic<bool>* cancel) {
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  handle_ = fd;

  // The system's own connect time-out runs to minutes; a non-blocking
  // connect lets us give up after ours.
  const int flags = ::fcntl(fd, F_GETFL);
  bool connected = flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
  if (connected) {
    if (::connect(fd, static_cast<const sockaddr*>(address), static_cast<socklen_t>(length)) != 0)
      connected = (errno == EINPROGRESS || errno == EINTR) && finishConnect(fd, timeoutMs, cancel);
  }
  if (connected) connected = ::fcntl(fd, F_SETFL, flags) == 0;
  if (!connected) close();
  return connected;
}

int TcpSocket::setReceiveTimeout(int milliseconds) {
  if (handle_ < 0) return -1;
  timeval tv{};
  tv.tv_sec = milliseconds / 1000;
  tv.tv_usec = (milliseconds % 1000) * 1000;
  return ::setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

int TcpSocket::sendText(std::string_view text) {
  if (handle_ < 0) return -1;
  const std::size_t size = text.size() < static_cast<std::size_t>(INT_MAX)
                               ? text.size()
                               : static_cast<std::size_t>(INT_MAX);
  // A peer that has gone away must not raise SIGPIPE in the host.
  return static_cast<int>(::send(static_cast<int>(handle_), text.data(), size, MSG_NOSIGNAL));
}

int TcpSocket::receive(char* buffer, int size) {
  if (handle_ < 0 || buffer == nullptr || size <= 0) return -1;
  for (;;) {
    const ssize_t got = ::recv(static_cast<int>(handle_), buffer, static_cast<std::size_t>(size), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kReceiveTimedOut;
    return got < 0 ? -1 : static_cast<int>(got);
  }
}

int TcpSocket::close() {
  if (handle_ < 0) return -1;
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  return ::close(fd);
}

}  // namespace korvo
