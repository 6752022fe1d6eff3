// The calculator's --table: rows per second of the table writer, beside
// printing the same numbers alone (the same text without the evaluations).
#pragma once

namespace exprcalc::bench {

void RegisterTableBenchmarks();

}  // namespace exprcalc::bench
