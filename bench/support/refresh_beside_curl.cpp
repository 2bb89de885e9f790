#include "support/refresh_beside_curl.h"

#include <spawn.h>
#include <sys/wait.h>
#include <tinyxml.h>

#include <chrono>
#include <memory>
#include <vector>

#include "base/limits.h"
#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "retrieval/feed_refresh.h"

extern char** environ;

namespace korvo::bench {
namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// False when curl could not be run or failed.
bool curlToNull(const std::string& url, bool compressed) {
  std::vector<const char*> argv{"curl", "-s"};
  if (compressed) argv.push_back("--compressed");
  for (const char* arg : {"-o", "/dev/null", url.c_str()}) argv.push_back(arg);
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char* const*>(argv.data()),
                   environ) != 0)
    return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

void refreshBesideCurl(benchmark::State& state, const std::string& url, const std::string& body,
                       bool compressed) {
  const CleanupOptions settings;
  double refreshSeconds = 0;
  double curlSeconds = 0;
  double parseSeconds = 0;
  std::size_t items = 0;
  auto reference = [&] {
    const auto start = Clock::now();
    const bool fetched = curlToNull(url, compressed);
    const auto fetchedAt = Clock::now();
    TiXmlDocument tree;
    tree.Parse(body.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    benchmark::DoNotOptimize(tree.Error());
    tree.Clear();
    curlSeconds += seconds(fetchedAt - start);
    parseSeconds += seconds(Clock::now() - fetchedAt);
    return fetched;
  };
  bool referenceFirst = false;
  for (auto _ : state) {
    if (referenceFirst && !reference()) return state.SkipWithError("curl failed");
    // A new feed is due at once; the old one goes outside the timed part.
    auto feed = std::make_unique<Feed>(url);
    const auto start = Clock::now();
    refresh(*feed, limits::kDefaultUpdateInterval, settings);
    const double took = seconds(Clock::now() - start);
    refreshSeconds += took;
    state.SetIterationTime(took);
    if (!feed->state.hasData) return state.SkipWithError(feed->errorText.c_str());
    items = feed->channel.items.size();
    feed.reset();
    if (!referenceFirst && !reference()) return state.SkipWithError("curl failed");
    referenceFirst = !referenceFirst;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ms"] = refreshSeconds / n * 1e3;
  state.counters["curl_ms"] = curlSeconds / n * 1e3;
  state.counters["parse_ms"] = parseSeconds / n * 1e3;
  state.counters["ref_ms"] = (curlSeconds + parseSeconds) / n * 1e3;
  state.counters["x_ref"] = refreshSeconds / (curlSeconds + parseSeconds);
  state.counters["items"] = static_cast<double>(items);
  state.counters["doc_bytes"] = static_cast<double>(body.size());
}

}  // namespace korvo::bench
