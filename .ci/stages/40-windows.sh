#!/usr/bin/env bash
# CI: cross-builds the Windows DLL for x86-64 and 32-bit x86, checks their
# export tables (names and ordinals) and runs the C host test under wine.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/windows/cross-build.sh --with-wine
