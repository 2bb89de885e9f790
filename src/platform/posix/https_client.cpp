#include "platform/https_client.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace korvo {
namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// OpenSSL's verification results that curl reports (X509_V_ERR_*).
constexpr long kCertExpired = 10;
constexpr long kHostnameMismatch = 62;

// How often the transfer loop looks at the cancel hook and its bounds
// while nothing happens on the connection.
constexpr int kPollMs = 100;

struct Transfer {
  const HttpsRequest* request;
  HttpsAnswer* answer;
  SteadyClock::time_point start;
  CURL* curl;
  HttpsFailure stopped = HttpsFailure::None;  // why the transfer was ended here
  std::vector<curl_socket_t> sockets{};       // those curl opened and has not closed
  bool connected = false;                     // the TCP connect has finished
  SteadyClock::time_point connectedAt{};
  bool handshaken = false;                    // the TLS handshake has finished
  SteadyClock::time_point lastByte{};         // the handshake's end or the last byte since
};

// curl's own connect time covers the TLS handshake too; the sockets are
// opened and closed here so that the end of the TCP connect alone can be
// seen. With addresses of both families tried side by side curl opens
// several and closes the losers (whose numbers the system may then hand to
// anyone): only those still open are looked at.
curl_socket_t onOpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
  Transfer& t = *static_cast<Transfer*>(user);
  const curl_socket_t s =
      ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (s != CURL_SOCKET_BAD) {
    try {
      t.sockets.push_back(s);
    } catch (...) {
      ::close(s);
      return CURL_SOCKET_BAD;
    }
  }
  return s;
}

int onCloseSocket(void* user, curl_socket_t s) {
  Transfer& t = *static_cast<Transfer*>(user);
  t.sockets.erase(std::remove(t.sockets.begin(), t.sockets.end(), s), t.sockets.end());
  return ::close(s);
}

bool tcpConnected(Transfer& t) {
  for (std::size_t i = 0; !t.connected && i < t.sockets.size(); ++i) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    t.connected = ::getpeername(t.sockets[i], reinterpret_cast<sockaddr*>(&peer), &length) == 0;
    if (t.connected) t.connectedAt = SteadyClock::now();
  }
  return t.connected;
}

bool handshakeDone(Transfer& t) {
  if (!t.handshaken) {
    curl_off_t handshaken = 0;
    t.handshaken = curl_easy_getinfo(t.curl, CURLINFO_APPCONNECT_TIME_T, &handshaken) == CURLE_OK &&
                   handshaken > 0;
    if (t.handshaken) t.lastByte = SteadyClock::now();
  }
  return t.handshaken;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  Transfer& t = *static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (bytes > t.request->maxBodyBytes - t.answer->body.size()) {
    t.stopped = HttpsFailure::TooLarge;
    return 0;
  }
  t.answer->body.append(data, bytes);
  t.lastByte = SteadyClock::now();
  return bytes;
}

// Header lines of the answer, without its status line; a new status line
// (an interim answer) starts them afresh.
std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
  Transfer& t = *static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  t.lastByte = SteadyClock::now();
  std::string_view line(data, bytes);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    t.answer->headers.clear();
    const std::size_t code = line.find(' ');
    const std::size_t reason = code == std::string_view::npos ? code : line.find(' ', code + 1);
    t.answer->reason =
        std::string(reason == std::string_view::npos ? std::string_view() : line.substr(reason + 1));
  } else if (!line.empty()) {
    if (t.answer->headers.size() + line.size() > t.request->maxBodyBytes) {
      t.stopped = HttpsFailure::TooLarge;
      return 0;
    }
    t.answer->headers.append(line.data(), line.size());
    t.answer->headers += "\r\n";
  }
  return bytes;
}

// The bounds curl does not keep itself, looked at between its steps: the
// cancel hook, the TCP connect alone (curl's connect time-out covers the
// handshake too), the handshake, and the wait for each byte after it.
HttpsFailure checkBounds(Transfer& t) {
  const HttpsRequest& r = *t.request;
  if (r.cancel && r.cancel->load()) return HttpsFailure::Cancelled;
  const SteadyClock::time_point now = SteadyClock::now();
  if (!tcpConnected(t))
    return now - t.start > Milliseconds(r.connectTimeoutMs) ? HttpsFailure::ConnectFailed
                                                            : HttpsFailure::None;
  if (!handshakeDone(t))
    return now - t.connectedAt > Milliseconds(r.handshakeTimeoutMs) ? HttpsFailure::HandshakeTimedOut
                                                                   : HttpsFailure::None;
  if (r.receiveTimeoutMs > 0 && now - t.lastByte > Milliseconds(r.receiveTimeoutMs))
    return HttpsFailure::Stalled;
  return HttpsFailure::None;
}

HttpsFailure failureOf(CURLcode code, Transfer& t) {
  if (t.stopped != HttpsFailure::None) return t.stopped;
  const bool connected = tcpConnected(t);
  const bool handshaken = handshakeDone(t);
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return HttpsFailure::HostNotFound;
    case CURLE_COULDNT_CONNECT:
      return HttpsFailure::ConnectFailed;
    case CURLE_OPERATION_TIMEDOUT:
      if (!connected) return HttpsFailure::ConnectFailed;
      if (!handshaken) return HttpsFailure::HandshakeTimedOut;
      return HttpsFailure::TooLong;
    case CURLE_PEER_FAILED_VERIFICATION: {
      long result = 0;
      curl_easy_getinfo(t.curl, CURLINFO_SSL_VERIFYRESULT, &result);
      if (result == kCertExpired) return HttpsFailure::CertificateExpired;
      // A trusted chain whose names do not match is refused by curl's own
      // check, which leaves no chain error (0, or 1 "unspecified").
      if (result == kHostnameMismatch || result <= 1) return HttpsFailure::CertificateNameMismatch;
      return HttpsFailure::CertificateUntrusted;
    }
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CERTPROBLEM:
      return HttpsFailure::HandshakeFailed;
    default:
      return HttpsFailure::TransferFailed;
  }
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

long clampMs(long long ms) { return static_cast<long>(std::max<long long>(1, std::min<long long>(ms, 1L << 30))); }

}  // namespace

void httpsStartup() {
  // Before any thread: libcurl's global set-up is not thread-safe.
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)started;
  // A transfer cancelled during its name lookup leaves libcurl's resolver
  // thread to end on its own (CURLOPT_QUICK_EXIT): libcurl stays loaded for
  // the rest of the process, even when this library is unloaded.
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&curl_easy_init), &info) != 0 && info.dli_fname != nullptr)
    dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

HttpsAnswer httpsGet(const HttpsRequest& request) {
  HttpsAnswer answer;
  const SteadyClock::time_point start = SteadyClock::now();
  // Before the handles: curl may close a socket (calling back into it)
  // while they are cleaned up.
  Transfer transfer{&request, &answer, start, nullptr};
  const long long left = std::chrono::duration_cast<Milliseconds>(request.deadline - start).count();
  if (left <= 0) {
    answer.failure = HttpsFailure::TooLong;
    return answer;
  }
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    answer.failure = HttpsFailure::TransferFailed;
    answer.detail = "libcurl could not start";
    return answer;
  }
  std::unique_ptr<curl_slist, ListDeleter> lines;
  for (const std::string& header : request.headers) {
    curl_slist* grown = curl_slist_append(lines.get(), header.c_str());
    if (!grown) {
      answer.failure = HttpsFailure::TransferFailed;
      return answer;
    }
    lines.release();
    lines.reset(grown);
  }

  transfer.curl = curl.get();
  char error[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  // A time-out must never raise a signal in the host's process.
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  // A cancel never waits for a name lookup to end (see httpsStartup).
  curl_easy_setopt(c, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(c, CURLOPT_USERAGENT, request.userAgent.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, lines.get());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                   clampMs(std::min<long long>(left, static_cast<long long>(request.connectTimeoutMs) +
                                                         request.handshakeTimeoutMs)));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, clampMs(left));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, onOpenSocket);
  curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, &transfer);
  curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, onCloseSocket);
  curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, &transfer);

  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), c) != CURLM_OK) {
    answer.failure = HttpsFailure::TransferFailed;
    answer.detail = "libcurl could not start";
    return answer;
  }
  CURLcode code = CURLE_OK;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      code = CURLE_OUT_OF_MEMORY;
      break;
    }
    if (running == 0) {
      int queued = 0;
      for (CURLMsg* m; (m = curl_multi_info_read(multi.get(), &queued)) != nullptr;)
        if (m->msg == CURLMSG_DONE) code = m->data.result;
      break;
    }
    if (transfer.stopped == HttpsFailure::None) transfer.stopped = checkBounds(transfer);
    if (transfer.stopped != HttpsFailure::None) {
      code = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
  }
  curl_multi_remove_handle(multi.get(), c);
  if (code != CURLE_OK) {
    answer.failure = failureOf(code, transfer);
    answer.detail = error[0] ? error : curl_easy_strerror(code);
    answer.status = 0;
    std::string().swap(answer.body);
    return answer;
  }
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  answer.status = static_cast<int>(status);
  return answer;
}

}  // namespace korvo
