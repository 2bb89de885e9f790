#include "retrieval/http_hop.h"

#include <algorithm>
#include <cstdint>

#include "platform/ascii.h"
#include "platform/https_client.h"
#include "retrieval/http_answer.h"
#include "retrieval/tcp_connection.h"

namespace korvo {
namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Added to the receive time-out that the deadline cuts short, so that a
// receive timing out there returns after the deadline, not just before it.
constexpr int kDeadlineSlackMs = 25;

// How often a receive with a cancel hook looks at it.
constexpr long long kCancelCheckMs = 100;

// Why the receive loop stopped before the server closed.
enum class Cut { None, TooLarge, TooLong, Reset, Stalled, Cancelled };

bool cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

void sendRequest(TcpConnection& connection, const HopRequest& request) {
  connection.sendText("GET " + request.address->path + " HTTP/1.0\r\n");
  connection.sendText(std::string("User-Agent: ") + kUserAgent + "\r\n");
  connection.sendText("Connection: close\r\n");
  connection.sendText("Referer: " + request.url + "\r\n");
  connection.sendText("Host: " + request.address->authority + "\r\n");
  if (!request.lastModified.empty())
    connection.sendText("If-Modified-Since: " + request.lastModified + "\r\n");
  if (!request.etag.empty()) connection.sendText("If-None-Match: " + request.etag + "\r\n");
  connection.sendText("\r\n");
}

// Once the head of the answer is in (received: how many of its bytes came
// last), the body is set apart from it, with room for as many bytes as its
// Content-Length announces, within the answer's bound: the body then
// arrives without growing and copying itself again and again, and is never
// moved to drop the head. A false length costs only the room. True when
// the head is in.
bool setBodyApart(std::string& answer, std::size_t received, std::string& body,
                  std::size_t maxBytes) {
  const std::size_t from = answer.size() - received;
  const std::size_t end =
      answer.find(kHeaderEnd, from < kHeaderEnd.size() ? 0 : from - (kHeaderEnd.size() - 1));
  if (end == std::string::npos) return false;
  const std::size_t headLength = end + kHeaderEnd.size();
  std::string value;
  if (findHeader(std::string_view(answer).substr(0, headLength), "Content-Length", value)) {
    const auto bound = static_cast<std::int64_t>(std::min(maxBytes, limits::kMaxResponseBytes));
    const ascii::Decimal length = ascii::parseDecimal(value, 0, bound, ascii::Form::Digits);
    if (length.hasDigits && length.inRange) body.reserve(static_cast<std::size_t>(length.value));
  }
  body.assign(answer, headLength, std::string::npos);
  answer.resize(headLength);
  return true;
}

// Collects the answer until the server closes or a receive fails, or no
// byte came for the receive time-out; the answer so far stays in out
// either way. No receive waits much past the deadline of the whole
// download, nor past kCancelCheckMs when there is a cancel hook; the
// answer never grows past its bound.
Cut receiveAnswer(TcpConnection& connection, const DownloadLimits& bounds,
                  SteadyClock::time_point deadline, const std::atomic<bool>* cancel,
                  std::string& out, std::string& body) {
  char buffer[limits::kReceiveChunk];
  const long long ownTimeout = std::max(1, bounds.receiveTimeoutMs);
  SteadyClock::time_point lastData = SteadyClock::now();
  bool headIn = false;
  for (;;) {
    if (cancelled(cancel)) return Cut::Cancelled;
    const SteadyClock::time_point now = SteadyClock::now();
    const long long left = std::chrono::duration_cast<Milliseconds>(deadline - now).count();
    if (left <= 0) return Cut::TooLong;
    const long long idleLeft =
        ownTimeout - std::chrono::duration_cast<Milliseconds>(now - lastData).count();
    if (idleLeft <= 0) return Cut::Stalled;
    long long slice = std::min(idleLeft, left + kDeadlineSlackMs);
    if (cancel != nullptr) slice = std::min(slice, kCancelCheckMs);
    connection.setReceiveTimeout(static_cast<int>(std::max(1LL, slice)));
    const int got = connection.receive(buffer, static_cast<int>(sizeof buffer));
    if (got < 0 && SteadyClock::now() >= deadline) return Cut::TooLong;
    if (got == TcpSocket::kReceiveTimedOut) continue;
    if (got < 0) return Cut::Reset;
    if (got == 0) return Cut::None;
    const std::size_t size = out.size() + body.size();
    if (static_cast<std::size_t>(got) > bounds.maxResponseBytes - size) return Cut::TooLarge;
    if (headIn) {
      body.append(buffer, static_cast<std::size_t>(got));
    } else {
      out.append(buffer, static_cast<std::size_t>(got));
      headIn = setBodyApart(out, static_cast<std::size_t>(got), body, bounds.maxResponseBytes);
    }
    lastData = SteadyClock::now();
  }
}

long long msLeft(SteadyClock::time_point deadline) {
  return std::max<long long>(
      0, std::chrono::duration_cast<Milliseconds>(deadline - SteadyClock::now()).count());
}

const char* messageOf(HttpsFailure failure) {
  switch (failure) {
    case HttpsFailure::None:
      return nullptr;
    case HttpsFailure::HostNotFound:
      return "Host name not found.";
    case HttpsFailure::ConnectFailed:
      return "Unable to connect";
    case HttpsFailure::HandshakeTimedOut:
      return "TLS handshake timed out.";
    case HttpsFailure::HandshakeFailed:
      return "TLS handshake failed.";
    case HttpsFailure::CertificateUntrusted:
      return "Certificate not trusted.";
    case HttpsFailure::CertificateNameMismatch:
      return "Certificate name mismatch.";
    case HttpsFailure::CertificateExpired:
      return "Certificate expired.";
    case HttpsFailure::TooLarge:
      return "Response too large.";
    case HttpsFailure::TooLong:
      return "Download took too long.";
    case HttpsFailure::Stalled:
      return "Server stopped sending data.";
    case HttpsFailure::Cancelled:
      return "Download cancelled.";
    case HttpsFailure::TransferFailed:
      return "Error transfering data.";
  }
  return "Error transfering data.";
}

}  // namespace

HopAnswer plainHop(const HopRequest& request) {
  HopAnswer hop;
  const DownloadLimits& bounds = *request.bounds;
  Cut cut = Cut::None;
  if (cancelled(request.cancel)) {
    hop.error = "Download cancelled.";
    return hop;
  }
  {
    const long long left = msLeft(request.deadline);
    TcpConnection connection(static_cast<int>(std::min<long long>(bounds.connectTimeoutMs, left)));
    if (!connection.connectTo(request.address->host, request.address->port, request.cancel)) {
      hop.error = cancelled(request.cancel) ? "Download cancelled." : "Unable to connect";
      return hop;
    }
    sendRequest(connection, request);
    cut = receiveAnswer(connection, bounds, request.deadline, request.cancel, hop.answer, hop.body);
    connection.close();
  }
  if (cut == Cut::TooLarge) hop.error = "Response too large.";
  if (cut == Cut::TooLong) hop.error = "Download took too long.";
  if (cut == Cut::Cancelled) hop.error = "Download cancelled.";
  if (cut == Cut::Reset) hop.cut = AnswerContext::Cut::Reset;
  if (cut == Cut::Stalled) hop.cut = AnswerContext::Cut::Stalled;
  if (hop.error) {
    std::string().swap(hop.answer);
    std::string().swap(hop.body);
  }
  return hop;
}

HopAnswer secureHop(const HopRequest& request) {
  HttpsRequest call;
  call.url = request.url;
  call.userAgent = kUserAgent;
  if (!request.lastModified.empty())
    call.headers.push_back("If-Modified-Since: " + request.lastModified);
  if (!request.etag.empty()) call.headers.push_back("If-None-Match: " + request.etag);
  call.connectTimeoutMs = request.bounds->connectTimeoutMs;
  call.handshakeTimeoutMs = request.bounds->handshakeTimeoutMs;
  call.receiveTimeoutMs = std::max(1, request.bounds->receiveTimeoutMs);
  call.deadline = request.deadline;
  call.maxBodyBytes = request.bounds->maxResponseBytes;
  call.cancel = request.cancel;

  HttpsAnswer got = httpsGet(call);
  HopAnswer hop;
  hop.error = messageOf(got.failure);
  hop.detail = std::move(got.detail);
  if (hop.error) return hop;
  // Whatever the version and reason phrase, a 200 is the one the
  // examination accepts; other codes keep their phrase for diagnostics.
  hop.answer = "HTTP/1.1 " + std::to_string(got.status);
  if (got.status == 200)
    hop.answer += " OK";
  else if (!got.reason.empty())
    hop.answer += " " + got.reason;
  hop.answer += "\r\n";
  hop.answer += got.headers;
  hop.answer += "\r\n";
  // The body is set apart, unmoved, where the header block ends the head.
  if (hop.answer.find(kHeaderEnd) + kHeaderEnd.size() == hop.answer.size())
    hop.body = std::move(got.body);
  else
    hop.answer += got.body;
  return hop;
}

}  // namespace korvo
