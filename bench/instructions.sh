#!/usr/bin/env bash
# Instructions per evaluation, counted by callgrind (deterministic on a busy
# machine), for the texts of bench/EvaluationCosts.cpp: ParseString one-shot,
# a prepared evaluation with and without exprcalc_set_double, columns per
# row, and muparser's Eval and bulk mode when it is installed. Prints a
# Markdown table with geometric means over the texts with variables.
# EXPRCALC_BENCH_BUILD_DIR picks the Release build (default build-bench/);
# EXPRCALC_COSTS_LIBRARY_DIR runs the program against another libexprcalc.so
# (e.g. an earlier build, for before-and-after figures).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${EXPRCALC_BENCH_BUILD_DIR:-$root/build-bench}"
command -v valgrind >/dev/null || { echo "instructions.sh: valgrind is missing" >&2; exit 1; }

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DEXPRCALC_BUILD_BENCHMARKS=ON \
  -DEXPRCALC_BUILD_TESTS=OFF -DEXPRCALC_BUILD_TOOLS=OFF >&2
cmake --build "$build" -j2 --target exprcalc_evaluation_costs >&2

out="$build/callgrind"
rm -rf "$out" && mkdir -p "$out"
# One thread for the peer's bulk mode, as for every other figure.
env OMP_NUM_THREADS=1 ${EXPRCALC_COSTS_LIBRARY_DIR:+LD_LIBRARY_PATH="$EXPRCALC_COSTS_LIBRARY_DIR"} \
  valgrind --tool=callgrind --callgrind-out-file="$out/costs" "$build/bench/exprcalc_evaluation_costs" >/dev/null 2>"$out/valgrind.log"
python3 "$root/bench/format_instructions.py" "$out"
