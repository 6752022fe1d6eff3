#!/usr/bin/env bash
# CI stage: the whole test suite under valgrind's memcheck (invalid accesses,
# uninitialised values, definite and indirect leaks), see tools/valgrind-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
tools/valgrind-tests.sh
