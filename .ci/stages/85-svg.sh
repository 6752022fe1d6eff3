#!/usr/bin/env bash
# SVG plots as a browser shows them: the calculator plots SIN and COS over a
# period to an SVG file, headless Chromium (Debian's package, installed here
# when missing) renders it to a PNG, and the picture's pixels must show both
# curves on each side of the zero line and on it.
set -euo pipefail
cd "$(dirname "$0")/../.."

missing=()
command -v chromium >/dev/null || missing+=(chromium)
command -v python3 >/dev/null || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "svg stage: ${missing[*]} missing, and only root can install them" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

[ -f build/CMakeCache.txt ] || cmake --preset default
cmake --build build -j2 --target exprcalc_cli

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
build/tools/exprcalc/exprcalc --plot @X 0 '2*PAI' 'SIN(@X)' 'COS(@X)' -o "$work/plot.svg"
timeout 300 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/profile" --screenshot="$work/plot.png" --window-size=800,520 \
  "file://$work/plot.svg" 2>"$work/chromium.log" || { cat "$work/chromium.log" >&2; exit 1; }
python3 .ci/plot_picture.py "$work/plot.png"
