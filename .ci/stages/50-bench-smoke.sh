#!/usr/bin/env bash
# Benchmark smoke run: the benchmark programs build in Release (warnings as
# errors under CI) and every benchmark, the heap program and the report run
# once, in seconds. It measures nothing; bench/run.sh does the measuring.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-bench-smoke

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXPRCALC_BUILD_BENCHMARKS=ON \
  -DEXPRCALC_BUILD_TESTS=OFF -DEXPRCALC_BUILD_TOOLS=OFF
cmake --build "$build" -j2 --target exprcalc_bench exprcalc_peak_memory exprcalc_evaluation_costs

"$build/bench/exprcalc_bench" --benchmark_min_time=0.0001 \
  --benchmark_out="$build/timings.json" --benchmark_out_format=json >"$build/timings.txt"
"$build/bench/exprcalc_peak_memory" >"$build/memory.json"
OMP_NUM_THREADS=1 "$build/bench/exprcalc_evaluation_costs" >"$build/costs.txt"
if command -v python3 >/dev/null; then
  python3 bench/format_report.py "$build/timings.json" "$build/memory.json" >"$build/report.md"
  python3 bench/format_instructions.py "$build/costs.txt" >>"$build/report.md"
  echo "benchmark smoke run: report written to $build/report.md"
else
  echo "benchmark smoke run: python3 missing, report formatting not checked"
fi
