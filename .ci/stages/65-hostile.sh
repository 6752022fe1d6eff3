#!/usr/bin/env bash
# CI stage: prepared expressions in a host that forbids or limits generated
# code. One program (tests/reliability/HostileHostTest.cpp), built against the
# shared library as a host links it, runs once per environment: plain, under
# PR_SET_MDWE (skipped with a message where the kernel lacks it), under a
# seccomp filter that refuses executable memory, with memfd_create refused,
# after a raw fork, and with a budget of one code region. Each run checks the
# values' bits against ParseString, the form the library reports, and
# /proc/self/maps. The filters are the program's own (linux/seccomp.h and
# linux/filter.h, from the kernel headers that the compiler already has).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-hostile

mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEXPRCALC_BUILD_TESTS=ON -DEXPRCALC_BUILD_TOOLS=OFF \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j2 --target HostileHostTest

program="$build/tests/reliability/HostileHostTest"
failed=0
for mode in plain mdwe seccomp no-memfd raw-fork budget; do
  status=0
  if [ "$mode" = budget ]; then
    EXPRCALC_CODE_REGIONS=1 "$program" "$mode" || status=$?
  else
    "$program" "$mode" || status=$?
  fi
  case $status in
    0) ;;
    77) echo "hostile stage: $mode skipped (see above)" ;;
    *) echo "hostile stage: $mode FAILED ($status)"; failed=1 ;;
  esac
done
exit $failed
