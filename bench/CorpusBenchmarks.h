// One-shot evaluation of every corpus row by the library, by the peer parser
// (when built with it) and by the reference evaluator (rows it can read).
#pragma once

namespace exprcalc::bench {

// Checks that every row evaluates without error and that the peer and the
// reference agree with the library; prints each disagreement. Returns false
// when any row fails, so no ratio is ever reported for unequal work.
bool CheckCorpus();

// Registers Corpus/exprcalc/<row>, Corpus/peer/<row> and Corpus/reference/<row>.
void RegisterCorpusBenchmarks();

}  // namespace exprcalc::bench
