#pragma once
// Times a Korvo operation and its reference in alternating batches within
// one benchmark, so that both see the same machine load, and reports per
// operation: "ns" (ours), "ref_ns", "x_ref" (ours over the reference) and
// "allocs" (heap allocations of ours on counted threads; the program links
// counting_allocator.cpp).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>

#include "support/counting_allocator.h"

namespace korvo::bench {

template <typename Ours, typename Reference>
void sideBySide(benchmark::State& state, std::size_t batch, Ours&& ours, Reference&& reference) {
  using Clock = std::chrono::steady_clock;
  Clock::duration oursTime{};
  Clock::duration referenceTime{};
  std::size_t allocations = 0;
  for (auto _ : state) {
    const std::size_t before = allocationCount();
    const auto start = Clock::now();
    for (std::size_t i = 0; i < batch; ++i) ours();
    const auto middle = Clock::now();
    allocations += allocationCount() - before;
    for (std::size_t i = 0; i < batch; ++i) reference();
    const auto end = Clock::now();
    oursTime += middle - start;
    referenceTime += end - middle;
  }
  const double operations = static_cast<double>(state.iterations()) * static_cast<double>(batch);
  const double oursNs = std::chrono::duration<double, std::nano>(oursTime).count() / operations;
  const double referenceNs =
      std::chrono::duration<double, std::nano>(referenceTime).count() / operations;
  state.counters["ns"] = oursNs;
  state.counters["ref_ns"] = referenceNs;
  state.counters["x_ref"] = oursNs / referenceNs;
  state.counters["allocs"] = static_cast<double>(allocations) / operations;
}

}  // namespace korvo::bench
