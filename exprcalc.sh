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

# True when libedit's development files can be found the way CMake looks for
# them: through pkg-config when there is one, else by its header.
libedit_installed() {
  if command -v pkg-config >/dev/null 2>&1; then
    pkg-config --exists libedit
  else
    [ -e /usr/include/editline/readline.h ] || [ -e /usr/local/include/editline/readline.h ]
  fi
}

# The line reader the build uses (libedit, plain, off), empty when the build
# directory predates that record.
line_reader() {
  sed -n 's/^EXPRCALC_LINE_READER:INTERNAL=//p' "$build/CMakeCache.txt"
}

mkdir -p "$build"
# Configure on first use, again when an older build/ lacks the calculator, and
# again when libedit was installed after build/ settled on the plain reader
# (EXPRCALC_USE_LIBEDIT=OFF, recorded as "off", is left alone).
if [ ! -f "$build/CMakeCache.txt" ] || [ ! -d "$build/tools/exprcalc" ]; then
  (cd "$root" && run_quietly cmake --preset default)
elif reader="$(line_reader)" && [ "$reader" != libedit ] && [ "$reader" != off ] && libedit_installed; then
  (cd "$root" && run_quietly cmake --preset default)
fi
(cd "$root" && run_quietly cmake --build build --target exprcalc_cli -j2)

exec "$calculator" "$@"
