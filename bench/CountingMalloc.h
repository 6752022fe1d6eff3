// Every heap request of the process, counted: the C allocation functions are
// replaced in the measuring program (the shared library's calls reach them
// too), so the figures cover the library, the C++ runtime and the C library.
#pragma once

#include <cstddef>

namespace exprcalc::bench {

struct HeapFigures {
  std::size_t requests = 0;   // successful malloc/calloc/realloc/aligned calls
  std::size_t liveBytes = 0;  // usable bytes of the blocks not yet freed
  std::size_t peakBytes = 0;  // highest liveBytes since the last ResetHeapPeak
};

HeapFigures CurrentHeapFigures() noexcept;
// Makes the peak start again from the bytes live now.
void ResetHeapPeak() noexcept;

}  // namespace exprcalc::bench
