// Fault injection and accounting for the library's allocations. The test
// archive links an allocator with these hooks in place of the library's
// plain one, so any single allocation can be made to fail and every block
// can be counted; the shipped library has none of this.
#pragma once

#include <cstddef>

namespace exprcalc::allocation {

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

}  // namespace exprcalc::allocation
