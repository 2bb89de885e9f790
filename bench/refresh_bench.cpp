// The whole refresh of a 10 MiB feed from a loopback server (download,
// character-set step, parse, cleanup) next to what the same document costs
// at the least: `curl -s -o /dev/null` of the same URL from the same server
// plus a bare TinyXML parse of the body. Iterations alternate which of the
// two runs first; the reported time is the refresh's.
#include <benchmark/benchmark.h>

#include <string>

#include "support/generated_feed.h"
#include "support/loopback_server.h"
#include "support/refresh_beside_curl.h"

namespace {

void BM_WholeRefresh(benchmark::State& state) {
  if (!korvo::test::mayBindPort80()) return state.SkipWithError(korvo::test::kPort80SkipMessage);
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  const std::string body =
      state.range(1) ? korvo::bench::htmlHeavyFeed(size) : korvo::bench::largeFeed(size);
  korvo::test::LoopbackServer server("127.0.0.12",
                                     korvo::test::Script().send(korvo::bench::okAnswer(body)));
  if (!server.ok()) return state.SkipWithError(server.error().c_str());
  korvo::bench::refreshBesideCurl(state, server.url("/feed.xml"), body, false);
}
// The second argument: 1 for the HTML-heavy feed.
BENCHMARK(BM_WholeRefresh)->Args({10 << 20, 0})->Args({10 << 20, 1})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
