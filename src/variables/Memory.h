// The library's one way to obtain memory. Every buffer the library allocates
// (the table's block, its key index, the evaluator's working buffers) comes
// from here, so a test can make any single allocation fail and prove that the
// failure path reports its documented result, leaks nothing and loses nothing.
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
// Releases a block from the functions above; nullptr is ignored.
void Release(void* block) noexcept;

// Multiplies count by size, or returns false when the product overflows.
inline bool MultiplySize(std::size_t count, std::size_t size, std::size_t& product) noexcept {
  if (size != 0 && count > static_cast<std::size_t>(-1) / size) return false;
  product = count * size;
  return true;
}

// Test support: fault injection and accounting. Not exported from the shared library.
namespace allocation {
// Makes the allocation that comes `succeeding` allocations from now fail
// (0: the very next one); with `persistent`, every allocation after it fails too.
void FailAfter(std::size_t succeeding, bool persistent = false) noexcept;
// Ends fault injection.
void StopFailing() noexcept;
// True once an injected failure has been handed out since the last FailAfter.
bool FailureInjected() noexcept;
// Allocations requested since the start of the process (failed ones included).
std::size_t RequestCount() noexcept;
// Blocks obtained and not yet released.
std::size_t LiveBlockCount() noexcept;
}  // namespace allocation

}  // namespace exprcalc
