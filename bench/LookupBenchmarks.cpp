// Each benchmark fills the process's table with n variables first, then
// cycles through names spread over the whole table, so a large table's
// records are really visited and not one hot entry.
#include "LookupBenchmarks.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <string>

#include "exprcalc.h"

namespace exprcalc::bench {
namespace {

constexpr std::size_t SpreadCount = 16;

// Names of one length (@V00000 to @V09999) whatever the table size, so the
// sizes compare lookups and not name lengths.
std::string VariableName(std::size_t index) {
  std::string digits = std::to_string(index);
  return "@V" + std::string(5 - std::min<std::size_t>(digits.size(), 5), '0') + digits;
}

std::size_t FillTable(const benchmark::State& state) {
  const std::size_t count = static_cast<std::size_t>(state.range(0));
  FreeVariable();
  for (std::size_t i = 0; i < count; ++i) EnterVarDouble(VariableName(i).c_str(), static_cast<double>(i));
  return count;
}

std::array<std::string, SpreadCount> SpreadNames(std::size_t count) {
  std::array<std::string, SpreadCount> names;
  for (std::size_t k = 0; k < SpreadCount; ++k) names[k] = VariableName(k * count / SpreadCount);
  return names;
}

void LookupDouble(benchmark::State& state) {
  const auto names = SpreadNames(FillTable(state));
  std::size_t next = 0;
  double value = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LookupVarDouble(names[next].c_str(), &value));
    next = (next + 1) % SpreadCount;
  }
  FreeVariable();
}

void EnterReplacing(benchmark::State& state) {
  const auto names = SpreadNames(FillTable(state));
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(EnterVarDouble(names[next].c_str(), 2.5));
    next = (next + 1) % SpreadCount;
  }
  FreeVariable();
}

void ThreeVariables(benchmark::State& state) {
  const std::size_t count = FillTable(state);
  const std::string text = VariableName(count / 4) + "*2+" + VariableName(count / 2) + "/(" +
                           VariableName(3 * count / 4) + "+1)";
  double value = 0.0;
  if (ParseString(text.c_str(), &value) != EXPRCALC_OK) {
    state.SkipWithError("the expression does not evaluate");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseString(text.c_str(), &value));
    benchmark::DoNotOptimize(value);
  }
  FreeVariable();
}

}  // namespace

void RegisterLookupBenchmarks() {
  for (auto* benchmark : {benchmark::RegisterBenchmark("Lookup/LookupVarDouble", LookupDouble),
                          benchmark::RegisterBenchmark("Lookup/EnterVarDouble", EnterReplacing),
                          benchmark::RegisterBenchmark("Lookup/ThreeVariables", ThreeVariables)}) {
    benchmark->Arg(10)->Arg(1000)->Arg(10000);
  }
}

}  // namespace exprcalc::bench
