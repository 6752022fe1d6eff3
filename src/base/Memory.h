// The library's one way to obtain memory. Every buffer the library allocates
// (the table's block, its key index, the evaluator's working buffers) comes
// from here. The shipped library forwards to the C heap; the test archive
// links an allocator of the same interface that can fail on demand.
#pragma once

#include <cstddef>

namespace exprcalc {

// Uninitialised bytes, or nullptr when memory ran out.
void* Allocate(std::size_t size) noexcept;
// Zero-filled bytes, or nullptr when memory ran out.
void* AllocateZeroed(std::size_t size) noexcept;
// Resizes block to size bytes, keeping its contents (the block may move; added
// bytes are not cleared). On failure returns nullptr and block stays valid.
void* Reallocate(void* block, std::size_t size) noexcept;
// Gives back the end of block beyond size bytes (size at most the block's),
// keeping its contents; the block may move. Never fails: a block that cannot
// shrink stays as it is, and is returned.
void* Shrink(void* block, std::size_t size) noexcept;
// Releases a block from the functions above; nullptr is ignored.
void Release(void* block) noexcept;

// A block for an object that is made and released often, such as a prepared
// program: the one last given back by ReleaseReusable when its size fits
// size (see Memory.cpp), or else a new one; nullptr when memory ran out.
// capacity receives the block's size, which ReleaseReusable takes back.
void* AllocateReusable(std::size_t size, std::size_t& capacity) noexcept;
// Gives back a block from AllocateReusable; nullptr is ignored.
void ReleaseReusable(void* block, std::size_t capacity) noexcept;

// Multiplies count by size, or returns false when the product overflows.
inline bool MultiplySize(std::size_t count, std::size_t size, std::size_t& product) noexcept {
  if (size != 0 && count > static_cast<std::size_t>(-1) / size) return false;
  product = count * size;
  return true;
}

}  // namespace exprcalc
