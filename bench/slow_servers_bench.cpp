// The host's thread while 20 feeds are due on servers that take 2 s to
// answer: the time of each query (GetTitle, meter after meter) through the
// built plug-in, with WaitForDownload 250 and 0, one query every 10 ms
// (a host drawing its meters) for 4 s. Reported: the median, the
// 99th percentile and the longest query, in milliseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/generated_feed.h"
#include "support/loopback_server.h"
#include "support/plugin_library.h"
#include "support/temp_dir.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kFeeds = 20;
constexpr int kQueries = 400;
constexpr std::chrono::milliseconds kServerDelay{2000};
constexpr std::chrono::milliseconds kQueryGap{10};

double percentile(std::vector<double> sorted, double p) {
  std::sort(sorted.begin(), sorted.end());
  const std::size_t at = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1));
  return sorted[at];
}

void BM_QueriesWhileFeedsAreDueOnSlowServers(benchmark::State& state) {
  if (!korvo::test::mayBindPort80()) return state.SkipWithError(korvo::test::kPort80SkipMessage);
  const int budget = static_cast<int>(state.range(0));
  std::vector<double> ms;
  for (auto _ : state) {
    state.PauseTiming();
    korvo::test::TempDir dir;
    std::string ini = "[Settings]\nWaitForDownload=" + std::to_string(budget) + "\n[NewsSites]\n";
    std::string host;
    std::vector<std::unique_ptr<korvo::test::LoopbackServer>> servers;
    const std::string body = korvo::bench::rssDocument("Slow", {"one", "two"});
    for (int i = 0; i < kFeeds; ++i) {
      const std::string address = "127.0.15." + std::to_string(100 + i);
      servers.push_back(std::make_unique<korvo::test::LoopbackServer>(
          address, korvo::test::Script().pause(kServerDelay).send(korvo::bench::okAnswer(body))));
      if (!servers.back()->ok()) return state.SkipWithError(servers.back()->error().c_str());
      ini += "Feed" + std::to_string(i) + "=" + servers.back()->url("/feed.xml") + "\n";
      host += "[M" + std::to_string(i) + "]\nNewsSite=Feed" + std::to_string(i) + "\n";
    }
    korvo::test::writeWholeFile(dir.file("Korvo.ini"), ini);
    korvo::test::writeWholeFile(dir.file("host.ini"), host);
    korvo::test::PluginLibrary lib(dir.path());
    if (!lib.loaded()) return state.SkipWithError(lib.error().c_str());
    std::vector<int> ids;
    for (int i = 0; i < kFeeds; ++i) {
      ids.push_back(lib->dllstartup(0, 0));
      lib->src_load_settings(ids.back(), dir.file("host.ini").c_str(),
                             ("M" + std::to_string(i)).c_str());
    }
    state.ResumeTiming();
    for (int q = 0; q < kQueries; ++q) {
      const auto start = SteadyClock::now();
      benchmark::DoNotOptimize(lib->GetTitle(ids[static_cast<std::size_t>(q % kFeeds)]));
      ms.push_back(std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count());
      std::this_thread::sleep_for(kQueryGap);
    }
    state.PauseTiming();
    for (int id : ids) lib->dllshutdown(id);
    state.ResumeTiming();
  }
  state.counters["p50_ms"] = percentile(ms, 0.5);
  state.counters["p99_ms"] = percentile(ms, 0.99);
  state.counters["max_ms"] = percentile(ms, 1.0);
  state.counters["budget_ms"] = budget;
}
BENCHMARK(BM_QueriesWhileFeedsAreDueOnSlowServers)
    ->Arg(250)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
