// The replaced C++ allocation operators (all forms a library may reach fall
// back on these two pairs) and the snapshot of every counter.
#include "CountingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "AllocationFaults.h"
#ifdef EXPRCALC_TEST_COUNTS_MALLOC
#include "CountingMalloc.h"
#endif

namespace {

std::atomic<std::size_t> newCalls{0};
std::atomic<std::size_t> deleteCalls{0};

void* CountedNew(std::size_t size) {
  newCalls.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void CountedDelete(void* block) noexcept {
  if (block == nullptr) return;
  deleteCalls.fetch_add(1, std::memory_order_relaxed);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return CountedNew(size); }
void* operator new[](std::size_t size) { return CountedNew(size); }
void operator delete(void* block) noexcept { CountedDelete(block); }
void operator delete[](void* block) noexcept { CountedDelete(block); }
void operator delete(void* block, std::size_t) noexcept { CountedDelete(block); }
void operator delete[](void* block, std::size_t) noexcept { CountedDelete(block); }

namespace exprcalc::testing {

HeapCounts CurrentHeapCounts() noexcept {
  HeapCounts counts;
  counts.newCalls = newCalls.load(std::memory_order_relaxed);
  counts.deleteCalls = deleteCalls.load(std::memory_order_relaxed);
  counts.libraryRequests = allocation::RequestCount();
  counts.libraryLive = allocation::LiveBlockCount();
#ifdef EXPRCALC_TEST_COUNTS_MALLOC
  const bench::HeapFigures figures = bench::CurrentHeapFigures();
  counts.mallocRequests = figures.requests;
  counts.mallocLiveBytes = figures.liveBytes;
#endif
  return counts;
}

bool CountsMalloc() noexcept {
#ifdef EXPRCALC_TEST_COUNTS_MALLOC
  return true;
#else
  return false;
#endif
}

}  // namespace exprcalc::testing
