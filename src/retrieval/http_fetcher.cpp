#include "retrieval/http_fetcher.h"

#include <algorithm>
#include <chrono>

#include "retrieval/http_answer.h"
#include "retrieval/tcp_connection.h"
#include "retrieval/url.h"

namespace korvo {
namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Added to the receive time-out that the deadline cuts short, so that a
// receive timing out there returns after the deadline, not just before it.
constexpr int kDeadlineSlackMs = 25;

// Why the receive loop stopped before the server closed.
enum class Cut { None, TooLarge, TooLong, Reset, Stalled };

// True when the request carried a validator.
bool sendRequest(TcpConnection& connection, const Feed& feed, const std::string& host) {
  connection.sendText("GET " + pathOf(feed.url) + " HTTP/1.0\r\n");
  connection.sendText("User-Agent: Korvo/0.93\r\n");
  connection.sendText("Connection: close\r\n");
  connection.sendText("Referer: " + feed.url + "\r\n");
  connection.sendText("Host: " + host + ":80\r\n");
  const bool conditional = feed.state.hasData && !feed.state.firstRun;
  if (conditional && !feed.lastModified.empty())
    connection.sendText("If-Modified-Since: " + feed.lastModified + "\r\n");
  if (conditional && !feed.etag.empty())
    connection.sendText("If-None-Match: " + feed.etag + "\r\n");
  connection.sendText("\r\n");
  return conditional && !(feed.lastModified.empty() && feed.etag.empty());
}

// Collects the answer until the server closes or a receive fails or times
// out; the answer so far stays in out either way. Each receive waits at
// most its own time-out and never much past the deadline of the whole
// download; the answer never grows past its bound.
Cut receiveAnswer(TcpConnection& connection, const DownloadLimits& bounds,
                  SteadyClock::time_point deadline, std::string& out) {
  char buffer[limits::kReceiveChunk];
  const long long ownTimeout = std::max(1, bounds.receiveTimeoutMs);
  for (;;) {
    const long long left =
        std::chrono::duration_cast<Milliseconds>(deadline - SteadyClock::now()).count();
    if (left <= 0) return Cut::TooLong;
    connection.setReceiveTimeout(static_cast<int>(std::min(ownTimeout, left + kDeadlineSlackMs)));
    const int got = connection.receive(buffer, static_cast<int>(sizeof buffer));
    if (got < 0 && SteadyClock::now() >= deadline) return Cut::TooLong;
    if (got == TcpSocket::kReceiveTimedOut) return Cut::Stalled;
    if (got < 0) return Cut::Reset;
    if (got == 0) return Cut::None;
    if (static_cast<std::size_t>(got) > bounds.maxResponseBytes - out.size()) return Cut::TooLarge;
    out.append(buffer, static_cast<std::size_t>(got));
  }
}

bool fail(Feed& feed, std::string& out, const char* message) {
  std::string().swap(out);
  feed.setError(message);
  return false;
}

}  // namespace

// The bounds that stopped the receive loop ("Response too large.",
// "Download took too long.") come first; then the answer itself is examined.
bool download(Feed& feed, std::string& out) {
  const SteadyClock::time_point start = SteadyClock::now();
  feed.errorText.clear();
  out.clear();
  const Environment& env = feed.env();
  const DownloadLimits& bounds = env.limits;
  const SteadyClock::time_point deadline = start + Milliseconds(std::max(0, bounds.maxDownloadMs));
  env.writeLine("Downloading rss: " + urlForLog(feed.url));

  Cut cut = Cut::None;
  AnswerContext context;
  {
    TcpConnection connection(std::min(bounds.connectTimeoutMs, bounds.maxDownloadMs));
    const std::string host = hostOf(feed.url);
    if (!connection.connectTo(host, limits::kHttpPort)) return fail(feed, out, "Unable to connect");
    context.conditional = sendRequest(connection, feed, host);
    cut = receiveAnswer(connection, bounds, deadline, out);
    connection.close();
  }

  if (cut == Cut::TooLarge) return fail(feed, out, "Response too large.");
  if (cut == Cut::TooLong) return fail(feed, out, "Download took too long.");
  if (cut == Cut::Reset) context.cut = AnswerContext::Cut::Reset;
  if (cut == Cut::Stalled) context.cut = AnswerContext::Cut::Stalled;
  return examineAnswer(feed, out, context);
}

}  // namespace korvo
