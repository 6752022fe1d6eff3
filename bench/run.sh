#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/), runs the timing and heap
# programs and prints the performance report as Markdown (the measured part of
# docs/performance.md, from "## Targets" on). Extra arguments go
# to the timing program (e.g. --benchmark_filter=Corpus). About 3 minutes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${EXPRCALC_BENCH_BUILD_DIR:-$root/build-bench}"

# The peer parser is optional: installed when missing and possible, left out otherwise.
if ! dpkg-query -W -f='${Status}' libmuparser-dev 2>/dev/null | grep -q 'ok installed'; then
  if [ "$(id -u)" = 0 ]; then
    (export DEBIAN_FRONTEND=noninteractive; apt-get update -qq && apt-get install -y -qq libmuparser-dev) >&2 ||
      echo "run.sh: could not install libmuparser-dev; the peer comparison is left out" >&2
  else
    echo "run.sh: libmuparser-dev is missing (install it as root); the peer comparison is left out" >&2
  fi
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXPRCALC_BUILD_BENCHMARKS=ON \
  -DEXPRCALC_BUILD_TESTS=OFF -DEXPRCALC_BUILD_TOOLS=OFF >&2
cmake --build "$build" -j2 --target exprcalc_bench exprcalc_peak_memory >&2

results="$build/bench-results"
mkdir -p "$results"
echo "run.sh: measuring (console output in $results/timings.txt)" >&2
# Five repetitions in random order, so a burst of load on the machine hits
# every benchmark alike; the report takes each one's median CPU time.
"$build/bench/exprcalc_bench" --benchmark_min_time=0.05 --benchmark_repetitions=5 \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/timings.json" --benchmark_out_format=json "$@" >"$results/timings.txt"
"$build/bench/exprcalc_peak_memory" >"$results/memory.json"
python3 "$root/bench/format_report.py" "$results/timings.json" "$results/memory.json"
