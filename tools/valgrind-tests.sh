#!/usr/bin/env bash
# Runs the whole test suite with valgrind's memcheck: builds the library and
# its tests without sanitizers in build-valgrind/ (or $EXPRCALC_VALGRIND_BUILD_DIR),
# with valgrind as the launcher of every test program that the project builds
# (tests that run cmake or python scripts run as usual). Any invalid access,
# use of an uninitialised value, or definite or indirect leak fails the test.
# Extra arguments go to ctest (for example -R BadInput).
set -euo pipefail
cd "$(dirname "$0")/.."

build="${EXPRCALC_VALGRIND_BUILD_DIR:-build-valgrind}"
valgrind="$(command -v valgrind)"
launcher="$valgrind;--quiet;--tool=memcheck;--error-exitcode=1;--leak-check=full"
launcher="$launcher;--suppressions=$PWD/tools/valgrind.supp"
launcher="$launcher;--errors-for-leak-kinds=definite,indirect;--track-origins=yes;--num-callers=30"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEXPRCALC_SANITIZE= \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$launcher" >/dev/null
cmake --build "$build" -j 2

# The bad-input catalogue shrinks its 64 MiB texts to 1 MiB under valgrind.
export EXPRCALC_SMALL_INPUTS=1
cd "$build"
# The hostile-host checks read /proc/self/maps for writable-and-executable
# pages and install seccomp filters: valgrind runs its translations from such
# pages and does not know seccomp, so they run in their own stage instead.
ctest -j 2 --output-on-failure -E '^HostileHost\.' "$@"
