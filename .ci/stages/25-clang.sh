#!/usr/bin/env bash
# CI stage: the library and its tests built with clang as well, warnings as
# errors. The two compilers rewrite floating-point expressions differently
# (a sign became a flip of the sign bit in one and moved into a division in
# the other), so the bit-for-bit tests run on both builds.
set -euo pipefail
cd "$(dirname "$0")/../.."
if ! command -v clang++ >/dev/null; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends clang
fi
build=build-clang
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DEXPRCALC_BUILD_TOOLS=OFF -DEXPRCALC_WARNINGS_AS_ERRORS=ON
cmake --build "$build" -j 2
ctest --test-dir "$build" -j 2 --output-on-failure
