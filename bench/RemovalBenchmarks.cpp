// Each iteration fills the process's table, then removes every variable; only
// the removals are timed (manual time), and the figure is per removal.
#include "RemovalBenchmarks.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "exprcalc.h"

namespace exprcalc::bench {
namespace {

std::vector<std::string> Names(std::size_t count) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) names.push_back("@R" + std::to_string(i));
  return names;
}

template <typename RemoveAll>
void TimeRemovals(benchmark::State& state, RemoveAll removeAll) {
  const std::vector<std::string> names = Names(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    FreeVariable();
    for (std::size_t i = 0; i < names.size(); ++i) EnterVarDouble(names[i].c_str(), static_cast<double>(i));
    const auto start = std::chrono::steady_clock::now();
    removeAll(names);
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(spent.count());
    if (GetVarCount() != 0) state.SkipWithError("a removal failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  FreeVariable();
}

void InOrderByName(benchmark::State& state) {
  TimeRemovals(state, [](const std::vector<std::string>& names) {
    for (const std::string& name : names) benchmark::DoNotOptimize(RemoveVariable(name.c_str()));
  });
}

void FrontByIndex(benchmark::State& state) {
  TimeRemovals(state, [](const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i) benchmark::DoNotOptimize(RemoveVarIndex(0));
  });
}

}  // namespace

void RegisterRemovalBenchmarks() {
  for (auto* benchmark : {benchmark::RegisterBenchmark("Removal/InOrderByName", InOrderByName),
                          benchmark::RegisterBenchmark("Removal/FrontByIndex", FrontByIndex)}) {
    benchmark->Arg(10)->Arg(20000)->UseManualTime();
  }
}

}  // namespace exprcalc::bench
