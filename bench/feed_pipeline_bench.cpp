// The whole step a refresh runs on a downloaded document (character set,
// pre-scan, parse, cleanup of every stored text) next to a bare TinyXML
// parse of the same bytes (in the mode the step parses in). Each iteration runs both; the counter
// "x_bare" is the step's processor time over the bare parse's, which
// other programs on the machine disturb less than the time on the clock.
#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <ctime>
#include <string>

#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "feed/feed_parser.h"
#include "support/generated_feed.h"

namespace {

using korvo::bench::Dialect;
using korvo::bench::Variant;
using korvo::bench::kRss, korvo::bench::kRdf, korvo::bench::kAtom;
using korvo::bench::kAscii, korvo::bench::kLatin1, korvo::bench::kUtf8, korvo::bench::kCyrillic;
using korvo::bench::kDialectNames, korvo::bench::kVariantNames;
using korvo::bench::newsFeed;

double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

void BM_Step(benchmark::State& state) {
  const auto dialect = static_cast<Dialect>(state.range(0));
  const auto variant = static_cast<Variant>(state.range(1));
  const std::string source = newsFeed(dialect, variant, static_cast<std::size_t>(state.range(2)));
  korvo::CleanupOptions settings;
  // The code page the texts are written in: 0 latin1 mode, else its number.
  const auto target = static_cast<unsigned>(state.range(3));
  if (target != 0) settings.target = korvo::TargetCodePage{target, false};
  korvo::Feed feed("http://news.example.com/");
  feed.isRdf = dialect == kRdf;
  feed.isAtom = dialect == kAtom;
  double stepSeconds = 0;
  double bareSeconds = 0;
  std::size_t items = 0;
  auto bareParse = [&] {
    const double start = processorSeconds();
    TiXmlDocument tree;
    // The parse the step makes: single-byte in latin1 mode, else UTF-8
    // (TinyXML's own choice for a document that declares UTF-8).
    tree.Parse(source.c_str(), nullptr, target == 0 ? TIXML_ENCODING_LEGACY : TIXML_ENCODING_UTF8);
    benchmark::DoNotOptimize(tree.Error());
    tree.Clear();
    bareSeconds += processorSeconds() - start;
  };
  bool bareFirst = true;
  for (auto _ : state) {
    state.PauseTiming();
    // Which of the two runs first changes how the heap looks to it.
    if (bareFirst) bareParse();
    std::string body = source;
    state.ResumeTiming();
    const double start = processorSeconds();
    const bool ok = korvo::convertAndParse(feed, body, settings);
    stepSeconds += processorSeconds() - start;
    state.PauseTiming();
    if (!bareFirst) bareParse();
    bareFirst = !bareFirst;
    state.ResumeTiming();
    if (!ok) state.SkipWithError(feed.errorText.c_str());
    items = feed.channel.items.size();
  }
  state.counters["x_bare"] = stepSeconds / bareSeconds;
  state.counters["items"] = static_cast<double>(items);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(source.size()));
  state.SetLabel(std::string(kDialectNames[dialect]) + "/" + kVariantNames[variant] + "/" +
                 (target == 0 ? std::string("latin1 mode") : "cp" + std::to_string(target)));
}

void stepArguments(benchmark::internal::Benchmark* b) {
  for (long size : {100L << 10, 1L << 20, 10L << 20})
    for (int variant : {kAscii, kLatin1, kUtf8})
      for (int dialect : {kRss, kRdf, kAtom}) b->Args({dialect, variant, size, 0});
  // Another script in the code pages that show it, and in UTF-8.
  for (int target : {0, 1251, 65001}) b->Args({kRss, kCyrillic, 1L << 20, target});
  b->Args({kRss, kUtf8, 1L << 20, 1252});
}

BENCHMARK(BM_Step)->Apply(stepArguments)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

}  // namespace
