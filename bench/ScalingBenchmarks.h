// Long texts of one shape, from 1 KB to 16 MB, through ParseString.
#pragma once

namespace exprcalc::bench {

// Registers Scaling/flat, Scaling/nested and Scaling/functions, one run per size.
void RegisterScalingBenchmarks();

}  // namespace exprcalc::bench
