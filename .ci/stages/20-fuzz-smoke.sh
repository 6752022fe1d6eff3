#!/usr/bin/env bash
# CI stage: builds the libFuzzer targets with clang and runs each for about
# a minute from the checked-in seeds. Any finding (crash, sanitizer report,
# leak, a failed check against the table model) fails the stage; the input
# that caused it is left in fuzz/corpus-work/findings-TARGET/.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds="${EXPRCALC_FUZZ_SMOKE_SECONDS:-60}"
mkdir -p fuzz/corpus-work
for target in Expressions Statements Prepared Columns RangeLayout Tables; do
  echo "-- fuzzing $target for $seconds seconds"
  log="fuzz/corpus-work/smoke-$target.log"
  status=0
  fuzz/run-campaign.sh "$target" "$seconds" >"$log" 2>&1 || status=$?
  grep -E "^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|new_units_added)" "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzzing $target found a failing input (status $status)" >&2
    exit 1
  fi
done
