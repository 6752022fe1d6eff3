// One formula evaluated many times while a variable changes: a prepared
// expression against the peer's compiled one; and the cost of preparing and
// of the diagnostic call against ParseString.
#pragma once

namespace exprcalc::bench {

void RegisterPreparedBenchmarks();

}  // namespace exprcalc::bench
