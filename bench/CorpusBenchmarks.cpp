// Per-row benchmarks over the corpus. Each benchmark reports the row's length
// as the "bytes" counter so the report can give a cost per byte.
#include "CorpusBenchmarks.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "Corpus.h"
#include "ReferenceEvaluator.h"
#include "exprcalc.h"
#ifdef EXPRCALC_BENCH_HAVE_PEER
#include "PeerParser.h"
#endif

namespace exprcalc::bench {
namespace {

// Peer results may differ from the library's in the last bits (a different
// pow or a decimal literal for a sexagesimal number), never more.
bool SameValue(double a, double b) noexcept { return std::fabs(a - b) <= 1e-12 * std::fmax(1.0, std::fabs(a)); }

void Report(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["bytes"] = static_cast<double>(bytes);
}

// True when the row's text names one of the corpus variables.
bool ReadsVariables(const CorpusRow& row) {
  for (const CorpusVariable& variable : CorpusVariables()) {
    if (row.text.find(variable.name) != std::string_view::npos) return true;
  }
  return false;
}

void LibraryRow(benchmark::State& state, const CorpusRow& row) {
  EnterCorpusVariables();
  const std::string text(row.text);
  double value = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseString(text.c_str(), &value));
    benchmark::DoNotOptimize(value);
  }
  Report(state, text.size());
  state.counters["variables"] = ReadsVariables(row) ? 1 : 0;
}

void ReferenceRow(benchmark::State& state, const CorpusRow& row) {
  const std::string text(row.text);
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.data());
    benchmark::DoNotOptimize(ReferenceEvaluate(text));
  }
  Report(state, text.size());
}

#ifdef EXPRCALC_BENCH_HAVE_PEER
void PeerRow(benchmark::State& state, const CorpusRow& row) {
  PeerParser peer;
  const std::string text(row.peer);
  for (auto _ : state) benchmark::DoNotOptimize(peer.Evaluate(text));
  Report(state, row.text.size());  // per byte of the library's text, the same expression
}
#endif

}  // namespace

bool CheckCorpus() {
  EnterCorpusVariables();
#ifdef EXPRCALC_BENCH_HAVE_PEER
  PeerParser peer;
#endif
  bool allAgree = true;
  for (const CorpusRow& row : Corpus()) {
    const std::string text(row.text);
    double value = 0.0;
    const int code = ParseString(text.c_str(), &value);
    if (code != EXPRCALC_OK) {
      std::fprintf(stderr, "corpus row %s: code %d\n", std::string(row.name).c_str(), code);
      allAgree = false;
      continue;
    }
#ifdef EXPRCALC_BENCH_HAVE_PEER
    const auto peerValue = peer.Evaluate(std::string(row.peer));
    if (!peerValue || !SameValue(value, *peerValue)) {
      std::fprintf(stderr, "corpus row %s: library %.17g, peer %.17g\n", std::string(row.name).c_str(), value,
                   peerValue.value_or(NAN));
      allAgree = false;
    }
#endif
    const auto referenceValue = ReferenceEvaluate(row.text);
    if (referenceValue && !SameValue(value, *referenceValue)) {
      std::fprintf(stderr, "corpus row %s: library %.17g, reference %.17g\n", std::string(row.name).c_str(),
                   value, *referenceValue);
      allAgree = false;
    }
  }
  return allAgree;
}

void RegisterCorpusBenchmarks() {
  for (const CorpusRow& row : Corpus()) {
    const std::string name(row.name);
    benchmark::RegisterBenchmark(("Corpus/exprcalc/" + name).c_str(), LibraryRow, row);
#ifdef EXPRCALC_BENCH_HAVE_PEER
    benchmark::RegisterBenchmark(("Corpus/peer/" + name).c_str(), PeerRow, row);
#endif
    if (ReferenceEvaluate(row.text)) {
      benchmark::RegisterBenchmark(("Corpus/reference/" + name).c_str(), ReferenceRow, row);
    }
  }
}

}  // namespace exprcalc::bench
