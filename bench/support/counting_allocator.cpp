#include "support/counting_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace korvo::bench {
namespace {

std::atomic<std::size_t> gCount{0};
std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};
thread_local bool tCounted = false;

// Every block starts with this header, so that a free knows the size the
// block was asked for and whether it was counted.
struct alignas(alignof(std::max_align_t)) Header {
  std::size_t size;
  std::size_t offset;  // from the start of the system's block to the user's bytes
  bool counted;
};
constexpr std::size_t kHeader = sizeof(Header);

void* allocate(std::size_t size, std::size_t alignment) {
  if (alignment < alignof(Header)) alignment = alignof(Header);
  const std::size_t offset = (kHeader + alignment - 1) / alignment * alignment;
  void* base = alignment <= alignof(std::max_align_t)
                   ? std::malloc(offset + size)
                   : std::aligned_alloc(alignment, (offset + size + alignment - 1) / alignment *
                                                       alignment);
  if (base == nullptr) return nullptr;
  char* user = static_cast<char*>(base) + offset;
  Header* header = reinterpret_cast<Header*>(user) - 1;
  *header = Header{size, offset, tCounted};
  if (tCounted) {
    gCount.fetch_add(1, std::memory_order_relaxed);
    const std::size_t live = gLive.fetch_add(size, std::memory_order_relaxed) + size;
    std::size_t peak = gPeak.load(std::memory_order_relaxed);
    while (live > peak && !gPeak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
  }
  return user;
}

void release(void* user) {
  if (user == nullptr) return;
  const Header* header = static_cast<Header*>(user) - 1;
  if (header->counted) gLive.fetch_sub(header->size, std::memory_order_relaxed);
  std::free(static_cast<char*>(user) - header->offset);
}

void* allocateOrThrow(std::size_t size, std::size_t alignment) {
  if (void* p = allocate(size ? size : 1, alignment)) return p;
  throw std::bad_alloc();
}

}  // namespace

void countThisThread() { tCounted = true; }
std::size_t allocationCount() { return gCount.load(); }
std::size_t liveBytes() { return gLive.load(); }
std::size_t peakBytes() { return gPeak.load(); }
void resetPeak() { gPeak.store(gLive.load()); }

}  // namespace korvo::bench

using korvo::bench::allocate;
using korvo::bench::allocateOrThrow;
using korvo::bench::release;

void* operator new(std::size_t size) { return allocateOrThrow(size, 0); }
void* operator new[](std::size_t size) { return allocateOrThrow(size, 0); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size ? size : 1, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size ? size : 1, 0);
}
void* operator new(std::size_t size, std::align_val_t a) {
  return allocateOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return allocateOrThrow(size, static_cast<std::size_t>(a));
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocate(size ? size : 1, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocate(size ? size : 1, static_cast<std::size_t>(a));
}

void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { release(p); }
