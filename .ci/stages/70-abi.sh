#!/usr/bin/env bash
# CI stage: the shared library's ABI against the baseline in packaging/abi/
# (abidiff on abidw's reading of its debug information, and the header's
# constants): a removed or changed function, a changed struct layout or a
# changed constant fails; additions pass and are listed. Uses the default
# preset's build (RelWithDebInfo, with debug information). Installs
# abigail-tools with apt-get when missing (as root).
set -euo pipefail
cd "$(dirname "$0")/../.."
if ! command -v abidiff >/dev/null || ! command -v abidw >/dev/null; then
  [ "$(id -u)" = 0 ] || { echo "abi: installing abigail-tools needs root" >&2; exit 1; }
  echo "abi: installing abigail-tools"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends abigail-tools
fi
cmake --preset default >/dev/null
cmake --build --preset default --target abi-check
