// The replacement allocation functions: each forwards to the C library's own
// entry points and keeps the count, the live bytes and their peak. glibc
// only; the measuring program is the only one linked with this file.
#include "CountingMalloc.h"

#include <malloc.h>

#include <atomic>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace exprcalc::bench {
namespace {

std::atomic<std::size_t> requests{0};
std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* Obtained(void* block) noexcept {
  if (block == nullptr) return block;
  requests.fetch_add(1, std::memory_order_relaxed);
  const std::size_t live = liveBytes.fetch_add(malloc_usable_size(block), std::memory_order_relaxed) +
                           malloc_usable_size(block);
  std::size_t peak = peakBytes.load(std::memory_order_relaxed);
  while (live > peak && !peakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return block;
}

void Released(std::size_t bytes) noexcept { liveBytes.fetch_sub(bytes, std::memory_order_relaxed); }

std::size_t UsableSize(void* block) noexcept { return block == nullptr ? 0 : malloc_usable_size(block); }

}  // namespace

HeapFigures CurrentHeapFigures() noexcept {
  return {requests.load(std::memory_order_relaxed), liveBytes.load(std::memory_order_relaxed),
          peakBytes.load(std::memory_order_relaxed)};
}

void ResetHeapPeak() noexcept { peakBytes.store(liveBytes.load(std::memory_order_relaxed), std::memory_order_relaxed); }

}  // namespace exprcalc::bench

using exprcalc::bench::Obtained;
using exprcalc::bench::Released;
using exprcalc::bench::UsableSize;

extern "C" {

void* malloc(std::size_t size) { return Obtained(__libc_malloc(size)); }
void* calloc(std::size_t count, std::size_t size) { return Obtained(__libc_calloc(count, size)); }
void free(void* block) {
  Released(UsableSize(block));
  __libc_free(block);
}
void* realloc(void* block, std::size_t size) {
  const std::size_t before = UsableSize(block);
  void* moved = __libc_realloc(block, size);
  if (moved == nullptr && size != 0) return nullptr;  // the old block stays as it was
  Released(before);
  return Obtained(moved);
}
void* memalign(std::size_t alignment, std::size_t size) { return Obtained(__libc_memalign(alignment, size)); }
void* aligned_alloc(std::size_t alignment, std::size_t size) { return Obtained(__libc_memalign(alignment, size)); }
int posix_memalign(void** block, std::size_t alignment, std::size_t size) {
  void* obtained = __libc_memalign(alignment, size);
  if (obtained == nullptr) return 12;  // ENOMEM
  *block = Obtained(obtained);
  return 0;
}

}  // extern "C"
