#include "retrieval/http_fetcher.h"

#include <algorithm>
#include <chrono>
#include <string_view>

#include "retrieval/tcp_connection.h"
#include "retrieval/url.h"

namespace korvo {
namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";

// Added to the receive time-out that the deadline cuts short, so that a
// receive timing out there returns after the deadline, not just before it.
constexpr int kDeadlineSlackMs = 25;

// Why the receive loop stopped before the server closed.
enum class Cut { None, TooLarge, TooLong };

void sendRequest(TcpConnection& connection, const Feed& feed, const std::string& host) {
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
}

// Collects the answer until the server closes or a receive fails or times
// out. Each receive waits at most its own time-out and never much past the
// deadline of the whole download; the answer never grows past its bound.
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
    if (got <= 0) return Cut::None;
    if (static_cast<std::size_t>(got) > bounds.maxResponseBytes - out.size()) return Cut::TooLarge;
    out.append(buffer, static_cast<std::size_t>(got));
  }
}

bool fail(Feed& feed, std::string& out, const char* message) {
  std::string().swap(out);
  feed.setError(message);
  return false;
}

// Header names are matched anywhere in the answer, exact case, and the
// value is assumed to follow ": "; only a match in the header block counts.
void takeValidator(const std::string& answer, std::string_view name, std::size_t bodyStart,
                   std::string& stored) {
  const std::size_t at = answer.find(name);
  if (at == std::string::npos) return;
  const std::size_t valueStart = at + name.size() + 2;
  if (valueStart >= bodyStart) return;
  const std::size_t valueEnd = answer.find(kLineEnd, valueStart);
  stored = answer.substr(valueStart, valueEnd - valueStart);
}

}  // namespace

// The answer is checked in this order: the bounds that stopped the receive
// loop ("Response too large.", "Download took too long."), then an empty
// answer, a missing line end, 304, the status line, the closing tag, the
// start of the body.
bool download(Feed& feed, std::string& out) {
  const SteadyClock::time_point start = SteadyClock::now();
  feed.errorText.clear();
  out.clear();
  const Environment& env = feed.env();
  const DownloadLimits& bounds = env.limits;
  const SteadyClock::time_point deadline = start + Milliseconds(std::max(0, bounds.maxDownloadMs));
  env.writeLine("Downloading rss: " + feed.url);

  Cut cut = Cut::None;
  {
    TcpConnection connection(std::min(bounds.connectTimeoutMs, bounds.maxDownloadMs));
    const std::string host = hostOf(feed.url);
    if (!connection.connectTo(host, limits::kHttpPort)) return fail(feed, out, "Unable to connect");
    sendRequest(connection, feed, host);
    cut = receiveAnswer(connection, bounds, deadline, out);
    connection.close();
  }

  if (cut == Cut::TooLarge) return fail(feed, out, "Response too large.");
  if (cut == Cut::TooLong) return fail(feed, out, "Download took too long.");
  if (out.empty()) return fail(feed, out, "No data recieved");
  const std::size_t statusEnd = out.find(kLineEnd);
  if (statusEnd == std::string::npos) return fail(feed, out, "Invalid format.");

  if (out.compare(0, 12, "HTTP/1.1 304") == 0 || out.compare(0, 12, "HTTP/1.0 304") == 0) {
    env.writeLine("File not modified since last call");
    feed.errorText.clear();
    feed.state.setNotModified(true);
    std::string().swap(out);
    return true;
  }

  const std::string_view status = std::string_view(out).substr(0, statusEnd);
  if (status != "HTTP/1.1 200 OK" && status != "HTTP/1.0 200 OK")
    return fail(feed, out, "Error transfering data.");

  feed.isRdf = false;
  feed.isAtom = false;
  if (out.rfind("</rss>") == std::string::npos) {
    if (out.rfind("</rdf:RDF>") != std::string::npos)
      feed.isRdf = true;
    else if (out.rfind("</feed>") != std::string::npos)
      feed.isAtom = true;
    else
      return fail(feed, out, "Invalid rss format.");
  }

  const std::size_t headerEnd = out.find(kHeaderEnd);
  const std::size_t bodyStart =
      headerEnd == std::string::npos ? out.size() : headerEnd + kHeaderEnd.size();
  if (bodyStart >= out.size()) return fail(feed, out, "Beginning of data not found.");

  takeValidator(out, "Last-Modified", bodyStart, feed.lastModified);
  takeValidator(out, "ETag", bodyStart, feed.etag);
  out.erase(0, bodyStart);
  return true;
}

}  // namespace korvo
