// Allocation on top of the C heap. A request for zero bytes asks for one, so
// that a null result always means that memory ran out.
#include "base/Memory.h"

#include <cstdlib>

namespace exprcalc {

void* Allocate(std::size_t size) noexcept { return std::malloc(size == 0 ? 1 : size); }

void* AllocateZeroed(std::size_t size) noexcept { return std::calloc(size == 0 ? 1 : size, 1); }

void* Reallocate(void* block, std::size_t size) noexcept { return std::realloc(block, size == 0 ? 1 : size); }

void* Shrink(void* block, std::size_t size) noexcept {
  void* shrunk = std::realloc(block, size == 0 ? 1 : size);
  return shrunk == nullptr ? block : shrunk;
}

void Release(void* block) noexcept { std::free(block); }

}  // namespace exprcalc
