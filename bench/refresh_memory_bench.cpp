// The heap a refresh of a 10 MiB feed from a loopback server needs at its
// peak, as a multiple of the document's size, and what the feed keeps
// afterwards next to what its texts, items and raw document take.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "feed/cleanup_options.h"
#include "feed/feed.h"
#include "retrieval/feed_refresh.h"
#include "support/counting_allocator.h"
#include "support/generated_feed.h"
#include "support/loopback_server.h"

namespace {

using korvo::bench::liveBytes;
using korvo::bench::peakBytes;

// What a text keeps on the heap, and what it would keep with no room to
// spare. Short texts live inside the string object.
std::size_t heldBytes(const std::string& text) {
  return text.capacity() > std::string().capacity() ? text.capacity() + 1 : 0;
}
std::size_t neededBytes(const std::string& text) {
  return text.size() > std::string().capacity() ? text.size() + 1 : 0;
}

struct Footprint {
  std::size_t held = 0;
  std::size_t needed = 0;
  void add(const std::string& text) {
    held += heldBytes(text);
    needed += neededBytes(text);
  }
};

Footprint footprint(const korvo::Channel& c) {
  Footprint f;
  for (const std::string* text : {&c.title, &c.link, &c.description, &c.language, &c.copyright,
                                  &c.managingEditor, &c.rating, &c.lastBuildDate, &c.pubDate})
    f.add(*text);
  f.held += c.items.capacity() * sizeof(korvo::FeedItem);
  f.needed += c.items.size() * sizeof(korvo::FeedItem);
  for (const korvo::FeedItem& item : c.items)
    for (const std::string* text : {&item.title, &item.link, &item.description, &item.pubDate, &item.guid})
      f.add(*text);
  return f;
}

void BM_RefreshMemory(benchmark::State& state) {
  korvo::bench::countThisThread();
  if (!korvo::test::mayBindPort80()) return state.SkipWithError(korvo::test::kPort80SkipMessage);
  const std::string body = korvo::bench::largeFeed(static_cast<std::size_t>(state.range(0)));
  korvo::test::LoopbackServer server("127.0.0.12",
                                     korvo::test::Script().send(korvo::bench::okAnswer(body)));
  if (!server.ok()) return state.SkipWithError(server.error().c_str());
  const korvo::CleanupOptions settings;

  std::size_t peak = 0;
  std::size_t retained = 0;
  Footprint kept;
  for (auto _ : state) {
    auto feed = std::make_unique<korvo::Feed>(server.url("/feed.xml"));
    const std::size_t before = liveBytes();
    korvo::bench::resetPeak();
    korvo::refresh(*feed, korvo::limits::kDefaultUpdateInterval, settings);
    if (!feed->state.hasData) return state.SkipWithError(feed->errorText.c_str());
    peak = std::max(peak, peakBytes() - before);
    retained = liveBytes() - before;
    kept = footprint(feed->channel);
    // The document as received is kept too, for other meters' cleanups.
    for (const std::string* text : {&feed->lastModified, &feed->etag, &feed->errorText,
                                    &feed->encoding, &feed->raw.body})
      kept.add(*text);
  }
  const double doc = static_cast<double>(body.size());
  state.counters["doc_mib"] = doc / (1 << 20);
  state.counters["peak_mib"] = static_cast<double>(peak) / (1 << 20);
  state.counters["peak_x_doc"] = static_cast<double>(peak) / doc;
  state.counters["kept_bytes"] = static_cast<double>(retained);
  state.counters["held_bytes"] = static_cast<double>(kept.held);
  state.counters["needed_bytes"] = static_cast<double>(kept.needed);
  // Above 1: the feed keeps something besides its texts, items and document.
  state.counters["kept_x_held"] = static_cast<double>(retained) / static_cast<double>(kept.held);
  // Above 1: texts and the item list have room to spare.
  state.counters["held_x_needed"] =
      static_cast<double>(kept.held) / static_cast<double>(kept.needed);
}
BENCHMARK(BM_RefreshMemory)->Arg(10 << 20)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
