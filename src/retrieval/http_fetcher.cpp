#include "retrieval/http_fetcher.h"

#include <algorithm>
#include <chrono>
#include <string_view>

#include "retrieval/http_answer.h"
#include "retrieval/http_hop.h"
#include "retrieval/url.h"

namespace korvo {
namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

bool fail(Feed& feed, std::string& out, const char* message) {
  std::string().swap(out);
  feed.setError(message);
  return false;
}

bool isRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool isPermanent(int status) { return status == 301 || status == 308; }

std::string headOf(const std::string& answer) {
  const std::size_t end = answer.find(kHeaderEnd);
  return answer.substr(0, end == std::string::npos ? answer.size() : end + 2);
}

// The charset parameter of a Content-Type value, unquoted; empty when
// there is none.
std::string charsetOf(const std::string& contentType) {
  std::size_t at = 0;
  for (;;) {
    at = contentType.find(';', at);
    if (at == std::string::npos) return std::string();
    ++at;
    while (at < contentType.size() && (contentType[at] == ' ' || contentType[at] == '\t')) ++at;
    static constexpr std::string_view kName = "charset=";
    if (contentType.size() - at < kName.size()) return std::string();
    bool match = true;
    for (std::size_t i = 0; i < kName.size() && match; ++i) {
      char c = contentType[at + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      match = c == kName[i];
    }
    if (!match) continue;
    std::size_t begin = at + kName.size();
    std::size_t end;
    if (begin < contentType.size() && contentType[begin] == '"') {
      ++begin;
      end = contentType.find('"', begin);
    } else {
      end = contentType.find_first_of("; \t", begin);
    }
    if (end == std::string::npos) end = contentType.size();
    return contentType.substr(begin, end - begin);
  }
}

// The first language tag of a Content-Language value ("de-AT" of "de-AT,
// en"); empty when it is no tag (letters, digits and hyphens, at most
// kMaxLanguageTag bytes), so that nothing else reaches a meter.
constexpr std::size_t kMaxLanguageTag = 35;
std::string languageOf(const std::string& contentLanguage) {
  const std::size_t begin = contentLanguage.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  std::size_t end = contentLanguage.find_first_of(", \t", begin);
  if (end == std::string::npos) end = contentLanguage.size();
  if (end - begin > kMaxLanguageTag) return std::string();
  for (std::size_t i = begin; i < end; ++i) {
    const char c = contentLanguage[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
      return std::string();
  }
  return contentLanguage.substr(begin, end - begin);
}

}  // namespace

// Each hop's bounds ("Unable to connect", "Response too large.", "Download
// took too long.", the secure path's own) come first; then a redirect is
// followed, or the answer itself is examined.
bool download(Feed& feed, std::string& out, DownloadTrace* trace, DownloadFacts* facts) {
  const SteadyClock::time_point start = SteadyClock::now();
  feed.errorText.clear();
  out.clear();
  const Environment& env = feed.env();
  const DownloadLimits& bounds = env.limits;
  env.writeLine("Downloading rss: " + urlForLog(feed.url));

  HopRequest request;
  request.bounds = &bounds;
  request.cancel = env.cancel;
  request.deadline = start + Milliseconds(std::max(0, bounds.maxDownloadMs));
  if (feed.state.hasData && !feed.state.firstRun) {
    request.lastModified = feed.lastModified;
    request.etag = feed.etag;
  }
  AnswerContext context;
  context.conditional = !request.lastModified.empty() || !request.etag.empty();
  std::string url = env.moved ? env.moved->resolve(feed.url, limits::kMaxRedirects) : feed.url;
  // out holds the answer up to its body, or all of it; body the body when
  // the hop set it apart.
  std::string body;

  for (int redirects = 0;; ++redirects) {
    FeedAddress address;
    if (!parseAddress(url, address)) return fail(feed, out, "Unable to connect");
    request.address = &address;
    request.url = url;
    HopAnswer hop = address.secure ? secureHop(request) : plainHop(request);
    if (trace) {
      trace->hops.push_back({url, headOf(hop.answer)});
      trace->detail = hop.detail;
    }
    if (hop.error) return fail(feed, out, hop.error);
    out.swap(hop.answer);
    body.swap(hop.body);
    context.cut = hop.cut;

    const int status = statusCode(out);
    std::string location;
    if (!isRedirect(status) || !findHeader(headOf(out), "Location", location)) break;
    const std::string next = resolveLocation(url, location);
    FeedAddress target;
    if (next.empty() || !parseAddress(next, target)) break;
    if (redirects == limits::kMaxRedirects) return fail(feed, out, "Too many redirects.");
    if (address.secure && !target.secure)
      return fail(feed, out, "Redirect to an insecure address refused.");
    if (isPermanent(status) && env.moved && env.moved->remember(url, next))
      env.writeLine("Feed moved permanently to " + urlForLog(next));
    url = next;
    out.clear();
    body.clear();
  }
  if (facts) {
    facts->finalUrl = url;
    std::string contentType;
    facts->charset = findHeader(headOf(out), "Content-Type", contentType) ? charsetOf(contentType)
                                                                           : std::string();
    std::string contentLanguage;
    facts->language = findHeader(headOf(out), "Content-Language", contentLanguage)
                          ? languageOf(contentLanguage)
                          : std::string();
  }
  return examineAnswer(feed, out, body, context);
}

}  // namespace korvo
