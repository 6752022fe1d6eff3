// Allocation on top of the C heap. A request for zero bytes asks for one, so
// that a null result always means that memory ran out.
#include "base/Memory.h"

#include <cstdlib>

namespace exprcalc {
namespace {

// Each thread keeps the small block it released last for its next request of
// about that size: a host that prepares, evaluates and releases one formula
// at a time then skips the C heap's allocate and free, which cost about as
// much as recording a short text. Per thread, the slot needs no atomic
// operation, which would cost as much again. A kept block serves a request
// up to a quarter smaller than itself, so that reuse wastes little.
constexpr std::size_t SpareLimit = 4096;

struct SpareSlot {
  void* block = nullptr;
  std::size_t size = 0;
  bool watched = false;  // the thread's closer will give the block back
  bool closed = false;   // the thread is ending: nothing more is kept
};
// Plain data, which lasts as long as its thread, so that a release made while
// the thread ends (from a host's own clean-up) still finds it.
constinit thread_local SpareSlot spare;

// Gives the kept block back when its thread ends (the main thread's when the
// process exits). The first block a thread keeps sets it up.
struct SpareCloser {
  SpareCloser() noexcept { spare.watched = true; }
  SpareCloser(const SpareCloser&) = delete;
  SpareCloser& operator=(const SpareCloser&) = delete;
  ~SpareCloser() {
    std::free(spare.block);
    spare.block = nullptr;
    spare.closed = true;
  }
  void Watch() noexcept {}
};
thread_local SpareCloser closer;

}  // namespace

void* Allocate(std::size_t size) noexcept { return std::malloc(size == 0 ? 1 : size); }

void* AllocateZeroed(std::size_t size) noexcept { return std::calloc(size == 0 ? 1 : size, 1); }

void* Reallocate(void* block, std::size_t size) noexcept { return std::realloc(block, size == 0 ? 1 : size); }

void* Shrink(void* block, std::size_t size) noexcept {
  void* shrunk = std::realloc(block, size == 0 ? 1 : size);
  return shrunk == nullptr ? block : shrunk;
}

void Release(void* block) noexcept { std::free(block); }

void* AllocateReusable(std::size_t size, std::size_t& capacity) noexcept {
  SpareSlot& slot = spare;
  if (void* block = slot.block; block != nullptr && slot.size >= size && slot.size - size <= size / 4) {
    slot.block = nullptr;
    capacity = slot.size;
    return block;
  }
  capacity = size;
  return std::malloc(size == 0 ? 1 : size);
}

void ReleaseReusable(void* block, std::size_t capacity) noexcept {
  SpareSlot& slot = spare;
  if (capacity > SpareLimit || slot.closed) {
    std::free(block);
    return;
  }
  if (!slot.watched) closer.Watch();
  std::free(slot.block);
  slot.block = block;
  slot.size = capacity;
}

}  // namespace exprcalc
