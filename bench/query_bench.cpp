// Queries answered from the cache, through the exports of the built
// plug-in: GetItemTitle next to a memcpy of the same text into a result
// buffer, with 50 meters on 10 feeds and with 1,000 meters on 100 feeds;
// GetTitleOfItems with 10, 100 and 1,000 items next to building the same
// list with memcpy.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/counting_allocator.h"
#include "support/query_fixture.h"
#include "support/side_by_side.h"

namespace {

using korvo::bench::QueryFixture;

constexpr const char* kAddress = "127.0.0.12";
constexpr std::size_t kResultBuffer = 32768;

// One fixture at a time: making the next one unloads the last.
QueryFixture& fixture(int meters, int feeds, int items) {
  static std::unique_ptr<QueryFixture> current;
  if (!current || current->meters() != meters || current->feeds() != feeds ||
      current->items() != items) {
    current.reset();
    current = std::make_unique<QueryFixture>(meters, feeds, items, kAddress);
  }
  return *current;
}

struct Query {
  int id;
  const char* number;
  const std::string* expected;
};

// Meters in turn, each asked for another of its feed's items.
std::vector<Query> queryPlan(const QueryFixture& f, const std::vector<std::string>& numbers,
                             std::size_t length) {
  std::vector<Query> plan;
  for (std::size_t i = 0; i < length; ++i) {
    const int meter = static_cast<int>(i % static_cast<std::size_t>(f.meters()));
    const int item = static_cast<int>((i * 7) % static_cast<std::size_t>(f.items()));
    plan.push_back({f.meterId(meter), numbers[static_cast<std::size_t>(item)].c_str(),
                    &f.itemTitle(f.feedOf(meter), item)});
  }
  return plan;
}

void BM_CachedItemTitle(benchmark::State& state) {
  korvo::bench::countThisThread();
  const int meters = static_cast<int>(state.range(0));
  const int feeds = static_cast<int>(state.range(1));
  const QueryFixture& f = fixture(meters, feeds, 20);
  if (!f.error().empty()) return state.SkipWithError(f.error().c_str());
  std::vector<std::string> numbers;
  for (int i = 0; i < f.items(); ++i) numbers.push_back(std::to_string(i));
  constexpr std::size_t kPlan = 4096;
  const std::vector<Query> plan = queryPlan(f, numbers, kPlan);
  const auto getItemTitle = f.api().GetItemTitle;
  for (const Query& q : plan)
    if (*q.expected != getItemTitle(q.id, q.number))
      return state.SkipWithError("GetItemTitle gives another text");

  static std::array<char, kResultBuffer> buffer;
  std::size_t next = 0;
  std::size_t nextReference = 0;
  korvo::bench::sideBySide(
      state, 1000,
      [&] {
        const Query& q = plan[next++ & (kPlan - 1)];
        benchmark::DoNotOptimize(getItemTitle(q.id, q.number));
      },
      [&] {
        const Query& q = plan[nextReference++ & (kPlan - 1)];
        std::memcpy(buffer.data(), q.expected->data(), q.expected->size());
        buffer[q.expected->size()] = '\0';
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
      });
  state.SetLabel(std::to_string(meters) + " meters on " + std::to_string(feeds) + " feeds");
}
BENCHMARK(BM_CachedItemTitle)->Args({50, 10})->Args({1000, 100})->MinTime(0.5);

void BM_TitleList(benchmark::State& state) {
  korvo::bench::countThisThread();
  const int count = static_cast<int>(state.range(0));
  const QueryFixture& f = fixture(1, 1, 1000);
  if (!f.error().empty()) return state.SkipWithError(f.error().c_str());
  const std::string number = std::to_string(count);
  const int id = f.meterId(0);
  const auto getTitleOfItems = f.api().GetTitleOfItems;

  static std::array<char, kResultBuffer> buffer;
  auto buildList = [&] {
    const std::string& title = f.channelTitle(0);
    std::memcpy(buffer.data(), title.data(), title.size());
    std::size_t size = title.size();
    for (int i = 0; i < count; ++i) {
      const std::string& item = f.itemTitle(0, i);
      buffer[size++] = '\n';
      std::memcpy(buffer.data() + size, item.data(), item.size());
      size += item.size();
    }
    buffer[size] = '\0';
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  };
  buildList();
  if (std::strcmp(getTitleOfItems(id, number.c_str()), buffer.data()) != 0)
    return state.SkipWithError("GetTitleOfItems gives another list");

  korvo::bench::sideBySide(
      state, static_cast<std::size_t>(1000 / count),
      [&] { benchmark::DoNotOptimize(getTitleOfItems(id, number.c_str())); }, buildList);
  state.counters["items"] = count;
  state.SetLabel(std::to_string(count) + " items");
}
BENCHMARK(BM_TitleList)->Arg(10)->Arg(100)->Arg(1000)->MinTime(0.5);

}  // namespace
