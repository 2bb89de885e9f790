// The whole refresh of a 10 MiB feed from a loopback server (download,
// character-set step, parse, cleanup) next to what the same document costs
// at the least: `curl -s -o /dev/null` of the same URL from the same server
// plus a bare TinyXML parse of the body. Iterations alternate which of the
// two runs first; the reported time is the refresh's.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tinyxml.h>

#include <chrono>
#include <memory>
#include <string>

#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "retrieval/feed_refresh.h"
#include "support/generated_feed.h"
#include "support/loopback_server.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// False when curl could not be run or failed.
bool curlToNull(const std::string& url) {
  const char* const argv[] = {"curl", "-s", "-o", "/dev/null", url.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
    return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_WholeRefresh(benchmark::State& state) {
  if (!korvo::test::mayBindPort80()) return state.SkipWithError(korvo::test::kPort80SkipMessage);
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const std::string body =
      state.range(1) ? korvo::bench::htmlHeavyFeed(size) : korvo::bench::largeFeed(size);
  korvo::test::LoopbackServer server("127.0.0.12",
                                     korvo::test::Script().send(korvo::bench::okAnswer(body)));
  if (!server.ok()) return state.SkipWithError(server.error().c_str());
  const std::string url = server.url("/feed.xml");
  const korvo::CleanupOptions settings;

  double refreshSeconds = 0;
  double curlSeconds = 0;
  double parseSeconds = 0;
  std::size_t items = 0;
  auto reference = [&] {
    const auto start = Clock::now();
    const bool fetched = curlToNull(url);
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
    auto feed = std::make_unique<korvo::Feed>(url);
    const auto start = Clock::now();
    korvo::refresh(*feed, korvo::limits::kDefaultUpdateInterval, settings);
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
// The second argument: 1 for the HTML-heavy feed.
BENCHMARK(BM_WholeRefresh)->Args({10 << 20, 0})->Args({10 << 20, 1})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
