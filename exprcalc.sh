#!/usr/bin/env bash
# Runs the calculator: exprcalc.sh EXPR... (see build/tools/exprcalc/exprcalc --help).
# On first use it configures build/ with the default preset; every run brings
# the calculator and the library up to date (quietly: the log is shown only
# when the build fails) and then runs it with the arguments given.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="$root/build"
calculator="$build/tools/exprcalc/exprcalc"
log="$build/exprcalc-sh.log"

run_quietly() {
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "exprcalc.sh: '$*' failed" >&2
    exit 2
  fi
}

mkdir -p "$build"
# Configure on first use, and again when an older build/ lacks the calculator.
if [ ! -f "$build/CMakeCache.txt" ] || [ ! -d "$build/tools/exprcalc" ]; then
  (cd "$root" && run_quietly cmake --preset default)
fi
(cd "$root" && run_quietly cmake --build build --target exprcalc_cli -j2)

exec "$calculator" "$@"
