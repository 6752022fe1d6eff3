// The shipped heap's reusable blocks. Each thread keeps the small block it
// released last for its next request of about that size: a host that
// prepares, evaluates and releases one formula at a time then skips the C
// heap's allocate and free, which cost about as much as recording a short
// text. Per thread, the slot needs no atomic operation, which would cost as
// much again. A kept block serves a request up to a quarter smaller than
// itself, so that reuse wastes little.
#include "base/Memory.h"

#include <cstdlib>

#if !defined(_WIN32)
#include <pthread.h>

#include <atomic>

namespace exprcalc {
namespace {

// Larger blocks go back to the heap at once: a thread holds at most this many
// bytes more than its live handles.
constexpr std::size_t SpareLimit = 4096;

// Plain data, which lasts as long as its thread: a release made while the
// thread ends (from a host's own clean-up) still finds it.
struct SpareSlot {
  void* block = nullptr;
  std::size_t size = 0;
  bool watched = false;  // the thread's key value is set: its end closes the slot
  bool closed = false;   // nothing more is kept
};
constinit thread_local SpareSlot spare;

void CloseSpare(void* slot) noexcept {
  SpareSlot* const kept = static_cast<SpareSlot*>(slot);
  std::free(kept->block);
  kept->block = nullptr;
  kept->closed = true;
}

// A thread's kept block goes back to the heap when the thread ends, through
// a key's destructor. (A thread-local object with a destructor would do the
// same, but would keep the library loaded after dlclose while any thread
// that released a handle lives.) The key is made when the library is loaded
// and deleted when it is unloaded, which closes the unloading thread's slot
// (at exit, the main thread's, whose key destructor never runs); another
// thread's block is then lost with it. Without a key, no block is kept.
constinit pthread_key_t spareKey{};
constinit std::atomic<bool> spareKeyMade{false};

struct SpareKeyOwner {
  SpareKeyOwner() noexcept { spareKeyMade.store(pthread_key_create(&spareKey, CloseSpare) == 0); }
  SpareKeyOwner(const SpareKeyOwner&) = delete;
  SpareKeyOwner& operator=(const SpareKeyOwner&) = delete;
  ~SpareKeyOwner() {
    CloseSpare(&spare);
    if (spareKeyMade.exchange(false)) pthread_key_delete(spareKey);
  }
} spareKeyOwner;

// Sets the thread's key value, once, so that its end closes its slot.
bool Watched(SpareSlot& slot) noexcept {
  if (!slot.watched) {
    slot.watched = spareKeyMade.load(std::memory_order_relaxed) && pthread_setspecific(spareKey, &slot) == 0;
  }
  return slot.watched;
}

}  // namespace

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
  if (capacity > SpareLimit || slot.closed || !Watched(slot)) {
    std::free(block);
    return;
  }
  std::free(slot.block);
  slot.block = block;
  slot.size = capacity;
}

}  // namespace exprcalc

#else  // no per-thread key: every block goes back to the heap

namespace exprcalc {

void* AllocateReusable(std::size_t size, std::size_t& capacity) noexcept {
  capacity = size;
  return std::malloc(size == 0 ? 1 : size);
}

void ReleaseReusable(void* block, std::size_t /*capacity*/) noexcept { std::free(block); }

}  // namespace exprcalc
#endif
