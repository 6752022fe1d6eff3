#!/usr/bin/env bash
# CI stage: the folders of src/ include one another only down the layers
# that tools/check-includes lists, and none holds over 40 % of src/.
# Needs python3 alone (installed when missing, as root).
set -euo pipefail
cd "$(dirname "$0")/../.."
if ! command -v python3 >/dev/null; then
  [ "$(id -u)" = 0 ] || { echo "includes: installing python3 needs root" >&2; exit 1; }
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends python3
fi
python3 tools/check-includes
