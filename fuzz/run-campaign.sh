#!/usr/bin/env bash
# Runs one fuzzing campaign: fuzz/run-campaign.sh TARGET SECONDS|-runs=N
# TARGET is Expressions, Statements, Prepared, Columns, RangeLayout or Tables. Builds the clang fuzz build in
# build-fuzz/ (or $EXPRCALC_FUZZ_BUILD_DIR) when needed, starts from the
# checked-in seeds plus the working corpus of earlier campaigns, and leaves
# any finding in fuzz/corpus-work/findings-TARGET/. Exits non-zero on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -ne 2 ]; then
  echo "usage: $0 Expressions|Statements|Prepared|Columns|RangeLayout|Tables SECONDS|-runs=N" >&2
  exit 2
fi
target="$1"
case "$target" in
  Expressions | Statements | Prepared | Columns | RangeLayout | Tables) ;;
  *) echo "unknown target: $target" >&2; exit 2 ;;
esac
case "$2" in
  -runs=*) limit="$2" ;;
  *[!0-9]* | "") echo "the limit is a number of seconds or -runs=N" >&2; exit 2 ;;
  *) limit="-max_total_time=$2" ;;
esac

build="${EXPRCALC_FUZZ_BUILD_DIR:-build-fuzz}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DEXPRCALC_BUILD_FUZZERS=ON -DEXPRCALC_BUILD_TESTS=OFF -DEXPRCALC_BUILD_TOOLS=OFF
fi
cmake --build "$build" --target "fuzz$target" -j 2

lower="$(echo "$target" | tr '[:upper:]' '[:lower:]')"
# Expression texts beyond 256 bytes take another road, so they may be long; a
# call sequence gains little from more than a few dozen calls.
max_len=4096
[ "$target" = Statements ] && max_len=768
work="fuzz/corpus-work/$lower"
findings="fuzz/corpus-work/findings-$target"
mkdir -p "$work" "$findings"

# One process on one core (no -jobs/-workers); crashes, aborts of the
# target's own checks, leaks, timeouts and sanitizer reports are findings.
"$build/fuzz/fuzz$target" "$work" "fuzz/corpus/$lower" \
  -dict=fuzz/exprcalc.dict "$limit" -max_len="$max_len" -timeout=30 \
  -print_final_stats=1 -artifact_prefix="$findings/"
