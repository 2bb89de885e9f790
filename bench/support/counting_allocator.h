#pragma once
// A replacement of the global operator new and delete for benchmark
// programs: counts the allocations of the threads that asked to be
// counted, and the bytes they hold now and at their peak. Linking
// counting_allocator.cpp into a program installs it for the whole process,
// a plug-in loaded with dlopen included.
#include <cstddef>

namespace korvo::bench {

// Counts this thread's allocations from now on (other threads, such as a
// loopback server's, stay uncounted).
void countThisThread();

// Allocations made by counted threads since the start.
std::size_t allocationCount();
// Bytes requested by counted threads and not yet freed.
std::size_t liveBytes();
// The highest liveBytes() since the last resetPeak().
std::size_t peakBytes();
void resetPeak();

}  // namespace korvo::bench
