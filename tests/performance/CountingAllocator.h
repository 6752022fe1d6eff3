// Counts of every heap request a test can see: the C++ allocation operators
// (replaced in the test program), the library's own allocation layer, and —
// where the build replaces them, outside the sanitizer builds — the C
// allocation functions, which also catch the C and C++ runtimes.
#pragma once

#include <cstddef>

namespace exprcalc::testing {

struct HeapCounts {
  std::size_t newCalls = 0;         // operator new and new[]
  std::size_t deleteCalls = 0;      // operator delete and delete[] of a block
  std::size_t libraryRequests = 0;  // allocation::RequestCount()
  std::size_t libraryLive = 0;      // allocation::LiveBlockCount()
  std::size_t mallocRequests = 0;   // C allocation calls; 0 when not counted
  std::size_t mallocLiveBytes = 0;  // usable bytes live; 0 when not counted
};

HeapCounts CurrentHeapCounts() noexcept;

// True when the C allocation functions are counted in this build.
bool CountsMalloc() noexcept;

}  // namespace exprcalc::testing
