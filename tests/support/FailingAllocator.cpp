// The test archive's allocator: the C heap with fault injection and block
// accounting, linked in place of the library's plain allocator.
#include "base/Memory.h"
#include "AllocationFaults.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace exprcalc {
namespace {

std::atomic<std::size_t> requestCount{0};
std::atomic<std::size_t> liveBlockCount{0};

// Fault injection state: armed, the countdown of allocations still allowed.
std::atomic<bool> failureArmed{false};
std::atomic<bool> failurePersistent{false};
std::atomic<bool> failureInjected{false};
std::atomic<std::size_t> allowedBeforeFailure{0};

// Counts one request and says whether it must fail by injection.
bool NextRequestFails() noexcept {
  requestCount.fetch_add(1, std::memory_order_relaxed);
  if (!failureArmed.load(std::memory_order_relaxed)) return false;
  std::size_t allowed = allowedBeforeFailure.load(std::memory_order_relaxed);
  if (allowed > 0) {
    allowedBeforeFailure.store(allowed - 1, std::memory_order_relaxed);
    return false;
  }
  if (!failurePersistent.load(std::memory_order_relaxed)) failureArmed.store(false, std::memory_order_relaxed);
  failureInjected.store(true, std::memory_order_relaxed);
  return true;
}

void* Counted(void* block) noexcept {
  if (block != nullptr) liveBlockCount.fetch_add(1, std::memory_order_relaxed);
  return block;
}

}  // namespace

void* Allocate(std::size_t size) noexcept {
  if (NextRequestFails()) return nullptr;
  return Counted(std::malloc(size == 0 ? 1 : size));
}

void* AllocateZeroed(std::size_t size) noexcept {
  if (NextRequestFails()) return nullptr;
  return Counted(std::calloc(size == 0 ? 1 : size, 1));
}

// A block that grows always moves here (where the C library tells a block's
// size), so that code which keeps an address across a growth fails in tests
// rather than only when the system's allocator happens to move the block.
void* Reallocate(void* block, std::size_t size) noexcept {
  if (block == nullptr) return Allocate(size);
  if (NextRequestFails()) return nullptr;
#ifdef __GLIBC__
  void* moved = std::malloc(size == 0 ? 1 : size);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, block, std::min(size, malloc_usable_size(block)));
  std::free(block);
  return moved;
#else
  return std::realloc(block, size == 0 ? 1 : size);
#endif
}

// Shrinking asks for no memory: it is neither counted nor failed.
void* Shrink(void* block, std::size_t size) noexcept {
  void* shrunk = std::realloc(block, size == 0 ? 1 : size);
  return shrunk == nullptr ? block : shrunk;
}

void Release(void* block) noexcept {
  if (block == nullptr) return;
  liveBlockCount.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

// No block is kept here, so that every request is counted and can fail.
void* AllocateReusable(std::size_t size, std::size_t& capacity) noexcept {
  capacity = size;
  return Allocate(size);
}

void ReleaseReusable(void* block, std::size_t /*capacity*/) noexcept { Release(block); }

namespace allocation {

void FailAfter(std::size_t succeeding, bool persistent) noexcept {
  allowedBeforeFailure.store(succeeding, std::memory_order_relaxed);
  failurePersistent.store(persistent, std::memory_order_relaxed);
  failureInjected.store(false, std::memory_order_relaxed);
  failureArmed.store(true, std::memory_order_relaxed);
}

void StopFailing() noexcept { failureArmed.store(false, std::memory_order_relaxed); }

bool FailureInjected() noexcept { return failureInjected.load(std::memory_order_relaxed); }

std::size_t RequestCount() noexcept { return requestCount.load(std::memory_order_relaxed); }

std::size_t LiveBlockCount() noexcept { return liveBlockCount.load(std::memory_order_relaxed); }

}  // namespace allocation
}  // namespace exprcalc
