#include "fetch_report.h"

#include <cstddef>
#include <string_view>

#include "base/environment.h"
#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "feed/feed_parser.h"
#include "feed/json_feed.h"
#include "retrieval/http_answer.h"
#include "retrieval/http_fetcher.h"
#include "retrieval/url.h"
#include "text/target_code_page.h"

namespace korvo::host {
namespace {

constexpr std::size_t kTitlesShown = 5;
constexpr std::string_view kHeadersShown[] = {"Location",      "Content-Type", "Content-Encoding",
                                              "Content-Length", "ETag",         "Last-Modified"};

void showHop(std::ostream& out, std::size_t number, const DownloadTrace::Hop& hop) {
  out << "hop " << number << ": " << hop.url << '\n';
  if (hop.head.empty()) {
    out << "  (no answer)\n";
    return;
  }
  out << "  " << hop.head.substr(0, hop.head.find("\r\n")) << '\n';
  for (std::string_view name : kHeadersShown) {
    std::string value;
    if (findHeader(hop.head, name, value)) out << "  " << name << ": " << value << '\n';
  }
}

const char* dialectOf(const Feed& feed, std::string_view body) {
  if (looksLikeJson(body)) return "JSON Feed";
  if (feed.isRdf) return "RSS 1.0 (RDF)";
  if (feed.isAtom) return "Atom";
  return "RSS 0.9x/2.0";
}

}  // namespace

int fetchAndReport(const std::string& url, std::ostream& out) {
  if (!isValidUrl(url)) {
    out << "error: " << url << " is not a feed address: it must start with http:// or https://"
        << " and have a path (\"/\" after the host)\n";
    return 1;
  }
  MovedFeeds moved;
  Environment env;
  env.moved = &moved;
  Feed feed(url, env);
  DownloadTrace trace;
  DownloadFacts facts;
  std::string body;
  const bool downloaded = download(feed, body, &trace, &facts);
  for (std::size_t i = 0; i < trace.hops.size(); ++i) showHop(out, i + 1, trace.hops[i]);
  if (!downloaded) {
    out << "error: " << feed.errorText << '\n';
    if (!trace.detail.empty()) out << "  why: " << trace.detail << '\n';
    return 1;
  }
  if (feed.state.notModified) {
    out << "not modified\n";
    return 0;
  }
  out << "dialect: " << dialectOf(feed, body) << " (" << body.size() << " bytes)\n";
  // Read as a meter reads it, the answer's charset included; the texts
  // are printed in UTF-8, as korvo-host prints every text.
  CleanupOptions options;
  options.target = TargetCodePage{charset::kUtf8, false};
  if (!convertAndParse(feed, body, options, facts.charset)) {
    out << "error: " << feed.errorText << '\n';
    return 1;
  }
  if (!feed.encoding.empty()) out << "encoding: " << feed.encoding << '\n';
  out << "title: " << feed.channel.title << '\n';
  out << "items: " << feed.channel.items.size() << '\n';
  for (std::size_t i = 0; i < feed.channel.items.size() && i < kTitlesShown; ++i)
    out << "  " << i + 1 << ". " << feed.channel.items[i].title << '\n';
  return 0;
}

}  // namespace korvo::host
