// Makes `queries` cached GetItemTitle calls through the exports of the
// built plug-in, with `meters` meters on `feeds` feeds, for counting
// instructions with callgrind: (count with 2N queries - count with N) / N
// is the cost of one query, without the start-up.
//   cached_query_driver METERS FEEDS QUERIES [ADDRESS]
// ADDRESS: the loopback address the feeds are served from (127.0.0.12).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/query_fixture.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s METERS FEEDS QUERIES [ADDRESS]\n", argv[0]);
    return 2;
  }
  const int meters = std::atoi(argv[1]);
  const int feeds = std::atoi(argv[2]);
  const long queries = std::atol(argv[3]);
  constexpr int kItems = 20;
  if (meters < feeds || feeds < 1 || queries < 0) {
    std::fprintf(stderr, "need METERS >= FEEDS >= 1 and QUERIES >= 0\n");
    return 2;
  }
  korvo::bench::QueryFixture fixture(meters, feeds, kItems, argc == 5 ? argv[4] : "127.0.0.12");
  if (!fixture.error().empty()) {
    std::fprintf(stderr, "cached_query_driver: %s\n", fixture.error().c_str());
    return 1;
  }
  std::vector<std::string> numbers;
  for (int i = 0; i < kItems; ++i) numbers.push_back(std::to_string(i));
  struct Query {
    int id;
    const char* number;
  };
  // The same order as the benchmark: meters in turn, items spread.
  constexpr std::size_t kPlan = 4096;
  std::vector<Query> plan;
  for (std::size_t i = 0; i < kPlan; ++i)
    plan.push_back({fixture.meterId(static_cast<int>(i % static_cast<std::size_t>(meters))),
                    numbers[(i * 7) % kItems].c_str()});

  const auto getItemTitle = fixture.api().GetItemTitle;
  unsigned long checksum = 0;
  for (long i = 0; i < queries; ++i) {
    const Query& q = plan[static_cast<std::size_t>(i) & (kPlan - 1)];
    checksum += static_cast<unsigned char>(getItemTitle(q.id, q.number)[6]);
  }
  std::printf("%ld queries, checksum %lu\n", queries, checksum);
  return 0;
}
