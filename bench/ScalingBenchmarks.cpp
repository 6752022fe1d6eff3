// Cost per byte of long texts: Scaling/<shape>/<bytes>. The text is built
// once per benchmark, outside the timed loop.
#include "ScalingBenchmarks.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "ScalingTexts.h"
#include "exprcalc.h"

namespace exprcalc::bench {
namespace {

void Scaling(benchmark::State& state, Shape shape) {
  const std::size_t bytes = static_cast<std::size_t>(state.range(0));
  const std::string text = ScalingText(shape, bytes);
  double value = 0.0;
  if (ParseString(text.c_str(), &value) != EXPRCALC_OK || value != ScalingValue(shape, bytes)) {
    state.SkipWithError("the text does not give its expected value");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseString(text.c_str(), &value));
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["bytes"] = static_cast<double>(bytes);
}

}  // namespace

void RegisterScalingBenchmarks() {
  for (const Shape shape : AllShapes) {
    const std::string name = "Scaling/" + std::string(ShapeName(shape));
    auto* benchmark = benchmark::RegisterBenchmark(name.c_str(), Scaling, shape);
    for (const std::size_t size : ScalingSizes) benchmark->Arg(static_cast<std::int64_t>(size));
    benchmark->Unit(benchmark::kMicrosecond);
  }
}

}  // namespace exprcalc::bench
