// Per corpus row that reads variables: exprcalc_evaluate with the first
// variable of the row changed before every evaluation (by exprcalc_set_double,
// by EnterVarDouble, or not at all), and the peer's Eval after a write to its
// bound variable. Per row: exprcalc_prepare with its release, the same with
// 1, 2, 1023 and 1024 evaluations between (the 1,024th compiles machine
// code), and
// exprcalc_explain, for comparison with ParseString's one-shot cost.
#include "PreparedBenchmarks.h"

#include <benchmark/benchmark.h>

#include <string>

#include "Corpus.h"
#include "exprcalc.h"
#ifdef EXPRCALC_BENCH_HAVE_PEER
#include "PeerParser.h"
#endif

namespace exprcalc::bench {
namespace {

// The first corpus variable that the row's text names, or null.
const CorpusVariable* FirstVariable(const CorpusRow& row) {
  const CorpusVariable* first = nullptr;
  std::size_t at = std::string_view::npos;
  for (const CorpusVariable& variable : CorpusVariables()) {
    const std::size_t found = row.text.find(variable.name);
    if (found < at) {
      at = found;
      first = &variable;
    }
  }
  return first;
}

enum class Store { SetDouble, EnterVarDouble, None };

void Evaluate(benchmark::State& state, const CorpusRow& row, Store store) {
  EnterCorpusVariables();
  const CorpusVariable& variable = *FirstVariable(row);
  const std::string name(variable.name);
  int type = 0;
  const int index = GetIndexByKey(name.c_str(), &type);
  exprcalc_expr* expr = nullptr;
  if (exprcalc_prepare(std::string(row.text).c_str(), &expr) != EXPRCALC_OK) {
    state.SkipWithError("prepare failed");
    return;
  }
  double value = 0.0;
  double x = variable.value;
  for (auto _ : state) {
    x = x == variable.value ? variable.value * 1.0000001 : variable.value;
    if (store == Store::SetDouble) exprcalc_set_double(index, x);
    if (store == Store::EnterVarDouble) EnterVarDouble(name.c_str(), x);
    benchmark::DoNotOptimize(exprcalc_evaluate(expr, &value));
    benchmark::DoNotOptimize(value);
  }
  exprcalc_release(expr);
  EnterCorpusVariables();
}

#ifdef EXPRCALC_BENCH_HAVE_PEER
void PeerEvaluate(benchmark::State& state, const CorpusRow& row) {
  PeerParser peer;
  const CorpusVariable& variable = *FirstVariable(row);
  double* bound = peer.Variable(variable.peerName);
  if (bound == nullptr || !peer.Prepare(std::string(row.peer))) {
    state.SkipWithError("the peer refused the row");
    return;
  }
  double x = variable.value;
  for (auto _ : state) {
    x = x == variable.value ? variable.value * 1.0000001 : variable.value;
    *bound = x;
    benchmark::DoNotOptimize(peer.EvaluatePrepared());
  }
}
#endif

void Prepare(benchmark::State& state, const CorpusRow& row) {
  EnterCorpusVariables();
  const std::string text(row.text);
  for (auto _ : state) {
    exprcalc_expr* expr = nullptr;
    benchmark::DoNotOptimize(exprcalc_prepare(text.c_str(), &expr));
    exprcalc_release(expr);
  }
}

// What a host pays for a formula it evaluates runs times: exprcalc_prepare,
// runs evaluations, exprcalc_release (compare runs times ParseString).
void PrepareAndRun(benchmark::State& state, const CorpusRow& row, int runs) {
  EnterCorpusVariables();
  const std::string text(row.text);
  for (auto _ : state) {
    exprcalc_expr* expr = nullptr;
    benchmark::DoNotOptimize(exprcalc_prepare(text.c_str(), &expr));
    double value = 0.0;
    for (int run = 0; run < runs; ++run) benchmark::DoNotOptimize(exprcalc_evaluate(expr, &value));
    benchmark::DoNotOptimize(value);
    exprcalc_release(expr);
  }
}

void Explain(benchmark::State& state, const CorpusRow& row) {
  EnterCorpusVariables();
  const std::string text(row.text);
  exprcalc_diagnosis diagnosis;
  for (auto _ : state) {
    benchmark::DoNotOptimize(exprcalc_explain(text.c_str(), &diagnosis));
    benchmark::DoNotOptimize(diagnosis);
  }
}

}  // namespace

void RegisterPreparedBenchmarks() {
  for (const CorpusRow& row : Corpus()) {
    const std::string name(row.name);
    benchmark::RegisterBenchmark(("Prepare/exprcalc/" + name).c_str(), Prepare, row);
    benchmark::RegisterBenchmark(("Explain/exprcalc/" + name).c_str(), Explain, row);
    // Once, twice (the break-even), and across the compile.
    for (const int runs : {1, 2, 1023, 1024}) {
      benchmark::RegisterBenchmark(("PrepareRun/" + std::to_string(runs) + "/" + name).c_str(), PrepareAndRun, row,
                                   runs);
    }
    if (FirstVariable(row) == nullptr) continue;
    benchmark::RegisterBenchmark(("Prepared/set/" + name).c_str(), Evaluate, row, Store::SetDouble);
    benchmark::RegisterBenchmark(("Prepared/enter/" + name).c_str(), Evaluate, row, Store::EnterVarDouble);
    benchmark::RegisterBenchmark(("Prepared/none/" + name).c_str(), Evaluate, row, Store::None);
#ifdef EXPRCALC_BENCH_HAVE_PEER
    benchmark::RegisterBenchmark(("Prepared/peer/" + name).c_str(), PeerEvaluate, row);
#endif
  }
}

}  // namespace exprcalc::bench
