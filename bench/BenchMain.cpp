// The benchmark program: proves the corpus translations agree, then runs
// every benchmark in one process so the ratios compare like with like.
#include <benchmark/benchmark.h>

#include "CorpusBenchmarks.h"
#include "LookupBenchmarks.h"
#include "PreparedBenchmarks.h"
#include "RemovalBenchmarks.h"
#include "ScalingBenchmarks.h"
#include "TableBenchmarks.h"
#ifdef EXPRCALC_BENCH_HAVE_PEER
#include <muParserDef.h>
#endif

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!exprcalc::bench::CheckCorpus()) return 1;
#ifdef EXPRCALC_BENCH_HAVE_PEER
  benchmark::AddCustomContext("peer", "muparser " + mu::ParserVersion);
#endif
  exprcalc::bench::RegisterCorpusBenchmarks();
  exprcalc::bench::RegisterScalingBenchmarks();
  exprcalc::bench::RegisterLookupBenchmarks();
  exprcalc::bench::RegisterPreparedBenchmarks();
  exprcalc::bench::RegisterRemovalBenchmarks();
  exprcalc::bench::RegisterTableBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
