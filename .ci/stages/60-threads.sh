#!/usr/bin/env bash
# CI stage: the concurrent-readers stress test and the tests of tables used
# from several threads under ThreadSanitizer (the threads preset,
# build-threads/). It builds only those tests and the library; any data race
# between calls the header calls read-only, or between two tables, fails it.
set -euo pipefail
cd "$(dirname "$0")/../.."
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
cmake --workflow --preset threads
