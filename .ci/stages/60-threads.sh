#!/usr/bin/env bash
# CI stage: the concurrent-readers stress test under ThreadSanitizer (the
# threads preset, build-threads/). It builds only that test and the library,
# and any data race between calls the header calls read-only fails it.
set -euo pipefail
cd "$(dirname "$0")/../.."
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
cmake --workflow --preset threads
